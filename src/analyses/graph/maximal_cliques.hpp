// The maximal clique search of a graph renumbered by degeneracy order, as a
// template over what receives the cliques and triangles: which search each
// root gets (see neighbourhood.hpp for roots, candidates and excluded
// vertices). Public entry points: clique_search.hpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>

#include "analyses/graph/bitset_searches.hpp"
#include "analyses/graph/dense_graph.hpp"
#include "analyses/graph/neighbourhood.hpp"
#include "analyses/graph/row_search.hpp"
#include "analyses/graph/word_search.hpp"
#include "core/interrupt.hpp"
#include "core/sorted_ranges.hpp"

namespace korvane::clique_search_detail {

// Root v with a single later neighbour c: {v, c} is maximal exactly when no
// earlier neighbour of v is a neighbour of c.
inline bool lone_edge_is_maximal(const CompactGraph& graph, DenseVertex v, const DenseVertex* split) {
  const DenseVertex c = *split;
  const DenseVertex* c_first = graph.begin_of(c);
  return !sorted_ranges_meet(graph.begin_of(v), split, c_first, std::lower_bound(c_first, graph.end_of(c), v));
}

// for_each_maximal_clique on a DegeneracyGraph (see clique_search.hpp), with
// `sink(first, last)` and `*triangles(ab, ac, bc)` of any callable types.
// Graphs of at most `row_search_max` vertices (and at most 64 *
// kRowSearchMostWords) and of average degree at most 64 are searched by
// RowSearch.
template <class Sink, class OnTriangle = NoTriangles>
void maximal_cliques_ranked(const DegeneracyGraph& ranked, InterruptTicker& ticker, Sink& sink,
                            OnTriangle* triangles = nullptr, std::size_t min_size = 0,
                            std::size_t row_search_max = 0) {
  const CompactGraph& graph = ranked.graph;
  if (graph.size() == 0) {
    sink(nullptr, nullptr);
    return;
  }
  // Rows pay while neighbourhoods stay small next to them: up to an
  // average degree of 64 (denser graphs load theirs faster, see
  // Neighbourhood).
  if (graph.size() <= row_search_max && graph.neighbours.size() <= 64 * graph.size() &&
      search_by_rows<1>(ranked, ticker, sink, triangles, min_size)) {
    return;
  }
  using Hood = Neighbourhood<OnTriangle>;
  std::optional<AdjacencyBits> bits;
  if (AdjacencyBits::worthwhile(graph)) bits.emplace(graph, ticker);
  Hood hood(ranked, bits ? &*bits : nullptr);
  MaximalSearch<Hood, Sink> search(ticker, sink, min_size);
  WordSearch<Hood, Sink> word_search(ticker, sink, min_size);
  for (std::size_t r = 0; r < graph.size(); ++r) {
    const auto v = static_cast<DenseVertex>(r);
    ticker.tick();
    const DenseVertex* split = ranked.later_of(r);
    const auto later = static_cast<std::size_t>(graph.end_of(v) - split);
    // No later neighbour but some earlier one: every clique through v was
    // found from an earlier vertex, and {v} alone is not maximal.
    if (graph.degree(v) == 0) {
      if (min_size <= 1) sink(&v, &v + 1);
    } else if (later == 1) {
      const DenseVertex pair[2] = {v, *split};
      if (min_size <= 2 && lone_edge_is_maximal(graph, v, split)) sink(pair, pair + 2);
    } else if (later > 1) {
      hood.load(v, true, ticker, triangles, min_size > 2);
      if (hood.has_local_edges() && !hood.small() && hood.fits_small()) hood.to_small();
      if (hood.has_local_edges() && hood.small()) {
        word_search.run(hood);
      } else if (hood.has_local_edges()) {
        hood.fill_excluded();
        search.run(hood);
      } else if (min_size <= 2) {
        for (std::size_t i = 0; i < hood.nc; ++i) {
          const DenseVertex pair[2] = {v, hood.candidates[i]};
          if (!hood.blocked(i)) sink(pair, pair + 2);
        }
      }
    }
  }
}

}  // namespace korvane::clique_search_detail
