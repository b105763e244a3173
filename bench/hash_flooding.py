"""Hash flooding: vertex ids crafted to collide against random ids.

Every analysis keeps its vertices in hash containers. Under an unseeded or
identity hash, ids that are multiples of a large power of two all fall into
one bucket of a power-of-two table, and multiples of a prime bucket count all
fall into one bucket of a table of that size. libstdc++ takes its bucket
counts from a list of primes: a table reserved for 2^k entries gets the prime
just above (1031, 2053, ... 524309), one grown by insertion goes through 541,
1109, 2357, 5087, 10273, ... This benchmark runs each
analysis on one fixed input structure twice per id family: once with crafted
ids, once with random 64-bit ids, and reports the ratio of their best CPU
times, crafted/random.
A ratio near 1 means the crafted ids cost nothing extra.

    python bench/hash_flooding.py [--quick]

Results are printed and written to bench/results/hash_flooding.json.
"""
import argparse
import datetime
import json
import os
import platform
import random
import sys
import time

import korvane

HERE = os.path.dirname(os.path.abspath(__file__))
RESULTS = os.path.join(HERE, "results", "hash_flooding.json")

# Bucket counts of libstdc++ tables reserved for a power of two of entries,
# and of tables grown one insertion at a time.
RESERVED_BUCKETS = [1031, 2053, 4099, 8209, 16411, 32771, 65537, 131101, 262147, 524309]
GROWN_BUCKETS = [541, 1109, 2357, 5087, 10273, 20753, 42043, 85229]


def families():
    """Crafted id families: name -> id of the i-th vertex (i >= 0)."""
    out = {
        "k<<32": lambda i: (i + 1) << 32,
        "k<<40": lambda i: (i + 1) << 40,
    }
    for p in RESERVED_BUCKETS + GROWN_BUCKETS:
        out[f"k*{p}"] = lambda i, p=p: (i + 1) * p
    return out


def random_ids(count, seed):
    """Distinct random 64-bit ids, ascending like the crafted ones, so that
    anything that depends on the order of the vertices is the same for both."""
    rng = random.Random(seed)
    ids = set()
    while len(ids) < count:
        ids.add(rng.getrandbits(64))
    return sorted(ids)


# --------------------------------------------------------------------------
# Input structures, over vertex indices 0..n-1
# --------------------------------------------------------------------------


def simplices_structure(count, vertices, rng):
    return [rng.sample(range(vertices), rng.randint(2, 6)) for _ in range(count)]


def graph_structure(vertices, edges, triangles, rng):
    out = set()
    while len(out) < edges:
        u, v = rng.randrange(vertices), rng.randrange(vertices)
        if u != v:
            out.add((min(u, v), max(u, v)))
    for _ in range(triangles):
        a, b, c = rng.sample(range(vertices), 3)
        out.update({(min(a, b), max(a, b)), (min(b, c), max(b, c)), (min(a, c), max(a, c))})
    return sorted(out)


SIZES = {
    # analysis: (full, quick) structure parameters
    "simplices": ({"count": 3000, "vertices": 6000}, {"count": 800, "vertices": 1600}),
    "graph": ({"vertices": 6000, "edges": 12000, "triangles": 1500},
              {"vertices": 1500, "edges": 3000, "triangles": 400}),
    "persistence": ({"vertices": 300, "edges": 500, "triangles": 60},
                    {"vertices": 120, "edges": 160, "triangles": 20}),
}


def build_inputs(quick, seed=20240611):
    """(analysis, structure, vertex count, call(ids) -> runs the analysis)."""
    rng = random.Random(seed)
    pick = 1 if quick else 0
    s = SIZES["simplices"][pick]
    simplices = simplices_structure(s["count"], s["vertices"], rng)
    g = SIZES["graph"][pick]
    graph = graph_structure(g["vertices"], g["edges"], g["triangles"], rng)
    p = SIZES["persistence"][pick]
    weighted = [(u, v, rng.random()) for u, v in graph_structure(p["vertices"], p["edges"], p["triangles"], rng)]

    def run_simplices(ids):
        data = [[ids[x] for x in simplex] for simplex in simplices]
        return lambda: korvane.py_find_hierarchical_q_components(data)

    def run_graph(ids):
        data = [(ids[u], ids[v]) for u, v in graph]
        return lambda: korvane.py_find_hierarchical_q_components_within_graph(data, None)

    def run_persistence(ids):
        data = [(ids[u], ids[v], w) for u, v, w in weighted]
        return lambda: korvane.py_calculate_persistent_q_components(data, None)

    return [
        ("simplices", s, s["vertices"], run_simplices),
        ("graph", g, g["vertices"], run_graph),
        ("persistence", p, p["vertices"], run_persistence),
    ]


def best_times(calls, repeats):
    """Best CPU time of each call, the calls taking turns so that both sides of
    a ratio see the same machine load. CPU time rather than wall time: the
    machine may be shared, and waiting for a core is not the analysis' cost."""
    best = [float("inf")] * len(calls)
    for _ in range(repeats):
        for i, call in enumerate(calls):
            start = time.process_time()
            call()
            best[i] = min(best[i], time.process_time() - start)
    return best


def canonical(result):
    if result and isinstance(result[0], tuple):
        return sorted((q, tuple(vs), b, d) for (q, vs), b, d in result)
    return [sorted(sorted(c) for c in level) for level in result]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="smaller inputs and fewer repeats")
    parser.add_argument("--output", default=RESULTS, help="where to write the JSON results")
    options = parser.parse_args()
    repeats = 3 if options.quick else 5

    report = {
        "benchmark": "hash_flooding",
        "quick": options.quick,
        "module": korvane.__file__,
        "python": sys.version.split()[0],
        "machine": platform.machine(),
        "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
        "repeats": repeats,
        "analyses": {},
    }
    worst = 0.0
    for analysis, sizes, vertex_count, make_call in build_inputs(options.quick):
        control_ids = random_ids(vertex_count, seed=vertex_count)
        control_call = make_call(control_ids)
        # the same structure under both id sets: the answers must correspond
        expected = canonical(control_call())
        rows = {}
        print(f"{analysis} {sizes}")
        for family, make_id in families().items():
            ids = [make_id(i) for i in range(vertex_count)]
            call = make_call(ids)
            got = canonical(call())
            if analysis != "simplices":
                got = canonical(relabel_result(got, dict(zip(ids, control_ids)), analysis))
            if got != expected:
                sys.exit(f"{analysis} with ids {family} gave a different answer than with random ids")
            crafted, control = best_times([call, control_call], repeats)
            ratio = crafted / control
            worst = max(worst, ratio)
            rows[family] = {"crafted_seconds": crafted, "random_seconds": control, "ratio": ratio}
            print(f"  {family:>10}: crafted {crafted * 1000:8.1f} ms, random {control * 1000:8.1f} ms, "
                  f"ratio {ratio:5.2f}")
        report["analyses"][analysis] = {"sizes": sizes, "crafted": rows}
    report["worst_ratio"] = worst
    print(f"worst ratio crafted/random: {worst:.2f}")

    os.makedirs(os.path.dirname(options.output), exist_ok=True)
    with open(options.output, "w") as f:
        json.dump(report, f, indent=2)
        f.write("\n")
    print(f"written to {options.output}")


def relabel_result(result, relabel, analysis):
    """Maps a result over crafted ids onto the random ids, for comparison."""
    if analysis == "persistence":
        return [((q, sorted(relabel[v] for v in vs)), b, d) for q, vs, b, d in result]
    return [[{relabel[v] for v in c} for c in level] for level in result]


if __name__ == "__main__":
    main()
