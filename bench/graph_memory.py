"""Native peak memory and time split of the graph analysis.

    python bench/graph_memory.py [--build-dir build/dev] [--only TEXT] [--quick]

Each workload runs in a fresh child process. The child builds the input,
freezes it out of the collector, and measures:

- peak: the rise of the peak resident memory over the resident memory just
  before the call (the kernel's peak mark is reset first);
- deep: the deep size of the returned object, each object counted once (ints
  are shared within a result, so this is mostly sets and lists);
- total: the best time of the call;
- conv: the best time of a call made to fail at max_q=-1, which is rejected
  only after the edges are converted;
- build: the best time of copying the result into equal fresh sets at C
  speed, with the collector off as korvane has it while building, a
  stand-in for building it;
- analysis: total - conv - build.

The ratio peak/deep is the memory figure; analysis/(conv+build) the speed one.
"""
import argparse
import gc
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import workloads  # noqa: E402
from measure import deep_size, reset_peak, status_kb  # noqa: E402

GRAPH_WORKLOADS = [
    ("gnp n=300 p=0.1", "gnp", {"n": 300, "p": 0.1, "seed": 21}, True),
    ("gnp n=1,000 p=0.1", "gnp", {"n": 1000, "p": 0.1, "seed": 21}, True),
    ("gnp n=2,000 p=0.1", "gnp", {"n": 2000, "p": 0.1, "seed": 21}, False),
    ("gnp n=3,000 p=0.1", "gnp", {"n": 3000, "p": 0.1, "seed": 21}, False),
    ("gnp n=1,000 avgdeg=10", "gnp", {"n": 1000, "p": 10.0 / 999, "seed": 22}, True),
    ("gnp n=10,000 avgdeg=10", "gnp", {"n": 10000, "p": 10.0 / 9999, "seed": 22}, True),
    ("gnp n=100,000 avgdeg=10", "gnp", {"n": 100000, "p": 10.0 / 99999, "seed": 22}, False),
    ("barabasi-albert n=1,000 m=5", "barabasi_albert", {"n": 1000, "m": 5, "seed": 23}, True),
    ("barabasi-albert n=10,000 m=5", "barabasi_albert", {"n": 10000, "m": 5, "seed": 23}, True),
    ("barabasi-albert n=100,000 m=5", "barabasi_albert", {"n": 100000, "m": 5, "seed": 23}, False),
    ("planted 30-clique + 10,000 edges, 2,000 vertices", "planted_clique",
     {"n_vertices": 2000, "n_edges": 10000, "clique_size": 30, "seed": 24}, True),
]

GENERATORS = {"gnp": workloads.gnp, "barabasi_albert": workloads.barabasi_albert,
              "planted_clique": workloads.planted_clique}


def best_of(fn, budget):
    best, spent, reps = float("inf"), 0.0, 0
    while reps < 2 or (spent < budget and reps < 50):
        t0 = time.perf_counter()
        fn()
        dt = time.perf_counter() - t0
        best, spent, reps = min(best, dt), spent + dt, reps + 1
        if dt > budget:
            break
    return best


def child(gen, params, build_dir, budget):
    sys.path.insert(0, build_dir)
    import korvane

    fn = korvane.py_find_hierarchical_q_components_within_graph
    edges = GENERATORS[gen](**params)
    gc.collect()
    gc.freeze()
    reset_peak()
    base = status_kb("VmRSS")
    t0 = time.perf_counter()
    result = fn(edges, None)
    first = time.perf_counter() - t0
    peak_mb = (status_kb("VmHWM") - base) / 2**10
    deep_mb = deep_size(result)[0] / 2**20
    sets = sum(len(level) for level in result)
    members = sum(len(c) for level in result for c in level)
    out = {"edges": len(edges), "sets": sets, "members": members, "peak_mb": peak_mb, "deep_mb": deep_mb,
           "first_s": first}
    if first < budget:
        del result
        gc.collect()
        out["total_s"] = best_of(lambda: fn(edges, None), budget)
        result = fn(edges, None)
    else:
        out["total_s"] = first

    def fail():
        try:
            fn(edges, -1)
        except OverflowError:
            return
        raise AssertionError("max_q=-1 was accepted")

    out["conv_s"] = best_of(fail, min(budget, 2.0))
    gc.disable()
    out["build_s"] = best_of(lambda: [[set(c) for c in level] for level in result], min(budget, 2.0))
    gc.enable()
    print(json.dumps(out), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(os.path.dirname(HERE), "build", "dev"))
    parser.add_argument("--only", default="")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--budget", type=float, default=3.0)
    parser.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.child[0], json.loads(args.child[1]), args.build_dir, args.budget)
        return
    header = f"{'workload':50} {'peakMB':>8} {'deepMB':>8} {'ratio':>6} {'total ms':>9} {'conv':>8} " \
             f"{'build':>8} {'analysis':>9} {'an/(c+b)':>8}"
    print(header)
    for name, gen, params, quick in GRAPH_WORKLOADS:
        if args.only not in name or (args.quick and not quick):
            continue
        run = subprocess.run([sys.executable, __file__, "--build-dir", args.build_dir, "--budget",
                              str(args.budget), "--child", gen, json.dumps(params)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(f"{name:50} failed: {run.stderr.strip()[-300:]}")
            continue
        r = json.loads(run.stdout.strip().splitlines()[-1])
        analysis = r["total_s"] - r["conv_s"] - r["build_s"]
        print(f"{name:50} {r['peak_mb']:8.1f} {r['deep_mb']:8.1f} {r['peak_mb'] / max(r['deep_mb'], 1e-9):6.2f} "
              f"{r['total_s'] * 1e3:9.2f} {r['conv_s'] * 1e3:8.2f} {r['build_s'] * 1e3:8.2f} "
              f"{analysis * 1e3:9.2f} {analysis / (r['conv_s'] + r['build_s']):8.2f}", flush=True)


if __name__ == "__main__":
    main()
