// The documented clique registry (dense ids in registration order) and the
// k-vertex sub-cliques of a clique in lexicographic order. Test-only, like
// everything under reference/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ascending.hpp"
#include "core/hashing.hpp"
#include "core/interrupt.hpp"
#include "reference/q_components.hpp"

namespace korvane::reference {

using CliqueId = std::size_t;
// Ascending, without repeats.
using Clique = Ascending<VertexId>;

// Hands out ids 0, 1, 2, ... in registration order; a clique registered twice
// keeps its first id. Fields are public: the component finder reads them
// directly and nothing else writes them.
class CliqueManager {
 public:
  // Size -> ids of that size, ascending (registration order).
  HashMap<std::size_t, std::vector<CliqueId>> cliques_by_size;
  HashMap<Clique, CliqueId> clique_to_id;
  // Indexed by id.
  std::vector<Clique> cliques;

  void add_clique(Clique clique);
};

// Every k-vertex subset of `clique`, lexicographic; empty for k = 0 or k > size.
std::vector<Clique> get_subcliques(const Clique& clique, std::size_t k);

// Appends to `result` every completion of `current` to k elements drawn from
// elements[start..], lexicographic. `current` is restored before returning.
void combinations_recursive(const std::vector<VertexId>& elements, std::size_t k, std::size_t start,
                            std::vector<VertexId>& current, std::vector<Clique>& result);

// Registers every vertex of `graph` (ascending), then every clique of 2, 3, ...
// vertices up to `bound`, each size in lexicographic order. A clique of k + 1
// vertices is grown once, from the clique of its k smallest vertices.
void register_graph_cliques(const AdjacencyMap& graph, std::uint64_t bound, CliqueManager& manager,
                            InterruptTicker& ticker);

}  // namespace korvane::reference
