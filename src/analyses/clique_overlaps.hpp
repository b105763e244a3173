// Pairs of maximal cliques of a graph that overlap in two or more vertices,
// filed by how many they share. The clique-complex levels of a graph follow
// from these pairs alone.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "analyses/dense_graph.hpp"
#include "core/interrupt.hpp"

namespace korvane {

// pairs[s]: pairs of cliques to join at every clique size k with
// 2 <= k <= s. Every two cliques sharing s >= 2 vertices end up joined at
// size min(s, top), directly or through a chain of filed pairs.
using CliquePairs = std::vector<std::vector<std::pair<CliqueIndex, CliqueIndex>>>;

// `cliques` are the maximal cliques of a graph of `vertex_count` vertices;
// `top` (at least 2) is the largest clique size whose level is wanted.
CliquePairs overlapping_pairs(const CliqueList& cliques, std::size_t vertex_count, std::size_t top,
                              InterruptTicker& ticker);

}  // namespace korvane
