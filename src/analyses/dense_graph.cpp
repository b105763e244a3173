// Vertex numbering and dense graph building; see dense_graph.hpp.
#include "analyses/dense_graph.hpp"

#include <algorithm>

namespace korvane {

void VertexNumbering::number(std::vector<VertexId> endpoints, const GraphLimits& limits) {
  VertexId largest_id = 0;
  for (VertexId x : endpoints) largest_id = std::max(largest_id, x);
  if (!endpoints.empty() && largest_id < 4 * endpoints.size() + 4096) {
    // Ids are small (0 .. n - 1 is the usual case): number them by direct
    // lookup instead of sorting every endpoint.
    table_.assign(static_cast<std::size_t>(largest_id) + 1, 0);
    for (VertexId x : endpoints) table_[x] = 1;
    for (std::size_t x = 0; x < table_.size(); ++x) {
      if (table_[x] == 0) continue;
      check_capacity(ids_.size() + 1, limits.vertices, "graph vertices");
      table_[x] = static_cast<DenseVertex>(ids_.size());
      ids_.push_back(x);
    }
    return;
  }
  std::sort(endpoints.begin(), endpoints.end());
  endpoints.erase(std::unique(endpoints.begin(), endpoints.end()), endpoints.end());
  check_capacity(endpoints.size(), limits.vertices, "graph vertices");
  ids_ = std::move(endpoints);
  ids_.shrink_to_fit();
}

DenseVertex VertexNumbering::dense(VertexId id) const {
  if (!table_.empty()) return table_[id];
  return static_cast<DenseVertex>(std::lower_bound(ids_.begin(), ids_.end(), id) - ids_.begin());
}

VertexSet VertexNumbering::ids_of(const std::vector<DenseVertex>& ascending) const {
  std::vector<VertexId> out;
  out.reserve(ascending.size());
  for (DenseVertex v : ascending) out.push_back(ids_[v]);
  return VertexSet::from_ascending(std::move(out));
}

DenseGraph build_dense_graph(const std::vector<Edge>& edges, const VertexNumbering& numbering,
                             InterruptTicker& ticker) {
  DenseGraph graph;
  graph.adjacency.resize(numbering.size());
  for (const Edge& e : edges) {
    ticker.tick();
    if (e.u == e.v) continue;  // a self-loop only brings its vertex in
    const DenseVertex a = numbering.dense(e.u);
    const DenseVertex b = numbering.dense(e.v);
    graph.adjacency[a].push_back(b);
    graph.adjacency[b].push_back(a);
  }
  for (auto& around : graph.adjacency) {
    ticker.tick(around.size() + 1);
    std::sort(around.begin(), around.end());
    around.erase(std::unique(around.begin(), around.end()), around.end());
  }
  return graph;
}

}  // namespace korvane
