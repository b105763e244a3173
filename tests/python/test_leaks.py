"""Repeated calls, on success and on every error path, leak nothing.

Each case is called a few thousand times after a warm-up; then
- Python-object memory (tracemalloc) has not grown,
- the process's resident memory (/proc/self/statm) and, where glibc reports
  it, the bytes in use in the C heap (mallinfo2) have not grown, which covers
  the native structures a call builds before it fails,
- every object reachable from the arguments has the reference count it had
  before.
Error cases fail late, after a long valid prefix, so that a leaked partial
conversion would be large.
"""
import ctypes
import gc
import os
import sys
import tracemalloc

import pytest

import korvane
from misbehaving import Boom, FailingSequence, Index, IndexRaises, LyingLength, Weight, WeightRaises

# Under the sanitizer runtime freed memory is quarantined (resident memory
# grows by design) and the C heap is not glibc's; only tracemalloc and
# reference counts are meaningful there, and calls are slower.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")
CALLS = 300 if SANITIZED else 1500
WARM_UP = 100 if SANITIZED else 200
GROWTH_ROUNDS = 2

PAGE = os.sysconf("SC_PAGE_SIZE")
# Measured noise is about 1 KiB (Python) and under 100 bytes (C heap); one
# leaked object per call exceeds these many times over.
PYTHON_SLACK = 4 << 10
HEAP_SLACK = 8 << 10
RSS_SLACK = 1 << 20


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE


class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]


_libc = ctypes.CDLL(None)
_mallinfo2 = getattr(_libc, "mallinfo2", None)
if _mallinfo2 is not None:
    _mallinfo2.restype = _MallInfo2


def heap_in_use():
    """Bytes handed out by malloc and not yet freed, or None."""
    if _mallinfo2 is None or SANITIZED:
        return None
    info = _mallinfo2()
    return info.uordblks + info.hblkhd


BIG = 2**40  # ints built at run time, so each has reference counts of its own


def simplices(n=120):
    return [[BIG + i, BIG + i + 1, BIG + (i * 7) % n, Index(BIG + i + 2)] for i in range(n)]


def edges(n=200):
    return [(BIG + i % 40, BIG + (i * 13 + 1) % 40) for i in range(n)]


def weighted(n=40):
    return [(BIG + i % 9, BIG + (i * 5 + 1) % 9, Weight(float(i % 7)) if i % 2 else float(i % 5)) for i in range(n)]


# (name, function, args builder, kwargs builder, expected exception or None).
# Successful calls use inputs small enough for the documented algorithms;
# failing ones convert a long prefix first.
S, G, P = "py_find_hierarchical_q_components", "py_find_hierarchical_q_components_within_graph", \
    "py_calculate_persistent_q_components"
CASES = [
    # success
    ("simplices", S, lambda: (simplices(40),), dict, None),
    ("simplices-lying-length", S, lambda: (LyingLength(simplices(20)),), dict, None),
    ("graph", G, lambda: (edges(60), None), dict, None),
    ("graph-bounded", G, lambda: (edges(60), Index(BIG)), dict, None),
    ("graph-by-keyword", G, lambda: (), lambda: {"max_q": 3, "edges": edges(60)}, None),
    ("persistence", P, lambda: (weighted(16), None), dict, None),
    ("persistence-bounded", P, lambda: (weighted(16), 3), dict, None),
    # conversion errors, each after a long valid prefix
    ("simplices-str", S, lambda: ("ab",), dict, TypeError),
    ("simplices-not-a-sequence", S, lambda: ({1, 2},), dict, TypeError),
    ("simplex-str", S, lambda: (simplices() + ["ab"],), dict, TypeError),
    ("simplex-set", S, lambda: (simplices() + [{1, 2}],), dict, TypeError),
    ("vertex-negative", S, lambda: (simplices() + [[1, -BIG]],), dict, OverflowError),
    ("vertex-too-big", S, lambda: (simplices() + [[1, 2**64 + BIG]],), dict, OverflowError),
    ("vertex-float", S, lambda: (simplices() + [[1, 2.5]],), dict, TypeError),
    ("vertex-index-raises", S, lambda: (simplices() + [[1, IndexRaises(Boom("index"))]],), dict, Boom),
    ("vertex-index-returns-float", S, lambda: (simplices() + [[Index(2.5)]],), dict, TypeError),
    ("simplices-iteration-raises", S, lambda: (FailingSequence(simplices()),), dict, Boom),
    ("simplex-iteration-raises", S, lambda: (simplices() + [FailingSequence([BIG, BIG + 1])],), dict, Boom),
    ("edges-not-a-sequence", G, lambda: (iter(edges()), None), dict, TypeError),
    ("edge-list", G, lambda: (edges() + [[1, 2]], None), dict, TypeError),
    ("edge-length", G, lambda: (edges() + [(1, 2, 3)], None), dict, ValueError),
    ("edge-vertex-negative", G, lambda: (edges() + [(1, -BIG)], None), dict, OverflowError),
    ("edge-vertex-index-raises", G, lambda: (edges() + [(IndexRaises(Boom("index")), 1)], None), dict, Boom),
    ("edges-iteration-raises", G, lambda: (FailingSequence(edges()), None), dict, Boom),
    ("graph-max-q-negative", G, lambda: (edges(), -BIG), dict, OverflowError),
    ("graph-max-q-float", G, lambda: (edges(), 2.5), dict, TypeError),
    ("graph-max-q-index-raises", G, lambda: (edges(), IndexRaises(Boom("index"))), dict, Boom),
    ("triple-length", P, lambda: (weighted() + [(1, 2)], None), dict, ValueError),
    ("triple-list", P, lambda: (weighted() + [[1, 2, 3.0]], None), dict, TypeError),
    ("weight-str", P, lambda: (weighted() + [(1, 2, "x")], None), dict, TypeError),
    ("weight-raises", P, lambda: (weighted() + [(1, 2, WeightRaises(Boom("float")))], None), dict, Boom),
    ("weight-too-big", P, lambda: (weighted() + [(1, 2, 10**400)], None), dict, OverflowError),
    ("persistence-max-q-str", P, lambda: (weighted(), "3"), dict, TypeError),
    ("persistence-max-q-too-big", P, lambda: (weighted(), 2**64 + BIG), dict, OverflowError),
    # binding errors
    ("simplices-missing", S, tuple, dict, TypeError),
    ("simplices-too-many", S, lambda: (simplices(20), simplices(20)), dict, TypeError),
    ("simplices-duplicate", S, lambda: (simplices(20),), lambda: {"py_simplices": simplices(20)}, TypeError),
    ("simplices-unknown-keyword", S, tuple, lambda: {"simplices": simplices(20)}, TypeError),
    ("graph-missing-max-q", G, lambda: (edges(20),), dict, TypeError),
    ("graph-too-many", G, lambda: (edges(20), None, 1), dict, TypeError),
    ("persistence-duplicate", P, lambda: (weighted(5), None), lambda: {"max_q": 1}, TypeError),
    ("persistence-unknown-keyword", P, lambda: (weighted(5),), lambda: {"max_q": 1, "bound": Index(3)}, TypeError),
]


def watched(root):
    """Every object reachable from the arguments whose reference count only
    the call could change: containers, custom objects and their attributes,
    floats and ints outside the interpreter's shared small-int cache."""
    seen, out, stack = set(), [], [root]
    while stack:
        obj = stack.pop()
        if id(obj) in seen or obj is None or isinstance(obj, (bool, str, bytes)):
            continue
        if isinstance(obj, int) and -5 <= obj <= 256:
            continue
        seen.add(id(obj))
        out.append(obj)
        if isinstance(obj, (list, tuple)):
            stack.extend(obj)
        elif isinstance(obj, dict):
            stack.extend(obj.values())
        elif hasattr(obj, "__dict__"):
            stack.extend(vars(obj).values())
    return out


def refcounts(objects):
    return [sys.getrefcount(obj) for obj in objects]


def repeat(function, args, kwargs, expected, times):
    for _ in range(times):
        try:
            function(*args, **kwargs)
        except BaseException as e:
            if expected is None or type(e) is not expected:
                raise
        else:
            assert expected is None, f"expected {expected.__name__}"


@pytest.mark.parametrize("which", ["korvane", "reference"])
@pytest.mark.parametrize("name, function_name, make_args, make_kwargs, expected", CASES, ids=[c[0] for c in CASES])
def test_repeated_calls_leak_nothing(reference, which, name, function_name, make_args, make_kwargs, expected):
    module = korvane if which == "korvane" else reference
    function = getattr(module, function_name)
    args, kwargs = make_args(), make_kwargs()
    objects = watched([args, kwargs])

    repeat(function, args, kwargs, expected, WARM_UP)
    gc.collect()
    counts = refcounts(objects)

    tracemalloc.start()
    try:
        repeat(function, args, kwargs, expected, WARM_UP)
        # A leak grows every round; a one-off allocation elsewhere in the
        # interpreter (a table resized once) shows up in one round at most.
        python_growth = None
        for _ in range(GROWTH_ROUNDS):
            gc.collect()
            python_before = tracemalloc.get_traced_memory()[0]
            repeat(function, args, kwargs, expected, CALLS)
            gc.collect()
            growth = tracemalloc.get_traced_memory()[0] - python_before
            python_growth = growth if python_growth is None else min(python_growth, growth)
    finally:
        tracemalloc.stop()

    # tracemalloc's own tables are gone: the C heap and the resident set now
    # reflect the calls alone
    gc.collect()
    heap_before, rss_before = heap_in_use(), resident_bytes()
    repeat(function, args, kwargs, expected, CALLS)
    gc.collect()
    heap_after, rss_after = heap_in_use(), resident_bytes()

    assert refcounts(objects) == counts
    assert python_growth < PYTHON_SLACK, f"Python objects grew by {python_growth} bytes over {CALLS} calls"
    if heap_before is not None:
        assert heap_after - heap_before < HEAP_SLACK, f"C heap grew by {heap_after - heap_before} bytes"
    if not SANITIZED:
        assert rss_after - rss_before < RSS_SLACK, f"resident memory grew by {rss_after - rss_before} bytes"
