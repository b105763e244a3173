// Persistent q-components, updated edge by edge instead of recomputed.
//
// Below the top level, a level-q component is a class of cliques of at least
// q + 1 vertices linked by overlaps of at least q + 1 vertices, and the
// classes are unchanged when non-maximal cliques are kept as members next to
// the maximal ones that contain them. Adding an edge (u, v) only adds cliques:
// the new maximal ones are {u, v} plus a maximal clique of the common
// neighbourhood. So each level is a union-find over every clique that was
// ever maximal; a step adds the new maximal cliques, joins them with the
// cliques they overlap enough, and only the components they touch can change
// key. An old clique swallowed by a new one leaves the overlap index, since
// the new one overlaps everything it did.
//
// With a bound B on clique size, level B - 1 holds every B-vertex clique on
// its own; such a key, once born, lives to the end. Without a bound no level
// keeps cliques apart (see fast_q_components.cpp).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

#include "graph_q_components/fast_cliques.hpp"
#include "lib/persistent_q_components.hpp"

namespace korvane::fast {

namespace {

using clique_search::DenseGraph;
using clique_search::LocalVertex;

constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t kNoNode = std::numeric_limits<std::uint32_t>::max();

bool finite_weight(double w) {
  return (std::bit_cast<std::uint64_t>(w) & 0x7FFFFFFFFFFFFFFFULL) <= 0x7FEFFFFFFFFFFFFFULL;
}

// How many components of one level carry a key, and since when the key has
// been present. `before` and `seen_at` snapshot the count at the first touch
// of a step, so that a key dropped and re-added within one step is neither a
// death nor a birth.
struct KeyState {
  std::uint32_t count = 0;
  std::uint32_t before = 0;
  std::uint64_t seen_at = 0;
  double birth = 0.0;
};

// One level below the top: a union-find over clique nodes of at least
// q + 1 vertices. Arrays are indexed by node; only such nodes are used.
struct OverlapLevel {
  explicit OverlapLevel(QLevel level) : q(level) {}

  QLevel q;
  std::vector<std::uint32_t> parent;
  std::vector<std::uint32_t> weight;
  std::vector<VertexSet> vertices;  // at roots
  std::vector<char> counted;        // at roots: the vertex set is counted in `keys`
  HashMap<VertexSet, KeyState> keys;
  std::vector<std::uint32_t> fresh;  // nodes added in this step
  std::vector<VertexSet> replaced;   // counted keys merged away in this step

  void make_set(std::uint32_t node, VertexSet set) {
    if (parent.size() <= node) {
      parent.resize(node + 1, kNoNode);
      weight.resize(node + 1, 0);
      vertices.resize(node + 1);
      counted.resize(node + 1, 0);
    }
    parent[node] = node;
    weight[node] = 1;
    vertices[node] = std::move(set);
    counted[node] = 0;
    fresh.push_back(node);
  }

  std::uint32_t find(std::uint32_t x) {
    std::uint32_t root = x;
    while (parent[root] != root) root = parent[root];
    while (parent[x] != root) {
      const std::uint32_t up = parent[x];
      parent[x] = root;
      x = up;
    }
    return root;
  }

  void unite(std::uint32_t a, std::uint32_t b, InterruptTicker& ticker) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (weight[a] < weight[b]) std::swap(a, b);
    ticker.tick(vertices[a].size() + vertices[b].size());
    VertexSet merged;
    merged.reserve(vertices[a].size() + vertices[b].size());
    std::set_union(vertices[a].begin(), vertices[a].end(), vertices[b].begin(), vertices[b].end(),
                   std::back_inserter(merged));
    for (std::uint32_t r : {a, b}) {
      if (counted[r] != 0) {
        replaced.push_back(std::move(vertices[r]));
        counted[r] = 0;
      }
      VertexSet().swap(vertices[r]);
    }
    parent[b] = a;
    weight[a] += weight[b];
    vertices[a] = std::move(merged);
  }
};

class Tracker {
 public:
  explicit Tracker(MaxQ max_q)
      : bound_(max_q ? std::max<std::uint64_t>(*max_q, 1) : kUnbounded),
        overlap_top_(max_q ? bound_ - 1 : kUnbounded) {}

  void admit(const WeightedEdge& edge, std::vector<PersistentComponent>& out) {
    ticker_.tick();
    ++step_;
    weight_ = edge.weight;
    bool fresh_u = false;
    bool fresh_v = false;
    const LocalVertex u = vertex(edge.u, fresh_u);
    const LocalVertex v = vertex(edge.v, fresh_v);
    if (bound_ == 1) {
      // Only single vertices are formed: each vertex is a component of its own.
      if (fresh_u) apart_.push_back(PersistentComponent{0, {edge.u}, weight_, weight_});
      if (fresh_v) apart_.push_back(PersistentComponent{0, {edge.v}, weight_, weight_});
      return;
    }
    if (u == v) {
      if (fresh_u) {
        add_node({u});
        settle(out);
      }
      return;
    }
    auto& around_u = adjacency_[u];
    auto& around_v = adjacency_[v];
    const auto at_u = std::lower_bound(around_u.begin(), around_u.end(), v);
    if (at_u != around_u.end() && *at_u == v) return;  // repeated edge: same graph
    around_u.insert(at_u, v);
    around_v.insert(std::lower_bound(around_v.begin(), around_v.end(), u), u);

    common_.clear();
    std::set_intersection(around_u.begin(), around_u.end(), around_v.begin(), around_v.end(),
                          std::back_inserter(common_));
    ticker_.tick(around_u.size() + around_v.size());
    const DenseGraph local = induced(common_);

    std::vector<std::vector<LocalVertex>> created;
    clique_search::for_each_maximal_clique(local, ticker_, [&](const std::vector<LocalVertex>& inner) {
      std::vector<LocalVertex> clique{u, v};
      for (LocalVertex i : inner) clique.push_back(common_[i]);
      std::sort(clique.begin(), clique.end());
      created.push_back(std::move(clique));
    });
    if (bound_ != kUnbounded) {
      // New B-vertex cliques are exactly those through the new edge.
      const QLevel q = static_cast<QLevel>(bound_ - 1);
      clique_search::for_each_clique_of_size(local, bound_ - 2, ticker_, [&](const std::vector<LocalVertex>& inner) {
        VertexSet set{edge.u, edge.v};
        for (LocalVertex i : inner) set.push_back(ids_[common_[i]]);
        std::sort(set.begin(), set.end());
        apart_.push_back(PersistentComponent{q, std::move(set), weight_, weight_});
      });
    }
    for (auto& clique : created) add_node(std::move(clique));
    settle(out);
  }

  // Closes every key still present with the last admitted weight.
  void finish(std::vector<PersistentComponent>& out) {
    for (OverlapLevel& level : levels_) {
      for (auto& [set, state] : level.keys) {
        ticker_.tick();
        out.push_back(PersistentComponent{level.q, set, state.birth, weight_});
      }
    }
    for (PersistentComponent& record : apart_) {
      record.death = weight_;
      out.push_back(std::move(record));
    }
  }

 private:
  LocalVertex vertex(VertexId id, bool& fresh) {
    auto [it, inserted] = index_of_.try_emplace(id, static_cast<LocalVertex>(ids_.size()));
    if (inserted) {
      ids_.push_back(id);
      adjacency_.emplace_back();
      holders_.emplace_back();
    }
    fresh = inserted;
    return it->second;
  }

  DenseGraph induced(const std::vector<LocalVertex>& members) {
    DenseGraph local;
    local.adjacency.resize(members.size());
    if (slot_.size() < ids_.size()) slot_.resize(ids_.size(), kNoNode);
    for (std::size_t i = 0; i < members.size(); ++i) slot_[members[i]] = static_cast<LocalVertex>(i);
    for (std::size_t i = 0; i < members.size(); ++i) {
      const auto& around = adjacency_[members[i]];
      ticker_.tick(around.size() + 1);
      for (LocalVertex y : around) {
        if (slot_[y] != kNoNode) local.adjacency[i].push_back(slot_[y]);
      }
      // `members` is ascending, so the local numbers come out ascending too.
    }
    for (LocalVertex m : members) slot_[m] = kNoNode;
    return local;
  }

  OverlapLevel& level_for_size(std::size_t k) {
    while (levels_.size() < k) levels_.emplace_back(static_cast<QLevel>(levels_.size()));
    return levels_[k - 1];
  }

  VertexSet ids_of(const std::vector<LocalVertex>& clique) const {
    VertexSet set;
    set.reserve(clique.size());
    for (LocalVertex x : clique) set.push_back(ids_[x]);
    std::sort(set.begin(), set.end());
    return set;
  }

  // Adds one clique that is maximal in the current graph and joins it, on
  // every level, with the live cliques it overlaps enough.
  void add_node(std::vector<LocalVertex> clique) {
    const auto node = static_cast<std::uint32_t>(nodes_.size());
    const std::uint64_t reach = std::min<std::uint64_t>(clique.size(), overlap_top_);
    if (reach > 0) {
      const VertexSet set = ids_of(clique);
      for (std::size_t k = 1; k <= reach; ++k) level_for_size(k).make_set(node, set);
    }

    stamp_.resize(nodes_.size(), 0);
    shared_.resize(nodes_.size(), 0);
    met_.clear();
    ++stamp_clock_;
    for (LocalVertex a : clique) {
      auto& holders = holders_[a];
      ticker_.tick(holders.size() + 1);
      std::size_t kept = 0;
      for (std::uint32_t other : holders) {
        if (alive_[other] == 0) continue;  // swallowed earlier; drop lazily
        holders[kept++] = other;
        if (stamp_[other] != stamp_clock_) {
          stamp_[other] = stamp_clock_;
          shared_[other] = 1;
          met_.push_back(other);
        } else {
          ++shared_[other];
        }
      }
      holders.resize(kept);
    }
    for (std::uint32_t other : met_) {
      const std::size_t s = shared_[other];
      if (s == nodes_[other].size()) alive_[other] = 0;
      const std::uint64_t joined = std::min<std::uint64_t>(s, overlap_top_);
      for (std::size_t k = 1; k <= joined; ++k) levels_[k - 1].unite(node, other, ticker_);
    }
    for (LocalVertex a : clique) holders_[a].push_back(node);
    nodes_.push_back(std::move(clique));
    alive_.push_back(1);
  }

  // A key's state and where its vertex set can be read during this step.
  struct Touch {
    KeyState* state;
    const VertexSet* set;
  };

  void touch(KeyState& state, const VertexSet& set) {
    if (state.seen_at != step_) {
      state.seen_at = step_;
      state.before = state.count;
      touched_.push_back(Touch{&state, &set});
    }
  }

  // Recounts the keys of the components this step touched; a key whose count
  // rose from zero is born, one whose count fell to zero dies now.
  void settle(std::vector<PersistentComponent>& out) {
    for (OverlapLevel& level : levels_) {
      if (level.fresh.empty() && level.replaced.empty()) continue;
      touched_.clear();
      for (const VertexSet& set : level.replaced) {
        ticker_.tick(set.size());
        KeyState& state = lookup(level.keys, set);
        touch(state, set);
        --state.count;
      }
      for (std::uint32_t node : level.fresh) {
        const std::uint32_t root = level.find(node);
        if (level.counted[root] != 0) continue;
        level.counted[root] = 1;
        const VertexSet& set = level.vertices[root];
        ticker_.tick(set.size());
        KeyState& state = level.keys[set];
        touch(state, set);
        ++state.count;
      }
      // Each state is listed once, so erasing a dying one leaves the others
      // valid. Keys whose count moved but stayed positive simply continue.
      for (const Touch& t : touched_) {
        if (t.state->before == 0 && t.state->count > 0) {
          t.state->birth = weight_;
        } else if (t.state->before > 0 && t.state->count == 0) {
          out.push_back(PersistentComponent{level.q, *t.set, t.state->birth, weight_});
          level.keys.erase(out.back().vertices);
        }
      }
      level.replaced.clear();
      level.fresh.clear();
    }
  }

  const std::uint64_t bound_;
  const std::uint64_t overlap_top_;  // largest clique size whose level follows the overlap rule
  InterruptTicker ticker_;
  std::uint64_t step_ = 0;
  double weight_ = 0.0;

  HashMap<VertexId, LocalVertex> index_of_;
  std::vector<VertexId> ids_;
  std::vector<std::vector<LocalVertex>> adjacency_;  // ascending dense numbers
  std::vector<std::vector<std::uint32_t>> holders_;  // vertex -> nodes holding it (dead ones dropped lazily)

  std::vector<std::vector<LocalVertex>> nodes_;  // cliques, ascending dense numbers
  std::vector<char> alive_;                      // still maximal
  std::vector<OverlapLevel> levels_;             // levels_[k - 1]: clique size k
  std::vector<PersistentComponent> apart_;       // top-level keys, never closed before the end

  std::vector<LocalVertex> common_;
  std::vector<LocalVertex> slot_;
  std::vector<std::uint64_t> stamp_;
  std::vector<std::uint32_t> shared_;
  std::uint64_t stamp_clock_ = 0;
  std::vector<std::uint32_t> met_;
  std::vector<Touch> touched_;
};

}  // namespace

std::vector<PersistentComponent> calculate_persistent_q_components(std::vector<WeightedEdge> edges, MaxQ max_q) {
  std::vector<PersistentComponent> out;
  edges.erase(std::remove_if(edges.begin(), edges.end(), [](const WeightedEdge& e) { return !finite_weight(e.weight); }),
              edges.end());
  if (edges.empty()) return out;
  std::stable_sort(edges.begin(), edges.end(),
                   [](const WeightedEdge& a, const WeightedEdge& b) { return a.weight < b.weight; });
  Tracker tracker(max_q);
  for (const WeightedEdge& edge : edges) tracker.admit(edge, out);
  tracker.finish(out);
  return out;
}

}  // namespace korvane::fast
