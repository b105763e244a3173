// Persistent q-components of a weighted graph: edges admitted one by one in
// ascending weight, each component followed from birth to death.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "common/types.hpp"
#include "graph_q_components/q_components.hpp"

namespace korvane {

struct PersistentComponent {
  QLevel q;
  std::vector<VertexId> vertices;  // ascending
  double birth;
  double death;
};

// A component's identity: its level and its exact vertex set.
using ComponentKey = std::pair<QLevel, VertexSet>;

// Records grouped by the step at which they ended, in admission order, the
// survivors last; order within a group is not defined.
std::vector<PersistentComponent> calculate_persistent_q_components(std::vector<WeightedEdge> edges, MaxQ max_q);

// The component finder asked after every admitted edge.
using ComponentFinder = std::function<ComponentsByLevel(const AdjacencyMap& graph, MaxQ max_q)>;

// The same filtration with the finder supplied by the caller; the function
// above passes find_all_q_connected_components.
std::vector<PersistentComponent> track_persistent_q_components(std::vector<WeightedEdge> edges, MaxQ max_q,
                                                               const ComponentFinder& finder);

namespace fast {

// The same multiset of records, grouped by the same death steps.
std::vector<PersistentComponent> calculate_persistent_q_components(std::vector<WeightedEdge> edges, MaxQ max_q);

}  // namespace fast
}  // namespace korvane
