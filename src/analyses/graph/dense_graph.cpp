// Vertex numbering, dense graph building and the renumbering by degeneracy
// order; see dense_graph.hpp.
#include "analyses/graph/dense_graph.hpp"

#include <algorithm>
#include <span>
#include <utility>

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

std::span<const DenseVertex> around(const DenseGraph& graph, std::size_t v) { return graph.adjacency[v]; }
std::span<const DenseVertex> around(const CompactGraph& graph, std::size_t v) {
  return {graph.begin_of(v), graph.end_of(v)};
}

// Batagelj–Zaversnik bucket peeling, linear in vertices plus edges. The
// degrees, positions and bins share one allocation (a simple graph's
// degrees are below n), which matters for the many small graphs of
// persistence.
template <class Graph>
std::vector<DenseVertex> peel(const Graph& graph) {
  const std::size_t n = graph.size();
  std::vector<DenseVertex> scratch(3 * n + 1, 0);
  DenseVertex* degree = scratch.data();
  DenseVertex* pos = degree + n;
  DenseVertex* bin = pos + n;  // n + 1 entries
  std::size_t max_degree = 0;
  for (std::size_t v = 0; v < n; ++v) {
    degree[v] = static_cast<DenseVertex>(around(graph, v).size());
    max_degree = std::max<std::size_t>(max_degree, degree[v]);
  }
  for (std::size_t v = 0; v < n; ++v) ++bin[degree[v]];
  DenseVertex start = 0;
  for (std::size_t d = 0; d <= max_degree; ++d) start += std::exchange(bin[d], start);
  std::vector<DenseVertex> order(n);
  for (std::size_t v = 0; v < n; ++v) {
    pos[v] = bin[degree[v]]++;
    order[pos[v]] = static_cast<DenseVertex>(v);
  }
  for (std::size_t d = max_degree; d >= 1; --d) bin[d] = bin[d - 1];
  bin[0] = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const DenseVertex v = order[i];
    for (const DenseVertex u : around(graph, v)) {
      if (degree[u] <= degree[v]) continue;
      const DenseVertex du = degree[u];
      const DenseVertex pu = pos[u];
      const DenseVertex pw = bin[du];
      const DenseVertex w = order[pw];
      pos[u] = pw;
      order[pu] = w;
      pos[w] = pu;
      order[pw] = u;
      ++bin[du];
      --degree[u];
    }
  }
  return order;
}

template <class Graph>
DegeneracyGraph renumbered(const Graph& graph, InterruptTicker& ticker) {
  DegeneracyGraph ranked;
  ranked.order = peel(graph);
  const std::size_t n = graph.size();
  std::vector<DenseVertex> rank_of(n);
  for (std::size_t r = 0; r < n; ++r) rank_of[ranked.order[r]] = static_cast<DenseVertex>(r);
  CompactGraph& out = ranked.graph;
  out.start.assign(n + 1, 0);
  for (std::size_t r = 0; r < n; ++r) out.start[r + 1] = out.start[r] + around(graph, ranked.order[r]).size();
  out.neighbours.resize(out.start[n]);
  // Far ends taken in ascending rank fill every list in ascending order; when
  // far end w comes up, w's own list holds exactly its earlier neighbours.
  std::vector<std::size_t> fill(out.start.begin(), out.start.end() - 1);
  ranked.later.resize(n);
  for (std::size_t w = 0; w < n; ++w) {
    ranked.later[w] = fill[w];
    const std::span<const DenseVertex> original = around(graph, ranked.order[w]);
    ticker.tick(original.size() + 1);
    for (const DenseVertex x : original) out.neighbours[fill[rank_of[x]]++] = static_cast<DenseVertex>(w);
  }
  return ranked;
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

DegeneracyGraph by_degeneracy(const CompactGraph& graph, InterruptTicker& ticker) { return renumbered(graph, ticker); }
DegeneracyGraph by_degeneracy(const DenseGraph& graph, InterruptTicker& ticker) { return renumbered(graph, ticker); }

}  // namespace korvane
