// Clique search on a simple graph with dense vertex numbers: maximal cliques
// (Bron–Kerbosch with pivoting, vertices taken in degeneracy order) and all
// cliques of one size. Both work on the neighbourhood of one vertex at a time,
// held as bitsets, so the cost follows the degeneracy rather than the degree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "core/interrupt.hpp"

namespace korvane {

// Receives one clique, its vertices ascending. The vector is reused after the
// call returns.
using CliqueSink = std::function<void(const std::vector<DenseVertex>&)>;
// Receives one clique of a DegeneracyGraph as its ranks [first, last),
// ascending. The range is reused after the call returns.
using RankedCliqueSink = std::function<void(const DenseVertex* first, const DenseVertex* last)>;

// Every maximal clique exactly once. A graph without vertices has one maximal
// clique, the empty one; an isolated vertex is a maximal clique of its own.
// (The graph analysis runs the search on its ranked graph directly, with its
// own receivers: maximal_cliques.hpp.)
void for_each_maximal_clique(const DenseGraph& graph, InterruptTicker& ticker, const CliqueSink& sink);

// Every clique of exactly `size` vertices exactly once (size 0: the empty
// clique once).
void for_each_clique_of_size(const DenseGraph& graph, std::uint64_t size, InterruptTicker& ticker,
                             const CliqueSink& sink);
void for_each_clique_of_size(const DegeneracyGraph& ranked, std::uint64_t size, InterruptTicker& ticker,
                             const RankedCliqueSink& sink);

}  // namespace korvane
