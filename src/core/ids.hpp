// The values every analysis speaks in: vertex ids, q levels, simplex
// positions, edges, and the optional bound on clique size.
#pragma once

#include <cstdint>
#include <optional>

namespace korvane {

using VertexId = std::uint64_t;
// Levels are never negative; signed because results report them as such.
using QLevel = std::int64_t;
// Position of a simplex in the caller's list.
using SimplexIndex = std::uint64_t;

struct Edge {
  VertexId u;
  VertexId v;
};

struct WeightedEdge {
  VertexId u;
  VertexId v;
  double weight;
};

// The most vertices a clique may have to be formed at all; absent means no
// bound. It caps clique size, not the q level: a bound of m reports levels up
// to m - 1, and a bound of 0 behaves as 1.
using CliqueSizeBound = std::optional<std::uint64_t>;

}  // namespace korvane
