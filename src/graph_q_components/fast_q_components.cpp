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
#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>

#include "common/sorted_ranges.hpp"
#include "graph_q_components/fast_cliques.hpp"
#include "graph_q_components/q_components.hpp"

namespace korvane::fast {

namespace {

using clique_search::DenseGraph;
using clique_search::LocalVertex;

constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();

class UnionFind {
 public:
  explicit UnionFind(std::size_t n) : parent_(n), size_(n, 1) { std::iota(parent_.begin(), parent_.end(), 0U); }

  std::uint32_t find(std::uint32_t x) {
    std::uint32_t root = x;
    while (parent_[root] != root) root = parent_[root];
    while (parent_[x] != root) {
      const std::uint32_t up = parent_[x];
      parent_[x] = root;
      x = up;
    }
    return root;
  }

  void unite(std::uint32_t a, std::uint32_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (size_[a] < size_[b]) std::swap(a, b);
    parent_[b] = a;
    size_[a] += size_[b];
  }

 private:
  std::vector<std::uint32_t> parent_;
  std::vector<std::uint32_t> size_;
};

// Maximal cliques stored back to back: clique i is
// members[starts[i] .. starts[i + 1]), ascending.
struct CliqueList {
  std::vector<LocalVertex> members;
  std::vector<std::size_t> starts{0};

  std::size_t count() const { return starts.size() - 1; }
  std::size_t size_of(std::size_t i) const { return starts[i + 1] - starts[i]; }
  const LocalVertex* begin_of(std::size_t i) const { return members.data() + starts[i]; }
  const LocalVertex* end_of(std::size_t i) const { return members.data() + starts[i + 1]; }
};

VertexSet to_vertex_set(const std::vector<LocalVertex>& local, const std::vector<VertexId>& ids) {
  VertexSet out;
  out.reserve(local.size());
  for (LocalVertex v : local) out.push_back(ids[v]);
  return out;
}

// Level 0 below a bound of at least 2: the connected components.
std::vector<VertexSet> connected_components(const DenseGraph& graph, const std::vector<VertexId>& ids,
                                            InterruptTicker& ticker) {
  const std::size_t n = graph.size();
  UnionFind forest(n);
  for (std::size_t v = 0; v < n; ++v) {
    ticker.tick(graph.adjacency[v].size() + 1);
    for (LocalVertex u : graph.adjacency[v]) forest.unite(static_cast<std::uint32_t>(v), u);
  }
  std::vector<std::uint32_t> slot(n, UINT32_MAX);
  std::vector<VertexSet> components;
  for (std::size_t v = 0; v < n; ++v) {
    const std::uint32_t root = forest.find(static_cast<std::uint32_t>(v));
    if (slot[root] == UINT32_MAX) {
      slot[root] = static_cast<std::uint32_t>(components.size());
      components.emplace_back();
    }
    // Dense numbers follow the ids, so appending in vertex order keeps each
    // component ascending.
    components[slot[root]].push_back(ids[v]);
  }
  return components;
}

// True when the ascending cliques share a vertex below `bound`.
bool share_below(const LocalVertex* a, const LocalVertex* a_end, const LocalVertex* b, const LocalVertex* b_end,
                 LocalVertex bound) {
  while (a != a_end && b != b_end && *a < bound && *b < bound) {
    if (*a < *b) {
      ++a;
    } else if (*b < *a) {
      ++b;
    } else {
      return true;
    }
  }
  return false;
}

// A vertex held by more of one vertex's cliques than this is a hub for them.
constexpr std::size_t kHubBucket = 64;

using CliquePairs = std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>>;

// Pairs of maximal cliques to join, filed by level: a pair under s joins at
// every clique size k with 2 <= k <= s, and every two cliques sharing s >= 2
// vertices end up joined at size min(s, top), directly or through a chain.
// Two distinct maximal cliques share fewer vertices than either holds, so
// only cliques of three or more vertices take part.
//
// Pairs are found from the cliques through each vertex a, by the vertices
// above a that they share. A vertex shared by many of them (two hubs with a
// crowd of common neighbours) would make that quadratic, so such hub vertices
// are left out of the meeting scan: pairs met through another vertex add
// their shared hubs by a merge, and cliques that share hubs only are grouped
// by the set of hubs they hold.
class OverlapFinder {
 public:
  OverlapFinder(const CliqueList& cliques, std::size_t n, std::size_t top, InterruptTicker& ticker)
      : cliques_(cliques), top_(top), ticker_(ticker), pairs_(top + 1), tally_(n, 0), hub_(n, 0), bucket_(n) {}

  CliquePairs run() {
    const std::size_t n = bucket_.size();
    std::vector<std::vector<Through>> containing(n);
    for (std::size_t i = 0; i < cliques_.count(); ++i) {
      if (cliques_.size_of(i) < 3) continue;
      for (std::size_t at = cliques_.starts[i]; at < cliques_.starts[i + 1]; ++at) {
        containing[cliques_.members[at]].push_back(Through{static_cast<std::uint32_t>(i), at + 1});
      }
    }
    for (LocalVertex a = 0; a < n; ++a) {
      if (containing[a].size() >= 2) through(a, containing[a]);
    }
    return std::move(pairs_);
  }

 private:
  // A clique through vertex a, and where its vertices above a start.
  struct Through {
    std::uint32_t clique;
    std::size_t rest;
  };

  void file(std::uint32_t i, std::uint32_t j, std::size_t shared) {
    pairs_[std::min(shared, top_)].emplace_back(i, j);
  }

  const LocalVertex* rest_of(const Through& t) const { return cliques_.members.data() + t.rest; }
  const LocalVertex* end_of(const Through& t) const { return cliques_.end_of(t.clique); }

  const LocalVertex* hubs_begin(std::size_t p) const { return hubs_.data() + hub_start_[p]; }
  const LocalVertex* hubs_end(std::size_t p) const { return hubs_.data() + hub_start_[p + 1]; }

  // Marks the vertices held by more than kHubBucket cliques of the group and
  // lists each clique's hubs above a. Returns whether there is any.
  bool find_hubs(const std::vector<Through>& group) {
    hubs_.clear();
    hub_start_.assign(group.size() + 1, 0);
    // Fewer cliques than the bar cannot make a hub.
    if (group.size() <= kHubBucket) return false;
    tallied_.clear();
    for (const Through& t : group) {
      ticker_.tick(cliques_.size_of(t.clique));
      for (const LocalVertex* b = rest_of(t); b != end_of(t); ++b) {
        if (tally_[*b]++ == 0) tallied_.push_back(*b);
      }
    }
    bool any = false;
    for (LocalVertex b : tallied_) {
      hub_[b] = tally_[b] > kHubBucket ? 1 : 0;
      any = any || hub_[b] != 0;
    }
    for (std::size_t p = 0; p < group.size(); ++p) {
      for (const LocalVertex* b = rest_of(group[p]); b != end_of(group[p]); ++b) {
        if (hub_[*b] != 0) hubs_.push_back(*b);
      }
      hub_start_[p + 1] = hubs_.size();
    }
    return any;
  }

  // All pairs of cliques through a whose smallest shared vertex is a.
  void through(LocalVertex a, const std::vector<Through>& group) {
    const bool any_hub = find_hubs(group);
    filled_.clear();
    meetings_.assign(group.size(), Meeting{});
    for (std::size_t p = 0; p < group.size(); ++p) {
      const std::uint32_t i = group[p].clique;
      const LocalVertex* first = cliques_.begin_of(i);
      const LocalVertex* rest = rest_of(group[p]);
      met_.clear();
      for (const LocalVertex* b = rest; b != end_of(group[p]); ++b) {
        if (hub_[*b] != 0) continue;
        std::vector<std::uint32_t>& here = bucket_[*b];
        ticker_.tick(here.size() + 1);
        for (std::uint32_t q : here) {
          Meeting& meeting = meetings_[q];
          if (meeting.visit != p + 1) {
            meeting.visit = p + 1;
            meeting.shared = 1;
            met_.push_back(q);
          } else {
            ++meeting.shared;
          }
        }
        if (here.empty()) filled_.push_back(*b);
        here.push_back(static_cast<std::uint32_t>(p));
      }
      for (std::uint32_t q : met_) {
        const std::uint32_t j = group[q].clique;
        if (share_below(first, rest, cliques_.begin_of(j), cliques_.end_of(j), a)) continue;
        const std::size_t hubs =
            any_hub ? count_common_sorted(hubs_begin(p), hubs_end(p), hubs_begin(q), hubs_end(q)) : 0;
        file(i, j, 1 + meetings_[q].shared + hubs);
      }
    }
    if (any_hub) by_hub_sets(group);
    for (LocalVertex b : filled_) bucket_[b].clear();
    for (LocalVertex b : tallied_) {
      tally_[b] = 0;
      hub_[b] = 0;
    }
    tallied_.clear();
  }

  // Cliques holding the same hubs share them: chain them at that size. Two
  // different hub sets join their cliques at the size of their overlap. Both
  // only ever join cliques that share at least that many vertices.
  void by_hub_sets(const std::vector<Through>& group) {
    order_.clear();
    for (std::size_t p = 0; p < group.size(); ++p) {
      if (hub_start_[p + 1] > hub_start_[p]) order_.push_back(static_cast<std::uint32_t>(p));
    }
    auto less = [&](std::uint32_t x, std::uint32_t y) {
      return std::lexicographical_compare(hubs_begin(x), hubs_end(x), hubs_begin(y), hubs_end(y));
    };
    std::sort(order_.begin(), order_.end(), less);
    distinct_.clear();
    for (std::size_t x = 0; x < order_.size(); ++x) {
      const std::uint32_t p = order_[x];
      ticker_.tick();
      if (x > 0 && !less(order_[x - 1], p)) {
        file(group[order_[x - 1]].clique, group[p].clique, 1 + (hub_start_[p + 1] - hub_start_[p]));
      } else {
        distinct_.push_back(p);
      }
    }
    for (std::size_t x = 0; x < distinct_.size(); ++x) {
      const std::uint32_t p = distinct_[x];
      for (std::size_t y = x + 1; y < distinct_.size(); ++y) {
        const std::uint32_t q = distinct_[y];
        ticker_.tick(hub_start_[p + 1] - hub_start_[p]);
        const std::size_t hubs = count_common_sorted(hubs_begin(p), hubs_end(p), hubs_begin(q), hubs_end(q));
        if (hubs > 0) file(group[p].clique, group[q].clique, 1 + hubs);
      }
    }
  }

  struct Meeting {
    std::size_t visit = 0;     // 1 + position of the clique being scanned
    std::uint32_t shared = 0;  // non-hub vertices above a held by both
  };

  const CliqueList& cliques_;
  const std::size_t top_;
  InterruptTicker& ticker_;
  CliquePairs pairs_;
  std::vector<std::uint32_t> tally_;  // vertex -> cliques through a holding it
  std::vector<char> hub_;
  std::vector<std::vector<std::uint32_t>> bucket_;  // vertex -> positions in the group met so far
  std::vector<LocalVertex> filled_;   // vertices whose bucket is in use
  std::vector<LocalVertex> tallied_;  // vertices whose tally is in use
  std::vector<LocalVertex> hubs_;  // hub vertices of each group position, back to back
  std::vector<std::size_t> hub_start_;
  std::vector<Meeting> meetings_;
  std::vector<std::uint32_t> met_;
  std::vector<std::uint32_t> order_;
  std::vector<std::uint32_t> distinct_;
};

// Levels of clique size k = top .. 2 by the overlap rule, built top down in
// one forest over the maximal cliques: going down a level only adds cliques
// and joins, never splits.
void overlap_levels(const CliqueList& cliques, std::size_t n, std::size_t top, const std::vector<VertexId>& ids,
                    std::vector<std::vector<VertexSet>>& levels, InterruptTicker& ticker) {
  if (top < 2) return;
  CliquePairs pairs_by_shared = OverlapFinder(cliques, n, top, ticker).run();
  std::vector<std::vector<std::uint32_t>> entering(top + 1);
  for (std::size_t i = 0; i < cliques.count(); ++i) {
    const std::size_t s = cliques.size_of(i);
    if (s >= 2) entering[std::min(s, top)].push_back(static_cast<std::uint32_t>(i));
  }
  UnionFind forest(cliques.count());
  std::vector<std::uint32_t> active;
  std::vector<std::uint32_t> slot(cliques.count(), UINT32_MAX);
  // Cliques of one component are visited together so that seen[v] == tag
  // marks v as taken for that component alone; tags never repeat.
  std::vector<std::uint32_t> group_of;
  std::vector<std::size_t> group_start;
  std::vector<std::uint32_t> by_group;
  std::vector<LocalVertex> vertices;
  std::vector<std::size_t> seen(n, SIZE_MAX);
  std::size_t tag = 0;
  for (std::size_t k = top; k >= 2; --k) {
    active.insert(active.end(), entering[k].begin(), entering[k].end());
    for (auto [a, b] : pairs_by_shared[k]) {
      ticker.tick();
      forest.unite(a, b);
    }
    std::size_t groups = 0;
    group_of.resize(active.size());
    for (std::size_t x = 0; x < active.size(); ++x) {
      const std::uint32_t root = forest.find(active[x]);
      if (slot[root] == UINT32_MAX) slot[root] = static_cast<std::uint32_t>(groups++);
      group_of[x] = slot[root];
    }
    group_start.assign(groups + 1, 0);
    for (std::uint32_t g : group_of) ++group_start[g + 1];
    for (std::size_t g = 0; g < groups; ++g) group_start[g + 1] += group_start[g];
    by_group.resize(active.size());
    for (std::size_t x = 0; x < active.size(); ++x) by_group[group_start[group_of[x]]++] = active[x];
    // group_start[g] now ends group g; group g - 1's end is its start.
    std::vector<VertexSet>& level = levels[k - 1];
    level.reserve(groups);
    std::size_t begin = 0;
    for (std::size_t g = 0; g < groups; ++g, ++tag) {
      vertices.clear();
      for (std::size_t x = begin; x < group_start[g]; ++x) {
        const std::uint32_t i = by_group[x];
        ticker.tick(cliques.size_of(i));
        for (const LocalVertex* v = cliques.begin_of(i); v != cliques.end_of(i); ++v) {
          if (seen[*v] == tag) continue;
          seen[*v] = tag;
          vertices.push_back(*v);
        }
      }
      begin = group_start[g];
      std::sort(vertices.begin(), vertices.end());
      level.push_back(to_vertex_set(vertices, ids));
    }
    for (std::uint32_t i : active) slot[forest.find(i)] = UINT32_MAX;
  }
}

}  // namespace

std::vector<std::vector<VertexSet>> graph_q_components(const std::vector<Edge>& edges, MaxQ max_q) {
  InterruptTicker ticker;
  // Dense numbers in ascending id order, so sorted dense sets map to sorted
  // id sets without another sort.
  std::vector<VertexId> ids;
  std::vector<LocalVertex> table;  // id -> dense number, when ids are small
  VertexId largest_id = 0;
  for (const Edge& e : edges) largest_id = std::max({largest_id, e.u, e.v});
  if (!edges.empty() && largest_id < 8 * edges.size() + 4096) {
    // Ids are small (0 .. n - 1 is the usual case): number them by direct
    // lookup instead of sorting every endpoint.
    table.assign(static_cast<std::size_t>(largest_id) + 1, 0);
    for (const Edge& e : edges) {
      table[e.u] = 1;
      table[e.v] = 1;
    }
    for (std::size_t x = 0; x < table.size(); ++x) {
      if (table[x] == 0) continue;
      table[x] = static_cast<LocalVertex>(ids.size());
      ids.push_back(x);
    }
  } else {
    ids.reserve(2 * edges.size());
    for (const Edge& e : edges) {
      ids.push_back(e.u);
      ids.push_back(e.v);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  }
  const std::size_t n = ids.size();
  if (n == 0) return {};
  auto dense = [&](VertexId x) {
    if (!table.empty()) return table[x];
    return static_cast<LocalVertex>(std::lower_bound(ids.begin(), ids.end(), x) - ids.begin());
  };

  const std::uint64_t bound = max_q ? std::max<std::uint64_t>(*max_q, 1) : kUnbounded;
  if (bound == 1) {
    std::vector<VertexSet> alone;
    alone.reserve(n);
    for (VertexId v : ids) alone.push_back(VertexSet{v});
    std::vector<std::vector<VertexSet>> levels;
    levels.push_back(std::move(alone));
    return levels;
  }

  DenseGraph graph;
  graph.adjacency.resize(n);
  for (const Edge& e : edges) {
    ticker.tick();
    if (e.u == e.v) continue;  // a self-loop only brings its vertex in
    const LocalVertex a = dense(e.u);
    const LocalVertex b = dense(e.v);
    graph.adjacency[a].push_back(b);
    graph.adjacency[b].push_back(a);
  }
  for (auto& around : graph.adjacency) {
    ticker.tick(around.size() + 1);
    std::sort(around.begin(), around.end());
    around.erase(std::unique(around.begin(), around.end()), around.end());
  }

  CliqueList cliques;
  std::size_t largest = 0;
  clique_search::for_each_maximal_clique(graph, ticker, [&](const std::vector<LocalVertex>& clique) {
    cliques.members.insert(cliques.members.end(), clique.begin(), clique.end());
    cliques.starts.push_back(cliques.members.size());
    largest = std::max(largest, clique.size());
  });

  const std::uint64_t level_count = std::min<std::uint64_t>(bound, largest);
  // Levels of clique size 1 .. top follow the overlap rule.
  const std::size_t top = static_cast<std::size_t>(std::min<std::uint64_t>(level_count, bound - 1));
  std::vector<std::vector<VertexSet>> levels(static_cast<std::size_t>(level_count));
  levels[0] = connected_components(graph, ids, ticker);
  overlap_levels(cliques, n, top, ids, levels, ticker);
  if (level_count == bound) {
    std::vector<VertexSet>& apart = levels[static_cast<std::size_t>(bound - 1)];
    clique_search::for_each_clique_of_size(graph, bound, ticker, [&](const std::vector<LocalVertex>& clique) {
      apart.push_back(to_vertex_set(clique, ids));
    });
  }
  return levels;
}

}  // namespace korvane::fast
