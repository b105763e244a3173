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
times, crafted/random. A ratio near 1 means the crafted ids cost nothing
extra. The hash-flooding section of bench/run.py; it runs in a fresh child
(this file with --child) that loads the korvane measured.
"""
import random
import time

import measurement

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


def build_inputs(korvane, quick, seed=20240611):
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


def child(req):
    """Every crafted family of every analysis against random ids; emits one
    object per analysis."""
    korvane = measurement.load_module("korvane", req.get("korvane_dir"))
    repeats = 3 if req["quick"] else 5
    for analysis, sizes, vertex_count, make_call in build_inputs(korvane, req["quick"]):
        control_ids = random_ids(vertex_count, seed=vertex_count)
        control_call = make_call(control_ids)
        # the same structure under both id sets: the answers must correspond
        expected = canonical(control_call())
        rows = {}
        for family, make_id in families().items():
            ids = [make_id(i) for i in range(vertex_count)]
            call = make_call(ids)
            got = canonical(call())
            if analysis != "simplices":
                got = canonical(relabel_result(got, dict(zip(ids, control_ids)), analysis))
            if got != expected:
                raise SystemExit(f"{analysis} with ids {family} gave a different answer than with random ids")
            crafted, control = best_times([call, control_call], repeats)
            rows[family] = {"crafted_seconds": crafted, "random_seconds": control, "ratio": crafted / control}
        measurement.emit(**{analysis: {"sizes": sizes, "crafted": rows}})


def run_hash_flooding(korvane_dir, quick, echo=print, timeout=1800):
    """Runs the section, printing a table through `echo`; returns the results
    file's part."""
    echo("hash flooding: best CPU time with crafted ids over random ids of the same shape")
    out = measurement.run_child("hash_flooding.py", {"korvane_dir": korvane_dir, "quick": quick}, timeout)
    doc = {"repeats": 3 if quick else 5, "status": out["status"], "analyses": {}}
    if out["status"] != "ok":
        echo(f"  {out['status']}: {out.get('reason', '')}")
        return doc
    worst = 0.0
    for analysis in ("simplices", "graph", "persistence"):
        entry = out[analysis]
        doc["analyses"][analysis] = entry
        echo(f"  {analysis} {entry['sizes']}")
        for family, r in entry["crafted"].items():
            worst = max(worst, r["ratio"])
            echo(f"    {family:>10}: crafted {r['crafted_seconds'] * 1000:8.1f} ms, "
                 f"random {r['random_seconds'] * 1000:8.1f} ms, ratio {r['ratio']:5.2f}")
    doc["worst_ratio"] = worst
    echo(f"  worst ratio crafted/random: {worst:.2f}")
    return doc


def relabel_result(result, relabel, analysis):
    """Maps a result over crafted ids onto the random ids, for comparison."""
    if analysis == "persistence":
        return [((q, sorted(relabel[v] for v in vs)), b, d) for q, vs, b, d in result]
    return [[{relabel[v] for v in c} for c in level] for level in result]


if __name__ == "__main__":
    child(measurement.child_request())
