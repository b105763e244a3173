// Persistent q-components, updated edge by edge instead of recomputed: each
// filtration follows either the maximal cliques of the growing graph
// (maximal_tracker.hpp) or, under a bound that an estimate favours, the
// small cliques each edge creates (bounded_tracker.hpp).
#include "analyses/persistence/persistence.hpp"

#include <utility>

#include "analyses/persistence/bounded_tracker.hpp"
#include "analyses/persistence/maximal_tracker.hpp"
#include "analyses/persistence/path_choice.hpp"
#include "core/filtration.hpp"

namespace korvane {

namespace {

// The small cliques when a bound of 2 or more is set and the estimate
// favours them (path_choice.hpp).
bool follow_small_cliques(CliqueSizeBound bound, const PersistenceTuning& tuning,
                          const std::vector<WeightedEdge>& edges, std::size_t vertex_count) {
  if (!bound || *bound < 2) return false;
  switch (tuning.path) {
    case PersistenceTuning::Path::maximal_cliques: return false;
    case PersistenceTuning::Path::small_cliques: return true;
    case PersistenceTuning::Path::choose: break;
  }
  InterruptTicker ticker;
  return small_cliques_pay(edges, vertex_count, *bound, ticker);
}

template <class Filtration>
void run(Filtration& filtration, const std::vector<WeightedEdge>& edges, const RecordSink& sink) {
  for (const WeightedEdge& edge : edges) {
    filtration.admit(static_cast<DenseVertex>(edge.u), static_cast<DenseVertex>(edge.v), edge.weight, sink);
  }
  filtration.finish(sink);
}

}  // namespace

void persistent_components(std::vector<WeightedEdge> edges, CliqueSizeBound bound, const RecordSink& sink,
                           const GraphLimits& limits, const PersistenceTuning& tuning) {
  edges = admission_order(std::move(edges));
  const VertexNumbering numbering(edges, limits);
  sink.start(numbering.ids());
  if (edges.empty()) return;
  // Each end is looked up once, and the graph sizes its lists from the
  // dense edges before the first is admitted.
  for (WeightedEdge& edge : edges) {
    edge.u = numbering.dense(edge.u);
    edge.v = numbering.dense(edge.v);
  }
  if (follow_small_cliques(bound, tuning, edges, numbering.size())) {
    BoundedTracker tracker(*bound, numbering.size(), edges, limits);
    run(tracker, edges, sink);
  } else {
    MaximalTracker tracker(bound, numbering.size(), edges, limits);
    run(tracker, edges, sink);
  }
}

}  // namespace korvane
