// The table of simplices that the complex analysis works on: every simplex
// as its distinct vertex ranks, known by an id that orders simplices by size,
// with an index from rank to the simplices holding it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "analyses/simplex_records.hpp"
#include "core/hashing.hpp"
#include "core/ids.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

template <class Idx>
constexpr Idx kNone = std::numeric_limits<Idx>::max();

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
  // Offsets of the records holding rank x, ascending (so by id, so by size
  // descending): holders[holder_start[x] .. holder_start[x + 1]). Only
  // simplices that can share two vertices with another are listed: no twins
  // and no single vertices, which meet others on level 0 alone.
  std::vector<std::size_t> holder_start;
  std::vector<Idx> holders;

  std::size_t simplices() const noexcept { return at_least[0]; }
  bool is_small(Idx id) const noexcept { return id >= first_small; }
  Record<Idx> record(std::size_t id) const noexcept { return records.at(record_at[id]); }
  std::size_t holder_count(std::size_t x) const noexcept { return holder_start[x + 1] - holder_start[x]; }
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
// vertices first keeps the walk's groups narrow, since a popular vertex then
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
// their ranks; equal simplices have equal sizes, so equal hashes are compared
// within a run of one size.
template <class Idx>
void find_twins(SimplexTable<Idx>& table, InterruptTicker& ticker) {
  const SeededHash hash;
  const std::size_t candidates = table.at_least[1];  // two or more vertices
  std::vector<std::pair<std::uint64_t, Idx>> keyed(candidates);
  for (std::size_t id = 0; id < candidates; ++id) {
    const Record<Idx> rec = table.record(id);
    std::uint64_t h = rec.size();
    for (Idx x : rec) h = hash(h + x);
    keyed[id] = {h, static_cast<Idx>(id)};
    ticker.tick(rec.size() + 1);
  }
  std::sort(keyed.begin(), keyed.end());
  table.is_twin.assign(table.simplices(), 0);
  for (std::size_t i = 0; i < keyed.size();) {
    std::size_t j = i;
    while (j < keyed.size() && keyed[j].first == keyed[i].first) ++j;
    // Within a run ids ascend, so each twin meets the smallest equal id
    // first among the run's survivors.
    for (std::size_t a = i; a < j; ++a) {
      const Record<Idx> ra = table.record(keyed[a].second);
      for (std::size_t b = i; b < a; ++b) {
        if (table.is_twin[keyed[b].second]) continue;
        const Record<Idx> rb = table.record(keyed[b].second);
        if (ra.size() == rb.size() && std::equal(ra.begin(), ra.end(), rb.begin())) {
          table.twins.emplace_back(keyed[a].second, keyed[b].second);
          table.is_twin[keyed[a].second] = 1;
          break;
        }
      }
      ticker.tick(a - i + 1);
    }
    i = j;
  }
}

template <class Idx>
void index_holders(SimplexTable<Idx>& table, InterruptTicker& ticker) {
  const std::size_t listed = table.at_least[1];  // two or more vertices
  table.holder_start.assign(table.vertex_count + 1, 0);
  for (std::size_t id = 0; id < listed; ++id) {
    if (table.is_twin[id]) continue;
    for (Idx x : table.record(id)) ++table.holder_start[static_cast<std::size_t>(x) + 1];
  }
  for (std::size_t x = 0; x < table.vertex_count; ++x) table.holder_start[x + 1] += table.holder_start[x];
  table.holders.resize(table.holder_start[table.vertex_count]);
  std::vector<std::size_t> fill(table.holder_start.begin(), table.holder_start.end() - 1);
  for (std::size_t id = 0; id < listed; ++id) {
    if (table.is_twin[id]) continue;
    const Record<Idx> rec = table.record(id);
    for (Idx x : rec) table.holders[fill[x]++] = static_cast<Idx>(table.record_at[id]);
    ticker.tick(rec.size() + 1);
  }
}

// first_small is left at 0 (every simplex large); the caller chooses it.
template <class Idx>
SimplexTable<Idx> build_table(std::vector<std::vector<VertexId>>& simplices, std::size_t raw_total,
                              InterruptTicker& ticker) {
  SimplexTable<Idx> table;
  RankedSimplices<Idx> ranked;
  {
    const VertexRanking ranking = rank_vertices<Idx>(simplices, raw_total, ticker);
    table.vertex_count = ranking.ids.size();
    ranked = to_ranks<Idx>(simplices, raw_total, ranking, ticker);
  }
  order_ids(ranked, table);
  pack_records(ranked, table, ticker);
  find_twins(table, ticker);
  index_holders(table, ticker);
  return table;
}

}  // namespace korvane::complex_detail
