"""The shipped module against the documented algorithms (korvane_reference).

Both run behind the same bindings, so any difference is a difference of the
analyses themselves."""
import itertools
import math

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import korvane
from examples_count import examples

TOP = 2**64 - 1
SETTINGS = settings(max_examples=examples(1500), deadline=None, suppress_health_check=[HealthCheck.too_slow])

vertex_ids = st.one_of(st.integers(0, 9), st.integers(TOP - 4, TOP))
bounds = st.sampled_from([None, 0, 1, 2, 3, 4, TOP])


def level_multisets(levels):
    return [sorted(tuple(sorted(c)) for c in level) for level in levels]


def death_groups(records):
    """Records cut into runs of equal death, each run sorted."""
    return [sorted(run) for _, run in itertools.groupby(records, key=lambda r: r[2])]


@SETTINGS
@given(st.lists(st.lists(vertex_ids, max_size=7), max_size=14))
def test_simplices(reference, simplices):
    got = korvane.py_find_hierarchical_q_components(simplices)
    want = reference.py_find_hierarchical_q_components(simplices)
    assert level_multisets(got) == level_multisets(want)
    if want:
        assert got[0] == want[0]  # level 0's order is defined


def by_neighbourhoods(reference, edges, max_q):
    """The shipped graph analysis with its clique search forced neighbourhood by
    neighbourhood: small graphs otherwise search on rows of adjacency bits."""
    return reference._shipped_graph(edges, max_q, 2**32 - 2, 2**32 - 2, 0)


@SETTINGS
@given(st.lists(st.tuples(vertex_ids, vertex_ids), max_size=24), bounds)
def test_graph(reference, edges, max_q):
    got = korvane.py_find_hierarchical_q_components_within_graph(edges, max_q)
    want = reference.py_find_hierarchical_q_components_within_graph(edges, max_q)
    assert level_multisets(got) == level_multisets(want)
    assert level_multisets(by_neighbourhoods(reference, edges, max_q)) == level_multisets(want)


weights = st.one_of(
    st.sampled_from([-1.0, -0.0, 0.0, 1.0, 1.0, 2.0, 2.5, math.nan, math.inf, -math.inf]),
    st.floats(allow_nan=True, allow_infinity=True, width=16),
)


def by_each_path(reference, edges, max_q):
    """The shipped filtration forced onto each path of cliques it can follow
    under a bound: the maximal cliques of the growing graph, and the small
    cliques each edge creates."""
    limit = 2**32 - 2
    return [reference._shipped_persistence(edges, max_q, limit, limit, path) for path in ("maximal", "small")]


@SETTINGS
@given(st.lists(st.tuples(st.integers(0, 7), st.integers(0, 7), weights), max_size=16), bounds)
def test_persistence(reference, edges, max_q):
    got = korvane.py_calculate_persistent_q_components(edges, max_q)
    want = reference.py_calculate_persistent_q_components(edges, max_q)
    assert death_groups(got) == death_groups(want)
    for forced in by_each_path(reference, edges, max_q):
        assert death_groups(forced) == death_groups(want)


@st.composite
def complete_graph_fills(draw):
    """K_n (n <= 8) edge by edge in a drawn order, weights from a few values."""
    n = draw(st.integers(3, 8))
    order = draw(st.permutations([(a, b) for a in range(n) for b in range(a + 1, n)]))
    weights = draw(st.lists(st.integers(0, 6), min_size=len(order), max_size=len(order)))
    return [(a, b, float(w)) for (a, b), w in zip(order, weights)]


@settings(max_examples=examples(300), deadline=None)
@given(complete_graph_fills(), bounds)
def test_persistence_on_complete_graph_fills(reference, edges, max_q):
    got = korvane.py_calculate_persistent_q_components(edges, max_q)
    want = reference.py_calculate_persistent_q_components(edges, max_q)
    assert death_groups(got) == death_groups(want)
    for forced in by_each_path(reference, edges, max_q):
        assert death_groups(forced) == death_groups(want)


@settings(max_examples=examples(200), deadline=None)
@given(st.lists(st.tuples(st.integers(0, 14), st.integers(0, 14)), min_size=20, max_size=60), bounds)
def test_denser_graphs(reference, edges, max_q):
    got = korvane.py_find_hierarchical_q_components_within_graph(edges, max_q)
    want = reference.py_find_hierarchical_q_components_within_graph(edges, max_q)
    assert level_multisets(got) == level_multisets(want)
    assert level_multisets(by_neighbourhoods(reference, edges, max_q)) == level_multisets(want)
