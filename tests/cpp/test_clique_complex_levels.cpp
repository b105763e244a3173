// The shipped clique search and clique-complex analysis: the search against
// subset enumeration, the levels against the documented algorithm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/graph/clique_search.hpp"
#include "collected.hpp"
#include "graph_levels_oracle.hpp"

namespace korvane {
namespace {

using testing_oracle::Levels;
using testing_oracle::normalised;
using testing_oracle::reference_levels;

constexpr VertexId kTop = std::numeric_limits<VertexId>::max();

Levels fast_levels(const std::vector<Edge>& edges, CliqueSizeBound max_q) {
  return normalised(collected_levels(edges, max_q));
}

std::vector<Edge> edges_of(std::initializer_list<std::pair<VertexId, VertexId>> pairs) {
  std::vector<Edge> out;
  for (auto [u, v] : pairs) out.push_back(Edge{u, v});
  return out;
}

const std::vector<CliqueSizeBound> kBounds = {CliqueSizeBound{}, CliqueSizeBound{0}, CliqueSizeBound{1}, CliqueSizeBound{2}, CliqueSizeBound{3}, CliqueSizeBound{4}, CliqueSizeBound{kTop}};

TEST(CliqueComplexLevels, HubsSharedByManyCliquesMatchReference) {
  // Three hubs with a crowd of common neighbours: each neighbour attached to
  // all three, to two, or to one of them, some neighbours linked in pairs, so
  // the cliques through a hub share hubs in many different combinations.
  std::mt19937_64 rng(5);
  for (int round = 0; round < 6; ++round) {
    std::vector<Edge> edges = edges_of({{1, 2}, {2, 3}, {1, 3}});
    const VertexId crowd = 90 + 60 * static_cast<VertexId>(round);
    for (VertexId x = 100; x < 100 + crowd; ++x) {
      const int pattern = std::uniform_int_distribution<int>(0, round < 2 ? 0 : 6)(rng);
      for (VertexId hub = 1; hub <= 3; ++hub) {
        if (pattern == 0 || (pattern >> (hub - 1) & 1) != 0) edges.push_back(Edge{x, hub});
      }
      if (round % 2 == 1 && x % 3 == 0) edges.push_back(Edge{x, x + 1});
    }
    std::shuffle(edges.begin(), edges.end(), rng);
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{3}, CliqueSizeBound{4}, CliqueSizeBound{6}}) {
      ASSERT_EQ(fast_levels(edges, bound), reference_levels(edges, bound)) << "round " << round;
    }
  }
}

// ---------------------------------------------------------------------------
// Clique search
// ---------------------------------------------------------------------------

DenseGraph random_dense_graph(std::mt19937_64& rng, std::size_t n, double p) {
  DenseGraph g;
  g.adjacency.resize(n);
  std::bernoulli_distribution coin(p);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a + 1; b < n; ++b) {
      if (!coin(rng)) continue;
      g.adjacency[a].push_back(static_cast<DenseVertex>(b));
      g.adjacency[b].push_back(static_cast<DenseVertex>(a));
    }
  }
  for (auto& around : g.adjacency) std::sort(around.begin(), around.end());
  return g;
}

// Every clique of the graph, by subset enumeration (n <= 16).
std::vector<std::vector<DenseVertex>> all_cliques(const DenseGraph& g) {
  const std::size_t n = g.size();
  std::vector<std::uint32_t> mask(n, 0);
  for (std::size_t v = 0; v < n; ++v) {
    for (DenseVertex u : g.adjacency[v]) mask[v] |= 1U << u;
  }
  std::vector<std::vector<DenseVertex>> out;
  for (std::uint32_t s = 0; s < (1U << n); ++s) {
    bool clique = true;
    std::vector<DenseVertex> members;
    for (std::size_t v = 0; v < n && clique; ++v) {
      if ((s >> v & 1U) == 0) continue;
      members.push_back(static_cast<DenseVertex>(v));
      if ((s & ~(1U << v) & ~mask[v]) != 0) clique = false;
    }
    if (clique) out.push_back(members);
  }
  return out;
}

TEST(CliqueSearch, MatchesSubsetEnumerationOnRandomGraphs) {
  std::mt19937_64 rng(20240611);
  InterruptTicker ticker;
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 14)(rng);
    const double p = std::uniform_real_distribution<double>(0.05, 0.95)(rng);
    const DenseGraph g = random_dense_graph(rng, n, p);
    const auto cliques = all_cliques(g);
    const std::set<std::vector<DenseVertex>> every(cliques.begin(), cliques.end());

    std::vector<std::vector<DenseVertex>> maximal;
    for_each_maximal_clique(g, ticker,
                                           [&](const std::vector<DenseVertex>& c) { maximal.push_back(c); });
    std::vector<std::vector<DenseVertex>> expected_maximal;
    for (const auto& c : cliques) {
      bool extendable = false;
      for (DenseVertex x = 0; x < n && !extendable; ++x) {
        if (std::find(c.begin(), c.end(), x) != c.end()) continue;
        auto bigger = c;
        bigger.insert(std::upper_bound(bigger.begin(), bigger.end(), x), x);
        extendable = every.count(bigger) != 0;
      }
      if (!extendable) expected_maximal.push_back(c);
    }
    std::sort(maximal.begin(), maximal.end());
    std::sort(expected_maximal.begin(), expected_maximal.end());
    ASSERT_EQ(maximal, expected_maximal) << "round " << round;

    for (std::uint64_t size = 0; size <= n + 1; ++size) {
      std::vector<std::vector<DenseVertex>> sized;
      for_each_clique_of_size(g, size, ticker,
                                             [&](const std::vector<DenseVertex>& c) { sized.push_back(c); });
      std::vector<std::vector<DenseVertex>> expected;
      for (const auto& c : cliques) {
        if (c.size() == size) expected.push_back(c);
      }
      std::sort(sized.begin(), sized.end());
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(sized, expected) << "round " << round << " size " << size;
    }
  }
}

TEST(CliqueSearch, DegeneracyOrderBoundsLaterNeighbours) {
  std::mt19937_64 rng(77);
  for (int round = 0; round < 100; ++round) {
    const DenseGraph g = random_dense_graph(rng, 30, round % 2 == 0 ? 0.15 : 0.5);
    InterruptTicker ticker;
    const std::vector<DenseVertex> order = by_degeneracy(g, ticker).order;
    ASSERT_EQ(std::set<DenseVertex>(order.begin(), order.end()).size(), g.size());
    // Degeneracy by naive peeling: repeatedly drop a vertex of least degree.
    std::vector<char> gone(g.size(), 0);
    auto left_degree = [&](DenseVertex x) {
      return static_cast<std::size_t>(
          std::count_if(g.adjacency[x].begin(), g.adjacency[x].end(), [&](DenseVertex y) { return !gone[y]; }));
    };
    std::size_t degeneracy = 0;
    for (std::size_t step = 0; step < g.size(); ++step) {
      DenseVertex least = 0;
      std::size_t least_degree = SIZE_MAX;
      for (DenseVertex x = 0; x < g.size(); ++x) {
        if (!gone[x] && left_degree(x) < least_degree) {
          least = x;
          least_degree = left_degree(x);
        }
      }
      degeneracy = std::max(degeneracy, least_degree);
      gone[least] = 1;
    }
    // In the returned order no vertex has more later neighbours than that.
    std::vector<std::size_t> rank(g.size());
    for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = i;
    for (DenseVertex v = 0; v < g.size(); ++v) {
      const auto later = std::count_if(g.adjacency[v].begin(), g.adjacency[v].end(),
                                       [&](DenseVertex y) { return rank[y] > rank[v]; });
      ASSERT_LE(static_cast<std::size_t>(later), degeneracy) << "round " << round;
    }
  }
}

// ---------------------------------------------------------------------------
// Differential checks against the reference finder
// ---------------------------------------------------------------------------

// Vertex ids drawn from one of three pools so that ordering by id and by
// first appearance differ, and ids near 2^64 are covered.
std::vector<Edge> random_edges(std::mt19937_64& rng, std::size_t n, std::size_t m, bool loops) {
  std::vector<VertexId> ids(n);
  const int pool = std::uniform_int_distribution<int>(0, 2)(rng);
  for (std::size_t i = 0; i < n; ++i) {
    ids[i] = pool == 0 ? i + 1 : pool == 1 ? kTop - i * 3 : rng();
  }
  std::uniform_int_distribution<std::size_t> pick(0, n - 1);
  std::vector<Edge> edges;
  for (std::size_t i = 0; i < m; ++i) {
    VertexId a = ids[pick(rng)];
    VertexId b = ids[pick(rng)];
    if (a == b && !loops) continue;
    edges.push_back(Edge{a, b});
  }
  return edges;
}

TEST(CliqueComplexLevels, MatchesReferenceOnSmallRandomGraphs) {
  std::mt19937_64 rng(424242);
  std::size_t repeated_sets = 0;
  for (int round = 0; round < 2500; ++round) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 10)(rng);
    const std::size_t m = std::uniform_int_distribution<std::size_t>(0, n * (n + 1) / 2 + 3)(rng);
    const auto edges = random_edges(rng, n, m, round % 3 == 0);
    for (CliqueSizeBound bound : kBounds) {
      const Levels got = fast_levels(edges, bound);
      ASSERT_EQ(got, reference_levels(edges, bound))
          << "round " << round << " bound " << (bound ? static_cast<long long>(*bound) : -1);
      for (const auto& level : got) {
        if (std::adjacent_find(level.begin(), level.end()) != level.end()) ++repeated_sets;
      }
    }
  }
  RecordProperty("levels_with_repeated_sets", static_cast<int>(repeated_sets));
}

TEST(CliqueComplexLevels, MatchesReferenceOnMediumGraphs) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 40; ++round) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(15, 40)(rng);
    const double p = std::uniform_real_distribution<double>(0.05, 0.35)(rng);
    std::vector<Edge> edges;
    std::bernoulli_distribution coin(p);
    for (VertexId a = 0; a < n; ++a) {
      for (VertexId b = a + 1; b < n; ++b) {
        if (coin(rng)) edges.push_back(Edge{b * 1000003, a * 1000003});
      }
    }
    // A planted clique gives the bound something to cut.
    for (VertexId a = 0; a < 9; ++a) {
      for (VertexId b = a + 1; b < 9; ++b) edges.push_back(Edge{a * 2000003, b * 2000003});
    }
    std::shuffle(edges.begin(), edges.end(), rng);
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{2}, CliqueSizeBound{3}, CliqueSizeBound{5}, CliqueSizeBound{9}}) {
      ASSERT_EQ(fast_levels(edges, bound), reference_levels(edges, bound)) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace korvane
