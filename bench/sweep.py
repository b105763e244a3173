"""The threshold sweep of the simplices path, a section of bench/run.py.

The shipped analysis of a complex chooses its strategy per input and per group
of simplices (the table in src/analyses/complex/strategy.hpp). Each family
below sits on one side of a line of that table or the other, and of the fixed
lines earlier versions switched at (simplices of more than 16 vertices never
drove the walk over shared vertex subsets; groups of at most 12 members were
compared pair by pair), whose slow families stay:

- size: 64 simplices of one size s, heavy overlap (a pool of s + 2 ids);
- overlap: sizes 14, 16 (and 17) with the pool from s + 1 to 2s;
- members: one heavily overlapping group of n simplices;
- groups: 20 clusters of m simplices, each over its own pool, so that every
  shared vertex subset has at most m holders;
- mixed: sizes on both sides of a line in one complex;
- spread: groups sharing from 40 to 130 vertices (one-word masks end at 64);
- split: a vertex held by thousands of simplices that share little besides
  it, their other vertices more popular still, alone or in clusters: the
  inputs whose groups are split (as records or as masks) rather than settled.

The filtration families cross the other choice of the shipped analyses: under
a bound on clique size a filtration follows either the maximal cliques of the
growing graph or the small cliques each edge creates, by an estimate
(src/analyses/persistence/path_choice.hpp). Complete graphs and G(n, p) filled
in random order, and a planted 30-clique in sparse random edges, with bounds
from 2 to 6: small bounds favour the small cliques, large bounds over large
cliques the maximal ones. Each point times the shipped filtration beside the
two paths forced (max/ship, small/ship: how much each would cost against the
choice) and, where it ends in reasonable time, the reference.

Every point runs in a fresh child that times the shipped korvane (installed,
or the build's) beside korvane_reference on the same input, in turns, best of
several calls, and checks that they agree: ship/ref. The full sweep also
times the shipped analysis on 64-bit indices (through the test hook: reaching
them by size needs 4·10^9 vertex entries), wide/ref. The split families are
too large for the reference's pairwise scan; they time the shipped analysis
against itself with every group settled at once (through the hook),
ship/settled: below 1, splitting pays.
"""

import hashlib
import random
import time

import measurement
import workloads
from tables import Table, fmt_time

SEED = 61
# Best-of timings of calls of a few milliseconds still move by a few percent
# between runs; a family counts as slower beyond this ratio.
SLOWER_ABOVE = 1.05
# The test hook's "choose by estimate", and a group size that settles all.
CHOOSE = 2**64 - 1
SETTLE_ALL = 2**62

# ---------------------------------------------------------------------------
# Families
# ---------------------------------------------------------------------------


def one_size(n, size, pool, seed):
    """n simplices of `size` distinct vertices each, all drawn from `pool` ids."""
    rng = random.Random(seed)
    return [rng.sample(range(pool), size) for _ in range(n)]


def mixed_sizes(n, sizes, pool, seed):
    """n simplices whose sizes cycle through `sizes`, drawn from `pool` ids."""
    rng = random.Random(seed)
    return [rng.sample(range(pool), sizes[i % len(sizes)]) for i in range(n)]


def clusters(count, members, size, pool, seed):
    """`count` clusters of `members` simplices of `size` vertices, each cluster
    over its own `pool` ids: every vertex subset is shared by at most
    `members` simplices. Shuffled so that clusters interleave in the input."""
    rng = random.Random(seed)
    out = []
    for c in range(count):
        base = c * pool
        out.extend([base + v for v in rng.sample(range(pool), size)] for _ in range(members))
    rng.shuffle(out)
    return out


def spread(n, common, own, pool, seed):
    """n simplices: `common` shared vertices plus `own` drawn from `pool`
    others, so a group holds about `pool` vertices beside the common ones."""
    rng = random.Random(seed)
    return [list(range(common)) + [common + v for v in rng.sample(range(pool), own)] for _ in range(n)]


def hubs(count, members, pool, per, seed):
    """`count` hubs, each in `members` simplices with `per` vertices of its own
    pool; copies of each pool (plus a marker) make every pool vertex more
    popular than its hub, so the hub's holders form one group whose copies
    hold `per` of the pool each."""
    rng = random.Random(seed)
    out = []
    for h in range(count):
        base = h * pool
        out.extend([10**6 + h] + [base + v for v in rng.sample(range(pool), per)] for _ in range(members))
        copies = members + 10 - members * per // pool
        out.extend([list(range(base, base + pool)) + [2 * 10**6 + h] for _ in range(copies)])
    return out


def planted_filtration(seed):
    """A 30-clique planted in 10,000 random edges over 2,000 vertices, every
    edge with a uniform random weight."""
    rng = random.Random(seed)
    return [(u, v, rng.random()) for u, v in workloads.planted_clique(2_000, 10_000, 30, seed)]


GENERATORS = {"one_size": one_size, "mixed_sizes": mixed_sizes, "clusters": clusters, "spread": spread,
              "hubs": hubs, "dense_random_order": workloads.dense_random_order, "planted": planted_filtration}


def _point(axis, label, gen, quick, **params):
    params["seed"] = SEED
    return {"axis": axis, "name": f"{axis}: {label}", "gen": gen, "params": params, "quick": quick}


def families():
    out = []
    for s in (8, 12, 13, 14, 15, 16, 17, 18, 20, 24, 32, 40, 63, 64, 65, 100):
        out.append(_point("size", f"s={s} pool={s + 2} n=64", "one_size", quick=s in (12, 14, 15, 16, 17, 24, 40),
                          n=64, size=s, pool=s + 2))
    for s in (14, 16, 17):
        for extra in (1, 3, 4, 6, 8, s):
            out.append(_point("overlap", f"s={s} pool={s + extra} n=64", "one_size", quick=s == 16,
                              n=64, size=s, pool=s + extra))
    for n in (8, 10, 12, 13, 14, 16, 17, 20, 24, 32, 50, 100, 200):
        out.append(_point("members", f"s=16 pool=18 n={n}", "one_size", quick=n in (12, 13, 16, 32, 100),
                          n=n, size=16, pool=18))
    for n in (32, 50, 100, 300):
        out.append(_point("members", f"s=15 pool=16 n={n}", "one_size", quick=n == 50, n=n, size=15, pool=16))
    for s in (12, 16, 17):
        for m in (8, 10, 12, 13, 14, 16, 17, 24, 32):
            out.append(_point("groups", f"20 x {m} of s={s} pool={s + 2}", "clusters",
                              quick=s == 16 and m in (12, 13, 16, 32), count=20, members=m, size=s, pool=s + 2))
    for sizes in ((16, 17), (15, 16, 17, 18), (8, 24), (12, 14, 16, 18, 20), (16, 40), (4, 64, 65)):
        pool = max(sizes) + 2
        label = ",".join(map(str, sizes))
        out.append(_point("mixed", f"s={label} pool={pool} n=64", "mixed_sizes", quick=sizes in ((16, 17), (8, 24)),
                          n=64, sizes=list(sizes), pool=pool))
    for pool in (40, 56, 62, 64, 66, 70, 96, 130):
        out.append(_point("spread", f"n=48 common=4 own=24 pool={pool}", "spread", quick=pool in (62, 66),
                          n=48, common=4, own=24, pool=pool))
    for count, members, pool, per in ((1, 5000, 200, 2), (3, 2000, 200, 10), (1, 3000, 60, 3), (8, 1000, 40, 3)):
        how = "records" if pool > 64 else "masks"
        out.append(_point("split", f"{count} x {members} over {pool}, {per} each ({how})", "hubs",
                          quick=(count, pool) in ((1, 200), (1, 60)), count=count, members=members, pool=pool,
                          per=per))
    for n, p, bounds, ref_bounds in ((20, 1.0, (3, 4, 5, 6), (3, 4, 5)), (30, 1.0, (2, 3, 4, 5, 6), (2, 3)),
                                     (48, 1.0, (2, 3, 4, 5), (2,)), (64, 0.5, (3, 4, 5, 6), (3, 4)),
                                     (48, 0.8, (3, 4, 5, 6), (3,))):
        for max_q in bounds:
            graph = f"K{n}" if p >= 1 else f"G({n}, {p:g})"
            out.append(_point("filtration", f"{graph} random order, max_q={max_q}", "dense_random_order",
                              quick=max_q in (3, 5) and n in (30, 48), n_vertices=n, p=p, max_q=max_q,
                              reference=max_q in ref_bounds))
    for max_q in (3, 4, 5, 6):
        out.append(_point("filtration", f"planted 30-clique, max_q={max_q}", "planted", quick=max_q == 5,
                          max_q=max_q, reference=False))
    return out


def make_input(point):
    params = {k: v for k, v in point["params"].items() if k not in ("max_q", "reference")}
    return GENERATORS[point["gen"]](**params)


def variants(point, quick):
    """What a point times beside the shipped analysis."""
    if point["axis"] == "split":
        return ["settled"]
    if point["axis"] == "filtration":
        return ["maximal", "small"] + (["reference"] if point["params"]["reference"] else [])
    return ["reference"] if quick else ["reference", "wide"]


# ---------------------------------------------------------------------------
# Child: time the variants of one point
# ---------------------------------------------------------------------------


def _digest(result):
    if result and isinstance(result[0], tuple):
        # Records: grouped by death step, each group in no defined order.
        canon = sorted(result, key=lambda r: (r[2], r[0][0], r[0][1], r[1]))
    else:
        canon = [sorted(tuple(sorted(c)) for c in level) for level in result]
    return hashlib.sha1(repr(canon).encode()).hexdigest()[:12]


def child(req):
    import gc

    korvane = measurement.load_module("korvane", req.get("korvane_dir"))
    test_module = measurement.load_module("korvane_reference", req["build_dir"])
    if req["point"]["axis"] == "filtration":
        max_q = req["point"]["params"]["max_q"]
        limit = 2**32 - 2
        filtration = test_module._shipped_persistence
        functions = {
            "shipped": lambda data: korvane.py_calculate_persistent_q_components(data, max_q),
            "reference": lambda data: test_module.py_calculate_persistent_q_components(data, max_q),
            "maximal": lambda data: filtration(data, max_q, limit, limit, "maximal"),
            "small": lambda data: filtration(data, max_q, limit, limit, "small"),
        }
    else:
        hook = test_module._shipped_simplices
        functions = {
            "shipped": korvane.py_find_hierarchical_q_components,
            "reference": test_module.py_find_hierarchical_q_components,
            "wide": lambda data: hook(data, CHOOSE, CHOOSE, True),
            "settled": lambda data: hook(data, CHOOSE, SETTLE_ALL, False),
        }
    timed = [(name, functions[name]) for name in ["shipped"] + req["variants"]]
    data = make_input(req["point"])
    gc.collect()
    gc.freeze()
    budget, min_reps, max_reps = req["budget_s"], req["min_reps"], req["max_reps"]
    best = {name: float("inf") for name, _ in timed}
    spent = 0.0
    digests = {}
    reps = 0
    # In turns, so that a burst of load on the machine hits all alike.
    while reps < max_reps and (reps < min_reps or spent < budget):
        for name, fn in timed:
            t0 = time.perf_counter()
            result = fn(data)
            dt = time.perf_counter() - t0
            best[name] = min(best[name], dt)
            spent += dt
            if reps == 0:
                digests[name] = _digest(result)
            del result
        reps += 1
    items = sum(len(x) for x in data) if req["point"]["axis"] != "filtration" else 2 * len(data)
    measurement.emit(n=len(data), vertices_total=items, times_s=best, reps=reps,
                     agree=len(set(digests.values())) == 1)


# ---------------------------------------------------------------------------
# Parent
# ---------------------------------------------------------------------------


def run_point(point, build_dir, korvane_dir, quick, timeout, budget):
    req = {"point": point, "build_dir": build_dir, "korvane_dir": korvane_dir, "variants": variants(point, quick),
           "budget_s": budget, "min_reps": 3, "max_reps": 50}
    out = measurement.run_child("sweep.py", req, timeout)
    if out["status"] != "ok":
        return out
    times = out["times_s"]
    out["ratios"] = {name: times["shipped"] / times[name] for name in req["variants"] if times[name] > 0}
    # Slower than the reference, or than settling every group.
    out["slower"] = any(out["ratios"].get(name, 0) > SLOWER_ABOVE for name in ("reference", "settled"))
    return out


# "extra": for complexes the 64-bit indices against the reference (wide/ref),
# for filtrations each forced path against the shipped choice (max/ship and
# small/ship).
TABLE = Table([("family", 44, "<"), ("n", 6, ">"), ("shipped", 9, ">"), ("against", 9, ">"), ("time", 9, ">"),
               ("ratio", 6, ">"), ("extra", 13, ">"), ("agree", 5, ">"), ("", 7, "<")])


def row(point, rec):
    if rec["status"] != "ok":
        return TABLE.row([point["name"], "-", rec["status"], "-", "-", "-", "-", "-", rec.get("reason", "")])
    times, ratios = rec["times_s"], rec["ratios"]
    other = next(name for name in ("settled", "reference", "maximal") if name in times)
    if "small" in times:
        extra = f"{times['maximal'] / times['shipped']:.1f} / {times['small'] / times['shipped']:.1f}"
    else:
        extra = f"{times['wide'] / times['reference']:.2f}x" if "wide" in times else "-"
    return TABLE.row([point["name"], rec["n"], fmt_time(times["shipped"]), other, fmt_time(times[other]),
                      f"{ratios[other]:.2f}x", extra, "ok" if rec["agree"] else "DIFF",
                      "SLOWER" if rec["slower"] else ""])


def summarize(records):
    done = [r for r in records if r["result"]["status"] == "ok"]
    against_reference = [r for r in done if "reference" in r["result"]["ratios"]]
    slower = sorted((r for r in done if r["result"]["slower"]), key=lambda r: -max(r["result"]["ratios"].values()))
    worst = max(against_reference, key=lambda r: r["result"]["ratios"]["reference"], default=None)
    splits = [r for r in done if "settled" in r["result"]["ratios"]]
    return {
        "points": len(records),
        "measured": len(against_reference),
        "slower_above": SLOWER_ABOVE,
        "slower": [{"family": r["point"]["name"], "ratio": max(r["result"]["ratios"].values())} for r in slower],
        "worst": ({"family": worst["point"]["name"], "ratio": worst["result"]["ratios"]["reference"]}
                  if worst else None),
        "split_against_settled": [{"family": r["point"]["name"], "ratio": r["result"]["ratios"]["settled"]}
                                  for r in splits],
        # The shipped filtration against the cheaper of its two paths forced.
        "filtration_choice": [{"family": r["point"]["name"],
                               "ratio": r["result"]["times_s"]["shipped"]
                               / min(r["result"]["times_s"]["maximal"], r["result"]["times_s"]["small"])}
                              for r in done if "small" in r["result"]["times_s"]],
        "disagree": [r["point"]["name"] for r in done if not r["result"]["agree"]],
        "failed": [r["point"]["name"] for r in records if r["result"]["status"] != "ok"],
    }


def run_sweep(build_dir, korvane_dir, quick, only=(), timeout=None, echo=print):
    """Runs the sweep, printing a table through `echo`; returns the results
    file's part."""
    timeout = timeout or (30.0 if quick else 60.0)
    budget = 0.2 if quick else 0.5
    points = [p for p in families()
              if (p["quick"] or not quick) and (not only or any(o in p["name"] for o in only))]
    echo(f"threshold sweep: {len(points)} families, the shipped analysis against korvane_reference (ship/ref) "
         f"or against settling every group (ship/settled), seed {SEED}; SLOWER marks a ratio > {SLOWER_ABOVE:g}\n")
    for line in TABLE.header():
        echo(line)
    records = []
    for p in points:
        rec = run_point(p, build_dir, korvane_dir, quick, timeout, budget)
        records.append({"point": p, "result": rec})
        echo(row(p, rec))
    summary = summarize(records)
    if summary["slower"]:
        echo(f"\nslower on the shipped path ({len(summary['slower'])}): "
             + "; ".join(f"{s['family']} {s['ratio']:.2f}x" for s in summary["slower"]))
    else:
        echo(f"\nno family slower on the shipped path ({len(records)} measured)")
    if summary["disagree"]:
        echo("DISAGREE: " + "; ".join(summary["disagree"]))
    return {"seed": SEED, "repeat_budget_s": budget, "timeout_s": timeout, "records": records, "summary": summary}


if __name__ == "__main__":
    child(measurement.child_request())
