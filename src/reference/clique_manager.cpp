// The documented clique registry and sub-clique listing; see clique_manager.hpp.
#include "reference/clique_manager.hpp"

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>

namespace korvane::reference {

void CliqueManager::add_clique(Clique clique) {
  if (clique_to_id.find(clique) != clique_to_id.end()) return;
  const CliqueId id = cliques.size();
  const std::size_t clique_size = clique.size();
  clique_to_id.emplace(clique, id);
  cliques.push_back(std::move(clique));
  cliques_by_size[clique_size].push_back(id);
}

std::vector<Clique> get_subcliques(const Clique& clique, std::size_t k) {
  const std::size_t n = clique.size();
  if (k == 0 || k > n) return {};
  if (k == n) return {clique};
  const std::vector<VertexId> elements(clique.begin(), clique.end());
  std::vector<VertexId> current;
  // Reserved up front so the stack never reallocates during the recursion.
  current.reserve(k);
  std::vector<Clique> result;
  combinations_recursive(elements, k, 0, current, result);
  return result;
}

void combinations_recursive(const std::vector<VertexId>& elements, std::size_t k, std::size_t start,
                            std::vector<VertexId>& current, std::vector<Clique>& result) {
  if (current.size() == k) {
    result.push_back(Clique::from_ascending(current));
    return;
  }
  const std::size_t n = elements.size();
  if (start >= n) return;
  for (std::size_t i = start; i < n; ++i) {
    // Too few elements left to fill the combination: later i only leave fewer.
    if (n - i < k - current.size()) break;
    current.push_back(elements[i]);
    combinations_recursive(elements, k, i + 1, current, result);
    current.pop_back();
  }
}

namespace {

// The vertices that extend `clique` by one: neighbours of all its vertices,
// above its largest one, ascending. A vertex that is no key extends nothing.
std::vector<VertexId> extensions(const AdjacencyMap& graph, const Clique& clique, InterruptTicker& ticker) {
  std::vector<VertexId> candidates;
  auto first_entry = graph.find(clique.front());
  if (first_entry == graph.end()) return candidates;
  const std::set<VertexId>& first_neighbours = first_entry->second;
  candidates.assign(first_neighbours.upper_bound(clique.back()), first_neighbours.end());
  for (std::size_t i = 1; i < clique.size() && !candidates.empty(); ++i) {
    auto entry = graph.find(clique[i]);
    if (entry == graph.end()) return {};
    const std::set<VertexId>& neighbours = entry->second;
    std::vector<VertexId> kept;
    kept.reserve(candidates.size());
    for (VertexId x : candidates) {
      ticker.tick();
      if (neighbours.count(x) != 0) kept.push_back(x);
    }
    candidates = std::move(kept);
  }
  return candidates;
}

}  // namespace

void register_graph_cliques(const AdjacencyMap& graph, std::uint64_t bound, CliqueManager& manager,
                            InterruptTicker& ticker) {
  std::vector<VertexId> vertex_list;
  vertex_list.reserve(graph.size());
  for (const auto& entry : graph) vertex_list.push_back(entry.first);
  std::sort(vertex_list.begin(), vertex_list.end());
  for (VertexId v : vertex_list) {
    ticker.tick();
    manager.add_clique(Clique{v});
  }

  // Stops at the first size without cliques, so a huge bound costs nothing.
  for (std::uint64_t k = 1; k < bound; ++k) {
    auto by_size = manager.cliques_by_size.find(static_cast<std::size_t>(k));
    if (by_size == manager.cliques_by_size.end()) break;
    // Iterated over a copy so that nothing registered during the pass can
    // change what it walks.
    const std::vector<CliqueId> ids = by_size->second;
    for (CliqueId id : ids) {
      ticker.tick();
      if (id >= manager.cliques.size()) continue;
      // A copy: add_clique below may reallocate `cliques`.
      const Clique clique = manager.cliques[id];
      for (VertexId x : extensions(graph, clique, ticker)) {
        ticker.tick();
        // x exceeds every vertex of the clique, so appending keeps it ascending.
        std::vector<VertexId> grown;
        grown.reserve(clique.size() + 1);
        grown.assign(clique.begin(), clique.end());
        grown.push_back(x);
        manager.add_clique(Clique::from_ascending(std::move(grown)));
      }
    }
  }
}

}  // namespace korvane::reference
