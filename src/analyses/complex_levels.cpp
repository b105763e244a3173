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
#include "analyses/complex_levels.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "analyses/simplex_records.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "core/sorted_ranges.hpp"
#include "core/union_find.hpp"

namespace korvane {

namespace {

template <class Idx>
constexpr Idx kNone = std::numeric_limits<Idx>::max();

// ---------------------------------------------------------------------------
// The table of simplices
// ---------------------------------------------------------------------------

// The simplices as the walk sees them. A simplex is known by its id: its
// position when the non-empty simplices are ordered by size descending, then
// input index. The participants of level q are then the ids below
// at_least[q], and the large simplices are the ids below first_small. A
// vertex is known by its rank, rarest first.
template <class Idx>
struct SimplexTable {
  std::size_t max_size = 0;
  std::size_t vertex_count = 0;
  std::size_t first_small = 0;
  std::vector<std::size_t> at_least;  // at_least[q]: simplices with more than q vertices
  std::vector<Idx> position;          // input index -> id (kNone when empty)
  std::vector<Idx> original;          // id -> input index
  RecordStore<Idx> records;           // one per id, in id order
  std::vector<std::size_t> record_at;  // id -> offset of its record, plus the end
  // Offsets of the records holding rank x, ascending (so by id):
  // holders[holder_start[x] .. holder_start[x + 1]).
  std::vector<std::size_t> holder_start;
  std::vector<Idx> holders;

  std::size_t simplices() const noexcept { return at_least[0]; }
  bool is_small(Idx id) const noexcept { return id >= first_small; }
  Record<Idx> record(std::size_t id) const noexcept { return records.at(record_at[id]); }
};

// Each simplex's distinct vertex ranks, back to back: simplex i holds
// ranks[offset[i] .. offset[i + 1]), ascending.
template <class Idx>
struct RankedSimplices {
  std::vector<Idx> ranks;
  std::vector<std::size_t> offset;
  std::size_t size_of(std::size_t i) const noexcept { return offset[i + 1] - offset[i]; }
};

// Distinct vertex ids ascending, and each one's rank by popularity: rare
// vertices first keeps the walk's nodes narrow, since a popular vertex then
// extends only to vertices more popular still.
struct VertexRanking {
  std::vector<VertexId> ids;
  std::vector<std::size_t> rank_of;
};

template <class Idx>
VertexRanking rank_vertices(const std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total,
                            InterruptTicker& ticker) {
  std::vector<VertexId> all;
  all.reserve(raw_total);
  for (const auto& s : simplices) {
    all.insert(all.end(), s.begin(), s.end());
    ticker.tick(s.size() + 1);
  }
  std::sort(all.begin(), all.end());
  ticker.tick(raw_total);
  VertexRanking ranking;
  std::vector<Idx> degree;
  for (std::size_t i = 0; i < all.size();) {
    std::size_t j = i;
    while (j < all.size() && all[j] == all[i]) ++j;
    ranking.ids.push_back(all[i]);
    degree.push_back(static_cast<Idx>(j - i));
    i = j;
  }
  std::vector<VertexId>().swap(all);
  std::vector<Idx> by_degree(ranking.ids.size());
  std::iota(by_degree.begin(), by_degree.end(), Idx{0});
  std::stable_sort(by_degree.begin(), by_degree.end(), [&](Idx a, Idx b) { return degree[a] < degree[b]; });
  ranking.rank_of.resize(ranking.ids.size());
  for (std::size_t r = 0; r < by_degree.size(); ++r) ranking.rank_of[by_degree[r]] = r;
  return ranking;
}

// Rewrites every simplex as its distinct ranks, releasing each input vector
// once read.
template <class Idx>
RankedSimplices<Idx> to_ranks(std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total,
                              const VertexRanking& ranking, InterruptTicker& ticker) {
  RankedSimplices<Idx> out;
  out.ranks.resize(raw_total);
  out.offset.assign(simplices.size() + 1, 0);
  std::size_t at = 0;
  for (std::size_t i = 0; i < simplices.size(); ++i) {
    auto& s = simplices[i];
    const auto first = out.ranks.begin() + static_cast<std::ptrdiff_t>(at);
    for (VertexId v : s) {
      const auto found = std::lower_bound(ranking.ids.begin(), ranking.ids.end(), v);
      out.ranks[at++] = static_cast<Idx>(ranking.rank_of[static_cast<std::size_t>(found - ranking.ids.begin())]);
    }
    const auto last = out.ranks.begin() + static_cast<std::ptrdiff_t>(at);
    std::sort(first, last);
    at = static_cast<std::size_t>(std::unique(first, last) - out.ranks.begin());
    out.offset[i + 1] = at;
    ticker.tick(s.size() + 1);
    std::vector<VertexId>().swap(s);
  }
  out.ranks.resize(at);  // repeats dropped
  return out;
}

// Ids: size descending, then input index.
template <class Idx>
void order_ids(const RankedSimplices<Idx>& ranked, std::size_t small_max, SimplexTable<Idx>& table) {
  const std::size_t n = ranked.offset.size() - 1;
  table.max_size = 0;
  for (std::size_t i = 0; i < n; ++i) table.max_size = std::max(table.max_size, ranked.size_of(i));
  const std::size_t max_size = table.max_size;
  std::vector<std::size_t> with_size(max_size + 2, 0);
  for (std::size_t i = 0; i < n; ++i) ++with_size[ranked.size_of(i)];
  table.at_least.assign(max_size + 2, 0);
  for (std::size_t q = max_size; q-- > 0;) table.at_least[q] = table.at_least[q + 1] + with_size[q + 1];
  table.first_small = small_max < max_size ? table.at_least[small_max] : 0;
  table.position.assign(n, kNone<Idx>);
  table.original.resize(table.simplices());
  std::vector<std::size_t> next(max_size + 1, 0);
  for (std::size_t size = 1; size <= max_size; ++size) next[size] = table.at_least[size];
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t size = ranked.size_of(i);
    if (size == 0) continue;
    const std::size_t id = next[size]++;
    table.original[id] = static_cast<Idx>(i);
    table.position[i] = static_cast<Idx>(id);
  }
}

// One record per id, in id order, then the index from rank to the records
// that hold it.
template <class Idx>
void pack_records(const RankedSimplices<Idx>& ranked, SimplexTable<Idx>& table, InterruptTicker& ticker) {
  const std::size_t count = table.simplices();
  table.record_at.resize(count + 1);
  table.records.reserve(RecordStore<Idx>::slots(0) * count + ranked.ranks.size());
  for (std::size_t id = 0; id < count; ++id) {
    const std::size_t i = table.original[id];
    const Idx* first = ranked.ranks.data() + ranked.offset[i];
    table.record_at[id] = table.records.append(static_cast<Idx>(id), first, first + ranked.size_of(i));
    ticker.tick(ranked.size_of(i) + 1);
  }
  table.record_at[count] = table.records.end_offset();

  table.holder_start.assign(table.vertex_count + 1, 0);
  for (Idx x : ranked.ranks) ++table.holder_start[static_cast<std::size_t>(x) + 1];
  for (std::size_t x = 0; x < table.vertex_count; ++x) table.holder_start[x + 1] += table.holder_start[x];
  table.holders.resize(ranked.ranks.size());
  std::vector<std::size_t> fill(table.holder_start.begin(), table.holder_start.end() - 1);
  for (std::size_t id = 0; id < count; ++id) {
    const Record<Idx> rec = table.record(id);
    for (Idx x : rec) table.holders[fill[x]++] = static_cast<Idx>(table.record_at[id]);
    ticker.tick(rec.size() + 1);
  }
}

template <class Idx>
SimplexTable<Idx> build_table(std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total,
                              std::size_t small_max, InterruptTicker& ticker) {
  SimplexTable<Idx> table;
  RankedSimplices<Idx> ranked;
  {
    const VertexRanking ranking = rank_vertices<Idx>(simplices, raw_total, ticker);
    table.vertex_count = ranking.ids.size();
    ranked = to_ranks<Idx>(simplices, raw_total, ranking, ticker);
  }
  order_ids(ranked, small_max, table);
  pack_records(ranked, table, ticker);
  return table;
}

// ---------------------------------------------------------------------------
// One forest per level
// ---------------------------------------------------------------------------

// Level q >= 1 is a forest over the ids below at_least[q]. Level 0 joins
// every pair sharing a vertex, so its forest is over vertex ranks instead: a
// simplex sits with its vertices, and joining through vertices stays within
// a table that is small and scanned in order.
template <class Idx>
class LevelForests {
 public:
  LevelForests(const SimplexTable<Idx>& table, InterruptTicker& ticker) : table_(table) {
    forests_.reserve(table.max_size);
    forests_.emplace_back(table.vertex_count);
    for (std::size_t q = 1; q < table.max_size; ++q) forests_.emplace_back(table.at_least[q]);
    for (Record<Idx> rec : table.records.records(0, table.records.end_offset())) {
      for (const Idx* v = rec.begin() + 1; v < rec.end(); ++v) forests_[0].unite(*rec.begin(), *v);
      ticker.tick(rec.size() + 1);
    }
  }

  // Records that simplices a and b (ids) share at least `shared` vertices.
  // Level 0 has all its joins already.
  void join(Idx a, Idx b, std::size_t shared) {
    if (shared <= 1) return;
    if (shared > table_.max_size || a >= table_.at_least[shared - 1] || b >= table_.at_least[shared - 1]) {
      throw InternalFailure("shared vertices exceed a simplex size");
    }
    for (std::size_t q = shared - 1; q >= 1; --q) {
      if (!forests_[q].unite(a, b)) return;  // together here, hence on every level below
    }
  }

  // The root that stands for simplex `id`'s component at level q.
  Idx component_of(std::size_t q, Idx id) {
    return q == 0 ? forests_[0].find(*table_.record(id).begin()) : forests_[q].find(id);
  }

 private:
  const SimplexTable<Idx>& table_;
  std::vector<UnionFind<Idx>> forests_;
};

// ---------------------------------------------------------------------------
// The walk over shared vertex subsets
// ---------------------------------------------------------------------------

template <class Idx>
class SubsetWalk {
 public:
  SubsetWalk(const SimplexTable<Idx>& table, LevelForests<Idx>& forests, const ComplexLevelsTuning& tuning,
             InterruptTicker& ticker)
      : table_(table),
        forests_(forests),
        pairwise_max_(tuning.pairwise_group_max),
        ticker_(ticker),
        count_(table.vertex_count, 0),
        need_(table.vertex_count, 0),
        has_small_(table.vertex_count, 0),
        slot_(table.vertex_count, kNone<Idx>) {}

  // One root node per vertex held by two or more simplices, one of them
  // small: its members are their suffixes after that vertex.
  void run() {
    const std::size_t first_small_record = table_.record_at[table_.first_small];
    for (std::size_t x = 0; x < table_.vertex_count; ++x) {
      const std::size_t begin = table_.holder_start[x];
      const std::size_t end = table_.holder_start[x + 1];
      // Holders are by id and small ids come last.
      if (end - begin < 2 || table_.holders[end - 1] < first_small_record) continue;
      const std::size_t start = arena_.end_offset();
      for (std::size_t h = begin; h < end; ++h) {
        const Record<Idx> rec = table_.records.at(table_.holders[h]);
        arena_.append(rec.id(), std::upper_bound(rec.begin(), rec.end(), static_cast<Idx>(x)), rec.end());
        ticker_.tick(rec.size() + 1);
      }
      visit(1, start, arena_.end_offset(), end - begin);
      arena_.truncate(start);
    }
  }

 private:
  struct Child {
    Idx members;
    std::size_t start;
    std::size_t fill;  // end of what is written so far
  };

  // A node: `members` projected records in arena_[start, end), at least two,
  // one of them small. `known` counts the vertices known to be common to all
  // of them that their records no longer hold. A child's region is sized for
  // its full suffixes and filled with fewer, so regions may end in slack.
  void visit(std::size_t known, std::size_t start, std::size_t end, std::size_t members) {
    if (members <= pairwise_max_) {
      compare_pairwise(known, start, end);
      return;
    }
    const std::size_t closure = known + tally(start, end, members);
    const std::size_t child_base = children_.size();
    const std::size_t arena_base = arena_.end_offset();
    plan_children(members);
    project(start, end, members, closure, child_base);
    clear_tally();
    const std::size_t child_end = children_.size();
    for (std::size_t c = child_base; c < child_end; ++c) {
      const Child child = children_[c];
      visit(closure + 1, child.start, child.fill, child.members);
    }
    children_.resize(child_base);
    arena_.truncate(arena_base);
  }

  // Pairs where both sides are large are left to join_large_pairs().
  void compare_pairwise(std::size_t known, std::size_t start, std::size_t end) {
    offsets_.clear();
    for (auto it = arena_.records(start, end).begin(); it.offset() < end; ++it) offsets_.push_back(it.offset());
    for (std::size_t i = 0; i < offsets_.size(); ++i) {
      const Record<Idx> a = arena_.at(offsets_[i]);
      for (std::size_t j = i + 1; j < offsets_.size(); ++j) {
        const Record<Idx> b = arena_.at(offsets_[j]);
        if (!table_.is_small(a.id()) && !table_.is_small(b.id())) continue;
        forests_.join(a.id(), b.id(), known + count_common_sorted(a.begin(), a.end(), b.begin(), b.end()));
        ticker_.tick(a.size() + b.size() + 1);
      }
    }
  }

  // Counts, for every vertex of the node, the members holding it and the
  // slots its child's copies could take; returns how many vertices all
  // members hold.
  std::size_t tally(std::size_t start, std::size_t end, std::size_t members) {
    touched_.clear();
    for (Record<Idx> rec : arena_.records(start, end)) {
      const bool small = table_.is_small(rec.id());
      std::size_t after = rec.size();
      for (Idx v : rec) {
        --after;
        if (count_[v]++ == 0) touched_.push_back(v);
        need_[v] += RecordStore<Idx>::slots(after);
        if (small) has_small_[v] = 1;
      }
      ticker_.tick(rec.size() + 1);
    }
    std::size_t common = 0;
    for (Idx v : touched_) common += (count_[v] == members);
    return common;
  }

  // Children: vertices outside the common part held by two or more members,
  // one of them small. Each gets a region at the end of the arena.
  void plan_children(std::size_t members) {
    const std::size_t child_base = children_.size();
    std::size_t total = 0;
    for (Idx v : touched_) {
      if (count_[v] >= 2 && count_[v] < members && has_small_[v]) {
        slot_[v] = static_cast<Idx>(children_.size() - child_base);
        children_.push_back(Child{count_[v], total, total});
        total += need_[v];
      }
    }
    const std::size_t base = arena_.reserve_slots(total);
    for (std::size_t c = child_base; c < children_.size(); ++c) {
      children_[c].start += base;
      children_[c].fill += base;
    }
  }

  // Joins the members at the node's closure and copies each member's suffix
  // after a child's vertex into that child. A copy drops the vertices common
  // to this node: the child counts them in its `known` already.
  void project(std::size_t start, std::size_t end, std::size_t members, std::size_t closure,
               std::size_t child_base) {
    const Idx first = arena_.at(start).id();
    auto kept = [&](Idx v) { return count_[v] != members; };
    for (auto it = arena_.records(start, end).begin(); it.offset() < end; ++it) {
      const Record<Idx> rec = *it;
      if (it.offset() != start) forests_.join(first, rec.id(), closure);
      for (const Idx* v = rec.begin(); v != rec.end(); ++v) {
        const Idx s = slot_[*v];
        if (s == kNone<Idx>) continue;
        Child& child = children_[child_base + s];
        child.fill = arena_.write_kept(child.fill, rec.id(), v + 1, rec.end(), kept);
      }
      ticker_.tick(rec.size() + 1);
    }
  }

  void clear_tally() {
    for (Idx v : touched_) {
      count_[v] = 0;
      need_[v] = 0;
      has_small_[v] = 0;
      slot_[v] = kNone<Idx>;
    }
  }

  const SimplexTable<Idx>& table_;
  LevelForests<Idx>& forests_;
  const std::size_t pairwise_max_;
  InterruptTicker& ticker_;

  // Indexed by vertex rank, reset after each node.
  std::vector<Idx> count_;
  std::vector<std::size_t> need_;
  std::vector<std::uint8_t> has_small_;
  std::vector<Idx> slot_;
  std::vector<Idx> touched_;
  std::vector<std::size_t> offsets_;
  // Projected records of the nodes on the walk's path and their children,
  // stacked.
  std::vector<Child> children_;
  RecordStore<Idx> arena_;
};

// ---------------------------------------------------------------------------
// Large pairs and the levels read out
// ---------------------------------------------------------------------------

// Overlaps between large simplices (ids below first_small), counted through
// an index of the large ones only; each pair once, from its later member.
template <class Idx>
void join_large_pairs(const SimplexTable<Idx>& table, LevelForests<Idx>& forests, InterruptTicker& ticker) {
  const std::size_t large = table.first_small;
  if (large < 2) return;
  const auto large_records = table.records.records(0, table.record_at[large]);
  std::vector<std::size_t> start(table.vertex_count + 1, 0);
  for (Record<Idx> rec : large_records) {
    for (Idx x : rec) ++start[static_cast<std::size_t>(x) + 1];
  }
  for (std::size_t x = 0; x < table.vertex_count; ++x) start[x + 1] += start[x];
  std::vector<Idx> holders(start[table.vertex_count]);
  std::vector<std::size_t> fill(start.begin(), start.end() - 1);
  for (Record<Idx> rec : large_records) {
    for (Idx x : rec) holders[fill[x]++] = rec.id();
  }

  std::vector<Idx> shared(large, 0);
  std::vector<Idx> seen;
  for (std::size_t id = 0; id < large; ++id) {
    seen.clear();
    for (Idx x : table.record(id)) {
      // Holders of a vertex are ascending: stop at this simplex.
      for (std::size_t h = start[x]; h < start[x + 1] && holders[h] < id; ++h) {
        if (shared[holders[h]]++ == 0) seen.push_back(holders[h]);
      }
      ticker.tick(start[x + 1] - start[x] + 1);
    }
    for (Idx other : seen) {
      forests.join(static_cast<Idx>(id), other, shared[other]);
      shared[other] = 0;
    }
  }
}

// Reads the forests out. Every level lists its components by ascending
// smallest index, members ascending; level 0 needs that order, the others
// get it for free. Participants of level q in ascending index order are those
// of level q + 1 merged with the simplices of exactly q + 1 vertices.
template <class Idx>
std::vector<FlatLevel> collect_levels(const SimplexTable<Idx>& table, LevelForests<Idx>& forests,
                                      InterruptTicker& ticker) {
  std::vector<FlatLevel> levels(table.max_size);
  std::vector<Idx> current;
  std::vector<Idx> merged;
  std::vector<Idx> label(std::max(table.simplices(), table.vertex_count), kNone<Idx>);
  std::vector<Idx> roots;
  std::vector<Idx> component_of;
  std::vector<std::size_t> cursor;
  for (std::size_t q = table.max_size; q-- > 0;) {
    const Idx* exact_begin = table.original.data() + table.at_least[q + 1];
    const Idx* exact_end = table.original.data() + table.at_least[q];
    merged.resize(current.size() + static_cast<std::size_t>(exact_end - exact_begin));
    std::merge(current.begin(), current.end(), exact_begin, exact_end, merged.begin());
    current.swap(merged);

    roots.clear();
    component_of.resize(current.size());
    for (std::size_t j = 0; j < current.size(); ++j) {
      const Idx r = forests.component_of(q, table.position[current[j]]);
      if (label[r] == kNone<Idx>) {
        label[r] = static_cast<Idx>(roots.size());
        roots.push_back(r);
      }
      component_of[j] = label[r];
      ticker.tick();
    }
    FlatLevel& level = levels[q];
    level.starts.assign(roots.size() + 1, 0);
    for (Idx c : component_of) ++level.starts[static_cast<std::size_t>(c) + 1];
    for (std::size_t c = 0; c < roots.size(); ++c) level.starts[c + 1] += level.starts[c];
    level.items.resize(current.size());
    cursor.assign(level.starts.begin(), level.starts.end() - 1);
    for (std::size_t j = 0; j < current.size(); ++j) level.items[cursor[component_of[j]]++] = current[j];
    for (Idx r : roots) label[r] = kNone<Idx>;
    ticker.tick(current.size());
  }
  return levels;
}

template <class Idx>
std::vector<FlatLevel> run(std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total,
                           const ComplexLevelsTuning& tuning) {
  InterruptTicker ticker;
  const SimplexTable<Idx> table = build_table<Idx>(simplices, raw_total, tuning.small_simplex_max, ticker);
  LevelForests<Idx> forests(table, ticker);
  SubsetWalk<Idx>(table, forests, tuning, ticker).run();
  join_large_pairs(table, forests, ticker);
  return collect_levels(table, forests, ticker);
}

}  // namespace

std::vector<FlatLevel> complex_levels(std::vector<std::vector<VertexId>> simplices,
                                      const ComplexLevelsTuning& tuning) {
  if (simplices.empty()) return {};
  std::size_t raw_total = 0;
  for (const auto& s : simplices) raw_total += s.size();
  if (raw_total == 0) return std::vector<FlatLevel>(1);

  // Every index of the analysis (ids, ranks, record offsets) is below the
  // record table's length, so 32 bits serve whenever that table fits below
  // the reserved value; they halve the memory of every table.
  const std::size_t record_slots = raw_total + RecordStore<std::uint32_t>::slots(0) * simplices.size();
  if (!tuning.wide_indices && record_slots < index_limit<std::uint32_t>()) {
    return run<std::uint32_t>(simplices, raw_total, tuning);
  }
  return run<std::uint64_t>(simplices, raw_total, tuning);
}

}  // namespace korvane
