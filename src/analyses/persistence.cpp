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
// keeps cliques apart (see clique_complex_levels.cpp).
#include "analyses/persistence.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

#include "analyses/clique_search.hpp"
#include "core/filtration.hpp"
#include "core/hashing.hpp"
#include "core/union_find.hpp"

namespace korvane {

namespace {

// A node is a clique that was maximal at some step; nodes are never removed.
using NodeIndex = CliqueIndex;

// ---------------------------------------------------------------------------
// The graph admitted so far
// ---------------------------------------------------------------------------

// Vertices are numbered up front, in ascending id order, so ascending dense
// sets are ascending id sets; neighbour lists are ascending.
class GrowingGraph {
 public:
  explicit GrowingGraph(std::size_t vertex_count)
      : adjacency_(vertex_count), slot_(vertex_count, kAbsent), present_(vertex_count, 0) {}

  // Marks v present; true when it was not yet.
  bool arrive(DenseVertex v) {
    if (present_[v] != 0) return false;
    present_[v] = 1;
    return true;
  }

  // Adds the edge u-v, u != v; false when it was there already.
  bool add_edge(DenseVertex u, DenseVertex v) {
    auto& around_u = adjacency_[u];
    auto& around_v = adjacency_[v];
    const auto at_u = std::lower_bound(around_u.begin(), around_u.end(), v);
    if (at_u != around_u.end() && *at_u == v) return false;
    around_u.insert(at_u, v);
    around_v.insert(std::lower_bound(around_v.begin(), around_v.end(), u), u);
    return true;
  }

  // The subgraph induced by the common neighbours of u and v, which are
  // listed ascending in `members`; local vertex i is members[i].
  DenseGraph common_neighbourhood(DenseVertex u, DenseVertex v, std::vector<DenseVertex>& members,
                                  InterruptTicker& ticker) {
    const auto& around_u = adjacency_[u];
    const auto& around_v = adjacency_[v];
    members.clear();
    std::set_intersection(around_u.begin(), around_u.end(), around_v.begin(), around_v.end(),
                          std::back_inserter(members));
    ticker.tick(around_u.size() + around_v.size());
    DenseGraph local;
    local.adjacency.resize(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) slot_[members[i]] = static_cast<DenseVertex>(i);
    for (std::size_t i = 0; i < members.size(); ++i) {
      const auto& around = adjacency_[members[i]];
      ticker.tick(around.size() + 1);
      // `members` is ascending, so the local numbers come out ascending too.
      for (DenseVertex y : around) {
        if (slot_[y] != kAbsent) local.adjacency[i].push_back(slot_[y]);
      }
    }
    for (DenseVertex m : members) slot_[m] = kAbsent;
    return local;
  }

 private:
  static constexpr DenseVertex kAbsent = std::numeric_limits<DenseVertex>::max();

  std::vector<std::vector<DenseVertex>> adjacency_;
  std::vector<DenseVertex> slot_;  // vertex -> local number, kAbsent outside the current neighbourhood
  std::vector<char> present_;      // an admitted edge touches the vertex
};

// ---------------------------------------------------------------------------
// Cliques that were ever maximal
// ---------------------------------------------------------------------------

class CliqueNodes {
 public:
  struct Overlap {
    NodeIndex other;
    std::size_t shared;
  };

  explicit CliqueNodes(std::size_t node_limit) : node_limit_(node_limit) {}

  NodeIndex next() const noexcept { return static_cast<NodeIndex>(nodes_.count()); }

  // Adds `clique` (ascending, maximal in the current graph) as node next(),
  // listing in `overlaps` every live node that shares a vertex with it and
  // how many. A live node it swallows whole stops being live: the new node
  // overlaps everything that one did.
  void add(const std::vector<DenseVertex>& clique, std::vector<Overlap>& overlaps, InterruptTicker& ticker) {
    check_capacity(nodes_.count() + 1, node_limit_, "cliques");
    const NodeIndex node = next();
    for (DenseVertex a : clique) {
      if (holders_.size() <= a) holders_.resize(std::size_t{a} + 1);
    }
    meet(clique, ticker);
    overlaps.clear();
    for (NodeIndex other : met_) {
      const std::size_t s = shared_[other];
      if (s == nodes_.size_of(other)) alive_[other] = 0;
      overlaps.push_back(Overlap{other, s});
    }
    for (DenseVertex a : clique) holders_[a].push_back(node);
    nodes_.add(clique);
    alive_.push_back(1);
  }

 private:
  // Counts into shared_ the vertices each live node shares with `clique`;
  // met_ lists the nodes met. Dead nodes are dropped from the holder lists
  // on the way.
  void meet(const std::vector<DenseVertex>& clique, InterruptTicker& ticker) {
    stamp_.resize(nodes_.count(), 0);
    shared_.resize(nodes_.count(), 0);
    met_.clear();
    ++stamp_clock_;
    for (DenseVertex a : clique) {
      auto& holders = holders_[a];
      ticker.tick(holders.size() + 1);
      std::size_t kept = 0;
      for (NodeIndex other : holders) {
        if (alive_[other] == 0) continue;
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
  }

  const std::size_t node_limit_;
  CliqueList nodes_;                              // ascending dense numbers
  std::vector<char> alive_;                       // still maximal
  std::vector<std::vector<NodeIndex>> holders_;   // vertex -> nodes holding it (dead ones dropped lazily)
  std::vector<std::uint64_t> stamp_;
  std::vector<std::uint32_t> shared_;
  std::uint64_t stamp_clock_ = 0;
  std::vector<NodeIndex> met_;
};

// ---------------------------------------------------------------------------
// One level's components and their keys
// ---------------------------------------------------------------------------

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

// A component's vertices, as dense numbers.
using DenseSet = Ascending<DenseVertex>;

// Level q below the top: the shared union-find over nodes of at least q + 1
// vertices, each root carrying its component's vertex set, and per vertex
// set the number of components that carry it (two components of one level
// may have the same vertex set).
class KeyedLevel {
 public:
  explicit KeyedLevel(QLevel q) : q_(q) {}

  // Adds node as a component of its own with vertex set `set`.
  void add(NodeIndex node, DenseSet set) {
    forest_.extend(std::size_t{node} + 1);
    vertices_.resize(forest_.size());
    counted_.resize(forest_.size(), 0);
    vertices_[node] = std::move(set);
    fresh_.push_back(node);
  }

  // Precondition: both nodes were added to this level.
  void unite(NodeIndex a, NodeIndex b, InterruptTicker& ticker) {
    const auto merge = forest_.unite(a, b);
    if (!merge) return;
    DenseSet& kept = vertices_[merge->root];
    DenseSet& gone = vertices_[merge->absorbed];
    if (kept.empty() || gone.empty()) throw InternalFailure("clique missing from its level");
    ticker.tick(kept.size() + gone.size());
    std::vector<DenseVertex> merged;
    merged.reserve(kept.size() + gone.size());
    std::set_union(kept.begin(), kept.end(), gone.begin(), gone.end(), std::back_inserter(merged));
    for (NodeIndex r : {merge->root, merge->absorbed}) {
      if (counted_[r] != 0) {
        replaced_.push_back(std::move(vertices_[r]));
        counted_[r] = 0;
      }
      vertices_[r] = DenseSet();
    }
    vertices_[merge->root] = DenseSet::from_ascending(std::move(merged));
  }

  // Recounts the keys of the components this step touched; a key whose count
  // rose from zero is born, one whose count fell to zero dies now.
  void settle(std::uint64_t step, double weight, const RecordSink& out, InterruptTicker& ticker) {
    if (fresh_.empty() && replaced_.empty()) return;
    touched_.clear();
    for (const DenseSet& set : replaced_) {
      ticker.tick(set.size());
      KeyState& state = lookup(keys_, set);
      touch(state, set, step);
      --state.count;
    }
    for (NodeIndex node : fresh_) {
      const NodeIndex root = forest_.find(node);
      if (counted_[root] != 0) continue;
      counted_[root] = 1;
      const DenseSet& set = vertices_[root];
      ticker.tick(set.size());
      KeyState& state = keys_[set];
      touch(state, set, step);
      ++state.count;
    }
    // Each state is listed once, so erasing a dying one leaves the others
    // valid. Keys whose count moved but stayed positive simply continue.
    for (const Touch& t : touched_) {
      if (t.state->before == 0 && t.state->count > 0) {
        t.state->birth = weight;
      } else if (t.state->before > 0 && t.state->count == 0) {
        out.record(q_, t.set->items().data(), t.set->items().data() + t.set->size(), t.state->birth, weight);
        keys_.erase(*t.set);
      }
    }
    replaced_.clear();
    fresh_.clear();
  }

  // Closes every key still present.
  void finish(double weight, const RecordSink& out, InterruptTicker& ticker) {
    for (const auto& [set, state] : keys_) {
      ticker.tick();
      out.record(q_, set.items().data(), set.items().data() + set.size(), state.birth, weight);
    }
  }

 private:
  // A key's state and where its vertex set can be read during this step.
  struct Touch {
    KeyState* state;
    const DenseSet* set;
  };

  void touch(KeyState& state, const DenseSet& set, std::uint64_t step) {
    if (state.seen_at != step) {
      state.seen_at = step;
      state.before = state.count;
      touched_.push_back(Touch{&state, &set});
    }
  }

  QLevel q_;
  UnionFind<NodeIndex> forest_;
  std::vector<DenseSet> vertices_;  // at roots
  std::vector<char> counted_;       // at roots: the vertex set is counted in keys_
  HashMap<DenseSet, KeyState> keys_;
  std::vector<NodeIndex> fresh_;    // nodes added in this step
  std::vector<DenseSet> replaced_;  // counted keys merged away in this step
  std::vector<Touch> touched_;
};

// ---------------------------------------------------------------------------
// The filtration
// ---------------------------------------------------------------------------

// A key of the top level under a bound: one clique of the bound's size, born
// at `birth` and present to the end.
struct ApartKey {
  std::vector<DenseVertex> vertices;
  double birth;
};

class Tracker {
 public:
  Tracker(CliqueSizeBound bound, std::size_t vertex_count, const GraphLimits& limits)
      : cap_(bound ? std::max<std::uint64_t>(*bound, 1) : kUnbounded),
        overlap_top_(bound ? cap_ - 1 : kUnbounded),
        graph_(vertex_count),
        nodes_(limits.cliques) {}

  void admit(DenseVertex u, DenseVertex v, double weight, const RecordSink& out) {
    ticker_.tick();
    ++step_;
    weight_ = weight;
    const bool fresh_u = graph_.arrive(u);
    const bool fresh_v = graph_.arrive(v);
    if (cap_ == 1) {
      // Only single vertices are formed: each vertex is a component of its own.
      if (fresh_u) apart_.push_back(ApartKey{{u}, weight_});
      if (fresh_v) apart_.push_back(ApartKey{{v}, weight_});
      return;
    }
    if (u == v) {
      if (fresh_u) {
        add_node({u});
        settle(out);
      }
      return;
    }
    if (!graph_.add_edge(u, v)) return;  // repeated edge: same graph
    for (const auto& clique : new_maximal_cliques(u, v)) add_node(clique);
    settle(out);
  }

  // Closes every key still present with the last admitted weight.
  void finish(const RecordSink& out) {
    for (KeyedLevel& level : levels_) level.finish(weight_, out, ticker_);
    // apart_ is only ever filled under a bound, whose top level is cap_ - 1.
    const QLevel top = static_cast<QLevel>(cap_ - 1);
    for (const ApartKey& key : apart_) {
      ticker_.tick();
      out.record(top, key.vertices.data(), key.vertices.data() + key.vertices.size(), key.birth, weight_);
    }
  }

 private:
  static constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();

  // The cliques that edge u-v makes maximal: {u, v} plus a maximal clique of
  // their common neighbourhood. Under a bound, the new cliques of exactly the
  // bound's size are those through the edge; each is a key of the top level
  // of its own, born now.
  std::vector<std::vector<DenseVertex>> new_maximal_cliques(DenseVertex u, DenseVertex v) {
    const DenseGraph local = graph_.common_neighbourhood(u, v, common_, ticker_);
    std::vector<std::vector<DenseVertex>> created;
    for_each_maximal_clique(local, ticker_, [&](const std::vector<DenseVertex>& inner) {
      created.push_back(through(u, v, inner));
    });
    if (cap_ != kUnbounded) {
      for_each_clique_of_size(local, cap_ - 2, ticker_, [&](const std::vector<DenseVertex>& inner) {
        apart_.push_back(ApartKey{through(u, v, inner), weight_});
      });
    }
    return created;
  }

  // {u, v} and the common neighbours of local numbers `inner`, ascending.
  std::vector<DenseVertex> through(DenseVertex u, DenseVertex v, const std::vector<DenseVertex>& inner) const {
    std::vector<DenseVertex> clique{u, v};
    for (DenseVertex i : inner) clique.push_back(common_[i]);
    std::sort(clique.begin(), clique.end());
    return clique;
  }

  KeyedLevel& level_for_size(std::size_t k) {
    while (levels_.size() < k) levels_.emplace_back(static_cast<QLevel>(levels_.size()));
    return levels_[k - 1];
  }

  // Adds one clique that is maximal in the current graph to every level it
  // takes part in, and joins it there with the live cliques it overlaps
  // enough.
  void add_node(const std::vector<DenseVertex>& clique) {
    const NodeIndex node = nodes_.next();
    const std::uint64_t reach = std::min<std::uint64_t>(clique.size(), overlap_top_);
    if (reach > 0) {
      const DenseSet set = DenseSet::from_ascending(clique);
      for (std::size_t k = 1; k <= reach; ++k) level_for_size(k).add(node, set);
    }
    nodes_.add(clique, overlaps_, ticker_);
    for (const CliqueNodes::Overlap& o : overlaps_) {
      // shared <= both clique sizes, so both nodes were added to every level
      // k <= joined, and levels_ holds all of them.
      const std::uint64_t joined = std::min<std::uint64_t>(o.shared, overlap_top_);
      for (std::size_t k = 1; k <= joined; ++k) levels_[k - 1].unite(node, o.other, ticker_);
    }
  }

  void settle(const RecordSink& out) {
    for (KeyedLevel& level : levels_) level.settle(step_, weight_, out, ticker_);
  }

  const std::uint64_t cap_;          // largest clique size formed
  const std::uint64_t overlap_top_;  // largest clique size whose level follows the overlap rule
  InterruptTicker ticker_;
  std::uint64_t step_ = 0;
  double weight_ = 0.0;

  GrowingGraph graph_;
  CliqueNodes nodes_;
  std::vector<KeyedLevel> levels_;  // levels_[k - 1]: clique size k
  std::vector<ApartKey> apart_;     // top-level keys, never closed before the end
  std::vector<DenseVertex> common_;
  std::vector<CliqueNodes::Overlap> overlaps_;
};

}  // namespace

void persistent_components(std::vector<WeightedEdge> edges, CliqueSizeBound bound, const RecordSink& sink,
                           const GraphLimits& limits) {
  edges = admission_order(std::move(edges));
  const VertexNumbering numbering(edges, limits);
  sink.start(numbering.ids());
  if (edges.empty()) return;
  Tracker tracker(bound, numbering.size(), limits);
  for (const WeightedEdge& edge : edges) {
    tracker.admit(numbering.dense(edge.u), numbering.dense(edge.v), edge.weight, sink);
  }
  tracker.finish(sink);
}

std::vector<PersistentComponent> persistent_components(std::vector<WeightedEdge> edges, CliqueSizeBound bound,
                                                       const GraphLimits& limits) {
  std::vector<PersistentComponent> out;
  const std::vector<VertexId>* ids = nullptr;
  RecordSink sink;
  sink.start = [&](const std::vector<VertexId>& dense_ids) { ids = &dense_ids; };
  sink.record = [&](QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death) {
    std::vector<VertexId> vertices;
    for (; first != last; ++first) vertices.push_back((*ids)[*first]);
    out.push_back(PersistentComponent{q, VertexSet::from_ascending(std::move(vertices)), birth, death});
  };
  persistent_components(std::move(edges), bound, sink, limits);
  return out;
}

}  // namespace korvane
