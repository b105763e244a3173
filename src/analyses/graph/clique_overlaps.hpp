// Overlaps of three or more vertices among the maximal cliques of a graph,
// recorded straight into one disjoint-set forest per clique size: no list of
// overlapping pairs is ever held. The clique-complex levels of clique size
// 3 and up follow from these forests alone (size 2 follows from the
// triangles, see clique_complex_levels.cpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "analyses/graph/clique_table.hpp"
#include "analyses/shared/nested_forests.hpp"
#include "core/interrupt.hpp"

namespace korvane {

// Knobs of the overlap search. The defaults are what the module uses; tests
// turn them to force every path on small graphs. Every setting gives the
// same forests up to the choice of roots.
struct OverlapTuning {
  // Cliques of more vertices than this are "large": they never drive the
  // shared-subset walk (whose cost can grow with 2^size) and are matched
  // against each other by direct overlap counting instead.
  std::size_t small_clique_max = 16;
  // A group of cliques sharing a vertex subset with at most this many
  // members is compared pair by pair rather than split further.
  std::size_t pairwise_group_max = 12;
  // Level 1 with at most this many groups of edges on triangles (at most
  // 8: one bit each) is read by marking each vertex's groups; more groups
  // are sorted by a counting pass.
  std::size_t few_edge_groups = 8;
  // Graphs of at most this many vertices (and at most 512, of average
  // degree at most 64) search their maximal cliques on the graph's rows of
  // adjacency bits rather than neighbourhood by neighbourhood.
  std::size_t row_search_max = 512;
};

// For every clique size k = 3 .. top, a forest over the cliques that can
// share k vertices with another one: the ids below at_least(k + 1) (two
// distinct maximal cliques share fewer vertices than either holds). Cliques
// larger than top count as cliques of top vertices. Nested forests (shared/
// nested_forests.hpp) indexed by clique size.
class CliqueForests {
 public:
  CliqueForests(const CliqueTable& table, std::size_t top);

  std::size_t top() const noexcept { return top_; }

  // Records that cliques a and b share at least `shared` vertices: they are
  // joined at every size k with 3 <= k <= min(shared, top). Throws
  // InternalFailure if a clique is too small to share that many.
  void join(CliqueIndex a, CliqueIndex b, std::size_t shared) {
    if (shared >= 3 && top_ >= 3) join_from(a, b, std::min(shared, top_));
  }

  // The root standing for clique `id`'s component at size k.
  // Preconditions: 3 <= k <= top, k not released, id < at_least(k + 1).
  CliqueIndex root(std::size_t k, CliqueIndex id) { return levels_.find(k, id); }
  // Frees the forest of size k once its level is read.
  void release(std::size_t k) { levels_.release(k); }

 private:
  void join_from(CliqueIndex a, CliqueIndex b, std::size_t highest);

  const CliqueTable& table_;
  std::size_t top_;
  NestedForests<CliqueIndex> levels_;  // by k; 0 .. 2 unused
};

// Records in `forests` every overlap of three or more vertices between two
// cliques of `table`, as chains of joins that connect each overlapping pair
// at its full overlap (capped at the forests' top).
void join_overlapping_cliques(const CliqueTable& table, CliqueForests& forests, const OverlapTuning& tuning,
                              InterruptTicker& ticker);

}  // namespace korvane
