"""Instruction counts of one graph call, split into conversion, analysis and
result building, under valgrind's callgrind (deterministic, unlike timings on
a shared machine).

    python bench/graph_profile.py [--build-dir build/dev] [--only TEXT] [--quick]

Counts are collected only inside the module's entry point:

- total: the entry point, inclusive;
- conversion: the entry point minus the backend's graph() call (arguments
  read into native edges);
- build: level_to_python, inclusive (Python sets and lists of each level);
- analysis: clique_complex_levels, inclusive, minus build.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from graph_memory import GRAPH_WORKLOADS  # noqa: E402

CHILD = r"""
import gc, json, sys
sys.path.insert(0, sys.argv[1])
sys.path.insert(0, sys.argv[2])
import workloads, korvane
from graph_memory import GENERATORS
edges = GENERATORS[sys.argv[3]](**json.loads(sys.argv[4]))
gc.collect(); gc.freeze()
korvane.py_find_hierarchical_q_components_within_graph(edges, None)
"""

ENTRY = "py_find_hierarchical_q_components_within_graph("


def inclusive(annotated, pattern):
    total = 0
    for line in annotated.splitlines():
        if pattern in line:
            m = re.match(r"\s*([\d,]+)", line)
            if m:
                total = max(total, int(m.group(1).replace(",", "")))
    return total


def profile(gen, params, build_dir):
    import json

    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cg.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--collect-atstart=no",
                        f"--toggle-collect=*{ENTRY}*", f"--callgrind-out-file={out}", sys.executable, "-c", CHILD,
                        build_dir, HERE, gen, json.dumps(params)], check=True, capture_output=True)
        annotated = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                                   check=True, capture_output=True, text=True).stdout
    total = inclusive(annotated, ENTRY)
    backend = inclusive(annotated, "backend::graph(")
    levels = inclusive(annotated, "korvane::clique_complex_levels(")
    build = inclusive(annotated, "level_to_python<")
    return {"total": total, "conversion": total - backend, "build": build, "analysis": levels - build}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(os.path.dirname(HERE), "build", "dev"))
    parser.add_argument("--only", default="")
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    print(f"{'workload':50} {'total':>13} {'conversion':>12} {'build':>13} {'analysis':>13} {'an/(c+b)':>8}")
    for name, gen, params, quick in GRAPH_WORKLOADS:
        if args.only not in name or (args.quick and not quick) or "3,000" in name or "100,000" in name:
            continue
        r = profile(gen, params, os.path.abspath(args.build_dir))
        ratio = r["analysis"] / max(1, r["conversion"] + r["build"])
        print(f"{name:50} {r['total']:13,} {r['conversion']:12,} {r['build']:13,} {r['analysis']:13,} "
              f"{ratio:8.2f}", flush=True)


if __name__ == "__main__":
    main()
