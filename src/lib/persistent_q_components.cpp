#include "lib/persistent_q_components.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

namespace korvane {

namespace {

// Finite exactly when the magnitude bits do not exceed those of the largest
// finite double; integer compare so NaN never reaches a float comparison.
bool finite_weight(double weight) noexcept {
  constexpr std::uint64_t sign_bit = 0x8000000000000000ULL;
  constexpr std::uint64_t largest_finite = 0x7FEFFFFFFFFFFFFFULL;
  return (std::bit_cast<std::uint64_t>(weight) & ~sign_bit) <= largest_finite;
}

// Keys are compared as whole vectors, so a finder that broke the ascending
// form would split one component into several identities.
void require_ascending(const VertexSet& vertices) {
  for (std::size_t i = 1; i < vertices.size(); ++i) {
    if (!(vertices[i - 1] < vertices[i])) throw InternalFailure("component vertex set is not ascending");
  }
}

PersistentComponent make_record(const ComponentKey& key, double birth, double death) {
  return PersistentComponent{key.first, key.second, birth, death};
}

}  // namespace

std::vector<PersistentComponent> track_persistent_q_components(std::vector<WeightedEdge> edges, MaxQ max_q,
                                                               const ComponentFinder& finder) {
  std::vector<PersistentComponent> result;
  if (edges.empty()) return result;

  // Compact the finite edges forward in their own storage, order kept.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (finite_weight(edges[i].weight)) edges[kept++] = edges[i];
  }
  edges.resize(kept);

  // Stable, so equal weights (-0.0 and 0.0 included) keep their input order.
  std::stable_sort(edges.begin(), edges.end(),
                   [](const WeightedEdge& a, const WeightedEdge& b) { return a.weight < b.weight; });

  HashMap<ComponentKey, double> active;
  AdjacencyMap graph;
  InterruptTicker ticker;

  for (const WeightedEdge& edge : edges) {
    graph[edge.u].insert(edge.v);
    graph[edge.v].insert(edge.u);

    HashSet<ComponentKey> current;
    {
      ComponentsByLevel found = finder(graph, max_q);
      for (auto& [q, components] : found) {
        for (VertexSet& vertices : components) {
          ticker.tick();
          require_ascending(vertices);
          current.insert(ComponentKey{q, std::move(vertices)});
        }
      }
    }

    // Entries of the active map that the current step no longer reports have
    // ended; what remains are exactly the continuing keys, births unchanged.
    for (auto it = active.begin(); it != active.end();) {
      ticker.tick();
      if (current.contains(it->first)) {
        ++it;
      } else {
        result.push_back(make_record(it->first, it->second, edge.weight));
        it = active.erase(it);
      }
    }

    for (auto it = current.begin(); it != current.end();) {
      ticker.tick();
      auto node = current.extract(it++);
      if (!active.contains(node.value())) active.emplace(std::move(node.value()), edge.weight);
    }
  }

  // Survivors die at the largest admitted weight; no death is infinite.
  if (!active.empty()) {
    const double last_weight = edges.back().weight;
    for (const auto& [key, birth] : active) result.push_back(make_record(key, birth, last_weight));
  }
  return result;
}

std::vector<PersistentComponent> calculate_persistent_q_components(std::vector<WeightedEdge> edges, MaxQ max_q) {
  return track_persistent_q_components(std::move(edges), max_q, find_all_q_connected_components);
}

}  // namespace korvane
