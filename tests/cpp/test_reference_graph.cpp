// The documented graph algorithms: the clique registry and sub-cliques, the
// disjoint-set forest over cliques, and what the component finder does with
// inputs that the Python entry point never builds (keys without neighbours,
// vertices that are only neighbours), and with interruption.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "core/failure.hpp"
#include "reference/clique_manager.hpp"
#include "reference/dsu.hpp"
#include "reference/q_components.hpp"

namespace korvane::reference {
namespace {

// ---------------------------------------------------------------------------
// Clique registry and sub-cliques
// ---------------------------------------------------------------------------

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
    const Clique clique = Clique::from_ascending(pool.begin(), pool.end());
    for (std::size_t k = 0; k <= n + 1; ++k) {
      Cliques expected;
      if (k >= 1) {
        for (std::uint32_t mask = 0; mask < (1u << n); ++mask) {
          if (static_cast<std::size_t>(__builtin_popcount(mask)) != k) continue;
          std::vector<VertexId> sub;
          for (std::size_t i = 0; i < n; ++i)
            if (mask & (1u << i)) sub.push_back(clique[i]);
          expected.push_back(Clique::from_ascending(std::move(sub)));
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
  for (std::uint64_t bound : {std::uint64_t{0}, std::uint64_t{1}}) {
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

// ---------------------------------------------------------------------------
// Disjoint-set forest over cliques
// ---------------------------------------------------------------------------

using Ids = std::set<CliqueId>;

Ids as_set(const HashSet<CliqueId>& s) { return Ids(s.begin(), s.end()); }

// All invariants of the forest: parents are keys, per-root data exactly for
// roots, members partition the keys, sizes match.
void expect_consistent(const Dsu& d) {
  Ids seen;
  std::size_t roots = 0;
  for (const auto& [id, up] : d.parent) {
    ASSERT_TRUE(d.contains(up));
    if (id == up) {
      ++roots;
      const auto& m = lookup(d.members, id);
      EXPECT_EQ(lookup(d.size, id), m.size());
      EXPECT_TRUE(m.count(id));
      for (CliqueId x : m) EXPECT_TRUE(seen.insert(x).second) << x;
    } else {
      EXPECT_EQ(d.vertices.count(id), 0u);
      EXPECT_EQ(d.members.count(id), 0u);
      EXPECT_EQ(d.size.count(id), 0u);
    }
  }
  EXPECT_EQ(seen.size(), d.parent.size());
  EXPECT_EQ(d.vertices.size(), roots);
  EXPECT_EQ(d.members.size(), roots);
  EXPECT_EQ(d.size.size(), roots);
}

TEST(Dsu, MakeSetCreatesSingleton) {
  Dsu d;
  d.make_set(4, {2, 8});
  EXPECT_TRUE(d.contains(4));
  EXPECT_FALSE(d.contains(2));
  EXPECT_EQ(lookup(d.parent, CliqueId{4}), 4u);
  EXPECT_EQ(lookup(d.vertices, CliqueId{4}), (std::set<VertexId>{2, 8}));
  EXPECT_EQ(as_set(lookup(d.members, CliqueId{4})), (Ids{4}));
  EXPECT_EQ(lookup(d.size, CliqueId{4}), 1u);
  EXPECT_EQ(d.find(4), std::optional<CliqueId>{4});
  expect_consistent(d);
}

TEST(Dsu, RepeatedMakeSetChangesNothing) {
  Dsu d;
  d.make_set(0, {1, 2});
  d.make_set(1, {3});
  d.unite(0, 1);
  d.make_set(1, {9});
  d.make_set(0, {7});
  EXPECT_EQ(lookup(d.parent, CliqueId{1}), 0u);
  EXPECT_EQ(lookup(d.vertices, CliqueId{0}), (std::set<VertexId>{1, 2, 3}));
  EXPECT_EQ(d.vertices.count(1), 0u);
  EXPECT_EQ(lookup(d.size, CliqueId{0}), 2u);
  expect_consistent(d);
}

TEST(Dsu, UnknownIdsFindNothingAndUniteNothing) {
  Dsu d;
  EXPECT_EQ(d.find(3), std::nullopt);
  EXPECT_TRUE(d.parent.empty());
  d.make_set(1, {5});
  d.unite(1, 3);
  d.unite(3, 1);
  d.unite(3, 3);
  EXPECT_EQ(d.find(3), std::nullopt);
  EXPECT_FALSE(d.contains(3));
  EXPECT_EQ(d.parent.size(), 1u);
  EXPECT_EQ(lookup(d.size, CliqueId{1}), 1u);
  EXPECT_EQ(lookup(d.vertices, CliqueId{1}), (std::set<VertexId>{5}));
  expect_consistent(d);
}

TEST(Dsu, UniteMovesTheAbsorbedSetIntoTheSurvivor) {
  Dsu d;
  d.make_set(0, {1, 2});
  d.make_set(1, {2, 3});
  d.unite(0, 1);
  const CliqueId root = *d.find(0);
  const CliqueId other = root == 0 ? 1 : 0;
  EXPECT_EQ(d.find(1), std::optional<CliqueId>{root});
  EXPECT_EQ(lookup(d.vertices, root), (std::set<VertexId>{1, 2, 3}));
  EXPECT_EQ(as_set(lookup(d.members, root)), (Ids{0, 1}));
  EXPECT_EQ(lookup(d.size, root), 2u);
  EXPECT_EQ(d.vertices.count(other), 0u);
  EXPECT_EQ(d.members.count(other), 0u);
  EXPECT_EQ(d.size.count(other), 0u);
  expect_consistent(d);
}

TEST(Dsu, LargerSetSurvivesWhicheverSideItIsOn) {
  Dsu d;
  for (CliqueId id : {CliqueId{5}, CliqueId{6}, CliqueId{7}, CliqueId{9}}) d.make_set(id, {id * 10});
  d.unite(5, 6);
  d.unite(5, 7);
  d.unite(9, 5);
  EXPECT_EQ(lookup(d.parent, CliqueId{9}), 5u);
  EXPECT_EQ(lookup(d.parent, CliqueId{5}), 5u);
  EXPECT_EQ(lookup(d.size, CliqueId{5}), 4u);
  EXPECT_EQ(lookup(d.vertices, CliqueId{5}), (std::set<VertexId>{50, 60, 70, 90}));
  EXPECT_EQ(as_set(lookup(d.members, CliqueId{5})), (Ids{5, 6, 7, 9}));
  expect_consistent(d);
}

TEST(Dsu, UniteWithinOneSetChangesOnlyShape) {
  Dsu d;
  for (CliqueId id = 0; id < 3; ++id) d.make_set(id, {id});
  d.unite(0, 1);
  d.unite(0, 2);
  const auto vertices = d.vertices;
  const auto size = d.size;
  d.unite(1, 1);
  d.unite(2, 1);
  d.unite(0, 0);
  EXPECT_EQ(d.vertices, vertices);
  EXPECT_EQ(d.size, size);
  EXPECT_EQ(d.root_member_sets().size(), 1u);
  expect_consistent(d);
}

TEST(Dsu, RootListingsOneEntryPerSet) {
  Dsu d;
  d.make_set(0, {1, 2});
  d.make_set(1, {2, 3});
  d.make_set(2, {7, 8});
  d.make_set(3, {9});
  d.unite(0, 1);
  d.unite(3, 2);
  auto vs = d.root_vertex_sets();
  std::sort(vs.begin(), vs.end());
  EXPECT_EQ(vs, (std::vector<VertexSet>{{1, 2, 3}, {7, 8, 9}}));
  std::vector<Ids> ms;
  for (const auto& m : d.root_member_sets()) ms.push_back(as_set(m));
  std::sort(ms.begin(), ms.end());
  EXPECT_EQ(ms, (std::vector<Ids>{{0, 1}, {2, 3}}));
  EXPECT_TRUE(Dsu{}.root_vertex_sets().empty());
  EXPECT_TRUE(Dsu{}.root_member_sets().empty());
}

// Random unions against a plain label array: the same partition, vertex
// unions and sizes, and no path longer than log2 of the element count.
TEST(Dsu, MatchesLabelModelOnRandomUnions) {
  std::mt19937_64 rng(77001);
  for (int round = 0; round < 60; ++round) {
    const std::size_t n = 1 + rng() % 40;
    Dsu d;
    std::vector<std::size_t> label(n);
    std::vector<Clique> cliques(n);
    for (std::size_t i = 0; i < n; ++i) {
      label[i] = i;
      std::set<VertexId> vs;
      const std::size_t width = 1 + rng() % 4;
      while (vs.size() < width) vs.insert(rng() % 30);
      cliques[i] = Clique::from_ascending(vs.begin(), vs.end());
      d.make_set(i, cliques[i]);
    }
    const std::size_t ops = rng() % (2 * n + 1);
    for (std::size_t op = 0; op < ops; ++op) {
      const CliqueId a = rng() % (n + 2);  // sometimes unknown
      const CliqueId b = rng() % (n + 2);
      d.unite(a, b);
      if (a < n && b < n && label[a] != label[b]) {
        const std::size_t from = label[b];
        for (auto& l : label)
          if (l == from) l = label[a];
      }
    }
    expect_consistent(d);
    std::size_t max_depth = 0;
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t depth = 0;
      for (CliqueId x = i; lookup(d.parent, x) != x; x = lookup(d.parent, x)) ++depth;
      max_depth = std::max(max_depth, depth);
    }
    std::size_t log2n = 0;
    while ((std::size_t{1} << (log2n + 1)) <= n) ++log2n;
    EXPECT_LE(max_depth, log2n);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(d.find(i) == d.find(j), label[i] == label[j]);
      const CliqueId root = *d.find(i);
      Ids expected_members;
      std::set<VertexId> expected_vertices;
      for (std::size_t j = 0; j < n; ++j) {
        if (label[j] != label[i]) continue;
        expected_members.insert(j);
        expected_vertices.insert(cliques[j].begin(), cliques[j].end());
      }
      EXPECT_EQ(as_set(lookup(d.members, root)), expected_members);
      EXPECT_EQ(lookup(d.vertices, root), expected_vertices);
      EXPECT_EQ(lookup(d.parent, CliqueId{i}), root);  // compressed by find
    }
  }
}

// ---------------------------------------------------------------------------
// Component finder
// ---------------------------------------------------------------------------

using Level = std::multiset<VertexSet>;
// q -> components as a multiset: their order within a level is not defined,
// but a component listed twice would be a fault.
using Levels = std::map<QLevel, Level>;

Levels normalise(const ComponentsByLevel& result) {
  Levels out;
  for (const auto& [q, components] : result) {
    Level& level = out[q];
    for (const VertexSet& c : components) level.insert(c);
  }
  return out;
}

Levels run(const AdjacencyMap& g, CliqueSizeBound max_q = std::nullopt) {
  return normalise(find_all_q_connected_components(g, max_q));
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

}  // namespace
}  // namespace korvane::reference
