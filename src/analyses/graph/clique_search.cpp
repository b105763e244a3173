// Degeneracy order and the entry points of the clique search; the searches
// themselves are in clique_search_detail.hpp.
#include "analyses/graph/clique_search.hpp"

#include <algorithm>
#include <span>
#include <utility>

#include "analyses/graph/clique_search_detail.hpp"

namespace korvane {

namespace {

using namespace clique_search_detail;

// ---------------------------------------------------------------------------
// Degeneracy order and the renumbered graph
// ---------------------------------------------------------------------------

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

// Maps a ranked clique back to original vertices, ascending, for the
// DenseGraph interface.
RankedCliqueSink unranked(const std::vector<DenseVertex>& order, std::vector<DenseVertex>& scratch,
                          const CliqueSink& sink) {
  return [&order, &scratch, &sink](const DenseVertex* first, const DenseVertex* last) {
    scratch.clear();
    for (; first != last; ++first) scratch.push_back(order[*first]);
    std::sort(scratch.begin(), scratch.end());
    sink(scratch);
  };
}

}  // namespace

namespace {

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

DegeneracyGraph by_degeneracy(const CompactGraph& graph, InterruptTicker& ticker) { return renumbered(graph, ticker); }

void for_each_maximal_clique(const DegeneracyGraph& ranked, InterruptTicker& ticker, const RankedCliqueSink& sink,
                             const TriangleSink* triangles, std::size_t min_size, std::size_t row_search_max) {
  maximal_cliques_ranked(ranked, ticker, sink, triangles, min_size, row_search_max);
}

void for_each_clique_of_size(const DegeneracyGraph& ranked, std::uint64_t size, InterruptTicker& ticker,
                             const RankedCliqueSink& sink) {
  const CompactGraph& graph = ranked.graph;
  if (size == 0) {
    sink(nullptr, nullptr);
    return;
  }
  if (size > graph.size()) return;
  if (size == 1) {
    for (std::size_t r = 0; r < graph.size(); ++r) {
      ticker.tick();
      const auto v = static_cast<DenseVertex>(r);
      sink(&v, &v + 1);
    }
    return;
  }
  using Hood = Neighbourhood<NoTriangles>;
  Hood hood(ranked);
  SizedSearch<Hood, const RankedCliqueSink> search(ticker, sink);
  const auto need = static_cast<std::size_t>(size - 1);
  for (std::size_t r = 0; r < graph.size(); ++r) {
    const auto v = static_cast<DenseVertex>(r);
    ticker.tick();
    const DenseVertex* split = ranked.later_of(r);
    if (static_cast<std::size_t>(graph.end_of(v) - split) < need) continue;
    hood.load(v, false, ticker);
    search.run(hood, need);
  }
}

void for_each_maximal_clique(const DenseGraph& graph, InterruptTicker& ticker, const CliqueSink& sink) {
  // Without vertices or edges there is nothing to order (persistence asks
  // about many such neighbourhoods).
  if (std::all_of(graph.adjacency.begin(), graph.adjacency.end(), [](const auto& a) { return a.empty(); })) {
    std::vector<DenseVertex> alone;
    if (graph.size() == 0) sink(alone);
    for (std::size_t v = 0; v < graph.size(); ++v) {
      ticker.tick();
      alone.assign(1, static_cast<DenseVertex>(v));
      sink(alone);
    }
    return;
  }
  const DegeneracyGraph ranked = renumbered(graph, ticker);
  std::vector<DenseVertex> scratch;
  for_each_maximal_clique(ranked, ticker, unranked(ranked.order, scratch, sink));
}

void for_each_clique_of_size(const DenseGraph& graph, std::uint64_t size, InterruptTicker& ticker,
                             const CliqueSink& sink) {
  const DegeneracyGraph ranked = renumbered(graph, ticker);
  std::vector<DenseVertex> scratch;
  for_each_clique_of_size(ranked, size, ticker, unranked(ranked.order, scratch, sink));
}

std::vector<DenseVertex> degeneracy_order(const DenseGraph& graph) { return peel(graph); }

}  // namespace korvane
