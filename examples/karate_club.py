"""Q-analysis of Zachary's karate club, the friendship graph that split in two.

Reads the graph as its clique complex (every clique of friends is a simplex) and
prints, for each level q, the q-components: groups of members held together by
shared cliques of q + 1 friends. The number of components per level is Atkin's
structure vector. Members are labelled "club-member-<i>" to show how a graph
whose nodes are not ints goes into korvane and comes back.

    python examples/karate_club.py [--max-q N] [--show K]

Needs networkx (pip install "korvane[examples]").
"""
from __future__ import annotations

import argparse
from collections import Counter
from typing import Hashable, Sequence, TypeVar

import networkx as nx

import korvane

Node = TypeVar("Node", bound=Hashable)


def q_components_of_graph(graph: nx.Graph[Node], max_q: int | None) -> list[list[set[Node]]]:
    """korvane's q-components of `graph`, with the graph's own node labels.

    korvane takes vertex ids (ints); the labels are numbered on the way in and
    looked up on the way out.
    """
    ids = {node: i for i, node in enumerate(graph)}
    labels = list(graph)
    # A self-loop brings in a node that has no edge, so isolated members still count.
    edges = [(ids[u], ids[v]) for u, v in graph.edges()] + [(ids[n], ids[n]) for n in nx.isolates(graph)]
    levels = korvane.py_find_hierarchical_q_components_within_graph(edges, max_q)
    return [[{labels[i] for i in component} for component in level] for level in levels]


def member_number(label: str) -> int:
    return int(label.rsplit("-", 1)[1])


def describe(component: set[str], faction: dict[str, str], show: int) -> str:
    members = sorted(component, key=member_number)
    shown = ", ".join(members[:show]) + (f", ... ({len(members) - show} more)" if len(members) > show else "")
    split = Counter(faction[m] for m in members)
    sides = ", ".join(f"{club} {count}" for club, count in sorted(split.items()))
    return f"{len(members):2d} members [{shown}]  factions: {sides}"


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--max-q", type=int, default=None,
                        help="largest number of vertices of a clique that is formed (default: no bound)")
    parser.add_argument("--show", type=int, default=6, help="members listed per component (default 6)")
    args = parser.parse_args(argv)

    club = nx.karate_club_graph()
    graph: nx.Graph[str] = nx.relabel_nodes(club, {i: f"club-member-{i + 1}" for i in club})
    faction = {str(node): str(data["club"]) for node, data in graph.nodes(data=True)}

    print(f"Zachary's karate club: {graph.number_of_nodes()} members, {graph.number_of_edges()} friendships.")
    print("After the split, each member followed 'Mr. Hi' (the instructor) or 'Officer' (the president).")
    levels = q_components_of_graph(graph, args.max_q)
    for q, components in enumerate(levels):
        print(f"\nq={q}: {len(components)} component(s), joined through shared cliques of {q + 1} member(s)")
        # Largest first; ties broken by the members so the listing is the same on every run.
        ordered = sorted(components, key=lambda c: (-len(c), sorted(member_number(m) for m in c)))
        for component in ordered:
            print("  " + describe(component, faction, args.show))

    print("\nstructure vector (components per level q = 0, 1, ...):", [len(level) for level in levels])


if __name__ == "__main__":
    main()
