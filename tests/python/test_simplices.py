"""The simplicial-complex analysis as seen from Python: the table of known
answers on every backend, then properties of the shipped module."""
import random

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvane
from cases import SIMPLICES
from examples_count import examples
from models import as_level_sets, simplicial_levels

find = korvane.py_find_hierarchical_q_components


def canonical(levels):
    """Level 0 in its defined order, the other levels as sorted lists."""
    out = []
    for q, level in enumerate(levels):
        components = [tuple(sorted(c)) for c in level]
        out.append(components if q == 0 else sorted(components))
    return out


@pytest.mark.parametrize("simplices, expected", [c[1:] for c in SIMPLICES], ids=[c[0] for c in SIMPLICES])
def test_known_answers(find_simplices, simplices, expected):
    assert canonical(find_simplices(simplices)) == canonical(expected)


# Seeded complexes larger than the hypothesis ones: groups of many members,
# popular vertices, equal simplices, and groups sharing more than 64
# vertices, so every backend and tuning runs its splitting and settling.
MEDIUM = [
    # (simplices, vertex pool, sizes, share drawn from the 8 most popular)
    (80, 12, (1, 9), 0.0),
    (60, 40, (2, 16), 0.5),
    (40, 150, (10, 45), 0.4),
    (120, 30, (1, 20), 0.7),
]


@pytest.mark.parametrize("shape", MEDIUM, ids=lambda m: f"n={m[0]} pool={m[1]} sizes={m[2]}")
def test_medium_complexes_agree_with_reference(find_simplices, reference, shape):
    n, pool, (low, high), popular = shape
    rng = random.Random(n * 1000 + pool)
    simplices = [[rng.randrange(8) if rng.random() < popular else rng.randrange(pool)
                  for _ in range(rng.randint(low, high))] for _ in range(n)]
    simplices += [list(reversed(simplices[i])) for i in range(0, n, 7)]  # equal simplices
    want = reference.py_find_hierarchical_q_components(simplices)
    assert canonical(find_simplices(simplices)) == canonical(want)


def test_accepted_sequence_types(find_simplices):
    # tuples, ranges and bytes are sequences of ints; bytes yields its byte values
    assert find_simplices((range(3), (1, 2), b"\x01\x02")) == [[{0, 1, 2}], [{0, 1, 2}], [{0}]]
    assert find_simplices([bytearray(b"\x07\x08")]) == [[{0}], [{0}]]


def test_results_are_fresh_python_objects():
    levels = find([[1, 2], [2, 3]])
    assert type(levels) is list and all(type(level) is list for level in levels)
    assert all(type(c) is set and all(type(i) is int for i in c) for level in levels for c in level)


simplices_strategy = st.lists(
    st.lists(st.integers(min_value=0, max_value=9), max_size=6),
    max_size=12,
)


@settings(max_examples=examples(400), deadline=None)
@given(simplices_strategy)
def test_matches_model_of_q_connectivity(simplices):
    got = find(simplices)
    want = simplicial_levels(simplices)
    assert as_level_sets(got) == as_level_sets(want)
    # level 0 is listed by ascending smallest simplex index
    if got:
        assert [min(c) for c in got[0]] == sorted(min(c) for c in got[0])


@settings(max_examples=examples(100), deadline=None)
@given(st.lists(st.lists(st.integers(min_value=2**64 - 6, max_value=2**64 - 1), max_size=5), max_size=8))
def test_vertex_ids_near_the_top_of_the_range(simplices):
    assert as_level_sets(find(simplices)) == as_level_sets(simplicial_levels(simplices))
