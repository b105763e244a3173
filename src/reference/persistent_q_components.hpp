// The documented persistent q-components of a weighted graph: edges admitted
// one by one in ascending weight, the component finder asked for every
// component after each edge, and each component followed from birth to
// death. Test-only: it is the oracle the shipped persistence is checked
// against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "core/ascending.hpp"
#include "core/hashing.hpp"
#include "core/ids.hpp"
#include "core/persistent_component.hpp"
#include "reference/q_components.hpp"

namespace korvane::reference {

// A component's identity: its level and its exact vertex set.
using ComponentKey = std::pair<QLevel, VertexSet>;

// The seeded hash of a key: its set's, mixed with its level's.
struct ComponentKeyHash {
  std::size_t operator()(const ComponentKey& key) const noexcept {
    return hash(key.second) ^ static_cast<std::size_t>(SeededHash::mix(hash(static_cast<std::uint64_t>(key.first))));
  }
  SeededHash hash;
};

// Records grouped by the step at which they ended, in admission order, the
// survivors last; order within a group is not defined.
std::vector<PersistentComponent> calculate_persistent_q_components(std::vector<WeightedEdge> edges,
                                                                   CliqueSizeBound max_q);

// The component finder asked after every admitted edge.
using ComponentFinder = std::function<ComponentsByLevel(const AdjacencyMap& graph, CliqueSizeBound max_q)>;

// The same filtration with the finder supplied by the caller; the function
// above passes find_all_q_connected_components.
std::vector<PersistentComponent> track_persistent_q_components(std::vector<WeightedEdge> edges,
                                                               CliqueSizeBound max_q, const ComponentFinder& finder);

}  // namespace korvane::reference
