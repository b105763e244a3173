"""Hand-built cases with known answers, one table per analysis.

Each table is run against every backend: the shipped module, the test-only
module of the documented algorithms, and (for complexes) the shipped analysis
under tuning profiles that force each of its internal paths. Expected answers
are written out from the definitions, never taken from a run.
"""
import itertools
import math

TOP = 2**64 - 1
NAN = math.nan
INF = math.inf


def case(name, *values):
    return (name, *values)


# ---------------------------------------------------------------------------
# Simplicial complexes: (name, simplices, levels). Level 0 is listed in its
# defined order (by smallest position); the order of other levels is free.
# ---------------------------------------------------------------------------

def _sharing_exactly(q):
    """Two simplices sharing exactly q + 1 vertices: together up to level q."""
    shared = list(range(q + 1))
    a, b = shared + [100, 101], shared + [200]
    levels = [[{0, 1}] for _ in range(q + 1)]
    levels.append([{0}, {1}])               # level q + 1: both still take part
    levels.extend([[{0}]] * (len(a) - q - 2))  # only `a` reaches higher
    return case(f"sharing exactly {q + 1}", [a, b], levels)


def _forty_vertex_simplices():
    big1, big2 = list(range(1, 41)), list(range(21, 61))  # share 20 vertices
    simplices = [big1, [1, 2, 3], [2, 3, 4, 100], [200, 201], [40, 41], big2, [100, 200], [58, 59, 60, 61]]
    levels = [[{0, 1, 2, 3, 4, 5, 6, 7}],
              [{0, 1, 2, 4, 5, 7}, {3}, {6}],  # two shared: 2,3 / big2 with 40,41 and 58..61
              [{0, 1, 2, 5, 7}],
              [{0, 5}, {2}, {7}]]
    levels += [[{0, 5}]] * 16 + [[{0}, {5}]] * 20
    return case("two 40-vertex simplices among small ones", simplices, levels)


def _popular_vertex():
    # 60 simplices through vertex 0, in pairs sharing one more vertex: too
    # big a group to compare pair by pair under the default settings.
    simplices = []
    for k in range(30):
        simplices += [[0, 1000 + k, 2000 + 2 * k], [0, 1000 + k, 2001 + 2 * k]]
    levels = [[set(range(60))], [{2 * k, 2 * k + 1} for k in range(30)], [{s} for s in range(60)]]
    return case("popular vertex split exactly", simplices, levels)


def _common_to_a_big_group():
    # Fourteen simplices {1, 2, e, u}: all share 1 and 2, pairs also share
    # e = 100 + k, u is their own. Fillers make 1 rarer than every e and 2 the
    # most popular, so a shared vertex ranks after the one that splits the
    # group: pairs share exactly three vertices, never four.
    simplices = [[1, 2, 100 + i // 2, 1000 + i] for i in range(14)]
    for k in range(7):
        simplices += [[100 + k, 2000 + 20 * k + j] for j in range(20)]
    simplices += [[2, 5000 + j] for j in range(30)]
    n = len(simplices)
    levels = [[set(range(n))],
              [set(range(14))] + [{s} for s in range(14, n)],
              [{2 * k, 2 * k + 1} for k in range(7)],
              [{s} for s in range(14)]]
    return case("vertices common to a big group count once", simplices, levels)


def _hub_over_pool(pool, members, repeats, reaches):
    # Members {u, H, a, b}: every one holds the hub H and its own u, and a
    # distinct pair (a, b) of a pool; the first `repeats` pairs come twice
    # (with other u). Copies of the pool (plus a marker) make every pool
    # vertex more popular than H, so H's holders form one group whose copies
    # are their pairs: too many members, holding too few of the pool, to be
    # worth settling at once. Such inputs (a vertex held by a few hundred
    # simplices that share little besides it, their other vertices more
    # popular still) are how the default settings reach a split of a group.
    hub, marker = 10_000, 30_000
    pairs = list(itertools.combinations(range(pool), 2))
    chosen = pairs[::len(pairs) // members][:members]
    chosen += chosen[:repeats]
    simplices = [[20_000 + i, hub, a, b] for i, (a, b) in enumerate(chosen)]
    m = len(simplices)
    held = [0] * pool
    for a, b in chosen:
        held[a] += 1
        held[b] += 1
    copies = m + 1 - min(held)
    simplices += [list(range(pool)) + [marker]] * copies
    everything = set(range(len(simplices)))
    fillers = set(range(m, len(simplices)))
    # Members share two vertices with a copy of the pool, at most two with
    # each other unless their pair repeats (then three); copies share all.
    level2 = [fillers] + [{i, members + i} for i in range(repeats)] + [{i} for i in range(repeats, members)]
    level3 = [fillers] + [{i} for i in range(m)]
    levels = [[everything], [everything], level2, level3] + [[fillers]] * (pool - 3)
    return case(f"hub over a pool of {pool}: {reaches}", simplices, levels)


SIMPLICES = [
    case("empty", [], []),
    case("one empty simplex", [[]], [[]]),
    case("only empty simplices", [[], [], []], [[]]),
    case("empty simplex beside others", [[1, 2], []], [[{0}], [{0}]]),
    case("empties around equal points", [[], [5], [], [5]], [[{1, 3}]]),
    case("empties around a point and an edge", [[], [4], [], [4, 5]], [[{1, 3}], [{3}]]),
    case("one point", [[42]], [[{0}]]),
    case("one triangle", [[1, 2, 3]], [[{0}], [{0}], [{0}]]),
    case("repeated vertex", [[1, 1, 2]], [[{0}], [{0}]]),
    case("only repeats", [[7, 7, 7, 7], [7]], [[{0, 1}]]),
    case("repeats on both sides", [[1, 2, 2, 1], [2, 1, 3, 3]], [[{0, 1}], [{0, 1}], [{1}]]),
    case("equal simplices", [[1, 2], [2, 1]], [[{0, 1}], [{0, 1}]]),
    case("twenty copies", [[4, 9, 16, 25, 36]] * 20, [[set(range(20))]] * 5),
    case("worked example", [[1, 2, 3], [3, 4], [5]], [[{0, 1}, {2}], [{0}, {1}], [{0}]]),
    case("chain of triangles", [[1, 2, 3], [2, 3, 4], [3, 4, 5]], [[{0, 1, 2}], [{0, 1, 2}], [{0}, {1}, {2}]]),
    case("chain reversed and scrambled", [[5, 4, 3], [4, 2, 3], [3, 1, 2]],
         [[{0, 1, 2}], [{0, 1, 2}], [{0}, {1}, {2}]]),
    case("disjoint edges", [[1, 2], [3, 4]], [[{0}, {1}], [{0}, {1}]]),
    case("level 0 by smallest position", [[3, 4], [9], [1, 2], [4, 5]], [[{0, 3}, {1}, {2}], [{0}, {2}, {3}]]),
    case("interleaved components", [[9], [1, 2], [30, 31, 9], [2, 3]],
         [[{0, 2}, {1, 3}], [{1}, {2}, {3}], [{2}]]),
    *[_sharing_exactly(q) for q in range(4)],
    case("five-vertex simplices sharing three", [[1, 2, 3, 4, 5], [3, 4, 5, 6, 7]],
         [[{0, 1}]] * 3 + [[{0}, {1}]] * 2),
    case("ids at both ends of the range", [[TOP, TOP - 1, 0], [TOP - 1, TOP], [0], [TOP - 2]],
         [[{0, 1, 2}, {3}], [{0, 1}], [{0}]]),
    case("top id repeated", [[TOP], [TOP, TOP]], [[{0, 1}]]),
    case("largest id", [[TOP, 0]], [[{0}], [{0}]]),
    _forty_vertex_simplices(),
    _popular_vertex(),
    _common_to_a_big_group(),
    _hub_over_pool(64, 140, 0, "the group is split as masks"),
    _hub_over_pool(80, 200, 10, "the group is split as records, equal copies merged first"),
]


# ---------------------------------------------------------------------------
# Graphs: (name, edges, max_q, levels), each level a list of vertex sets in
# any order.
# ---------------------------------------------------------------------------

TRIANGLE = [(1, 2), (2, 3), (1, 3)]
TWO_TRIANGLES = [(1, 2), (1, 3), (2, 3), (3, 4), (3, 5), (4, 5)]
K4 = list(itertools.combinations(range(1, 5), 2))
K6 = list(itertools.combinations(range(1, 7), 2))
# Two triangle strips around the same 31 vertices (steps 1, 2 and 6, 12 mod
# 31): they share no edge and form no mixed triangle, so level 1 holds two
# components with one vertex set.
STRIPS = [(i, (i + d) % 31) for i in range(31) for d in (1, 2, 6, 12)]
STRIP_TRIANGLES = [{i, (i + 1) % 31, (i + 2) % 31} for i in range(31)] + \
                  [{i, (i + 6) % 31, (i + 12) % 31} for i in range(31)]

GRAPHS = [
    case("no edges", [], None, []),
    case("no edges, bound 0", [], 0, []),
    case("no edges, bound 3", [], 3, []),
    case("one edge", [(1, 2)], None, [[{1, 2}], [{1, 2}]]),
    case("one edge repeated", [(1, 2), (2, 1), (1, 2)], None, [[{1, 2}], [{1, 2}]]),
    case("edge with a loop", [(1, 2), (1, 1)], None, [[{1, 2}], [{1, 2}]]),
    case("lone loop", [(5, 5)], None, [[{5}]]),
    case("repeated loop under a bound", [(5, 5), (5, 5)], 3, [[{5}]]),
    case("path", [(1, 2), (2, 3)], None, [[{1, 2, 3}], [{1, 2}, {2, 3}]]),
    case("edge, bound 1", [(1, 2)], 1, [[{1}, {2}]]),
    case("edge, bound 0", [(1, 2)], 0, [[{1}, {2}]]),
    case("edge, bound True", [(1, 2)], True, [[{1}, {2}]]),
    case("triangle", TRIANGLE, None, [[{1, 2, 3}]] * 3),
    case("triangle, bound 3", TRIANGLE, 3, [[{1, 2, 3}]] * 3),
    case("triangle, huge bound", TRIANGLE, TOP, [[{1, 2, 3}]] * 3),
    case("triangle, bound 2", TRIANGLE, 2, [[{1, 2, 3}], [{1, 2}, {1, 3}, {2, 3}]]),
    case("triangle, bound 1", TRIANGLE, 1, [[{1}, {2}, {3}]]),
    case("looped triangle and looped stranger", TRIANGLE + [(2, 2), (9, 9)], None,
         [[{1, 2, 3}, {9}], [{1, 2, 3}], [{1, 2, 3}]]),
    case("looped triangle and stranger, bound 1", TRIANGLE + [(2, 2), (9, 9)], 1, [[{1}, {2}, {3}, {9}]]),
    case("separate parts and an isolated vertex", [(10, 11), (20, 21), (21, 22), (20, 22), (30, 30)], None,
         [[{10, 11}, {20, 21, 22}, {30}], [{10, 11}, {20, 21, 22}], [{20, 21, 22}]]),
    case("two triangles sharing a vertex", TWO_TRIANGLES, None,
         [[{1, 2, 3, 4, 5}], [{1, 2, 3}, {3, 4, 5}], [{1, 2, 3}, {3, 4, 5}]]),
    case("K4", K4, None, [[{1, 2, 3, 4}]] * 4),
    case("K4, bound 3", K4, 3,
         [[{1, 2, 3, 4}], [{1, 2, 3, 4}], [{1, 2, 3}, {1, 2, 4}, {1, 3, 4}, {2, 3, 4}]]),
    case("K6, bound 4: the top level lists every 4-clique", K6, 4,
         [[set(range(1, 7))]] * 3 + [[set(c) for c in itertools.combinations(range(1, 7), 4)]]),
    case("two components with one vertex set", STRIPS, None,
         [[set(range(31))], [set(range(31)), set(range(31))], STRIP_TRIANGLES]),
    case("ids at both ends of the range", [(7, 9), (TOP, 0)], None, [[{0, TOP}, {7, 9}], [{0, TOP}, {7, 9}]]),
    case("triangle and pendant at the top of the range", [(0, TOP), (TOP - 1, TOP), (0, TOP - 1), (TOP, 5)], None,
         [[{0, 5, TOP - 1, TOP}], [{0, TOP - 1, TOP}, {5, TOP}], [{0, TOP - 1, TOP}]]),
    case("triangle with a tail at both ends of the range",
         [(TOP, TOP - 1), (0, TOP), (TOP - 1, 0), (TOP - 7, 0)], None,
         [[{0, TOP - 7, TOP - 1, TOP}], [{0, TOP - 7}, {0, TOP - 1, TOP}], [{0, TOP - 1, TOP}]]),
]


# ---------------------------------------------------------------------------
# Filtrations: (name, edges, max_q, groups). Records come grouped by the step
# that ended them, groups in order; the order within a group is free.
# ---------------------------------------------------------------------------

def rec(q, vertices, birth, death):
    return ((q, list(vertices)), birth, death)


def _key_held_by_two_components():
    # The strips above, edge by edge, give two level-1 components with one
    # vertex set. Growing one of them by vertex 99 leaves the other, so that
    # key must live on to the end.
    edges = [(i, (i + d) % 31, float(1 + 31 * n + i)) for n, d in enumerate((1, 2, 6, 12)) for i in range(31)]
    edges += [(99, 0, 125.0), (99, 1, 126.0), (200, 201, 127.0)]
    return edges


WORKED = [(1, 2, 1.0), (2, 3, 2.0), (1, 3, 3.0)]
# K4 edge by edge: a path, a 4-cycle, two triangles on the chord 1-4, then
# the edge 2-3 that makes the whole K4 (its sides 1-3-4 and 1-2-4 are
# triangles that were maximal until then).
K4_FILL = [(1, 2, 1.0), (3, 4, 2.0), (1, 3, 3.0), (2, 4, 4.0), (1, 4, 5.0), (2, 3, 6.0)]

PERSISTENCE = [
    case("no edges", [], None, []),
    case("only NaN", [(1, 2, NAN)], None, []),
    case("only infinities", [(1, 2, INF), (3, 4, -INF)], None, []),
    case("only non-finite, bound 1", [(1, 2, NAN), (2, 3, INF), (3, 4, -INF)], 1, []),
    case("one edge", [(1, 2, 0.5)], None, [[rec(0, [1, 2], 0.5, 0.5), rec(1, [1, 2], 0.5, 0.5)]]),
    case("integer weight", [(1, 2, 3)], None, [[rec(0, [1, 2], 3.0, 3.0), rec(1, [1, 2], 3.0, 3.0)]]),
    case("lone loop", [(5, 5, 2.0)], None, [[rec(0, [5], 2.0, 2.0)]]),
    case("loop, then its first edge, then a loop again", [(5, 5, 1.0), (5, 6, 2.0), (6, 6, 3.0)], None,
         [[rec(0, [5], 1.0, 2.0)], [rec(0, [5, 6], 2.0, 3.0), rec(1, [5, 6], 2.0, 3.0)]]),
    case("worked example", WORKED, None,
         [[rec(0, [1, 2], 1.0, 2.0)],
          [rec(1, [1, 2], 1.0, 3.0), rec(1, [2, 3], 2.0, 3.0)],
          [rec(0, [1, 2, 3], 2.0, 3.0), rec(1, [1, 2, 3], 3.0, 3.0), rec(2, [1, 2, 3], 3.0, 3.0)]]),
    case("triangle, bound 2: its edges are the top level", WORKED, 2,
         [[rec(0, [1, 2], 1.0, 2.0)],
          [rec(0, [1, 2, 3], 2.0, 3.0), rec(1, [1, 2], 1.0, 3.0), rec(1, [2, 3], 2.0, 3.0),
           rec(1, [1, 3], 3.0, 3.0)]]),
    case("triangle and loop, bound 1", WORKED + [(3, 3, 4.0)], 1,
         [[rec(0, [1], 1.0, 4.0), rec(0, [2], 1.0, 4.0), rec(0, [3], 2.0, 4.0)]]),
    case("triangle and loop, bound 0", WORKED + [(3, 3, 4.0)], 0,
         [[rec(0, [1], 1.0, 4.0), rec(0, [2], 1.0, 4.0), rec(0, [3], 2.0, 4.0)]]),
    case("bound 1: one record per vertex", [(1, 2, 1.0), (2, 3, 2.0), (3, 4, 4.0), (1, 3, 3.0)], 1,
         [[rec(0, [1], 1.0, 4.0), rec(0, [2], 1.0, 4.0), rec(0, [3], 2.0, 4.0), rec(0, [4], 4.0, 4.0)]]),
    case("path, bound 1", [(1, 2, 1.0), (2, 3, 2.0)], 1,
         [[rec(0, [1], 1.0, 2.0), rec(0, [2], 1.0, 2.0), rec(0, [3], 2.0, 2.0)]]),
    case("equal weights in input order", [(1, 2, 1.0), (2, 3, 1.0)], None,
         [[rec(0, [1, 2], 1.0, 1.0)],
          [rec(1, [1, 2], 1.0, 1.0), rec(1, [2, 3], 1.0, 1.0), rec(0, [1, 2, 3], 1.0, 1.0)]]),
    case("equal weights the other way", [(2, 3, 1.0), (1, 2, 1.0)], None,
         [[rec(0, [2, 3], 1.0, 1.0)],
          [rec(1, [1, 2], 1.0, 1.0), rec(1, [2, 3], 1.0, 1.0), rec(0, [1, 2, 3], 1.0, 1.0)]]),
    case("repeated edge is a step without events", [(1, 2, 1.0), (2, 1, 5.0)], None,
         [[rec(0, [1, 2], 1.0, 5.0), rec(1, [1, 2], 1.0, 5.0)]]),
    case("negative weights first", [(1, 2, 3.0), (3, 4, -2.0)], None,
         [[rec(0, [3, 4], -2.0, 3.0), rec(1, [3, 4], -2.0, 3.0), rec(0, [1, 2], 3.0, 3.0),
           rec(1, [1, 2], 3.0, 3.0)]]),
    # 0.0 and -0.0 tie and keep their input order, so the last admitted
    # weight, the survivors' death, is -0.0.
    case("signed zeros tie in input order", [(1, 2, 0.0), (3, 4, -0.0), (5, 6, -1.0)], None,
         [[rec(0, [5, 6], -1.0, -0.0), rec(1, [5, 6], -1.0, -0.0), rec(0, [1, 2], 0.0, -0.0),
           rec(1, [1, 2], 0.0, -0.0), rec(0, [3, 4], -0.0, -0.0), rec(1, [3, 4], -0.0, -0.0)]]),
    case("signed zeros, plus first", [(1, 2, 0.0), (2, 3, -0.0)], None,
         [[rec(0, [1, 2], 0.0, -0.0)],
          [rec(1, [1, 2], 0.0, -0.0), rec(1, [2, 3], -0.0, -0.0), rec(0, [1, 2, 3], -0.0, -0.0)]]),
    case("signed zeros, minus first", [(2, 3, -0.0), (1, 2, 0.0)], None,
         [[rec(0, [2, 3], -0.0, 0.0)],
          [rec(1, [1, 2], 0.0, 0.0), rec(1, [2, 3], -0.0, 0.0), rec(0, [1, 2, 3], 0.0, 0.0)]]),
    case("K4 filled edge by edge", K4_FILL, None,
         [[rec(0, [1, 2], 1.0, 3.0), rec(0, [3, 4], 2.0, 3.0)],
          [rec(1, [1, 2], 1.0, 5.0), rec(1, [3, 4], 2.0, 5.0), rec(1, [1, 3], 3.0, 5.0), rec(1, [2, 4], 4.0, 5.0)],
          [rec(2, [1, 2, 4], 5.0, 6.0), rec(2, [1, 3, 4], 5.0, 6.0)],
          [rec(0, [1, 2, 3, 4], 3.0, 6.0), rec(1, [1, 2, 3, 4], 5.0, 6.0), rec(2, [1, 2, 3, 4], 6.0, 6.0),
           rec(3, [1, 2, 3, 4], 6.0, 6.0)]]),
    # Under bound 3 every triangle is a top-level key of its own, to the end.
    case("K4 filled edge by edge, bound 3", K4_FILL, 3,
         [[rec(0, [1, 2], 1.0, 3.0), rec(0, [3, 4], 2.0, 3.0)],
          [rec(1, [1, 2], 1.0, 5.0), rec(1, [3, 4], 2.0, 5.0), rec(1, [1, 3], 3.0, 5.0), rec(1, [2, 4], 4.0, 5.0)],
          [rec(0, [1, 2, 3, 4], 3.0, 6.0), rec(1, [1, 2, 3, 4], 5.0, 6.0), rec(2, [1, 2, 4], 5.0, 6.0),
           rec(2, [1, 3, 4], 5.0, 6.0), rec(2, [1, 2, 3], 6.0, 6.0), rec(2, [2, 3, 4], 6.0, 6.0)]]),
    case("ids near the top of the range", [(TOP, 0, 1.0), (TOP - 1, TOP, 2.0), (0, TOP - 1, 3.0)], None,
         [[rec(0, [0, TOP], 1.0, 2.0)],
          [rec(1, [0, TOP], 1.0, 3.0), rec(1, [TOP - 1, TOP], 2.0, 3.0)],
          [rec(0, [0, TOP - 1, TOP], 2.0, 3.0), rec(1, [0, TOP - 1, TOP], 3.0, 3.0),
           rec(2, [0, TOP - 1, TOP], 3.0, 3.0)]]),
]

# Cases checked by a property rather than a full answer.
KEY_HELD_BY_TWO_COMPONENTS = _key_held_by_two_components()
