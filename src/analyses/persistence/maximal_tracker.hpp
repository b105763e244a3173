// Persistent q-components by the maximal cliques of the growing graph,
// updated edge by edge instead of recomputed.
//
// Below the top level, a level-q component is a class of (q + 1)-vertex
// cliques linked through (q + 2)-vertex cliques. All (q + 1)-subsets of a
// clique lie in one class, so a class can be named by any clique holding
// one of its members.
//
// Adding an edge (u, v) only adds cliques: the new maximal ones are M = {u, v}
// plus a maximal clique K of the common neighbourhood. At level q, such an M
// of at least q + 2 vertices brings all its (q + 1)-subsets into one class,
// and its old (q + 1)-subsets are exactly those of M - u and of M - v. So M
// joins the classes of M - u and M - v at the levels below its own top, and
// two new cliques M, M' join where they share a new (q + 1)-subset, that is
// at levels q <= |K & K'| + 1; below that level their sides M - u already
// share q + 1 vertices, so only that level needs the join. An M of q + 1
// vertices is a class of its own. Nothing else changes, so only the classes
// these joins touch change key.
//
// The classes of all levels live in one union-find over slots of the
// cliques that were ever maximal (ComponentLevels). Any of those cliques
// that holds M - u names its class, even one swallowed since: it was joined
// with its swallower at all its levels. A vertex or an edge is named by the
// first clique that held it; a larger M - u is grown into a clique that is
// maximal now, found by vertex set among those kept (of three vertices or
// more).
//
// With a bound B on clique size, level B - 1 holds every B-vertex clique on
// its own; such a key, once born, lives to the end. Without a bound no level
// keeps cliques apart.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

#include "analyses/graph/clique_search.hpp"
#include "analyses/persistence/component_levels.hpp"
#include "analyses/persistence/growing_graph.hpp"
#include "analyses/persistence/live_cliques.hpp"
#include "analyses/persistence/persistence.hpp"
#include "analyses/persistence/sharing_scan.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

class MaximalTracker {
 public:
  // `edges` in dense numbers, as they will be admitted.
  MaximalTracker(CliqueSizeBound bound, std::size_t vertex_count, const std::vector<WeightedEdge>& edges,
                 const GraphLimits& limits)
      : cap_(bound ? std::max<std::uint64_t>(*bound, 1) : kUnbounded),
        linked_levels_(bound ? cap_ - 1 : kUnbounded),
        clique_limit_(limits.cliques),
        graph_(vertex_count, edges),
        view_(vertex_count),
        clique_of_vertex_(vertex_count, kNone<std::uint32_t>) {}

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
      // A loop only matters as the arrival of a vertex.
      if (fresh_u) add_lone_vertex(u, out);
      return;
    }
    // The step's first new clique holds the edge, and gets the next number.
    if (!graph_.add_edge(u, v, static_cast<std::uint32_t>(cliques_))) return;  // same graph
    view_.load(graph_, u, v, ticker_);
    if (view_.common().empty()) {
      add_lone_edge(u, v, fresh_u, fresh_v);
      levels_.settle(step_, weight_, out, ticker_);
      if (cap_ != kUnbounded) add_top_cliques(u, v);
      return;
    }
    find_new_cliques();
    new_refs_.clear();
    for (std::size_t i = 0; i < inner_.count(); ++i) add_new_clique(i, u, v, fresh_u, fresh_v);
    link_new_pairs();
    levels_.settle(step_, weight_, out, ticker_);
    if (cap_ != kUnbounded) add_top_cliques(u, v);
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
  static constexpr std::size_t kLinkSidesFrom = 3;  // new cliques through one edge

  // Levels a clique of `size` vertices takes part in, below the top level
  // that a bound keeps apart.
  std::size_t levels_of(std::size_t size) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(size, linked_levels_));
  }

  // An isolated vertex is a maximal clique of its own, alone at level 0.
  void add_lone_vertex(DenseVertex u, const RecordSink& out) {
    clique_.assign(1, u);
    const std::uint32_t number = number_clique();
    slots_.assign(1, levels_.open(0, clique_));
    keep(number, 0);
    clique_of_vertex_[u] = number;
    levels_.settle(step_, weight_, out, ticker_);
  }

  // The cliques that edge u-v makes maximal are {u, v} plus a maximal
  // clique K of their common neighbourhood: each K in local numbers into
  // inner_, and as a bitset in rows_.
  void find_new_cliques() {
    const DenseGraph& local = view_.local();
    clear(inner_);
    if (local.size() < 2) {
      // No vertex, or one: the only maximal clique is all of it.
      inner_.items.resize(local.size(), 0);
      inner_.starts.push_back(inner_.items.size());
    } else {
      for_each_maximal_clique(local, ticker_, [&](const std::vector<DenseVertex>& k) { inner_.add(k); });
    }
    fill_rows();
    // Several cliques grow their sides from the same side vertices.
    if (inner_.count() >= kLinkSidesFrom) view_.link_sides(ticker_);
  }

  // A clique by its number and, while it is maximal and has three vertices
  // or more, its place among the kept ones, which holds its slots at levels
  // 2 and up. Other cliques are only ever named at levels 0 and 1.
  struct CliqueRef {
    std::uint32_t number = kNone<std::uint32_t>;
    std::uint32_t place = kNone<std::uint32_t>;
    bool swallowed = false;  // by the clique being added: to be let go
  };

  // New clique i, M = {u, v} + K: below its top level it takes the slots of
  // an old clique holding one side and joins those of the other side; at
  // its top level it is a component of its own.
  void add_new_clique(std::size_t i, DenseVertex u, DenseVertex v, bool fresh_u, bool fresh_v) {
    through(u, v, inner_.begin_of(i), inner_.end_of(i));
    const std::size_t size = clique_.size();
    const std::uint64_t print = size >= 3 ? live_.fingerprint(clique_.begin(), clique_.end()) : 0;
    // M - u is {v} alone when v came with this edge: no clique holds it yet.
    const CliqueRef side_u = fresh_v && size == 2 ? CliqueRef{} : holder(i, print, u, v);
    const CliqueRef side_v = fresh_u && size == 2 ? CliqueRef{} : holder(i, print, v, u);
    const std::uint32_t number = number_clique();
    const std::size_t levels = levels_of(size);
    const std::size_t below = std::min(size - 1, levels);
    slots_.clear();
    if (side_u.number != kNone<std::uint32_t> && side_v.number != kNone<std::uint32_t>) {
      for (std::size_t q = 0; q < below; ++q) slots_.push_back(slot(side_u, q));
      join_down(side_v, below);
    } else {
      name_edge_of_arrival(side_u.number != kNone<std::uint32_t> ? side_u : side_v);
    }
    if (levels == size) slots_.push_back(levels_.open(static_cast<std::uint32_t>(size - 1), clique_));
    keep(number, print);
    for (const CliqueRef& side : {side_u, side_v}) {
      if (side.swallowed) live_.remove(side.place);
    }
    for (DenseVertex x : clique_) {
      if (clique_of_vertex_[x] == kNone<std::uint32_t>) clique_of_vertex_[x] = number;
    }
  }

  // An edge without common neighbours, as most edges of a sparse graph
  // are: M = {u, v} is the step's one new clique, and its sides are the
  // vertices. What add_new_clique() does, without the bookkeeping that only
  // larger or several new cliques need.
  void add_lone_edge(DenseVertex u, DenseVertex v, bool fresh_u, bool fresh_v) {
    // Most often the step before was a lone edge too.
    if (clique_.size() != 2) clique_.resize(2);
    clique_[0] = std::min(u, v);
    clique_[1] = std::max(u, v);
    const CliqueRef side_u{fresh_v ? kNone<std::uint32_t> : lone_vertex_holder(v)};
    const CliqueRef side_v{fresh_u ? kNone<std::uint32_t> : lone_vertex_holder(u)};
    const std::uint32_t number = number_clique();
    SlotIndex level_zero;
    if (side_u.number != kNone<std::uint32_t> && side_v.number != kNone<std::uint32_t>) {
      level_zero = slot(side_u, 0);
      ticker_.tick();
      levels_.join(level_zero, slot(side_v, 0), 0);
    } else {
      slots_.clear();
      name_edge_of_arrival(side_u.number != kNone<std::uint32_t> ? side_u : side_v);
      level_zero = slots_[0];
    }
    low_.push_back(level_zero);
    // Level 1 is the edge's top level unless a bound keeps it apart.
    low_.push_back(levels_of(2) == 2 ? levels_.open(1, clique_) : kNone<std::uint32_t>);
    for (DenseVertex x : {u, v}) {
      if (clique_of_vertex_[x] == kNone<std::uint32_t>) clique_of_vertex_[x] = number;
    }
  }

  std::uint32_t lone_vertex_holder(DenseVertex x) const {
    const std::uint32_t number = clique_of_vertex_[x];
    if (number == kNone<std::uint32_t>) throw InternalFailure("an old clique is missing");
    return number;
  }

  // The level-0 slot of an edge u-v whose end v (or both) arrives with it:
  // the component of u, grown by v, or one of its own.
  void name_edge_of_arrival(const CliqueRef& side) {
    if (side.number == kNone<std::uint32_t>) {
      slots_.push_back(levels_.open(0, clique_));
      return;
    }
    slots_.push_back(slot(side, 0));
    levels_.add_to(slots_.back(), 0, clique_);
  }

  // Joins slots_ with the slots of `side` at the levels below `below`, from
  // the top down. Stops at the first level where they are one already:
  // every join reaches down to level 0, so a level's partition refines the
  // one below and they are one there too.
  void join_down(const CliqueRef& side, std::size_t below) {
    for (std::size_t q = below; q-- > 0;) {
      ticker_.tick();
      if (!levels_.join(slots_[q], slot(side, q), static_cast<std::uint32_t>(q))) return;
    }
  }

  // Records the slots_ of clique_, just numbered: levels 0 and 1 for good,
  // the others while it is kept as maximal.
  void keep(std::uint32_t number, std::uint64_t print) {
    low_.push_back(slots_.empty() ? kNone<std::uint32_t> : slots_[0]);
    low_.push_back(slots_.size() < 2 ? kNone<std::uint32_t> : slots_[1]);
    CliqueRef ref{number, kNone<std::uint32_t>, false};
    if (clique_.size() >= 3) {
      const auto low = static_cast<std::ptrdiff_t>(std::min<std::size_t>(2, slots_.size()));
      high_.assign(slots_.begin() + low, slots_.end());
      ref.place = live_.add(print, clique_, number, high_);
    }
    new_refs_.push_back(ref);
  }

  // {u, v} and the common neighbours of local numbers [first, last), into
  // clique_, ascending.
  void through(DenseVertex u, DenseVertex v, const DenseVertex* first, const DenseVertex* last) {
    if (first == last) {
      // The edge alone, as most edges of a sparse graph are.
      clique_.assign({std::min(u, v), std::max(u, v)});
      return;
    }
    clique_.assign({u, v});
    for (; first != last; ++first) clique_.push_back(view_.common()[*first]);
    std::sort(clique_.begin(), clique_.end());
  }

  std::uint32_t number_clique() {
    check_capacity(cliques_ + 1, clique_limit_, "cliques");
    return static_cast<std::uint32_t>(cliques_++);
  }

  // Precondition: the clique takes part in level q, and q < 2 unless it is
  // kept.
  SlotIndex slot(const CliqueRef& clique, std::size_t q) const {
    return q < 2 ? low_[2 * std::size_t{clique.number} + q] : live_.slot(clique.place, q);
  }

  // An old clique that holds M - drop, where M is new clique i (of
  // fingerprint `print`) and `kept` its other end: for a vertex or an edge,
  // the first clique that held it, which M needs at levels 0 and 1 alone.
  CliqueRef holder(std::size_t i, std::uint64_t print, DenseVertex drop, DenseVertex kept) {
    CliqueRef found;
    switch (inner_.size_of(i)) {
      case 0: found.number = clique_of_vertex_[kept]; break;
      case 1: found.number = graph_.clique_of_edge(kept, view_.common()[*inner_.begin_of(i)]); break;
      default: found = grown_holder(i, print, drop); break;
    }
    if (found.number == kNone<std::uint32_t>) throw InternalFailure("an old clique is missing");
    return found;
  }

  // The maximal clique that M - drop grows into. M - drop itself is one
  // when it does not grow: then M swallows it.
  CliqueRef grown_holder(std::size_t i, std::uint64_t print, DenseVertex drop) {
    const bool grew = view_.grow_side(drop, row(i), inner_.begin_of(i), inner_.end_of(i), side_, ticker_);
    const auto& added = view_.added();
    const std::uint64_t side_print =
        print - live_.fingerprint(&drop, &drop + 1) + live_.fingerprint(added.begin(), added.end());
    const std::uint32_t place = live_.find(side_print, side_);
    if (place == kNone<std::uint32_t>) return CliqueRef{};
    return CliqueRef{live_.number(place), place, !grew};
  }

  // New cliques {u, v} + K and {u, v} + K' with s = |K & K'| share a new
  // (q + 1)-vertex clique at every level q <= s + 1, but below s + 1 their
  // sides M - u, which share s + 1 vertices, have joined them already. So a
  // pair is joined at level s + 1 alone: level 1 for every pair (all hold
  // u-v), and level q >= 2 for pairs sharing q - 1 vertices of K.
  void link_new_pairs() {
    const std::size_t count = inner_.count();
    // Two or more maximal cliques of the neighbourhood: none is empty.
    if (count < 2 || linked_levels_ < 2) return;
    for (std::size_t i = 1; i < count; ++i) levels_.join(slot(new_refs_[0], 1), slot(new_refs_[i], 1), 1);
    by_size_.resize(count);
    for (std::size_t i = 0; i < count; ++i) by_size_[i] = static_cast<std::uint32_t>(i);
    std::sort(by_size_.begin(), by_size_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return inner_.size_of(a) > inner_.size_of(b); });
    for (std::size_t q = 2; q < linked_levels_; ++q) {
      std::size_t taking_part = 0;  // the cliques with |K| >= q come first
      while (taking_part < count && inner_.size_of(by_size_[taking_part]) >= q) ++taking_part;
      if (taking_part < 2) break;
      link_at_level(q, taking_part);
    }
  }

  // Level q >= 2 among the first `n` cliques of by_size_: they fall into
  // classes (most steps find one, which one find per clique shows), and two
  // classes become one when a clique of each shares q - 1 vertices of K.
  void link_at_level(std::size_t q, std::size_t n) {
    members_.clear();
    bool one_class = true;
    for (std::size_t a = 0; a < n; ++a) {
      members_.push_back({levels_.root(slot(new_refs_[by_size_[a]], q)), by_size_[a]});
      one_class = one_class && members_[a].first == members_[0].first;
    }
    if (one_class) return;
    std::sort(members_.begin(), members_.end());
    group_starts_.clear();
    for (std::size_t a = 0; a < n; ++a) {
      if (a == 0 || members_[a].first != members_[a - 1].first) group_starts_.push_back(a);
    }
    group_starts_.push_back(n);
    grow_classes(q);
  }

  // Grows one class at a time from a group of members_: every pass adds the
  // groups that share enough with it, until a pass adds none; then the next
  // group left starts a class. Most levels end in a single class, each
  // group found after a short scan.
  void grow_classes(std::size_t q) {
    waiting_.clear();
    for (std::size_t g = 0; g + 1 < group_starts_.size(); ++g) waiting_.push_back(static_cast<std::uint32_t>(g));
    while (!waiting_.empty()) {
      grown_.clear();
      take_group(waiting_.back());
      waiting_.pop_back();
      for (bool added = true; added;) {
        added = false;
        std::size_t kept = 0;
        for (std::uint32_t g : waiting_) {
          if (link_group(g, q)) {
            take_group(g);
            added = true;
          } else {
            waiting_[kept++] = g;
          }
        }
        waiting_.resize(kept);
      }
    }
  }

  void take_group(std::uint32_t g) {
    for (std::size_t a = group_starts_[g]; a < group_starts_[g + 1]; ++a) grown_.push_back(members_[a].second);
  }

  // Joins group g to the class grown_ at level q when a clique of each
  // shares q - 1 vertices of K.
  bool link_group(std::uint32_t g, std::size_t q) {
    for (std::size_t a = group_starts_[g]; a < group_starts_[g + 1]; ++a) {
      ticker_.tick(grown_.size());
      const std::uint32_t clique = members_[a].second;
      const std::size_t c = first_sharing_(rows_.data(), words_, clique, grown_.data(), grown_.size(), q - 1);
      if (c == grown_.size()) continue;
      levels_.join(slot(new_refs_[clique], q), slot(new_refs_[grown_[c]], q), static_cast<std::uint32_t>(q));
      return true;
    }
    return false;
  }

  // Each K as a bitset over the local numbers, in rows_.
  void fill_rows() {
    words_ = view_.words();
    rows_.assign(inner_.count() * words_, 0);
    for (std::size_t i = 0; i < inner_.count(); ++i) {
      for (const DenseVertex* x = inner_.begin_of(i); x != inner_.end_of(i); ++x) {
        set_bit(rows_.data() + i * words_, *x);
      }
    }
  }

  const Word* row(std::size_t i) const { return rows_.data() + i * words_; }

  // Under a bound, the new cliques of exactly the bound's size are those
  // through the edge; each is a key of the top level of its own, born now.
  void add_top_cliques(DenseVertex u, DenseVertex v) {
    for_each_clique_of_size(view_.local(), cap_ - 2, ticker_, [&](const std::vector<DenseVertex>& inner) {
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

  GrowingGraph graph_;
  EdgeView view_;
  ComponentLevels levels_;
  // Every clique that was ever maximal, numbered in order of appearance:
  // low_ holds its slots at levels 0 and 1 (kNone where it takes no part),
  // live_ the ones maximal now with three vertices or more, and their slots
  // at the levels above.
  std::size_t cliques_ = 0;
  std::vector<SlotIndex> low_;
  LiveCliques live_;
  std::vector<std::uint32_t> clique_of_vertex_;  // the first clique that held each vertex
  PackedSets<DenseVertex> apart_;      // top-level keys under a bound, never closed before the end
  std::vector<double> apart_births_;

  // Scratch of one step.
  PackedSets<DenseVertex> inner_;        // K of each new clique, in local numbers
  std::vector<CliqueRef> new_refs_;      // the step's new cliques
  std::vector<SlotIndex> slots_;         // the slots of the clique being added, by level
  std::vector<SlotIndex> high_;
  std::vector<DenseVertex> clique_;
  std::vector<DenseVertex> side_;
  std::vector<Word> rows_;
  std::size_t words_ = 0;
  std::vector<std::uint32_t> by_size_;
  std::vector<std::pair<SlotIndex, std::uint32_t>> members_;  // (class root, clique) at one level
  std::vector<std::size_t> group_starts_;
  std::vector<std::uint32_t> waiting_;  // groups of members_ not in a class grown yet
  std::vector<std::uint32_t> grown_;    // cliques of the class being grown
  const FirstSharing first_sharing_ = first_sharing_for();
};

}  // namespace korvane
