#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "graph_q_components/clique_manager.hpp"

namespace korvane {
namespace {

using Cliques = std::vector<Clique>;

// Every invariant of the registry: dense ids, reverse index and size index
// consistent with `cliques`, no empty size vectors.
void expect_consistent(const CliqueManager& m) {
  ASSERT_EQ(m.clique_to_id.size(), m.cliques.size());
  std::size_t filed = 0;
  for (const auto& [clique_size, ids] : m.cliques_by_size) {
    EXPECT_FALSE(ids.empty());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      ASSERT_LT(ids[i], m.cliques.size());
      EXPECT_EQ(m.cliques[ids[i]].size(), clique_size);
      if (i > 0) {
        EXPECT_LT(ids[i - 1], ids[i]);
      }
    }
    filed += ids.size();
  }
  EXPECT_EQ(filed, m.cliques.size());
  for (CliqueId id = 0; id < m.cliques.size(); ++id) {
    EXPECT_EQ(lookup(m.clique_to_id, m.cliques[id]), id);
  }
}

TEST(CliqueManager, StartsEmpty) {
  CliqueManager m;
  EXPECT_TRUE(m.cliques.empty());
  EXPECT_TRUE(m.clique_to_id.empty());
  EXPECT_TRUE(m.cliques_by_size.empty());
}

TEST(CliqueManager, IdsFollowRegistrationOrderAndAreFiledBySize) {
  CliqueManager m;
  m.add_clique({5});
  m.add_clique({2});
  m.add_clique({2, 5});
  EXPECT_EQ(m.cliques, (Cliques{{5}, {2}, {2, 5}}));
  EXPECT_EQ(lookup(m.clique_to_id, Clique{5}), 0u);
  EXPECT_EQ(lookup(m.clique_to_id, Clique{2}), 1u);
  EXPECT_EQ(lookup(m.clique_to_id, Clique{2, 5}), 2u);
  ASSERT_EQ(m.cliques_by_size.size(), 2u);
  EXPECT_EQ(lookup(m.cliques_by_size, std::size_t{1}), (std::vector<CliqueId>{0, 1}));
  EXPECT_EQ(lookup(m.cliques_by_size, std::size_t{2}), (std::vector<CliqueId>{2}));
  expect_consistent(m);
}

TEST(CliqueManager, RepeatedCliqueKeepsItsIdAndConsumesNone) {
  CliqueManager m;
  // Cliques are ascending by contract; {3, 1} written in ascending form.
  m.add_clique({1, 3});
  m.add_clique({1, 3});
  EXPECT_EQ(m.cliques.size(), 1u);
  EXPECT_EQ(lookup(m.clique_to_id, Clique{1, 3}), 0u);
  EXPECT_EQ(lookup(m.cliques_by_size, std::size_t{2}), (std::vector<CliqueId>{0}));
  m.add_clique({4});
  EXPECT_EQ(lookup(m.clique_to_id, Clique{4}), 1u);
  expect_consistent(m);
}

TEST(CliqueManager, EmptyCliqueIsFiledUnderSizeZero) {
  CliqueManager m;
  m.add_clique({7});
  m.add_clique({});
  m.add_clique({});
  EXPECT_EQ(m.cliques.size(), 2u);
  EXPECT_EQ(lookup(m.clique_to_id, Clique{}), 1u);
  EXPECT_EQ(lookup(m.cliques_by_size, std::size_t{0}), (std::vector<CliqueId>{1}));
  expect_consistent(m);
}

TEST(CliqueManager, LookupOfUnregisteredCliqueFails) {
  CliqueManager m;
  m.add_clique({1, 2});
  EXPECT_THROW(lookup(m.clique_to_id, Clique{1}), InternalFailure);
  EXPECT_THROW(lookup(m.cliques_by_size, std::size_t{1}), InternalFailure);
}

TEST(GetSubcliques, SizeZeroAndOversizedGiveNothing) {
  const Clique c{4, 7, 9};
  EXPECT_TRUE(get_subcliques(c, 0).empty());
  EXPECT_TRUE(get_subcliques(c, 4).empty());
  EXPECT_TRUE(get_subcliques(c, 100).empty());
}

TEST(GetSubcliques, EmptyCliqueGivesNothingForEveryK) {
  for (std::size_t k = 0; k < 4; ++k) EXPECT_TRUE(get_subcliques(Clique{}, k).empty()) << k;
}

TEST(GetSubcliques, LexicographicOrder) {
  const Clique c{4, 7, 9};
  EXPECT_EQ(get_subcliques(c, 3), (Cliques{{4, 7, 9}}));
  EXPECT_EQ(get_subcliques(c, 1), (Cliques{{4}, {7}, {9}}));
  EXPECT_EQ(get_subcliques(c, 2), (Cliques{{4, 7}, {4, 9}, {7, 9}}));
  EXPECT_EQ(get_subcliques(Clique{1, 2, 3, 4}, 2), (Cliques{{1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}}));
  EXPECT_EQ(get_subcliques(Clique{1, 2, 3, 4}, 3), (Cliques{{1, 2, 3}, {1, 2, 4}, {1, 3, 4}, {2, 3, 4}}));
}

TEST(GetSubcliques, ExtremeVertexIds) {
  const VertexId top = std::numeric_limits<VertexId>::max();
  EXPECT_EQ(get_subcliques(Clique{0, top - 1, top}, 2), (Cliques{{0, top - 1}, {0, top}, {top - 1, top}}));
}

TEST(CombinationsRecursive, AppendsFromStartAndRestoresCurrent) {
  const std::vector<VertexId> elements{1, 2, 3, 4};
  std::vector<VertexId> current{1};
  Cliques result{{99}};
  combinations_recursive(elements, 3, 2, current, result);
  // Completions of {1} with two elements taken from {3, 4}.
  EXPECT_EQ(result, (Cliques{{99}, {1, 3, 4}}));
  EXPECT_EQ(current, (std::vector<VertexId>{1}));

  current.clear();
  result.clear();
  combinations_recursive(elements, 2, 4, current, result);
  EXPECT_TRUE(result.empty());
  combinations_recursive(elements, 0, 0, current, result);
  EXPECT_EQ(result, (Cliques{Clique{}}));
}

std::uint64_t binomial(std::uint64_t n, std::uint64_t k) {
  if (k > n) return 0;
  std::uint64_t r = 1;
  for (std::uint64_t i = 1; i <= k; ++i) r = r * (n - k + i) / i;
  return r;
}

// Against the subsets of a random clique picked by bitmask, sorted: each
// k-subset exactly once, in lexicographic order.
TEST(GetSubcliques, MatchesBitmaskEnumerationOnRandomCliques) {
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = rng() % 9;
    std::set<VertexId> pool;
    while (pool.size() < n) pool.insert(rng() % 1000);
    const Clique clique(pool.begin(), pool.end());
    for (std::size_t k = 0; k <= n + 1; ++k) {
      Cliques expected;
      if (k >= 1) {
        for (std::uint32_t mask = 0; mask < (1u << n); ++mask) {
          if (static_cast<std::size_t>(__builtin_popcount(mask)) != k) continue;
          Clique sub;
          for (std::size_t i = 0; i < n; ++i)
            if (mask & (1u << i)) sub.push_back(clique[i]);
          expected.push_back(sub);
        }
        std::sort(expected.begin(), expected.end());
      }
      const Cliques got = get_subcliques(clique, k);
      EXPECT_EQ(got.size(), k == 0 ? 0 : binomial(n, k));
      EXPECT_EQ(got, expected) << "n=" << n << " k=" << k;
    }
  }
}

// ---------------------------------------------------------------------------
// Clique enumeration of a graph
// ---------------------------------------------------------------------------

AdjacencyMap graph_of(const std::vector<std::pair<VertexId, VertexId>>& edges) {
  AdjacencyMap g;
  for (auto [u, v] : edges) {
    g[u].insert(v);
    g[v].insert(u);
  }
  return g;
}

TEST(RegisterGraphCliques, IdsBySizeThenLexicographic) {
  // K4 on 1..4 plus a pendant edge 4-9.
  const AdjacencyMap g = graph_of({{4, 9}, {3, 4}, {1, 2}, {2, 4}, {1, 3}, {1, 4}, {2, 3}});
  CliqueManager m;
  InterruptTicker ticker;
  register_graph_cliques(g, 10, m, ticker);
  const Cliques expected{{1},       {2},       {3},       {4},       {9},       {1, 2},       {1, 3},
                         {1, 4},    {2, 3},    {2, 4},    {3, 4},    {4, 9},    {1, 2, 3},    {1, 2, 4},
                         {1, 3, 4}, {2, 3, 4}, {1, 2, 3, 4}};
  EXPECT_EQ(m.cliques, expected);
  expect_consistent(m);
}

TEST(RegisterGraphCliques, BoundCapsCliqueSize) {
  const AdjacencyMap g = graph_of({{1, 2}, {1, 3}, {2, 3}});
  for (std::uint64_t bound : {0, 1}) {
    CliqueManager m;
    InterruptTicker ticker;
    register_graph_cliques(g, bound, m, ticker);
    EXPECT_EQ(m.cliques, (Cliques{{1}, {2}, {3}})) << bound;
  }
  CliqueManager m;
  InterruptTicker ticker;
  register_graph_cliques(g, 2, m, ticker);
  EXPECT_EQ(m.cliques, (Cliques{{1}, {2}, {3}, {1, 2}, {1, 3}, {2, 3}}));
}

TEST(RegisterGraphCliques, SelfEntriesAreIgnored) {
  AdjacencyMap g;
  g[1] = {1, 2};
  g[2] = {1, 2};
  CliqueManager m;
  InterruptTicker ticker;
  register_graph_cliques(g, std::numeric_limits<std::uint64_t>::max(), m, ticker);
  EXPECT_EQ(m.cliques, (Cliques{{1}, {2}, {1, 2}}));
}

TEST(RegisterGraphCliques, VerticesThatAreNoKeys) {
  // 3 is only a neighbour: it is no single-vertex clique but still extends {2}.
  AdjacencyMap g;
  g[1] = {2};
  g[2] = {1, 3};
  CliqueManager m;
  InterruptTicker ticker;
  register_graph_cliques(g, 5, m, ticker);
  EXPECT_EQ(m.cliques, (Cliques{{1}, {2}, {1, 2}, {2, 3}}));

  // 2 is no key, so no clique grows through it even though 1 and 3 list it.
  AdjacencyMap h;
  h[1] = {2, 3};
  h[3] = {1, 2};
  CliqueManager n;
  register_graph_cliques(h, 5, n, ticker);
  EXPECT_EQ(n.cliques, (Cliques{{1}, {3}, {1, 2}, {1, 3}}));
}

}  // namespace
}  // namespace korvane
