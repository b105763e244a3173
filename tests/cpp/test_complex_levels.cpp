// The shipped complex analysis against a brute-force model and the
// documented algorithm, under settings that force each of its internal paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/complex/large_simplices.hpp"
#include "analyses/complex/overlap_kernels.hpp"
#include "analyses/complex/simplex_table.hpp"
#include "analyses/shared/record_store.hpp"
#include "core/interrupt.hpp"
#include "cpu_variants.hpp"
#include "reference/hierarchical_q_components.hpp"

namespace korvane {
namespace {

using Raw = std::vector<std::vector<VertexId>>;
using Component = std::vector<SimplexIndex>;  // ascending
// Levels by q; every component ascending. Level 0 keeps the order it was
// returned in, the other levels are sorted since their order is free.
using Canon = std::vector<std::vector<Component>>;

constexpr VertexId kTop = std::numeric_limits<VertexId>::max();

SimplexList packed(const Raw& raw) {
  SimplexList out;
  for (const auto& s : raw) out.add(s);
  return out;
}

Canon canon_levels(std::vector<std::vector<Component>> levels) {
  for (std::size_t q = 0; q < levels.size(); ++q) {
    for (auto& c : levels[q]) std::sort(c.begin(), c.end());
    if (q > 0) std::sort(levels[q].begin(), levels[q].end());
  }
  return levels;
}

Canon canon(const std::vector<FlatLevel>& levels) {
  std::vector<std::vector<Component>> out;
  for (const auto& level : levels) {
    EXPECT_EQ(level.starts.front(), 0u);
    EXPECT_EQ(level.starts.back(), level.items.size());
    std::vector<Component> comps;
    for (std::size_t i = 0; i < level.count(); ++i) comps.emplace_back(level.begin_of(i), level.end_of(i));
    out.push_back(std::move(comps));
  }
  return canon_levels(std::move(out));
}

Canon canon(const reference::Hierarchy& hierarchy) {
  std::vector<std::vector<Component>> out;
  for (const auto& level : hierarchy) {
    std::vector<Component> comps;
    for (const auto& c : level) comps.emplace_back(c.begin(), c.end());
    out.push_back(std::move(comps));
  }
  return canon_levels(std::move(out));
}

// Straight from the definition: at level q, union every pair of simplices
// with q + 1 or more vertices that share q + 1 or more of them.
Canon brute_force(const Raw& raw) {
  std::vector<std::vector<VertexId>> sets;
  std::size_t top = 0;
  for (auto s : raw) {
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    top = std::max(top, s.size());
    sets.push_back(std::move(s));
  }
  if (sets.empty()) return {};
  if (top == 0) return Canon(1);
  Canon levels(top);
  const std::size_t n = sets.size();
  for (std::size_t q = 0; q < top; ++q) {
    std::vector<std::size_t> label(n);
    std::iota(label.begin(), label.end(), 0);
    auto find = [&](std::size_t x) {
      while (label[x] != x) x = label[x];
      return x;
    };
    for (std::size_t a = 0; a < n; ++a) {
      for (std::size_t b = a + 1; b < n; ++b) {
        if (sets[a].size() <= q || sets[b].size() <= q) continue;
        std::size_t common = 0;
        for (VertexId v : sets[a]) common += std::binary_search(sets[b].begin(), sets[b].end(), v);
        if (common > q) label[find(b)] = find(a);
      }
    }
    std::vector<std::size_t> slot(n, n);
    for (std::size_t s = 0; s < n; ++s) {
      if (sets[s].size() <= q) continue;
      std::size_t r = find(s);
      if (slot[r] == n) {
        slot[r] = levels[q].size();
        levels[q].emplace_back();
      }
      levels[q][slot[r]].push_back(s);
    }
  }
  return canon_levels(std::move(levels));
}

Canon reference(const Raw& raw) {
  std::vector<reference::Simplex> simplices;
  for (const auto& s : raw) simplices.emplace_back(s.begin(), s.end());
  return canon(reference::find_hierarchical_q_components(std::move(simplices)));
}

using Overlaps = ComplexLevelsTuning::Overlaps;
constexpr std::size_t kChoose = ComplexLevelsTuning::kChoose;

ComplexLevelsTuning tuned(std::size_t small, std::size_t settle_max, Overlaps overlaps, std::size_t masks_max,
                          std::size_t twin_min = 16, bool wide = false) {
  ComplexLevelsTuning t;
  t.small_simplex_max = small;
  t.pairwise_group_max = settle_max;
  t.wide_indices = wide;
  t.overlaps = overlaps;
  t.twin_check_min = twin_min;
  t.mask_vertices_max = masks_max;
  return t;
}

// Settings that between them drive every internal path on small inputs:
// groups settled at once (by each way of counting overlaps) or split, on
// records or on masks, equal copies merged, splits abandoned for settling,
// large simplices settled together, and 64-bit indices.
std::vector<std::pair<std::string, ComplexLevelsTuning>> tunings() {
  ComplexLevelsTuning eager_splits;
  eager_splits.split_advantage = 0;  // every split tried, many abandoned
  ComplexLevelsTuning eager_record_splits = eager_splits;
  eager_record_splits.mask_vertices_max = 0;
  eager_record_splits.twin_check_min = 2;
  ComplexLevelsTuning wide_eager_splits = eager_splits;
  wide_eager_splits.wide_indices = true;
  ComplexLevelsTuning wide_eager_record_splits = eager_record_splits;
  wide_eager_record_splits.wide_indices = true;
  return {
      {"default", ComplexLevelsTuning{}},
      {"walk only", ComplexLevelsTuning{1000, 0, false}},
      {"all large", ComplexLevelsTuning{0, 0, false}},
      {"mixed", ComplexLevelsTuning{3, 2, false}},
      {"pairs only", ComplexLevelsTuning{1000, 1000, false}},
      {"wide mixed", ComplexLevelsTuning{2, 1, true}},
      {"record walk", tuned(kChoose, 0, Overlaps::choose, 0, 2)},
      {"record groups by core bitsets", tuned(4, 3, Overlaps::core_bitsets, 0, 2)},
      {"record groups by bitsets", tuned(kChoose, 5, Overlaps::bitsets, 0)},
      {"groups by core bitsets", tuned(1000, 6, Overlaps::core_bitsets, 64, 2)},
      {"large by core bitsets", tuned(2, kChoose, Overlaps::core_bitsets, 64)},
      {"eager splits", eager_splits},
      {"eager record splits", eager_record_splits},
      {"wide eager splits", wide_eager_splits},
      {"wide eager record splits", wide_eager_record_splits},
      {"wide records", tuned(kChoose, kChoose, Overlaps::choose, 0, 2, true)},
      {"wide record walk", tuned(kChoose, 0, Overlaps::choose, 0, 2, true)},
      {"wide groups by core bitsets", tuned(1000, 6, Overlaps::core_bitsets, 64, 2, true)},
  };
}

// The shipped analysis under every tuning must give `expected`.
void expect_shipped(const Raw& raw, const Canon& expected, const std::string& what) {
  EXPECT_EQ(canon(complex_levels(packed(raw))), expected) << what << " (public entry)";
  for (const auto& [name, tuning] : tunings()) {
    EXPECT_EQ(canon(complex_levels(packed(raw), tuning)), expected) << what << " (" << name << ")";
  }
}

// ---------------------------------------------------------------------------
// The table of simplices
// ---------------------------------------------------------------------------

// Numbers go by first appearance and stay put while the table grows, for ids
// anywhere in the range.
TEST(ComplexTable, VertexNumbersFollowFirstAppearance) {
  complex_detail::VertexNumbers<std::uint32_t> numbers(4);
  std::mt19937_64 rng(17);
  std::vector<VertexId> ids{kTop, 0, kTop - 1};
  for (int i = 0; i < 5000; ++i) ids.push_back(rng());
  for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(numbers.number(ids[i]), i);
  for (std::size_t i = ids.size(); i-- > 0;) EXPECT_EQ(numbers.number(ids[i]), i);
  EXPECT_EQ(numbers.size(), ids.size());
}

// Both ways of sorting a simplex's ranks (by comparison, through a bitmap)
// give its distinct ranks ascending, and leave the bitmap clear.
TEST(ComplexTable, RanksSortBothWays) {
  std::mt19937_64 rng(23);
  for (const std::size_t vertices : {std::size_t{40}, std::size_t{5000}}) {
    std::vector<std::uint64_t> bitmap((vertices + 63) / 64, 0);
    for (int round = 0; round < 200; ++round) {
      std::vector<std::uint32_t> ranks(1 + rng() % 300);
      for (auto& r : ranks) r = static_cast<std::uint32_t>(rng() % vertices);
      std::vector<std::uint32_t> want = ranks;
      std::sort(want.begin(), want.end());
      want.erase(std::unique(want.begin(), want.end()), want.end());
      std::uint32_t* end = complex_detail::sort_ranks(ranks.data(), ranks.data() + ranks.size(), bitmap);
      EXPECT_EQ(std::vector<std::uint32_t>(ranks.data(), end), want);
      EXPECT_TRUE(std::all_of(bitmap.begin(), bitmap.end(), [](std::uint64_t w) { return w == 0; }));
    }
  }
}

// Removing records keeps the others, in order, contents intact.
TEST(ComplexTable, RecordsRemovedInPlace) {
  RecordStore<std::uint32_t> store;
  std::vector<std::size_t> at;
  std::vector<std::vector<std::uint32_t>> items;
  for (std::uint32_t id = 0; id < 9; ++id) {
    items.emplace_back(id % 4, id);  // lengths 0 to 3
    at.push_back(store.append(id, items.back().data(), items.back().data() + items.back().size()));
  }
  const std::size_t tail = store.append(99, items[3].data(), items[3].data() + 3);
  const std::size_t end = store.remove_records(0, tail, {at[0], at[4], at[5], at[8]});
  std::vector<std::uint32_t> kept;
  for (Record<std::uint32_t> rec : store.records(0, end)) {
    kept.push_back(rec.id());
    EXPECT_EQ(std::vector<std::uint32_t>(rec.begin(), rec.end()), items[rec.id()]);
  }
  EXPECT_EQ(kept, (std::vector<std::uint32_t>{1, 2, 3, 6, 7}));
  EXPECT_EQ(store.at(tail).id(), 99u);  // records after the range stay where they were
}

complex_detail::SimplexTable<std::uint32_t> table_of(const Raw& raw) {
  SimplexList simplices = packed(raw);
  InterruptTicker ticker;
  return complex_detail::build_table<std::uint32_t>(simplices, ticker);
}

// Equal simplices are found whatever their order and repeats, and only the
// first of each stays in the index of holders.
TEST(ComplexTable, TwinsJoinTheFirstEqualSimplex) {
  const auto table = table_of({{1, 2, 3}, {3, 2, 1, 1}, {4, 5}, {2, 3, 1}, {5, 4}, {7}, {7}, {1, 2}});
  std::vector<std::pair<SimplexIndex, SimplexIndex>> twins;  // as input positions
  for (const auto& [twin, kept] : table.twins) twins.emplace_back(table.original[twin], table.original[kept]);
  std::sort(twins.begin(), twins.end());
  EXPECT_EQ(twins, (std::vector<std::pair<SimplexIndex, SimplexIndex>>{{1, 0}, {3, 0}, {4, 2}}));
  for (std::uint32_t id : table.holders.list) EXPECT_FALSE(table.is_twin[table.records.at(id).id()]);
}

// The estimate settles everything together when every pair overlaps
// heavily, and leaves everything to the walk when overlaps are rare.
TEST(ComplexTable, LargeSimplicesChosenByEstimate) {
  std::mt19937_64 rng(29);
  Raw dense(300), sparse(3000);
  for (auto& s : dense) {
    s.resize(40);
    for (auto& v : s) v = rng() % 60;
  }
  for (auto& s : sparse) {
    s.resize(1 + rng() % 6);
    for (auto& v : s) v = rng() % 20000;
  }
  InterruptTicker ticker;
  const auto heavy = table_of(dense);
  const std::size_t bound = complex_detail::choose_small_max(heavy, ticker);
  EXPECT_GE(10 * heavy.at_least[std::min(bound, heavy.max_size)], 9 * heavy.simplices()) << "bound " << bound;
  const auto light = table_of(sparse);
  EXPECT_EQ(complex_detail::choose_small_max(light, ticker), light.max_size);
}

// ---------------------------------------------------------------------------
// Prim passes
// ---------------------------------------------------------------------------

// One pass of a kernel over a random rest; returns everything it changed.
struct PassOutcome {
  complex_detail::PassResult result;
  std::vector<std::uint32_t> best, link, full;
  bool operator==(const PassOutcome& o) const {
    return result.next == o.result.next && result.full == o.result.full && best == o.best && link == o.link &&
           full == o.full;
  }
};

template <class Run>
PassOutcome run_pass(std::mt19937_64& rng, std::size_t count, Run&& run) {
  std::vector<std::uint32_t> member(count), best(count), link(count, 7), cap(count), full(count);
  for (std::size_t j = 0; j < count; ++j) {
    member[j] = static_cast<std::uint32_t>(j);
    best[j] = static_cast<std::uint32_t>(rng() % 3);
    cap[j] = best[j] + static_cast<std::uint32_t>(rng() % 4);
  }
  const complex_detail::PrimRest rest{member.data(), best.data(), link.data(), cap.data(), full.data(), count};
  const complex_detail::PassResult result = run(rest);
  full.resize(result.full);
  return PassOutcome{result, best, link, full};
}

// Every kernel set the CPU runs agrees with the portable one, and a pass
// takes a larger overlap, reports the members at their cap and the largest
// best of the others.
TEST(ComplexLevelsKernels, PassesAgreeWithPortableOnes) {
  std::vector<const complex_detail::PrimKernels*> sets;
  for (const CpuFeatures& cpu : runnable_features()) sets.push_back(&complex_detail::prim_kernels(cpu));
  const auto& portable = *sets.front();
  std::mt19937_64 rng(5);
  for (int round = 0; round < 200; ++round) {
    const std::size_t count = 1 + rng() % 40;
    const std::size_t words = 1 + rng() % 11;
    std::vector<Word> rows(count * words), joined(words);
    std::vector<std::uint32_t> extra(count);
    // Sparse words keep overlaps near the caps drawn above.
    for (auto& w : rows) w = rng() & rng() & rng() & rng();
    for (auto& w : joined) w = rng() & rng();
    for (auto& e : extra) e = static_cast<std::uint32_t>(rng() % 2);
    const auto seed = rng();
    auto with = [&](const complex_detail::PrimKernels& k, int which) {
      std::mt19937_64 same(seed);
      return run_pass(same, count, [&](const complex_detail::PrimRest& rest) {
        if (which == 0) return k.one_word(rest, rows.data(), joined[0], 3);
        if (which == 1) return k.one_word_plus(rest, rows.data(), joined[0], 3, extra.data());
        return k.many_words(rest, rows.data(), words, joined.data(), 3);
      });
    };
    for (int which = 0; which < 3; ++which) {
      for (const auto* set : sets) {
        ASSERT_EQ(with(*set, which), with(portable, which)) << "round " << round << " kernel " << which;
      }
      const PassOutcome got = with(portable, which);
      for (std::size_t j = 0; j < count; ++j) {
        if (got.link[j] == 3) {
          EXPECT_GT(got.best[j], 0u);
        }
      }
      if (got.result.next != kNone<std::size_t>) {
        for (std::size_t j = 0; j < count; ++j) {
          const bool is_full = std::find(got.full.begin(), got.full.end(), j) != got.full.end();
          if (!is_full) {
            EXPECT_LE(got.best[j], got.best[got.result.next]);
          }
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Interruption
// ---------------------------------------------------------------------------

int g_polls = 0;
bool stop_after_two_polls() { return ++g_polls > 2; }

TEST(ComplexLevels, LongRunsStopWhenInterrupted) {
  std::mt19937_64 rng(7);
  Raw raw(20000);
  for (auto& s : raw) {
    s.resize(1 + rng() % 8);
    for (auto& v : s) v = rng() % 500;
  }
  g_polls = 0;
  set_interrupt_poll(&stop_after_two_polls);
  EXPECT_THROW(complex_levels(packed(raw)), Interrupted);
  set_interrupt_poll(nullptr);
  EXPECT_GT(g_polls, 2);
  // Without a poll the same input runs through.
  EXPECT_EQ(complex_levels(packed(raw)).size(), 8u);
}

// ---------------------------------------------------------------------------
// Seeded random cross-checks
// ---------------------------------------------------------------------------

// Small complexes of varied shape: vertex pools from tiny (heavy overlap) to
// wide, empty simplices, repeated vertices, exact and shuffled duplicates,
// an occasional big simplex, and ids near 2^64.
Raw random_complex(std::mt19937_64& rng) {
  const std::size_t n = rng() % 30;
  const VertexId pools[] = {2, 4, 8, 16, 60, 1000};
  const VertexId pool = pools[rng() % 6];
  const VertexId base = (rng() % 4 == 0) ? kTop - pool + 1 : 0;
  const std::size_t max_size = 1 + rng() % 7;
  Raw raw;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned kind = static_cast<unsigned>(rng() % 20);
    if (kind == 0) {
      raw.emplace_back();
    } else if (kind <= 2 && !raw.empty()) {
      auto copy = raw[rng() % raw.size()];
      std::shuffle(copy.begin(), copy.end(), rng);
      raw.push_back(std::move(copy));
    } else {
      std::size_t size = (kind == 3) ? 8 + rng() % 10 : 1 + rng() % max_size;
      std::vector<VertexId> s(size);
      for (auto& v : s) v = base + rng() % pool;
      raw.push_back(std::move(s));
    }
  }
  return raw;
}

TEST(ComplexLevelsRandom, MatchesBruteForceAndReference) {
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    Raw raw = random_complex(rng);
    Canon model = brute_force(raw);
    ASSERT_EQ(reference(raw), model) << "reference disagrees with the model, round " << round;
    expect_shipped(raw, model, "round " + std::to_string(round));
    if (HasFailure()) break;
  }
}

// Bigger complexes over few vertices: large groups through every vertex, so
// the subset walk runs under the default settings too.
TEST(ComplexLevelsRandom, DenseComplexesMatchBruteForce) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 40; ++round) {
    const std::size_t n = 100 + rng() % 300;
    const VertexId pool = 6 + rng() % 30;
    Raw raw(n);
    for (auto& s : raw) {
      s.resize(rng() % 50 == 0 ? 15 + rng() % 25 : 1 + rng() % 6);
      for (auto& v : s) v = rng() % pool;
    }
    Canon model = brute_force(raw);
    expect_shipped(raw, model, "dense round " + std::to_string(round));
    if (round % 8 == 0) {
      EXPECT_EQ(reference(raw), model) << "dense round " << round;
    }
    if (HasFailure()) break;
  }
}

// Simplices of one size drawn from a pool barely larger: every pair shares
// most of its vertices, so splitting a group enumerates nearly all subsets
// and is abandoned for settling.
TEST(ComplexLevelsRandom, HeavyOverlapMatchesBruteForce) {
  std::mt19937_64 rng(31337);
  for (int round = 0; round < 6; ++round) {
    const std::size_t size = 9 + rng() % 4;
    const VertexId pool = size + 1 + rng() % 3;
    Raw raw(16 + rng() % 16);
    for (auto& s : raw) {
      std::vector<VertexId> all(pool);
      std::iota(all.begin(), all.end(), VertexId{0});
      std::shuffle(all.begin(), all.end(), rng);
      s.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(size));
    }
    Canon model = brute_force(raw);
    expect_shipped(raw, model, "heavy round " + std::to_string(round));
    if (HasFailure()) break;
  }
}

// Larger simplices over wider pools: groups share more than 64 vertices, so
// settling runs on bitsets of several words, on the 64 most held vertices
// plus an index, and walks stay on records.
TEST(ComplexLevelsRandom, WideGroupsMatchBruteForce) {
  std::mt19937_64 rng(4242);
  for (int round = 0; round < 12; ++round) {
    const std::size_t n = 30 + rng() % 60;
    const VertexId pool = 90 + rng() % 120;
    const std::size_t low = 10 + rng() % 30;
    Raw raw(n);
    for (auto& s : raw) {
      s.resize(low + rng() % 40);
      // Skewed: a few vertices in most simplices, the rest spread thin.
      for (auto& v : s) v = (rng() % 3 == 0) ? rng() % 12 : rng() % pool;
    }
    if (round % 3 == 0) raw.push_back(raw[rng() % n]);
    Canon model = brute_force(raw);
    expect_shipped(raw, model, "wide round " + std::to_string(round));
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace korvane
