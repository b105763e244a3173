// The documented complex and filtration algorithms: the shared-face test and
// the processing of one level task, interruption, and the filtration driven
// by a scripted component finder (what it is shown, how often, and what it
// makes of the answers).
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "reference/hierarchical_q_components.hpp"
#include "reference/persistent_q_components.hpp"

namespace korvane::reference {
namespace {

// ---------------------------------------------------------------------------
// Hierarchical q-components
// ---------------------------------------------------------------------------

using IndexSet = std::set<SimplexIndex>;

Simplex make_simplex(std::initializer_list<VertexId> vertices) { return Simplex(vertices.begin(), vertices.end()); }

std::vector<Simplex> make_simplices(std::initializer_list<std::initializer_list<VertexId>> lists) {
  std::vector<Simplex> out;
  for (auto list : lists) out.push_back(make_simplex(list));
  return out;
}

IndexSet sorted(const SimplexComponent& component) { return IndexSet(component.begin(), component.end()); }

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
  EXPECT_EQ(queue.front().level, 1);
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
  for (std::size_t q = 0; q <= 2; ++q) EXPECT_EQ(as_sequence(h[q]), (std::vector<IndexSet>{{0, 1}}));
  EXPECT_TRUE(h[3].empty());
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().level, 3);
  EXPECT_EQ(queue.front().simplices, (std::vector<SimplexIndex>{1}));
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
  EXPECT_EQ(queue.front().level, 2);
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
// Filtration with a scripted finder
// ---------------------------------------------------------------------------

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A record in a form that orders and prints.
using Record = std::tuple<QLevel, VertexSet, double, double>;
using Group = std::multiset<Record>;
// The graph as the finder saw it, in a form that compares.
using Snapshot = std::map<VertexId, std::set<VertexId>>;
// One finder answer as plain (q, vertex set) keys.
using Answer = std::set<std::pair<QLevel, VertexSet>>;

Record as_record(const PersistentComponent& c) { return {c.q, c.vertices, c.birth, c.death}; }

std::multiset<Record> as_multiset(const std::vector<PersistentComponent>& result) {
  std::multiset<Record> out;
  for (const auto& c : result) out.insert(as_record(c));
  return out;
}

// Splits the result into consecutive chunks of the given group sizes; order
// within a group is free, order between groups is not.
std::vector<Group> chunk(const std::vector<PersistentComponent>& result, const std::vector<Group>& like) {
  std::vector<Group> out;
  std::size_t at = 0;
  for (const auto& g : like) {
    Group chunk_group;
    for (std::size_t i = 0; i < g.size() && at < result.size(); ++i) chunk_group.insert(as_record(result[at++]));
    out.push_back(chunk_group);
  }
  if (at < result.size()) {
    Group rest;
    while (at < result.size()) rest.insert(as_record(result[at++]));
    out.push_back(rest);
  }
  return out;
}

Snapshot snapshot(const AdjacencyMap& graph) {
  Snapshot out;
  for (const auto& [v, ns] : graph) out[v] = ns;
  return out;
}

ComponentsByLevel by_level(std::initializer_list<std::pair<QLevel, std::vector<VertexSet>>> levels) {
  ComponentsByLevel out;
  for (const auto& [q, comps] : levels) out[q] = comps;
  return out;
}

// Answers a fixed script in turn and remembers every graph it was shown.
struct ScriptedFinder {
  std::vector<ComponentsByLevel> script;
  std::vector<Snapshot> seen;
  std::vector<CliqueSizeBound> bounds;

  ComponentFinder finder() {
    return [this](const AdjacencyMap& graph, CliqueSizeBound max_q) {
      seen.push_back(snapshot(graph));
      bounds.push_back(max_q);
      if (seen.size() > script.size()) return ComponentsByLevel{};
      return script[seen.size() - 1];
    };
  }
};

TEST(PersistentFiltration, EmptyInputNeverCallsTheFinder) {
  ScriptedFinder f;
  EXPECT_TRUE(track_persistent_q_components({}, std::nullopt, f.finder()).empty());
  EXPECT_TRUE(f.seen.empty());
}

TEST(PersistentFiltration, OnlyNonFiniteWeightsNeverCallTheFinder) {
  ScriptedFinder f;
  auto result = track_persistent_q_components({{1, 2, kNaN}, {2, 3, kInf}, {3, 4, -kInf}, {4, 5, -kNaN}},
                                              CliqueSizeBound{3}, f.finder());
  EXPECT_TRUE(result.empty());
  EXPECT_TRUE(f.seen.empty());
}

TEST(PersistentFiltration, NonFiniteEdgesNeverReachTheGraph) {
  ScriptedFinder f;
  track_persistent_q_components({{1, 2, 1.0}, {2, 9, kNaN}, {8, 1, kInf}, {2, 3, 2.0}, {7, 7, -kInf}}, std::nullopt,
                                f.finder());
  ASSERT_EQ(f.seen.size(), 2u);
  EXPECT_EQ(f.seen[0], (Snapshot{{1, {2}}, {2, {1}}}));
  EXPECT_EQ(f.seen[1], (Snapshot{{1, {2}}, {2, {1, 3}}, {3, {2}}}));
}

TEST(PersistentFiltration, FinderSeesTheSymmetricGrowingGraphOncePerEdge) {
  ScriptedFinder f;
  track_persistent_q_components({{1, 2, 1.0}, {2, 1, 2.0}, {1, 2, 3.0}, {5, 5, 4.0}, {2, 5, 5.0}}, CliqueSizeBound{7},
                                f.finder());
  ASSERT_EQ(f.seen.size(), 5u);  // repeated edges are steps of their own
  const Snapshot one_edge{{1, {2}}, {2, {1}}};
  EXPECT_EQ(f.seen[0], one_edge);
  EXPECT_EQ(f.seen[1], one_edge);
  EXPECT_EQ(f.seen[2], one_edge);
  EXPECT_EQ(f.seen[3], (Snapshot{{1, {2}}, {2, {1}}, {5, {5}}}));  // self-loop: own neighbour
  EXPECT_EQ(f.seen[4], (Snapshot{{1, {2}}, {2, {1, 5}}, {5, {2, 5}}}));
  for (const auto& bound : f.bounds) EXPECT_EQ(bound, CliqueSizeBound{7});
}

TEST(PersistentFiltration, BoundReachesTheFinderUnchanged) {
  for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{0}, CliqueSizeBound{1}, CliqueSizeBound{~std::uint64_t{0}}}) {
    ScriptedFinder f;
    track_persistent_q_components({{1, 2, 1.0}, {3, 4, 0.0}}, bound, f.finder());
    ASSERT_EQ(f.bounds.size(), 2u);
    EXPECT_EQ(f.bounds[0], bound);
    EXPECT_EQ(f.bounds[1], bound);
  }
}

TEST(PersistentFiltration, WorkedExampleWithScriptedAnswers) {
  ScriptedFinder f;
  // Duplicates and empty levels in the answers make no difference.
  f.script = {
      by_level({{0, {{1, 2}}}, {1, {{1, 2}, {1, 2}}}, {5, {}}}),
      by_level({{0, {{1, 2, 3}}}, {1, {{1, 2}, {2, 3}}}}),
      by_level({{0, {{1, 2, 3}}}, {1, {{1, 2, 3}}}, {2, {{1, 2, 3}}}}),
  };
  auto result = track_persistent_q_components({{1, 2, 1.0}, {2, 3, 2.0}, {1, 3, 3.0}}, std::nullopt, f.finder());
  const std::vector<Group> expected{
      {Record{0, {1, 2}, 1.0, 2.0}},
      {Record{1, {1, 2}, 1.0, 3.0}, Record{1, {2, 3}, 2.0, 3.0}},
      {Record{0, {1, 2, 3}, 2.0, 3.0}, Record{1, {1, 2, 3}, 3.0, 3.0}, Record{2, {1, 2, 3}, 3.0, 3.0}},
  };
  ASSERT_EQ(result.size(), 6u);
  EXPECT_EQ(chunk(result, expected), expected);
}

TEST(PersistentFiltration, ReturningKeyIsBornAgainAndShortRunsAreKept) {
  ScriptedFinder f;
  const VertexSet a{1, 2};
  const VertexSet b{3};
  f.script = {
      by_level({{0, {a}}}),
      by_level({{0, {b}}}),         // a ends after one step
      by_level({{0, {a}}, {1, {b}}}),  // a returns; b moves level, so it is new
      by_level({{0, {a}}, {1, {b}}}),
  };
  auto result = track_persistent_q_components({{1, 2, 1.0}, {1, 2, 2.0}, {1, 2, 2.0}, {1, 2, 4.0}}, std::nullopt,
                                              f.finder());
  const std::vector<Group> expected{
      {Record{0, a, 1.0, 2.0}},
      {Record{0, b, 2.0, 2.0}},
      {Record{0, a, 2.0, 4.0}, Record{1, b, 2.0, 4.0}},
  };
  EXPECT_EQ(chunk(result, expected), expected);
}

TEST(PersistentFiltration, ComponentFirstPresentAtTheLastStepHasBirthEqualToDeath) {
  ScriptedFinder f;
  f.script = {by_level({{0, {{1}}}}), by_level({{0, {{1}, {2}}}})};
  auto result = track_persistent_q_components({{1, 1, -3.0}, {2, 2, 7.5}}, std::nullopt, f.finder());
  EXPECT_EQ(as_multiset(result), (std::multiset<Record>{{0, {1}, -3.0, 7.5}, {0, {2}, 7.5, 7.5}}));
}

}  // namespace
}  // namespace korvane::reference
