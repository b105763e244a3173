// From a list of edges to the dense simple graph the clique search works on:
// vertex ids numbered 0 .. n-1 in ascending id order, so that ascending dense
// sets map back to ascending id sets without another sort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analyses/clique_search.hpp"
#include "core/ascending.hpp"
#include "core/failure.hpp"
#include "core/ids.hpp"
#include "core/interrupt.hpp"

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
  // Every endpoint of `edges` gets a number. Throws CapacityExceeded past
  // limits.vertices.
  VertexNumbering(const std::vector<Edge>& edges, const GraphLimits& limits);

  std::size_t size() const noexcept { return ids_.size(); }
  const std::vector<VertexId>& ids() const noexcept { return ids_; }
  // Precondition: id is an endpoint of the edges numbered.
  DenseVertex dense(VertexId id) const;
  // The ids of dense vertices given ascending.
  VertexSet ids_of(const std::vector<DenseVertex>& ascending) const;

 private:
  std::vector<VertexId> ids_;
  std::vector<DenseVertex> table_;  // id -> number, used when ids are small
};

// The simple graph of `edges`: symmetric, without self-loops or repeats.
DenseGraph build_dense_graph(const std::vector<Edge>& edges, const VertexNumbering& numbering,
                             InterruptTicker& ticker);

// Cliques stored back to back: clique i is members[starts[i] .. starts[i+1]),
// ascending. One allocation for all of them instead of one per clique.
struct CliqueList {
  std::vector<DenseVertex> members;
  std::vector<std::size_t> starts{0};

  std::size_t count() const noexcept { return starts.size() - 1; }
  std::size_t size_of(std::size_t i) const noexcept { return starts[i + 1] - starts[i]; }
  const DenseVertex* begin_of(std::size_t i) const noexcept { return members.data() + starts[i]; }
  const DenseVertex* end_of(std::size_t i) const noexcept { return members.data() + starts[i + 1]; }
  void add(const std::vector<DenseVertex>& clique) {
    members.insert(members.end(), clique.begin(), clique.end());
    starts.push_back(members.size());
  }
};

}  // namespace korvane
