// Per-level q-components of a graph from its maximal cliques.
//
// With B the bound on clique size, every level q with q + 1 < B is described
// by the maximal cliques alone: two (q+1)-vertex cliques are joined exactly
// when a chain of (q+2)-vertex cliques links them, which happens exactly when
// the maximal cliques around them are linked by overlaps of at least q + 1
// vertices. Only the top level q = B - 1 (reached when the graph has a clique
// of B vertices) keeps every B-vertex clique apart, since no larger clique is
// formed to join them. Without a bound B is the vertex count, and that top
// level exists only for a complete graph, where it agrees with the overlap
// rule, so an absent bound is treated as no bound at all.
#include "analyses/clique_complex_levels.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "analyses/clique_overlaps.hpp"
#include "analyses/clique_search.hpp"
#include "core/union_find.hpp"

namespace korvane {

namespace {

constexpr CliqueIndex kNoSlot = std::numeric_limits<CliqueIndex>::max();

// Level 0 below a bound of at least 2: the connected components.
std::vector<VertexSet> connected_components(const DenseGraph& graph, const VertexNumbering& numbering,
                                            InterruptTicker& ticker) {
  const std::size_t n = graph.size();
  UnionFind<DenseVertex> forest(n);
  for (std::size_t v = 0; v < n; ++v) {
    ticker.tick(graph.adjacency[v].size() + 1);
    for (DenseVertex u : graph.adjacency[v]) forest.unite(static_cast<DenseVertex>(v), u);
  }
  std::vector<DenseVertex> slot(n, std::numeric_limits<DenseVertex>::max());
  std::vector<std::vector<VertexId>> components;
  for (std::size_t v = 0; v < n; ++v) {
    const DenseVertex root = forest.find(static_cast<DenseVertex>(v));
    if (slot[root] == std::numeric_limits<DenseVertex>::max()) {
      slot[root] = static_cast<DenseVertex>(components.size());
      components.emplace_back();
    }
    // Dense numbers follow the ids, so appending in vertex order keeps each
    // component ascending.
    components[slot[root]].push_back(numbering.ids()[v]);
  }
  std::vector<VertexSet> sets;
  sets.reserve(components.size());
  for (auto& c : components) sets.push_back(VertexSet::from_ascending(std::move(c)));
  return sets;
}

// Levels of clique size k = top .. 2 by the overlap rule, built top down in
// one forest over the maximal cliques: going down a level only adds cliques
// and joins, never splits.
class OverlapLevels {
 public:
  OverlapLevels(const CliqueList& cliques, const VertexNumbering& numbering, std::size_t top,
                InterruptTicker& ticker)
      : cliques_(cliques),
        numbering_(numbering),
        ticker_(ticker),
        pairs_(overlapping_pairs(cliques, numbering.size(), top, ticker)),
        entering_(top + 1),
        forest_(cliques.count()),
        slot_(cliques.count(), kNoSlot),
        seen_(numbering.size(), kNever) {
    for (std::size_t i = 0; i < cliques.count(); ++i) {
      const std::size_t s = cliques.size_of(i);
      if (s >= 2) entering_[std::min(s, top)].push_back(static_cast<CliqueIndex>(i));
    }
  }

  // The components of clique size k; called for k = top, top - 1, .., 2.
  std::vector<VertexSet> level(std::size_t k) {
    active_.insert(active_.end(), entering_[k].begin(), entering_[k].end());
    for (auto [a, b] : pairs_[k]) {
      ticker_.tick();
      forest_.unite(a, b);
    }
    const std::size_t groups = group_active();
    std::vector<VertexSet> sets;
    sets.reserve(groups);
    std::size_t begin = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      sets.push_back(union_of(begin, group_end_[g]));
      begin = group_end_[g];
    }
    for (CliqueIndex i : active_) slot_[forest_.find(i)] = kNoSlot;
    return sets;
  }

 private:
  static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

  // Sorts the active cliques by component into by_group_; group g ends at
  // group_end_[g]. Returns the number of groups.
  std::size_t group_active() {
    std::size_t groups = 0;
    group_of_.resize(active_.size());
    for (std::size_t x = 0; x < active_.size(); ++x) {
      const CliqueIndex root = forest_.find(active_[x]);
      if (slot_[root] == kNoSlot) slot_[root] = static_cast<CliqueIndex>(groups++);
      group_of_[x] = slot_[root];
    }
    group_end_.assign(groups + 1, 0);
    for (CliqueIndex g : group_of_) ++group_end_[g + 1];
    for (std::size_t g = 0; g < groups; ++g) group_end_[g + 1] += group_end_[g];
    by_group_.resize(active_.size());
    // Filling moves each start to the end of its group.
    for (std::size_t x = 0; x < active_.size(); ++x) by_group_[group_end_[group_of_[x]]++] = active_[x];
    return groups;
  }

  // The vertices of the cliques by_group_[begin .. end), as ids. seen_[v]
  // holds the tag of the last union that took v; tags never repeat.
  VertexSet union_of(std::size_t begin, std::size_t end) {
    ++tag_;
    vertices_.clear();
    for (std::size_t x = begin; x < end; ++x) {
      const CliqueIndex i = by_group_[x];
      ticker_.tick(cliques_.size_of(i));
      for (const DenseVertex* v = cliques_.begin_of(i); v != cliques_.end_of(i); ++v) {
        if (seen_[*v] == tag_) continue;
        seen_[*v] = tag_;
        vertices_.push_back(*v);
      }
    }
    std::sort(vertices_.begin(), vertices_.end());
    return numbering_.ids_of(vertices_);
  }

  const CliqueList& cliques_;
  const VertexNumbering& numbering_;
  InterruptTicker& ticker_;
  CliquePairs pairs_;
  std::vector<std::vector<CliqueIndex>> entering_;  // by the largest size k at which a clique takes part
  UnionFind<CliqueIndex> forest_;
  std::vector<CliqueIndex> active_;
  std::vector<CliqueIndex> slot_;  // root -> group, kNoSlot between levels
  std::vector<CliqueIndex> group_of_;
  std::vector<std::size_t> group_end_;
  std::vector<CliqueIndex> by_group_;
  std::vector<DenseVertex> vertices_;
  std::vector<std::size_t> seen_;
  std::size_t tag_ = 0;
};

CliqueList maximal_cliques(const DenseGraph& graph, const GraphLimits& limits, InterruptTicker& ticker) {
  CliqueList cliques;
  for_each_maximal_clique(graph, ticker, [&](const std::vector<DenseVertex>& clique) {
    check_capacity(cliques.count() + 1, limits.cliques, "maximal cliques");
    cliques.add(clique);
  });
  return cliques;
}

std::size_t largest_size(const CliqueList& cliques) {
  std::size_t largest = 0;
  for (std::size_t i = 0; i < cliques.count(); ++i) largest = std::max(largest, cliques.size_of(i));
  return largest;
}

// With a bound of 1 no edge is formed: every vertex is alone at level 0.
std::vector<std::vector<VertexSet>> vertices_apart(const VertexNumbering& numbering) {
  std::vector<VertexSet> alone;
  alone.reserve(numbering.size());
  for (VertexId v : numbering.ids()) alone.push_back(VertexSet{v});
  std::vector<std::vector<VertexSet>> levels;
  levels.push_back(std::move(alone));
  return levels;
}

}  // namespace

std::vector<std::vector<VertexSet>> clique_complex_levels(const std::vector<Edge>& edges, CliqueSizeBound bound,
                                                          const GraphLimits& limits) {
  InterruptTicker ticker;
  const VertexNumbering numbering(edges, limits);
  if (numbering.size() == 0) return {};
  constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t cap = bound ? std::max<std::uint64_t>(*bound, 1) : kUnbounded;
  if (cap == 1) return vertices_apart(numbering);

  const DenseGraph graph = build_dense_graph(edges, numbering, ticker);
  const CliqueList cliques = maximal_cliques(graph, limits, ticker);
  const std::uint64_t level_count = std::min<std::uint64_t>(cap, largest_size(cliques));
  // Levels of clique size 1 .. top follow the overlap rule.
  const std::size_t top = static_cast<std::size_t>(std::min<std::uint64_t>(level_count, cap - 1));
  std::vector<std::vector<VertexSet>> levels(static_cast<std::size_t>(level_count));
  levels[0] = connected_components(graph, numbering, ticker);
  if (top >= 2) {
    OverlapLevels overlap(cliques, numbering, top, ticker);
    for (std::size_t k = top; k >= 2; --k) levels[k - 1] = overlap.level(k);
  }
  if (level_count == cap) {
    // The top level keeps every clique of `cap` vertices apart.
    std::vector<VertexSet>& apart = levels[static_cast<std::size_t>(cap - 1)];
    for_each_clique_of_size(graph, cap, ticker, [&](const std::vector<DenseVertex>& clique) {
      apart.push_back(numbering.ids_of(clique));
    });
  }
  return levels;
}

}  // namespace korvane
