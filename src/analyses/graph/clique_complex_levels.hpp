// Per-level q-components of a graph's clique complex, as shipped: every
// clique of at most the bound's number of vertices is a simplex, and level q
// joins the (q+1)-vertex cliques that a chain of larger cliques links.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "analyses/graph/clique_overlaps.hpp"
#include "analyses/graph/dense_graph.hpp"
#include "core/ids.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

// The components of one level, each the ascending dense numbers of its
// vertices (ascending numbers are ascending ids).
using DenseLevel = PackedSets<DenseVertex>;

// Receives a graph's levels as they are built, so that one level at a time is
// held natively: first how many levels there are and the id of every dense
// vertex, then each level once, in no particular order of q. A level may be
// dropped as soon as its call returns.
struct LevelSink {
  std::function<void(std::size_t level_count, const std::vector<VertexId>& ids)> start;
  std::function<void(std::size_t q, const DenseLevel& components)> level;
};

// The levels of the graph of `edges` (symmetric, every endpoint a vertex,
// self-loops only bringing their vertex in): level q, for q from 0 up, holds
// one component per class, in no defined order. Throws CapacityExceeded when
// the graph has more vertices or maximal cliques than `limits` allow.
// `edges` is released once the graph is built. `tuning` only changes the
// work, never the levels.
void clique_complex_levels(std::vector<Edge> edges, CliqueSizeBound bound, const LevelSink& sink,
                           const GraphLimits& limits = {}, const OverlapTuning& tuning = {});

}  // namespace korvane
