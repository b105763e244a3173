#!/usr/bin/env python3
"""Timings of the simplices analysis on its target workloads, beside scipy.

    PYTHONPATH=build/dev python bench/simplices_targets.py [--only TEXT] [--reps N]

For each workload: korvane.py_find_hierarchical_q_components (best of a few
calls), the time to convert the input alone (a call rejected at a trailing
non-int simplex), and, when the product fits in memory, scipy's single sparse
product M·Mᵀ of the incidence matrix (csr, int32 data; the product alone is
timed). All in this one process, back to back, so machine load hits all alike.
"""

import argparse
import gc
import sys
import time

from workloads import simplices_uniform, simplices_zipf, simplices_zipf_drawn

# simplices_zipf(n, ids, seed, exponent, min_size, max_size)
WORKLOADS = [
    ("uniform n=20,000 ids=5,000 size=1-8", lambda: simplices_uniform(20_000, 5_000, 11), True),
    ("zipf n=1,000 ids=250 size=1-8", lambda: simplices_zipf(1_000, 250, 12, 1.0, 1, 8), True),
    ("zipf n=10,000 ids=2,500 size=1-8", lambda: simplices_zipf(10_000, 2_500, 12, 1.0, 1, 8), True),
    ("zipf n=100,000 ids=25,000 size=1-8", lambda: simplices_zipf(100_000, 25_000, 12, 1.0, 1, 8), True),
    ("zipf n=1,000 ids=250 size=1-40", lambda: simplices_zipf(1_000, 250, 12, 1.0, 1, 40), True),
    ("zipf n=10,000 ids=2,500 size=1-40", lambda: simplices_zipf(10_000, 2_500, 12, 1.0, 1, 40), True),
    ("zipf n=100,000 ids=25,000 size=1-40", lambda: simplices_zipf(100_000, 25_000, 12, 1.0, 1, 40), False),
    ("zipf n=100,000 ids=25,000 drawn 1-40", lambda: simplices_zipf_drawn(100_000, 25_000, 12, 1, 40), False),
    ("zipf n=1,000 ids=2,000 size=20-400", lambda: simplices_zipf(1_000, 2_000, 13, 1.0, 20, 400), True),
    ("zipf n=10,000 ids=2,000 size=20-400", lambda: simplices_zipf(10_000, 2_000, 13, 1.0, 20, 400), True),
]


def best_of(fn, reps, budget, cpu=None):
    """Best wall time of up to `reps` calls (stopping once `budget` seconds
    are spent); the best CPU time of this process goes to cpu[0] if given.
    On a shared machine the CPU time is the steadier of the two."""
    best = best_cpu = float("inf")
    spent = 0.0
    for _ in range(reps):
        gc.collect()
        t0, c0 = time.perf_counter(), time.process_time()
        out = fn()
        dt, dc = time.perf_counter() - t0, time.process_time() - c0
        del out
        best, best_cpu = min(best, dt), min(best_cpu, dc)
        spent += dt
        if spent > budget:
            break
    if cpu is not None:
        cpu[0] = best_cpu
    return best


def scipy_product_time(data, reps, budget, cpu):
    import numpy as np
    import scipy.sparse as sp

    indptr = np.zeros(len(data) + 1, dtype=np.int64)
    np.cumsum([len(s) for s in data], out=indptr[1:])
    ids = {}
    cols = np.fromiter((ids.setdefault(v, len(ids)) for s in data for v in s), dtype=np.int32,
                       count=int(indptr[-1]))
    m = sp.csr_matrix((np.ones(len(cols), dtype=np.int32), cols, indptr), shape=(len(data), len(ids)))
    mt = m.T.tocsr()
    return best_of(lambda: m @ mt, reps, budget, cpu)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--only", action="append", default=[])
    p.add_argument("--reps", type=int, default=3)
    p.add_argument("--budget", type=float, default=20.0, help="seconds of repeats per measurement")
    p.add_argument("--no-scipy", action="store_true")
    args = p.parse_args()
    import korvane

    find = korvane.py_find_hierarchical_q_components
    print(f"korvane from {korvane.__file__}")
    print(f"{'workload':40} {'korvane':>9} {'(cpu)':>9} {'convert':>9} {'scipy M.Mt':>10} {'(cpu)':>9} "
          f"{'scipy/korv':>10}")
    for name, make, product_fits in WORKLOADS:
        if args.only and not any(o in name for o in args.only):
            continue
        data = make()
        cpu_k, cpu_s = [0.0], [None]
        t_k = best_of(lambda: find(data), args.reps, args.budget, cpu_k)
        bad = data + [["x"]]

        def convert_only():
            try:
                find(bad)
            except TypeError:
                pass

        t_c = best_of(convert_only, args.reps, args.budget)
        t_s = None
        if product_fits and not args.no_scipy:
            t_s = scipy_product_time(data, args.reps, args.budget, cpu_s)
        s_txt = f"{t_s:10.4f} {cpu_s[0]:9.4f}" if t_s is not None else f"{'-':>10} {'-':>9}"
        r_txt = f"{t_s / t_k:9.2f}x" if t_s is not None else f"{'-':>10}"
        print(f"{name:40} {t_k:9.4f} {cpu_k[0]:9.4f} {t_c:9.4f} {s_txt} {r_txt}", flush=True)


if __name__ == "__main__":
    sys.exit(main())
