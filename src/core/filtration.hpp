// The order in which a weighted graph's edges are admitted: finite weights
// only, ascending, ties kept in input order. Shared by the shipped and the
// documented persistence, which must see exactly the same sequence of graphs.
#pragma once

#include <vector>

#include "core/ids.hpp"

namespace korvane {

// Finite exactly when the magnitude bits do not exceed those of the largest
// finite double; an integer test, so NaN never reaches a float comparison.
bool finite_weight(double weight) noexcept;

// Drops the edges of non-finite weight (keeping the others in order, in the
// input's own storage) and sorts the rest stably by weight; -0.0 and 0.0 tie.
std::vector<WeightedEdge> admission_order(std::vector<WeightedEdge> edges);

}  // namespace korvane
