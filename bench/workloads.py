"""Benchmark workloads: deterministic generators and the list of workloads.

Every generator uses its own `random.Random(seed)` and only the standard
library (networkx is used for the bundled real graphs alone), so a workload is
the same input on every machine and with every networkx version.
"""

import bisect
import math
import random

# ---------------------------------------------------------------------------
# Generators
# ---------------------------------------------------------------------------


def simplices_uniform(n, n_ids, seed):
    """n simplices of 1 to 8 distinct vertices drawn uniformly from n_ids ids."""
    rng = random.Random(seed)
    draw = rng.random
    out = []
    for _ in range(n):
        size = rng.randint(1, 8)
        chosen = {}
        # Rejection: much faster than rng.sample for 8 ids out of thousands.
        while len(chosen) < size:
            chosen[int(draw() * n_ids)] = None
        out.append(list(chosen))
    return out


def _zipf_cumulative(n_ids, exponent):
    """Cumulative weights 1/(i+1)**exponent of ids 0 .. n_ids-1, and their total."""
    cum = []
    total = 0.0
    for i in range(n_ids):
        total += 1.0 / (i + 1) ** exponent
        cum.append(total)
    return cum, total


def simplices_zipf(n, n_ids, seed, exponent=1.0, min_size=1, max_size=8):
    """n simplices of min_size to max_size distinct vertices, vertex i drawn
    with weight 1/(i+1)**exponent.

    A few vertices then lie in a large share of the simplices, as in
    co-authorship or tagging data.
    """
    rng = random.Random(seed)
    cum, total = _zipf_cumulative(n_ids, exponent)
    out = []
    for _ in range(n):
        size = rng.randint(min_size, max_size)
        chosen = {}
        # Rejection keeps the size exact; popular ids collide often.
        while len(chosen) < size:
            v = bisect.bisect_left(cum, rng.random() * total)
            chosen[min(v, n_ids - 1)] = None
        out.append(list(chosen))
    return out


def gnp(n, p, seed):
    """Erdős–Rényi G(n, p) edges (u < v), by geometric skipping (linear in the edges)."""
    rng = random.Random(seed)
    edges = []
    if p <= 0:
        return edges
    if p >= 1:
        return [(u, v) for v in range(n) for u in range(v)]
    log_q = math.log(1.0 - p)
    v, w = 1, -1
    while v < n:
        w += 1 + int(math.log(1.0 - rng.random()) / log_q)
        while w >= v and v < n:
            w -= v
            v += 1
        if v < n:
            edges.append((w, v))
    return edges


def barabasi_albert(n, m, seed):
    """Preferential attachment: each new vertex links to m distinct earlier ones, by degree."""
    rng = random.Random(seed)
    edges = []
    targets = list(range(m))
    repeated = []
    for source in range(m, n):
        for t in targets:
            edges.append((source, t))
        repeated.extend(targets)
        repeated.extend([source] * m)
        chosen = set()
        while len(chosen) < m:
            chosen.add(repeated[rng.randrange(len(repeated))])
        targets = list(chosen)
    return edges


def random_distinct_edges(n_vertices, n_edges, rng):
    seen = set()
    edges = []
    while len(edges) < n_edges:
        u = rng.randrange(n_vertices)
        v = rng.randrange(n_vertices)
        if u == v:
            continue
        key = (u, v) if u < v else (v, u)
        if key in seen:
            continue
        seen.add(key)
        edges.append(key)
    return edges


def planted_clique(n_vertices, n_edges, clique_size, seed):
    """n_edges random edges plus a clique on clique_size random vertices."""
    rng = random.Random(seed)
    edges = random_distinct_edges(n_vertices, n_edges, rng)
    members = sorted(rng.sample(range(n_vertices), clique_size))
    seen = set(edges)
    for i, u in enumerate(members):
        for v in members[i + 1:]:
            if (u, v) not in seen:
                edges.append((u, v))
    return edges


def complete_graph_random_order(n_vertices, seed):
    """Every edge of the complete graph on n_vertices, admitted in a random order.

    The weight of an edge is its position in the shuffled order, so there are
    no ties and the filtration fills the graph one random edge at a time.
    """
    rng = random.Random(seed)
    edges = [(u, v) for v in range(n_vertices) for u in range(v)]
    rng.shuffle(edges)
    return [(u, v, float(i)) for i, (u, v) in enumerate(edges)]


def dense_random_order(n_vertices, p, seed):
    """G(n_vertices, p) (every edge when p >= 1), its edges admitted in a random
    order, weighted by position as in complete_graph_random_order."""
    rng = random.Random(seed)
    edges = [(u, v) for v in range(n_vertices) for u in range(v) if p >= 1 or rng.random() < p]
    rng.shuffle(edges)
    return [(u, v, float(i)) for i, (u, v) in enumerate(edges)]


def dense_name(n_vertices, p, max_q):
    graph = f"K{n_vertices}" if p >= 1 else f"G({n_vertices}, {p:g})"
    return f"dense {graph} max_q={max_q}"


def _reference_work(n, p, max_q):
    """About how many cliques the reference registers over a filtration of
    G(n, p) under max_q: every clique of at most max_q vertices, again after
    every edge."""
    if max_q is None:
        return math.inf
    edges = p * n * (n - 1) / 2
    return edges * sum(math.comb(n, k) * p ** math.comb(k, 2) for k in range(1, max_q + 1))


def weighted_random(n_edges, n_vertices, seed):
    """n_edges distinct random edges with weights uniform in [0, 1)."""
    rng = random.Random(seed)
    return [(u, v, rng.random()) for u, v in random_distinct_edges(n_vertices, n_edges, rng)]


# Real graphs bundled with networkx. Labels become ints in sorted label order so
# that the mapping is stable.


def _relabel(graph):
    ids = {node: i for i, node in enumerate(sorted(graph, key=str))}
    return ids


def real_graph_edges(name):
    import networkx as nx

    graph = _real_graph(nx, name)
    ids = _relabel(graph)
    return [(ids[u], ids[v]) for u, v in graph.edges()]


def real_weighted_edges(name):
    """Edges weighted by −(tie strength): the strongest ties are admitted first."""
    import networkx as nx

    graph = _real_graph(nx, name)
    ids = _relabel(graph)
    return [(ids[u], ids[v], -float(d.get("weight", 1))) for u, v, d in graph.edges(data=True)]


def davis_simplices():
    """Southern women: each woman is the simplex of the events she attended."""
    import networkx as nx

    graph = nx.davis_southern_women_graph()
    events = {e: i for i, e in enumerate(graph.graph["bottom"])}
    return [sorted(events[e] for e in graph[w]) for w in graph.graph["top"]]


def _real_graph(nx, name):
    return {
        "karate": nx.karate_club_graph,
        "les_miserables": nx.les_miserables_graph,
        "florentine": nx.florentine_families_graph,
    }[name]()


# ---------------------------------------------------------------------------
# Workloads
# ---------------------------------------------------------------------------

# kind: which korvane function is called. "quick" marks the workloads of the
# --quick run; everything runs in the full run.
KINDS = ("simplices", "graph", "persistence")
FUNCTION_NAMES = {
    "simplices": "py_find_hierarchical_q_components",
    "graph": "py_find_hierarchical_q_components_within_graph",
    "persistence": "py_calculate_persistent_q_components",
}


def _w(name, kind, gen, params, quick, max_q=None, target=False, ref_skip=None, pure_skip=None,
       inv_skip=None, scipy_skip=None):
    return {
        "name": name,
        "kind": kind,
        "gen": gen,
        "params": params,
        "max_q": max_q,
        "quick": quick,
        "target": target,
        "ref_skip": ref_skip,
        "pure_skip": pure_skip,
        # The inverted-index baseline and the sparse product exist for
        # complexes only.
        "inv_skip": inv_skip if kind == "simplices" else "simplices only",
        "scipy_skip": scipy_skip if kind == "simplices" else "simplices only",
    }


def _pairs_note(n):
    return f"~{n * (n - 1) / 2:.0e} pairs"


def all_workloads():
    out = []
    # Random complexes over a fixed 5,000 ids: density grows with n.
    for n in (1_000, 10_000, 20_000, 100_000, 1_000_000):
        out.append(_w(f"simp-uniform n={n:,} ids=5,000", "simplices", "simplices_uniform",
                      {"n": n, "n_ids": 5_000, "seed": 11},
                      quick=n in (1_000, 20_000), target=n in (20_000, 1_000_000),
                      ref_skip=("skipped: quadratic scan, " + _pairs_note(n)) if n > 100_000 else None,
                      pure_skip="skipped: pure-Python pairwise scan capped at 100,000 simplices" if n > 100_000
                      else None,
                      inv_skip="skipped: pure-Python index capped at 100,000 simplices" if n > 100_000 else None))
    # Heavy-tailed popularity over n/4 ids: the popular ids sit in a large
    # share of the simplices.
    for n in (1_000, 10_000, 100_000, 1_000_000):
        out.append(_w(f"simp-zipf n={n:,} ids={n // 4:,}", "simplices", "simplices_zipf",
                      {"n": n, "n_ids": n // 4, "seed": 12},
                      quick=n <= 10_000,
                      ref_skip=("skipped: quadratic scan, " + _pairs_note(n)) if n > 100_000 else None,
                      pure_skip="skipped: pure-Python pairwise scan capped at 100,000 simplices" if n > 100_000
                      else None,
                      # A popular id is held by a third of the simplices: the
                      # index walks ~n^2/20 (simplex, earlier simplex) steps.
                      inv_skip="skipped: ~5e+08 index steps (10,000 simplices take ~13 s)" if n >= 100_000
                      else None))
    # Larger simplices with Zipf-popular ids: 1 to 40 vertices over n/4 ids.
    for n in (1_000, 10_000, 100_000):
        out.append(_w(f"simp-zipf n={n:,} ids={n // 4:,} size=1-40", "simplices", "simplices_zipf",
                      {"n": n, "n_ids": n // 4, "seed": 12, "min_size": 1, "max_size": 40},
                      quick=n == 1_000, target=True,
                      ref_skip=("skipped: quadratic scan, " + _pairs_note(n)) if n >= 100_000 else None,
                      pure_skip=("skipped: most pairs share a popular id, " + _pairs_note(n)) if n >= 100_000
                      else None,
                      inv_skip=("skipped: most pairs share a popular id, " + _pairs_note(n)) if n >= 100_000
                      else None))
    # Large simplices over few, popular ids: nearly every pair overlaps.
    for n in (1_000, 10_000):
        out.append(_w(f"simp-zipf n={n:,} ids=2,000 size=20-400", "simplices", "simplices_zipf",
                      {"n": n, "n_ids": 2_000, "seed": 13, "min_size": 20, "max_size": 400},
                      quick=n == 1_000, target=True,
                      ref_skip=("skipped: quadratic scan, " + _pairs_note(n) + " of ~200 vertices") if n >= 10_000
                      else None,
                      pure_skip=("skipped: " + _pairs_note(n) + " set intersections of ~200 vertices")
                      if n >= 10_000 else None,
                      inv_skip=("skipped: ~1e+10 index steps, every pair shares ~20 ids") if n >= 10_000
                      else None))
    # G(n, p) at p = 0.1: average degree grows with n.
    for n in (100, 300, 1_000, 2_000, 3_000):
        out.append(_w(f"gnp n={n:,} p=0.1", "graph", "gnp", {"n": n, "p": 0.1, "seed": 21},
                      quick=n <= 300, target=n in (300, 2_000, 3_000),
                      pure_skip="skipped: networkx takes over 60 s from n=1,000" if n > 1_000 else None))
    out.append(_w("gnp n=300 p=0.1 max_q=3", "graph", "gnp", {"n": 300, "p": 0.1, "seed": 21},
                  quick=True, max_q=3))
    # Sparse G(n, p) with average degree 10.
    for n in (1_000, 10_000, 100_000):
        out.append(_w(f"gnp n={n:,} avgdeg=10", "graph", "gnp", {"n": n, "p": 10.0 / (n - 1), "seed": 22},
                      quick=n <= 10_000))
    # Scale-free graphs.
    for n in (1_000, 10_000, 100_000):
        out.append(_w(f"barabasi-albert n={n:,} m=5", "graph", "barabasi_albert",
                      {"n": n, "m": 5, "seed": 23}, quick=n <= 10_000))
    out.append(_w("planted 30-clique + 10,000 edges, 2,000 vertices", "graph", "planted_clique",
                  {"n_vertices": 2_000, "n_edges": 10_000, "clique_size": 30, "seed": 24},
                  quick=True, target=True, ref_skip="skipped: 2^30 sub-cliques of the planted clique"))
    # Weighted graphs for persistence, 4 edges per vertex.
    for m in (100, 1_000, 2_000, 10_000, 100_000):
        out.append(_w(f"weighted m={m:,} vertices={m // 4:,}", "persistence", "weighted_random",
                      {"n_edges": m, "n_vertices": m // 4, "seed": 31},
                      quick=m <= 2_000, target=m in (2_000, 100_000),
                      ref_skip="skipped: one full recomputation per edge" if m > 10_000 else None,
                      pure_skip="skipped: pure-Python persistence capped at 2,000 edges" if m > 2_000 else None))
    # Complete graphs filled one random edge at a time: the number of maximal
    # cliques, and of records, explodes in the middle of the filtration.
    for k in (20, 25, 30, 35, 40):
        out.append(_w(f"complete K{k} random order", "persistence", "complete_graph_random_order",
                      {"n_vertices": k, "seed": 41}, quick=k <= 25, target=k == 40,
                      ref_skip=f"skipped: every sub-clique, up to 2^{k} per recomputation (K20 takes > 60 s)",
                      pure_skip="skipped: networkx recomputation per edge (K25 takes ~8 s)" if k >= 30 else None))
    # Dense graphs filled in random order under a bound on clique size: the
    # answer stays small while the maximal cliques the growing graph passes
    # through do not. Without a bound the answer itself explodes past K48
    # (K56: 1.2e8 members).
    for p, sizes in ((1.0, (30, 40, 48, 56, 64)), (0.8, (32, 48, 64)), (0.5, (32, 48, 64))):
        for n in sizes:
            for max_q in (2, 3, 4, None):
                if max_q is None and p >= 1 and n != 48:
                    continue  # K30 and K40 are the complete graphs above
                work = _reference_work(n, p, max_q)
                out.append(_w(dense_name(n, p, max_q), "persistence", "dense_random_order",
                              {"n_vertices": n, "p": p, "seed": 43}, max_q=max_q,
                              quick=(p, n) in ((1.0, 48), (0.8, 48)) and max_q is not None,
                              target=p >= 1 and n in (40, 48, 64) and max_q is not None,
                              ref_skip=None if work < 3e7 else
                              "skipped: every sub-clique, again after every edge" if max_q is None else
                              f"skipped: ~{work:.0e} cliques registered, again after every edge",
                              pure_skip="skipped: networkx recomputation per edge"))
    # Real graphs shipped with networkx.
    out.append(_w("karate club", "graph", "real_graph_edges", {"name": "karate"}, quick=True))
    out.append(_w("karate club (persistence)", "persistence", "real_weighted_edges", {"name": "karate"},
                  quick=True))
    out.append(_w("les miserables", "graph", "real_graph_edges", {"name": "les_miserables"}, quick=True))
    out.append(_w("les miserables (persistence)", "persistence", "real_weighted_edges",
                  {"name": "les_miserables"}, quick=True))
    out.append(_w("florentine families", "graph", "real_graph_edges", {"name": "florentine"}, quick=True))
    out.append(_w("davis southern women (complex)", "simplices", "davis_simplices", {}, quick=True))
    return out


_GENERATORS = {
    "simplices_uniform": simplices_uniform,
    "simplices_zipf": simplices_zipf,
    "gnp": gnp,
    "barabasi_albert": barabasi_albert,
    "planted_clique": planted_clique,
    "weighted_random": weighted_random,
    "complete_graph_random_order": complete_graph_random_order,
    "dense_random_order": dense_random_order,
    "real_graph_edges": real_graph_edges,
    "real_weighted_edges": real_weighted_edges,
    "davis_simplices": davis_simplices,
}


def make_input(workload):
    """The positional arguments of the korvane call for this workload."""
    data = _GENERATORS[workload["gen"]](**workload["params"])
    if workload["kind"] == "simplices":
        return (data,)
    return (data, workload["max_q"])
