// Per-level q-components of a graph's clique complex.
#pragma once

#include <vector>

#include "common/types.hpp"

namespace korvane {

// Level q -> one ascending vertex set per q-component. Keys are exactly
// 0 .. L-1, L the size of the largest clique formed; the order of components
// within a level is not defined.
using ComponentsByLevel = HashMap<QLevel, std::vector<VertexSet>>;

// Every clique of at most max_q vertices (max_q 0 counts as 1; absent means no
// bound) is a simplex. `graph` is only read.
ComponentsByLevel find_all_q_connected_components(const AdjacencyMap& graph, MaxQ max_q);

namespace fast {

// Same components as the reference above for the graph built from `edges`
// (symmetric, self-loops ignored as cliques, every endpoint a vertex), returned
// as levels in ascending q (position = q).
std::vector<std::vector<VertexSet>> graph_q_components(const std::vector<Edge>& edges, MaxQ max_q);

}  // namespace fast
}  // namespace korvane
