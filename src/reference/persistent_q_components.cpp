// The documented filtration; see persistent_q_components.hpp.
#include "reference/persistent_q_components.hpp"

#include <utility>
#include <vector>

#include "core/filtration.hpp"
#include "core/hashing.hpp"
#include "core/interrupt.hpp"

namespace korvane::reference {

namespace {

PersistentComponent make_record(const ComponentKey& key, double birth, double death) {
  return PersistentComponent{key.first, key.second, birth, death};
}

}  // namespace

std::vector<PersistentComponent> track_persistent_q_components(std::vector<WeightedEdge> edges, CliqueSizeBound max_q,
                                                               const ComponentFinder& finder) {
  std::vector<PersistentComponent> result;
  if (edges.empty()) return result;

  // Finite weights only, ascending, ties in input order, in the same storage.
  edges = admission_order(std::move(edges));

  HashMap<ComponentKey, double, ComponentKeyHash> active;
  AdjacencyMap graph;
  InterruptTicker ticker;

  for (const WeightedEdge& edge : edges) {
    graph[edge.u].insert(edge.v);
    graph[edge.v].insert(edge.u);

    HashSet<ComponentKey, ComponentKeyHash> current;
    {
      ComponentsByLevel found = finder(graph, max_q);
      for (auto& [q, components] : found) {
        for (VertexSet& vertices : components) {
          ticker.tick();
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

std::vector<PersistentComponent> calculate_persistent_q_components(std::vector<WeightedEdge> edges, CliqueSizeBound max_q) {
  return track_persistent_q_components(std::move(edges), max_q, find_all_q_connected_components);
}

}  // namespace korvane::reference
