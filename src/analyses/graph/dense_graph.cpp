// Vertex numbering and dense graph building; see dense_graph.hpp.
#include "analyses/graph/dense_graph.hpp"

#include <algorithm>
#include <limits>

namespace korvane {

// table_[x] is 1 for every id x in use, 0 otherwise: becomes x's number.
void VertexNumbering::number_marked(const GraphLimits& limits) {
  std::size_t count = 0;
  for (DenseVertex mark : table_) count += mark;
  check_capacity(count, limits.vertices, "graph vertices");
  ids_.reserve(count);
  for (std::size_t x = 0; x < table_.size(); ++x) {
    if (table_[x] == 0) continue;
    table_[x] = static_cast<DenseVertex>(ids_.size());
    ids_.push_back(x);
  }
}

void VertexNumbering::number_sorted(std::vector<VertexId> endpoints, const GraphLimits& limits) {
  std::sort(endpoints.begin(), endpoints.end());
  endpoints.erase(std::unique(endpoints.begin(), endpoints.end()), endpoints.end());
  check_capacity(endpoints.size(), limits.vertices, "graph vertices");
  ids_ = std::move(endpoints);
  ids_.shrink_to_fit();
}

namespace {

// Calls f(e) for every edge, polling for interrupts once a block of edges
// rather than once an edge.
template <class Edges, class F>
void for_each_edge_ticked(Edges& edges, InterruptTicker& ticker, F&& f) {
  constexpr std::size_t kBlock = 1024;
  for (std::size_t begin = 0; begin < edges.size(); begin += kBlock) {
    const std::size_t end = std::min(edges.size(), begin + kBlock);
    ticker.tick(end - begin);
    for (std::size_t i = begin; i < end; ++i) f(edges[i]);
  }
}

// Rewrites every edge in dense numbers and counts each vertex's entries, one
// per endpoint of a non-loop edge: start[v + 1] ends up as v's count.
std::vector<std::size_t> dense_degrees(std::vector<Edge>& edges, const VertexNumbering& numbering,
                                       InterruptTicker& ticker) {
  std::vector<std::size_t> start(numbering.size() + 1, 0);
  for_each_edge_ticked(edges, ticker, [&](Edge& e) {
    e.u = numbering.dense(e.u);
    e.v = numbering.dense(e.v);
    if (e.u == e.v) return;  // a self-loop only brings its vertex in
    ++start[e.u + 1];
    ++start[e.v + 1];
  });
  return start;
}

// Drops repeats from every list, closing the gaps: last_seen[u] is the last
// list that took u.
void drop_repeats(CompactGraph& graph, InterruptTicker& ticker) {
  std::vector<DenseVertex> last_seen(graph.size(), kNone<DenseVertex>);
  std::size_t out = 0;
  std::size_t begin = 0;
  for (std::size_t v = 0; v < graph.size(); ++v) {
    const std::size_t end = graph.start[v + 1];
    ticker.tick(end - begin + 1);
    graph.start[v] = out;
    for (std::size_t i = begin; i < end; ++i) {
      const DenseVertex u = graph.neighbours[i];
      if (last_seen[u] == v) continue;
      last_seen[u] = static_cast<DenseVertex>(v);
      graph.neighbours[out++] = u;
    }
    begin = end;
  }
  graph.start[graph.size()] = out;
  graph.neighbours.resize(out);
  graph.neighbours.shrink_to_fit();
}

}  // namespace

CompactGraph build_compact_graph(std::vector<Edge> edges, const VertexNumbering& numbering, InterruptTicker& ticker) {
  const std::size_t n = numbering.size();
  CompactGraph graph;
  graph.start = dense_degrees(edges, numbering, ticker);
  for (std::size_t v = 0; v < n; ++v) graph.start[v + 1] += graph.start[v];
  graph.neighbours.resize(graph.start[n]);
  {
    std::vector<std::size_t> fill(graph.start.begin(), graph.start.end() - 1);
    for_each_edge_ticked(edges, ticker, [&](const Edge& e) {
      if (e.u == e.v) return;
      graph.neighbours[fill[e.u]++] = static_cast<DenseVertex>(e.v);
      graph.neighbours[fill[e.v]++] = static_cast<DenseVertex>(e.u);
    });
  }
  std::vector<Edge>().swap(edges);
  drop_repeats(graph, ticker);
  return graph;
}

}  // namespace korvane
