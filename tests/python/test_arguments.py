"""Argument binding and conversion, shared by all three functions."""
import collections
import math

import pytest

import korvane

SIMPLICES = korvane.py_find_hierarchical_q_components
PERSISTENCE = korvane.py_calculate_persistent_q_components
GRAPH = korvane.py_find_hierarchical_q_components_within_graph

SEQ_ERR = "'{}' object cannot be converted to 'Sequence'"
TUPLE_ERR = "'{}' object cannot be converted to 'PyTuple'"
STR_ERR = "Can't extract `str` to `Vec`"


def raises(exc, message, call, *args, **kwargs):
    with pytest.raises(exc) as info:
        call(*args, **kwargs)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message
    return info.value


# --------------------------------------------------------------------------
# Binding
# --------------------------------------------------------------------------

BINDING_CASES = [
    (SIMPLICES, (), {}, "py_find_hierarchical_q_components() missing 1 required positional argument: 'py_simplices'"),
    (SIMPLICES, ([], []), {}, "py_find_hierarchical_q_components() takes 1 positional arguments but 2 were given"),
    (SIMPLICES, ([],), {"py_simplices": []}, "py_find_hierarchical_q_components() got multiple values for argument 'py_simplices'"),
    (SIMPLICES, (), {"simplices": []}, "py_find_hierarchical_q_components() got an unexpected keyword argument 'simplices'"),
    (GRAPH, (), {}, "py_find_hierarchical_q_components_within_graph() missing 2 required positional arguments: 'edges' and 'max_q'"),
    (GRAPH, ([],), {}, "py_find_hierarchical_q_components_within_graph() missing 1 required positional argument: 'max_q'"),
    (GRAPH, (), {"max_q": None}, "py_find_hierarchical_q_components_within_graph() missing 1 required positional argument: 'edges'"),
    (GRAPH, ([], None, None), {}, "py_find_hierarchical_q_components_within_graph() takes 2 positional arguments but 3 were given"),
    (GRAPH, ([], None), {"edges": []}, "py_find_hierarchical_q_components_within_graph() got multiple values for argument 'edges'"),
    (PERSISTENCE, ([],), {}, "py_calculate_persistent_q_components() missing 1 required positional argument: 'max_q'"),
    (PERSISTENCE, ([], None), {"max_q": 1}, "py_calculate_persistent_q_components() got multiple values for argument 'max_q'"),
    (PERSISTENCE, ([],), {"max_q": None, "bound": 1}, "py_calculate_persistent_q_components() got an unexpected keyword argument 'bound'"),
    (PERSISTENCE, ([], None, 1, 2), {}, "py_calculate_persistent_q_components() takes 2 positional arguments but 4 were given"),
]


@pytest.mark.parametrize("function, args, kwargs, message", BINDING_CASES)
def test_binding_errors(function, args, kwargs, message):
    raises(TypeError, message, function, *args, **kwargs)


def test_binding_checks_positional_count_before_keywords():
    raises(TypeError, "py_find_hierarchical_q_components() takes 1 positional arguments but 2 were given",
           SIMPLICES, [], [], bogus=1)


def test_keywords_are_taken_in_call_order():
    # the unknown keyword comes first, so it is reported rather than the duplicate
    with pytest.raises(TypeError, match="unexpected keyword argument 'zzz'"):
        GRAPH([], zzz=1, edges=[])


def test_every_parameter_binds_by_keyword_in_any_order():
    assert SIMPLICES(py_simplices=[[5]]) == [[{0}]]
    assert GRAPH(max_q=None, edges=[(1, 2)]) == [[{1, 2}], [{1, 2}]]
    assert GRAPH([(1, 2)], max_q=None) == [[{1, 2}], [{1, 2}]]
    assert PERSISTENCE(max_q=None, edges=[]) == []


def test_binding_failure_does_not_convert_arguments():
    class Loud:
        def __iter__(self):
            raise AssertionError("converted")

    raises(TypeError, None, GRAPH, Loud())


# --------------------------------------------------------------------------
# Sequences
# --------------------------------------------------------------------------


def _gen():
    yield (1, 2)


@pytest.mark.parametrize(
    "value, message",
    [
        ("12", STR_ERR),
        (5, SEQ_ERR.format("int")),
        (None, SEQ_ERR.format("NoneType")),
        ({(1, 2)}, SEQ_ERR.format("set")),
        (frozenset(), SEQ_ERR.format("frozenset")),
        ({1: 2}, SEQ_ERR.format("dict")),
        (_gen(), SEQ_ERR.format("generator")),
        (iter([]), SEQ_ERR.format("list_iterator")),
    ],
)
def test_outer_sequence_refusals(value, message):
    for call in (lambda: SIMPLICES(value), lambda: GRAPH(value, None), lambda: PERSISTENCE(value, None)):
        raises(TypeError, message, call)


def test_str_subclass_is_refused_as_a_sequence():
    class Name(str):
        pass

    raises(TypeError, STR_ERR, SIMPLICES, Name("ab"))
    raises(TypeError, STR_ERR, SIMPLICES, [Name("ab")])


def test_inner_simplex_refusals():
    raises(TypeError, STR_ERR, SIMPLICES, [[1], "ab"])
    raises(TypeError, SEQ_ERR.format("set"), SIMPLICES, [{1, 2}])
    raises(TypeError, SEQ_ERR.format("int"), SIMPLICES, [1])


def test_nested_qualname_is_reported():
    class Outer:
        class Inner:
            pass

    raises(TypeError, SEQ_ERR.format("test_nested_qualname_is_reported.<locals>.Outer.Inner"),
           SIMPLICES, Outer.Inner())


class Seq:
    """A sequence whose length and iteration can be made to misbehave."""

    def __init__(self, items, length=None, length_error=None, fail_at=None):
        self.items, self.length, self.length_error, self.fail_at = items, length, length_error, fail_at

    def __len__(self):
        if self.length_error is not None:
            raise self.length_error
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        for i, item in enumerate(self.items):
            if i == self.fail_at:
                raise KeyError("iteration failed")
            yield item


def test_iteration_errors_propagate_unchanged():
    err = raises(KeyError, None, SIMPLICES, Seq([[1], [2]], fail_at=1))
    assert err.args == ("iteration failed",)
    raises(KeyError, None, GRAPH, Seq([(1, 2)], fail_at=0), None)


def test_sizing_errors_are_ignored():
    assert SIMPLICES(Seq([[1, 2]], length_error=RuntimeError("no len"))) == [[{0}], [{0}]]
    assert SIMPLICES(Seq([[1, 2]], length=0)) == [[{0}], [{0}]]
    assert SIMPLICES([Seq([1, 2], length_error=RuntimeError("no len")), Seq([2, 3], length=2**62)]) == \
        [[{0, 1}], [{0}, {1}]]


def test_every_simplex_is_asked_its_length():
    asked = []

    class Counted(Seq):
        def __len__(self):
            asked.append(self)
            return super().__len__()

    simplices = [Counted([1, 2]), [3], Counted([2, 3, 4])]
    SIMPLICES(simplices)
    assert [id(s) for s in asked] == [id(simplices[0]), id(simplices[2])]


@pytest.mark.parametrize("length", [2**62, 2**63 - 1, 2**100])
def test_a_lying_length_neither_crashes_nor_reserves_it(length):
    # 2**100 does not even fit the interpreter's size type
    simplices = Seq([[i, i + 1] for i in range(2000)], length=length)
    levels = SIMPLICES(simplices)
    assert len(levels) == 2 and levels[0] == [set(range(2000))]
    records = PERSISTENCE(Seq([(1, 2, 1.0)], length=length), None)
    assert sorted(records) == [((0, [1, 2]), 1.0, 1.0), ((1, [1, 2]), 1.0, 1.0)]


def test_a_length_shorter_than_the_items_keeps_every_item():
    simplices = Seq([[i] for i in range(3000)], length=1)
    assert len(SIMPLICES(simplices)[0]) == 3000


def test_mutating_the_list_during_conversion_is_safe():
    simplices = [[1], [2]]

    class Grow:
        def __index__(self):
            if len(simplices) < 50:
                simplices.append([len(simplices) + 10])
            return 7

    simplices.insert(1, [Grow()])
    levels = SIMPLICES(simplices)
    assert sum(len(c) for c in levels[0]) == len(simplices)


# --------------------------------------------------------------------------
# Vertex ids and limits
# --------------------------------------------------------------------------


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BigInt(int):
    pass


def test_accepted_vertex_ids():
    assert SIMPLICES([[True, BigInt(3), Index(4), 2**64 - 1]]) == [[{0}]] * 4
    assert GRAPH([(True, Index(2**64 - 1))], None) == [[{1, 2**64 - 1}], [{1, 2**64 - 1}]]


@pytest.mark.parametrize("vertex, exc", [(-1, OverflowError), (2**64, OverflowError), (-(2**70), OverflowError),
                                         (Index(-1), OverflowError), (1.0, TypeError), ("1", TypeError),
                                         (None, TypeError), (Index(1.5), TypeError)])
def test_refused_vertex_ids(vertex, exc):
    raises(exc, None, SIMPLICES, [[1, vertex]])
    raises(exc, None, GRAPH, [(1, vertex)], None)
    raises(exc, None, PERSISTENCE, [(vertex, 1, 1.0)], None)


def test_index_errors_propagate():
    class Bad:
        def __index__(self):
            raise ZeroDivisionError("no index")

    raises(ZeroDivisionError, None, SIMPLICES, [[Bad()]])


def test_max_q_conversion():
    assert GRAPH([(1, 2)], True) == GRAPH([(1, 2)], 1)
    assert GRAPH([(1, 2)], Index(2)) == GRAPH([(1, 2)], 2)
    assert GRAPH([(1, 2)], 2**64 - 1) == GRAPH([(1, 2)], None)
    for f in (GRAPH, PERSISTENCE):
        raises(OverflowError, None, f, [], -1)
        raises(OverflowError, None, f, [], 2**64)
        raises(TypeError, None, f, [], 1.0)
        raises(TypeError, None, f, [], "1")


# --------------------------------------------------------------------------
# Pairs and triples
# --------------------------------------------------------------------------

Pair = collections.namedtuple("Pair", "u v")
Triple = collections.namedtuple("Triple", "u v w")


class TupleSub(tuple):
    pass


def test_pairs():
    assert GRAPH([Pair(1, 2), TupleSub((2, 3))], None) == GRAPH([(1, 2), (2, 3)], None)
    raises(TypeError, TUPLE_ERR.format("list"), GRAPH, [[1, 2]], None)
    raises(TypeError, TUPLE_ERR.format("bytes"), GRAPH, [b"\x01\x02"], None)
    raises(TypeError, TUPLE_ERR.format("int"), GRAPH, [1], None)
    raises(ValueError, "expected tuple of length 2, but got tuple of length 3", GRAPH, [(1, 2, 3)], None)
    raises(ValueError, "expected tuple of length 2, but got tuple of length 0", GRAPH, [()], None)


def test_triples():
    expected = sorted(PERSISTENCE([(1, 2, 0.5)], None))
    assert sorted(PERSISTENCE([Triple(1, 2, 0.5)], None)) == expected
    raises(TypeError, TUPLE_ERR.format("list"), PERSISTENCE, [[1, 2, 0.5]], None)
    raises(ValueError, "expected tuple of length 3, but got tuple of length 2", PERSISTENCE, [(1, 2)], None)


def test_weights():
    class Weight:
        def __float__(self):
            return 2.5

    class BadWeight:
        def __float__(self):
            raise ArithmeticError("no float")

    assert {r[1] for r in PERSISTENCE([(1, 2, 3)], None)} == {3.0}
    assert {r[1] for r in PERSISTENCE([(1, 2, True)], None)} == {1.0}
    assert {r[1] for r in PERSISTENCE([(1, 2, Weight())], None)} == {2.5}
    assert {r[1] for r in PERSISTENCE([(1, 2, Index(4))], None)} == {4.0}
    assert {r[1] for r in PERSISTENCE([(1, 2, -1.0)], None)} == {-1.0}
    assert PERSISTENCE([(1, 2, math.nan)], None) == []
    raises(TypeError, None, PERSISTENCE, [(1, 2, "1.0")], None)
    raises(ArithmeticError, None, PERSISTENCE, [(1, 2, BadWeight())], None)
    raises(OverflowError, None, PERSISTENCE, [(1, 2, 10**400)], None)


def test_items_convert_in_order_and_edges_before_max_q():
    # first bad item wins; within a tuple item 0 before item 1 before item 2
    raises(TypeError, TUPLE_ERR.format("list"), GRAPH, [(1, 2), [1, 2], (1, -1)], None)
    raises(OverflowError, None, GRAPH, [(-1, "x")], None)
    raises(TypeError, None, PERSISTENCE, [(1, "x", -1.0)], None)
    raises(TypeError, TUPLE_ERR.format("list"), GRAPH, [[1, 2]], -1)
    raises(TypeError, TUPLE_ERR.format("list"), PERSISTENCE, [[1, 2, 3.0]], "bad")
    raises(OverflowError, None, GRAPH, [(1, 2)], -1)


def test_messages_never_name_the_argument():
    for call in (lambda: GRAPH("ab", None), lambda: GRAPH([(1,)], None), lambda: PERSISTENCE([[1]], None)):
        with pytest.raises((TypeError, ValueError)) as info:
            call()
        assert "edges" not in str(info.value) and "max_q" not in str(info.value)
