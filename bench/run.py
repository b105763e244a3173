#!/usr/bin/env python3
"""korvane benchmark suite: one program, in sections.

    python bench/run.py [--quick] [--build-dir build/bench] [--use-build-korvane] [--only TEXT]
                        [--section NAME ...]

The sections of a run, in order (by default all but the last two):

- table: for every workload, fresh child processes (bench/measurement.py)
  measure korvane (installed, or the build directory's with
  --use-build-korvane), the reference module korvane_reference (the
  documented algorithms, from the build directory), the pure-Python baselines
  (bench/pure_python.py: pairwise scan and inverted index) and, for complexes,
  scipy's sparse product M·Mᵀ. The korvane child also measures argument
  conversion, result building, peak memory and the deep size of the result.
- before: the korvane of an earlier commit (--before) beside this one on the
  target workloads, timed in turns in one process.
- sweep: the threshold sweep of the simplices path (bench/sweep.py).
- threads: what other threads can do while korvane computes
  (bench/threads.py).
- targets: the report of every performance target (bench/targets.py).
- callgrind: instructions per call of every workload under callgrind
  (bench/callgrind.py), to compare two builds on a shared machine.
- hash-flooding: vertex ids crafted to collide against random ones
  (bench/hash_flooding.py).

Results go to bench/results/run-<quick|full>.json, or <section>-<quick|full>.json
when the sections named do not include the table, and tables are printed.
"""

import argparse
import datetime
import json
import os
import platform
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)

import callgrind  # noqa: E402
import hash_flooding  # noqa: E402
import measurement  # noqa: E402
import sweep  # noqa: E402
import targets  # noqa: E402
import threads  # noqa: E402
import workloads  # noqa: E402
from measurement import find_module  # noqa: E402
from tables import BASELINES, WORKLOAD_TABLE, before_rows, workload_row  # noqa: E402

SECTIONS = ("table", "before", "sweep", "threads", "targets", "callgrind", "hash-flooding")
DEFAULT_SECTIONS = SECTIONS[:5]

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
    p.add_argument("--section", action="append", choices=SECTIONS, metavar="NAME",
                   help=f"run this section (repeatable; one of {', '.join(SECTIONS)}); "
                        f"default: {', '.join(DEFAULT_SECTIONS)}")
    p.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"),
                   help="CMake build dir holding korvane_reference (configured and built if absent)")
    p.add_argument("--use-build-korvane", action="store_true",
                   help="import korvane from --build-dir instead of the installed one")
    p.add_argument("--rebuild", action="store_true", help="run the CMake build even if the modules exist")
    p.add_argument("--only", action="append", default=[],
                   help="run only workloads (and sweep families) whose name contains this text (repeatable)")
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
    p.add_argument("--no-before", action="store_true", help="leave out the before section")
    p.add_argument("--no-sweep", action="store_true", help="leave out the sweep section")
    p.add_argument("--no-threads", action="store_true", help="leave out the threads section")
    p.add_argument("--threads-before", default=threads.BEFORE_REV, metavar="REV",
                   help="git revision whose korvane the threads section compares on one thread "
                        f"(default {threads.BEFORE_REV})")
    p.add_argument("--callgrind-against", metavar="JSON",
                   help="callgrind: print each count beside the one in this earlier result file")
    p.add_argument("--callgrind-function", action="append", default=[], metavar="PATTERN",
                   help="callgrind: also the inclusive count of functions whose name holds PATTERN")
    p.add_argument("--out", help="JSON output path (default bench/results/run-<quick|full>.json)")
    args = p.parse_args()
    sections = args.section or list(DEFAULT_SECTIONS)
    for flag, name in ((args.no_before, "before"), (args.no_sweep, "sweep"), (args.no_threads, "threads")):
        if flag and name in sections:
            sections.remove(name)
    args.sections = sections
    return args


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


def measure_workload(workload, method, build_dir, timeout, repeat_budget, max_reps, extra=None):
    req = {"workload": workload, "method": method, "build_dir": build_dir,
           "repeat_budget_s": repeat_budget, "max_reps": max_reps, **(extra or {})}
    return measurement.run_child("measurement.py", req, timeout)


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


def write_json(path, doc):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")
    os.replace(tmp, path)


class Run:
    """What every section of one run shares: the options, the modules
    measured, and what is known to be missing."""

    def __init__(self, args):
        self.args = args
        self.quick = args.quick
        self.mode = "quick" if args.quick else "full"
        self.timeout = args.timeout or (10.0 if args.quick else 60.0)
        self.korvane_timeout = args.korvane_timeout or (20.0 if args.quick else 600.0)
        self.repeat_budget, self.max_reps = (0.3, 20) if args.quick else (1.0, 100)
        self.build_dir = os.path.abspath(args.build_dir)
        self.korvane_dir = self.build_dir if args.use_build_korvane else None
        self.problems = {}
        self.selected = [w for w in workloads.all_workloads()
                         if (w["quick"] or not args.quick)
                         and (not args.only or any(o in w["name"] for o in args.only))]

    def say(self, text=""):
        print(text, flush=True)

    def prepare(self):
        """Builds what the sections need and notes what cannot be measured."""
        needs_reference = any(s in self.args.sections for s in ("table", "before", "sweep"))
        if (needs_reference and not self.args.no_reference) or self.args.use_build_korvane:
            problem = ensure_build(self.build_dir, self.args.rebuild)
            if problem:
                print(problem, file=sys.stderr)
        if self.args.use_build_korvane and not find_module(self.build_dir, "korvane"):
            sys.exit(f"no korvane module in {self.build_dir}")
        if self.korvane_dir is None:
            probe = subprocess.run([sys.executable, "-c", "import korvane; print(korvane.__file__)"],
                                   capture_output=True, text=True, cwd=HERE)
            if probe.returncode != 0:
                sys.exit("korvane is not installed: run `pip install .` or pass --use-build-korvane")
        if not find_module(self.build_dir, "korvane_reference"):
            self.problems["reference"] = f"skipped: korvane_reference not found in {self.build_dir}"
        try:
            import scipy  # noqa: F401
        except ImportError:
            self.problems["scipy"] = "skipped: scipy is not installed"

    # -- table ---------------------------------------------------------------

    def baseline_entry(self, method, w, run):
        """The entry of a baseline method: skipped (with the reason) or measured."""
        args = self.args
        disabled = {"reference": args.no_reference, "pure": args.no_pure, "inv": args.no_inv,
                    "scipy": args.no_scipy}[method]
        skip = {"reference": w["ref_skip"], "pure": w["pure_skip"], "inv": w["inv_skip"],
                "scipy": w["scipy_skip"]}[method]
        if disabled:
            return {"status": "skipped", "reason": "disabled by option"}
        if self.problems.get(method):
            return {"status": "skipped", "reason": self.problems[method]}
        if skip:
            return {"status": "skipped", "reason": skip}
        return run()

    def table(self):
        args = self.args
        say = self.say
        say(f"korvane bench ({self.mode}): {len(self.selected)} workloads; timeouts: baselines {self.timeout:g} s, "
            f"korvane {self.korvane_timeout:g} s; load average {os.getloadavg()[0]:.2f}")
        say("'*' marks the target workloads; ratios are method time / korvane time; peakMB/deepMB: peak memory "
            "above the baseline and deep size of the result; conv/build/analysis split korvane's time "
            "(see bench/README.md).\n")
        for line in WORKLOAD_TABLE.header():
            say(line)
        records = []
        for w in self.selected:
            rec = {"workload": w}
            compared = [m for m, flag in (("reference", args.no_reference), ("pure", args.no_pure),
                                          ("inv", args.no_inv))
                        if not flag and not self.problems.get(m)
                        and not w[{"reference": "ref_skip"}.get(m, m + "_skip")]]
            rec["korvane"] = measure_workload(w, "korvane", self.korvane_dir, self.korvane_timeout,
                                              self.repeat_budget, self.max_reps,
                                              {"digest": bool(compared) or w["name"] in targets.BEFORE_WORKLOADS,
                                               "parts_dir": self.build_dir})
            for method, _, _ in BASELINES:
                extra = {"scipy_max_bytes": int(args.scipy_max_gb * 2**30)} if method == "scipy" else None
                if method == "inv":
                    # Timed in turns with korvane: its target is a ratio.
                    extra = {"in_turns_with_korvane": True, "korvane_dir": self.korvane_dir}
                rec[method] = self.baseline_entry(method, w, lambda: measure_workload(
                    w, method, self.build_dir, self.timeout, self.repeat_budget, self.max_reps, extra))
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
                    e["ratio_to_korvane_at_least"] = self.timeout / k_time
            rec["agree"] = agreement([rec["korvane"]] + [rec[m] for m, _, _ in BASELINES])
            records.append(rec)
            say(workload_row(rec, self.timeout))

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
        return records

    # -- before --------------------------------------------------------------

    def before(self, records):
        """The korvane of the earlier commit, on the workloads the targets compare."""
        args = self.args
        by_name = {rec["workload"]["name"]: rec for rec in records}
        names = [n for n in targets.BEFORE_WORKLOADS if n in by_name]
        if not names:
            return
        before_dir, problem = ensure_before_build(args.before, os.path.dirname(self.build_dir))
        if problem:
            print(problem, file=sys.stderr)
        self.say(f"\nkorvane of {args.before} (before) vs this korvane (now), timed in turns in one process: "
                 "whole call, in-call result building, and building per result member")
        for name in names:
            rec = by_name[name]
            if problem:
                rec["before"] = {"status": "skipped", "reason": "skipped: " + problem}
                continue
            rec["before"] = measure_workload(rec["workload"], "before", before_dir, 2 * self.korvane_timeout,
                                             self.repeat_budget, self.max_reps,
                                             {"korvane_dir": self.korvane_dir, "parts_dir": self.build_dir})
            rec["before"]["revision"] = args.before
            if rec["before"]["status"] == "ok":
                rec["before"]["now"]["status"] = "ok"
        for line in before_rows(records, split_times):
            self.say(line)
        for rec in records:
            if rec.get("before", {}).get("status") == "ok":
                rec["agree_before"] = agreement([rec["korvane"], rec["before"], rec["before"]["now"]])
                if rec["agree_before"] == "DIFF":
                    self.say(f"  DIFF: {rec['workload']['name']} differs from the korvane of {args.before}")
        return {"revision": args.before, "build_dir": before_dir}

    # -- the other sections --------------------------------------------------

    def sweep(self):
        self.say("")
        if self.problems.get("reference"):
            self.say(f"threshold sweep {self.problems['reference']}")
            return None
        return sweep.run_sweep(self.build_dir, self.korvane_dir, self.quick, self.args.only, echo=self.say)

    def threads(self):
        args = self.args
        threads_before, problem = ensure_before_build(args.threads_before, os.path.dirname(self.build_dir))
        self.say("")
        if problem:
            self.say(f"threads: the korvane of {args.threads_before}: {problem}")
        return threads.run_threads(self.korvane_dir, threads_before, self.quick, echo=self.say,
                                   before_rev=args.threads_before)

    def targets(self, records, sweep_doc):
        target_list = targets.evaluate(records, sweep_doc)
        self.say(f"\nperformance targets ({self.mode} run; PASS/FAIL per target, INCOMPLETE when a required "
                 "workload was not run):")
        for line in targets.report(target_list):
            self.say(line)
        return target_list

    def callgrind(self):
        problem = callgrind.available()
        if problem:
            self.say(f"\ncallgrind: {problem}")
            return None
        self.say("")
        return callgrind.run_callgrind(self.selected, self.korvane_dir, self.args.callgrind_function,
                                       self.args.callgrind_against, echo=self.say)

    def hash_flooding(self):
        self.say("")
        return hash_flooding.run_hash_flooding(self.korvane_dir, self.quick, echo=self.say)


def main():
    args = parse_args()
    run = Run(args)
    run.prepare()
    sections = args.sections
    started = datetime.datetime.now(datetime.timezone.utc)
    doc = {"mode": run.mode, "sections": sections, "started": started.isoformat(timespec="seconds")}
    records = run.table() if "table" in sections else []
    if "before" in sections and records:
        doc["before"] = run.before(records)
    sweep_doc = run.sweep() if "sweep" in sections else None
    threads_doc = run.threads() if "threads" in sections else None
    target_list = run.targets(records, sweep_doc) if "targets" in sections else None
    callgrind_doc = run.callgrind() if "callgrind" in sections else None
    flooding_doc = run.hash_flooding() if "hash-flooding" in sections else None

    finished = datetime.datetime.now(datetime.timezone.utc)
    korvane_source = next((r["korvane"].get("source") for r in records if r["korvane"].get("source")), None)
    doc.update({
        "finished": finished.isoformat(timespec="seconds"),
        "duration_s": (finished - started).total_seconds(),
        "machine": {"platform": platform.platform(), "python": platform.python_version(),
                    "cpus": os.cpu_count(), "load_average_at_end": os.getloadavg()},
        "korvane_module": korvane_source,
        "reference_build_dir": run.build_dir,
        "timeouts_s": {"baselines": run.timeout, "korvane": run.korvane_timeout},
        "repeats": {"budget_s": run.repeat_budget, "max_reps": run.max_reps},
        "scipy_max_gb": args.scipy_max_gb,
        "method": METHOD_NOTE,
        "results": records,
        "sweep": sweep_doc,
        "threads": threads_doc,
        "targets": target_list,
        "callgrind": callgrind_doc,
        "hash_flooding": flooding_doc,
    })
    name = "run" if "table" in sections else sections[0]
    out_path = args.out or os.path.join(HERE, "results", f"{name}-{run.mode}.json")
    write_json(out_path, doc)
    run.say(f"\n{', '.join(sections)} in {doc['duration_s']:.0f} s; results in {os.path.relpath(out_path)}")


if __name__ == "__main__":
    main()
