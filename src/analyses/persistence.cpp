// Persistent q-components, updated edge by edge instead of recomputed.
//
// Below the top level, a level-q component is a class of (q + 1)-vertex
// cliques linked through (q + 2)-vertex cliques. Every clique of at least
// q + 1 vertices lies in one class (all its (q + 1)-subsets are linked), so a
// class can be named by any maximal clique holding one of its members.
//
// Adding an edge (u, v) only adds cliques: the new maximal ones are M = {u, v}
// plus a maximal clique K of the common neighbourhood. At level q, such an M
// of at least q + 2 vertices brings all its (q + 1)-subsets into one class,
// and its old (q + 1)-subsets are exactly those of M - u and of M - v. So M
// joins the classes of M - u and M - v, named by any old maximal clique
// holding them, and the new cliques M, M' that share a new (q + 1)-subset,
// which is |K & K'| >= q - 1. An M of q + 1 vertices is a class of its own.
// Nothing else changes, so only the classes these joins touch change key.
//
// The classes of each level live in one union-find over the cliques that
// were ever maximal (ComponentLevels); the cliques maximal now are kept by
// vertex set, to name the classes of M - u and M - v.
//
// With a bound B on clique size, level B - 1 holds every B-vertex clique on
// its own; such a key, once born, lives to the end. Without a bound no level
// keeps cliques apart.

#include "analyses/persistence.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

#include "analyses/clique_search.hpp"
#include "analyses/persistence_levels.hpp"
#include "core/filtration.hpp"
#include "core/hashing.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

namespace {

using DenseSet = Ascending<DenseVertex>;
using Word = std::uint64_t;

// ---------------------------------------------------------------------------
// The graph admitted so far
// ---------------------------------------------------------------------------

// Vertices are numbered up front, in ascending id order, so ascending dense
// sets are ascending id sets; neighbour lists are ascending.
class GrowingGraph {
 public:
  explicit GrowingGraph(std::size_t vertex_count)
      : adjacency_(vertex_count), slot_(vertex_count, kAbsent), present_(vertex_count, 0), hits_(vertex_count, 0) {}

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
    if (members.size() < 2) {
      local.adjacency.resize(members.size());
      return local;
    }
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

  // Grows `clique` (ascending) into a maximal clique of the graph without
  // vertex `excluded`, taking the smallest common neighbour at each turn.
  // The result is ascending.
  void extend_to_maximal(std::vector<DenseVertex>& clique, DenseVertex excluded, InterruptTicker& ticker) {
    common_neighbours(clique, excluded, ticker);
    while (!candidates_.empty()) {
      const DenseVertex next = candidates_.front();
      clique.push_back(next);
      const auto& around = adjacency_[next];
      ticker.tick(candidates_.size() + around.size());
      narrowed_.clear();
      std::set_intersection(candidates_.begin() + 1, candidates_.end(), around.begin(), around.end(),
                            std::back_inserter(narrowed_));
      candidates_.swap(narrowed_);
    }
    std::sort(clique.begin(), clique.end());
  }

 private:
  static constexpr DenseVertex kAbsent = std::numeric_limits<DenseVertex>::max();

  // The vertices other than `excluded` adjacent to every vertex of `clique`,
  // ascending, into candidates_. hits_ is all zero between calls.
  void common_neighbours(const std::vector<DenseVertex>& clique, DenseVertex excluded, InterruptTicker& ticker) {
    hit_list_.clear();
    for (DenseVertex x : clique) {
      const auto& around = adjacency_[x];
      ticker.tick(around.size() + 1);
      for (DenseVertex y : around) {
        if (hits_[y]++ == 0) hit_list_.push_back(y);
      }
    }
    candidates_.clear();
    for (DenseVertex y : hit_list_) {
      if (hits_[y] == clique.size() && y != excluded) candidates_.push_back(y);
      hits_[y] = 0;
    }
    std::sort(candidates_.begin(), candidates_.end());
  }

  std::vector<std::vector<DenseVertex>> adjacency_;
  std::vector<DenseVertex> slot_;       // vertex -> local number, kAbsent outside the current neighbourhood
  std::vector<char> present_;           // an admitted edge touches the vertex
  std::vector<std::uint32_t> hits_;     // scratch of common_neighbours(); a count never exceeds the vertex count
  std::vector<DenseVertex> hit_list_;
  std::vector<DenseVertex> candidates_;
  std::vector<DenseVertex> narrowed_;
};

// ---------------------------------------------------------------------------
// The filtration
// ---------------------------------------------------------------------------

class Tracker {
 public:
  Tracker(CliqueSizeBound bound, std::size_t vertex_count, const GraphLimits& limits)
      : cap_(bound ? std::max<std::uint64_t>(*bound, 1) : kUnbounded),
        linked_levels_(bound ? cap_ - 1 : kUnbounded),
        clique_limit_(limits.cliques),
        graph_(vertex_count) {}

  void admit(DenseVertex u, DenseVertex v, double weight, const RecordSink& out) {
    ticker_.tick();
    ++step_;
    weight_ = weight;
    const bool fresh_u = graph_.arrive(u);
    const bool fresh_v = graph_.arrive(v);
    if (cap_ == 1) {
      // Only single vertices are formed: each vertex is a component of its own.
      if (fresh_u) add_apart({u});
      if (fresh_v) add_apart({v});
      return;
    }
    if (u == v) {
      // A loop only matters as the arrival of a vertex: an isolated one is a
      // maximal clique of its own.
      if (!fresh_u) return;
      open_clique({u});
      levels_.settle(step_, weight_, out, ticker_);
      return;
    }
    if (!graph_.add_edge(u, v)) return;  // repeated edge: same graph
    const DenseGraph local = graph_.common_neighbourhood(u, v, common_, ticker_);
    add_new_cliques(local, u, v);
    for (std::size_t i = 0; i < new_cliques_.count(); ++i) link_to_old(i, u, v, fresh_u, fresh_v);
    link_new_pairs(local.size());
    levels_.settle(step_, weight_, out, ticker_);
    if (cap_ != kUnbounded) add_top_cliques(local, u, v);
  }

  // Closes every key still present with the last admitted weight.
  void finish(const RecordSink& out) {
    levels_.finish(weight_, out, ticker_);
    // apart_ is only ever filled under a bound, whose top level is cap_ - 1.
    const QLevel top = static_cast<QLevel>(cap_ - 1);
    for (std::size_t i = 0; i < apart_.count(); ++i) {
      ticker_.tick(apart_.size_of(i) + 1);
      out.record(top, apart_.begin_of(i), apart_.end_of(i), apart_births_[i], weight_);
    }
  }

 private:
  static constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();

  // Levels a clique of `size` vertices takes part in, below the top level
  // that a bound keeps apart.
  std::size_t levels_of(std::size_t size) const { return static_cast<std::size_t>(std::min<std::uint64_t>(size, linked_levels_)); }

  // The cliques that edge u-v makes maximal, {u, v} plus a maximal clique K
  // of their common neighbourhood: K in local numbers into inner_, the
  // clique into new_cliques_, each opened at its levels.
  void add_new_cliques(const DenseGraph& local, DenseVertex u, DenseVertex v) {
    clear(inner_);
    if (local.size() < 2) {
      // No vertex, or one: the only maximal clique is all of it.
      inner_.add(std::vector<DenseVertex>(local.size(), 0));
    } else {
      for_each_maximal_clique(local, ticker_, [&](const std::vector<DenseVertex>& k) { inner_.add(k); });
    }
    clear(new_cliques_);
    new_slots_.clear();
    for (std::size_t i = 0; i < inner_.count(); ++i) {
      through(u, v, inner_.begin_of(i), inner_.end_of(i));
      new_cliques_.add(clique_);
      new_slots_.push_back(open_clique(clique_));
    }
  }

  // {u, v} and the common neighbours of local numbers [first, last), into
  // clique_, ascending.
  void through(DenseVertex u, DenseVertex v, const DenseVertex* first, const DenseVertex* last) {
    clique_.assign({u, v});
    for (; first != last; ++first) clique_.push_back(common_[*first]);
    std::sort(clique_.begin(), clique_.end());
  }

  // Numbers a clique that is maximal now and opens it at its levels.
  SlotIndex open_clique(const std::vector<DenseVertex>& clique) {
    check_capacity(cliques_ + 1, clique_limit_, "cliques");
    ++cliques_;
    const SlotIndex slot = levels_.open(clique, levels_of(clique.size()));
    live_.emplace(DenseSet::from_ascending(clique), slot);
    return slot;
  }

  // New clique i joins, at each level it spans with M - u and M - v, the
  // classes of those two old cliques.
  void link_to_old(std::size_t i, DenseVertex u, DenseVertex v, bool fresh_u, bool fresh_v) {
    const std::size_t size = new_cliques_.size_of(i);
    const std::size_t top = std::min<std::uint64_t>(size - 2, linked_levels_ - 1);
    // M - u is {v} alone when v came with this edge: no class holds it yet.
    if (!(fresh_v && size == 2)) link_side(i, u, top);
    if (!(fresh_u && size == 2)) link_side(i, v, top);
  }

  // Joins new clique i with the old maximal clique that greedy extension
  // grows M - drop into. M - drop itself is one when it was maximal: then M
  // swallows it and it is no longer kept as maximal.
  void link_side(std::size_t i, DenseVertex drop, std::size_t top) {
    clique_.clear();
    for (const DenseVertex* x = new_cliques_.begin_of(i); x != new_cliques_.end_of(i); ++x) {
      if (*x != drop) clique_.push_back(*x);
    }
    const std::size_t before = clique_.size();
    graph_.extend_to_maximal(clique_, drop, ticker_);
    const auto held = live_.find(DenseSet::from_ascending(clique_));
    if (held == live_.end()) throw InternalFailure("an old clique is not among the maximal ones");
    const SlotIndex old = held->second;
    if (held->first.size() == before) live_.erase(held);
    levels_.join(new_slots_[i], old, top, ticker_);
  }

  // New cliques {u, v} + K and {u, v} + K' share a new (q + 1)-vertex clique
  // at every level q <= |K & K'| + 1: one class there.
  void link_new_pairs(std::size_t local_size) {
    const std::size_t count = inner_.count();
    if (count < 2) return;
    const std::size_t words = (local_size + 63) / 64;
    rows_.assign(count * words, 0);
    for (std::size_t i = 0; i < count; ++i) {
      for (const DenseVertex* x = inner_.begin_of(i); x != inner_.end_of(i); ++x) {
        rows_[i * words + *x / 64] |= Word{1} << (*x % 64);
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      ticker_.tick(count);
      for (std::size_t j = i + 1; j < count; ++j) {
        std::size_t shared = 0;
        for (std::size_t w = 0; w < words; ++w) shared += std::popcount(rows_[i * words + w] & rows_[j * words + w]);
        const std::size_t top = std::min<std::uint64_t>(shared + 1, linked_levels_ - 1);
        levels_.join(new_slots_[i], new_slots_[j], top, ticker_);
      }
    }
  }

  // Under a bound, the new cliques of exactly the bound's size are those
  // through the edge; each is a key of the top level of its own, born now.
  void add_top_cliques(const DenseGraph& local, DenseVertex u, DenseVertex v) {
    for_each_clique_of_size(local, cap_ - 2, ticker_, [&](const std::vector<DenseVertex>& inner) {
      through(u, v, inner.data(), inner.data() + inner.size());
      add_apart(clique_);
    });
  }

  void add_apart(const std::vector<DenseVertex>& clique) {
    apart_.add(clique);
    apart_births_.push_back(weight_);
  }

  static void clear(PackedSets<DenseVertex>& sets) {
    sets.items.clear();
    sets.starts.assign(1, 0);
  }

  const std::uint64_t cap_;            // largest clique size formed
  const std::uint64_t linked_levels_;  // levels whose classes follow overlaps (all but a bound's top)
  const std::size_t clique_limit_;
  InterruptTicker ticker_;
  std::uint64_t step_ = 0;
  double weight_ = 0.0;
  std::size_t cliques_ = 0;  // cliques that were ever maximal

  GrowingGraph graph_;
  ComponentLevels levels_;
  HashMap<DenseSet, SlotIndex> live_;  // the maximal cliques now, by vertex set -> level-0 slot
  PackedSets<DenseVertex> apart_;      // top-level keys under a bound, never closed before the end
  std::vector<double> apart_births_;

  // Scratch of one step.
  std::vector<DenseVertex> common_;
  PackedSets<DenseVertex> inner_;        // K of each new clique, in local numbers
  PackedSets<DenseVertex> new_cliques_;  // the new maximal cliques
  std::vector<SlotIndex> new_slots_;     // their level-0 slots
  std::vector<DenseVertex> clique_;
  std::vector<Word> rows_;
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
