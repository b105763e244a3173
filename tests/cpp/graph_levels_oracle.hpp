// Levels of a graph's clique complex as the tests compare them: each level
// sorted, so levels compare as multisets of vertex sets, and the documented
// algorithm's answer in the same shape, as the oracle.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/ascending.hpp"
#include "core/ids.hpp"
#include "reference/q_components.hpp"

namespace korvane::testing_oracle {

using Levels = std::vector<std::vector<VertexSet>>;

inline Levels normalised(Levels levels) {
  for (auto& level : levels) std::sort(level.begin(), level.end());
  return levels;
}

inline Levels reference_levels(const std::vector<Edge>& edges, CliqueSizeBound bound) {
  reference::AdjacencyMap graph;
  for (const Edge& e : edges) {
    graph[e.u].insert(e.v);
    graph[e.v].insert(e.u);
  }
  reference::ComponentsByLevel found = reference::find_all_q_connected_components(graph, bound);
  Levels out(found.size());
  for (auto& [q, components] : found) out.at(static_cast<std::size_t>(q)) = std::move(components);
  return normalised(std::move(out));
}

}  // namespace korvane::testing_oracle
