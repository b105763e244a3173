// The shipped persistence against the documented filtration on seeded random
// filtrations, death group by death group.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "analyses/persistence/persistence.hpp"
#include "collected.hpp"
#include "reference/persistent_q_components.hpp"

namespace korvane {
namespace {

// A record with its weights as bit patterns, so -0.0 and 0.0 stay apart.
using Row = std::tuple<QLevel, VertexSet, std::uint64_t, std::uint64_t>;
using Group = std::multiset<Row>;

constexpr VertexId kTop = std::numeric_limits<VertexId>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

Row row(QLevel q, VertexSet vertices, double birth, double death) {
  return Row{q, std::move(vertices), std::bit_cast<std::uint64_t>(birth), std::bit_cast<std::uint64_t>(death)};
}

Row row_of(const PersistentComponent& r) { return row(r.q, r.vertices, r.birth, r.death); }

// Checks what holds for every result and splits it into runs of equal death.
// Steps of distinct weights are runs of their own, except that the last
// step's deaths run on into the survivors.
std::vector<Group> runs(const std::vector<PersistentComponent>& records) {
  std::vector<Group> out;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const PersistentComponent& r = records[i];
    EXPECT_TRUE(std::isfinite(r.birth) && std::isfinite(r.death));
    EXPECT_LE(r.birth, r.death);
    EXPECT_FALSE(r.vertices.empty());
    if (i > 0) {
      EXPECT_LE(records[i - 1].death, r.death);
    }
    if (i == 0 || std::bit_cast<std::uint64_t>(records[i - 1].death) != std::bit_cast<std::uint64_t>(r.death)) {
      out.emplace_back();
    }
    out.back().insert(row_of(r));
  }
  return out;
}

// The shipped filtration with the cliques it follows chosen, or forced.
std::vector<PersistentComponent> shipped_run(std::vector<WeightedEdge> edges, CliqueSizeBound max_q,
                                             PersistenceTuning::Path path = PersistenceTuning::Path::choose) {
  PersistenceTuning tuning;
  tuning.path = path;
  return collected_records(std::move(edges), max_q, {}, tuning);
}


std::vector<PersistentComponent> reference_run(std::vector<WeightedEdge> edges, CliqueSizeBound max_q) {
  return reference::calculate_persistent_q_components(std::move(edges), max_q);
}

// The shipped filtration, by each clique path and by the chosen one, gives
// the reference's records.
::testing::AssertionResult all_paths_match(const std::vector<WeightedEdge>& edges, CliqueSizeBound bound) {
  const auto want = runs(reference_run(edges, bound));
  for (const auto path : {PersistenceTuning::Path::choose, PersistenceTuning::Path::maximal_cliques,
                          PersistenceTuning::Path::small_cliques}) {
    if (runs(shipped_run(edges, bound, path)) != want) {
      return ::testing::AssertionFailure() << "path " << static_cast<int>(path) << " differs";
    }
  }
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Differential checks against the reference
// ---------------------------------------------------------------------------

std::vector<WeightedEdge> random_filtration(std::mt19937_64& rng, std::size_t n, std::size_t m, bool ties) {
  std::vector<VertexId> ids(n);
  const int pool = std::uniform_int_distribution<int>(0, 2)(rng);
  for (std::size_t i = 0; i < n; ++i) ids[i] = pool == 0 ? i + 1 : pool == 1 ? kTop - i * 5 : rng();
  std::uniform_int_distribution<std::size_t> pick(0, n - 1);
  std::uniform_int_distribution<int> small(-3, 3);
  std::uniform_real_distribution<double> spread(-100.0, 100.0);
  std::uniform_int_distribution<int> oddity(0, 29);
  std::vector<WeightedEdge> edges;
  for (std::size_t i = 0; i < m; ++i) {
    double w = ties ? static_cast<double>(small(rng)) : spread(rng);
    switch (oddity(rng)) {
      case 0: w = kNaN; break;
      case 1: w = oddity(rng) % 2 == 0 ? kInf : -kInf; break;
      case 2: w = -0.0; break;
      default: break;
    }
    edges.push_back({ids[pick(rng)], ids[pick(rng)], w});
  }
  return edges;
}

const std::vector<CliqueSizeBound> kBounds = {CliqueSizeBound{}, CliqueSizeBound{0}, CliqueSizeBound{1}, CliqueSizeBound{2}, CliqueSizeBound{3}, CliqueSizeBound{4}, CliqueSizeBound{kTop}};

TEST(Persistence, MatchesReferenceOnSmallRandomFiltrations) {
  std::mt19937_64 rng(31337);
  for (int round = 0; round < 1200; ++round) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 8)(rng);
    const std::size_t m = std::uniform_int_distribution<std::size_t>(0, 18)(rng);
    const auto edges = random_filtration(rng, n, m, round % 2 == 0);
    for (CliqueSizeBound bound : kBounds) {
      ASSERT_TRUE(all_paths_match(edges, bound))
          << "round " << round << " bound " << (bound ? static_cast<long long>(*bound) : -1);
    }
  }
}

TEST(Persistence, MatchesReferenceOnDenserFiltrations) {
  std::mt19937_64 rng(2718);
  for (int round = 0; round < 30; ++round) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(8, 16)(rng);
    std::vector<WeightedEdge> edges;
    std::uniform_real_distribution<double> spread(0.0, 1.0);
    std::bernoulli_distribution coin(0.5);
    for (VertexId a = 0; a < n; ++a) {
      for (VertexId b = a + 1; b < n; ++b) {
        if (coin(rng)) edges.push_back({a, b, spread(rng)});
      }
    }
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{2}, CliqueSizeBound{3}, CliqueSizeBound{5}}) {
      ASSERT_TRUE(all_paths_match(edges, bound)) << "round " << round;
    }
  }
}

// Complete graphs filled in random order: many maximal cliques through each
// edge, old cliques swallowed whole or grown, new cliques in several
// classes of one level.
TEST(Persistence, MatchesReferenceOnCompleteGraphsFilledInRandomOrder) {
  std::mt19937_64 rng(4242);
  for (int round = 0; round < 16; ++round) {
    const VertexId n = 5 + static_cast<VertexId>(round % 8);
    std::vector<WeightedEdge> edges;
    for (VertexId a = 0; a < n; ++a) {
      for (VertexId b = a + 1; b < n; ++b) edges.push_back({a * 7, b * 7, 0.0});
    }
    std::shuffle(edges.begin(), edges.end(), rng);
    // Few distinct weights: runs of equal weight are admitted in input order.
    for (std::size_t i = 0; i < edges.size(); ++i) edges[i].weight = static_cast<double>(i / (1 + static_cast<std::size_t>(round % 3)));
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{1}, CliqueSizeBound{2}, CliqueSizeBound{3},
                                  CliqueSizeBound{4}}) {
      ASSERT_TRUE(all_paths_match(edges, bound))
          << "round " << round << " bound " << (bound ? static_cast<long long>(*bound) : -1);
    }
  }
}

// More than 64 common neighbours: the bitsets over them take several words.
// Hubs 0 and 1 see the same 70 vertices, which form a cycle with chords, so
// cliques stay small while the edge 0-1 (admitted at a random point) makes
// dozens of new maximal cliques at once.
TEST(Persistence, MatchesReferenceAcrossAWideCommonNeighbourhood) {
  std::mt19937_64 rng(99);
  constexpr VertexId kRing = 70;
  for (int round = 0; round < 3; ++round) {
    std::vector<WeightedEdge> edges;
    for (VertexId i = 0; i < kRing; ++i) {
      edges.push_back({0, 2 + i, 0.0});
      edges.push_back({1, 2 + i, 0.0});
      edges.push_back({2 + i, 2 + (i + 1) % kRing, 0.0});
      if (i % 5 == 0) edges.push_back({2 + i, 2 + (i + 2) % kRing, 0.0});
    }
    edges.push_back({0, 1, 0.0});
    std::shuffle(edges.begin(), edges.end(), rng);
    for (std::size_t i = 0; i < edges.size(); ++i) edges[i].weight = static_cast<double>(i);
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{3}}) {
      ASSERT_TRUE(all_paths_match(edges, bound)) << "round " << round;
    }
  }
}

// The circulant graph on 31 vertices with steps 1, 2, 6 and 12 has two
// level-1 components with one vertex set; a vertex that joins one of them
// leaves the other holding the key. Built edge by edge, then grown.
TEST(Persistence, MatchesReferenceWhileTwoComponentsHoldOneKey) {
  std::vector<WeightedEdge> edges;
  double weight = 1.0;
  for (VertexId step : {VertexId{1}, VertexId{2}, VertexId{6}, VertexId{12}}) {
    for (VertexId i = 0; i < 31; ++i) edges.push_back({i, (i + step) % 31, weight++});
  }
  for (VertexId i : {VertexId{0}, VertexId{1}, VertexId{2}}) edges.push_back({99, i, weight++});
  for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{3}}) {
    ASSERT_TRUE(all_paths_match(edges, bound));
  }
}

}  // namespace
}  // namespace korvane
