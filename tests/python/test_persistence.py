"""The weighted-graph filtration, as seen from Python: the table of known
answers on both backends, then properties of the shipped module."""
import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvane
from cases import KEY_HELD_BY_TWO_COMPONENTS, PERSISTENCE as CASES
from examples_count import examples

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


def weight_key(w):
    """A weight that tells -0.0 from 0.0."""
    return (w, math.copysign(1.0, w))


def record_key(record):
    (q, vertices), birth, death = record
    return (q, tuple(vertices), weight_key(birth), weight_key(death))


@pytest.mark.parametrize("edges, max_q, groups", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_known_answers(backend, edges, max_q, groups):
    expected = [sorted(record_key(r) for r in group) for group in groups]
    assert split_like([record_key(r) for r in backend.persistence(edges, max_q)], groups) == expected


def test_a_key_held_by_two_components_lives_while_either_holds_it(backend):
    records = backend.persistence(KEY_HELD_BY_TWO_COMPONENTS, None)
    ring = [r for r in records if r[0] == (1, list(range(31)))]
    assert len(ring) == 1
    assert ring[0][2] == KEY_HELD_BY_TWO_COMPONENTS[-1][2]


def test_record_shape():
    ((q, vertices), birth, death) = PERSISTENCE([(3, 1, 0.5)], None)[0]
    assert type(q) is int and type(vertices) is list and vertices == [1, 3]
    assert type(birth) is float and type(death) is float


def test_non_finite_edges_change_nothing(backend):
    base = [(1, 2, 1.0), (2, 3, 2.0), (3, 4, 0.5), (1, 3, 3.0)]
    noisy = [(1, 9, math.nan)] + base[:2] + [(3, 9, math.inf), (2, 9, -math.inf)] + base[2:]
    expected = filtration_model(base, None)
    assert split_like(backend.persistence(noisy, None), expected) == expected


def test_repeated_edge_brings_no_birth_and_no_death(backend):
    base = [(1, 2, 1.0), (2, 3, 2.0)]
    assert sorted(backend.persistence(base + [(2, 1, 1.5)], None)) == sorted(backend.persistence(base, None))


weights = st.one_of(
    st.sampled_from([-2.0, -1.0, -0.0, 0.0, 0.5, 1.0, 1.0, 2.0, 3.0, math.nan, math.inf, -math.inf]),
    st.floats(min_value=-5, max_value=5, allow_nan=False),
    st.integers(-3, 3),
)
weighted_edges = st.lists(st.tuples(st.integers(0, 6), st.integers(0, 6), weights), max_size=14)
bounds = st.sampled_from([None, 1, 2, 3])


@settings(max_examples=examples(250), deadline=None)
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
