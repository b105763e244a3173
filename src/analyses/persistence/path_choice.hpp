// Which cliques a filtration under a bound of m vertices follows: the
// maximal cliques of the growing graph (persistence.cpp) or the cliques of at
// most m vertices that each edge creates (bounded_tracker.hpp).
//
// Both do, at each step, work that follows the common neighbourhood C of
// the new edge in the graph so far: the maximal cliques of C (plus the
// (m - 2)-vertex cliques of C, which the top level holds apart), or every
// clique of at most m - 2 vertices of C. Dense graphs filled in random order
// pass through neighbourhoods with very many maximal cliques, and a small m
// keeps the small cliques few; a large m over large cliques makes the small
// cliques many and the maximal ones few. The estimate reads both counts off
// a sample of steps spread evenly over the filtration, each neighbourhood
// rebuilt from the edges admitted before it, and weighs each by what one such
// clique costs its path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ids.hpp"
#include "core/interrupt.hpp"

namespace korvane {

// What each clique costs its path, in units of the small cliques' count
// (a small clique K of the neighbourhood costs (|K| + 2)^2: it is named, kept
// and joined to its faces by look-ups), fitted to the two paths' times on
// dense and sparse filtrations with bounds 4 to 8: a maximal clique K costs
// kMaximalVertex per vertex of {u, v} + K (it is named through its sides,
// linked to the step's others and kept), and a clique of the bound's size,
// which the maximal cliques' path enumerates apart, kTopVertex per vertex.
// A sampled step stops counting at kBudget units per path: so the small
// cliques can only be underestimated, a misjudgement that costs a few times
// at most, where the maximal cliques of a dense graph can cost thousands.
struct PathCosts {
  static constexpr double kMaximalVertex = 10.0;
  static constexpr double kTopVertex = 3.0;
  static constexpr std::size_t kSampleSteps = 48;
  static constexpr std::uint64_t kBudget = std::uint64_t{1} << 16;
};

// `edges` in dense numbers below `vertex_count`, in admission order; `cap`
// at least 2. True when the small cliques look cheaper.
bool small_cliques_pay(const std::vector<WeightedEdge>& edges, std::size_t vertex_count, std::uint64_t cap,
                       InterruptTicker& ticker);

}  // namespace korvane
