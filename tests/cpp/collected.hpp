// The streamed analyses' output collected whole, as the tests compare it: a
// graph's levels in ascending q, each component as a vertex set, and a
// filtration's records in the order they came.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/persistence/persistence.hpp"
#include "core/ascending.hpp"
#include "core/persistent_component.hpp"

namespace korvane {

inline std::vector<std::vector<VertexSet>> collected_levels(const std::vector<Edge>& edges, CliqueSizeBound bound,
                                                            const GraphLimits& limits = {},
                                                            const OverlapTuning& tuning = {}) {
  std::vector<std::vector<VertexSet>> levels;
  const std::vector<VertexId>* ids = nullptr;
  LevelSink sink;
  sink.start = [&](std::size_t count, const std::vector<VertexId>& dense_ids) {
    levels.resize(count);
    ids = &dense_ids;
  };
  sink.level = [&](std::size_t q, const DenseLevel& components) {
    for (std::size_t c = 0; c < components.count(); ++c) {
      std::vector<VertexId> set;
      for (const DenseVertex* v = components.begin_of(c); v != components.end_of(c); ++v) set.push_back((*ids)[*v]);
      levels[q].push_back(VertexSet::from_ascending(std::move(set)));
    }
  };
  clique_complex_levels(std::vector<Edge>(edges), bound, sink, limits, tuning);
  return levels;
}

inline std::vector<PersistentComponent> collected_records(std::vector<WeightedEdge> edges, CliqueSizeBound bound,
                                                          const GraphLimits& limits = {},
                                                          const PersistenceTuning& tuning = {}) {
  std::vector<PersistentComponent> out;
  const std::vector<VertexId>* ids = nullptr;
  RecordSink sink;
  sink.start = [&](const std::vector<VertexId>& dense_ids) { ids = &dense_ids; };
  sink.record = [&](QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death) {
    std::vector<VertexId> vertices;
    for (; first != last; ++first) vertices.push_back((*ids)[*first]);
    out.push_back(PersistentComponent{q, VertexSet::from_ascending(std::move(vertices)), birth, death});
  };
  persistent_components(std::move(edges), bound, sink, limits, tuning);
  return out;
}

}  // namespace korvane
