#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "graph_q_components/q_components.hpp"

namespace korvane {
namespace {

using Level = std::multiset<VertexSet>;
// q -> components as a multiset: their order within a level is not defined,
// but a component listed twice would be a fault.
using Levels = std::map<QLevel, Level>;

Levels normalise(const ComponentsByLevel& result) {
  Levels out;
  for (const auto& [q, components] : result) {
    Level& level = out[q];
    for (const VertexSet& c : components) {
      EXPECT_TRUE(std::is_sorted(c.begin(), c.end()));
      EXPECT_EQ(std::adjacent_find(c.begin(), c.end()), c.end());
      level.insert(c);
    }
  }
  return out;
}

Levels run(const AdjacencyMap& g, MaxQ max_q = std::nullopt) {
  return normalise(find_all_q_connected_components(g, max_q));
}

AdjacencyMap graph_of(const std::vector<std::pair<VertexId, VertexId>>& edges) {
  AdjacencyMap g;
  for (auto [u, v] : edges) {
    g[u].insert(v);
    g[v].insert(u);
  }
  return g;
}

const AdjacencyMap kTriangle = graph_of({{1, 2}, {1, 3}, {2, 3}});

TEST(QComponents, EmptyGraphGivesEmptyMap) {
  const AdjacencyMap g;
  for (MaxQ m : {MaxQ{}, MaxQ{0}, MaxQ{1}, MaxQ{5}, MaxQ{std::numeric_limits<std::uint64_t>::max()}}) {
    EXPECT_TRUE(find_all_q_connected_components(g, m).empty());
  }
}

TEST(QComponents, LoneVertexWithOrWithoutSelfEntry) {
  AdjacencyMap g;
  g[7] = {};
  EXPECT_EQ(run(g), (Levels{{0, {{7}}}}));
  g[7] = {7};
  EXPECT_EQ(run(g), (Levels{{0, {{7}}}}));
  EXPECT_EQ(run(g, 0), (Levels{{0, {{7}}}}));
}

TEST(QComponents, OneEdgeWithOrWithoutSelfEntry) {
  AdjacencyMap g = graph_of({{1, 2}});
  const Levels expected{{1, {{1, 2}}}, {0, {{1, 2}}}};
  EXPECT_EQ(run(g), expected);
  g[1].insert(1);
  EXPECT_EQ(run(g), expected);
  g[2].insert(2);
  EXPECT_EQ(run(g), expected);
}

TEST(QComponents, Path) {
  EXPECT_EQ(run(graph_of({{1, 2}, {2, 3}})), (Levels{{1, {{1, 2}, {2, 3}}}, {0, {{1, 2, 3}}}}));
}

TEST(QComponents, TriangleUnboundedOrBoundAboveThree) {
  const Levels expected{{2, {{1, 2, 3}}}, {1, {{1, 2, 3}}}, {0, {{1, 2, 3}}}};
  EXPECT_EQ(run(kTriangle), expected);
  EXPECT_EQ(run(kTriangle, 3), expected);
  EXPECT_EQ(run(kTriangle, 4), expected);
  EXPECT_EQ(run(kTriangle, std::uint64_t{1} << 40), expected);
  EXPECT_EQ(run(kTriangle, std::numeric_limits<std::uint64_t>::max()), expected);
}

TEST(QComponents, TriangleBoundTwoKeepsEdgesApart) {
  EXPECT_EQ(run(kTriangle, 2), (Levels{{1, {{1, 2}, {1, 3}, {2, 3}}}, {0, {{1, 2, 3}}}}));
}

TEST(QComponents, TriangleBoundZeroOrOneKeepsVerticesApart) {
  const Levels expected{{0, {{1}, {2}, {3}}}};
  EXPECT_EQ(run(kTriangle, 0), expected);
  EXPECT_EQ(run(kTriangle, 1), expected);
}

TEST(QComponents, TwoTrianglesSharingAVertex) {
  const AdjacencyMap g = graph_of({{1, 2}, {1, 3}, {2, 3}, {3, 4}, {3, 5}, {4, 5}});
  EXPECT_EQ(run(g), (Levels{{2, {{1, 2, 3}, {3, 4, 5}}}, {1, {{1, 2, 3}, {3, 4, 5}}}, {0, {{1, 2, 3, 4, 5}}}}));
}

TEST(QComponents, CompleteGraphOnFour) {
  const AdjacencyMap g = graph_of({{1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}});
  const Level all{{1, 2, 3, 4}};
  EXPECT_EQ(run(g), (Levels{{3, all}, {2, all}, {1, all}, {0, all}}));
  EXPECT_EQ(run(g, 3), (Levels{{2, {{1, 2, 3}, {1, 2, 4}, {1, 3, 4}, {2, 3, 4}}}, {1, all}, {0, all}}));
}

TEST(QComponents, VertexOnlyAsNeighbour) {
  AdjacencyMap g;
  g[1] = {2};
  EXPECT_EQ(run(g, 2), (Levels{{1, {{1, 2}}}, {0, {{1}}}}));
  // Without a bound B is the number of keys, 1: no edge forms.
  EXPECT_EQ(run(g), (Levels{{0, {{1}}}}));
}

TEST(QComponents, IsolatedKeysAndSeparateParts) {
  AdjacencyMap g = graph_of({{10, 11}, {20, 21}, {21, 22}, {20, 22}});
  g[30];
  EXPECT_EQ(run(g), (Levels{{2, {{20, 21, 22}}}, {1, {{10, 11}, {20, 21, 22}}}, {0, {{10, 11}, {20, 21, 22}, {30}}}}));
}

TEST(QComponents, ExtremeVertexIds) {
  const VertexId top = std::numeric_limits<VertexId>::max();
  const AdjacencyMap g = graph_of({{0, top}, {top - 1, top}, {0, top - 1}, {top, 5}});
  EXPECT_EQ(run(g), (Levels{{2, {{0, top - 1, top}}},
                            {1, {{0, top - 1, top}, {5, top}}},
                            {0, {{0, 5, top - 1, top}}}}));
}

TEST(QComponents, GraphIsNotModified) {
  const AdjacencyMap g = graph_of({{1, 2}, {2, 3}, {1, 3}, {3, 4}});
  const AdjacencyMap copy = g;
  find_all_q_connected_components(g, std::nullopt);
  EXPECT_EQ(g, copy);
}

TEST(QComponents, ResultIndependentOfKeyInsertionOrder) {
  const std::vector<std::pair<VertexId, VertexId>> edges{{1, 2}, {1, 3}, {2, 3}, {3, 4}, {4, 5}, {3, 5},
                                                         {5, 6}, {2, 4}, {7, 8}, {1, 4}};
  const Levels expected = run(graph_of(edges));
  std::mt19937_64 rng(99);
  for (int round = 0; round < 10; ++round) {
    std::vector<std::pair<VertexId, VertexId>> shuffled = edges;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    for (auto& e : shuffled)
      if (rng() % 2) std::swap(e.first, e.second);
    AdjacencyMap g;
    g.reserve(rng() % 64);  // different bucket counts, different iteration orders
    for (auto [u, v] : shuffled) {
      g[u].insert(v);
      g[v].insert(u);
    }
    EXPECT_EQ(run(g), expected);
  }
}

bool always_interrupt() { return true; }

TEST(QComponents, StopsWhenInterrupted) {
  AdjacencyMap g;
  for (VertexId i = 0; i < 12; ++i)
    for (VertexId j = 0; j < 12; ++j)
      if (i != j) g[i].insert(j);
  set_interrupt_poll(&always_interrupt);
  EXPECT_THROW(find_all_q_connected_components(g, std::nullopt), Interrupted);
  set_interrupt_poll(nullptr);
  // Without a poll the same call runs to the end.
  EXPECT_EQ(find_all_q_connected_components(g, std::nullopt).size(), 12u);
}

// ---------------------------------------------------------------------------
// Seeded cross-check against a brute-force model
// ---------------------------------------------------------------------------

// Every clique of at most `bound` vertices by testing all vertex subsets, as
// bitmasks over positions in `vertices`; then at each level the (q + 1)-cliques
// contained in a common clique are merged. This is q-connectivity read off its
// definition, without the level-to-level inheritance.
Levels brute_force(const std::vector<VertexId>& vertices, const std::vector<std::uint32_t>& adjacent,
                   std::uint64_t bound) {
  const std::size_t n = vertices.size();
  std::vector<std::uint32_t> cliques;
  for (std::uint32_t mask = 1; mask < (1u << n); ++mask) {
    if (static_cast<std::uint64_t>(__builtin_popcount(mask)) > bound) continue;
    bool complete = true;
    for (std::size_t i = 0; i < n && complete; ++i)
      if ((mask >> i) & 1u) complete = (mask & ~(1u << i) & ~adjacent[i]) == 0;
    if (complete) cliques.push_back(mask);
  }
  std::size_t largest = 0;
  for (std::uint32_t c : cliques) largest = std::max<std::size_t>(largest, __builtin_popcount(c));

  Levels out;
  for (std::size_t k = 1; k <= largest; ++k) {
    std::vector<std::uint32_t> faces;
    for (std::uint32_t c : cliques)
      if (static_cast<std::size_t>(__builtin_popcount(c)) == k) faces.push_back(c);
    std::vector<std::size_t> label(faces.size());
    std::iota(label.begin(), label.end(), 0);
    auto root = [&](std::size_t x) {
      while (label[x] != x) x = label[x];
      return x;
    };
    for (std::uint32_t c : cliques) {
      std::size_t first = faces.size();
      for (std::size_t i = 0; i < faces.size(); ++i) {
        if ((faces[i] & c) != faces[i]) continue;
        if (first == faces.size()) {
          first = i;
        } else {
          label[root(i)] = root(first);
        }
      }
    }
    std::map<std::size_t, std::uint32_t> union_by_root;
    for (std::size_t i = 0; i < faces.size(); ++i) union_by_root[root(i)] |= faces[i];
    Level& level = out[static_cast<QLevel>(k - 1)];
    for (const auto& [r, mask] : union_by_root) {
      VertexSet component;
      for (std::size_t i = 0; i < n; ++i)
        if ((mask >> i) & 1u) component.push_back(vertices[i]);
      std::sort(component.begin(), component.end());
      level.insert(component);
    }
  }
  return out;
}

TEST(QComponents, MatchesBruteForceOnRandomGraphs) {
  std::mt19937_64 rng(31337);
  const VertexId top = std::numeric_limits<VertexId>::max();
  int compared_levels = 0;
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 1 + rng() % 9;
    // Ids drawn from a spread that includes the top of the unsigned range.
    std::set<VertexId> pool;
    while (pool.size() < n) {
      const std::uint64_t pick = rng() % 3;
      pool.insert(pick == 0 ? rng() % 20 : pick == 1 ? top - rng() % 20 : rng());
    }
    std::vector<VertexId> vertices(pool.begin(), pool.end());
    std::shuffle(vertices.begin(), vertices.end(), rng);

    const double density = 0.2 + 0.7 * static_cast<double>(rng() % 100) / 100.0;
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    std::vector<std::uint32_t> adjacent(n, 0);
    AdjacencyMap g;
    for (std::size_t i = 0; i < n; ++i) {
      g[vertices[i]];
      if (rng() % 5 == 0) g[vertices[i]].insert(vertices[i]);  // self entries form nothing
    }
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) {
        if (coin(rng) >= density) continue;
        adjacent[i] |= 1u << j;
        adjacent[j] |= 1u << i;
        g[vertices[i]].insert(vertices[j]);
        g[vertices[j]].insert(vertices[i]);
      }
    }

    const std::uint64_t choice = rng() % 6;
    const MaxQ max_q = choice == 0   ? MaxQ{}
                       : choice == 1 ? MaxQ{top}
                                     : MaxQ{rng() % (n + 2)};
    std::uint64_t bound = max_q.value_or(n);
    if (bound == 0) bound = 1;

    const Levels expected = brute_force(vertices, adjacent, bound);
    const Levels got = run(g, max_q);
    ASSERT_EQ(got, expected) << "round " << round << " n=" << n << " bound=" << bound;
    compared_levels += static_cast<int>(expected.size());
  }
  // Guard against a generator that only ever produces trivial graphs.
  EXPECT_GT(compared_levels, 600);
}

}  // namespace
}  // namespace korvane
