// The graph analysis's internal paths, each forced on small graphs: the
// overlap walk under every tuning against the documented algorithm, the
// clique search's neighbourhood modes against a plain enumeration, the
// triangles it reports, and the compact clique table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/graph/clique_search.hpp"
#include "analyses/graph/clique_table.hpp"
#include "analyses/graph/maximal_cliques.hpp"
#include "collected.hpp"
#include "graph_levels_oracle.hpp"

namespace korvane {
namespace {

using testing_oracle::Levels;
using testing_oracle::normalised;
using testing_oracle::reference_levels;

// Cliques of `size` vertices drawn from `pool` vertices, overlapping by
// chance, on top of random edges: many cliques of four or more vertices
// sharing two, three or more.
std::vector<Edge> overlapping_cliques(std::mt19937_64& rng, std::size_t pool, std::size_t groups, std::size_t size,
                                      double extra) {
  std::set<std::pair<VertexId, VertexId>> edges;
  std::vector<VertexId> vertices(pool);
  for (std::size_t v = 0; v < pool; ++v) vertices[v] = 7 * v + 3;
  for (std::size_t g = 0; g < groups; ++g) {
    std::shuffle(vertices.begin(), vertices.end(), rng);
    for (std::size_t a = 0; a < size; ++a) {
      for (std::size_t b = a + 1; b < size; ++b) edges.emplace(std::min(vertices[a], vertices[b]), std::max(vertices[a], vertices[b]));
    }
  }
  std::bernoulli_distribution coin(extra);
  for (std::size_t a = 0; a < pool; ++a) {
    for (std::size_t b = a + 1; b < pool; ++b) {
      if (coin(rng)) edges.emplace(7 * a + 3, 7 * b + 3);
    }
  }
  std::vector<Edge> out;
  for (auto [u, v] : edges) out.push_back(rng() % 2 == 0 ? Edge{u, v} : Edge{v, u});
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

// Each setting sends overlaps down a different path; all must agree.
const std::vector<OverlapTuning> kTunings = {
    {16, 12, 8, 512},  // as shipped: cliques searched on the graph's rows
    {16, 12, 8, 0},    // cliques searched neighbourhood by neighbourhood
    {16, 0, 8, 512},   // every node split by its vertices, nothing compared pair by pair
    {16, 1, 0, 0},     // level 1 always by the counting pass
    {3, 12, 8, 512},   // every clique of four or more vertices large: counted through the vertex index
    {4, 12, 1, 512},   // four-vertex cliques walked, larger ones counted, roots mixing both
    {4, 2, 0, 0},
};

TEST(GraphOverlapPaths, EveryTuningMatchesReference) {
  std::mt19937_64 rng(31337);
  for (int round = 0; round < 120; ++round) {
    const std::size_t pool = 9 + rng() % 12;
    const std::size_t size = 4 + rng() % 4;
    const auto edges = overlapping_cliques(rng, pool, 2 + rng() % 7, std::min(size, pool),
                                            0.05 * static_cast<double>(rng() % 5));
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{3}, CliqueSizeBound{4}, CliqueSizeBound{5}}) {
      const Levels expected = reference_levels(edges, bound);
      for (const OverlapTuning& tuning : kTunings) {
        ASSERT_EQ(normalised(collected_levels(edges, bound, GraphLimits{}, tuning)), expected)
            << "round " << round << " small " << tuning.small_clique_max << " pairwise " << tuning.pairwise_group_max
            << " rows " << tuning.row_search_max;
      }
    }
  }
}

// A core shared by many cliques, beyond the pairwise bar: the walk's nodes
// find the core common to all members (their closure) and split on the
// leaves, some of which are linked in pairs or threes.
TEST(GraphOverlapPaths, CoreSharedByManyCliquesMatchesReference) {
  std::mt19937_64 rng(4242);
  for (std::size_t core = 2; core <= 4; ++core) {
    std::vector<Edge> edges;
    for (VertexId a = 0; a < core; ++a) {
      for (VertexId b = a + 1; b < core; ++b) edges.push_back(Edge{a, b});
    }
    for (VertexId leaf = 100; leaf < 130; ++leaf) {
      for (VertexId a = 0; a < core; ++a) edges.push_back(Edge{leaf, a});
      if (leaf % 3 != 0) edges.push_back(Edge{leaf, leaf + 1});
      if (leaf % 5 == 0) edges.push_back(Edge{leaf, leaf + 2});
    }
    std::shuffle(edges.begin(), edges.end(), rng);
    for (CliqueSizeBound bound : {CliqueSizeBound{}, CliqueSizeBound{4}}) {
      const Levels expected = reference_levels(edges, bound);
      for (const OverlapTuning& tuning : kTunings) {
        ASSERT_EQ(normalised(collected_levels(edges, bound, GraphLimits{}, tuning)), expected)
            << "core " << core << " small " << tuning.small_clique_max;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Clique search
// ---------------------------------------------------------------------------

struct PlainGraph {
  std::vector<std::set<DenseVertex>> around;
  void link(DenseVertex a, DenseVertex b) {
    if (around.size() <= std::max(a, b)) around.resize(std::max(a, b) + std::size_t{1});
    if (a == b) return;
    around[a].insert(b);
    around[b].insert(a);
  }
  DenseGraph dense() const {
    DenseGraph g;
    for (const auto& s : around) g.adjacency.emplace_back(s.begin(), s.end());
    return g;
  }
};

// Bron–Kerbosch with Tomita's pivot over sets, as plain as it gets.
void plain_maximal(const PlainGraph& g, std::vector<DenseVertex>& r, std::set<DenseVertex> p, std::set<DenseVertex> x,
                   std::set<std::vector<DenseVertex>>& out) {
  if (p.empty() && x.empty()) {
    std::vector<DenseVertex> clique = r;
    std::sort(clique.begin(), clique.end());
    out.insert(clique);
    return;
  }
  DenseVertex pivot = 0;
  std::size_t best = 0;
  bool first = true;
  for (const auto* side : {&p, &x}) {
    for (DenseVertex u : *side) {
      const auto c = static_cast<std::size_t>(
          std::count_if(p.begin(), p.end(), [&](DenseVertex w) { return g.around[u].count(w) != 0; }));
      if (first || c > best) pivot = u, best = c, first = false;
    }
  }
  for (DenseVertex v : std::vector<DenseVertex>(p.begin(), p.end())) {
    if (g.around[pivot].count(v) != 0) continue;
    std::set<DenseVertex> np, nx;
    for (DenseVertex w : p) {
      if (g.around[v].count(w) != 0) np.insert(w);
    }
    for (DenseVertex w : x) {
      if (g.around[v].count(w) != 0) nx.insert(w);
    }
    r.push_back(v);
    plain_maximal(g, r, np, nx, out);
    r.pop_back();
    p.erase(v);
    x.insert(v);
  }
}

std::set<std::vector<DenseVertex>> plain_maximal_cliques(const PlainGraph& g) {
  std::set<std::vector<DenseVertex>> out;
  std::vector<DenseVertex> r;
  std::set<DenseVertex> all;
  for (DenseVertex v = 0; v < g.around.size(); ++v) all.insert(v);
  plain_maximal(g, r, all, {}, out);
  return out;
}

// Graphs whose neighbourhoods take each loading mode of the search.
std::vector<std::pair<const char*, PlainGraph>> neighbourhood_shapes(std::mt19937_64& rng) {
  std::vector<std::pair<const char*, PlainGraph>> shapes;
  std::bernoulli_distribution coin(0.5);
  {  // More than 64 candidates: rows of several words.
    PlainGraph g;
    for (DenseVertex a = 0; a < 72; ++a) {
      for (DenseVertex b = a + 1; b < 72; ++b) {
        if (a % 9 != 0 || b % 9 != 1) g.link(a, b);  // a few holes split the core
      }
    }
    for (DenseVertex t = 0; t < 30; ++t) g.link(72 + t, static_cast<DenseVertex>(rng() % 72)), g.link(72 + t, static_cast<DenseVertex>(rng() % 72));
    shapes.emplace_back("over 64 candidates", g);
  }
  {  // More than 64 earlier neighbours, none of them linked: one word after all.
    PlainGraph g;
    for (DenseVertex a = 0; a < 10; ++a) {
      for (DenseVertex b = a + 1; b < 10; ++b) {
        if (coin(rng) || a < 5) g.link(a, b);
      }
    }
    for (DenseVertex leaf = 10; leaf < 110; ++leaf) g.link(leaf, 0);
    shapes.emplace_back("unlinked earlier neighbours", g);
  }
  {  // More than 64 earlier neighbours, each linked to a candidate: root 0
     // comes before its candidates 1 .. 12, densely linked among themselves
     // and all linked to the clique 13 .. 24, and after the 80 vertices
     // linking it to them.
    PlainGraph g;
    std::bernoulli_distribution dense(0.75);
    for (DenseVertex a = 1; a < 25; ++a) {
      for (DenseVertex b = a + 1; b < 25; ++b) {
        if (b > 12 || dense(rng)) g.link(a, b);
      }
    }
    for (DenseVertex c = 1; c <= 12; ++c) g.link(0, c);
    for (DenseVertex w = 25; w < 105; ++w) g.link(w, 0), g.link(w, static_cast<DenseVertex>(1 + rng() % 12));
    shapes.emplace_back("linked earlier neighbours", g);
  }
  {  // A hub next to small neighbourhoods in a sparse graph: probed lists.
    PlainGraph g;
    for (DenseVertex v = 1; v < 600; ++v) g.link(0, v);
    for (DenseVertex v = 1; v + 1 < 600; v += 2) g.link(v, v + 1);
    for (int e = 0; e < 150; ++e) g.link(static_cast<DenseVertex>(1 + rng() % 599), static_cast<DenseVertex>(1 + rng() % 599));
    shapes.emplace_back("hub in a sparse graph", g);
  }
  {  // Dense enough for rows of adjacency bits, over several words.
    PlainGraph g;
    std::bernoulli_distribution edge(0.35);
    for (DenseVertex a = 0; a < 150; ++a) {
      for (DenseVertex b = a + 1; b < 150; ++b) {
        if (edge(rng)) g.link(a, b);
      }
    }
    shapes.emplace_back("adjacency bits", g);
  }
  return shapes;
}

TEST(CliqueSearchPaths, EveryNeighbourhoodModeMatchesPlainEnumeration) {
  std::mt19937_64 rng(8080);
  InterruptTicker ticker;
  for (int round = 0; round < 3; ++round) {
    for (const auto& [name, g] : neighbourhood_shapes(rng)) {
      std::set<std::vector<DenseVertex>> found;
      for_each_maximal_clique(g.dense(), ticker, [&](const std::vector<DenseVertex>& c) {
        ASSERT_TRUE(found.insert(c).second) << name << ": a clique found twice";
      });
      ASSERT_EQ(found, plain_maximal_cliques(g)) << name;
    }
  }
}

// The ranked search's cliques of at least `min_size` vertices, as sets of
// original vertices, and its triangles, as sets of the original vertices of
// their edges' slots; a clique or triangle met twice fails the test.
struct RankedFindings {
  std::set<std::vector<DenseVertex>> cliques;
  std::set<std::vector<DenseVertex>> triangles;
};

DegeneracyGraph ranked_graph(const PlainGraph& g, InterruptTicker& ticker) {
  CompactGraph compact;
  compact.start.assign(1, 0);
  for (const auto& around : g.around) {
    compact.neighbours.insert(compact.neighbours.end(), around.begin(), around.end());
    compact.start.push_back(compact.neighbours.size());
  }
  return by_degeneracy(compact, ticker);
}

RankedFindings ranked_findings(const DegeneracyGraph& ranked, std::size_t min_size, std::size_t row_search_max,
                               const std::string& name) {
  InterruptTicker ticker;
  RankedFindings found;
  // The original vertices of a slot's edge.
  auto ends = [&](std::size_t slot) {
    const auto owner = static_cast<std::size_t>(
        std::upper_bound(ranked.graph.start.begin(), ranked.graph.start.end(), slot) - ranked.graph.start.begin() - 1);
    EXPECT_GE(slot, ranked.later[owner]) << name << ": slot in the earlier part of a list";
    return std::make_pair(ranked.order[owner], ranked.order[ranked.graph.neighbours[slot]]);
  };
  auto on_triangle = [&](std::size_t ab, std::size_t ac, std::size_t bc) {
    std::set<DenseVertex> vertices;
    for (std::size_t slot : {ab, ac, bc}) {
      const auto [u, v] = ends(slot);
      vertices.insert(u);
      vertices.insert(v);
    }
    ASSERT_EQ(vertices.size(), 3u) << name;
    ASSERT_TRUE(found.triangles.insert({vertices.begin(), vertices.end()}).second) << name << ": a triangle twice";
  };
  auto on_clique = [&](const DenseVertex* first, const DenseVertex* last) {
    ASSERT_TRUE(std::is_sorted(first, last)) << name;
    ASSERT_GE(static_cast<std::size_t>(last - first), min_size) << name;
    std::vector<DenseVertex> clique;
    for (; first != last; ++first) clique.push_back(ranked.order[*first]);
    std::sort(clique.begin(), clique.end());
    ASSERT_TRUE(found.cliques.insert(clique).second) << name << ": a clique twice";
  };
  clique_search_detail::maximal_cliques_ranked(ranked, ticker, on_clique, &on_triangle, min_size, row_search_max);
  return found;
}

// The ranked search under each size floor, neighbourhood by neighbourhood
// and on the graph's rows: exactly the maximal cliques that large, and
// every triangle once as the slots of its edges.
TEST(CliqueSearchPaths, RankedSearchReportsTrianglesAndLargerCliques) {
  std::mt19937_64 rng(9090);
  InterruptTicker ticker;
  for (const auto& [name, g] : neighbourhood_shapes(rng)) {
    const DegeneracyGraph ranked = ranked_graph(g, ticker);
    const std::set<std::vector<DenseVertex>> all = plain_maximal_cliques(g);
    std::set<std::vector<DenseVertex>> expected_triangles;
    for (DenseVertex a = 0; a < g.around.size(); ++a) {
      for (DenseVertex b : g.around[a]) {
        for (DenseVertex c : g.around[b]) {
          if (a < b && b < c && g.around[a].count(c) != 0) expected_triangles.insert({a, b, c});
        }
      }
    }
    for (std::size_t min_size : std::initializer_list<std::size_t>{0, 2, 3, 4}) {
      std::set<std::vector<DenseVertex>> expected_cliques;
      for (const auto& c : all) {
        if (c.size() >= min_size) expected_cliques.insert(c);
      }
      for (std::size_t rows : {std::size_t{0}, std::size_t{512}}) {
        const RankedFindings found = ranked_findings(ranked, min_size, rows, name);
        EXPECT_EQ(found.cliques, expected_cliques) << name << " min " << min_size << " rows " << rows;
        EXPECT_EQ(found.triangles, expected_triangles) << name << " min " << min_size << " rows " << rows;
      }
    }
  }
}

// Random graphs up to the row search's limit, their sizes on both sides of
// word boundaries and their densities from sparse to near complete: the
// search on rows finds what the neighbourhood search finds.
TEST(CliqueSearchPaths, RowSearchMatchesNeighbourhoodSearch) {
  std::mt19937_64 rng(9191);
  InterruptTicker ticker;
  // Denser graphs stay smaller: their maximal cliques multiply.
  const std::pair<std::size_t, double> shapes[] = {
      {1, 0.0},    {2, 1.0},   {5, 0.5},    {20, 0.97},  {30, 0.7},   {63, 0.3},   {64, 0.3},  {65, 0.3},
      {127, 0.1},  {129, 0.2}, {130, 0.02}, {200, 0.1},  {300, 0.1},  {448, 0.05}, {512, 0.1}, {512, 0.02}};
  for (const auto& [n, density] : shapes) {
    {
      PlainGraph g;
      g.link(static_cast<DenseVertex>(n - 1), static_cast<DenseVertex>(n - 1));
      std::bernoulli_distribution edge(density);
      for (DenseVertex a = 0; a < n; ++a) {
        for (DenseVertex b = a + 1; b < n; ++b) {
          if (edge(rng)) g.link(a, b);
        }
      }
      const DegeneracyGraph ranked = ranked_graph(g, ticker);
      const std::string name = "n " + std::to_string(n) + " p " + std::to_string(density);
      for (std::size_t min_size : std::initializer_list<std::size_t>{0, 3}) {
        const RankedFindings by_rows = ranked_findings(ranked, min_size, 512, name);
        const RankedFindings by_hoods = ranked_findings(ranked, min_size, 0, name);
        EXPECT_EQ(by_rows.cliques, by_hoods.cliques) << name << " min " << min_size;
        EXPECT_EQ(by_rows.triangles, by_hoods.triangles) << name << " min " << min_size;
      }
      if (HasFailure()) return;
    }
  }
}

// ---------------------------------------------------------------------------
// Compact clique table
// ---------------------------------------------------------------------------

// Runs of every size from 2 to 14, some empty, read back by id (the search
// over sizes goes past its first steps) and by walking ranges.
TEST(CliqueTable, ReadsBackEveryRun) {
  std::mt19937_64 rng(5150);
  for (int round = 0; round < 30; ++round) {
    std::vector<std::vector<DenseVertex>> runs(15);
    std::vector<std::vector<DenseVertex>> by_id;  // expected, largest first
    for (std::size_t s = 14; s >= 2; --s) {
      const std::size_t count = rng() % 3 == 0 ? 0 : rng() % 5;
      for (std::size_t c = 0; c < count; ++c) {
        std::set<DenseVertex> members;
        while (members.size() < s) members.insert(static_cast<DenseVertex>(rng() % 40));
        runs[s].insert(runs[s].end(), members.begin(), members.end());
        by_id.emplace_back(members.begin(), members.end());
      }
    }
    const CliqueTable table(runs, 40);
    ASSERT_EQ(table.count(), by_id.size());
    ASSERT_EQ(table.largest(), by_id.empty() ? 0 : by_id.front().size());
    for (std::size_t s = 1; s <= 15; ++s) {
      ASSERT_EQ(table.at_least(s), static_cast<std::size_t>(std::count_if(
                                       by_id.begin(), by_id.end(), [&](const auto& c) { return c.size() >= s; })));
    }
    for (std::size_t id = 0; id < by_id.size(); ++id) {
      const CliqueTable::Vertices c = table.clique(id);
      ASSERT_EQ(std::vector<DenseVertex>(c.begin(), c.end()), by_id[id]) << "id " << id;
    }
    const std::size_t first = by_id.empty() ? 0 : rng() % by_id.size();
    std::size_t next = first;
    table.for_each(first, by_id.size(), [&](std::size_t id, CliqueTable::Vertices c) {
      ASSERT_EQ(id, next++);
      ASSERT_EQ(std::vector<DenseVertex>(c.begin(), c.end()), by_id[id]);
    });
    ASSERT_EQ(next, by_id.size());
  }
}

}  // namespace
}  // namespace korvane
