#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "common/types.hpp"
#include "lib/hierarchical_q_components.hpp"

namespace korvane {
namespace {

using IndexSet = std::set<SimplexIndex>;
using LevelSets = std::set<IndexSet>;

Simplex make_simplex(std::initializer_list<VertexId> vertices) { return Simplex(vertices.begin(), vertices.end()); }

std::vector<Simplex> make_simplices(std::initializer_list<std::initializer_list<VertexId>> lists) {
  std::vector<Simplex> out;
  for (auto list : lists) out.push_back(make_simplex(list));
  return out;
}

IndexSet sorted(const SimplexComponent& component) { return IndexSet(component.begin(), component.end()); }

// A level as a set of sets: the order of components in levels >= 1 carries
// no meaning.
LevelSets as_sets(const std::vector<SimplexComponent>& level) {
  LevelSets out;
  for (const auto& component : level) out.insert(sorted(component));
  return out;
}

// Level 0 keeps its order, so compare it as a sequence.
std::vector<IndexSet> as_sequence(const std::vector<SimplexComponent>& level) {
  std::vector<IndexSet> out;
  for (const auto& component : level) out.push_back(sorted(component));
  return out;
}

std::vector<std::int64_t> dimensions_of(const std::vector<Simplex>& simplices) {
  std::vector<std::int64_t> out;
  for (const auto& s : simplices) out.push_back(static_cast<std::int64_t>(s.size()) - 1);
  return out;
}

// ---------------------------------------------------------------------------
// shared_face_dimension
// ---------------------------------------------------------------------------

TEST(SharedFaceDimension, CountsCommonVerticesMinusOne) {
  auto simplices = make_simplices({{1, 2, 3}, {2, 3, 4}, {7, 8}, {3}, {}});
  auto dims = dimensions_of(simplices);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 1, 0), 1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 1, 0, 1), 1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 2, 0), -1);  // nothing shared
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 3, 0), 0);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 3, 0, 0), 0);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 0, 2), 2);  // with itself
}

TEST(SharedFaceDimension, MinusOneWhenEitherDimensionIsBelowQ) {
  auto simplices = make_simplices({{1, 2, 3}, {1, 2}, {}, {1, 2, 3, 4}});
  auto dims = dimensions_of(simplices);
  // {1,2} has dimension 1: at q = 2 it takes no part, whatever it shares.
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 1, 2), -1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 1, 0, 2), -1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 1, 1), 1);
  // The empty simplex is below every level, even q = 0.
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 2, 0), -1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 2, 2, 0), -1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 3, 3), -1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 3, 2), 2);
}

TEST(SharedFaceDimension, EqualSizesAndUnequalSizesAgreeEitherWay) {
  auto simplices = make_simplices({{1, 2, 3}, {3, 2, 9}, {9, 3, 2, 1}, {5}});
  auto dims = dimensions_of(simplices);
  for (SimplexIndex a = 0; a < simplices.size(); ++a) {
    for (SimplexIndex b = 0; b < simplices.size(); ++b) {
      EXPECT_EQ(shared_face_dimension(simplices, dims, a, b, 0), shared_face_dimension(simplices, dims, b, a, 0));
    }
  }
  EXPECT_EQ(shared_face_dimension(simplices, dims, 0, 1, 0), 1);
  EXPECT_EQ(shared_face_dimension(simplices, dims, 1, 2, 0), 2);
}

TEST(SharedFaceDimension, IndexOutsideTheInputIsAnInternalFailure) {
  auto simplices = make_simplices({{1, 2}});
  auto dims = dimensions_of(simplices);
  EXPECT_THROW(shared_face_dimension(simplices, dims, 0, 1, 0), InternalFailure);
  EXPECT_THROW(shared_face_dimension(simplices, dims, 5, 0, 0), InternalFailure);
}

// ---------------------------------------------------------------------------
// find_hierarchical_q_components: hand-built cases
// ---------------------------------------------------------------------------

TEST(HierarchicalQComponents, EmptyInputHasNoLevels) { EXPECT_TRUE(find_hierarchical_q_components({}).empty()); }

TEST(HierarchicalQComponents, AllEmptySimplicesGiveOneEmptyLevel) {
  auto one = find_hierarchical_q_components(make_simplices({{}}));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_TRUE(one[0].empty());
  auto two = find_hierarchical_q_components(make_simplices({{}, {}}));
  ASSERT_EQ(two.size(), 1u);
  EXPECT_TRUE(two[0].empty());
}

TEST(HierarchicalQComponents, EmptySimplexMixedWithOthersBelongsNowhere) {
  auto h = find_hierarchical_q_components(make_simplices({{1, 2}, {}}));
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0}}));
  EXPECT_EQ(as_sequence(h[1]), (std::vector<IndexSet>{{0}}));

  auto front = find_hierarchical_q_components(make_simplices({{}, {4}, {}, {4, 5}}));
  ASSERT_EQ(front.size(), 2u);
  EXPECT_EQ(as_sequence(front[0]), (std::vector<IndexSet>{{1, 3}}));
  EXPECT_EQ(as_sequence(front[1]), (std::vector<IndexSet>{{3}}));
}

TEST(HierarchicalQComponents, SingleSimplexSpansEveryLevel) {
  auto h = find_hierarchical_q_components(make_simplices({{1, 2, 3}}));
  ASSERT_EQ(h.size(), 3u);
  for (const auto& level : h) EXPECT_EQ(as_sequence(level), (std::vector<IndexSet>{{0}}));

  auto point = find_hierarchical_q_components(make_simplices({{42}}));
  ASSERT_EQ(point.size(), 1u);
  EXPECT_EQ(as_sequence(point[0]), (std::vector<IndexSet>{{0}}));
}

TEST(HierarchicalQComponents, RepeatedVertexCountsOnce) {
  std::vector<Simplex> simplices(1);
  for (VertexId v : {1, 1, 2}) simplices[0].insert(v);
  auto h = find_hierarchical_q_components(std::move(simplices));
  ASSERT_EQ(h.size(), 2u);  // dimension 1, not 2
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0}}));
  EXPECT_EQ(as_sequence(h[1]), (std::vector<IndexSet>{{0}}));
}

TEST(HierarchicalQComponents, EqualSimplicesStayTwoEntriesInOneComponent) {
  auto h = find_hierarchical_q_components(make_simplices({{1, 2}, {2, 1}}));
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 1}}));
  EXPECT_EQ(as_sequence(h[1]), (std::vector<IndexSet>{{0, 1}}));
}

TEST(HierarchicalQComponents, DisjointSimplicesKeepIndexOrderAtEveryLevelOfTheFirstTask) {
  auto h = find_hierarchical_q_components(make_simplices({{1, 2}, {3, 4}}));
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0}, {1}}));
  EXPECT_EQ(as_sequence(h[1]), (std::vector<IndexSet>{{0}, {1}}));
}

TEST(HierarchicalQComponents, LevelZeroIsOrderedBySmallestIndex) {
  // Components {0,3}, {1}, {2,4}: starts 0, 1, 2 in that order.
  auto h = find_hierarchical_q_components(make_simplices({{1, 2}, {10}, {20, 21}, {2, 3}, {21, 22}}));
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 3}, {1}, {2, 4}}));
  EXPECT_EQ(as_sets(h[1]), (LevelSets{{0}, {2}, {3}, {4}}));
}

TEST(HierarchicalQComponents, WorkedExample) {
  auto h = find_hierarchical_q_components(make_simplices({{1, 2, 3}, {3, 4}, {5}}));
  ASSERT_EQ(h.size(), 3u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 1}, {2}}));
  EXPECT_EQ(h[1].size(), 2u);
  EXPECT_EQ(as_sets(h[1]), (LevelSets{{0}, {1}}));
  EXPECT_EQ(as_sequence(h[2]), (std::vector<IndexSet>{{0}}));
}

TEST(HierarchicalQComponents, ChainOfTrianglesSplitsAtLevelTwo) {
  auto h = find_hierarchical_q_components(make_simplices({{1, 2, 3}, {2, 3, 4}, {3, 4, 5}}));
  ASSERT_EQ(h.size(), 3u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 1, 2}}));
  EXPECT_EQ(as_sequence(h[1]), (std::vector<IndexSet>{{0, 1, 2}}));
  EXPECT_EQ(h[2].size(), 3u);
  EXPECT_EQ(as_sets(h[2]), (LevelSets{{0}, {1}, {2}}));
}

TEST(HierarchicalQComponents, SharingExactlyQPlusOneVerticesJoinsUpToQ) {
  // Tetrahedra sharing the three vertices 1, 2, 3: q = 2.
  auto h = find_hierarchical_q_components(make_simplices({{1, 2, 3, 4}, {1, 2, 3, 5}}));
  ASSERT_EQ(h.size(), 4u);
  for (int q = 0; q <= 2; ++q) EXPECT_EQ(as_sequence(h[q]), (std::vector<IndexSet>{{0, 1}})) << "q=" << q;
  EXPECT_EQ(as_sets(h[3]), (LevelSets{{0}, {1}}));

  // Sharing one vertex (q = 0) with dimensions 3 and 1: the smaller stops at 1.
  auto uneven = find_hierarchical_q_components(make_simplices({{1, 2, 3, 4}, {4, 9}}));
  ASSERT_EQ(uneven.size(), 4u);
  EXPECT_EQ(as_sequence(uneven[0]), (std::vector<IndexSet>{{0, 1}}));
  EXPECT_EQ(as_sets(uneven[1]), (LevelSets{{0}, {1}}));
  EXPECT_EQ(as_sequence(uneven[2]), (std::vector<IndexSet>{{0}}));
  EXPECT_EQ(as_sequence(uneven[3]), (std::vector<IndexSet>{{0}}));
}

TEST(HierarchicalQComponents, ExtremeVertexIdsAreOrdinary) {
  const VertexId top = ~VertexId{0};
  auto h = find_hierarchical_q_components(make_simplices({{0, top}, {top, top - 1}}));
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 1}}));
  EXPECT_EQ(as_sets(h[1]), (LevelSets{{0}, {1}}));
}

// ---------------------------------------------------------------------------
// process_level_task: one task at a time
// ---------------------------------------------------------------------------

TEST(ProcessLevelTask, SmallestDiscoveredLinkBoundsTheCopies) {
  // Scanning from 0 finds 1 (value 1) and 2 (value 0): the component is
  // recorded at level 0 only and handed to a level-1 task.
  auto simplices = make_simplices({{1, 2, 3}, {2, 3, 4}, {3, 4, 5}});
  auto dims = dimensions_of(simplices);
  Hierarchy h(3);
  std::deque<LevelTask> queue;
  process_level_task(simplices, dims, 2, {0, 1, 2}, 0, h, queue);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 1, 2}}));
  EXPECT_TRUE(h[1].empty());
  EXPECT_TRUE(h[2].empty());
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().level, 1u);
  EXPECT_EQ(IndexSet(queue.front().simplices.begin(), queue.front().simplices.end()), (IndexSet{0, 1, 2}));
}

TEST(ProcessLevelTask, ComponentSpansLevelsUpToItsWeakestLinkAndQueuesHigherMembers) {
  // {1,2,3} and {1,2,3,4} share a 2-face: recorded at 0, 1, 2; only the
  // tetrahedron goes on to level 3.
  auto simplices = make_simplices({{1, 2, 3}, {1, 2, 3, 4}});
  auto dims = dimensions_of(simplices);
  Hierarchy h(4);
  std::deque<LevelTask> queue;
  process_level_task(simplices, dims, 3, {0, 1}, 0, h, queue);
  for (int q = 0; q <= 2; ++q) EXPECT_EQ(as_sequence(h[q]), (std::vector<IndexSet>{{0, 1}}));
  EXPECT_TRUE(h[3].empty());
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().level, 3u);
  EXPECT_EQ(queue.front().simplices, (std::vector<SimplexIndex>{1}));
}

TEST(ProcessLevelTask, WorkedExampleTasksInTurn) {
  auto simplices = make_simplices({{1, 2, 3}, {3, 4}, {5}});
  auto dims = dimensions_of(simplices);
  Hierarchy h(3);
  std::deque<LevelTask> queue;
  process_level_task(simplices, dims, 2, {0, 1, 2}, 0, h, queue);
  EXPECT_EQ(as_sequence(h[0]), (std::vector<IndexSet>{{0, 1}, {2}}));
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().level, 1u);

  LevelTask next = queue.front();
  queue.pop_front();
  process_level_task(simplices, dims, 2, next.simplices, next.level, h, queue);
  EXPECT_EQ(as_sets(h[1]), (LevelSets{{0}, {1}}));
  EXPECT_EQ(as_sequence(h[2]), (std::vector<IndexSet>{{0}}));
  // {0} reaches the top dimension and {1} has nothing above level 1.
  EXPECT_TRUE(queue.empty());
}

TEST(ProcessLevelTask, MembersBelowTheLevelAreLeftOut) {
  auto simplices = make_simplices({{1}, {1, 2}, {1, 2, 3}});
  auto dims = dimensions_of(simplices);
  Hierarchy h(3);
  std::deque<LevelTask> queue;
  process_level_task(simplices, dims, 2, {0, 1, 2}, 1, h, queue);
  EXPECT_TRUE(h[0].empty());
  EXPECT_EQ(as_sequence(h[1]), (std::vector<IndexSet>{{1, 2}}));
  EXPECT_TRUE(h[2].empty());
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().level, 2u);
  EXPECT_EQ(queue.front().simplices, (std::vector<SimplexIndex>{2}));
}

TEST(ProcessLevelTask, IndexOutsideTheInputIsAnInternalFailure) {
  auto simplices = make_simplices({{1, 2}});
  auto dims = dimensions_of(simplices);
  Hierarchy h(2);
  std::deque<LevelTask> queue;
  EXPECT_THROW(process_level_task(simplices, dims, 1, {0, 3}, 0, h, queue), InternalFailure);
}

// ---------------------------------------------------------------------------
// Interruption
// ---------------------------------------------------------------------------

bool always_interrupt() { return true; }

TEST(HierarchicalQComponents, PendingInterruptionStopsTheScan) {
  // Far more than one polling period of pairwise tests.
  std::vector<Simplex> simplices;
  for (VertexId i = 0; i < 300; ++i) simplices.push_back(make_simplex({i * 10, i * 10 + 1}));
  set_interrupt_poll(&always_interrupt);
  EXPECT_THROW(find_hierarchical_q_components(simplices), Interrupted);
  set_interrupt_poll(nullptr);
  auto h = find_hierarchical_q_components(std::move(simplices));
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(h[0].size(), 300u);
}

// ---------------------------------------------------------------------------
// Seeded random cross-checks against a brute-force model
// ---------------------------------------------------------------------------

// Per level: union-find over the simplices of dimension >= q, joining every
// pair that shares at least q + 1 vertices.
std::vector<LevelSets> model_levels(const std::vector<std::set<VertexId>>& simplices) {
  std::int64_t max_dim = -1;
  for (const auto& s : simplices) max_dim = std::max<std::int64_t>(max_dim, static_cast<std::int64_t>(s.size()) - 1);
  if (simplices.empty()) return {};
  if (max_dim < 0) return {LevelSets{}};

  std::vector<LevelSets> levels;
  const std::size_t n = simplices.size();
  for (std::int64_t q = 0; q <= max_dim; ++q) {
    std::vector<std::size_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](std::size_t x) {
      while (parent[x] != x) x = parent[x];
      return x;
    };
    auto takes_part = [&](std::size_t i) { return static_cast<std::int64_t>(simplices[i].size()) - 1 >= q; };
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) {
        if (!takes_part(i) || !takes_part(j)) continue;
        std::vector<VertexId> common;
        std::set_intersection(simplices[i].begin(), simplices[i].end(), simplices[j].begin(), simplices[j].end(),
                              std::back_inserter(common));
        if (static_cast<std::int64_t>(common.size()) >= q + 1) parent[find(i)] = find(j);
      }
    }
    std::vector<IndexSet> by_root(n);
    for (std::size_t i = 0; i < n; ++i) {
      if (takes_part(i)) by_root[find(i)].insert(i);
    }
    LevelSets level;
    for (auto& c : by_root) {
      if (!c.empty()) level.insert(c);
    }
    levels.push_back(level);
  }
  return levels;
}

TEST(HierarchicalQComponents, RandomComplexesMatchBruteForce) {
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    const std::size_t n = rng() % 14;
    const VertexId universe = 2 + rng() % 9;
    const std::size_t max_size = 1 + rng() % 6;
    std::vector<std::set<VertexId>> model_input;
    std::vector<Simplex> input;
    for (std::size_t i = 0; i < n; ++i) {
      std::set<VertexId> s;
      const std::size_t draws = rng() % (max_size + 1);
      for (std::size_t k = 0; k < draws; ++k) s.insert(rng() % universe);
      model_input.push_back(s);
      input.emplace_back(s.begin(), s.end());
    }

    const auto expected = model_levels(model_input);
    const auto got = find_hierarchical_q_components(std::move(input));
    ASSERT_EQ(got.size(), expected.size()) << "round " << round;
    for (std::size_t q = 0; q < got.size(); ++q) {
      // Sets of sets compare content; also require no component twice.
      EXPECT_EQ(as_sets(got[q]), expected[q]) << "round " << round << " q=" << q;
      EXPECT_EQ(got[q].size(), expected[q].size()) << "round " << round << " q=" << q;
    }
    if (!got.empty()) {
      const auto level0 = as_sequence(got[0]);
      for (std::size_t i = 1; i < level0.size(); ++i) {
        EXPECT_LT(*level0[i - 1].begin(), *level0[i].begin()) << "round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace korvane
