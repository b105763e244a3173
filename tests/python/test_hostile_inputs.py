"""Arbitrary and misbehaving Python objects thrown at all three functions.

Every input is described by plain data that hypothesis draws, then built
twice: one copy goes to korvane, the other to a pure-Python model of the
argument conversion. Both must end the same way: the same exception type (the
very exception, by type and arguments, when the input's own code raised it),
or success, in which case korvane's answer must be well formed and equal to
its answer for the plain values the model extracted. Whatever happens, a call
never crashes and never raises SystemError or PanicException.
"""
import collections
import math
import operator
import warnings

from hypothesis import HealthCheck, event, example, given, settings
from hypothesis import strategies as st

import korvane
from examples_count import examples
from misbehaving import Abort, Boom, Index, IndexRaises, Weight, WeightRaises, fail, failure

SIMPLICES = korvane.py_find_hierarchical_q_components
PERSISTENCE = korvane.py_calculate_persistent_q_components
GRAPH = korvane.py_find_hierarchical_q_components_within_graph


HOSTILE = settings(
    max_examples=examples(2000),
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large, HealthCheck.filter_too_much],
)

# --------------------------------------------------------------------------
# Misbehaving objects
# --------------------------------------------------------------------------


class IntSub(int):
    def __index__(self):  # never consulted: an int subclass converts by value
        raise AssertionError("__index__ of an int subclass was called")


class FloatSub(float):
    def __float__(self):  # never consulted: a float subclass converts by value
        raise AssertionError("__float__ of a float subclass was called")


class TupleSub(tuple):
    """Lies about its length and refuses iteration; pairs and triples are read
    through the tuple's own storage, so neither matters."""

    def __len__(self):
        return 99

    def __iter__(self):
        raise AssertionError("a tuple subclass was iterated")

    def __getitem__(self, i):
        raise AssertionError("a tuple subclass was indexed")


WRONG_VALUES = {
    "float": lambda: 1.5,
    "str": lambda: "7",
    "none": lambda: None,
    "bool": lambda: True,  # an int subclass: deprecated, an error under our warning filter
    "intsub": lambda: IntSub(3),
    "int": lambda: 4,
    "floatsub": lambda: FloatSub(2.5),
}


class Mutator:
    """A vertex id (or weight) whose conversion mutates a list that is being
    converted, once, then yields `value`."""

    def __init__(self, action, value):
        self.action, self.value, self.target, self.fired = action, value, None, False

    def _fire(self):
        if self.fired or self.target is None:
            return
        self.fired = True
        t = self.target
        if self.action == "append" and t:
            t.append(t[-1])
        elif self.action == "insert0" and t:
            t.insert(0, t[-1])
        elif self.action == "extend":
            t.extend(t[:3])
        elif self.action == "clear":
            t.clear()
        elif self.action == "pop" and t:
            t.pop()
        elif self.action == "pop0" and t:
            del t[0]
        elif self.action == "reverse":
            t.reverse()
        elif self.action == "replace":
            t[:] = t[::-1][:2]

    def __index__(self):
        self._fire()
        return self.value

    def __float__(self):
        self._fire()
        return float(self.value)


MUTATIONS = ["append", "insert0", "extend", "clear", "pop", "pop0", "reverse", "replace"]


class MutatingList(list):
    """A list whose iteration mutates it after yielding item `at`."""

    def __init__(self, items, action, at):
        super().__init__(items)
        self.action, self.at = action, at

    def __iter__(self):
        i = 0
        fired = False
        while i < list.__len__(self):
            yield list.__getitem__(self, i)
            if i == self.at and not fired:
                fired = True
                m = Mutator(self.action, 0)
                m.target = self
                m._fire()
            i += 1


LENGTHS = {
    "true": None,
    "zero": lambda: 0,
    "huge": lambda: 2**62,
    "too_big": lambda: 2**100,  # does not fit the interpreter's size type
    "negative": lambda: -3,
    "str": lambda: "3",
    "float": lambda: 2.0,
    "raises": lambda: fail("boom", "__len__"),
    "aborts": lambda: fail("abort", "__len__"),
}


class _Sized:
    def __init__(self, items, length, at):
        self.items, self.length, self.at = items, length, at

    def __len__(self):
        make = LENGTHS[self.length]
        return len(self.items) if make is None else make()


class IterSeq(_Sized):
    """A sequence with its own __iter__, in one of several misbehaviours."""

    def __init__(self, items, length, mode, at):
        super().__init__(items, length, at)
        self.mode = mode

    def __getitem__(self, i):
        raise AssertionError("indexed although __iter__ exists")

    def __iter__(self):
        if self.mode == "raises":
            fail("boom", "__iter__")
        if self.mode == "not_an_iterator":
            return 5
        if self.mode == "bad_next":
            return BadIterator(self.items, self.at)
        return self._generate()

    def _generate(self):
        for i, item in enumerate(self.items):
            if self.mode == "raises_at" and i == self.at:
                fail("boom", "iteration")
            yield item


class BadIterator:
    def __init__(self, items, at):
        self.items, self.at, self.i = items, at, 0

    def __iter__(self):
        return self

    def __next__(self):
        if self.i == self.at:
            fail("abort", "__next__")
        if self.i >= len(self.items):
            raise StopIteration
        self.i += 1
        return self.items[self.i - 1]


class GetitemSeq(_Sized):
    """A sequence iterated through __getitem__ alone (no __iter__)."""

    def __init__(self, items, length, raises_at):
        super().__init__(items, length, raises_at)

    def __getitem__(self, i):
        if i == self.at:
            fail("boom", "__getitem__")
        return self.items[i]


class NotASequence(_Sized):
    """Iterable and sized, but without __getitem__: not a sequence."""

    def __iter__(self):
        return iter(self.items)


_named = {}


def named_tuple(arity):
    if arity not in _named:
        _named[arity] = collections.namedtuple(f"Named{arity}", [f"f{i}" for i in range(arity)])
    return _named[arity]


# --------------------------------------------------------------------------
# Descriptions and building
# --------------------------------------------------------------------------


def build(desc):
    """A fresh object for the description; mutators aim at the innermost
    enclosing plain list."""
    return _build(desc, [])


def _build(desc, lists):
    kind, *a = desc
    if kind == "int":
        return a[0]
    if kind == "bool":
        return a[0]
    if kind == "float":
        return a[0]
    if kind == "str":
        return a[0]
    if kind == "bytes":
        return bytes(a[0])
    if kind == "bytearray":
        return bytearray(a[0])
    if kind == "none":
        return None
    if kind == "intsub":
        return IntSub(a[0])
    if kind == "floatsub":
        return FloatSub(a[0])
    if kind == "index":
        return Index(a[0])
    if kind == "index_raises":
        return IndexRaises(failure(a[0], "__index__"))
    if kind == "index_returns":
        return Index(WRONG_VALUES[a[0]]())
    if kind == "weight":
        return Weight(a[0])
    if kind == "weight_raises":
        return WeightRaises(failure(a[0], "__float__"))
    if kind == "weight_returns":
        return Weight(WRONG_VALUES[a[0]]())
    if kind == "mutator":
        action, depth, value = a
        m = Mutator(action, value)
        if lists:
            m.target = lists[-1 - depth % len(lists)]
        return m
    if kind == "set":
        return set(a[0])
    if kind == "frozenset":
        return frozenset(a[0])
    if kind == "dict":
        return dict.fromkeys(a[0], 1)
    if kind == "range":
        return range(*a)
    if kind == "selfref":
        loop = []
        loop.append(loop)
        return loop
    if kind == "generator":
        items = [_build(d, lists) for d in a[0]]
        return (x for x in items)
    if kind == "iterator":
        return iter([_build(d, lists) for d in a[0]])
    if kind in ("list", "mutating"):
        out = [] if kind == "list" else MutatingList([], a[1], a[2])
        out.extend(_build(d, lists + [out]) for d in a[0])
        return out
    items = [_build(d, lists) for d in a[0]]
    if kind == "tuple":
        return tuple(items)
    if kind == "named":
        return named_tuple(len(items))(*items)
    if kind == "tuplesub":
        return TupleSub(items)
    if kind == "deque":
        return collections.deque(items)
    if kind == "iterseq":
        return IterSeq(items, a[1], a[2], a[3])
    if kind == "getitemseq":
        return GetitemSeq(items, a[1], a[2])
    if kind == "notaseq":
        return NotASequence(items, a[1], None)
    raise AssertionError(kind)


# --------------------------------------------------------------------------
# Model of the argument conversion
# --------------------------------------------------------------------------

U64 = 2**64


def model_sequence(obj, convert_item):
    if isinstance(obj, str):
        raise TypeError("Can't extract `str` to `Vec`")
    if isinstance(obj, dict) or not hasattr(type(obj), "__getitem__"):
        raise TypeError(f"'{type(obj).__qualname__}' object cannot be converted to 'Sequence'")
    try:
        len(obj)  # only a reservation hint: its failures are dropped
    except BaseException:
        pass
    return [convert_item(item) for item in obj]


def model_u64(obj):
    value = operator.index(obj)  # by value for ints and their subclasses
    if not 0 <= value < U64:
        raise OverflowError
    return value


def model_weight(obj):
    if isinstance(obj, float):
        return float.__float__(obj)
    t = type(obj)
    if hasattr(t, "__float__"):
        value = t.__float__(obj)
        if type(value) is float:
            return value
        if isinstance(value, float):
            warnings.warn("float subclass", DeprecationWarning)
            return float.__float__(value)
        raise TypeError("__float__ returned non-float")
    if hasattr(t, "__index__"):
        return float(operator.index(obj))
    raise TypeError("must be real number")


def model_tuple(obj, converters):
    if not isinstance(obj, tuple):
        raise TypeError(f"'{type(obj).__qualname__}' object cannot be converted to 'PyTuple'")
    if tuple.__len__(obj) != len(converters):
        raise ValueError("wrong length")
    return tuple(convert(tuple.__getitem__(obj, i)) for i, convert in enumerate(converters))


def model_simplices(obj):
    return model_sequence(obj, lambda s: model_sequence(s, model_u64))


def model_edges(obj):
    return model_sequence(obj, lambda e: model_tuple(e, (model_u64, model_u64)))


def model_weighted_edges(obj):
    return model_sequence(obj, lambda e: model_tuple(e, (model_u64, model_u64, model_weight)))


def model_max_q(obj):
    return None if obj is None else model_u64(obj)


# --------------------------------------------------------------------------
# Outcomes
# --------------------------------------------------------------------------

ALLOWED = (TypeError, ValueError, OverflowError, Boom, Abort, DeprecationWarning)


def outcome(call):
    with warnings.catch_warnings():
        warnings.simplefilter("error", DeprecationWarning)
        try:
            return ("ok", call())
        except KeyboardInterrupt:
            raise
        except BaseException as e:  # PanicException derives from BaseException
            return ("raised", e)


def assert_same_outcome(actual, expected):
    event("ok" if actual[0] == "ok" else type(actual[1]).__name__)
    if actual[0] == "raised":
        e = actual[1]
        assert isinstance(e, ALLOWED) and not isinstance(e, SystemError), repr(e)
    assert actual[0] == expected[0], (actual, expected)
    if actual[0] == "raised":
        e, m = actual[1], expected[1]
        assert type(e) is type(m), (e, m)
        if isinstance(e, (Boom, Abort)):
            assert e.args == m.args


def is_int(x):
    return type(x) is int


def canonical_levels(levels):
    return [sorted(sorted(c) for c in level) for level in levels]


def check_simplices_result(levels, simplices):
    sets = [set(s) for s in simplices]
    assert type(levels) is list
    top = max((len(s) for s in sets), default=0)
    assert len(levels) == (0 if not sets else max(top, 1))
    for q, level in enumerate(levels):
        assert type(level) is list
        members = []
        for component in level:
            assert type(component) is set and component
            assert all(is_int(i) and 0 <= i < len(sets) for i in component)
            members.extend(component)
        # a level partitions the simplices with at least q + 1 vertices
        assert sorted(members) == [i for i, s in enumerate(sets) if len(s) >= q + 1]
    if levels:
        assert [min(c) for c in levels[0]] == sorted(min(c) for c in levels[0])


def check_graph_result(levels, edges, max_q):
    vertices = {x for e in edges for x in e}
    assert type(levels) is list
    if not vertices:
        assert levels == []
        return
    bound = len(vertices) if max_q is None else max(max_q, 1)
    assert 1 <= len(levels) <= min(bound, len(vertices))
    for q, level in enumerate(levels):
        assert type(level) is list and level
        for component in level:
            assert type(component) is set and len(component) >= q + 1
            assert all(is_int(v) for v in component) and component <= vertices
    # level 0: every vertex in exactly one component
    assert sorted(v for c in levels[0] for v in c) == sorted(vertices)


def check_persistence_result(records, edges, max_q):
    admitted = [(u, v) for u, v, w in edges if math.isfinite(w)]
    vertices = {x for e in admitted for x in e}
    bound = len(vertices) if max_q is None else max(max_q, 1)
    assert type(records) is list
    assert bool(records) == bool(admitted)
    last = -math.inf
    for record in records:
        assert type(record) is tuple and len(record) == 3
        key, birth, death = record
        assert type(key) is tuple and len(key) == 2
        q, members = key
        assert is_int(q) and 0 <= q < bound
        assert type(members) is list and all(is_int(v) for v in members)
        assert members == sorted(set(members)) and len(members) >= q + 1
        assert set(members) <= vertices
        assert type(birth) is float and type(death) is float
        assert math.isfinite(birth) and math.isfinite(death) and birth <= death
        assert death >= last
        last = death


def canonical_records(records):
    return sorted(records, key=lambda r: (r[2], r[0][0], r[0][1], r[1]))


# --------------------------------------------------------------------------
# Strategies
# --------------------------------------------------------------------------

SMALL = st.integers(0, 9)
BOUNDARY_INTS = st.sampled_from([0, 1, -1, 2**32, 2**63 - 1, 2**63, U64 - 1, U64, U64 + 1, -(2**63), -U64, 2**1000])
ANY_INT = st.one_of(st.integers(), BOUNDARY_INTS)
FLOATS = st.one_of(st.floats(), st.sampled_from([math.nan, -math.nan, math.inf, -math.inf, -0.0, 0.0, 1e308]))
RAISE_KIND = st.sampled_from(["boom", "abort"])
# Short ranges only: a range reaching 2**64 would be iterated to the end. The
# last one crosses 2**64 after three items.
RANGES = [(0,), (0, 3), (5, 9), (8, 0, -2), (-2, 3), (U64 - 3, U64 + 2)]
WRONG = st.sampled_from(sorted(WRONG_VALUES))


def weighted(*choices):
    """One of the strategies, each drawn with its relative weight; hostile
    ingredients stay rare enough that many inputs get through conversion."""
    total = sum(w for w, _ in choices)

    def pick(r):
        for w, strategy in choices:
            if r < w:
                return strategy
            r -= w
        raise AssertionError

    return st.integers(0, total - 1).flatmap(pick)


def good_vertex():
    return st.one_of(SMALL, SMALL, SMALL, st.sampled_from([U64 - 1, 2**63, 2**40])).map(lambda v: ("int", v))


def hostile_leaf():
    return st.one_of(
        ANY_INT.map(lambda v: ("int", v)),
        st.booleans().map(lambda b: ("bool", b)),
        FLOATS.map(lambda x: ("float", x)),
        st.text(max_size=3).map(lambda s: ("str", s)),
        st.binary(max_size=4).map(lambda b: ("bytes", b)),
        st.binary(max_size=4).map(lambda b: ("bytearray", b)),
        st.just(("none",)),
        ANY_INT.map(lambda v: ("intsub", v)),
        FLOATS.map(lambda x: ("floatsub", x)),
        ANY_INT.map(lambda v: ("index", v)),
        RAISE_KIND.map(lambda k: ("index_raises", k)),
        WRONG.map(lambda w: ("index_returns", w)),
        FLOATS.map(lambda x: ("weight", x)),
        RAISE_KIND.map(lambda k: ("weight_raises", k)),
        WRONG.map(lambda w: ("weight_returns", w)),
        st.tuples(st.just("mutator"), st.sampled_from(MUTATIONS), st.integers(0, 1), SMALL),
        st.lists(SMALL, max_size=3).map(lambda xs: ("set", tuple(xs))),
        st.lists(SMALL, max_size=3).map(lambda xs: ("frozenset", tuple(xs))),
        st.lists(SMALL, max_size=3).map(lambda xs: ("dict", tuple(xs))),
        st.sampled_from(RANGES).map(lambda r: ("range",) + r),
        st.just(("selfref",)),
    )


# Hostile objects that still convert: they keep inputs with one odd item alive
# long enough to reach the analysis.
benign_vertex = st.one_of(
    SMALL.map(lambda v: ("bool", bool(v % 2))),
    SMALL.map(lambda v: ("intsub", v)),
    SMALL.map(lambda v: ("index", v)),
    st.tuples(st.just("mutator"), st.sampled_from(MUTATIONS), st.integers(0, 1), SMALL),
)


def vertex():
    return weighted((85, good_vertex()), (8, benign_vertex), (7, hostile_leaf()))


def weight():
    good = st.one_of(st.floats(-5, 5), st.sampled_from([math.nan, math.inf, -math.inf, -0.0]), st.integers(-3, 3))
    good = good.map(lambda w: ("float", w) if isinstance(w, float) else ("int", w))
    benign = st.one_of(
        st.floats(-5, 5).map(lambda x: ("floatsub", x)),
        st.floats(-5, 5).map(lambda x: ("weight", x)),
        SMALL.map(lambda v: ("index", v)),
        st.tuples(st.just("mutator"), st.sampled_from(MUTATIONS), st.integers(0, 1), SMALL),
    )
    return weighted((85, good), (8, benign), (7, hostile_leaf()))


SEQ_LENGTH = st.sampled_from(sorted(LENGTHS))
ITER_MODE = st.sampled_from(["plain", "plain", "raises", "raises_at", "not_an_iterator", "bad_next"])


def sequence_of(item, max_size):
    """Plain lists most of the time, every other kind of sequence (and a few
    non-sequences) otherwise."""
    items = st.lists(item, max_size=max_size).map(tuple)
    return weighted(
        (60, items.map(lambda xs: ("list", xs))),
        (8, items.map(lambda xs: ("tuple", xs))),
        (4, items.map(lambda xs: ("deque", xs))),
        (8, st.tuples(st.just("mutating"), items, st.sampled_from(MUTATIONS), st.integers(0, 3))),
        (8, st.tuples(st.just("iterseq"), items, SEQ_LENGTH, ITER_MODE, st.integers(0, 3))),
        (6, st.tuples(st.just("getitemseq"), items, SEQ_LENGTH, st.integers(0, 6))),
        (2, st.tuples(st.just("notaseq"), items, SEQ_LENGTH)),
        (2, items.map(lambda xs: ("generator", xs))),
        (2, items.map(lambda xs: ("iterator", xs))),
    )


def tuple_of(parts):
    """Tuples (plain, named, subclassed) of the parts, sometimes of another
    length, sometimes a list instead."""
    items = weighted(
        (90, st.tuples(*parts).map(tuple)),
        (5, st.tuples(*parts[:-1]).map(tuple)),
        (5, st.tuples(*parts, vertex()).map(tuple)),
    )
    return weighted(
        (75, items.map(lambda xs: ("tuple", xs))),
        (10, items.map(lambda xs: ("named", xs))),
        (10, items.map(lambda xs: ("tuplesub", xs))),
        (5, items.map(lambda xs: ("list", xs))),
    )


simplices_arg = weighted(
    (92, sequence_of(weighted((96, sequence_of(vertex(), 5)), (4, hostile_leaf())), 7)),
    (8, hostile_leaf()),
)
edges_arg = weighted(
    (92, sequence_of(weighted((96, tuple_of([vertex()] * 2)), (4, hostile_leaf())), 9)),
    (8, hostile_leaf()),
)
weighted_edges_arg = weighted(
    (92, sequence_of(weighted((96, tuple_of([vertex(), vertex(), weight()])), (4, hostile_leaf())), 7)),
    (8, hostile_leaf()),
)
max_q_arg = weighted(
    (30, st.just(("none",))),
    (60, st.integers(0, 5).map(lambda v: ("int", v))),
    (10, hostile_leaf()),
)


def call(function, args, by_keyword, names):
    if by_keyword:
        return function(**dict(zip(names, args)))
    return function(*args)


# --------------------------------------------------------------------------
# Tests
# --------------------------------------------------------------------------


@HOSTILE
@given(simplices_arg, st.booleans())
@example(("selfref",), False)
@example(("list", (("selfref",),)), False)
@example(("iterseq", (("list", (("int", 1), ("int", 2))),), "too_big", "plain", 0), False)
@example(("getitemseq", (("list", (("int", 1),)),) * 3, "negative", 9), True)
@example(("list", (("list", (("mutator", "extend", 1, 3), ("int", 4))), ("list", (("int", 4),)))), False)
@example(("mutating", (("list", (("int", 1),)), ("list", (("int", 2),))), "replace", 0), False)
@example(("list", (("range", U64 - 3, U64 + 2),)), False)
@example(("list", (("bytes", b"\x01\x02"), ("bytearray", b"\x02\x03"))), False)
def test_simplices_survive_any_input(desc, by_keyword):
    actual = outcome(lambda: call(SIMPLICES, [build(desc)], by_keyword, ["py_simplices"]))
    expected = outcome(lambda: model_simplices(build(desc)))
    assert_same_outcome(actual, expected)
    if actual[0] == "ok":
        simplices = expected[1]
        check_simplices_result(actual[1], simplices)
        assert canonical_levels(actual[1]) == canonical_levels(SIMPLICES(simplices))


@HOSTILE
@given(edges_arg, max_q_arg, st.booleans())
@example(("list", (("tuplesub", (("int", 1), ("int", 2))), ("named", (("int", 2), ("int", 3))))), ("none",), True)
@example(("list", (("tuple", (("mutator", "clear", 1, 1), ("int", 2))), ("tuple", (("int", 3), ("int", 4))))),
         ("int", 2), False)
@example(("list", (("tuple", (("int", 1), ("int", 2))),)), ("index_returns", "bool"), False)
@example(("list", (("tuple", (("int", 1), ("int", U64))),)), ("int", -1), False)
def test_graph_survives_any_input(edges_desc, max_q_desc, by_keyword):
    actual = outcome(lambda: call(GRAPH, [build(edges_desc), build(max_q_desc)], by_keyword, ["edges", "max_q"]))
    expected = outcome(lambda: (model_edges(build(edges_desc)), model_max_q(build(max_q_desc))))
    assert_same_outcome(actual, expected)
    if actual[0] == "ok":
        edges, max_q = expected[1]
        check_graph_result(actual[1], edges, max_q)
        assert canonical_levels(actual[1]) == canonical_levels(GRAPH(edges, max_q))


@HOSTILE
@given(weighted_edges_arg, max_q_arg, st.booleans())
@example(("list", (("tuple", (("int", 1), ("int", 2), ("float", math.nan))),
                   ("tuple", (("int", 2), ("int", 3), ("float", -0.0))),
                   ("tuple", (("int", 1), ("int", 3), ("weight_returns", "floatsub"))))), ("none",), False)
@example(("list", (("tuple", (("int", 1), ("int", 2), ("int", 10**400))),)), ("none",), False)
@example(("list", (("tuple", (("int", 1), ("int", 2), ("floatsub", 2.0))),
                   ("tuple", (("int", 1), ("int", 2), ("mutator", "extend", 0, 1))))), ("int", 3), True)
def test_persistence_survives_any_input(edges_desc, max_q_desc, by_keyword):
    actual = outcome(
        lambda: call(PERSISTENCE, [build(edges_desc), build(max_q_desc)], by_keyword, ["edges", "max_q"]))
    expected = outcome(lambda: (model_weighted_edges(build(edges_desc)), model_max_q(build(max_q_desc))))
    assert_same_outcome(actual, expected)
    if actual[0] == "ok":
        edges, max_q = expected[1]
        check_persistence_result(actual[1], edges, max_q)
        assert canonical_records(actual[1]) == canonical_records(PERSISTENCE(edges, max_q))
