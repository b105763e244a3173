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

#include "analyses/complex_levels.hpp"
#include "core/interrupt.hpp"
#include "reference/hierarchical_q_components.hpp"

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

// Settings that between them drive every internal path on small inputs:
// pair-by-pair groups, the subset walk, counting between large simplices,
// and 64-bit indices.
std::vector<std::pair<std::string, ComplexLevelsTuning>> tunings() {
  return {
      {"default", ComplexLevelsTuning{}},
      {"walk only", ComplexLevelsTuning{1000, 0, false}},
      {"all large", ComplexLevelsTuning{0, 0, false}},
      {"mixed", ComplexLevelsTuning{3, 2, false}},
      {"pairs only", ComplexLevelsTuning{1000, 1000, false}},
      {"wide mixed", ComplexLevelsTuning{2, 1, true}},
  };
}

// The shipped analysis under every tuning must give `expected`.
void expect_shipped(const Raw& raw, const Canon& expected, const std::string& what) {
  EXPECT_EQ(canon(complex_levels(raw)), expected) << what << " (public entry)";
  for (const auto& [name, tuning] : tunings()) {
    EXPECT_EQ(canon(complex_levels(raw, tuning)), expected) << what << " (" << name << ")";
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
  EXPECT_THROW(complex_levels(raw), Interrupted);
  set_interrupt_poll(nullptr);
  EXPECT_GT(g_polls, 2);
  // Without a poll the same input runs through.
  EXPECT_EQ(complex_levels(raw).size(), 8u);
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

}  // namespace
}  // namespace korvane
