"""Result objects: within one result every position or vertex id is one int
object, however often it recurs, and a call that fails while building its
result leaves nothing behind."""
import itertools

import korvane

BIG = 2**40  # far outside the interpreter's cache of small ints


def occurrences(levels):
    """id(object) per value, over every member of every set of every level."""
    seen = {}
    for level in levels:
        for component in level:
            for member in component:
                seen.setdefault(member, set()).add(id(member))
    return seen


def test_positions_recurring_across_levels_are_one_int():
    # 600 simplices of 2 to 5 vertices over few vertices: every position
    # recurs at each level up to its simplex's dimension.
    simplices = [[(i * 7 + k * 3) % 40 for k in range(2 + i % 4)] for i in range(600)]
    levels = korvane.py_find_hierarchical_q_components(simplices)
    assert len(levels) == 5
    seen = occurrences(levels)
    assert set(seen) == set(range(600))
    assert all(len(ids) == 1 for ids in seen.values())


def test_vertex_ids_recurring_across_levels_are_one_int():
    # K6 over big ids, bounded at 4: one component on three levels, then the
    # 15 four-vertex cliques, so every vertex recurs at every level.
    edges = [(BIG + a, BIG + b) for a, b in itertools.combinations(range(6), 2)]
    levels = korvane.py_find_hierarchical_q_components_within_graph(edges, 4)
    seen = occurrences(levels)
    assert set(seen) == {BIG + v for v in range(6)}
    assert all(len(ids) == 1 for ids in seen.values())
    assert sum(len(c) for level in levels for c in level) == 3 * 6 + 15 * 4


def test_vertex_ids_recurring_across_records_are_one_int():
    edges = [(BIG + a, BIG + b, float(a * 10 + b)) for a, b in itertools.combinations(range(7), 2)]
    records = korvane.py_calculate_persistent_q_components(edges, None)
    seen = {}
    for (_, vertices), _, _ in records:
        for v in vertices:
            seen.setdefault(v, set()).add(id(v))
    assert set(seen) == {BIG + v for v in range(7)}
    assert all(len(ids) == 1 for ids in seen.values())


def test_the_collector_state_is_left_as_it_was(reference):
    # The collector is held still while a result is built and must come back
    # exactly as it was, after a success and after a failure alike. The
    # limited runs fail inside the analysis, with the collector paused.
    import gc

    calls = [
        lambda: korvane.py_find_hierarchical_q_components([[1, 2], [2, 3]]),
        lambda: korvane.py_find_hierarchical_q_components_within_graph([(1, 2), (2, 3)], None),
        lambda: korvane.py_calculate_persistent_q_components([(1, 2, 1.0)], None),
        lambda: reference._shipped_graph([(1, 2), (2, 3)], None, 2, 10),
        lambda: reference._shipped_persistence([(1, 2, 1.0), (2, 3, 2.0)], None, 10, 1),
    ]
    was = gc.isenabled()
    try:
        for enabled in (True, False):
            (gc.enable if enabled else gc.disable)()
            for call in calls:
                try:
                    call()
                except OverflowError:
                    pass
                assert gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
