"""Index widths: the graph analyses number vertices and cliques in 32 bits.
The test module runs them with lower limits, so that the checks that guard
those widths fire on small inputs: a clear OverflowError naming what was too
large, never a wrapped index or a wrong answer."""
import itertools

import pytest

import korvane

LARGE = 2**40
SMALL_IDS = list(itertools.combinations(range(4), 2)) + [(4, 5)]          # K4 and an edge: 6 vertices
HUGE_IDS = [(u << 50, v << 50) for u, v in SMALL_IDS]                       # same graph, ids far apart
# Maximal cliques 123, 345, 567 and the edge 78: only cliques of three or
# more vertices are numbered (edges are read off the graph itself).
THREE_CLIQUES = [(1, 2), (2, 3), (1, 3), (3, 4), (4, 5), (3, 5), (5, 6), (6, 7), (5, 7), (7, 8)]


def message(limit, what):
    return f"too many {what} for this analysis (limit {limit})"


@pytest.mark.parametrize("edges", [SMALL_IDS, HUGE_IDS], ids=["small ids", "huge ids"])
def test_graph_vertex_limit(reference, edges):
    graph = reference._shipped_graph
    assert graph(edges, None, 6, LARGE) == korvane.py_find_hierarchical_q_components_within_graph(edges, None)
    with pytest.raises(OverflowError) as raised:
        graph(edges, None, 5, LARGE)
    assert str(raised.value) == message(5, "graph vertices")


def test_graph_clique_limit(reference):
    graph = reference._shipped_graph
    assert graph(THREE_CLIQUES, None, LARGE, 3) == korvane.py_find_hierarchical_q_components_within_graph(
        THREE_CLIQUES, None)
    with pytest.raises(OverflowError) as raised:
        graph(THREE_CLIQUES, None, LARGE, 2)
    assert str(raised.value) == message(2, "maximal cliques")


def weighted(edges):
    return [(u, v, float(i)) for i, (u, v) in enumerate(edges)]


def test_persistence_vertex_limit(reference):
    run = reference._shipped_persistence
    edges = weighted(SMALL_IDS)
    assert sorted(run(edges, None, 6, LARGE)) == sorted(korvane.py_calculate_persistent_q_components(edges, None))
    with pytest.raises(OverflowError) as raised:
        run(edges, None, 5, LARGE)
    assert str(raised.value) == message(5, "graph vertices")


def test_persistence_clique_limit(reference):
    # Every clique that was ever maximal is kept: edges 12, 23 and 34 are
    # maximal when admitted, then 123, 45 and 345 come.
    run = reference._shipped_persistence
    edges = weighted([(1, 2), (2, 3), (1, 3), (3, 4), (4, 5), (3, 5)])
    expected = sorted(korvane.py_calculate_persistent_q_components(edges, None))
    assert sorted(run(edges, None, LARGE, 6)) == expected
    with pytest.raises(OverflowError) as raised:
        run(edges, None, LARGE, 5)
    assert str(raised.value) == message(5, "cliques")


def test_persistence_clique_limit_on_small_cliques(reference):
    # Under a bound the small cliques' path counts every clique it forms: the
    # six edges and the triangles 123 and 345.
    run = reference._shipped_persistence
    edges = weighted([(1, 2), (2, 3), (1, 3), (3, 4), (4, 5), (3, 5)])
    expected = sorted(korvane.py_calculate_persistent_q_components(edges, 3))
    assert sorted(run(edges, 3, LARGE, 8, "small")) == expected
    with pytest.raises(OverflowError) as raised:
        run(edges, 3, LARGE, 7, "small")
    assert str(raised.value) == message(7, "cliques")
