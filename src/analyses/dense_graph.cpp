// Vertex numbering and dense graph building; see dense_graph.hpp.
#include "analyses/dense_graph.hpp"

#include <algorithm>

namespace korvane {

VertexNumbering::VertexNumbering(const std::vector<Edge>& edges, const GraphLimits& limits) {
  VertexId largest_id = 0;
  for (const Edge& e : edges) largest_id = std::max({largest_id, e.u, e.v});
  if (!edges.empty() && largest_id < 8 * edges.size() + 4096) {
    // Ids are small (0 .. n - 1 is the usual case): number them by direct
    // lookup instead of sorting every endpoint.
    table_.assign(static_cast<std::size_t>(largest_id) + 1, 0);
    for (const Edge& e : edges) {
      table_[e.u] = 1;
      table_[e.v] = 1;
    }
    for (std::size_t x = 0; x < table_.size(); ++x) {
      if (table_[x] == 0) continue;
      check_capacity(ids_.size() + 1, limits.vertices, "graph vertices");
      table_[x] = static_cast<DenseVertex>(ids_.size());
      ids_.push_back(x);
    }
    return;
  }
  ids_.reserve(2 * edges.size());
  for (const Edge& e : edges) {
    ids_.push_back(e.u);
    ids_.push_back(e.v);
  }
  std::sort(ids_.begin(), ids_.end());
  ids_.erase(std::unique(ids_.begin(), ids_.end()), ids_.end());
  check_capacity(ids_.size(), limits.vertices, "graph vertices");
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
