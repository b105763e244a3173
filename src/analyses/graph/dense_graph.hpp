// From a list of edges to the dense simple graph the clique search works on:
// vertex ids numbered 0 .. n-1 in ascending id order, so that ascending dense
// sets map back to ascending id sets without another sort.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analyses/graph/clique_search.hpp"
#include "core/ascending.hpp"
#include "core/failure.hpp"
#include "core/ids.hpp"
#include "core/interrupt.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

// Cliques of one graph are numbered in 32 bits, like its vertices.
using CliqueIndex = std::uint32_t;

// How many vertices and cliques the graph analyses may number. The defaults
// are the widths of DenseVertex and CliqueIndex; tests lower them to force
// the checks on small inputs.
struct GraphLimits {
  std::size_t vertices = index_limit<DenseVertex>();
  std::size_t cliques = index_limit<CliqueIndex>();
};

class VertexNumbering {
 public:
  // Numbers every endpoint of `edges` (anything with members u and v).
  // Throws CapacityExceeded past limits.vertices.
  template <class Edges>
  VertexNumbering(const Edges& edges, const GraphLimits& limits) {
    VertexId largest_id = 0;
    for (const auto& e : edges) largest_id = std::max(largest_id, std::max(e.u, e.v));
    if (!edges.empty() && largest_id < 8 * edges.size() + 4096) {
      // Ids are small (0 .. n - 1 is the usual case): number them by direct
      // lookup instead of sorting every endpoint.
      table_.assign(static_cast<std::size_t>(largest_id) + 1, 0);
      for (const auto& e : edges) {
        table_[e.u] = 1;
        table_[e.v] = 1;
      }
      number_marked(limits);
      return;
    }
    std::vector<VertexId> endpoints;
    endpoints.reserve(2 * edges.size());
    for (const auto& e : edges) {
      endpoints.push_back(e.u);
      endpoints.push_back(e.v);
    }
    number_sorted(std::move(endpoints), limits);
  }

  std::size_t size() const noexcept { return ids_.size(); }
  const std::vector<VertexId>& ids() const noexcept { return ids_; }
  // Precondition: id is an endpoint of the edges numbered.
  DenseVertex dense(VertexId id) const {
    if (!table_.empty()) return table_[id];
    return static_cast<DenseVertex>(std::lower_bound(ids_.begin(), ids_.end(), id) - ids_.begin());
  }

 private:
  void number_marked(const GraphLimits& limits);
  void number_sorted(std::vector<VertexId> endpoints, const GraphLimits& limits);

  std::vector<VertexId> ids_;
  std::vector<DenseVertex> table_;  // id -> number, used when ids are small
};

// The simple graph of `edges`: symmetric, without self-loops or repeats,
// each list in no particular order. `edges` is consumed: it is rewritten in
// dense numbers, then released.
CompactGraph build_compact_graph(std::vector<Edge> edges, const VertexNumbering& numbering, InterruptTicker& ticker);

// Cliques of a dense graph, each ascending.
using CliqueList = PackedSets<DenseVertex>;

}  // namespace korvane
