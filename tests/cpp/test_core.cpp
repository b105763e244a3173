// The core's building blocks: the union-find every analysis shares, the
// ascending-set type, the admission order of a filtration and the capacity
// check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "core/ascending.hpp"
#include "core/failure.hpp"
#include "core/filtration.hpp"
#include "core/union_find.hpp"

namespace korvane {
namespace {

// The label model of a partition starts with every element alone.
std::vector<std::size_t> singletons(std::size_t n) {
  std::vector<std::size_t> label(n);
  std::iota(label.begin(), label.end(), 0);
  return label;
}

// Merging moves every element labelled `from` to `to`.
void relabel(std::vector<std::size_t>& label, std::size_t from, std::size_t to) {
  for (auto& l : label) {
    if (l == from) l = to;
  }
}

void expect_partition(UnionFind<std::uint32_t>& forest, const std::vector<std::size_t>& label) {
  for (std::size_t i = 0; i < label.size(); ++i) {
    for (std::size_t j = 0; j < label.size(); ++j) {
      EXPECT_EQ(forest.find(static_cast<std::uint32_t>(i)) == forest.find(static_cast<std::uint32_t>(j)),
                label[i] == label[j]);
    }
  }
}

// Random unions against a plain label array: the same partition, merges
// reported exactly when two sets meet, and paths no longer than log2 n.
TEST(UnionFind, MatchesLabelModelOnRandomUnions) {
  std::mt19937_64 rng(77001);
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = 1 + rng() % 60;
    UnionFind<std::uint32_t> forest(n);
    std::vector<std::size_t> label = singletons(n);
    for (std::size_t op = rng() % (2 * n + 1); op > 0; --op) {
      const auto a = static_cast<std::uint32_t>(rng() % n);
      const auto b = static_cast<std::uint32_t>(rng() % n);
      const bool apart = label[a] != label[b];
      const auto merge = forest.unite(a, b);
      ASSERT_EQ(merge.has_value(), apart);
      if (!apart) continue;
      // The survivor is one of the two old roots and stays a root.
      EXPECT_EQ(forest.find(merge->root), merge->root);
      EXPECT_EQ(forest.find(merge->absorbed), merge->root);
      relabel(label, label[b], label[a]);
    }
    expect_partition(forest, label);
    if (HasFailure()) break;
  }
}

// Chains of link() on running roots, as the edge forest joins a triangle:
// the same partition as the label model, the returned root heading it all.
TEST(UnionFind, LinkKeepsTheRunningRootOfAChain) {
  std::mt19937_64 rng(77002);
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = 2 + rng() % 40;
    UnionFind<std::uint32_t> forest(n);
    std::vector<std::size_t> label = singletons(n);
    for (std::size_t op = rng() % (n + 1); op > 0; --op) {
      std::uint32_t root = forest.find(static_cast<std::uint32_t>(rng() % n));
      for (std::size_t k = 1 + rng() % 3; k > 0; --k) {
        const auto b = static_cast<std::uint32_t>(rng() % n);
        relabel(label, label[b], label[root]);
        root = forest.link(root, forest.find(b));
        ASSERT_EQ(forest.find(root), root);
        ASSERT_EQ(forest.find(b), root);
      }
    }
    expect_partition(forest, label);
    if (HasFailure()) break;
  }
}

TEST(UnionFind, ExtendAddsSingletonsAndKeepsSets) {
  UnionFind<std::uint32_t> forest(3);
  ASSERT_TRUE(forest.unite(0, 2));
  forest.extend(2);  // never shrinks
  forest.extend(6);
  EXPECT_EQ(forest.size(), 6U);
  EXPECT_EQ(forest.find(0), forest.find(2));
  for (std::uint32_t x = 3; x < 6; ++x) EXPECT_EQ(forest.find(x), x);
}

TEST(UnionFind, RefusesMoreElementsThanItsIndexCanNumber) {
  // 8-bit indices number 255 elements; the largest value means "none".
  UnionFind<std::uint8_t> forest(255);
  EXPECT_THROW(forest.extend(256), CapacityExceeded);
  EXPECT_EQ(forest.size(), 255U);
  EXPECT_THROW(UnionFind<std::uint8_t>(1000), CapacityExceeded);
}

TEST(CheckCapacity, MessageSaysWhatWasTooLarge) {
  EXPECT_NO_THROW(check_capacity(10, 10, "things"));
  try {
    check_capacity(11, 10, "graph vertices");
    FAIL() << "no exception";
  } catch (const CapacityExceeded& e) {
    EXPECT_STREQ(e.what(), "too many graph vertices for this analysis (limit 10)");
  }
}

TEST(Ascending, FromAnySortsAndDropsRepeats) {
  EXPECT_EQ(VertexSet::from_any({5, 1, 5, 3, 1}).items(), (std::vector<VertexId>{1, 3, 5}));
  EXPECT_EQ((VertexSet{9, 2, 2}), VertexSet::from_ascending({2, 9}));
  EXPECT_TRUE(VertexSet::from_any({}).empty());
}

TEST(Ascending, FromAscendingRefusesRepeatsAndInversions) {
  const VertexId top = std::numeric_limits<VertexId>::max();
  EXPECT_NO_THROW(VertexSet::from_ascending({0, 7, top}));
  EXPECT_THROW(VertexSet::from_ascending({1, 1}), InternalFailure);
  EXPECT_THROW(VertexSet::from_ascending({top, 0}), InternalFailure);
}

TEST(AdmissionOrder, DropsNonFiniteAndSortsStably) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double tiny = std::numeric_limits<double>::denorm_min();
  const double big = std::numeric_limits<double>::max();
  const std::vector<WeightedEdge> order = admission_order({{1, 1, 2.0},
                                                           {2, 2, nan},
                                                           {3, 3, 0.0},
                                                           {4, 4, -inf},
                                                           {5, 5, -0.0},
                                                           {6, 6, big},
                                                           {7, 7, inf},
                                                           {8, 8, -nan},
                                                           {9, 9, tiny},
                                                           {10, 10, -big},
                                                           {11, 11, 2.0}});
  std::vector<VertexId> ids;
  for (const WeightedEdge& e : order) ids.push_back(e.u);
  // -0.0 and 0.0 tie and keep their input order, as do the two 2.0 edges.
  EXPECT_EQ(ids, (std::vector<VertexId>{10, 3, 5, 9, 1, 11, 6}));
  EXPECT_TRUE(admission_order({{1, 2, nan}, {3, 4, inf}}).empty());
}

// Long inputs of many shapes against a plain stable sort: spread evenly,
// crowded into few values, spread over many scales (most weights in a few
// buckets), signed zeros among negatives, a span past the largest double,
// and one weight throughout. The edge's u numbers its input position.
TEST(AdmissionOrder, LongInputsMatchStableSortOfEveryShape) {
  std::mt19937_64 rng(4242);
  const double big = std::numeric_limits<double>::max();
  const std::vector<std::function<double()>> shapes = {
      [&] { return std::uniform_real_distribution<double>(0.0, 1.0)(rng); },
      [&] { return static_cast<double>(rng() % 5); },
      [&] { return std::ldexp(1.0, -static_cast<int>(rng() % 60)); },
      [&] { return rng() % 3 == 0 ? (rng() % 2 == 0 ? -0.0 : 0.0) : -static_cast<double>(rng() % 100) / 7; },
      [&] { return rng() % 2 == 0 ? big : -big * std::uniform_real_distribution<double>(0.0, 1.0)(rng); },
      [&] { return 3.5; },
  };
  for (const auto& weight : shapes) {
    for (std::size_t n : {63u, 64u, 65u, 1000u, 5000u}) {
      std::vector<WeightedEdge> edges;
      for (std::size_t i = 0; i < n; ++i) edges.push_back({i, i, weight()});
      std::vector<WeightedEdge> expected = edges;
      std::stable_sort(expected.begin(), expected.end(),
                       [](const WeightedEdge& a, const WeightedEdge& b) { return a.weight < b.weight; });
      const std::vector<WeightedEdge> order = admission_order(edges);
      ASSERT_EQ(order.size(), n);
      for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(order[i].u, expected[i].u) << "n " << n << " at " << i;
    }
  }
}

}  // namespace
}  // namespace korvane
