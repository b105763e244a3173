"""The clique-complex analysis of a graph, as seen from Python."""
import collections

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvane
from models import as_level_multisets, clique_complex_levels

GRAPH = korvane.py_find_hierarchical_q_components_within_graph
TRIANGLE = [(1, 2), (2, 3), (1, 3)]
TWO_TRIANGLES = [(1, 2), (1, 3), (2, 3), (3, 4), (3, 5), (4, 5)]
K4 = [(1, 2), (1, 3), (1, 4), (2, 3), (2, 4), (3, 4)]


def levels_of(edges, max_q):
    return as_level_multisets(GRAPH(edges, max_q))


@pytest.mark.parametrize(
    "edges, max_q, expected",
    [
        ([], None, []),
        ([], 0, []),
        ([], 3, []),
        ([(1, 2)], None, [[(1, 2)], [(1, 2)]]),
        ([(1, 2), (2, 1), (1, 2)], None, [[(1, 2)], [(1, 2)]]),
        ([(1, 2), (1, 1)], None, [[(1, 2)], [(1, 2)]]),
        ([(5, 5)], None, [[(5,)]]),
        ([(1, 2), (2, 3)], None, [[(1, 2, 3)], [(1, 2), (2, 3)]]),
        ([(1, 2)], 1, [[(1,), (2,)]]),
        ([(1, 2)], 0, [[(1,), (2,)]]),
        ([(1, 2)], True, [[(1,), (2,)]]),
        (TRIANGLE, None, [[(1, 2, 3)]] * 3),
        (TRIANGLE, 3, [[(1, 2, 3)]] * 3),
        (TRIANGLE, 2**64 - 1, [[(1, 2, 3)]] * 3),
        (TRIANGLE, 2, [[(1, 2, 3)], [(1, 2), (1, 3), (2, 3)]]),
        (TRIANGLE, 1, [[(1,), (2,), (3,)]]),
        (TWO_TRIANGLES, None, [[(1, 2, 3, 4, 5)], [(1, 2, 3), (3, 4, 5)], [(1, 2, 3), (3, 4, 5)]]),
        (K4, None, [[(1, 2, 3, 4)]] * 4),
        (K4, 3, [[(1, 2, 3, 4)], [(1, 2, 3, 4)], [(1, 2, 3), (1, 2, 4), (1, 3, 4), (2, 3, 4)]]),
        ([(7, 9), (2**64 - 1, 0)], None, [[(0, 2**64 - 1), (7, 9)], [(0, 2**64 - 1), (7, 9)]]),
    ],
)
def test_edge_cases(edges, max_q, expected):
    assert levels_of(edges, max_q) == expected


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


@settings(max_examples=300, deadline=None)
@given(edge_lists, bounds)
def test_matches_the_clique_complex_definition(edges, max_q):
    assert levels_of(edges, max_q) == clique_complex_levels(edges, None if max_q == 2**64 - 1 else max_q)


@settings(max_examples=60, deadline=None)
@given(st.lists(st.tuples(st.integers(0, 5), st.integers(0, 5)), max_size=15).map(
    lambda es: [(u + 2**64 - 6, v + 2**64 - 6) for u, v in es]), bounds)
def test_vertex_ids_near_the_top_of_the_range(edges, max_q):
    assert levels_of(edges, max_q) == clique_complex_levels(edges, None if max_q == 2**64 - 1 else max_q)
