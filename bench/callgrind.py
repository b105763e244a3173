"""Instruction counts of korvane calls under valgrind's callgrind.

Instructions are deterministic where timings on a shared machine are not, so
this section is how a restructuring shows that it left the speed alone: run it
before and after, and compare the two files (`--callgrind-against`).

Each workload's input is generated here and pickled; a fresh child under
callgrind loads it, freezes it out of the cyclic collector and makes one call.
Collection is on only inside the module's entry point (conversion, analysis
and result building, nothing of the interpreter around the call). The
per-process hash seed varies the probe lengths of korvane's tables from run
to run, so a count can move by a few hundredths of a percent between runs of
the same build.

`--callgrind-function PATTERN` also reports the inclusive count of every
function whose name holds PATTERN (repeatable), for instance
`maximal_cliques` for the clique search alone.
"""

import json
import os
import pickle
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import workloads  # noqa: E402

FUNCTION_NAMES = workloads.FUNCTION_NAMES

# The module's entry points, each matched up to its parameter list so that no
# other symbol that names it (a wrapper's template argument) toggles too.
ENTRY_PATTERNS = [f"*::{name}(*" for name in FUNCTION_NAMES.values()]

CHILD = r"""
import gc, pickle, sys
if sys.argv[1]:
    sys.path.insert(0, sys.argv[1])
import korvane
with open(sys.argv[2], "rb") as f:
    name, args = pickle.load(f)
function = getattr(korvane, name)
gc.collect()
gc.freeze()
function(*args)
"""


def available():
    """None when callgrind can run, else why not."""
    for tool in ("valgrind", "callgrind_annotate"):
        if shutil.which(tool) is None:
            return f"{tool} is not installed"
    return None


def _totals(path):
    with open(path) as f:
        for line in f:
            if line.startswith(("summary:", "totals:")):
                return int(line.split()[1])
    return None


def _inclusive(path, patterns):
    """The largest inclusive count of a function whose name holds each pattern."""
    if not patterns:
        return {}
    annotated = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", path],
                               check=True, capture_output=True, text=True).stdout
    found = {p: 0 for p in patterns}
    for line in annotated.splitlines():
        m = re.match(r"\s*([\d,]+)\s", line)
        if not m:
            continue
        for p in patterns:
            if p in line:
                found[p] = max(found[p], int(m.group(1).replace(",", "")))
    return found


def count_call(workload, korvane_dir, functions=()):
    """Instructions of one call of the workload: {"instructions": n, "functions": {...}}."""
    args = workloads.make_input(workload)
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "input.pickle")
        out = os.path.join(tmp, "callgrind.out")
        with open(data, "wb") as f:
            pickle.dump((FUNCTION_NAMES[workload["kind"]], args), f, protocol=pickle.HIGHEST_PROTOCOL)
        command = ["valgrind", "--tool=callgrind", "--collect-atstart=no", f"--callgrind-out-file={out}"]
        command += [f"--toggle-collect={p}" for p in ENTRY_PATTERNS]
        command += [sys.executable, "-c", CHILD, korvane_dir or "", data]
        env = dict(os.environ, PYTHONHASHSEED="0")
        proc = subprocess.run(command, capture_output=True, text=True, env=env)
        if proc.returncode != 0:
            last = (proc.stderr.strip().splitlines() or [f"exit code {proc.returncode}"])[-1]
            return {"status": "error", "reason": last[:200]}
        total = _totals(out)
        if not total:
            return {"status": "error", "reason": "no instructions collected: entry point not found"}
        return {"status": "ok", "instructions": total, "functions": _inclusive(out, list(functions))}


def _load_counts(path):
    with open(path) as f:
        doc = json.load(f)
    section = doc.get("callgrind", doc)
    return {r["workload"]: r for r in section.get("results", [])}


def run_callgrind(selected, korvane_dir, functions=(), against=None, echo=print):
    """Counts every selected workload; with `against` (a JSON file written by
    an earlier run), prints each count beside the earlier one."""
    earlier = _load_counts(against) if against else {}
    echo("instructions per call under callgrind (entry point inclusive: conversion, analysis, building)")
    head = f"  {'workload':<50} {'instructions':>15}"
    if earlier:
        head += f" {'before':>15} {'now/before':>10}"
    for p in functions:
        head += f" {p[:24]:>24}"
    echo(head)
    echo("  " + "-" * (len(head) - 2))
    results = []
    for w in selected:
        r = count_call(w, korvane_dir, functions)
        r["workload"] = w["name"]
        results.append(r)
        if r["status"] != "ok":
            echo(f"  {w['name'][:50]:<50} {r['status']}: {r['reason']}")
            continue
        line = f"  {w['name'][:50]:<50} {r['instructions']:>15,}"
        before = earlier.get(w["name"], {}).get("instructions")
        if earlier:
            if before:
                r["before"] = before
                r["ratio"] = r["instructions"] / before
                line += f" {before:>15,} {r['ratio']:>10.4f}"
            else:
                line += f" {'-':>15} {'-':>10}"
        for p in functions:
            line += f" {r['functions'].get(p, 0):>24,}"
        echo(line)
    ratios = [r["ratio"] for r in results if "ratio" in r]
    if ratios:
        echo(f"  now/before: {min(ratios):.4f} to {max(ratios):.4f} over {len(ratios)} workloads")
    return {"against": against, "functions": list(functions), "results": results}
