#!/usr/bin/env python3
"""korvane benchmark suite.

    python bench/run.py [--quick] [--build-dir build/bench] [--use-build-korvane] [--only TEXT]

For every workload, fresh child processes (bench/measure.py) measure:
korvane (installed, or the build directory's with --use-build-korvane), the
reference module korvane_reference (the documented algorithms, from the build
directory), the pure-Python baselines (bench/pure_python.py: pairwise scan and
inverted index) and, for complexes, scipy's sparse product M·Mᵀ. The korvane
child also measures argument conversion, result building, peak memory and the
deep size of the result. The korvane of an earlier commit (--before) is
measured on the target workloads, then the threshold sweep (bench/sweep.py)
and the threads section (bench/threads.py) run, and a report checks every
target of issue 11. Results go to
bench/results/run-<quick|full>.json and tables are printed.
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

import callgrind  # noqa: E402
import sweep  # noqa: E402
import targets  # noqa: E402
import threads  # noqa: E402
import workloads  # noqa: E402

METHOD_NOTE = (
    "conversion_s: best time of a korvane call on the same input made to fail after converting all of it "
    "(graph/persistence: max_q=-1, rejected after `edges` is converted; simplices: the input plus a trailing "
    "['x'] simplex, rejected after every simplex before it is converted). build_s: korvane's own result "
    "building. For today's korvane it comes from the test module's timing hook, which times conversion, analysis "
    "and building inside one call; a streamed analysis (graph, persistence) is timed alone, fed to a sink that "
    "keeps nothing, and build_s is the best call with the real builder less the best analysis alone. For the "
    "korvane of an earlier commit it is timed from its first lasting Python containers to its return (a garbage-"
    "collector callback at a low threshold marks the moment; CPython <= 3.11 only); copy_build_s, measured only "
    "when build_s is missing: best time to build an equally sized result from the returned one at C speed (the "
    "proxy of earlier runs). analysis_s = time_s - conversion_s - build_s (clamped at 0). Times are the best of "
    "repeated calls when a call is short; peak_delta_mb is the rise of the process's peak RSS over its RSS just "
    "before the first call (peak mark reset through /proc/self/clear_refs); deep_mb is the sys.getsizeof sum "
    "over the result's lists, tuples, sets, floats and ints, each object once by identity, computed after the "
    "timed calls. scipy: best time of M @ Mt for the n x V csr incidence matrix (int32 ones) and its transpose "
    "in csr form, both built before timing; skipped when the product's estimated size (non-zeros from a "
    "row sample) is over the limit. inv: its child times korvane in turns with the baseline (each round one "
    "baseline call, then korvane's best over 0.2 s) and inv/k is the ratio of those two bests."
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
    p.add_argument("--no-inv", action="store_true", help="leave out the pure-Python inverted-index baseline")
    p.add_argument("--no-scipy", action="store_true", help="leave out scipy's sparse product")
    p.add_argument("--scipy-max-gb", type=float, default=4.0,
                   help="skip the sparse product when its estimated size is over this (default 4 GB)")
    p.add_argument("--before", default=targets.BEFORE_REV, metavar="REV",
                   help="git revision whose korvane is measured on the target workloads for before/after "
                        f"figures (default {targets.BEFORE_REV}); built from `git archive` in build/before-REV")
    p.add_argument("--no-before", action="store_true", help="skip the korvane of --before")
    p.add_argument("--no-sweep", action="store_true", help="skip the threshold sweep (bench/sweep.py)")
    p.add_argument("--callgrind", action="store_true",
                   help="count each workload's instructions per call under callgrind instead of timing "
                        "(results in bench/results/callgrind-<quick|full>.json)")
    p.add_argument("--callgrind-against", metavar="JSON",
                   help="with --callgrind: print each count beside the one in this earlier result file")
    p.add_argument("--callgrind-function", action="append", default=[], metavar="PATTERN",
                   help="with --callgrind: also the inclusive count of functions whose name holds PATTERN")
    p.add_argument("--no-threads", action="store_true", help="skip the threads section (bench/threads.py)")
    p.add_argument("--threads-before", default=threads.BEFORE_REV, metavar="REV",
                   help="git revision whose korvane the threads section compares on one thread "
                        f"(default {threads.BEFORE_REV})")
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


def ensure_before_build(rev, build_root):
    """The korvane of git revision `rev`, exported with `git archive` (the
    working tree is untouched) and built in build_root/before-<rev>. Returns
    (module dir or None, problem or None)."""
    try:
        full = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", rev + "^{commit}"], check=True,
                              capture_output=True, text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError) as e:
        return None, f"unknown revision {rev}: {e}"
    base = os.path.join(build_root, f"before-{full}")
    source, build = os.path.join(base, "src"), os.path.join(base, "build")
    if find_module(build, "korvane"):
        return build, None
    print(f"building the korvane of {full} in {base} ...", flush=True)
    try:
        os.makedirs(source, exist_ok=True)
        archive = subprocess.run(["git", "-C", ROOT, "archive", "--format=tar", full], check=True,
                                 capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", source], input=archive, check=True)
        gen = ["-G", "Ninja"] if _has("ninja") else []
        subprocess.run(["cmake", "-S", source, "-B", build, *gen, f"-DPython_EXECUTABLE={sys.executable}"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "-j2", "--target", "korvane"], check=True,
                       stdout=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError) as e:
        return None, f"build of {full} failed: {e}"
    return (build, None) if find_module(build, "korvane") else (None, f"no korvane module built in {build}")


def _has(program):
    return any(os.access(os.path.join(d, program), os.X_OK) for d in os.environ.get("PATH", "").split(":"))


def run_child(workload, method, build_dir, timeout, repeat_budget, max_reps, extra=None):
    req = {"workload": workload, "method": method, "build_dir": build_dir,
           "repeat_budget_s": repeat_budget, "max_reps": max_reps, **(extra or {})}
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
    elif "skip" in out:
        out["status"] = "skipped"
        out["reason"] = out.pop("skip")
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


def fmt_mb(mb):
    if mb is None:
        return "-"
    return f"{mb:.2f}" if mb < 1 else f"{mb:.1f}" if mb < 100 else f"{mb:,.0f}"


def cell(entry, korvane_time, timeout):
    """Time and ratio-to-korvane cells for a baseline's entry."""
    status = entry.get("status")
    # A baseline timed in turns with korvane carries korvane's time of its own.
    korvane_time = entry.get("korvane_time_s") or korvane_time
    if status == "ok":
        ratio = entry["time_s"] / korvane_time if korvane_time else None
        return fmt_time(entry["time_s"]), fmt_ratio(ratio)
    if status == "timeout":
        lower = timeout / korvane_time if korvane_time else None
        return f">{timeout:g}s", (">" + fmt_ratio(lower)) if lower else "-"
    if status == "skipped":
        return "skip", "-"
    return "error", "-"


# Baselines, in table order: (record key, column, ratio column).
BASELINES = (("reference", "ref", "ref/k"), ("pure", "pure", "pure/k"), ("inv", "inv", "inv/k"),
             ("scipy", "scipy", "sp/k"))

COLUMNS = [("workload", 42, "<"), ("input", 17, "<"), ("korvane", 8, ">"), ("peakMB", 7, ">"),
           ("deepMB", 7, ">"), ("pk/dp", 5, ">"),
           ("ref", 8, ">"), ("ref/k", 7, ">"), ("pure", 8, ">"), ("pure/k", 7, ">"),
           ("inv", 8, ">"), ("inv/k", 7, ">"), ("scipy", 8, ">"), ("sp/k", 6, ">"),
           ("conv", 7, ">"), ("build", 8, ">"), ("analysis", 8, ">"), ("agree", 5, ">")]


def header():
    line = " ".join(f"{name:{align}{width}}" for name, width, align in COLUMNS)
    return line + "\n" + "-" * len(line)


def row(rec, timeout):
    w, k = rec["workload"], rec["korvane"]
    name = ("* " if w["target"] else "  ") + w["name"]
    size = f"{k['items']:,} {k['unit']}" if "items" in k else "-"
    kt = k.get("time_s") if k.get("status") == "ok" else None
    if k.get("status") == "ok":
        ktime = fmt_time(kt)
    elif k.get("status") == "timeout":
        ktime = k["reason"].replace(" ", "")
    else:
        ktime = "error"
    peak, deep = k.get("peak_delta_mb"), k.get("deep_mb")
    ratio = f"{peak / deep:.2f}" if peak is not None and deep else "-"
    cells = [name, size, ktime, fmt_mb(peak), fmt_mb(deep), ratio]
    for key, _, _ in BASELINES:
        cells.extend(cell(rec[key], kt, timeout))
    split = rec.get("split") or {}
    analysis = f"{100 * split['analysis_share']:.0f}%" if "analysis_share" in split else "-"
    build = fmt_time(split.get("build_s"))
    if split.get("build_is_copy"):
        build = "~" + build
    cells += [fmt_time(split.get("conversion_s", k.get("conversion_s"))), build, analysis, rec.get("agree", "-")]
    return " ".join(f"{str(c)[:width]:{align}{width}}" for c, (_, width, align) in zip(cells, COLUMNS))


def agreement(entries):
    """'ok' when every finished method returned the same result (order-free)."""
    digests = [e["digest"] for e in entries if e.get("status") == "ok" and "digest" in e]
    if len(digests) < 2:
        return "-"
    return "ok" if len(set(digests)) == 1 else "DIFF"


def split_times(k):
    """korvane's time split into conversion, result building and analysis.
    The in-call build time when there is one, else the copy proxy."""
    if k.get("status") != "ok" or "conversion_s" not in k:
        return None
    build = k.get("build_s")
    is_copy = build is None
    if is_copy:
        build = k.get("copy_build_s")
    if build is None:
        return None
    total, conv = k["time_s"], k["conversion_s"]
    analysis = max(0.0, total - conv - build)
    out = {"conversion_s": conv, "build_s": build, "build_is_copy": is_copy, "analysis_s": analysis,
           "analysis_share": analysis / total if total > 0 else 0.0,
           "conversion_plus_build_share": min(1.0, (conv + build) / total) if total > 0 else 0.0,
           "analysis_over_conversion_plus_build": analysis / (conv + build) if conv + build > 0 else None}
    if k.get("members"):
        out["build_ns_per_member"] = 1e9 * build / k["members"]
    return out


def baseline_entry(method, w, args, problems, run):
    """The entry of a baseline method: skipped (with the reason) or measured."""
    disabled = {"reference": args.no_reference, "pure": args.no_pure, "inv": args.no_inv,
                "scipy": args.no_scipy}[method]
    skip = {"reference": w["ref_skip"], "pure": w["pure_skip"], "inv": w["inv_skip"],
            "scipy": w["scipy_skip"]}[method]
    if disabled:
        return {"status": "skipped", "reason": "disabled by option"}
    if problems.get(method):
        return {"status": "skipped", "reason": problems[method]}
    if skip:
        return {"status": "skipped", "reason": skip}
    return run()


def before_table(records):
    lines = []
    for rec in records:
        b = rec.get("before")
        if not b or b.get("status") == "skipped":
            continue
        if b.get("status") != "ok":
            lines.append(f"  {rec['workload']['name'][:42]:<42} {b['status']} {b.get('reason', '')}")
            continue
        now = b["now"]
        bs, ns = split_times(b) or {}, split_times(now) or {}

        def per_member(s):
            return f"{s['build_ns_per_member']:.0f}ns" if "build_ns_per_member" in s else "-"

        lines.append(f"  {rec['workload']['name'][:42]:<42} {fmt_time(b['time_s']):>8} {fmt_time(now['time_s']):>8} "
                     f"{fmt_ratio(b['time_s'] / now['time_s']):>7} {fmt_time(b.get('build_s')):>8} "
                     f"{fmt_time(now.get('build_s')):>8} {per_member(bs):>8} {per_member(ns):>8}")
    if not lines:
        return []
    head = (f"  {'workload':<42} {'before':>8} {'now':>8} {'speedup':>7} {'build':>8} {'now':>8} "
            f"{'bld/mbr':>8} {'now':>8}")
    return [head, "  " + "-" * (len(head) - 2)] + lines


def main():
    args = parse_args()
    mode = "quick" if args.quick else "full"
    timeout = args.timeout or (10.0 if args.quick else 60.0)
    korvane_timeout = args.korvane_timeout or (20.0 if args.quick else 600.0)
    repeat_budget, max_reps = (0.3, 20) if args.quick else (1.0, 100)
    build_dir = os.path.abspath(args.build_dir)
    out_path = args.out or os.path.join(HERE, "results", f"run-{mode}.json")

    def say(text=""):
        print(text, flush=True)

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
    selected = [w for w in workloads.all_workloads()
                if (w["quick"] or not args.quick) and (not args.only or any(o in w["name"] for o in args.only))]
    if args.callgrind:
        return callgrind_section(args, mode, selected, korvane_dir, say)
    problems = {}
    if not find_module(build_dir, "korvane_reference"):
        problems["reference"] = f"skipped: korvane_reference not found in {build_dir}"
    try:
        import scipy  # noqa: F401
    except ImportError:
        problems["scipy"] = "skipped: scipy is not installed"
    before_dir = None
    if not args.no_before:
        before_dir, before_problem = ensure_before_build(args.before, os.path.dirname(build_dir))
        if before_problem:
            print(before_problem, file=sys.stderr)
            problems["before"] = "skipped: " + before_problem

    started = datetime.datetime.now(datetime.timezone.utc)
    say(f"korvane bench ({mode}): {len(selected)} workloads; timeouts: baselines {timeout:g} s, "
        f"korvane {korvane_timeout:g} s; load average {os.getloadavg()[0]:.2f}")
    say("'*' marks the target workloads; ratios are method time / korvane time; peakMB/deepMB: peak memory "
        "above the baseline and deep size of the result; conv/build/analysis split korvane's time "
        "(see bench/README.md).\n")
    say(header())

    records = []
    for w in selected:
        rec = {"workload": w}
        compared = [m for m, flag in (("reference", args.no_reference), ("pure", args.no_pure),
                                      ("inv", args.no_inv))
                    if not flag and not problems.get(m) and not w[{"reference": "ref_skip"}.get(m, m + "_skip")]]
        rec["korvane"] = run_child(w, "korvane", korvane_dir, korvane_timeout, repeat_budget, max_reps,
                                   {"digest": bool(compared) or w["name"] in targets.BEFORE_WORKLOADS,
                                    "parts_dir": build_dir})
        for method, _, _ in BASELINES:
            extra = {"scipy_max_bytes": int(args.scipy_max_gb * 2**30)} if method == "scipy" else None
            if method == "inv":
                # Timed in turns with korvane: its target is a ratio.
                extra = {"in_turns_with_korvane": True, "korvane_dir": korvane_dir}
            rec[method] = baseline_entry(method, w, args, problems, lambda: run_child(
                w, method, build_dir, timeout, repeat_budget, max_reps, extra))
        rec["split"] = split_times(rec["korvane"])
        k_time = rec["korvane"].get("time_s") if rec["korvane"].get("status") == "ok" else None
        for method, _, _ in BASELINES:
            e = rec[method]
            if e.get("status") == "ok" and e.get("korvane_time_s"):
                # Timed in turns with korvane in its own process.
                e["ratio_to_korvane"] = e["time_s"] / e["korvane_time_s"]
            elif k_time and e.get("status") == "ok":
                e["ratio_to_korvane"] = e["time_s"] / k_time
            elif k_time and e.get("status") == "timeout":
                e["ratio_to_korvane_at_least"] = timeout / k_time
        rec["agree"] = agreement([rec["korvane"]] + [rec[m] for m, _, _ in BASELINES])
        records.append(rec)
        say(row(rec, timeout))

    notes = []
    for rec in records:
        for method in ("korvane",) + tuple(m for m, _, _ in BASELINES):
            e = rec[method]
            if e.get("status") in ("skipped", "error") or (e.get("status") == "timeout" and method == "korvane"):
                if e.get("reason") in ("simplices only", "disabled by option"):
                    continue
                notes.append(f"  {rec['workload']['name']}: {method} {e['reason']}")
    if notes:
        say("\nskipped / failed:")
        say("\n".join(notes))

    # The korvane of the earlier commit, on the workloads the targets compare.
    by_name = {rec["workload"]["name"]: rec for rec in records}
    before_names = [n for n in targets.BEFORE_WORKLOADS if n in by_name]
    if not args.no_before and before_names:
        say(f"\nkorvane of {args.before} (before) vs this korvane (now), timed in turns in one process: "
            "whole call, in-call result building, and building per result member")
        for name in before_names:
            rec = by_name[name]
            if problems.get("before"):
                rec["before"] = {"status": "skipped", "reason": problems["before"]}
            else:
                rec["before"] = run_child(rec["workload"], "before", before_dir, 2 * korvane_timeout,
                                          repeat_budget, max_reps, {"korvane_dir": korvane_dir,
                                                                    "parts_dir": build_dir})
                rec["before"]["revision"] = args.before
                if rec["before"]["status"] == "ok":
                    rec["before"]["now"]["status"] = "ok"
        for line in before_table(records):
            say(line)
        for rec in records:
            if rec.get("before", {}).get("status") == "ok":
                rec["agree_before"] = agreement([rec["korvane"], rec["before"], rec["before"]["now"]])
                if rec["agree_before"] == "DIFF":
                    say(f"  DIFF: {rec['workload']['name']} differs from the korvane of {args.before}")

    sweep_doc = None
    if not args.no_sweep:
        if problems.get("reference"):
            say(f"\nthreshold sweep {problems['reference']}")
        else:
            say("")
            sweep_doc = sweep.run_sweep(build_dir, korvane_dir, args.quick, echo=say)

    threads_doc = None
    if not args.no_threads:
        threads_before, problem = ensure_before_build(args.threads_before, os.path.dirname(build_dir))
        if problem:
            say(f"\nthreads: the korvane of {args.threads_before}: {problem}")
        say("")
        threads_doc = threads.run_threads(korvane_dir, threads_before, args.quick, echo=say,
                                          before_rev=args.threads_before)

    target_list = targets.evaluate(records, sweep_doc)
    say(f"\ntargets of issue 11 ({mode} run; PASS/FAIL per target, INCOMPLETE when a required workload "
        "was not run):")
    for line in targets.report(target_list):
        say(line)

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
        "before": None if args.no_before else {"revision": args.before, "build_dir": before_dir},
        "timeouts_s": {"baselines": timeout, "korvane": korvane_timeout},
        "repeats": {"budget_s": repeat_budget, "max_reps": max_reps},
        "scipy_max_gb": args.scipy_max_gb,
        "method": METHOD_NOTE,
        "results": records,
        "sweep": sweep_doc,
        "threads": threads_doc,
        "targets": target_list,
    }
    write_json(out_path, doc)
    say(f"\n{len(records)} workloads in {doc['duration_s']:.0f} s; results in {os.path.relpath(out_path)}")


def write_json(path, doc):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")
    os.replace(tmp, path)


def callgrind_section(args, mode, selected, korvane_dir, say):
    problem = callgrind.available()
    if problem:
        sys.exit(f"--callgrind: {problem}")
    out_path = args.out or os.path.join(HERE, "results", f"callgrind-{mode}.json")
    started = datetime.datetime.now(datetime.timezone.utc)
    section = callgrind.run_callgrind(selected, korvane_dir, args.callgrind_function, args.callgrind_against,
                                      echo=say)
    probe = subprocess.run([sys.executable, "-c", "import korvane; print(korvane.__file__)"], capture_output=True,
                           text=True, cwd=HERE, env=dict(os.environ, PYTHONPATH=korvane_dir or ""))
    doc = {"mode": mode, "started": started.isoformat(timespec="seconds"),
           "machine": {"platform": platform.platform(), "python": platform.python_version()},
           "korvane_module": probe.stdout.strip() or None, "callgrind": section}
    write_json(out_path, doc)
    say(f"\nresults in {os.path.relpath(out_path)}")


if __name__ == "__main__":
    main()
