#!/usr/bin/env python3
"""Sweep of the simplices path across its size and group thresholds, the
shipped analysis timed beside the reference.

    PYTHONPATH=build/dev KORVANE_TEST_BUILD_DIR=build/dev python bench/sweep_simplices.py [--only TEXT] [--quick]

The shipped analysis chooses its strategy per input and per group of
simplices: which simplices are large (settled all together), whether a group
is settled at once or split by a shared vertex, whether a group is walked as
records or as one-word masks (at most 64 shared vertices), whether equal
copies are merged first (groups of 16 or more), how a settled group counts
overlaps (bitsets, a vertex index, or bitsets over its 64 most held vertices
plus the index), and 32- or 64-bit indices. The families below sit on both
sides of each of those lines, and of the fixed thresholds the walk used to
have (16 vertices for a large simplex, 12 members for a pairwise group):

- size: one simplex size s, heavy overlap (pool s + 2);
- overlap: sizes 14, 16, 17 with the pool from s + 1 to 2s;
- members: one heavily overlapping group of n simplices;
- groups: 20 clusters of m simplices over their own pools;
- mixed: sizes on both sides of 16 in one complex;
- spread: groups sharing from 40 to 130 vertices;
- wide: the shipped analysis on 64-bit indices (forced through the test
  hook; reaching them by size needs 4 * 10^9 vertex entries).

Every point times korvane and korvane_reference on the same input, in
turns, best of several calls, checks that they agree, and prints
shipped / reference. Seeds are fixed; points stay small enough for the
reference to finish in seconds.
"""

import argparse
import gc
import glob
import os
import random
import sys
import time

from sweep import clusters, mixed_sizes, one_size

SEED = 61
CHOOSE = 2**64 - 1  # the test hook's "choose by estimate"


def spread(n, common, own, pool, seed):
    """n simplices: `common` shared vertices plus `own` drawn from `pool`
    others, so a group holds about `pool` vertices beside the common ones."""
    rng = random.Random(seed)
    return [list(range(common)) + [common + v for v in rng.sample(range(pool), own)] for _ in range(n)]


def families(quick):
    out = []

    def add(axis, label, make, in_quick=False):
        if in_quick or not quick:
            out.append((f"{axis}: {label}", make))

    for s in (8, 12, 14, 15, 16, 17, 18, 20, 24, 32, 40, 63, 64, 65, 100):
        add("size", f"s={s} pool={s + 2} n=64", lambda s=s: one_size(64, s, s + 2, SEED), s in (12, 16, 17, 40, 65))
    for s in (14, 16, 17):
        for extra in (1, 3, 4, 6, 8, s):
            add("overlap", f"s={s} pool={s + extra} n=64", lambda s=s, e=extra: one_size(64, s, s + e, SEED),
                s == 16 and extra in (1, 4))
    for n in (8, 10, 12, 13, 14, 16, 17, 20, 24, 32, 50, 100, 200):
        add("members", f"s=16 pool=18 n={n}", lambda n=n: one_size(n, 16, 18, SEED), n in (12, 13, 16, 17, 100))
    for n in (32, 100, 300):
        add("members", f"s=15 pool=16 n={n}", lambda n=n: one_size(n, 15, 16, SEED), n == 100)
    for s in (12, 16, 17):
        for m in (8, 10, 12, 13, 14, 16, 17, 24, 32):
            add("groups", f"20 x {m} of s={s} pool={s + 2}", lambda s=s, m=m: clusters(20, m, s, s + 2, SEED),
                s == 16 and m in (12, 13, 16, 17))
    for sizes in ((16, 17), (15, 16, 17, 18), (8, 24), (12, 14, 16, 18, 20), (16, 40), (4, 64, 65)):
        pool = max(sizes) + 2
        label = ",".join(map(str, sizes))
        add("mixed", f"s={label} pool={pool} n=64", lambda sz=sizes, p=pool: mixed_sizes(64, list(sz), p, SEED),
            sizes in ((16, 17), (8, 24)))
    for pool in (40, 56, 62, 64, 66, 70, 96, 130):
        add("spread", f"n=48 common=4 own=24 pool={pool}", lambda p=pool: spread(48, 4, 24, p, SEED),
            pool in (62, 66, 130))
    return out


def best_time(fn, data, budget, min_reps=3, max_reps=40):
    best = float("inf")
    spent = 0.0
    reps = 0
    while reps < max_reps and (reps < min_reps or spent < budget):
        gc.collect()
        t0 = time.perf_counter()
        fn(data)
        dt = time.perf_counter() - t0
        best = min(best, dt)
        spent += dt
        reps += 1
    return best


def canonical(levels):
    return [sorted(tuple(sorted(c)) for c in level) for level in levels]


def fmt(s):
    return f"{s * 1e6:.0f}us" if s < 1e-3 else f"{s * 1e3:.2f}ms" if s < 1 else f"{s:.2f}s"


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--only", action="append", default=[], help="families whose name contains this text")
    p.add_argument("--quick", action="store_true", help="a few points per axis")
    p.add_argument("--budget", type=float, default=0.3, help="seconds of repeats per module and point")
    args = p.parse_args()
    build_dir = os.environ.get("KORVANE_TEST_BUILD_DIR", "build/dev")
    if not glob.glob(os.path.join(build_dir, "korvane_reference*.so")):
        sys.exit(f"no korvane_reference in {build_dir}: configure with -DKORVANE_BUILD_TESTS=ON and build")
    sys.path.insert(0, build_dir)
    import korvane
    import korvane_reference

    shipped = korvane.py_find_hierarchical_q_components
    reference = korvane_reference.py_find_hierarchical_q_components
    wide = lambda data: korvane_reference._shipped_simplices(data, CHOOSE, CHOOSE, True)  # noqa: E731

    print(f"korvane from {korvane.__file__}; seed {SEED}; load average {os.getloadavg()[0]:.2f}")
    head = f"{'family':42} {'shipped':>9} {'wide':>9} {'reference':>10} {'ship/ref':>9} {'wide/ref':>9}"
    print(head)
    print("-" * len(head))
    worst = (0.0, "")
    slower = []
    for name, make in families(args.quick):
        if args.only and not any(o in name for o in args.only):
            continue
        data = make()
        expected = canonical(reference(data))
        if canonical(shipped(data)) != expected or canonical(wide(data)) != expected:
            print(f"{name:42} DISAGREES WITH THE REFERENCE")
            slower.append(name)
            continue
        # In turns, so that load on the machine hits all three alike.
        t_ship = t_wide = t_ref = float("inf")
        for _ in range(2):
            t_ship = min(t_ship, best_time(shipped, data, args.budget / 2))
            t_wide = min(t_wide, best_time(wide, data, args.budget / 2))
            t_ref = min(t_ref, best_time(reference, data, args.budget / 2))
        ratio, wide_ratio = t_ship / t_ref, t_wide / t_ref
        flag = "  SLOWER" if max(ratio, wide_ratio) > 1.0 else ""
        if flag:
            slower.append(name)
        worst = max(worst, (max(ratio, wide_ratio), name))
        print(f"{name:42} {fmt(t_ship):>9} {fmt(t_wide):>9} {fmt(t_ref):>10} {ratio:8.3f}x {wide_ratio:8.3f}x{flag}",
              flush=True)
    print(f"\nworst shipped/reference: {worst[0]:.3f}x ({worst[1]})")
    print("slower than the reference: " + ("; ".join(slower) if slower else "none"))
    return 1 if slower else 0


if __name__ == "__main__":
    sys.exit(main())
