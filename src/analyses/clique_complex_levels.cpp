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
DenseLevel connected_components(const DenseGraph& graph, InterruptTicker& ticker) {
  const std::size_t n = graph.size();
  UnionFind<DenseVertex> forest(n);
  for (std::size_t v = 0; v < n; ++v) {
    ticker.tick(graph.adjacency[v].size() + 1);
    for (DenseVertex u : graph.adjacency[v]) forest.unite(static_cast<DenseVertex>(v), u);
  }
  // Counting sort by component, in order of first vertex: appending in
  // vertex order keeps each component ascending.
  constexpr DenseVertex kNone = std::numeric_limits<DenseVertex>::max();
  std::vector<DenseVertex> slot(n, kNone);
  std::vector<DenseVertex> component_of(n);
  DenseLevel level;
  for (std::size_t v = 0; v < n; ++v) {
    const DenseVertex root = forest.find(static_cast<DenseVertex>(v));
    if (slot[root] == kNone) {
      slot[root] = static_cast<DenseVertex>(level.starts.size() - 1);
      level.starts.push_back(0);
    }
    component_of[v] = slot[root];
    ++level.starts[std::size_t{slot[root]} + 1];
  }
  for (std::size_t c = 1; c < level.starts.size(); ++c) level.starts[c] += level.starts[c - 1];
  level.items.resize(n);
  std::vector<std::size_t> cursor(level.starts.begin(), level.starts.end() - 1);
  for (std::size_t v = 0; v < n; ++v) level.items[cursor[component_of[v]]++] = static_cast<DenseVertex>(v);
  return level;
}

// Levels of clique size k = top .. 2 by the overlap rule, built top down in
// one forest over the maximal cliques: going down a level only adds cliques
// and joins, never splits.
class OverlapLevels {
 public:
  OverlapLevels(const CliqueList& cliques, std::size_t vertex_count, std::size_t top, InterruptTicker& ticker)
      : cliques_(cliques),
        ticker_(ticker),
        pairs_(overlapping_pairs(cliques, vertex_count, top, ticker)),
        entering_(top + 1),
        forest_(cliques.count()),
        slot_(cliques.count(), kNoSlot),
        seen_(vertex_count, kNever) {
    for (std::size_t i = 0; i < cliques.count(); ++i) {
      const std::size_t s = cliques.size_of(i);
      if (s >= 2) entering_[std::min(s, top)].push_back(static_cast<CliqueIndex>(i));
    }
  }

  // The components of clique size k; called for k = top, top - 1, .., 2.
  DenseLevel level(std::size_t k) {
    active_.insert(active_.end(), entering_[k].begin(), entering_[k].end());
    for (auto [a, b] : pairs_[k]) {
      ticker_.tick();
      forest_.unite(a, b);
    }
    const std::size_t groups = group_active();
    DenseLevel sets;
    sets.starts.reserve(groups + 1);
    std::size_t begin = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      sets.add(union_of(begin, group_end_[g]));
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

  // The vertices of the cliques by_group_[begin .. end), ascending. seen_[v]
  // holds the tag of the last union that took v; tags never repeat.
  const std::vector<DenseVertex>& union_of(std::size_t begin, std::size_t end) {
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
    return vertices_;
  }

  const CliqueList& cliques_;
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
DenseLevel vertices_apart(std::size_t n) {
  DenseLevel alone;
  alone.items.resize(n);
  alone.starts.resize(n + 1);
  for (std::size_t v = 0; v < n; ++v) {
    alone.items[v] = static_cast<DenseVertex>(v);
    alone.starts[v + 1] = v + 1;
  }
  return alone;
}

}  // namespace

void clique_complex_levels(std::vector<Edge> edges, CliqueSizeBound bound, const LevelSink& sink,
                           const GraphLimits& limits) {
  InterruptTicker ticker;
  const VertexNumbering numbering(edges, limits);
  const std::size_t n = numbering.size();
  constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t cap = bound ? std::max<std::uint64_t>(*bound, 1) : kUnbounded;
  if (n == 0 || cap == 1) {
    sink.start(n == 0 ? 0 : 1, numbering.ids());
    if (n > 0) sink.level(0, vertices_apart(n));
    return;
  }

  const DenseGraph graph = build_dense_graph(edges, numbering, ticker);
  std::vector<Edge>().swap(edges);
  const CliqueList cliques = maximal_cliques(graph, limits, ticker);
  const std::uint64_t level_count = std::min<std::uint64_t>(cap, largest_size(cliques));
  sink.start(static_cast<std::size_t>(level_count), numbering.ids());
  sink.level(0, connected_components(graph, ticker));
  // Levels of clique size 2 .. top follow the overlap rule.
  const std::size_t top = static_cast<std::size_t>(std::min<std::uint64_t>(level_count, cap - 1));
  if (top >= 2) {
    OverlapLevels overlap(cliques, n, top, ticker);
    for (std::size_t k = top; k >= 2; --k) sink.level(k - 1, overlap.level(k));
  }
  if (level_count == cap) {
    // The top level keeps every clique of `cap` vertices apart.
    DenseLevel apart;
    for_each_clique_of_size(graph, cap, ticker, [&](const std::vector<DenseVertex>& clique) { apart.add(clique); });
    sink.level(static_cast<std::size_t>(cap - 1), apart);
  }
}

std::vector<std::vector<VertexSet>> clique_complex_levels(const std::vector<Edge>& edges, CliqueSizeBound bound,
                                                          const GraphLimits& limits) {
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
  clique_complex_levels(std::vector<Edge>(edges), bound, sink, limits);
  return levels;
}

}  // namespace korvane
