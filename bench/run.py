#!/usr/bin/env python3
"""korvane benchmark suite.

    python bench/run.py [--quick] [--build-dir build/bench] [--use-build-korvane] [--only TEXT]

For every workload, three fresh child processes (bench/measure.py) measure:
korvane (installed, or the build directory's with --use-build-korvane), the
reference module korvane_reference (the documented algorithms, from the build
directory) and the pure-Python baseline (bench/pure_python.py). The korvane
child also measures argument conversion and result building. Results go to
bench/results/run-<quick|full>.json and a table is printed.
"""

import argparse
import datetime
import glob
import json
import os
import platform
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)

import workloads  # noqa: E402

METHOD_NOTE = (
    "conversion_s: best time of a korvane call on the same input made to fail after converting all of it "
    "(graph/persistence: max_q=-1, rejected after `edges` is converted; simplices: the input plus a trailing "
    "['x'] simplex, rejected after every simplex before it is converted). build_s: best time to build an "
    "equally sized Python result from the returned one at C speed ([[set(c) for c in level] for level in r], "
    "or [((q, list(vs)), b, d) for ...] for persistence); it reuses the returned int objects, so it slightly "
    "under-counts korvane's int creation. analysis_s = time_s - conversion_s - build_s (clamped at 0). "
    "Times are the best of repeated calls when a call is short; peak_delta_mb is the rise of the process's "
    "peak RSS over its RSS just before the first call (peak mark reset through /proc/self/clear_refs)."
)


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--quick", action="store_true", help="smaller workloads and timeouts (a few minutes)")
    p.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"),
                   help="CMake build dir holding korvane_reference (configured and built if absent)")
    p.add_argument("--use-build-korvane", action="store_true",
                   help="import korvane from --build-dir instead of the installed one")
    p.add_argument("--rebuild", action="store_true", help="run the CMake build even if the modules exist")
    p.add_argument("--only", action="append", default=[],
                   help="run only workloads whose name contains this text (repeatable)")
    p.add_argument("--timeout", type=float, help="seconds allowed to reference and pure-Python runs")
    p.add_argument("--korvane-timeout", type=float, help="seconds allowed to a korvane run")
    p.add_argument("--no-reference", action="store_true")
    p.add_argument("--no-pure", action="store_true")
    p.add_argument("--out", help="JSON output path (default bench/results/run-<quick|full>.json)")
    return p.parse_args()


def find_module(build_dir, name):
    found = sorted(glob.glob(os.path.join(build_dir, name + ".*.so")))
    return found[0] if found else None


def ensure_build(build_dir, rebuild):
    if not rebuild and find_module(build_dir, "korvane_reference") and find_module(build_dir, "korvane"):
        return None
    print(f"building korvane_reference and korvane in {build_dir} ...", flush=True)
    try:
        if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
            gen = ["-G", "Ninja"] if _has("ninja") else []
            subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, *gen, "-DKORVANE_BUILD_TESTS=ON",
                            f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "korvane_reference", "korvane"],
                       check=True)
    except (OSError, subprocess.CalledProcessError) as e:
        return f"build failed: {e}"
    return None


def _has(program):
    return any(os.access(os.path.join(d, program), os.X_OK) for d in os.environ.get("PATH", "").split(":"))


def run_child(workload, method, build_dir, timeout, repeat_budget, max_reps):
    req = {"workload": workload, "method": method, "build_dir": build_dir,
           "repeat_budget_s": repeat_budget, "max_reps": max_reps}
    out = {}
    t0 = time.perf_counter()
    proc = subprocess.Popen([sys.executable, os.path.join(HERE, "measure.py"), json.dumps(req)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        stdout, stderr = proc.communicate(timeout=timeout)
        timed_out = False
    except subprocess.TimeoutExpired:
        proc.kill()
        stdout, stderr = proc.communicate()
        timed_out = True
    for line in stdout.splitlines():
        try:
            out.update(json.loads(line))
        except ValueError:
            pass
    out["wall_s"] = time.perf_counter() - t0
    if timed_out:
        out["status"] = "timeout"
        out["reason"] = f"> {timeout:g} s"
    elif proc.returncode != 0:
        out["status"] = "error"
        last = (stderr.strip().splitlines() or [f"exit code {proc.returncode}"])[-1]
        out["reason"] = last[:200]
    else:
        out["status"] = "ok"
    return out


# ---------------------------------------------------------------------------
# Table
# ---------------------------------------------------------------------------


def fmt_time(s):
    if s is None:
        return "-"
    if s < 1e-3:
        return f"{s * 1e6:.0f}us"
    if s < 1:
        return f"{s * 1e3:.1f}ms"
    return f"{s:.2f}s"


def fmt_ratio(r):
    if r is None:
        return "-"
    if r >= 100:
        return f"{r:,.0f}x"
    if r < 1:
        return f"{r:.2f}x"
    return f"{r:.1f}x"


def cell(entry, korvane_time, timeout):
    """Time and ratio-to-korvane cells for a reference or pure-Python entry."""
    status = entry.get("status")
    if status == "ok":
        ratio = entry["time_s"] / korvane_time if korvane_time else None
        return fmt_time(entry["time_s"]), fmt_ratio(ratio)
    if status == "timeout":
        lower = timeout / korvane_time if korvane_time else None
        return f">{timeout:g}s", (">" + fmt_ratio(lower)) if lower else "-"
    if status == "skipped":
        return "skip", "-"
    return "error", "-"


COLUMNS = [("workload", 44, "<"), ("input", 17, "<"), ("korvane", 9, ">"), ("peakMB", 7, ">"),
           ("ref", 9, ">"), ("ref/k", 8, ">"), ("pure", 9, ">"), ("pure/k", 8, ">"),
           ("conv", 8, ">"), ("build", 8, ">"), ("analysis", 8, ">"), ("agree", 6, ">")]


def header():
    line = " ".join(f"{name:{align}{width}}" for name, width, align in COLUMNS)
    return line + "\n" + "-" * len(line)


def row(rec, timeout):
    w, k, ref, pure = rec["workload"], rec["korvane"], rec["reference"], rec["pure"]
    name = ("* " if w["target"] else "  ") + w["name"]
    size = f"{k['items']:,} {k['unit']}" if "items" in k else "-"
    kt = k.get("time_s") if k.get("status") == "ok" else None
    if k.get("status") == "ok":
        ktime = fmt_time(kt)
    elif k.get("status") == "timeout":
        ktime = k["reason"].replace(" ", "")
    else:
        ktime = "error"
    peak = f"{k['peak_delta_mb']:.1f}" if k.get("peak_delta_mb") is not None else "-"
    rt, rr = cell(ref, kt, timeout)
    pt, pr = cell(pure, kt, timeout)
    split = rec.get("split") or {}
    analysis = f"{100 * split['analysis_share']:.0f}%" if "analysis_share" in split else "-"
    conv = split.get("conversion_s", k.get("conversion_s"))
    cells = [name, size, ktime, peak, rt, rr, pt, pr, fmt_time(conv),
             fmt_time(split.get("build_s")), analysis, rec.get("agree", "-")]
    return " ".join(f"{str(c)[:width]:{align}{width}}" for c, (_, width, align) in zip(cells, COLUMNS))


def agreement(k, ref, pure):
    """'ok' when every finished method returned the same result (order-free)."""
    digests = [e["digest"] for e in (k, ref, pure) if e.get("status") == "ok" and "digest" in e]
    if len(digests) < 2:
        return "-"
    return "ok" if len(set(digests)) == 1 else "DIFF"


def split_times(k):
    if k.get("status") != "ok" or "build_s" not in k or "conversion_s" not in k:
        return None
    total, conv, build = k["time_s"], k["conversion_s"], k["build_s"]
    analysis = max(0.0, total - conv - build)
    return {"conversion_s": conv, "build_s": build, "analysis_s": analysis,
            "analysis_share": analysis / total if total > 0 else 0.0,
            "conversion_plus_build_share": min(1.0, (conv + build) / total) if total > 0 else 0.0}


def main():
    args = parse_args()
    mode = "quick" if args.quick else "full"
    timeout = args.timeout or (10.0 if args.quick else 60.0)
    korvane_timeout = args.korvane_timeout or (20.0 if args.quick else 600.0)
    repeat_budget, max_reps = (0.3, 20) if args.quick else (1.0, 100)
    build_dir = os.path.abspath(args.build_dir)
    out_path = args.out or os.path.join(HERE, "results", f"run-{mode}.json")

    build_problem = None if args.no_reference and not args.use_build_korvane else ensure_build(
        build_dir, args.rebuild)
    if build_problem:
        print(build_problem, file=sys.stderr)
    if args.use_build_korvane and not find_module(build_dir, "korvane"):
        sys.exit(f"no korvane module in {build_dir}")
    korvane_dir = build_dir if args.use_build_korvane else None
    if korvane_dir is None:
        probe = subprocess.run([sys.executable, "-c", "import korvane; print(korvane.__file__)"],
                               capture_output=True, text=True, cwd=HERE)
        if probe.returncode != 0:
            sys.exit("korvane is not installed: run `pip install .` or pass --use-build-korvane")
    reference_missing = None if find_module(build_dir, "korvane_reference") else (
        f"skipped: korvane_reference not found in {build_dir}")

    selected = [w for w in workloads.all_workloads()
                if (w["quick"] or not args.quick) and (not args.only or any(o in w["name"] for o in args.only))]

    started = datetime.datetime.now(datetime.timezone.utc)
    print(f"korvane bench ({mode}): {len(selected)} workloads; timeouts: reference/pure {timeout:g} s, "
          f"korvane {korvane_timeout:g} s; load average {os.getloadavg()[0]:.2f}")
    print("'*' marks the target workloads; ratios are method time / korvane time; conv/build/analysis split "
          "korvane's time (see bench/README.md).\n")
    print(header(), flush=True)

    records = []
    for w in selected:
        rec = {"workload": w}
        rec["korvane"] = run_child(w, "korvane", korvane_dir, korvane_timeout, repeat_budget, max_reps)
        for method, skip, disabled in (("reference", w["ref_skip"], args.no_reference),
                                       ("pure", w["pure_skip"], args.no_pure)):
            if disabled:
                rec[method] = {"status": "skipped", "reason": "disabled by option"}
            elif method == "reference" and reference_missing:
                rec[method] = {"status": "skipped", "reason": reference_missing}
            elif skip:
                rec[method] = {"status": "skipped", "reason": skip}
            else:
                rec[method] = run_child(w, method, build_dir, timeout, repeat_budget, max_reps)
        rec["split"] = split_times(rec["korvane"])
        k_time = rec["korvane"].get("time_s") if rec["korvane"].get("status") == "ok" else None
        for method in ("reference", "pure"):
            e = rec[method]
            if k_time and e.get("status") == "ok":
                e["ratio_to_korvane"] = e["time_s"] / k_time
            elif k_time and e.get("status") == "timeout":
                e["ratio_to_korvane_at_least"] = timeout / k_time
        rec["agree"] = agreement(rec["korvane"], rec["reference"], rec["pure"])
        records.append(rec)
        print(row(rec, timeout), flush=True)

    notes = []
    for rec in records:
        for method in ("korvane", "reference", "pure"):
            e = rec[method]
            if e.get("status") in ("skipped", "error") or (e.get("status") == "timeout" and method == "korvane"):
                notes.append(f"  {rec['workload']['name']}: {method} {e['reason']}")
    if notes:
        print("\nskipped / failed:")
        print("\n".join(notes))

    finished = datetime.datetime.now(datetime.timezone.utc)
    korvane_source = next((r["korvane"].get("source") for r in records if r["korvane"].get("source")), None)
    doc = {
        "mode": mode,
        "started": started.isoformat(timespec="seconds"),
        "finished": finished.isoformat(timespec="seconds"),
        "duration_s": (finished - started).total_seconds(),
        "machine": {"platform": platform.platform(), "python": platform.python_version(),
                    "cpus": os.cpu_count(), "load_average_at_end": os.getloadavg()},
        "korvane_module": korvane_source,
        "reference_build_dir": build_dir,
        "timeouts_s": {"reference_and_pure": timeout, "korvane": korvane_timeout},
        "repeats": {"budget_s": repeat_budget, "max_reps": max_reps},
        "method": METHOD_NOTE,
        "results": records,
    }
    os.makedirs(os.path.dirname(out_path), exist_ok=True)
    tmp = out_path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")
    os.replace(tmp, out_path)
    print(f"\n{len(records)} workloads in {doc['duration_s']:.0f} s; results in {os.path.relpath(out_path)}")


if __name__ == "__main__":
    main()
