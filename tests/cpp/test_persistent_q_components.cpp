#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/types.hpp"
#include "graph_q_components/q_components.hpp"
#include "lib/persistent_q_components.hpp"

namespace korvane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A record in a form that orders and prints.
using Record = std::tuple<QLevel, std::vector<VertexId>, double, double>;
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
  std::vector<MaxQ> bounds;

  ComponentFinder finder() {
    return [this](const AdjacencyMap& graph, MaxQ max_q) {
      seen.push_back(snapshot(graph));
      bounds.push_back(max_q);
      if (seen.size() > script.size()) return ComponentsByLevel{};
      return script[seen.size() - 1];
    };
  }
};

// Level 0: connected components of the keys; level 1: every edge between
// two distinct vertices. Enough structure to exercise the tracking alone.
ComponentsByLevel toy_finder(const AdjacencyMap& graph, MaxQ) {
  ComponentsByLevel out;
  std::set<VertexId> seen;
  Snapshot g = snapshot(graph);
  for (const auto& [start, _] : g) {
    if (seen.contains(start)) continue;
    std::set<VertexId> comp{start};
    std::vector<VertexId> todo{start};
    seen.insert(start);
    while (!todo.empty()) {
      VertexId v = todo.back();
      todo.pop_back();
      for (VertexId w : g[v]) {
        if (seen.insert(w).second) {
          comp.insert(w);
          todo.push_back(w);
        }
      }
    }
    out[0].emplace_back(comp.begin(), comp.end());
  }
  for (const auto& [u, ns] : g) {
    for (VertexId v : ns) {
      if (u < v) out[1].push_back({u, v});
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Filtration with a scripted finder
// ---------------------------------------------------------------------------

TEST(PersistentFiltration, EmptyInputNeverCallsTheFinder) {
  ScriptedFinder f;
  EXPECT_TRUE(track_persistent_q_components({}, std::nullopt, f.finder()).empty());
  EXPECT_TRUE(f.seen.empty());
}

TEST(PersistentFiltration, OnlyNonFiniteWeightsNeverCallTheFinder) {
  ScriptedFinder f;
  auto result = track_persistent_q_components({{1, 2, kNaN}, {2, 3, kInf}, {3, 4, -kInf}, {4, 5, -kNaN}},
                                              MaxQ{3}, f.finder());
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
  track_persistent_q_components({{1, 2, 1.0}, {2, 1, 2.0}, {1, 2, 3.0}, {5, 5, 4.0}, {2, 5, 5.0}}, MaxQ{7},
                                f.finder());
  ASSERT_EQ(f.seen.size(), 5u);  // repeated edges are steps of their own
  const Snapshot one_edge{{1, {2}}, {2, {1}}};
  EXPECT_EQ(f.seen[0], one_edge);
  EXPECT_EQ(f.seen[1], one_edge);
  EXPECT_EQ(f.seen[2], one_edge);
  EXPECT_EQ(f.seen[3], (Snapshot{{1, {2}}, {2, {1}}, {5, {5}}}));  // self-loop: own neighbour
  EXPECT_EQ(f.seen[4], (Snapshot{{1, {2}}, {2, {1, 5}}, {5, {2, 5}}}));
  for (const auto& bound : f.bounds) EXPECT_EQ(bound, MaxQ{7});
}

TEST(PersistentFiltration, BoundReachesTheFinderUnchanged) {
  for (MaxQ bound : {MaxQ{}, MaxQ{0}, MaxQ{1}, MaxQ{~std::uint64_t{0}}}) {
    ScriptedFinder f;
    track_persistent_q_components({{1, 2, 1.0}, {3, 4, 0.0}}, bound, f.finder());
    ASSERT_EQ(f.bounds.size(), 2u);
    EXPECT_EQ(f.bounds[0], bound);
    EXPECT_EQ(f.bounds[1], bound);
  }
}

TEST(PersistentFiltration, AdmitsInAscendingWeightWithTiesInInputOrder) {
  ScriptedFinder f;
  // Admission: (5,6,-1), then (1,2,0.0) and (3,4,-0.0) tied in input order,
  // then the subnormal, then the largest finite weight.
  const double subnormal = std::numeric_limits<double>::denorm_min();
  const double largest = std::numeric_limits<double>::max();
  track_persistent_q_components(
      {{9, 10, largest}, {1, 2, 0.0}, {3, 4, -0.0}, {7, 8, subnormal}, {5, 6, -1.0}}, std::nullopt, f.finder());
  ASSERT_EQ(f.seen.size(), 5u);
  std::vector<VertexId> first_new;
  Snapshot before;
  for (const auto& s : f.seen) {
    for (const auto& [v, _] : s) {
      if (!before.contains(v)) {
        first_new.push_back(v);
        break;
      }
    }
    before = s;
  }
  EXPECT_EQ(first_new, (std::vector<VertexId>{5, 1, 3, 7, 9}));

  ScriptedFinder g;
  track_persistent_q_components({{3, 4, -0.0}, {1, 2, 0.0}}, std::nullopt, g.finder());
  ASSERT_EQ(g.seen.size(), 2u);
  EXPECT_EQ(g.seen[0], (Snapshot{{3, {4}}, {4, {3}}}));
}

TEST(PersistentFiltration, ManyTiedWeightsKeepInputOrder) {
  // Enough edges that an unstable sort would reorder the ties. Edge i joins
  // the fresh vertices 2i and 2i + 1, so each step names its edge.
  const double pool[] = {2.0, 0.0, -1.0, -0.0, 2.0, 1.0};
  std::vector<WeightedEdge> edges;
  for (VertexId i = 0; i < 96; ++i) edges.push_back({2 * i, 2 * i + 1, pool[(i * 7) % std::size(pool)]});
  std::vector<WeightedEdge> expected = edges;
  std::stable_sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.weight < b.weight; });

  ScriptedFinder f;
  track_persistent_q_components(edges, std::nullopt, f.finder());
  ASSERT_EQ(f.seen.size(), edges.size());
  Snapshot before;
  for (std::size_t step = 0; step < f.seen.size(); ++step) {
    std::vector<VertexId> added;
    for (const auto& [v, _] : f.seen[step]) {
      if (!before.contains(v)) added.push_back(v);
    }
    EXPECT_EQ(added, (std::vector<VertexId>{expected[step].u, expected[step].v})) << "step " << step;
    before = f.seen[step];
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

TEST(PersistentFiltration, FinderAnswerOutOfOrderIsAnInternalFailure) {
  ScriptedFinder f;
  f.script = {by_level({{0, {{2, 1}}}})};
  EXPECT_THROW(track_persistent_q_components({{1, 2, 1.0}}, std::nullopt, f.finder()), InternalFailure);
}

// ---------------------------------------------------------------------------
// With the graph component finder
// ---------------------------------------------------------------------------

TEST(PersistentQComponents, EmptyAndAllNonFinite) {
  EXPECT_TRUE(calculate_persistent_q_components({}, std::nullopt).empty());
  EXPECT_TRUE(calculate_persistent_q_components({{1, 2, kNaN}, {2, 3, -kInf}}, std::nullopt).empty());
}

TEST(PersistentQComponents, SingleEdge) {
  auto result = calculate_persistent_q_components({{1, 2, 0.5}}, std::nullopt);
  EXPECT_EQ(as_multiset(result), (std::multiset<Record>{{0, {1, 2}, 0.5, 0.5}, {1, {1, 2}, 0.5, 0.5}}));
}

TEST(PersistentQComponents, SelfLoop) {
  auto result = calculate_persistent_q_components({{5, 5, 2.0}}, std::nullopt);
  EXPECT_EQ(as_multiset(result), (std::multiset<Record>{{0, {5}, 2.0, 2.0}}));
}

TEST(PersistentQComponents, EqualWeightEdgesInBothOrders) {
  {
    auto result = calculate_persistent_q_components({{1, 2, 1.0}, {2, 3, 1.0}}, std::nullopt);
    const std::vector<Group> expected{
        {Record{0, {1, 2}, 1.0, 1.0}},
        {Record{1, {1, 2}, 1.0, 1.0}, Record{1, {2, 3}, 1.0, 1.0}, Record{0, {1, 2, 3}, 1.0, 1.0}},
    };
    EXPECT_EQ(chunk(result, expected), expected);
  }
  {
    auto result = calculate_persistent_q_components({{2, 3, 1.0}, {1, 2, 1.0}}, std::nullopt);
    const std::vector<Group> expected{
        {Record{0, {2, 3}, 1.0, 1.0}},
        {Record{1, {1, 2}, 1.0, 1.0}, Record{1, {2, 3}, 1.0, 1.0}, Record{0, {1, 2, 3}, 1.0, 1.0}},
    };
    EXPECT_EQ(chunk(result, expected), expected);
  }
}

TEST(PersistentQComponents, WorkedExample) {
  auto result = calculate_persistent_q_components({{1, 2, 1.0}, {2, 3, 2.0}, {1, 3, 3.0}}, std::nullopt);
  const std::vector<Group> expected{
      {Record{0, {1, 2}, 1.0, 2.0}},
      {Record{1, {1, 2}, 1.0, 3.0}, Record{1, {2, 3}, 2.0, 3.0}},
      {Record{0, {1, 2, 3}, 2.0, 3.0}, Record{1, {1, 2, 3}, 3.0, 3.0}, Record{2, {1, 2, 3}, 3.0, 3.0}},
  };
  ASSERT_EQ(result.size(), 6u);
  EXPECT_EQ(chunk(result, expected), expected);
}

TEST(PersistentQComponents, RepeatedEdgeBringsNoRecord) {
  auto once = calculate_persistent_q_components({{1, 2, 1.0}, {2, 3, 2.0}}, std::nullopt);
  auto twice = calculate_persistent_q_components({{1, 2, 1.0}, {2, 1, 1.5}, {2, 3, 2.0}}, std::nullopt);
  EXPECT_EQ(as_multiset(once), as_multiset(twice));
}

TEST(PersistentQComponents, NonFiniteAmongFiniteChangesNothing) {
  const std::vector<WeightedEdge> clean{{1, 2, 1.0}, {2, 3, 2.0}, {3, 4, 0.5}, {1, 3, 3.0}};
  std::vector<WeightedEdge> noisy{{1, 2, 1.0}, {9, 3, kNaN}, {2, 3, 2.0}, {1, 4, kInf},
                                  {3, 4, 0.5}, {1, 3, 3.0},  {2, 4, -kInf}};
  auto expected = calculate_persistent_q_components(clean, std::nullopt);
  auto got = calculate_persistent_q_components(noisy, std::nullopt);
  EXPECT_EQ(as_multiset(got), as_multiset(expected));
  for (const auto& r : got) EXPECT_EQ(std::count(r.vertices.begin(), r.vertices.end(), VertexId{9}), 0);
}

TEST(PersistentQComponents, NegativeWeightsComeFirst) {
  // (3,4) at -2.0 is admitted before (1,2) at 3.0.
  auto result = calculate_persistent_q_components({{1, 2, 3.0}, {3, 4, -2.0}}, std::nullopt);
  EXPECT_EQ(as_multiset(result), (std::multiset<Record>{{0, {3, 4}, -2.0, 3.0},
                                                        {1, {3, 4}, -2.0, 3.0},
                                                        {0, {1, 2}, 3.0, 3.0},
                                                        {1, {1, 2}, 3.0, 3.0}}));
}

TEST(PersistentQComponents, SignedZerosTieInInputOrder) {
  // Whichever edge comes first in the input is seen alone, and its level-0
  // component is the first to end.
  auto plus_first = calculate_persistent_q_components({{1, 2, 0.0}, {2, 3, -0.0}}, std::nullopt);
  ASSERT_EQ(plus_first.size(), 4u);
  EXPECT_EQ(as_record(plus_first[0]), (Record{0, {1, 2}, 0.0, 0.0}));
  auto minus_first = calculate_persistent_q_components({{2, 3, -0.0}, {1, 2, 0.0}}, std::nullopt);
  ASSERT_EQ(minus_first.size(), 4u);
  EXPECT_EQ(as_record(minus_first[0]), (Record{0, {2, 3}, 0.0, 0.0}));
}

TEST(PersistentQComponents, BoundOfOneGivesOneRecordPerVertex) {
  auto result = calculate_persistent_q_components({{1, 2, 1.0}, {2, 3, 2.0}, {3, 4, 4.0}, {1, 3, 3.0}}, MaxQ{1});
  EXPECT_EQ(as_multiset(result), (std::multiset<Record>{{0, {1}, 1.0, 4.0},
                                                        {0, {2}, 1.0, 4.0},
                                                        {0, {3}, 2.0, 4.0},
                                                        {0, {4}, 4.0, 4.0}}));
}

// ---------------------------------------------------------------------------
// Seeded random cross-checks
// ---------------------------------------------------------------------------

std::vector<WeightedEdge> random_edges(std::mt19937_64& rng) {
  const std::size_t count = rng() % 11;
  const VertexId universe = 2 + rng() % 5;
  // Few distinct weights so ties are common; signed zeros and non-finite ones
  // mixed in.
  const double pool[] = {-1.5, -0.0, 0.0, 0.25, 1.0, 1.0, 2.0, 3.5, kNaN, kInf, -kInf};
  std::vector<WeightedEdge> edges;
  for (std::size_t i = 0; i < count; ++i) {
    edges.push_back({rng() % universe, rng() % universe, pool[rng() % std::size(pool)]});
  }
  return edges;
}

// Independent model: replay the steps, then cut each key's presence into
// maximal runs; a run ending before step j closes at step j's weight, a run
// reaching the end closes at the last weight.
std::vector<Group> model_groups(const std::vector<WeightedEdge>& input, const std::vector<Answer>& answers,
                                const std::vector<Snapshot>& seen) {
  std::vector<WeightedEdge> edges;
  for (const auto& e : input) {
    if (std::isfinite(e.weight)) edges.push_back(e);
  }
  std::stable_sort(edges.begin(), edges.end(), [](const auto& a, const auto& b) { return a.weight < b.weight; });

  if (seen.size() != edges.size() || answers.size() != edges.size()) {
    ADD_FAILURE() << "finder called " << seen.size() << " times for " << edges.size() << " admitted edges";
    return {};
  }
  Snapshot graph;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    graph[edges[i].u].insert(edges[i].v);
    graph[edges[i].v].insert(edges[i].u);
    EXPECT_EQ(seen[i], graph) << "step " << i;
  }

  const std::size_t steps = answers.size();
  std::vector<Group> groups(steps + 1);
  std::set<std::pair<QLevel, VertexSet>> keys;
  for (const auto& a : answers) keys.insert(a.begin(), a.end());
  for (const auto& key : keys) {
    std::size_t i = 0;
    while (i < steps) {
      if (!answers[i].contains(key)) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < steps && answers[j].contains(key)) ++j;
      const double death = j < steps ? edges[j].weight : edges.back().weight;
      groups[j].insert(Record{key.first, key.second, edges[i].weight, death});
      i = j;
    }
  }
  std::vector<Group> non_empty;
  for (auto& g : groups) {
    if (!g.empty()) non_empty.push_back(g);
  }
  return non_empty;
}

void check_invariants(const std::vector<WeightedEdge>& input, const std::vector<PersistentComponent>& result) {
  std::set<double> weights;
  double largest = -kInf;
  for (const auto& e : input) {
    if (std::isfinite(e.weight)) {
      weights.insert(e.weight);
      largest = std::max(largest, e.weight);
    }
  }
  for (std::size_t i = 0; i < result.size(); ++i) {
    const auto& r = result[i];
    EXPECT_TRUE(weights.contains(r.birth));
    EXPECT_TRUE(weights.contains(r.death));
    EXPECT_LE(r.birth, r.death);
    EXPECT_TRUE(std::is_sorted(r.vertices.begin(), r.vertices.end()));
    EXPECT_EQ(std::adjacent_find(r.vertices.begin(), r.vertices.end()), r.vertices.end());
    if (i > 0) {
      EXPECT_LE(result[i - 1].death, r.death);
    }
  }
  if (!result.empty()) {
    EXPECT_EQ(result.back().death, largest);
  }
}

void cross_check(const ComponentFinder& inner, std::uint64_t seed, int rounds) {
  std::mt19937_64 rng(seed);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const auto edges = random_edges(rng);
    const MaxQ bound = rng() % 3 == 0 ? MaxQ{rng() % 4} : MaxQ{};

    std::vector<Answer> answers;
    std::vector<Snapshot> seen;
    std::size_t births = 0;
    Answer previous;
    auto recording = [&](const AdjacencyMap& graph, MaxQ max_q) {
      EXPECT_EQ(max_q, bound);
      seen.push_back(snapshot(graph));
      ComponentsByLevel found = inner(graph, max_q);
      Answer answer;
      for (const auto& [q, comps] : found) {
        for (const auto& c : comps) answer.insert({q, c});
      }
      for (const auto& key : answer) births += previous.contains(key) ? 0 : 1;
      previous = answer;
      answers.push_back(answer);
      return found;
    };

    const auto result = track_persistent_q_components(edges, bound, recording);
    const auto expected = model_groups(edges, answers, seen);
    EXPECT_EQ(chunk(result, expected), expected);
    EXPECT_EQ(result.size(), births);
    check_invariants(edges, result);
  }
}

TEST(PersistentQComponents, RandomFiltrationsMatchRunModelWithToyFinder) { cross_check(toy_finder, 7001, 300); }

TEST(PersistentQComponents, RandomFiltrationsMatchRunModelWithGraphFinder) {
  cross_check(find_all_q_connected_components, 7002, 200);
}

TEST(PersistentQComponents, RandomPublicEntryKeepsInvariants) {
  std::mt19937_64 rng(7003);
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const auto edges = random_edges(rng);
    const auto result = calculate_persistent_q_components(edges, std::nullopt);
    check_invariants(edges, result);
    // With no bound, the final graph always has components when any edge
    // was admitted: the survivors close at the largest weight.
    const bool any_finite = std::any_of(edges.begin(), edges.end(), [](auto& e) { return std::isfinite(e.weight); });
    EXPECT_EQ(result.empty(), !any_finite);
  }
}

}  // namespace
}  // namespace korvane
