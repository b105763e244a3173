#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "common/types.hpp"
#include "lib/fast_hierarchical_q_components_tuning.hpp"
#include "lib/hierarchical_q_components.hpp"

namespace korvane {
namespace {

using Raw = std::vector<std::vector<VertexId>>;
using Component = std::vector<SimplexIndex>;  // ascending
// Levels by q; every component ascending. Level 0 keeps the order it was
// returned in, the other levels are sorted since their order is free.
using Canon = std::vector<std::vector<Component>>;

constexpr VertexId kTop = std::numeric_limits<VertexId>::max();

Canon canon_levels(std::vector<std::vector<Component>> levels) {
  for (std::size_t q = 0; q < levels.size(); ++q) {
    for (auto& c : levels[q]) std::sort(c.begin(), c.end());
    if (q > 0) std::sort(levels[q].begin(), levels[q].end());
  }
  return levels;
}

Canon canon(const std::vector<fast::FlatLevel>& levels) {
  std::vector<std::vector<Component>> out;
  for (const auto& level : levels) {
    EXPECT_EQ(level.starts.front(), 0u);
    EXPECT_EQ(level.starts.back(), level.members.size());
    std::vector<Component> comps;
    for (std::size_t i = 0; i < level.size(); ++i) {
      comps.emplace_back(level.members.begin() + static_cast<std::ptrdiff_t>(level.starts[i]),
                         level.members.begin() + static_cast<std::ptrdiff_t>(level.starts[i + 1]));
    }
    out.push_back(std::move(comps));
  }
  return canon_levels(std::move(out));
}

Canon canon(const Hierarchy& hierarchy) {
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
  std::vector<Simplex> simplices;
  for (const auto& s : raw) simplices.emplace_back(s.begin(), s.end());
  return canon(find_hierarchical_q_components(std::move(simplices)));
}

// Settings that between them drive every internal path on small inputs:
// pair-by-pair groups, the subset walk, counting between large simplices,
// and 64-bit indices.
std::vector<std::pair<std::string, fast::HierarchyTuning>> tunings() {
  return {
      {"default", fast::HierarchyTuning{}},
      {"walk only", fast::HierarchyTuning{1000, 0, false}},
      {"all large", fast::HierarchyTuning{0, 0, false}},
      {"mixed", fast::HierarchyTuning{3, 2, false}},
      {"pairs only", fast::HierarchyTuning{1000, 1000, false}},
      {"wide mixed", fast::HierarchyTuning{2, 1, true}},
  };
}

// The fast path under every tuning must give `expected`.
void expect_fast(const Raw& raw, const Canon& expected, const std::string& what) {
  EXPECT_EQ(canon(fast::find_hierarchical_q_components(raw)), expected) << what << " (public entry)";
  for (const auto& [name, tuning] : tunings()) {
    EXPECT_EQ(canon(fast::find_hierarchical_q_components(raw, tuning)), expected) << what << " (" << name << ")";
  }
}

// ---------------------------------------------------------------------------
// Hand-built complexes
// ---------------------------------------------------------------------------

TEST(FastHierarchy, EmptyInputHasNoLevels) { expect_fast({}, {}, "empty"); }

TEST(FastHierarchy, AllEmptySimplicesGiveOneEmptyLevel) {
  expect_fast({{}}, Canon(1), "one empty");
  expect_fast({{}, {}, {}}, Canon(1), "three empty");
}

TEST(FastHierarchy, EmptySimplicesBelongNowhere) {
  expect_fast({{1, 2}, {}}, {{{0}}, {{0}}}, "trailing empty");
  expect_fast({{}, {5}, {}, {5}}, {{{1, 3}}}, "empties around equal points");
}

TEST(FastHierarchy, WorkedExample) {
  expect_fast({{1, 2, 3}, {3, 4}, {5}}, {{{0, 1}, {2}}, {{0}, {1}}, {{0}}}, "worked example");
}

TEST(FastHierarchy, ChainOfTriangles) {
  expect_fast({{1, 2, 3}, {2, 3, 4}, {3, 4, 5}}, {{{0, 1, 2}}, {{0, 1, 2}}, {{0}, {1}, {2}}}, "chain");
  // The same chain listed backwards and with scrambled vertex order.
  expect_fast({{5, 4, 3}, {4, 2, 3}, {3, 1, 2}}, {{{0, 1, 2}}, {{0, 1, 2}}, {{0}, {1}, {2}}}, "chain reversed");
}

TEST(FastHierarchy, SingleSimplexSpansEveryLevel) {
  expect_fast({{1, 2, 3}}, {{{0}}, {{0}}, {{0}}}, "triangle");
}

TEST(FastHierarchy, RepeatedVerticesCountOnce) {
  expect_fast({{1, 1, 2}}, {{{0}}, {{0}}}, "1,1,2");
  expect_fast({{7, 7, 7, 7}, {7}}, {{{0, 1}}}, "all repeats");
  expect_fast({{1, 2, 2, 1}, {2, 1, 3, 3}}, {{{0, 1}}, {{0, 1}}, {{1}}}, "repeats on both sides");
}

TEST(FastHierarchy, EqualSimplicesStaySeparateEntries) {
  expect_fast({{1, 2}, {2, 1}}, {{{0, 1}}, {{0, 1}}}, "equal pair");
  Raw copies(20, std::vector<VertexId>{4, 9, 16, 25, 36});
  Component all(20);
  std::iota(all.begin(), all.end(), 0);
  expect_fast(copies, Canon(5, std::vector<Component>{all}), "twenty copies");
}

TEST(FastHierarchy, DisjointSimplicesInIndexOrder) {
  expect_fast({{1, 2}, {3, 4}}, {{{0}, {1}}, {{0}, {1}}}, "disjoint");
  // Level 0 is ordered by each component's smallest index, not by size or
  // by vertex ids.
  expect_fast({{9}, {1, 2}, {30, 31, 9}, {2, 3}},
              {{{0, 2}, {1, 3}}, {{1}, {2}, {3}}, {{2}}}, "interleaved components");
}

TEST(FastHierarchy, SharingExactlyQPlusOneVertices) {
  // Two 5-vertex simplices sharing three vertices: together up to level 2.
  Canon expected = {{{0, 1}}, {{0, 1}}, {{0, 1}}, {{0}, {1}}, {{0}, {1}}};
  expect_fast({{1, 2, 3, 4, 5}, {3, 4, 5, 6, 7}}, expected, "overlap 3");
}

TEST(FastHierarchy, IdsAtTheEndsOfTheRange) {
  expect_fast({{kTop, kTop - 1, 0}, {kTop - 1, kTop}, {0}, {kTop - 2}},
              {{{0, 1, 2}, {3}}, {{0, 1}}, {{0}}}, "extreme ids");
  expect_fast({{kTop}, {kTop, kTop}}, {{{0, 1}}}, "top id repeated");
}

TEST(FastHierarchy, FortyVertexSimplicesAmongSmallOnes) {
  std::vector<VertexId> big1(40), big2(40);
  std::iota(big1.begin(), big1.end(), 1);   // 1..40
  std::iota(big2.begin(), big2.end(), 21);  // 21..60, shares 20 with big1
  Raw raw = {big1, {1, 2, 3}, {2, 3, 4, 100}, {200, 201}, {40, 41}, big2, {100, 200}, {58, 59, 60, 61}};
  // Level 0: everything is linked through shared vertices.
  // Level 1 (two shared): {0,1,2} via 2,3; big2 with {40,41} and with
  // {58,59,60,61}; big1 with big2.
  // Level 2 (three shared): the same minus the 2-vertex simplices.
  // Level 3: big1 with big2 only; {2,3,4,100} and {58,59,60,61} alone.
  // Levels 4..19: big1 with big2. Levels 20..39: big1 and big2 apart.
  Canon expected;
  expected.push_back({{0, 1, 2, 3, 4, 5, 6, 7}});
  expected.push_back({{0, 1, 2, 4, 5, 7}, {3}, {6}});
  expected.push_back({{0, 1, 2, 5, 7}});
  expected.push_back({{0, 5}, {2}, {7}});
  for (int q = 4; q < 20; ++q) expected.push_back({{0, 5}});
  for (int q = 20; q < 40; ++q) expected.push_back({{0}, {5}});
  expected = canon_levels(expected);
  ASSERT_EQ(expected, brute_force(raw));
  expect_fast(raw, expected, "two 40-vertex simplices");
}

TEST(FastHierarchy, PopularVertexGroupsAreSplitExactly) {
  // 60 simplices through vertex 0, in pairs sharing one more vertex; with the
  // default settings the group is too big to be compared pair by pair.
  Raw raw;
  for (VertexId k = 0; k < 30; ++k) {
    raw.push_back({0, 1000 + k, 2000 + 2 * k});
    raw.push_back({0, 1000 + k, 2001 + 2 * k});
  }
  Canon expected(3);
  Component all(60);
  std::iota(all.begin(), all.end(), 0);
  expected[0] = {all};
  for (SimplexIndex k = 0; k < 30; ++k) expected[1].push_back({2 * k, 2 * k + 1});
  for (SimplexIndex s = 0; s < 60; ++s) expected[2].push_back({s});
  expected = canon_levels(expected);
  expect_fast(raw, expected, "popular vertex");
}

TEST(FastHierarchy, VerticesCommonToABigGroupCountOnce) {
  // Fourteen simplices {1, 2, e, u}: all share 1 and 2, pairs also share
  // e = 100 + k, and u is their own. Fillers make 1 rarer than every e and 2
  // the most popular, so a shared vertex (2) ranks after the vertex (e) that
  // splits the group: pairs share exactly three vertices, never four.
  Raw raw;
  for (VertexId i = 0; i < 14; ++i) raw.push_back({1, 2, 100 + i / 2, 1000 + i});
  for (VertexId k = 0; k < 7; ++k) {
    for (VertexId j = 0; j < 20; ++j) raw.push_back({100 + k, 2000 + 20 * k + j});
  }
  for (VertexId j = 0; j < 30; ++j) raw.push_back({2, 5000 + j});
  Canon expected(4);
  Component all(raw.size());
  std::iota(all.begin(), all.end(), 0);
  expected[0] = {all};
  expected[1].push_back(Component(all.begin(), all.begin() + 14));
  for (SimplexIndex s = 14; s < raw.size(); ++s) expected[1].push_back({s});
  for (SimplexIndex k = 0; k < 7; ++k) expected[2].push_back({2 * k, 2 * k + 1});
  for (SimplexIndex s = 0; s < 14; ++s) expected[3].push_back({s});
  expected = canon_levels(expected);
  expect_fast(raw, expected, "common vertices");
}

TEST(FastHierarchy, MatchesReferenceOnHandBuiltComplexes) {
  const std::vector<Raw> cases = {
      {{1, 2, 3}, {3, 4}, {5}},
      {{1, 2, 3}, {2, 3, 4}, {3, 4, 5}},
      {{1, 2}, {}},
      {{1, 2}, {2, 1}},
      {{kTop, 0, 5}, {kTop, 5}, {0}},
  };
  for (const auto& raw : cases) EXPECT_EQ(canon(fast::find_hierarchical_q_components(raw)), reference(raw));
}

// ---------------------------------------------------------------------------
// Interruption
// ---------------------------------------------------------------------------

int g_polls = 0;
bool stop_after_two_polls() { return ++g_polls > 2; }

TEST(FastHierarchy, LongRunsStopWhenInterrupted) {
  std::mt19937_64 rng(7);
  Raw raw(20000);
  for (auto& s : raw) {
    s.resize(1 + rng() % 8);
    for (auto& v : s) v = rng() % 500;
  }
  g_polls = 0;
  set_interrupt_poll(&stop_after_two_polls);
  EXPECT_THROW(fast::find_hierarchical_q_components(raw), Interrupted);
  set_interrupt_poll(nullptr);
  EXPECT_GT(g_polls, 2);
  // Without a poll the same input runs through.
  EXPECT_EQ(fast::find_hierarchical_q_components(raw).size(), 8u);
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

TEST(FastHierarchyRandom, MatchesBruteForceAndReference) {
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    Raw raw = random_complex(rng);
    Canon model = brute_force(raw);
    ASSERT_EQ(reference(raw), model) << "reference disagrees with the model, round " << round;
    expect_fast(raw, model, "round " + std::to_string(round));
    if (HasFailure()) break;
  }
}

// Bigger complexes over few vertices: large groups through every vertex, so
// the subset walk runs under the default settings too.
TEST(FastHierarchyRandom, DenseComplexesMatchBruteForce) {
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
    expect_fast(raw, model, "dense round " + std::to_string(round));
    if (round % 8 == 0) {
      EXPECT_EQ(reference(raw), model) << "dense round " << round;
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace korvane
