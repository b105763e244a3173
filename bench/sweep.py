#!/usr/bin/env python3
"""Threshold sweep of the simplices path: shipped korvane beside korvane_reference.

    python bench/sweep.py [--quick] [--build-dir build/bench] [--use-build-korvane] [--only TEXT]

The shipped analysis of a complex used to switch strategy at fixed lines:
simplices of more than 16 vertices never drove the walk over shared vertex
subsets, and groups of at most 12 members sharing a vertex subset were compared
pair by pair. It now chooses by estimate, but these families, which were slow
there, stay in the sweep; bench/sweep_simplices.py adds the current lines.

Each family below sits on one side of such a line or the other: one simplex
size s around 16, heavy overlap (all vertices drawn from a pool a little larger
than s, so that groups sharing a vertex subset are large), and group sizes
around 12 (clusters of m simplices over their own pool). Every point runs in a
fresh child process that times both modules on the same input, interleaved,
best of several calls, and checks that they agree. The 64-bit index switch
needs over 4·10^9 vertex entries and cannot be reached by a sweep that runs in
seconds; the C++ tests reach it, for answers rather than speed, through the tuning
settings.

Results go to bench/results/sweep-<quick|full>.json.
"""

import argparse
import datetime
import glob
import hashlib
import json
import os
import platform
import random
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

SEED = 61
# Best-of timings of calls of a few milliseconds still move by a few percent
# between runs; a family counts as slower beyond this ratio.
SLOWER_ABOVE = 1.05

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


GENERATORS = {"one_size": one_size, "mixed_sizes": mixed_sizes, "clusters": clusters}


def _point(axis, label, gen, quick, **params):
    params["seed"] = SEED
    return {"axis": axis, "name": f"{axis}: {label}", "gen": gen, "params": params, "quick": quick}


def families():
    out = []
    # Across small_simplex_max: one size, heavy overlap (pool = size + 2).
    for s in (8, 12, 13, 14, 15, 16, 17, 18, 20, 24, 32, 40):
        out.append(_point("size", f"s={s} pool={s + 2} n=64", "one_size", quick=s in (12, 14, 15, 16, 17, 24, 40),
                          n=64, size=s, pool=s + 2))
    # Overlap at the sizes just under the threshold: the pool from s+1 to 2s.
    for s in (14, 16):
        for extra in (1, 3, 4, 6, 8, s):
            out.append(_point("overlap", f"s={s} pool={s + extra} n=64", "one_size", quick=s == 16,
                              n=64, size=s, pool=s + extra))
    # Across pairwise_group_max: a single heavily overlapping group of n
    # simplices, from a few members to many.
    for n in (8, 10, 12, 13, 14, 16, 20, 24, 32, 50, 100, 200):
        out.append(_point("members", f"s=16 pool=18 n={n}", "one_size", quick=n in (12, 13, 16, 32, 100),
                          n=n, size=16, pool=18))
    for n in (32, 50, 100):
        out.append(_point("members", f"s=15 pool=16 n={n}", "one_size", quick=n == 50, n=n, size=15, pool=16))
    # Groups of exactly m members: 20 clusters of m simplices over their own
    # pool of s + 2 ids.
    for s in (12, 16, 17):
        for m in (8, 10, 12, 13, 14, 16, 24, 32):
            out.append(_point("groups", f"20 x {m} of s={s} pool={s + 2}", "clusters",
                              quick=s == 16 and m in (12, 13, 16, 32), count=20, members=m, size=s, pool=s + 2))
    # Sizes on both sides of small_simplex_max in one complex.
    for sizes in ((16, 17), (15, 16, 17, 18), (8, 24), (12, 14, 16, 18, 20), (16, 40)):
        pool = max(sizes) + 2
        label = ",".join(map(str, sizes))
        out.append(_point("mixed", f"s={label} pool={pool} n=64", "mixed_sizes", quick=sizes in ((16, 17), (8, 24)),
                          n=64, sizes=list(sizes), pool=pool))
    return out


def make_input(point):
    return GENERATORS[point["gen"]](**point["params"])


# ---------------------------------------------------------------------------
# Child: time both modules on one point
# ---------------------------------------------------------------------------


def _digest(result):
    canon = [sorted(tuple(sorted(c)) for c in level) for level in result]
    return hashlib.sha1(repr(canon).encode()).hexdigest()[:12]


def child(req):
    import gc

    if req.get("korvane_dir"):
        sys.path.insert(0, req["korvane_dir"])
    import korvane

    shipped = korvane.py_find_hierarchical_q_components
    sys.path.insert(0, req["build_dir"])
    import korvane_reference

    reference = korvane_reference.py_find_hierarchical_q_components
    data = make_input(req["point"])
    gc.collect()
    gc.freeze()
    budget, min_reps, max_reps = req["budget_s"], req["min_reps"], req["max_reps"]
    best = {"shipped": float("inf"), "reference": float("inf")}
    spent = 0.0
    digests = {}
    reps = 0
    # Interleaved, so that a burst of load on the machine hits both.
    while reps < max_reps and (reps < min_reps or spent < budget):
        for name, fn in (("shipped", shipped), ("reference", reference)):
            t0 = time.perf_counter()
            result = fn(data)
            dt = time.perf_counter() - t0
            best[name] = min(best[name], dt)
            spent += dt
            if reps == 0:
                digests[name] = _digest(result)
            del result
        reps += 1
    print(json.dumps({"n": len(data), "vertices_total": sum(map(len, data)), "shipped_s": best["shipped"],
                      "reference_s": best["reference"], "reps": reps,
                      "agree": digests["shipped"] == digests["reference"]}))


# ---------------------------------------------------------------------------
# Parent
# ---------------------------------------------------------------------------


def run_point(point, build_dir, korvane_dir, timeout, budget):
    req = {"point": point, "build_dir": build_dir, "korvane_dir": korvane_dir,
           "budget_s": budget, "min_reps": 3, "max_reps": 50}
    try:
        proc = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", json.dumps(req)],
                              capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return {"status": "timeout", "reason": f"> {timeout:g} s"}
    if proc.returncode != 0:
        last = (proc.stderr.strip().splitlines() or [f"exit code {proc.returncode}"])[-1]
        return {"status": "error", "reason": last[:200]}
    out = json.loads(proc.stdout.strip().splitlines()[-1])
    out["status"] = "ok"
    out["ratio"] = out["shipped_s"] / out["reference_s"] if out["reference_s"] > 0 else None
    out["slower"] = out["ratio"] is not None and out["ratio"] > SLOWER_ABOVE
    return out


def _fmt_time(s):
    if s < 1e-3:
        return f"{s * 1e6:.0f}us"
    if s < 1:
        return f"{s * 1e3:.2f}ms"
    return f"{s:.2f}s"


COLUMNS = [("family", 36, "<"), ("n", 5, ">"), ("shipped", 9, ">"), ("reference", 9, ">"),
           ("ship/ref", 9, ">"), ("agree", 6, ">"), ("", 7, "<")]


def header():
    line = " ".join(f"{name:{align}{width}}" for name, width, align in COLUMNS)
    return line + "\n" + "-" * len(line)


def row(point, rec):
    if rec["status"] != "ok":
        cells = [point["name"], "-", rec["status"], "-", "-", "-", rec.get("reason", "")]
    else:
        cells = [point["name"], rec["n"], _fmt_time(rec["shipped_s"]), _fmt_time(rec["reference_s"]),
                 f"{rec['ratio']:.2f}x", "ok" if rec["agree"] else "DIFF", "SLOWER" if rec["slower"] else ""]
    return " ".join(f"{str(c)[:width]:{align}{width}}" for c, (_, width, align) in zip(cells, COLUMNS))


def summarize(records):
    done = [r for r in records if r["result"]["status"] == "ok"]
    slower = sorted((r for r in done if r["result"]["slower"]), key=lambda r: -r["result"]["ratio"])
    worst = max(done, key=lambda r: r["result"]["ratio"]) if done else None
    return {
        "points": len(records),
        "measured": len(done),
        "slower_above": SLOWER_ABOVE,
        "slower": [{"family": r["point"]["name"], "ratio": r["result"]["ratio"]} for r in slower],
        "worst": {"family": worst["point"]["name"], "ratio": worst["result"]["ratio"]} if worst else None,
        "disagree": [r["point"]["name"] for r in done if not r["result"]["agree"]],
        "failed": [r["point"]["name"] for r in records if r["result"]["status"] != "ok"],
    }


def run_sweep(build_dir, korvane_dir, quick, only=(), timeout=None, echo=print):
    """Runs the sweep, printing a table through `echo`; returns the JSON document part."""
    timeout = timeout or (30.0 if quick else 60.0)
    budget = 0.2 if quick else 0.5
    points = [p for p in families() if (p["quick"] or not quick) and (not only or any(o in p["name"] for o in only))]
    echo(f"threshold sweep: {len(points)} families, shipped korvane vs korvane_reference, seed {SEED}; "
         f"SLOWER marks ship/ref > {SLOWER_ABOVE:g}\n")
    echo(header())
    records = []
    for p in points:
        rec = run_point(p, build_dir, korvane_dir, timeout, budget)
        records.append({"point": p, "result": rec})
        echo(row(p, rec))
    summary = summarize(records)
    if summary["slower"]:
        echo(f"\nslower on the shipped path ({len(summary['slower'])} of {summary['measured']}): "
             + "; ".join(f"{s['family']} {s['ratio']:.1f}x" for s in summary["slower"]))
    else:
        echo(f"\nno family slower on the shipped path ({summary['measured']} measured)")
    if summary["disagree"]:
        echo("DISAGREE: " + "; ".join(summary["disagree"]))
    return {"seed": SEED, "repeat_budget_s": budget, "timeout_s": timeout, "records": records, "summary": summary}


def _find_module(build_dir, name):
    return sorted(glob.glob(os.path.join(build_dir, name + ".*.so")))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--child":
        child(json.loads(sys.argv[2]))
        return
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--quick", action="store_true", help="a subset of the families, shorter timing budget")
    p.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"),
                   help="CMake build dir holding korvane_reference (run bench/run.py once to build it)")
    p.add_argument("--use-build-korvane", action="store_true",
                   help="import korvane from --build-dir instead of the installed one")
    p.add_argument("--only", action="append", default=[], help="families whose name contains this text")
    p.add_argument("--timeout", type=float, help="seconds allowed to one family")
    p.add_argument("--out", help="JSON output path (default bench/results/sweep-<quick|full>.json)")
    args = p.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    if not _find_module(build_dir, "korvane_reference"):
        sys.exit(f"no korvane_reference in {build_dir}: build it with `python bench/run.py --only davis` "
                 "or cmake -DKORVANE_BUILD_TESTS=ON")
    korvane_dir = build_dir if args.use_build_korvane else None
    mode = "quick" if args.quick else "full"
    started = datetime.datetime.now(datetime.timezone.utc)
    print(f"load average {os.getloadavg()[0]:.2f}")
    doc = run_sweep(build_dir, korvane_dir, args.quick, args.only, args.timeout,
                    echo=lambda s: print(s, flush=True))
    finished = datetime.datetime.now(datetime.timezone.utc)
    doc = {"mode": mode, "started": started.isoformat(timespec="seconds"),
           "finished": finished.isoformat(timespec="seconds"),
           "machine": {"platform": platform.platform(), "python": platform.python_version(),
                       "cpus": os.cpu_count(), "load_average_at_end": os.getloadavg()},
           "korvane_dir": korvane_dir, "reference_build_dir": build_dir, **doc}
    out_path = args.out or os.path.join(HERE, "results", f"sweep-{mode}.json")
    os.makedirs(os.path.dirname(out_path), exist_ok=True)
    with open(out_path + ".tmp", "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")
    os.replace(out_path + ".tmp", out_path)
    print(f"results in {os.path.relpath(out_path)}")


if __name__ == "__main__":
    main()
