"""The weighted-graph filtration, as seen from Python."""
import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvane

PERSISTENCE = korvane.py_calculate_persistent_q_components
GRAPH = korvane.py_find_hierarchical_q_components_within_graph


def split_like(records, groups):
    """Cut `records` into chunks of the groups' sizes, each chunk sorted."""
    out, start = [], 0
    for group in groups:
        out.append(sorted(records[start:start + len(group)]))
        start += len(group)
    assert start == len(records)
    return out


def filtration_model(edges, max_q):
    """Replays the filtration with the graph function on every prefix of the
    admitted edges; returns the records grouped by the step that ended them,
    the survivors as the last group."""
    admitted = sorted((e for e in edges if math.isfinite(float(e[2]))), key=lambda e: float(e[2]))
    active, groups = {}, []
    for i, (_, _, w) in enumerate(admitted):
        w = float(w)
        levels = GRAPH([(u, v) for u, v, _ in admitted[: i + 1]], max_q)
        current = {(q, tuple(sorted(c))) for q, level in enumerate(levels) for c in level}
        ended = [key for key in active if key not in current]
        groups.append(sorted(((q, list(vs)), active[(q, vs)], w) for q, vs in ended))
        for key in ended:
            del active[key]
        for key in current:
            active.setdefault(key, w)
    if admitted:
        last = float(admitted[-1][2])
        groups.append(sorted(((q, list(vs)), birth, last) for (q, vs), birth in active.items()))
    return groups


def test_worked_example_six_records_in_three_death_groups():
    records = PERSISTENCE([(1, 2, 1.0), (2, 3, 2.0), (1, 3, 3.0)], None)
    assert len(records) == 6
    assert records[0] == ((0, [1, 2]), 1.0, 2.0)
    assert sorted(records[1:3]) == [((1, [1, 2]), 1.0, 3.0), ((1, [2, 3]), 2.0, 3.0)]
    assert sorted(records[3:]) == [((0, [1, 2, 3]), 2.0, 3.0), ((1, [1, 2, 3]), 3.0, 3.0), ((2, [1, 2, 3]), 3.0, 3.0)]


@pytest.mark.parametrize(
    "edges, max_q, expected",
    [
        ([], None, []),
        ([(1, 2, math.nan)], None, []),
        ([(1, 2, math.inf), (3, 4, -math.inf)], None, []),
        ([(1, 2, 0.5)], None, [((0, [1, 2]), 0.5, 0.5), ((1, [1, 2]), 0.5, 0.5)]),
        ([(1, 2, 3)], None, [((0, [1, 2]), 3.0, 3.0), ((1, [1, 2]), 3.0, 3.0)]),
        ([(5, 5, 2.0)], None, [((0, [5]), 2.0, 2.0)]),
        ([(1, 2, 1.0), (2, 3, 2.0)], 1, [((0, [1]), 1.0, 2.0), ((0, [2]), 1.0, 2.0), ((0, [3]), 2.0, 2.0)]),
    ],
)
def test_edge_cases(edges, max_q, expected):
    assert sorted(PERSISTENCE(edges, max_q)) == sorted(expected)


def test_record_shape():
    ((q, vertices), birth, death) = PERSISTENCE([(3, 1, 0.5)], None)[0]
    assert type(q) is int and type(vertices) is list and vertices == [1, 3]
    assert type(birth) is float and type(death) is float


def test_equal_weights_follow_input_order():
    first, *rest = PERSISTENCE([(1, 2, 1.0), (2, 3, 1.0)], None)
    assert first == ((0, [1, 2]), 1.0, 1.0)
    assert sorted(rest[:3]) == [((0, [1, 2, 3]), 1.0, 1.0), ((1, [1, 2]), 1.0, 1.0), ((1, [2, 3]), 1.0, 1.0)]
    assert PERSISTENCE([(2, 3, 1.0), (1, 2, 1.0)], None)[0] == ((0, [2, 3]), 1.0, 1.0)


def test_negative_weights_first_and_signed_zeros_tie():
    records = PERSISTENCE([(1, 2, 5.0), (3, 4, -2.0)], None)
    assert {r[1] for r in records if r[0][1] == [3, 4]} == {-2.0}
    # -0.0 and 0.0 tie: the input order decides which edge comes first
    assert PERSISTENCE([(1, 2, 0.0), (2, 3, -0.0)], None)[0] == ((0, [1, 2]), 0.0, 0.0)
    assert PERSISTENCE([(2, 3, -0.0), (1, 2, 0.0)], None)[0] == ((0, [2, 3]), 0.0, 0.0)


def test_non_finite_edges_change_nothing():
    base = [(1, 2, 1.0), (2, 3, 2.0), (1, 3, 3.0)]
    noisy = [(1, 9, math.nan)] + base[:2] + [(3, 9, math.inf), (2, 9, -math.inf)] + base[2:]
    assert split_like(PERSISTENCE(noisy, None), filtration_model(base, None)) == filtration_model(base, None)


def test_repeated_edge_brings_no_birth_and_no_death():
    base = [(1, 2, 1.0), (2, 3, 2.0)]
    assert sorted(PERSISTENCE(base + [(2, 1, 1.5)], None)) == sorted(PERSISTENCE(base, None))


weights = st.one_of(
    st.sampled_from([-2.0, -1.0, -0.0, 0.0, 0.5, 1.0, 1.0, 2.0, 3.0, math.nan, math.inf, -math.inf]),
    st.floats(min_value=-5, max_value=5, allow_nan=False),
    st.integers(-3, 3),
)
weighted_edges = st.lists(st.tuples(st.integers(0, 6), st.integers(0, 6), weights), max_size=14)
bounds = st.sampled_from([None, 1, 2, 3])


@settings(max_examples=250, deadline=None)
@given(weighted_edges, bounds)
def test_matches_replayed_filtration(edges, max_q):
    records = PERSISTENCE(edges, max_q)
    groups = filtration_model(edges, max_q)
    assert split_like(records, groups) == groups

    finite = [float(w) for _, _, w in edges if math.isfinite(float(w))]
    for (_, _), birth, death in records:
        assert birth in finite and death in finite and birth <= death
    deaths = [r[2] for r in records]
    assert deaths == sorted(deaths)
    if records:
        assert records[-1][2] == max(finite)
