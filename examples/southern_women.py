"""Q-analysis of Davis's Southern Women: 18 women and the 14 social events they attended.

The bipartite attendance graph is read as a simplicial complex: each woman is the
simplex of the events she attended, so two women are q-near when they attended at
least q + 1 events together. The script prints the q-components per level with the
women's names and the structure vector. With --conjugate the roles swap: each event
is the simplex of the women who attended it.

    python examples/southern_women.py [--conjugate]

Needs networkx (pip install "korvane[examples]").
"""
from __future__ import annotations

import argparse
from typing import Sequence

import networkx as nx

import korvane


def attendance() -> tuple[list[str], list[str], dict[str, set[str]]]:
    """The women, the events and, for each woman, the events she attended."""
    graph = nx.davis_southern_women_graph()
    women = [str(w) for w in graph.graph["top"]]
    events = [str(e) for e in graph.graph["bottom"]]
    attended = {w: {str(e) for e in graph.neighbors(w)} for w in women}
    return women, events, attended


def complex_of(members: dict[str, set[str]], vertices: list[str]) -> list[list[int]]:
    """One simplex per key of `members`, in order, its vertices numbered by their place in `vertices`."""
    ids = {v: i for i, v in enumerate(vertices)}
    return [sorted(ids[v] for v in vs) for vs in members.values()]


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--conjugate", action="store_true",
                        help="analyse the events as simplices of women instead")
    args = parser.parse_args(argv)

    women, events, attended = attendance()
    if args.conjugate:
        members = {e: {w for w in women if e in attended[w]} for e in events}
        vertex_kind, vertices = "women", women
        reading = ("Each event is the simplex of the women who attended it; at level q, two events "
                   "are near when at least q + 1 women attended both.")
    else:
        members = attended
        vertex_kind, vertices = "events", events
        reading = ("Each woman is the simplex of the events she attended; at level q, two women "
                   "are near when they attended at least q + 1 events together.")
    names = list(members)

    print(f"Davis's Southern Women: {len(women)} women, {len(events)} events.")
    print(reading)
    for name in names:
        print(f"  {name:<18} dimension {len(members[name]) - 1}  ({len(members[name])} {vertex_kind})")

    # Positions in the result are positions in `names`, which is how the names come back.
    levels = korvane.py_find_hierarchical_q_components(complex_of(members, vertices))
    for q, components in enumerate(levels):
        print(f"\nq={q}: {len(components)} component(s)")
        # Sorted by first position so the listing is the same on every run.
        for component in sorted(components, key=min):
            print("  {" + ", ".join(names[i] for i in sorted(component)) + "}")

    print("\nstructure vector (components per level q = 0, 1, ...):", [len(level) for level in levels])


if __name__ == "__main__":
    main()
