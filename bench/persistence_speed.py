"""Persistence on its hard inputs: complete graphs filled in random order,
random sparse filtrations, and the native memory of a large one.

    python bench/persistence_speed.py complete 20 25 30 35 40   # K_n sweep
    python bench/persistence_speed.py weighted 2000             # m edges over m/4 vertices, timed best of --repeats
    python bench/persistence_speed.py memory 100000             # the same, timed once
    python bench/persistence_speed.py split 2000                # instructions: conversion, analysis, building

Every measurement runs in a fresh child process (peak RSS is per process)
and reports the peak resident memory above the process's memory before the
call, the deep size of the result (each object once) and their ratio.
`split` runs the child under valgrind's callgrind, which counts instructions
(deterministic on a shared machine): the call's total, the conversion of
`edges`, and the building of the records; the analysis is the rest.
`--build-dir DIR` measures the korvane built there (default: build/dev).
Each line also prints an order-free digest of the records, so that two
builds can be checked for equal answers.
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
from measure import canonical_digest, deep_size, reset_peak, status_kb  # noqa: E402


def complete_graph(n, seed):
    """K_n, its edges weighted uniformly in [0, 1): admitted in a random order."""
    import random

    rng = random.Random(seed)
    return [(u, v, rng.random()) for v in range(n) for u in range(v)]


def inputs(kind, size, seed):
    if kind == "complete":
        return complete_graph(size, seed)
    return workloads.weighted_random(size, size // 4, seed)


def measure(kind, size, seed, repeats):
    """Runs in the child: one line of JSON."""
    import korvane

    run = korvane.py_calculate_persistent_q_components
    edges = inputs(kind, size, seed)
    gc.collect()
    gc.freeze()
    reset_peak()
    base = status_kb("VmRSS")
    t0 = time.perf_counter()
    records = run(edges, None)
    best = time.perf_counter() - t0
    peak_mb = (status_kb("VmHWM") - base) / 1024
    out = {"kind": kind, "size": size, "records": len(records), "digest": canonical_digest("persistence", records), "peak_mb": peak_mb}
    out["deep_mb"] = deep_size(records)[0] / 2**20
    out["ratio"] = peak_mb / out["deep_mb"] if out["deep_mb"] else None
    del records
    for _ in range(repeats - 1):
        t0 = time.perf_counter()
        run(edges, None)
        best = min(best, time.perf_counter() - t0)
    # max_q = -1 is rejected after the edges are converted: conversion alone.
    convert = float("inf")
    for _ in range(repeats):
        t0 = time.perf_counter()
        try:
            run(edges, -1)
        except (OverflowError, ValueError, TypeError):
            pass
        convert = min(convert, time.perf_counter() - t0)
    out.update(seconds=best, convert_s=convert)
    print(json.dumps(out))


SPLIT_PARTS = {
    "call": "py_calculate_persistent_q_components(",
    "conversion": "convert_weighted_edges(",
    "building": "RecordsBuilder::add(",
}


def instruction_split(size, seed, build_dir):
    """Inclusive instruction counts of the call and of its two Python-facing parts."""
    import re
    import shutil
    import tempfile

    if shutil.which("valgrind") is None or shutil.which("callgrind_annotate") is None:
        return {"split": "valgrind not found"}
    env = dict(os.environ, PYTHONPATH=os.path.abspath(build_dir))
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "callgrind.out")
        cmd = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", os.path.realpath(sys.executable),
               __file__, "weighted", str(size), "--seed", str(seed), "--once"]
        subprocess.run(cmd, env=env, capture_output=True, text=True, check=True)
        report = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                                capture_output=True, text=True, check=True).stdout
    counts = {}
    for line in report.splitlines():
        match = re.match(r"\s*([\d,]+)\s", line)
        for part, name in SPLIT_PARTS.items():
            if match and name in line and part not in counts:
                counts[part] = int(match.group(1).replace(",", ""))
    counts["analysis"] = counts.get("call", 0) - counts.get("conversion", 0) - counts.get("building", 0)
    return counts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["complete", "weighted", "memory", "split"])
    parser.add_argument("sizes", type=int, nargs="+")
    parser.add_argument("--seed", type=int, default=31)
    parser.add_argument("--repeats", type=int, default=1)
    parser.add_argument("--build-dir", default=os.path.join(HERE, "..", "build", "dev"))
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--once", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.once:  # one call and nothing else, for the instruction split
        import korvane

        korvane.py_calculate_persistent_q_components(inputs(args.kind, args.sizes[0], args.seed), None)
        return
    if args.child:
        measure(args.kind, args.sizes[0], args.seed, args.repeats)
        return
    if args.kind == "split":
        for size in args.sizes:
            print(json.dumps({"kind": "split", "size": size, **instruction_split(size, args.seed, args.build_dir)}))
        return
    env = dict(os.environ, PYTHONPATH=os.path.abspath(args.build_dir))
    for size in args.sizes:
        cmd = [sys.executable, __file__, args.kind, str(size), "--seed", str(args.seed),
               "--repeats", str(args.repeats), "--child"]
        done = subprocess.run(cmd, env=env, capture_output=True, text=True)
        sys.stdout.write(done.stdout if done.returncode == 0 else f"{args.kind} {size}: failed\n{done.stderr}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
