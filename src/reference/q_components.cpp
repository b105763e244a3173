// The documented per-level q-components of a graph; see q_components.hpp.
#include "reference/q_components.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "reference/clique_manager.hpp"
#include "reference/dsu.hpp"

namespace korvane::reference {

namespace {

// Ids of the registered sub-cliques of `clique` with k vertices that are in
// this level's forest, in sub-clique order.
void collect_present_subcliques(const CliqueManager& manager, const Dsu& level, const Clique& clique, std::size_t k,
                                std::vector<CliqueId>& out, InterruptTicker& ticker) {
  for (const Clique& sub : get_subcliques(clique, k)) {
    ticker.tick();
    auto registered = manager.clique_to_id.find(sub);
    if (registered == manager.clique_to_id.end()) continue;
    if (level.contains(registered->second)) out.push_back(registered->second);
  }
}

// Size of the largest registered clique within the bound; walks the sizes
// that exist rather than counting up to the bound, which may be 2^64 - 1.
std::size_t largest_size(const CliqueManager& manager, std::uint64_t bound) {
  std::size_t largest = 0;
  for (const auto& [clique_size, ids] : manager.cliques_by_size) {
    if (clique_size >= 1 && clique_size <= bound && !ids.empty()) largest = std::max(largest, clique_size);
  }
  return largest;
}

// Cliques one size up that share a component above pull their k-vertex
// faces together here.
void inherit_unions(const CliqueManager& manager, Dsu& above, Dsu& level, std::size_t k, InterruptTicker& ticker) {
  std::vector<CliqueId> joined;
  for (const HashSet<CliqueId>& component : above.root_member_sets()) {
    joined.clear();
    for (CliqueId id : component) {
      if (id >= manager.cliques.size()) continue;
      collect_present_subcliques(manager, level, manager.cliques[id], k, joined, ticker);
    }
    if (joined.empty()) continue;
    const CliqueId representative = joined.front();
    for (CliqueId s : joined) {
      ticker.tick();
      if (s != representative) level.unite(representative, s);
    }
  }
}

// Every larger clique joins all of its k-vertex faces.
void unite_faces_of_larger(const CliqueManager& manager, Dsu& level, std::size_t k, std::size_t largest,
                           InterruptTicker& ticker) {
  std::vector<CliqueId> joined;
  for (std::size_t s = k + 1; s <= largest; ++s) {
    auto larger = manager.cliques_by_size.find(s);
    if (larger == manager.cliques_by_size.end()) continue;
    for (CliqueId id : larger->second) {
      ticker.tick();
      if (id >= manager.cliques.size()) continue;
      joined.clear();
      collect_present_subcliques(manager, level, manager.cliques[id], k, joined, ticker);
      for (std::size_t i = 1; i < joined.size(); ++i) level.unite(joined.front(), joined[i]);
    }
  }
}

}  // namespace

ComponentsByLevel find_all_q_connected_components(const AdjacencyMap& graph, CliqueSizeBound max_q) {
  InterruptTicker ticker;

  const std::uint64_t n = graph.size();
  std::uint64_t bound = max_q.value_or(n);
  if (bound == 0 && n > 0) bound = 1;
  if (n == 0) return {};

  CliqueManager manager;
  register_graph_cliques(graph, bound, manager, ticker);
  const std::size_t largest = largest_size(manager, bound);

  ComponentsByLevel result;
  // The forest of the level just above; absent only while building the top
  // level.
  std::optional<Dsu> above;
  for (std::size_t k = largest; k >= 1; --k) {
    const QLevel q = static_cast<QLevel>(k - 1);
    Dsu level;
    auto of_size = manager.cliques_by_size.find(k);
    if (of_size != manager.cliques_by_size.end() && !of_size->second.empty()) {
      for (CliqueId id : of_size->second) {
        ticker.tick();
        if (id < manager.cliques.size()) level.make_set(id, manager.cliques[id]);
      }
      if (above) inherit_unions(manager, *above, level, k, ticker);
      unite_faces_of_larger(manager, level, k, largest, ticker);
    }
    result[q] = level.root_vertex_sets();
    above = std::move(level);
  }
  return result;
}

}  // namespace korvane::reference
