// Hierarchical q-components without scanning all pairs of a level.
//
// If simplices a and b share w vertices they are joined at every level
// 0 .. w-1, and nowhere above. The hierarchy is therefore fixed by facts
// "a and b share at least w vertices", as long as every pair that shares
// vertices is covered by a chain of facts at its full overlap. Each fact goes
// into one disjoint-set forest per level (over the simplices that take part
// there). Levels nest, so a fact walks down from level w-1 and stops at the
// first level where a and b are already together: each level merge is paid
// for once. Level 0 needs no facts: it is the vertex-sharing closure.
//
// The facts come from a depth-first walk over shared vertex subsets, with
// vertices ranked rarest first. A node is a subset T and every simplex that
// contains it, each cut down to its vertices ranked after T's last one and
// not yet known to be common (a projected copy, so a node is scanned
// sequentially). The members share T, the vertices found common at the
// ancestors, and the vertices common to all of their own copies: one chain
// of facts with that count covers the node. Children extend T by one vertex
// of the copies that is not common to all.
//
// Follow the intersection S of any pair from its lowest vertex: each vertex
// of S is either taken as the next extension or was found common at an
// ancestor, so the walk reaches a node whose members are exactly the holders
// of S, where the count is |S|. A node with few members is instead settled
// pair by pair, counting the known common vertices plus the overlap of the
// copies, which is again |S| on the path of that pair.
//
// A node always keeps a small simplex (few vertices), which bounds the walk
// by the subsets of small simplices; pairs of large simplices are counted
// directly through a vertex index of the large ones.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "common/sorted_ranges.hpp"
#include "lib/fast_hierarchical_q_components_tuning.hpp"
#include "lib/hierarchical_q_components.hpp"

namespace korvane::fast {

namespace {

// Internally a simplex is known by its id: its position when the non-empty
// simplices are ordered by size descending, then input index. The
// participants of level q are then the ids below some bound, and the large
// simplices are the ids below another.
//
// Records, used for the simplices and for every projected copy:
// [id, length, vertex ranks ascending...].
template <class Idx>
class HierarchyBuilder {
 public:
  HierarchyBuilder(std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total,
                   const HierarchyTuning& tuning)
      : n_(simplices.size()), small_max_(tuning.small_simplex_max), pairwise_max_(tuning.pairwise_group_max) {
    build_records(simplices, raw_total);
    build_forests();
  }

  std::vector<FlatLevel> run() {
    walk_shared_subsets();
    join_large_pairs();
    return collect_levels();
  }

 private:
  static constexpr Idx kNone = std::numeric_limits<Idx>::max();

  struct Child {
    Idx members;
    std::size_t start;
    std::size_t fill;
  };

  bool is_small(Idx id) const { return id >= first_small_; }

  // Ranks the vertices rarest first, rewrites every simplex as its distinct
  // ranks, orders the simplices into ids and indexes them by rank. The input
  // vectors are released once read.
  void build_records(std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total) {
    std::vector<VertexId> all;
    all.reserve(raw_total);
    for (const auto& s : simplices) {
      all.insert(all.end(), s.begin(), s.end());
      ticker_.tick(s.size() + 1);
    }
    std::sort(all.begin(), all.end());
    ticker_.tick(raw_total);
    std::vector<VertexId> ids;
    std::vector<Idx> degree;
    for (std::size_t i = 0; i < all.size();) {
      std::size_t j = i;
      while (j < all.size() && all[j] == all[i]) ++j;
      ids.push_back(all[i]);
      degree.push_back(static_cast<Idx>(j - i));
      i = j;
    }
    std::vector<VertexId>().swap(all);
    vertex_count_ = ids.size();

    // Rare vertices first keeps the walk's nodes narrow: a popular vertex
    // extends only to vertices more popular still.
    std::vector<Idx> by_degree(vertex_count_);
    std::iota(by_degree.begin(), by_degree.end(), Idx{0});
    std::stable_sort(by_degree.begin(), by_degree.end(), [&](Idx a, Idx b) { return degree[a] < degree[b]; });
    std::vector<Idx> rank_of(vertex_count_);
    for (std::size_t r = 0; r < vertex_count_; ++r) rank_of[by_degree[r]] = static_cast<Idx>(r);
    std::vector<Idx>().swap(by_degree);
    std::vector<Idx>().swap(degree);

    // Distinct ranks per simplex, in input order for now.
    std::vector<Idx> ranks(raw_total);
    std::vector<std::size_t> offset(n_ + 1, 0);
    std::size_t at = 0;
    max_size_ = 0;
    for (std::size_t i = 0; i < n_; ++i) {
      auto& s = simplices[i];
      const std::size_t begin = at;
      for (VertexId v : s) {
        auto it = std::lower_bound(ids.begin(), ids.end(), v);
        ranks[at++] = rank_of[static_cast<std::size_t>(it - ids.begin())];
      }
      auto first = ranks.begin() + static_cast<std::ptrdiff_t>(begin);
      std::sort(first, ranks.begin() + static_cast<std::ptrdiff_t>(at));
      at = static_cast<std::size_t>(std::unique(first, ranks.begin() + static_cast<std::ptrdiff_t>(at)) - ranks.begin());
      offset[i + 1] = at;
      max_size_ = std::max(max_size_, at - begin);
      ticker_.tick(s.size() + 1);
      std::vector<VertexId>().swap(s);
    }
    const std::size_t total = at;
    ranks.resize(total);  // repeats dropped

    // Ids: size descending, then input index.
    std::vector<std::size_t> with_size(max_size_ + 2, 0);
    for (std::size_t i = 0; i < n_; ++i) ++with_size[offset[i + 1] - offset[i]];
    at_least_.assign(max_size_ + 2, 0);  // at_least_[q]: simplices with more than q vertices
    for (std::size_t q = max_size_; q-- > 0;) at_least_[q] = at_least_[q + 1] + with_size[q + 1];
    first_small_ = small_max_ < max_size_ ? at_least_[small_max_] : 0;
    position_.assign(n_, kNone);
    original_.resize(at_least_[0]);
    std::vector<std::size_t> next(max_size_ + 1, 0);
    for (std::size_t size = 1; size <= max_size_; ++size) next[size] = at_least_[size];
    for (std::size_t i = 0; i < n_; ++i) {
      const std::size_t size = offset[i + 1] - offset[i];
      if (size == 0) continue;
      const std::size_t id = next[size]++;
      original_[id] = static_cast<Idx>(i);
      position_[i] = static_cast<Idx>(id);
    }

    record_at_.resize(at_least_[0] + 1);
    records_.resize(2 * at_least_[0] + total);
    std::size_t put = 0;
    for (std::size_t id = 0; id < at_least_[0]; ++id) {
      const std::size_t i = original_[id];
      record_at_[id] = put;
      records_[put++] = static_cast<Idx>(id);
      records_[put++] = static_cast<Idx>(offset[i + 1] - offset[i]);
      for (std::size_t k = offset[i]; k < offset[i + 1]; ++k) records_[put++] = ranks[k];
      ticker_.tick(offset[i + 1] - offset[i] + 1);
    }
    record_at_[at_least_[0]] = put;

    // Rank -> offsets of the records holding it, ascending (so by id).
    holder_start_.assign(vertex_count_ + 1, 0);
    for (Idx x : ranks) ++holder_start_[static_cast<std::size_t>(x) + 1];
    for (std::size_t x = 0; x < vertex_count_; ++x) holder_start_[x + 1] += holder_start_[x];
    std::vector<Idx>().swap(ranks);
    holders_.resize(total);
    std::vector<std::size_t> fill(holder_start_.begin(), holder_start_.end() - 1);
    for (std::size_t id = 0; id < at_least_[0]; ++id) {
      const std::size_t r = record_at_[id];
      const std::size_t len = records_[r + 1];
      for (std::size_t k = 0; k < len; ++k) holders_[fill[records_[r + 2 + k]]++] = static_cast<Idx>(r);
      ticker_.tick(len + 1);
    }
  }

  // One forest per level q >= 1 over the ids below at_least_[q]. Level 0
  // joins every pair sharing a vertex, so its forest is over vertex ranks
  // instead: a simplex sits with its vertices, and joining through vertices
  // stays within a table that is small and scanned in order.
  void build_forests() {
    level_base_.assign(max_size_ + 1, 0);
    level_base_[1] = vertex_count_;
    for (std::size_t q = 2; q <= max_size_; ++q) level_base_[q] = level_base_[q - 1] + at_least_[q - 1];
    parent_.resize(level_base_[max_size_]);
    rank_.assign(level_base_[max_size_], 0);
    std::iota(parent_.begin(), parent_.begin() + static_cast<std::ptrdiff_t>(vertex_count_), Idx{0});
    for (std::size_t q = 1; q < max_size_; ++q) {
      Idx* p = parent_.data() + level_base_[q];
      for (std::size_t j = 0; j < at_least_[q]; ++j) p[j] = static_cast<Idx>(j);
    }
    for (std::size_t r = 0; r < records_.size(); r += 2 + records_[r + 1]) {
      for (std::size_t k = 1; k < records_[r + 1]; ++k) unite(0, records_[r + 2], records_[r + 2 + k]);
      ticker_.tick(records_[r + 1] + 1);
    }
  }

  static Idx find(Idx* parent, Idx x) {
    while (parent[x] != x) {
      parent[x] = parent[parent[x]];
      x = parent[x];
    }
    return x;
  }

  // False when a and b were already together at level q.
  bool unite(std::size_t q, Idx a, Idx b) {
    Idx* parent = parent_.data() + level_base_[q];
    Idx ra = find(parent, a);
    Idx rb = find(parent, b);
    if (ra == rb) return false;
    std::uint8_t* rank = rank_.data() + level_base_[q];
    if (rank[ra] < rank[rb]) std::swap(ra, rb);
    parent[rb] = ra;
    if (rank[ra] == rank[rb]) ++rank[ra];
    return true;
  }

  // Records that simplices a and b (ids) share at least `shared` vertices.
  // Level 0 has all its joins already.
  void join(Idx a, Idx b, std::size_t shared) {
    if (shared <= 1) return;
    if (shared > max_size_ || a >= at_least_[shared - 1] || b >= at_least_[shared - 1]) {
      throw InternalFailure("shared vertices exceed a simplex size");
    }
    for (std::size_t q = shared - 1; q >= 1; --q) {
      if (!unite(q, a, b)) return;  // together here, hence on every level below
    }
  }

  void walk_shared_subsets() {
    count_.assign(vertex_count_, 0);
    need_.assign(vertex_count_, 0);
    has_small_.assign(vertex_count_, 0);
    slot_.assign(vertex_count_, kNone);
    const std::size_t first_small_record = record_at_[first_small_];
    for (std::size_t x = 0; x < vertex_count_; ++x) {
      const std::size_t begin = holder_start_[x];
      const std::size_t end = holder_start_[x + 1];
      // Holders are by id and small ids come last.
      if (end - begin < 2 || holders_[end - 1] < first_small_record) continue;
      const Idx rank = static_cast<Idx>(x);
      const std::size_t start = arena_.size();
      for (std::size_t h = begin; h < end; ++h) {
        const Idx* rec = records_.data() + holders_[h];
        const Idx* vs = rec + 2;
        const Idx* ve = vs + rec[1];
        const Idx* after = std::upper_bound(vs, ve, rank);
        arena_.push_back(rec[0]);
        arena_.push_back(static_cast<Idx>(ve - after));
        arena_.insert(arena_.end(), after, ve);
        ticker_.tick(static_cast<std::size_t>(ve - vs) + 1);
      }
      visit(1, start, arena_.size(), end - begin);
      arena_.resize(start);
    }
  }

  // Pairs where both sides are large are left to join_large_pairs.
  void compare_pairwise(std::size_t known, std::size_t start, std::size_t end) {
    pair_records_.clear();
    for (std::size_t r = start; r < end; r += 2 + arena_[r + 1]) pair_records_.push_back(r);
    const Idx* a = arena_.data();
    for (std::size_t i = 0; i < pair_records_.size(); ++i) {
      const Idx* ri = a + pair_records_[i];
      for (std::size_t j = i + 1; j < pair_records_.size(); ++j) {
        const Idx* rj = a + pair_records_[j];
        if (!is_small(ri[0]) && !is_small(rj[0])) continue;
        join(ri[0], rj[0], known + count_common_sorted(ri + 2, ri + 2 + ri[1], rj + 2, rj + 2 + rj[1]));
        ticker_.tick(ri[1] + rj[1] + 1);
      }
    }
  }

  // A node: `members` projected records in arena_[start, end), at least two,
  // one of them small. `known` counts the vertices known to be common to all
  // of them that their records no longer hold. A child's region is sized
  // for its full suffixes and filled with fewer, so regions may end in
  // unused slack.
  void visit(std::size_t known, std::size_t start, std::size_t end, std::size_t members) {
    if (members <= pairwise_max_) {
      compare_pairwise(known, start, end);
      return;
    }
    touched_.clear();
    for (std::size_t r = start; r < end;) {
      const Idx* rec = arena_.data() + r;
      const std::size_t len = rec[1];
      const bool small = is_small(rec[0]);
      for (std::size_t k = 0; k < len; ++k) {
        const Idx v = rec[2 + k];
        if (count_[v]++ == 0) touched_.push_back(v);
        need_[v] += 2 + (len - k - 1);
        if (small) has_small_[v] = 1;
      }
      r += 2 + len;
      ticker_.tick(len + 1);
    }

    std::size_t common = 0;
    for (Idx v : touched_) common += (count_[v] == members);
    const std::size_t closure = known + common;

    // Children: vertices outside the common part held by two or more
    // members, one of them small.
    const std::size_t child_base = children_.size();
    const std::size_t arena_base = arena_.size();
    std::size_t total = 0;
    for (Idx v : touched_) {
      if (count_[v] >= 2 && count_[v] < members && has_small_[v]) {
        slot_[v] = static_cast<Idx>(children_.size() - child_base);
        children_.push_back(Child{count_[v], arena_base + total, arena_base + total});
        total += need_[v];
      }
    }
    arena_.resize(arena_base + total);
    Child* kids = children_.data() + child_base;
    const Idx first = arena_[start];
    for (std::size_t r = start; r < end;) {
      Idx* rec = arena_.data() + r;
      const std::size_t len = rec[1];
      if (r != start) join(first, rec[0], closure);
      for (std::size_t k = 0; k < len; ++k) {
        const Idx s = slot_[rec[2 + k]];
        if (s == kNone) continue;
        // The child's copy drops the vertices common to this node: they are
        // counted in its `known` already.
        Child& c = kids[s];
        Idx* out = arena_.data() + c.fill;
        Idx* put = out + 2;
        for (std::size_t t = k + 1; t < len; ++t) {
          const Idx v = rec[2 + t];
          if (count_[v] != members) *put++ = v;
        }
        out[0] = rec[0];
        out[1] = static_cast<Idx>(put - (out + 2));
        c.fill = static_cast<std::size_t>(put - arena_.data());
      }
      r += 2 + len;
      ticker_.tick(len + 1);
    }
    for (Idx v : touched_) {
      count_[v] = 0;
      need_[v] = 0;
      has_small_[v] = 0;
      slot_[v] = kNone;
    }

    const std::size_t child_end = children_.size();
    for (std::size_t c = child_base; c < child_end; ++c) {
      const Child child = children_[c];
      visit(closure + 1, child.start, child.fill, child.members);
    }
    children_.resize(child_base);
    arena_.resize(arena_base);
  }

  // Overlaps between large simplices (ids below first_small_), counted
  // through an index of the large ones only; each pair once, from its later
  // member.
  void join_large_pairs() {
    const std::size_t large = first_small_;
    if (large < 2) return;
    std::vector<std::size_t> start(vertex_count_ + 1, 0);
    for (std::size_t r = 0; r < record_at_[large]; r += 2 + records_[r + 1]) {
      for (std::size_t k = 0; k < records_[r + 1]; ++k) ++start[static_cast<std::size_t>(records_[r + 2 + k]) + 1];
    }
    for (std::size_t x = 0; x < vertex_count_; ++x) start[x + 1] += start[x];
    std::vector<Idx> holders(start[vertex_count_]);
    std::vector<std::size_t> fill(start.begin(), start.end() - 1);
    for (std::size_t r = 0; r < record_at_[large]; r += 2 + records_[r + 1]) {
      for (std::size_t k = 0; k < records_[r + 1]; ++k) holders[fill[records_[r + 2 + k]]++] = records_[r];
    }

    std::vector<Idx> shared(large, 0);
    std::vector<Idx> seen;
    for (std::size_t id = 0; id < large; ++id) {
      seen.clear();
      const std::size_t r = record_at_[id];
      for (std::size_t k = 0; k < records_[r + 1]; ++k) {
        const std::size_t x = records_[r + 2 + k];
        // holders of a vertex are ascending: stop at this simplex
        for (std::size_t h = start[x]; h < start[x + 1] && holders[h] < id; ++h) {
          if (shared[holders[h]]++ == 0) seen.push_back(holders[h]);
        }
        ticker_.tick(start[x + 1] - start[x] + 1);
      }
      for (Idx other : seen) {
        join(static_cast<Idx>(id), other, shared[other]);
        shared[other] = 0;
      }
    }
  }

  // Reads the forests out. Every level lists its components by ascending
  // smallest index, members ascending; level 0 needs that order, the others
  // get it for free. Participants of level q in ascending index order are
  // those of level q + 1 merged with the simplices of exactly q + 1 vertices.
  std::vector<FlatLevel> collect_levels() {
    std::vector<FlatLevel> levels(max_size_);
    std::vector<Idx> current;
    std::vector<Idx> merged;
    std::vector<Idx> label(std::max(at_least_[0], vertex_count_), kNone);
    std::vector<Idx> roots;
    std::vector<Idx> component_of;
    std::vector<std::size_t> cursor;
    for (std::size_t q = max_size_; q-- > 0;) {
      const Idx* exact_begin = original_.data() + at_least_[q + 1];
      const Idx* exact_end = original_.data() + at_least_[q];
      merged.resize(current.size() + static_cast<std::size_t>(exact_end - exact_begin));
      std::merge(current.begin(), current.end(), exact_begin, exact_end, merged.begin());
      current.swap(merged);

      Idx* parent = parent_.data() + level_base_[q];
      roots.clear();
      component_of.resize(current.size());
      for (std::size_t j = 0; j < current.size(); ++j) {
        const Idx id = position_[current[j]];
        const Idx r = find(parent, q == 0 ? records_[record_at_[id] + 2] : id);
        if (label[r] == kNone) {
          label[r] = static_cast<Idx>(roots.size());
          roots.push_back(r);
        }
        component_of[j] = label[r];
        ticker_.tick();
      }
      FlatLevel& level = levels[q];
      level.starts.assign(roots.size() + 1, 0);
      for (Idx c : component_of) ++level.starts[static_cast<std::size_t>(c) + 1];
      for (std::size_t c = 0; c < roots.size(); ++c) level.starts[c + 1] += level.starts[c];
      level.members.resize(current.size());
      cursor.assign(level.starts.begin(), level.starts.end() - 1);
      for (std::size_t j = 0; j < current.size(); ++j) level.members[cursor[component_of[j]]++] = current[j];
      for (Idx r : roots) label[r] = kNone;
      ticker_.tick(current.size());
    }
    return levels;
  }

  std::size_t n_;
  std::size_t small_max_;
  std::size_t pairwise_max_;
  std::size_t max_size_ = 0;
  std::size_t vertex_count_ = 0;
  std::size_t first_small_ = 0;
  InterruptTicker ticker_;

  std::vector<std::size_t> at_least_;
  std::vector<Idx> position_;  // input index -> id (kNone when empty)
  std::vector<Idx> original_;  // id -> input index
  std::vector<Idx> records_;   // one record per id, in id order
  std::vector<std::size_t> record_at_;
  // Records holding rank x: holders_[holder_start_[x] .. holder_start_[x + 1]).
  std::vector<std::size_t> holder_start_;
  std::vector<Idx> holders_;

  std::vector<std::size_t> level_base_;
  std::vector<Idx> parent_;
  std::vector<std::uint8_t> rank_;

  // Walk scratch, indexed by vertex rank and reset after each node.
  std::vector<Idx> count_;
  std::vector<std::size_t> need_;
  std::vector<std::uint8_t> has_small_;
  std::vector<Idx> slot_;
  std::vector<Idx> touched_;
  std::vector<std::size_t> pair_records_;
  // Projected records of the nodes on the walk's path and their children,
  // stacked.
  std::vector<Child> children_;
  std::vector<Idx> arena_;
};

}  // namespace

std::vector<FlatLevel> find_hierarchical_q_components(std::vector<std::vector<VertexId>> simplices,
                                                      const HierarchyTuning& tuning) {
  if (simplices.empty()) return {};
  std::size_t raw_total = 0;
  for (const auto& s : simplices) raw_total += s.size();
  if (raw_total == 0) return std::vector<FlatLevel>(1);

  // 32-bit indices halve the memory of every table; they serve whenever the
  // records of all simplices fit below the reserved value.
  constexpr std::size_t narrow_limit = std::numeric_limits<std::uint32_t>::max();
  if (!tuning.wide_indices && raw_total + 2 * simplices.size() < narrow_limit) {
    return HierarchyBuilder<std::uint32_t>(simplices, raw_total, tuning).run();
  }
  return HierarchyBuilder<std::uint64_t>(simplices, raw_total, tuning).run();
}

std::vector<FlatLevel> find_hierarchical_q_components(std::vector<std::vector<VertexId>> simplices) {
  return find_hierarchical_q_components(std::move(simplices), HierarchyTuning{});
}

}  // namespace korvane::fast
