from typing import Sequence, SupportsFloat, SupportsIndex

__all__ = [
    "py_find_hierarchical_q_components",
    "py_calculate_persistent_q_components",
    "py_find_hierarchical_q_components_within_graph",
]

def py_find_hierarchical_q_components(
    py_simplices: Sequence[Sequence[SupportsIndex]],
) -> list[list[set[int]]]:
    """q-components of a complex at every level, as sets of simplex positions."""

def py_calculate_persistent_q_components(
    edges: Sequence[tuple[SupportsIndex, SupportsIndex, float | SupportsFloat | SupportsIndex]],
    max_q: SupportsIndex | None,
) -> list[tuple[tuple[int, list[int]], float, float]]:
    """((q, [vertices]), birth, death) per run of a q-component as edges enter by ascending weight."""

def py_find_hierarchical_q_components_within_graph(
    edges: Sequence[tuple[SupportsIndex, SupportsIndex]],
    max_q: SupportsIndex | None,
) -> list[list[set[int]]]:
    """q-components of a graph's clique complex at every level, as vertex sets."""
