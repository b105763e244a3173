"""The simplicial-complex analysis as seen from Python."""
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvane
from models import as_level_sets, simplicial_levels

find = korvane.py_find_hierarchical_q_components


@pytest.mark.parametrize(
    "simplices, expected",
    [
        ([], []),
        ([[]], [[]]),
        ([[], []], [[]]),
        ([[1, 1, 2]], [[{0}], [{0}]]),
        ([[1, 2], []], [[{0}], [{0}]]),
        ([[1, 2, 3]], [[{0}], [{0}], [{0}]]),
        ([[1, 2], [2, 1]], [[{0, 1}], [{0, 1}]]),
        ([[5]], [[{0}]]),
        ([[2**64 - 1, 0]], [[{0}], [{0}]]),
    ],
)
def test_small_complexes(simplices, expected):
    assert find(simplices) == expected


def test_worked_example():
    levels = find([[1, 2, 3], [3, 4], [5]])
    assert levels[0] == [{0, 1}, {2}]
    assert sorted(levels[1], key=min) == [{0}, {1}]
    assert levels[2] == [{0}]
    assert len(levels) == 3


def test_disjoint_simplices_keep_index_order_at_level_zero():
    levels = find([[1, 2], [3, 4]])
    assert levels[0] == [{0}, {1}]
    assert sorted(levels[1], key=min) == [{0}, {1}]
    levels = find([[3, 4], [9], [1, 2], [4, 5]])
    assert levels[0] == [{0, 3}, {1}, {2}]


def test_chain_of_triangles_is_split_at_level_two():
    levels = find([[1, 2, 3], [2, 3, 4], [3, 4, 5]])
    assert levels[0] == [{0, 1, 2}]
    assert levels[1] == [{0, 1, 2}]
    assert as_level_sets(levels)[2] == {frozenset({0}), frozenset({1}), frozenset({2})}


@pytest.mark.parametrize("q", [0, 1, 2, 3])
def test_simplices_sharing_exactly_q_plus_one_vertices(q):
    shared = list(range(q + 1))
    a = shared + [100, 101]
    b = shared + [200]
    levels = find([a, b])
    for level in range(len(levels)):
        if level <= q:
            assert levels[level] == [{0, 1}]
        else:
            assert {frozenset(c) for c in levels[level]} <= {frozenset({0}), frozenset({1})}


def test_accepted_sequence_types():
    # tuples, ranges and bytes are sequences of ints; bytes yields its byte values
    assert find((range(3), (1, 2), b"\x01\x02")) == [[{0, 1, 2}], [{0, 1, 2}], [{0}]]
    assert find([bytearray(b"\x07\x08")]) == [[{0}], [{0}]]


def test_results_are_fresh_python_objects():
    levels = find([[1, 2], [2, 3]])
    assert type(levels) is list and all(type(level) is list for level in levels)
    assert all(type(c) is set and all(type(i) is int for i in c) for level in levels for c in level)


simplices_strategy = st.lists(
    st.lists(st.integers(min_value=0, max_value=9), max_size=6),
    max_size=12,
)


@settings(max_examples=400, deadline=None)
@given(simplices_strategy)
def test_matches_model_of_q_connectivity(simplices):
    got = find(simplices)
    want = simplicial_levels(simplices)
    assert as_level_sets(got) == as_level_sets(want)
    # level 0 is listed by ascending smallest simplex index
    if got:
        assert [min(c) for c in got[0]] == sorted(min(c) for c in got[0])


@settings(max_examples=100, deadline=None)
@given(st.lists(st.lists(st.integers(min_value=2**64 - 6, max_value=2**64 - 1), max_size=5), max_size=8))
def test_vertex_ids_near_the_top_of_the_range(simplices):
    assert as_level_sets(find(simplices)) == as_level_sets(simplicial_levels(simplices))
