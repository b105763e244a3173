"""korvane in two minutes: the q-components of a small complex and of a real graph.

Run from anywhere after `pip install .`:  python examples/quickstart.py
"""
from __future__ import annotations

from pathlib import Path

import korvane

DATA = Path(__file__).resolve().parent / "data"


def read_rows(path: Path) -> list[list[int]]:
    """Lines of whitespace-separated ints, '#' starting a comment."""
    rows = []
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if line:
            rows.append([int(token) for token in line.split()])
    return rows


def show_levels(levels: list[list[set[int]]], label: str) -> None:
    for q, components in enumerate(levels):
        shown = sorted(sorted(c) for c in components)
        print(f"  q={q}: {len(components)} component(s) {label}: {shown}")


def main() -> None:
    simplices = read_rows(DATA / "complex.txt")
    print(f"Complex of {len(simplices)} simplices (components as simplex positions):")
    show_levels(korvane.py_find_hierarchical_q_components(simplices), "of simplices")

    edges = [(u, v) for u, v in read_rows(DATA / "karate_club.edges")]
    print(f"\nZachary's karate club, {len(edges)} friendships (components as member ids):")
    levels = korvane.py_find_hierarchical_q_components_within_graph(edges, None)
    for q, components in enumerate(levels):
        sizes = sorted((len(c) for c in components), reverse=True)
        print(f"  q={q}: {len(components)} component(s), sizes {sizes}")
    print("  structure vector (components per level):", [len(level) for level in levels])


if __name__ == "__main__":
    main()
