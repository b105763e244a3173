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

#include "lib/persistent_q_components.hpp"

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
    EXPECT_TRUE(std::is_sorted(r.vertices.begin(), r.vertices.end()));
    EXPECT_EQ(std::adjacent_find(r.vertices.begin(), r.vertices.end()), r.vertices.end());
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

// Splits the result into consecutive groups of the given sizes.
std::vector<Group> chunks(const std::vector<PersistentComponent>& records, std::vector<std::size_t> sizes) {
  std::vector<Group> out;
  std::size_t at = 0;
  for (std::size_t size : sizes) {
    out.emplace_back();
    for (std::size_t i = 0; i < size && at < records.size(); ++i) out.back().insert(row_of(records[at++]));
  }
  EXPECT_EQ(at, records.size());
  return out;
}

std::vector<PersistentComponent> fast_run(std::vector<WeightedEdge> edges, MaxQ max_q) {
  return fast::calculate_persistent_q_components(std::move(edges), max_q);
}

std::vector<PersistentComponent> reference_run(std::vector<WeightedEdge> edges, MaxQ max_q) {
  return calculate_persistent_q_components(std::move(edges), max_q);
}

// ---------------------------------------------------------------------------
// Hand-built filtrations
// ---------------------------------------------------------------------------

TEST(FastPersistence, NothingAdmittedGivesNothing) {
  EXPECT_TRUE(fast_run({}, std::nullopt).empty());
  EXPECT_TRUE(fast_run({{1, 2, kNaN}, {2, 3, kInf}, {3, 4, -kInf}}, std::nullopt).empty());
  EXPECT_TRUE(fast_run({{1, 2, kNaN}}, MaxQ{1}).empty());
}

TEST(FastPersistence, SingleEdgeAndSelfLoop) {
  EXPECT_EQ(chunks(fast_run({{1, 2, 0.5}}, std::nullopt), {2}),
            (std::vector<Group>{{row(0, {1, 2}, 0.5, 0.5), row(1, {1, 2}, 0.5, 0.5)}}));
  EXPECT_EQ(chunks(fast_run({{5, 5, 2.0}}, std::nullopt), {1}), (std::vector<Group>{{row(0, {5}, 2.0, 2.0)}}));
  // The lone vertex ends when its first real edge arrives; a loop on a
  // vertex already present changes nothing.
  EXPECT_EQ(chunks(fast_run({{5, 5, 1.0}, {5, 6, 2.0}, {6, 6, 3.0}}, std::nullopt), {1, 2}),
            (std::vector<Group>{{row(0, {5}, 1.0, 2.0)}, {row(0, {5, 6}, 2.0, 3.0), row(1, {5, 6}, 2.0, 3.0)}}));
}

TEST(FastPersistence, WorkedExampleInThreeDeathGroups) {
  const auto records = fast_run({{1, 2, 1.0}, {2, 3, 2.0}, {1, 3, 3.0}}, std::nullopt);
  EXPECT_EQ(chunks(records, {1, 2, 3}),
            (std::vector<Group>{{row(0, {1, 2}, 1.0, 2.0)},
                                {row(1, {1, 2}, 1.0, 3.0), row(1, {2, 3}, 2.0, 3.0)},
                                {row(0, {1, 2, 3}, 2.0, 3.0), row(1, {1, 2, 3}, 3.0, 3.0),
                                 row(2, {1, 2, 3}, 3.0, 3.0)}}));
}

TEST(FastPersistence, TriangleUnderABoundKeepsItsEdgesApart) {
  // With max_q 2 the edges are the top level: each lives to the end.
  const std::vector<WeightedEdge> edges = {{1, 2, 1.0}, {2, 3, 2.0}, {1, 3, 3.0}};
  EXPECT_EQ(chunks(fast_run(edges, MaxQ{2}), {1, 4}),
            (std::vector<Group>{{row(0, {1, 2}, 1.0, 2.0)},
                                {row(0, {1, 2, 3}, 2.0, 3.0), row(1, {1, 2}, 1.0, 3.0), row(1, {2, 3}, 2.0, 3.0),
                                 row(1, {1, 3}, 3.0, 3.0)}}));
  // max_q 1 (and 0): every vertex alone, born with its first edge.
  for (MaxQ m : {MaxQ{0}, MaxQ{1}}) {
    auto with_loop = edges;
    with_loop.push_back({3, 3, 4.0});
    EXPECT_EQ(chunks(fast_run(with_loop, m), {3}),
              (std::vector<Group>{{row(0, {1}, 1.0, 4.0), row(0, {2}, 1.0, 4.0), row(0, {3}, 2.0, 4.0)}}));
  }
}

TEST(FastPersistence, EqualWeightsAreStepsInInputOrder) {
  EXPECT_EQ(chunks(fast_run({{1, 2, 1.0}, {2, 3, 1.0}}, std::nullopt), {1, 3}),
            (std::vector<Group>{{row(0, {1, 2}, 1.0, 1.0)},
                                {row(1, {1, 2}, 1.0, 1.0), row(1, {2, 3}, 1.0, 1.0), row(0, {1, 2, 3}, 1.0, 1.0)}}));
  EXPECT_EQ(chunks(fast_run({{2, 3, 1.0}, {1, 2, 1.0}}, std::nullopt), {1, 3}),
            (std::vector<Group>{{row(0, {2, 3}, 1.0, 1.0)},
                                {row(1, {1, 2}, 1.0, 1.0), row(1, {2, 3}, 1.0, 1.0), row(0, {1, 2, 3}, 1.0, 1.0)}}));
}

TEST(FastPersistence, RepeatedEdgeIsAStepWithoutEvents) {
  EXPECT_EQ(chunks(fast_run({{1, 2, 1.0}, {2, 1, 5.0}}, std::nullopt), {2}),
            (std::vector<Group>{{row(0, {1, 2}, 1.0, 5.0), row(1, {1, 2}, 1.0, 5.0)}}));
}

TEST(FastPersistence, NonFiniteEdgesAreIgnored) {
  const std::vector<WeightedEdge> clean = {{1, 2, 1.0}, {2, 3, 2.0}, {3, 4, 0.5}, {1, 3, 3.0}};
  std::vector<WeightedEdge> dirty = clean;
  dirty.insert(dirty.begin() + 1, {2, 4, kNaN});
  dirty.insert(dirty.begin() + 3, {1, 4, kInf});
  dirty.push_back({7, 8, -kInf});
  EXPECT_EQ(runs(fast_run(dirty, std::nullopt)), runs(fast_run(clean, std::nullopt)));
}

TEST(FastPersistence, NegativeAndSignedZeroWeights) {
  // -1.0 first; 0.0 and -0.0 tie and keep their input order, so the last
  // admitted weight, the survivors' death, is -0.0.
  const auto records = fast_run({{1, 2, 0.0}, {3, 4, -0.0}, {5, 6, -1.0}}, std::nullopt);
  EXPECT_EQ(chunks(records, {6}),
            (std::vector<Group>{{row(0, {5, 6}, -1.0, -0.0), row(1, {5, 6}, -1.0, -0.0), row(0, {1, 2}, 0.0, -0.0),
                                 row(1, {1, 2}, 0.0, -0.0), row(0, {3, 4}, -0.0, -0.0),
                                 row(1, {3, 4}, -0.0, -0.0)}}));
  const auto swapped = fast_run({{3, 4, -0.0}, {1, 2, 0.0}}, std::nullopt);
  for (const auto& r : swapped) EXPECT_FALSE(std::signbit(r.death));
}

TEST(FastPersistence, KeyHeldByTwoComponentsLivesWhileEitherHoldsIt) {
  // Two triangle strips around vertices 0..30 (steps 1, 2 and 6, 12 mod 31)
  // give two level-1 components with the same vertex set. Growing one of
  // them by vertex 99 leaves the other: the key must not end.
  std::vector<WeightedEdge> edges;
  double w = 1.0;
  for (VertexId d : {1, 2, 6, 12}) {
    for (VertexId i = 0; i < 31; ++i) edges.push_back({i, (i + d) % 31, w++});
  }
  edges.push_back({99, 0, w++});
  edges.push_back({99, 1, w++});
  edges.push_back({200, 201, w++});  // so that the survivors' death differs from that step's
  const double last = w - 1;
  const auto records = fast_run(edges, std::nullopt);
  VertexSet ring(31);
  for (VertexId i = 0; i < 31; ++i) ring[i] = i;
  std::size_t found = 0;
  for (const auto& r : records) {
    if (r.q != 1 || r.vertices != ring) continue;
    ++found;
    EXPECT_EQ(r.death, last);
  }
  EXPECT_EQ(found, 1U);
  EXPECT_EQ(runs(records), runs(reference_run(edges, std::nullopt)));
}

TEST(FastPersistence, IdsNearTheTopOfTheRange) {
  const std::vector<WeightedEdge> edges = {{kTop, 0, 1.0}, {kTop - 1, kTop, 2.0}, {0, kTop - 1, 3.0}};
  EXPECT_EQ(chunks(fast_run(edges, std::nullopt), {1, 2, 3}),
            (std::vector<Group>{{row(0, {0, kTop}, 1.0, 2.0)},
                                {row(1, {0, kTop}, 1.0, 3.0), row(1, {kTop - 1, kTop}, 2.0, 3.0)},
                                {row(0, {0, kTop - 1, kTop}, 2.0, 3.0), row(1, {0, kTop - 1, kTop}, 3.0, 3.0),
                                 row(2, {0, kTop - 1, kTop}, 3.0, 3.0)}}));
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

const std::vector<MaxQ> kBounds = {MaxQ{}, MaxQ{0}, MaxQ{1}, MaxQ{2}, MaxQ{3}, MaxQ{4}, MaxQ{kTop}};

TEST(FastPersistence, MatchesReferenceOnSmallRandomFiltrations) {
  std::mt19937_64 rng(31337);
  for (int round = 0; round < 1200; ++round) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 8)(rng);
    const std::size_t m = std::uniform_int_distribution<std::size_t>(0, 18)(rng);
    const auto edges = random_filtration(rng, n, m, round % 2 == 0);
    for (MaxQ bound : kBounds) {
      ASSERT_EQ(runs(fast_run(edges, bound)), runs(reference_run(edges, bound)))
          << "round " << round << " bound " << (bound ? static_cast<long long>(*bound) : -1);
    }
  }
}

TEST(FastPersistence, MatchesReferenceOnDenserFiltrations) {
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
    for (MaxQ bound : {MaxQ{}, MaxQ{2}, MaxQ{3}, MaxQ{5}}) {
      ASSERT_EQ(runs(fast_run(edges, bound)), runs(reference_run(edges, bound))) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace korvane
