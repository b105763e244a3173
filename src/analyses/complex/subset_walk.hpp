// The depth-first walk over shared vertex subsets of the complex analysis.
//
// A group is a subset T and every simplex that contains it, each cut down to
// its vertices ranked after T's last one and not yet known to be common (a
// projected copy, so a group is scanned sequentially). The members share T,
// the vertices found common at the ancestors (`known` counts both), and the
// vertices common to all of their own copies: one chain of facts with that
// count covers the group. Children extend T by one vertex of the copies that
// is not common to all.
//
// Follow the intersection S of any pair from its lowest vertex: each vertex
// of S is either taken as the next extension or was found common at an
// ancestor, so the walk reaches a group whose members are exactly the holders
// of S, where the count is |S|. A group may instead be settled at once (every
// pair's overlap counted, see group_settler.hpp), which gives known plus the
// overlap of the copies: again |S| on the path of that pair.
//
// Splitting pays off when many members share few vertices (popular vertices:
// a chain joins thousands of members at once); settling when members are few
// or their copies long and overlapping (where splitting enumerates ever more
// subsets). Each group picks the cheaper by estimate (the strategy table:
// strategy.hpp), and a split that costs more than settling would have stops
// and settles instead, so no group costs much more than settling it
// outright. Before a split, members with equal copies are merged: they
// share everything.
//
// The clique analysis walks its maximal cliques the same way in a plainer
// form (graph/clique_overlaps.cpp); both split groups through GroupSplit
// (shared/group_split.hpp).
//
// A group whose copies draw on at most 64 shared vertices goes to the mask
// walk (mask_walk.hpp), one word per member; so do, straight from a split,
// the children of the group's 64 most popular shared vertices, whose copies
// hold only those.
//
// A group always keeps a small simplex; pairs of large simplices are settled
// apart, all together.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "analyses/complex/group_settler.hpp"
#include "analyses/complex/mask_walk.hpp"
#include "analyses/complex/simplex_forests.hpp"
#include "analyses/complex/simplex_table.hpp"
#include "analyses/complex/strategy.hpp"
#include "analyses/shared/group_split.hpp"
#include "analyses/shared/record_store.hpp"
#include "core/failure.hpp"
#include "core/hashing.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

template <class Idx>
class SimplexSubsetWalk {
 public:
  SimplexSubsetWalk(const SimplexTable<Idx>& table, SimplexForests<Idx>& forests, GroupSettler<Idx>& settler,
             const WalkPolicy& policy, InterruptTicker& ticker)
      : table_(table),
        forests_(forests),
        settler_(settler),
        policy_(policy),
        ticker_(ticker),
        masks_(table, forests, policy_, ticker, work_),
        counts_(table.vertex_count),
        bit_(table.vertex_count, kNoBit) {}

  // One root group per vertex x held by two or more simplices, one of them
  // small: its members are their suffixes after x. A member with nothing
  // after x shares only x with the others, which level 0 has already.
  void run() {
    for (std::size_t x = 0; x < table_.vertex_count; ++x) {
      const Group root = build_root(x);
      if (root.members >= 2) visit(1, root);
      arena_.truncate(root.start);
    }
  }

 private:
  static constexpr std::uint8_t kNoBit = 0xff;
  static constexpr std::size_t kAhead = 8;

  static void prefetch(const void* at) noexcept {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
  }

  // Members in arena_[start, end), each a projected record.
  struct Group {
    std::size_t start;
    std::size_t end;
    std::size_t members;
  };
  struct Tally {
    GroupShape shape;
    double items = 0;          // items of all copies
    double child_slots = 0;    // slots the record children's copies take
    double core_members = 0;   // members of the mask children
    Idx core_from = kNone<Idx>;  // spread vertices from this rank on form the core
  };

  Group build_root(std::size_t x) {
    const std::size_t start = arena_.end_offset();
    const Idx* begin = table_.holders.begin(x);
    const Idx* end = table_.holders.end(x);
    // Holders are by id and small ids come last.
    if (end - begin < 2 || !table_.is_small(table_.records.at(end[-1]).id())) {
      return Group{start, start, 0};
    }
    std::size_t members = 0;
    bool small = false;
    for (const Idx* h = begin; h < end; ++h) {
      // Holders lie scattered over the table: fetch a few ahead.
      if (end - h > static_cast<std::ptrdiff_t>(kAhead)) prefetch(table_.records.at(h[kAhead]).begin());
      const Record<Idx> rec = table_.records.at(*h);
      const Idx* after = std::upper_bound(rec.begin(), rec.end(), static_cast<Idx>(x));
      if (after == rec.end()) continue;
      arena_.append(rec.id(), after, rec.end());
      ++members;
      small = small || table_.is_small(rec.id());
      ticker_.tick(rec.size() + 1);
    }
    return Group{start, arena_.end_offset(), small ? members : 0};
  }

  // Chains, walks as masks, settles or splits the group (strategy.hpp).
  void visit(std::size_t known, Group group) {
    if (group.members < 2) return;
    Tally t = tally(group);
    if (t.shape.spread == 0) {
      // Every pair shares exactly the common vertices (the usual root over
      // rare vertices).
      counts_.clear();
      if (known + t.shape.common >= 2) chain(group, known + t.shape.common);
      return;
    }
    if (t.shape.spread <= policy_.mask_vertices_max) return visit_as_masks(known, group, t);
    tally_children(group, t);
    double settling = settle_cost(t.shape, policy_.overlaps);
    if (settle_first(t, settling)) {
      settle_counted(known, group, t, settling);
      return;
    }
    // Settling deals with equal copies in a pass each; splitting would
    // repeat them in every child.
    if (group.members >= policy_.twin_check_min) {
      counts_.clear();
      group = merge_equal(known, group);
      if (group.members < 2) return;
      t = tally(group);
      tally_children(group, t);
      settling = settle_cost(t.shape, policy_.overlaps);
    }
    // A split whose work passes the settling estimate stops, and the group
    // is settled after all: no group costs much more than settling it.
    const double limit = policy_.adaptive() ? work_ + settling : kNoLimit;
    if (!split(known, group, t, limit)) settle(known, group, settling);
  }

  // Hands the group to the mask walk: bit i for the i-th spread vertex by
  // rank, the common vertices counted in `known`.
  void visit_as_masks(std::size_t known, const Group& group, const Tally& t) {
    spread_.clear();
    for (Idx v : counts_.touched()) {
      if (counts_.holders(v) >= 2 && counts_.holders(v) < group.members) spread_.push_back(v);
    }
    const std::size_t start = push_masks(group);
    counts_.clear();
    masks_.solve(known + t.shape.common, start);
  }

  // Pushes every member's mask over the vertices in spread_ (at most 64;
  // reordered by rank) onto the mask walk's stack; returns where they start.
  std::size_t push_masks(const Group& group) {
    std::sort(spread_.begin(), spread_.end());
    for (std::size_t i = 0; i < spread_.size(); ++i) bit_[spread_[i]] = static_cast<std::uint8_t>(i);
    auto& stack = masks_.stack();
    const std::size_t start = stack.size();
    for (Record<Idx> rec : arena_.records(group.start, group.end)) {
      Word mask = 0;
      for (Idx v : rec) {
        if (bit_[v] != kNoBit) mask |= Word{1} << bit_[v];
      }
      stack.push_back({mask, 0, rec.id()});
      ticker_.tick(rec.size() + 1);
    }
    for (Idx v : spread_) bit_[v] = kNoBit;
    return start;
  }

  void chain(const Group& group, std::size_t shared) {
    const Idx first = arena_.at(group.start).id();
    for (Record<Idx> rec : arena_.records(arena_.next(group.start), group.end)) forests_.join(first, rec.id(), shared);
  }

  bool settle_first(const Tally& t, double settling) const {
    if (!policy_.adaptive()) return t.shape.members <= policy_.settle_max;
    return settling <= policy_.split_advantage * split_cost(t);
  }

  // Settles the group with the tally's counts, then clears the tally.
  void settle_counted(std::size_t known, const Group& group, const Tally& t, double estimate) {
    counted_.clear();
    for (Idx v : counts_.touched()) {
      if (counts_.holders(v) >= 2 && counts_.holders(v) < group.members) counted_.emplace_back(v, counts_.holders(v));
    }
    counts_.clear();
    members_.clear();
    for (Record<Idx> rec : arena_.records(group.start, group.end)) members_.push_back(rec);
    settler_.settle_counted(members_, known, t.shape, counted_);
    work_ += estimate;
  }

  void settle(std::size_t known, const Group& group, double estimate) {
    members_.clear();
    for (Record<Idx> rec : arena_.records(group.start, group.end)) members_.push_back(rec);
    settler_.settle(members_, known);
    work_ += estimate;
  }

  // Members with equal copies share known + that many vertices: they are
  // joined, and the first stands for the others from here on.
  Group merge_equal(std::size_t known, Group group) {
    keyed_.clear();
    const auto records = arena_.records(group.start, group.end);
    for (auto it = records.begin(); it != records.end(); ++it) {
      const Record<Idx> rec = *it;
      std::uint64_t h = rec.size();
      for (Idx v : rec) h = hash_(h + v);
      keyed_.push_back({h, it.offset()});
      ticker_.tick(rec.size() + 1);
    }
    std::sort(keyed_.begin(), keyed_.end());
    dropped_.clear();
    for (std::size_t i = 0; i < keyed_.size();) {
      std::size_t j = i;
      while (j < keyed_.size() && keyed_[j].first == keyed_[i].first) ++j;
      drop_equal_in_run(known, i, j);
      i = j;
    }
    work_ += static_cast<double>(group.members) * Costs::kMember;
    if (dropped_.empty()) return group;
    std::sort(dropped_.begin(), dropped_.end());
    group.end = arena_.remove_records(group.start, group.end, dropped_);
    group.members -= dropped_.size();
    return group;
  }

  // keyed_[i, j) share a hash; a record equal to an earlier kept one joins
  // it and is dropped (its offset marked kGone in keyed_).
  void drop_equal_in_run(std::size_t known, std::size_t i, std::size_t j) {
    for (std::size_t a = i + 1; a < j; ++a) {
      const Record<Idx> ra = arena_.at(keyed_[a].second);
      for (std::size_t b = i; b < a; ++b) {
        if (keyed_[b].second == kGone) continue;
        const Record<Idx> rb = arena_.at(keyed_[b].second);
        if (ra.size() == rb.size() && std::equal(ra.begin(), ra.end(), rb.begin())) {
          forests_.join(rb.id(), ra.id(), known + ra.size());
          dropped_.push_back(keyed_[a].second);
          keyed_[a].second = kGone;
          break;
        }
      }
      ticker_.tick(a - i + 1);
    }
  }

  // Joins the members at the group's closure, projects the record children
  // and visits them, and walks the core's children as masks (bits over the
  // core vertices by rank, so a child keeps the bits above its own). Returns
  // false when the work passes `limit` before the last child.
  bool split(std::size_t known, const Group& group, const Tally& t, double limit) {
    const std::size_t closure = known + t.shape.common;
    const std::size_t arena_base = arena_.end_offset();
    const std::size_t child_base = counts_.plan(group.members, t.core_from, arena_);
    counts_.project(
        arena_, group.start, group.end, group.members, child_base,
        [&](Idx first, Idx other) { forests_.join(first, other, closure); }, ticker_);
    const bool core = t.core_from != kNone<Idx>;
    std::size_t core_start = 0;
    if (core) {
      spread_.clear();
      for (Idx v : counts_.touched()) {
        if (counts_.holders(v) >= 2 && counts_.holders(v) < group.members && v >= t.core_from) spread_.push_back(v);
      }
      core_start = push_masks(group);
    }
    counts_.clear();
    work_ += split_cost(t);
    bool done = !core || masks_.solve_children(closure, core_start, limit);
    for (std::size_t c = child_base; c < counts_.child_count() && done; ++c) {
      const auto child = counts_.child(c);  // visits may add children
      done = work_ <= limit;
      if (done) visit(closure + 1, Group{child.start, child.fill, child.members});
    }
    counts_.drop_children(child_base);
    arena_.truncate(arena_base);
    return done;
  }

  double split_cost(const Tally& t) const {
    return split_first_step(static_cast<double>(t.shape.members), t.items, t.child_slots, t.core_members);
  }

  // Counts, for every vertex of the group, the members holding it: all that
  // most groups need (those whose pairs share the common vertices alone, and
  // those walked as masks).
  Tally tally(const Group& group) {
    Tally t;
    counts_.start_tally();
    for (Record<Idx> rec : arena_.records(group.start, group.end)) {
      for (Idx v : rec) counts_.count(v);
      t.items += static_cast<double>(rec.size());
      ticker_.tick(rec.size() + 1);
    }
    t.shape.members = group.members;
    spread_.clear();
    spread_counts_.clear();
    for (Idx v : counts_.touched()) {
      const Idx holders = counts_.holders(v);
      if (holders == group.members) {
        ++t.shape.common;
      } else if (holders >= 2) {
        spread_.push_back(v);
        spread_counts_.push_back(holders);
      }
    }
    add_spread(t.shape, spread_counts_);
    return t;
  }

  // For a group that may be split, after tally(): the slots each vertex's
  // child's copies could take, which vertices a small member holds, and the
  // core.
  void tally_children(const Group& group, Tally& t) {
    for (Record<Idx> rec : arena_.records(group.start, group.end)) {
      counts_.count_slots(rec, table_.is_small(rec.id()));
      ticker_.tick(rec.size() + 1);
    }
    find_core(t);
  }

  // The core: the most popular spread vertices (ranked last), as many as a
  // mask holds. Their children hold only core vertices, so a split makes
  // them as masks straight away.
  void find_core(Tally& t) {
    const std::size_t size = policy_.mask_vertices_max;
    if (size > 0 && spread_.size() > size) {
      std::nth_element(spread_.begin(), spread_.begin() + static_cast<std::ptrdiff_t>(size - 1), spread_.end(),
                       std::greater<Idx>());
      t.core_from = spread_[size - 1];
    }
    for (Idx v : spread_) {
      if (!counts_.held_by_small(v)) continue;
      if (v < t.core_from) {
        t.child_slots += static_cast<double>(counts_.slots(v));
      } else {
        t.core_members += static_cast<double>(counts_.holders(v));
      }
    }
  }

  static constexpr std::size_t kGone = kNone<std::size_t>;

  const SimplexTable<Idx>& table_;
  SimplexForests<Idx>& forests_;
  GroupSettler<Idx>& settler_;
  const WalkPolicy policy_;
  InterruptTicker& ticker_;
  const SeededHash hash_;
  // Work done so far, in the units of the cost estimates.
  double work_ = 0;

  MaskWalk<Idx> masks_;
  // The tally of a group, and its children (record children: those below the
  // core) stacked for the groups on the walk's path.
  GroupSplit<Idx> counts_;
  std::vector<std::uint8_t> bit_;  // by vertex rank, kNoBit outside push_masks()
  std::vector<Idx> spread_;
  std::vector<Idx> spread_counts_;
  // Scratch of merge_equal() and settle().
  std::vector<std::pair<std::uint64_t, std::size_t>> keyed_;
  std::vector<std::size_t> dropped_;
  std::vector<Record<Idx>> members_;
  std::vector<std::pair<Idx, Idx>> counted_;
  // Projected records of the groups on the walk's path and their children,
  // stacked.
  RecordStore<Idx> arena_;
};

}  // namespace korvane::complex_detail
