// The graphs the graph analyses work on, and how a list of edges becomes
// one: vertex ids numbered 0 .. n-1 in ascending id order (so that ascending
// dense sets map back to ascending id sets without another sort), the simple
// graph of the edges, and that graph renumbered by degeneracy order for the
// clique search. Persistence builds its growing graph on the same vertex
// numbers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ascending.hpp"
#include "core/failure.hpp"
#include "core/ids.hpp"
#include "core/interrupt.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

// A vertex of a dense graph. 32 bits: whoever builds a DenseGraph checks
// that its vertex count stays below index_limit<DenseVertex>().
using DenseVertex = std::uint32_t;

// Undirected simple graph over 0 .. size()-1. Every neighbour list is
// ascending, without repeats and without the vertex itself.
struct DenseGraph {
  std::vector<std::vector<DenseVertex>> adjacency;
  std::size_t size() const noexcept { return adjacency.size(); }
};

// The same kind of graph with every neighbour list back to back in one
// array: the neighbours of v are neighbours[start[v] .. start[v + 1]).
// Whether the lists are ascending is up to whoever builds one.
struct CompactGraph {
  std::vector<std::size_t> start{0};  // one more entry than there are vertices
  std::vector<DenseVertex> neighbours;
  std::size_t size() const noexcept { return start.size() - 1; }
  std::size_t degree(std::size_t v) const noexcept { return start[v + 1] - start[v]; }
  const DenseVertex* begin_of(std::size_t v) const noexcept { return neighbours.data() + start[v]; }
  const DenseVertex* end_of(std::size_t v) const noexcept { return neighbours.data() + start[v + 1]; }
};

// A simple graph renumbered by degeneracy order: vertex r of `graph` (its
// rank) is vertex order[r] of the original, and every list is ascending. A
// vertex's later neighbours, the ones a search from it extends with, are then
// the tail of its list.
//
// The slot of an edge {a, b} with a < b is the offset of b in
// graph.neighbours, within a's list: every edge has one slot, below
// graph.neighbours.size(), and no two edges share one.
struct DegeneracyGraph {
  std::vector<DenseVertex> order;  // rank -> original vertex
  CompactGraph graph;
  // later[r]: offset in graph.neighbours of r's first later neighbour (the
  // end of its list when it has none).
  std::vector<std::size_t> later;
  const DenseVertex* later_of(std::size_t r) const noexcept { return graph.neighbours.data() + later[r]; }
};

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

// Renumbers a simple graph (lists without repeats or the vertex itself, in
// any order) by degeneracy order.
DegeneracyGraph by_degeneracy(const CompactGraph& graph, InterruptTicker& ticker);
DegeneracyGraph by_degeneracy(const DenseGraph& graph, InterruptTicker& ticker);

}  // namespace korvane
