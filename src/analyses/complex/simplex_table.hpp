// The table of simplices that the complex analysis works on: every simplex
// as its distinct vertex ranks, known by an id that orders simplices by size,
// with an index from rank to the simplices holding it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "analyses/shared/bits.hpp"
#include "analyses/shared/holder_index.hpp"
#include "analyses/shared/record_store.hpp"
#include "analyses/shared/sort_small.hpp"
#include "core/failure.hpp"
#include "core/hashing.hpp"
#include "core/ids.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

// A simplex's id is its position when the non-empty simplices are ordered by
// size descending, then input index. The participants of level q are then
// the ids below at_least[q], and the large simplices the ids below
// first_small. A vertex is known by its rank, rarest first.
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
  // A simplex equal to one with a smaller id is its twin: joined to it on
  // every level, it takes part in nothing else. Pairs (twin, that id).
  std::vector<std::pair<Idx, Idx>> twins;
  std::vector<std::uint8_t> is_twin;  // by id
  // The offsets of the records holding each rank, ascending (so by id, so
  // by size descending). Only simplices that can share two vertices with
  // another are listed: no twins and no single vertices, which meet others
  // on level 0 alone.
  HolderIndex<Idx> holders;

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

// Dense numbers for vertex ids, in order of first appearance: an
// open-addressing table under the seeded hash, so no choice of ids makes
// its probes long.
template <class Idx>
class VertexNumbers {
 public:
  explicit VertexNumbers(std::size_t expected) { rehash(std::max<std::size_t>(16, 2 * expected)); }

  std::size_t size() const noexcept { return count_; }

  // The number of `id`, new ids taking the next one.
  Idx number(VertexId id) {
    std::size_t slot = hash_(id) & mask_;
    while (numbers_[slot] != kNone<Idx>) {
      if (ids_[slot] == id) return numbers_[slot];
      slot = (slot + 1) & mask_;
    }
    ids_[slot] = id;
    numbers_[slot] = static_cast<Idx>(count_++);
    if (2 * count_ > numbers_.size()) rehash(2 * numbers_.size());
    return static_cast<Idx>(count_ - 1);
  }

 private:
  // Capacity: the power of two at least `wanted`.
  void rehash(std::size_t wanted) {
    std::size_t capacity = 16;
    while (capacity < wanted) capacity *= 2;
    std::vector<VertexId> old_ids(capacity);
    std::vector<Idx> old_numbers(capacity, kNone<Idx>);
    old_ids.swap(ids_);
    old_numbers.swap(numbers_);
    mask_ = capacity - 1;
    for (std::size_t i = 0; i < old_numbers.size(); ++i) {
      if (old_numbers[i] == kNone<Idx>) continue;
      std::size_t slot = hash_(old_ids[i]) & mask_;
      while (numbers_[slot] != kNone<Idx>) slot = (slot + 1) & mask_;
      ids_[slot] = old_ids[i];
      numbers_[slot] = old_numbers[i];
    }
  }

  const SeededHash hash_;
  std::vector<VertexId> ids_;
  std::vector<Idx> numbers_;  // kNone: free slot
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

// Sorts a simplex's ranks in place and drops repeats; returns the new end.
// A long simplex over few vertices is sorted through a bitmap of the ranks
// (a pass over its words), the others by comparison; short ones, the usual
// case, without a call.
template <class Idx>
Idx* sort_ranks(Idx* first, Idx* last, std::vector<Word>& bitmap) {
  const auto size = static_cast<std::size_t>(last - first);
  if (size < 16) {
    sort_small(first, last);
    return std::unique(first, last);
  }
  if (size * 8 < bitmap.size()) {  // comparisons: about size * log2(size)
    std::sort(first, last);
    return std::unique(first, last);
  }
  std::size_t low = bitmap.size(), high = 0;
  for (const Idx* x = first; x != last; ++x) {
    set_bit(bitmap.data(), *x);
    low = std::min<std::size_t>(low, *x >> 6);
    high = std::max<std::size_t>(high, *x >> 6);
  }
  Idx* out = first;
  for (std::size_t w = low; w <= high; ++w) {
    for (Word bits = bitmap[w]; bits != 0; bits &= bits - 1) {
      *out++ = static_cast<Idx>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    }
    bitmap[w] = 0;
  }
  return out;
}

// Sorts each simplex's ranks (below vertex_count) and drops repeats, moving
// the simplices down over the gaps this leaves.
template <class Idx>
void sort_each(RankedSimplices<Idx>& ranked, std::size_t vertex_count, InterruptTicker& ticker) {
  std::vector<Word> bitmap(words_for(vertex_count), 0);
  std::size_t write = 0;
  for (std::size_t i = 0; i + 1 < ranked.offset.size(); ++i) {
    Idx* first = ranked.ranks.data() + ranked.offset[i];
    Idx* last = ranked.ranks.data() + ranked.offset[i + 1];
    Idx* end = sort_ranks(first, last, bitmap);
    // Moving down: the destination starts at or before the source.
    std::copy(first, end, ranked.ranks.data() + write);
    ranked.offset[i] = write;
    write += static_cast<std::size_t>(end - first);
    ticker.tick(static_cast<std::size_t>(last - first) + 1);
  }
  ranked.offset.back() = write;
  ranked.ranks.resize(write);
}

// Rewrites every simplex as its distinct vertex ranks, releasing the input
// once read. Ranks go by popularity, rarest first: that keeps the walk's
// groups narrow, since a popular vertex then extends only to vertices more
// popular still.
template <class Idx>
RankedSimplices<Idx> to_ranks(SimplexList& simplices, std::size_t& vertex_count, InterruptTicker& ticker) {
  const std::size_t raw_total = simplices.items.size();
  RankedSimplices<Idx> out;
  out.ranks.resize(raw_total);
  VertexNumbers<Idx> numbers(std::min<std::size_t>(raw_total, 1024));
  std::vector<Idx> degree;
  for (std::size_t at = 0; at < raw_total; ++at) {
    const Idx n = numbers.number(simplices.items[at]);
    if (n == degree.size()) degree.push_back(0);
    ++degree[n];
    out.ranks[at] = n;
    ticker.tick();
  }
  out.offset = std::move(simplices.starts);
  simplices = SimplexList();
  ticker.tick(out.offset.size());
  vertex_count = numbers.size();
  std::vector<Idx> by_degree(vertex_count);
  std::iota(by_degree.begin(), by_degree.end(), Idx{0});
  std::stable_sort(by_degree.begin(), by_degree.end(), [&](Idx a, Idx b) { return degree[a] < degree[b]; });
  std::vector<Idx>& rank_of = degree;  // degrees are no longer needed
  for (std::size_t r = 0; r < vertex_count; ++r) rank_of[by_degree[r]] = static_cast<Idx>(r);
  for (Idx& x : out.ranks) x = rank_of[x];
  ticker.tick(raw_total);
  sort_each(out, vertex_count, ticker);
  return out;
}

// Ids: size descending, then input index.
template <class Idx>
void order_ids(const RankedSimplices<Idx>& ranked, SimplexTable<Idx>& table) {
  const std::size_t n = ranked.offset.size() - 1;
  table.max_size = 0;
  for (std::size_t i = 0; i < n; ++i) table.max_size = std::max(table.max_size, ranked.size_of(i));
  const std::size_t max_size = table.max_size;
  std::vector<std::size_t> with_size(max_size + 2, 0);
  for (std::size_t i = 0; i < n; ++i) ++with_size[ranked.size_of(i)];
  table.at_least.assign(max_size + 2, 0);
  for (std::size_t q = max_size; q-- > 0;) table.at_least[q] = table.at_least[q + 1] + with_size[q + 1];
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
}

// Finds equal simplices of two or more vertices through a seeded hash of
// their ranks: an open-addressing table of the simplices seen so far, twins
// left out, probed in id order. The first of equal simplices has the
// smallest id, so it is in the table when the others come, and it is the
// only simplex there equal to them.
template <class Idx>
void find_twins(SimplexTable<Idx>& table, InterruptTicker& ticker) {
  const SeededHash hash;
  const std::size_t candidates = table.at_least[1];  // two or more vertices
  table.is_twin.assign(table.simplices(), 0);
  std::size_t capacity = 16;
  while (capacity < 2 * candidates) capacity *= 2;
  const std::size_t mask = capacity - 1;
  std::vector<std::uint64_t> hashes(capacity);
  std::vector<Idx> kept(capacity, kNone<Idx>);  // kNone: free slot
  for (std::size_t id = 0; id < candidates; ++id) {
    const Record<Idx> rec = table.record(id);
    std::uint64_t h = rec.size();
    for (Idx x : rec) h = hash(h + x);
    std::size_t slot = static_cast<std::size_t>(h) & mask;
    for (; kept[slot] != kNone<Idx>; slot = (slot + 1) & mask) {
      if (hashes[slot] != h) continue;
      const Record<Idx> other = table.record(kept[slot]);
      if (rec.size() == other.size() && std::equal(rec.begin(), rec.end(), other.begin())) break;
    }
    if (kept[slot] != kNone<Idx>) {
      table.twins.emplace_back(static_cast<Idx>(id), kept[slot]);
      table.is_twin[id] = 1;
    } else {
      hashes[slot] = h;
      kept[slot] = static_cast<Idx>(id);
    }
    ticker.tick(rec.size() + 1);
  }
}

template <class Idx>
void index_by_vertex(SimplexTable<Idx>& table, InterruptTicker& ticker) {
  const std::size_t listed = table.at_least[1];  // two or more vertices
  table.holders.build(
      table.vertex_count,
      [&](auto&& visit) {
        for (std::size_t id = 0; id < listed; ++id) {
          if (table.is_twin[id]) continue;
          const Record<Idx> rec = table.record(id);
          visit(static_cast<Idx>(table.record_at[id]), rec.begin(), rec.end());
        }
      },
      ticker);
}

// first_small is left at 0 (every simplex large); the caller chooses it.
template <class Idx>
SimplexTable<Idx> build_table(SimplexList& simplices, InterruptTicker& ticker) {
  SimplexTable<Idx> table;
  RankedSimplices<Idx> ranked;
  ranked = to_ranks<Idx>(simplices, table.vertex_count, ticker);
  order_ids(ranked, table);
  pack_records(ranked, table, ticker);
  find_twins(table, ticker);
  index_by_vertex(table, ticker);
  return table;
}

}  // namespace korvane::complex_detail
