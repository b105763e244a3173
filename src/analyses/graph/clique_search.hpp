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

// Renumbers a simple graph (lists without repeats or the vertex itself, in
// any order) by degeneracy order.
DegeneracyGraph by_degeneracy(const CompactGraph& graph, InterruptTicker& ticker);

// Receives one clique, its vertices ascending. The vector is reused after the
// call returns.
using CliqueSink = std::function<void(const std::vector<DenseVertex>&)>;
// Receives one clique of a DegeneracyGraph as its ranks [first, last),
// ascending. The range is reused after the call returns.
using RankedCliqueSink = std::function<void(const DenseVertex* first, const DenseVertex* last)>;

// Receives one triangle of a DegeneracyGraph as the slots of its edges.
using TriangleSink = std::function<void(std::size_t ab, std::size_t ac, std::size_t bc)>;

// Every maximal clique exactly once. A graph without vertices has one maximal
// clique, the empty one; an isolated vertex is a maximal clique of its own.
// The ranked search leaves out the maximal cliques of fewer than `min_size`
// vertices (not even checking that they are maximal when it can), and hands
// every triangle, exactly once, to `triangles` when given: it meets them
// all on the way. Graphs of at most `row_search_max` vertices (and at most
// 512) and of average degree at most 64 are searched on their rows of
// adjacency bits, the others neighbourhood by neighbourhood: the same
// cliques and triangles either way.
void for_each_maximal_clique(const DenseGraph& graph, InterruptTicker& ticker, const CliqueSink& sink);
void for_each_maximal_clique(const DegeneracyGraph& ranked, InterruptTicker& ticker, const RankedCliqueSink& sink,
                             const TriangleSink* triangles = nullptr, std::size_t min_size = 0,
                             std::size_t row_search_max = 0);

// Every clique of exactly `size` vertices exactly once (size 0: the empty
// clique once).
void for_each_clique_of_size(const DenseGraph& graph, std::uint64_t size, InterruptTicker& ticker,
                             const CliqueSink& sink);
void for_each_clique_of_size(const DegeneracyGraph& ranked, std::uint64_t size, InterruptTicker& ticker,
                             const RankedCliqueSink& sink);

// Vertices ordered by repeatedly removing one of least remaining degree.
std::vector<DenseVertex> degeneracy_order(const DenseGraph& graph);

}  // namespace korvane
