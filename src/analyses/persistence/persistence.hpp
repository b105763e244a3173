// Persistent q-components of a weighted graph, as shipped: edges admitted one
// by one in ascending weight, each component of the growing graph's clique
// complex followed from the weight at which it appears to the weight at which
// it is gone, updated edge by edge rather than recomputed.
#pragma once

#include <functional>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "core/ids.hpp"

namespace korvane {

// Receives the records of a filtration as they are made: first the id of
// every dense vertex, then each record, its vertices as ascending dense
// numbers (ascending numbers are ascending ids). Records come grouped by the
// step at which they ended, in admission order, the survivors last (with the
// largest admitted weight as death); the order within a group is not defined.
struct RecordSink {
  std::function<void(const std::vector<VertexId>& ids)> start;
  std::function<void(QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death)> record;
};

// Under a bound of m >= 2 vertices, the filtration follows either the
// maximal cliques of the growing graph or the cliques of at most m vertices
// that each edge creates (bounded_tracker.hpp); `choose` takes the cheaper
// by an estimate from the whole graph. Either gives the same records.
struct PersistenceTuning {
  enum class Path { choose, maximal_cliques, small_cliques };
  Path path = Path::choose;
};

// Throws CapacityExceeded when the graph has more vertices or cliques than
// `limits` allow.
void persistent_components(std::vector<WeightedEdge> edges, CliqueSizeBound bound, const RecordSink& sink,
                           const GraphLimits& limits = {}, const PersistenceTuning& tuning = {});

}  // namespace korvane
