// Clique search on a simple graph with dense vertex numbers: maximal cliques
// (Bron–Kerbosch with pivoting, vertices taken in degeneracy order) and all
// cliques of one size. Both work on the neighbourhood of one vertex at a time,
// held as bitsets, so the cost follows the degeneracy rather than the degree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/interrupt.hpp"

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

// Receives one clique, its vertices ascending. The vector is reused after the
// call returns.
using CliqueSink = std::function<void(const std::vector<DenseVertex>&)>;

// Every maximal clique exactly once. A graph without vertices has one maximal
// clique, the empty one; an isolated vertex is a maximal clique of its own.
void for_each_maximal_clique(const DenseGraph& graph, InterruptTicker& ticker, const CliqueSink& sink);

// Every clique of exactly `size` vertices exactly once (size 0: the empty
// clique once).
void for_each_clique_of_size(const DenseGraph& graph, std::uint64_t size, InterruptTicker& ticker,
                             const CliqueSink& sink);

// Vertices ordered by repeatedly removing one of least remaining degree.
std::vector<DenseVertex> degeneracy_order(const DenseGraph& graph);

}  // namespace korvane
