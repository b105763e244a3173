// Per-level q-components of a graph's clique complex, as shipped: every
// clique of at most the bound's number of vertices is a simplex, and level q
// joins the (q+1)-vertex cliques that a chain of larger cliques links.
#pragma once

#include <vector>

#include "analyses/dense_graph.hpp"
#include "core/ascending.hpp"
#include "core/ids.hpp"

namespace korvane {

// Levels in ascending q (position = q), each one vertex set per component,
// in no defined order. The graph is that of `edges` (symmetric, every
// endpoint a vertex, self-loops only bringing their vertex in). Throws
// CapacityExceeded when the graph has more vertices or maximal cliques than
// `limits` allow.
std::vector<std::vector<VertexSet>> clique_complex_levels(const std::vector<Edge>& edges, CliqueSizeBound bound,
                                                          const GraphLimits& limits = {});

}  // namespace korvane
