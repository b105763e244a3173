"""The README's picture: time against input size, log-log, for korvane and the
alternatives, one panel per analysis, from a saved full run.

    python bench/plot.py [bench/results/run-full.json] [--out bench/results/scaling.png]

Each panel follows one family of growing inputs of the run's table: random
complexes of 1-8 vertices over 5,000 ids, sparse G(n, p) of average degree 10,
and weighted random graphs of 4 edges per vertex. A baseline that ran out of
time is drawn at its timeout with an open marker; one that was skipped is left
out. Needs matplotlib.
"""

import argparse
import json
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))

# (panel title, workload name pattern, what the size counts)
PANELS = (
    ("hierarchical components of a complex", r"^simp-uniform n=[\d,]+ ids=5,000$", "simplices"),
    ("components of a clique complex", r"^gnp n=[\d,]+ avgdeg=10$", "edges"),
    ("persistence of a weighted graph", r"^weighted m=[\d,]+ vertices=[\d,]+$", "edges"),
)
# (record key, label, colour, marker)
METHODS = (
    ("korvane", "korvane", "#c0392b", "o"),
    ("reference", "reference (documented algorithm)", "#7f8c8d", "s"),
    ("pure", "pure Python", "#2980b9", "^"),
    ("inv", "pure Python, inverted index", "#16a085", "v"),
    ("scipy", "scipy: M·Mᵀ alone", "#8e44ad", "D"),
)


def series(records, pattern, key, timeout):
    """(sizes, times, timed out) of one method over the workloads matching
    `pattern`, in order of size."""
    points = []
    for rec in records:
        if not re.match(pattern, rec["workload"]["name"]):
            continue
        entry, size = rec.get(key) or {}, rec["korvane"].get("items")
        if size is None:
            continue
        if entry.get("status") == "ok":
            points.append((size, entry["time_s"], False))
        elif entry.get("status") == "timeout":
            points.append((size, timeout, True))
    points.sort()
    return points


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("results", nargs="?", default=os.path.join(HERE, "results", "run-full.json"))
    p.add_argument("--out", default=os.path.join(HERE, "results", "scaling.png"))
    args = p.parse_args()
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    with open(args.results) as f:
        doc = json.load(f)
    records = doc["results"]
    timeout = doc["timeouts_s"]["baselines"]
    fig, axes = plt.subplots(1, len(PANELS), figsize=(4.2 * len(PANELS), 3.8), constrained_layout=True)
    for ax, (title, pattern, unit) in zip(axes, PANELS):
        for key, label, colour, marker in METHODS:
            points = series(records, pattern, key, timeout)
            if not points:
                continue
            sizes = [s for s, _, _ in points]
            times = [t for _, t, _ in points]
            ax.plot(sizes, times, color=colour, linewidth=1.2, label=label)
            for s, t, out in points:
                ax.plot([s], [t], marker=marker, color=colour, markersize=5,
                        markerfacecolor="none" if out else colour)
        ax.axhline(timeout, color="#bbbbbb", linewidth=0.8, linestyle=":")
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_title(title, fontsize=10)
        ax.set_xlabel(f"input size ({unit})")
        ax.grid(True, which="major", linewidth=0.4, alpha=0.5)
    axes[0].set_ylabel("seconds per call")
    handles = {}
    for ax in axes:
        for line in ax.get_lines():
            if line.get_label() and not line.get_label().startswith("_"):
                handles.setdefault(line.get_label(), line)
    fig.legend(handles.values(), handles.keys(), loc="outside lower center", ncol=len(handles), fontsize=8,
               frameon=False)
    fig.suptitle(f"korvane against the alternatives (open markers: over the {timeout:g} s timeout)", fontsize=11)
    fig.savefig(args.out, dpi=110)
    print(f"saved {os.path.relpath(args.out)}")


if __name__ == "__main__":
    main()
