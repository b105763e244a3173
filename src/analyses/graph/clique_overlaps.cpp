// Overlaps among maximal cliques, without scanning all overlapping pairs.
//
// If cliques a and b share s vertices they are joined at every clique size
// 2 .. s. The levels are therefore fixed by facts "a and b share at least s
// vertices", as long as every overlapping pair is covered by a chain of facts
// at its full overlap. Each fact goes straight into the forests.
//
// Only cliques of four or more vertices can share three. Their facts come
// from a depth-first walk over shared vertex subsets, vertices taken in
// ascending order. A node is a subset T and every clique that contains it,
// each cut down to its vertices after T's last one and not yet known to be
// common (a projected copy, so a node is scanned sequentially). The members share T, the
// vertices found common at the ancestors and the vertices common to all of
// their own copies: one chain of facts with that count (the closure) covers
// the node. Children extend T by one vertex of the copies that is not common
// to all.
//
// Follow the intersection S of any pair from its lowest vertex: each vertex of
// S is either taken as the next extension or was found common at an
// ancestor, so the walk reaches a node whose members are exactly the holders
// of S, where the closure is |S|. A node with few members is instead settled
// pair by pair, counting the known common vertices plus the overlap of the
// copies, which is again |S| on the path of that pair. Nodes whose closure
// reaches the top size have every member joined on every level already, so
// their children are skipped.
//
// A node always keeps a small clique, which bounds the walk by the subsets
// of small cliques; pairs of large cliques are counted directly through a
// vertex index of the large ones.
//
// This is the walk of the complex analysis (complex/subset_walk.hpp) in its
// plain form, and both split a node through GroupSplit (shared/
// group_split.hpp). What differs is named here: a node of at most
// pairwise_group_max members is compared pair by pair, a larger one is
// always split, and the walk stops at the top clique size. Maximal cliques
// are few per vertex and their overlaps small, so the estimates, masks and
// spanning forests that simplices need would not pay here.
#include "analyses/graph/clique_overlaps.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "analyses/shared/group_split.hpp"
#include "analyses/shared/holder_index.hpp"
#include "analyses/shared/record_store.hpp"
#include "core/failure.hpp"
#include "core/sorted_ranges.hpp"

namespace korvane {

CliqueForests::CliqueForests(const CliqueTable& table, std::size_t top) : table_(table), top_(top), levels_(top + 1) {
  for (std::size_t k = 3; k <= top; ++k) levels_.set(k, table.at_least(k + 1));
}

void CliqueForests::join_from(CliqueIndex a, CliqueIndex b, std::size_t highest) {
  if (std::max(a, b) >= table_.at_least(highest + 1)) {
    throw InternalFailure("two cliques share more vertices than one of them holds");
  }
  levels_.unite_down(a, b, highest, 3);
}

namespace {

// The cliques of four or more vertices holding each vertex, ascending by id
// (so the large ones first), for the ids below `count`.
HolderIndex<CliqueIndex> index_by_vertex(const CliqueTable& table, std::size_t count, InterruptTicker& ticker) {
  HolderIndex<CliqueIndex> index;
  index.build(
      table.vertex_count(),
      [&](auto&& visit) {
        table.for_each(0, count, [&](std::size_t id, CliqueTable::Vertices clique) {
          visit(static_cast<CliqueIndex>(id), clique.first, clique.last);
        });
      },
      ticker);
  return index;
}

// The walk over the cliques of four or more vertices, the ids below
// at_least(4).
class CliqueSubsetWalk {
 public:
  CliqueSubsetWalk(const CliqueTable& table, CliqueForests& forests, std::size_t first_small, const OverlapTuning& tuning,
             InterruptTicker& ticker)
      : table_(table),
        forests_(forests),
        first_small_(first_small),
        pairwise_max_(tuning.pairwise_group_max),
        ticker_(ticker),
        counts_(table.vertex_count()) {}

  // One root node per vertex held by two or more cliques, one of them small:
  // its members are their suffixes after that vertex. A root with few
  // members compares them whole instead, each pair only at the lowest vertex
  // it shares (the full overlap counted there, no copy made).
  void run() {
    const HolderIndex<CliqueIndex> index = index_by_vertex(table_, table_.at_least(4), ticker_);
    for (std::size_t x = 0; x < table_.vertex_count(); ++x) {
      // Holders ascend by id: the small ones come last.
      const CliqueIndex* begin = index.begin(x);
      const CliqueIndex* end = index.end(x);
      if (end - begin < 2 || end[-1] < first_small_) continue;
      if (static_cast<std::size_t>(end - begin) <= pairwise_max_) {
        compare_whole(static_cast<DenseVertex>(x), begin, end);
        continue;
      }
      for (const CliqueIndex* h = begin; h != end; ++h) {
        const CliqueIndex id = *h;
        const CliqueTable::Vertices clique = table_.clique(id);
        arena_.append(id, std::upper_bound(clique.first, clique.last, static_cast<DenseVertex>(x)), clique.last);
        ticker_.tick(clique.size());
      }
      visit(1, 0, arena_.end_offset(), static_cast<std::size_t>(end - begin));
      arena_.truncate(0);
    }
  }

 private:
  // The holders [begin, end) of x, pair by pair, by their vertices after x;
  // pairs of two large cliques are left to the large-pair count. A pair
  // that shares vertices below x undercounts here, harmlessly: its full
  // overlap is counted at the lowest vertex it shares.
  void compare_whole(DenseVertex x, const CliqueIndex* begin, const CliqueIndex* end) {
    whole_.clear();
    for (const CliqueIndex* h = begin; h != end; ++h) {
      const CliqueTable::Vertices clique = table_.clique(*h);
      whole_.push_back(CliqueTable::Vertices{std::upper_bound(clique.first, clique.last, x), clique.last});
    }
    const std::size_t members = whole_.size();
    for (std::size_t a = 0; a < members; ++a) {
      if (whole_[a].size() < 2) continue;  // one more than x shared at most
      for (std::size_t b = a + 1; b < members; ++b) {
        if (whole_[b].size() < 2 || (!is_small(begin[a]) && !is_small(begin[b]))) continue;
        ticker_.tick(whole_[a].size() + whole_[b].size());
        const std::size_t shared = 1 + common(whole_[a], whole_[b]);
        if (shared >= 3) forests_.join(begin[a], begin[b], shared);
      }
    }
  }

  // Vertices common to two ascending ranges. Short ones compare every pair
  // without a branch: a merge mispredicts at every step.
  static std::size_t common(CliqueTable::Vertices a, CliqueTable::Vertices b) {
    if (a.size() * b.size() > 64) return count_common_sorted(a.first, a.last, b.first, b.last);
    std::size_t shared = 0;
    for (DenseVertex u : a) {
      for (DenseVertex v : b) shared += u == v;
    }
    return shared;
  }

  bool is_small(CliqueIndex id) const noexcept { return id >= first_small_; }

  // A node: `members` projected cliques in arena_[start, end), at least two,
  // one of them small. `known` counts the vertices common to all of them
  // that their copies no longer hold. The members are joined at the node's
  // closure; children are planned only below the top size.
  void visit(std::size_t known, std::size_t start, std::size_t end, std::size_t members) {
    if (members <= pairwise_max_) {
      compare_pairwise(known, start, end);
      return;
    }
    const std::size_t closure = known + tally(start, end, members);
    const std::size_t arena_base = arena_.end_offset();
    const std::size_t child_base =
        closure < forests_.top() ? counts_.plan(members, kNone<DenseVertex>, arena_) : counts_.child_count();
    counts_.project(
        arena_, start, end, members, child_base,
        [&](CliqueIndex first, CliqueIndex other) { forests_.join(first, other, closure); }, ticker_);
    counts_.clear();
    const std::size_t child_end = counts_.child_count();
    for (std::size_t c = child_base; c < child_end; ++c) {
      const auto child = counts_.child(c);
      visit(closure + 1, child.start, child.fill, child.members);
    }
    counts_.drop_children(child_base);
    arena_.truncate(arena_base);
  }

  // Pairs where both sides are large are left to the large-pair count, and
  // pairs that cannot reach three shared vertices are skipped.
  void compare_pairwise(std::size_t known, std::size_t start, std::size_t end) {
    for (std::size_t a = start; a < end; a = arena_.next(a)) {
      const Record<DenseVertex> ra = arena_.at(a);
      if (known + ra.size() < 3) continue;
      for (std::size_t b = arena_.next(a); b < end; b = arena_.next(b)) {
        const Record<DenseVertex> rb = arena_.at(b);
        if (known + rb.size() < 3) continue;
        if (!is_small(ra.id()) && !is_small(rb.id())) continue;
        forests_.join(ra.id(), rb.id(), known + count_common_sorted(ra.begin(), ra.end(), rb.begin(), rb.end()));
        ticker_.tick(ra.size() + rb.size() + 1);
      }
    }
  }

  // Counts, for every vertex of the node, the members holding it and the
  // slots its child's copies could take; returns how many vertices all
  // members hold.
  std::size_t tally(std::size_t start, std::size_t end, std::size_t members) {
    counts_.start_tally();
    for (std::size_t at = start; at < end; at = arena_.next(at)) {
      const Record<DenseVertex> rec = arena_.at(at);
      counts_.count_with_slots(rec, is_small(rec.id()));
      ticker_.tick(rec.size() + 1);
    }
    std::size_t common = 0;
    for (DenseVertex v : counts_.touched()) common += (counts_.holders(v) == members);
    return common;
  }

  const CliqueTable& table_;
  CliqueForests& forests_;
  const std::size_t first_small_;  // ids below are the large cliques
  const std::size_t pairwise_max_;
  InterruptTicker& ticker_;

  // The tally of a node, and the children of the nodes on the walk's path.
  GroupSplit<DenseVertex> counts_;
  std::vector<CliqueTable::Vertices> whole_;  // the members of a root compared whole
  // Projected cliques of the nodes on the walk's path and their children,
  // stacked.
  RecordStore<DenseVertex> arena_;
};

// Overlaps between large cliques (ids below `large`, all of four or more
// vertices), counted through an index of the large ones only; each pair
// once, from its later member.
void join_large_pairs(const CliqueTable& table, std::size_t large, CliqueForests& forests,
                      InterruptTicker& ticker) {
  if (large < 2) return;
  const HolderIndex<CliqueIndex> index = index_by_vertex(table, large, ticker);
  std::vector<CliqueIndex> shared(large, 0);
  std::vector<CliqueIndex> seen;
  table.for_each(0, large, [&](std::size_t id, CliqueTable::Vertices clique) {
    seen.clear();
    for (const DenseVertex* x = clique.first; x != clique.last; ++x) {
      // Holders of a vertex ascend: stop at this clique.
      for (const CliqueIndex* h = index.begin(*x); h != index.end(*x) && *h < id; ++h) {
        if (shared[*h]++ == 0) seen.push_back(*h);
      }
      ticker.tick(index.count(*x) + 1);
    }
    for (CliqueIndex other : seen) {
      forests.join(static_cast<CliqueIndex>(id), other, shared[other]);
      shared[other] = 0;
    }
  });
}

}  // namespace

void join_overlapping_cliques(const CliqueTable& table, CliqueForests& forests, const OverlapTuning& tuning,
                              InterruptTicker& ticker) {
  if (forests.top() < 3) return;
  const std::size_t large = std::min(table.at_least(4), table.at_least(tuning.small_clique_max + 1));
  CliqueSubsetWalk(table, forests, large, tuning, ticker).run();
  join_large_pairs(table, large, forests, ticker);
}

}  // namespace korvane
