#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "graph_q_components/dsu.hpp"

namespace korvane {
namespace {

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

TEST(Dsu, TieKeepsRootOfFirstArgument) {
  Dsu d;
  d.make_set(0, {1, 2});
  d.make_set(1, {2, 3});
  d.unite(0, 1);
  EXPECT_EQ(d.find(0), std::optional<CliqueId>{0});
  EXPECT_EQ(d.find(1), std::optional<CliqueId>{0});
  EXPECT_EQ(lookup(d.vertices, CliqueId{0}), (std::set<VertexId>{1, 2, 3}));
  EXPECT_EQ(as_set(lookup(d.members, CliqueId{0})), (Ids{0, 1}));
  EXPECT_EQ(lookup(d.size, CliqueId{0}), 2u);
  EXPECT_EQ(d.vertices.count(1), 0u);
  EXPECT_EQ(d.members.count(1), 0u);
  EXPECT_EQ(d.size.count(1), 0u);
  expect_consistent(d);

  Dsu e;
  e.make_set(0, {1});
  e.make_set(1, {2});
  e.unite(1, 0);
  EXPECT_EQ(lookup(e.parent, CliqueId{0}), 1u);
  EXPECT_EQ(e.size.count(0), 0u);
}

TEST(Dsu, LargerSetSurvivesWhicheverSideItIsOn) {
  Dsu d;
  for (CliqueId id : {5, 6, 7, 9}) d.make_set(id, {id * 10});
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

TEST(Dsu, FindCompressesWholePath) {
  // A chain 3 -> 2 -> 0 cannot arise from union by size with fresh roots, so
  // the forest is laid out by hand, with the root's data covering all three.
  Dsu d;
  d.make_set(0, {1});
  d.make_set(2, {2});
  d.make_set(3, {3});
  d.parent[2] = 0;
  d.parent[3] = 2;
  for (CliqueId absorbed : {2, 3}) {
    d.vertices.erase(absorbed);
    d.members.erase(absorbed);
    d.size.erase(absorbed);
  }
  d.vertices[0] = {1, 2, 3};
  d.members[0] = {0, 2, 3};
  d.size[0] = 3;
  expect_consistent(d);

  EXPECT_EQ(d.find(3), std::optional<CliqueId>{0});
  EXPECT_EQ(lookup(d.parent, CliqueId{3}), 0u);
  EXPECT_EQ(lookup(d.parent, CliqueId{2}), 0u);
  EXPECT_EQ(lookup(d.parent, CliqueId{0}), 0u);
  expect_consistent(d);
}

TEST(Dsu, FindOnBrokenChainReportsNothingAndChangesNothing) {
  Dsu d;
  d.make_set(1, {1});
  d.parent[1] = 8;  // 8 is no key
  EXPECT_EQ(d.find(1), std::nullopt);
  EXPECT_EQ(lookup(d.parent, CliqueId{1}), 8u);
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
      cliques[i].assign(vs.begin(), vs.end());
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

}  // namespace
}  // namespace korvane
