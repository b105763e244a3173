"""The clique-complex analysis of a graph, as seen from Python: the table of
known answers on both backends, then properties of the shipped module."""
import collections

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvane
from cases import GRAPHS, TRIANGLE, TWO_TRIANGLES
from examples_count import examples
from models import as_level_multisets, clique_complex_levels

GRAPH = korvane.py_find_hierarchical_q_components_within_graph


def levels_of(edges, max_q):
    return as_level_multisets(GRAPH(edges, max_q))


@pytest.mark.parametrize("edges, max_q, expected", [c[1:] for c in GRAPHS], ids=[c[0] for c in GRAPHS])
def test_known_answers(backend, edges, max_q, expected):
    assert as_level_multisets(backend.graph(edges, max_q)) == as_level_multisets(expected)


def test_levels_ascend_and_hold_fresh_sets():
    levels = GRAPH(TWO_TRIANGLES, None)
    assert type(levels) is list and len(levels) == 3
    assert all(type(c) is set for level in levels for c in level)


def test_named_tuples_and_any_sequence_of_pairs():
    Edge = collections.namedtuple("Edge", "u v")
    assert GRAPH(tuple(Edge(*e) for e in TRIANGLE), None) == GRAPH(TRIANGLE, None)


def test_invalid_max_q_still_raises_on_empty_edges():
    with pytest.raises(OverflowError):
        GRAPH([], -1)


edge_lists = st.lists(st.tuples(st.integers(0, 7), st.integers(0, 7)), max_size=22)
bounds = st.sampled_from([None, 0, 1, 2, 3, 4, 2**64 - 1])


@settings(max_examples=examples(300), deadline=None)
@given(edge_lists, bounds)
def test_matches_the_clique_complex_definition(edges, max_q):
    assert levels_of(edges, max_q) == clique_complex_levels(edges, None if max_q == 2**64 - 1 else max_q)


@settings(max_examples=examples(60), deadline=None)
@given(st.lists(st.tuples(st.integers(0, 5), st.integers(0, 5)), max_size=15).map(
    lambda es: [(u + 2**64 - 6, v + 2**64 - 6) for u, v in es]), bounds)
def test_vertex_ids_near_the_top_of_the_range(edges, max_q):
    assert levels_of(edges, max_q) == clique_complex_levels(edges, None if max_q == 2**64 - 1 else max_q)


def overlap_levels(edges):
    """Levels from the maximal cliques (networkx) by the overlap rule: at
    clique size k the cliques of at least k vertices are joined when they
    share k, each component the union of its cliques."""
    import networkx as nx
    from itertools import combinations

    from models import UnionFind, simple_graph

    g = simple_graph(edges)
    cliques = [frozenset(c) for c in nx.find_cliques(g)]
    levels = []
    for k in range(1, max(map(len, cliques)) + 1):
        members = [c for c in cliques if len(c) >= k]
        uf = UnionFind(range(len(members)))
        for i, j in combinations(range(len(members)), 2):
            if len(members[i] & members[j]) >= k:
                uf.union(i, j)
        levels.append(sorted(tuple(sorted(frozenset().union(*(members[i] for i in cls)))) for cls in uf.classes()))
    return levels


@pytest.mark.parametrize("seed", range(6))
def test_large_overlapping_cliques_match_the_overlap_rule(seed):
    # Cliques of 14 to 24 vertices over a pool of 40, many of them larger
    # than the analysis walks (those are matched by direct counting), plus
    # sparse noise: out of reach of the documented algorithm's 2^size
    # sub-cliques, so checked against the rule it implies.
    import random

    rng = random.Random(seed)
    edges = set()
    for _ in range(rng.randint(4, 9)):
        members = rng.sample(range(40), rng.randint(14, 24))
        edges.update((a, b) for a in members for b in members if a < b)
    edges.update((rng.randrange(60), rng.randrange(60)) for _ in range(40))
    edges = sorted(edges)
    rng.shuffle(edges)
    assert levels_of(edges, None) == overlap_levels(edges)
