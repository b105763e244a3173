// The entry points of the clique search; the searches themselves are in
// maximal_cliques.hpp and the headers it includes.
#include "analyses/graph/clique_search.hpp"

#include <algorithm>

#include "analyses/graph/bitset_searches.hpp"
#include "analyses/graph/maximal_cliques.hpp"
#include "analyses/graph/neighbourhood.hpp"

namespace korvane {

namespace {

using namespace clique_search_detail;

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
  const DegeneracyGraph ranked = by_degeneracy(graph, ticker);
  std::vector<DenseVertex> scratch;
  const RankedCliqueSink ranked_sink = unranked(ranked.order, scratch, sink);
  maximal_cliques_ranked(ranked, ticker, ranked_sink);
}

void for_each_clique_of_size(const DenseGraph& graph, std::uint64_t size, InterruptTicker& ticker,
                             const CliqueSink& sink) {
  const DegeneracyGraph ranked = by_degeneracy(graph, ticker);
  std::vector<DenseVertex> scratch;
  for_each_clique_of_size(ranked, size, ticker, unranked(ranked.order, scratch, sink));
}

}  // namespace korvane
