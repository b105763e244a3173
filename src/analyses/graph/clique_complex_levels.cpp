// Per-level q-components of a graph from its maximal cliques.
//
// With B the bound on clique size, every level q with q + 1 < B is described
// by the maximal cliques alone: two (q+1)-vertex cliques are joined exactly
// when a chain of (q+2)-vertex cliques links them, which happens exactly when
// the maximal cliques around them are linked by overlaps of at least q + 1
// vertices. Only the top level q = B - 1 (reached when the graph has a clique
// of B vertices) keeps every B-vertex clique apart, since no larger clique is
// formed to join them. Without a bound B is the vertex count, and that top
// level exists only for a complete graph, where it agrees with the overlap
// rule, so an absent bound is treated as no bound at all.
//
// Clique size 2 (level 1) joins two edges exactly when a chain of triangles
// links them: its forest is over the edges, fed by the triangles that the
// clique search meets anyway. Sizes 3 and up follow the overlaps of maximal
// cliques (see clique_overlaps.hpp).
//
// Memory: the overlaps go straight into one forest per level, levels are
// handed over one at a time, and each level's forest is freed once its level
// is read, so what is held natively besides the level being handed over is
// the graph, the compact clique table and the forests of the levels still to
// come.
#include "analyses/graph/clique_complex_levels.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

#include "analyses/graph/clique_search.hpp"
#include "analyses/graph/clique_table.hpp"
#include "analyses/graph/maximal_cliques.hpp"
#include "analyses/shared/sort_small.hpp"
#include "core/union_find.hpp"

namespace korvane {

namespace {

// Level 0 below a bound of at least 2: the connected components, found
// breadth first over ranks, then listed by a counting pass in dense order so
// that each comes out ascending.
DenseLevel connected_components(const DegeneracyGraph& ranked, InterruptTicker& ticker) {
  const CompactGraph& graph = ranked.graph;
  const std::size_t n = graph.size();
  std::vector<DenseVertex> component_of(n, kNone<DenseVertex>);  // by rank
  // Every neighbour is written past the queue's end and kept only when new,
  // without a branch that the order of neighbours makes unpredictable: one
  // slot to spare for the write after the last vertex.
  std::vector<DenseVertex> queue(n + 1);
  DenseLevel level;
  for (std::size_t source = 0; source < n; ++source) {
    if (component_of[source] != kNone<DenseVertex>) continue;
    const auto label = static_cast<DenseVertex>(level.starts.size() - 1);
    component_of[source] = label;
    queue[0] = static_cast<DenseVertex>(source);
    std::size_t tail = 1;
    for (std::size_t head = 0; head < tail; ++head) {
      const DenseVertex v = queue[head];
      ticker.tick(graph.degree(v) + 1);
      // A neighbour already met carries this label: rewriting it is harmless.
      for (const DenseVertex* u = graph.begin_of(v); u != graph.end_of(v); ++u) {
        queue[tail] = *u;
        tail += component_of[*u] == kNone<DenseVertex>;
        component_of[*u] = label;
      }
    }
    level.starts.push_back(level.starts.back() + tail);
  }
  std::vector<DenseVertex>().swap(queue);
  // Relabelled by dense number: component_of[order[r]] is rank r's.
  std::vector<DenseVertex> by_dense(n);
  for (std::size_t r = 0; r < n; ++r) by_dense[ranked.order[r]] = component_of[r];
  level.items.resize(n);
  std::vector<std::size_t> cursor(level.starts.begin(), level.starts.end() - 1);
  for (std::size_t v = 0; v < n; ++v) level.items[cursor[by_dense[v]]++] = static_cast<DenseVertex>(v);
  return level;
}

// Reads the levels of clique size k >= 3 out of the forests. Level k holds
// the cliques of at least k vertices: those below at_least(k + 1) grouped by
// their root at k, and those of exactly k vertices each alone.
class LevelReader {
 public:
  LevelReader(const CliqueTable& table, CliqueForests& forests, const std::vector<DenseVertex>& order,
              InterruptTicker& ticker)
      : table_(table),
        forests_(forests),
        order_(order),
        ticker_(ticker),
        group_of_root_(table.at_least(4), kNone<CliqueIndex>),
        seen_(table.vertex_count(), 0) {}

  DenseLevel level(std::size_t k) {
    const std::size_t joined = table_.at_least(k + 1);
    const std::size_t groups = group_joined(k, joined);
    DenseLevel sets;
    const std::size_t alone = table_.at_least(k) - joined;
    sets.starts.reserve(groups + alone + 1);
    // Exact for the cliques alone, a floor for the unions.
    sets.items.reserve(alone * k + groups * (k + 1));
    std::size_t begin = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      add_union(sets, begin, group_end_[g]);
      begin = group_end_[g];
    }
    add_alone(sets, joined, k);
    return sets;
  }

 private:
  // Sorts the ids below `joined` by their root at k into by_group_; group g
  // ends at group_end_[g]. Returns the number of groups.
  std::size_t group_joined(std::size_t k, std::size_t joined) {
    group_end_.clear();
    for (std::size_t id = 0; id < joined; ++id) {
      CliqueIndex& group = group_of_root_[forests_.root(k, static_cast<CliqueIndex>(id))];
      if (group == kNone<CliqueIndex>) {
        group = static_cast<CliqueIndex>(group_end_.size());
        group_end_.push_back(0);
      }
      ++group_end_[group];
    }
    ticker_.tick(joined);
    std::size_t start = 0;
    for (std::size_t& end : group_end_) {
      const std::size_t count = end;
      end = start;
      start += count;
    }
    by_group_.resize(joined);
    // Filling moves each group's start to its end.
    for (std::size_t id = 0; id < joined; ++id) {
      CliqueIndex& group = group_of_root_[forests_.root(k, static_cast<CliqueIndex>(id))];
      by_group_[group_end_[group]++] = static_cast<CliqueIndex>(id);
    }
    for (std::size_t id = 0; id < joined; ++id) group_of_root_[forests_.root(k, static_cast<CliqueIndex>(id))] = kNone<CliqueIndex>;
    ticker_.tick(2 * joined);
    return group_end_.size();
  }

  // The cliques of exactly k vertices, ids [joined, at_least(k)), each a
  // component of its own, written in place.
  void add_alone(DenseLevel& sets, std::size_t joined, std::size_t k) {
    const std::size_t alone = table_.at_least(k) - joined;
    std::size_t at = sets.items.size();
    sets.items.resize(at + alone * k);
    sets.starts.resize(sets.starts.size() + alone);
    std::size_t* start = sets.starts.data() + sets.starts.size() - alone;
    table_.for_each(joined, table_.at_least(k), [&](std::size_t, CliqueTable::Vertices clique) {
      DenseVertex* out = sets.items.data() + at;
      for (std::size_t i = 0; i < k; ++i) out[i] = order_[clique.first[i]];
      sort_small(out, out + k);
      at += k;
      *start++ = at;
    });
    ticker_.tick(alone * k);
  }

  // A clique's vertices, ascending.
  void add_clique(DenseLevel& sets, CliqueTable::Vertices clique) {
    const std::size_t at = sets.items.size();
    for (DenseVertex r : clique) sets.items.push_back(order_[r]);
    sort_small(sets.items.data() + at, sets.items.data() + sets.items.size());
    sets.starts.push_back(sets.items.size());
  }

  // The vertices of the cliques by_group_[begin .. end), ascending. seen_[r]
  // holds the tag of the last union that took rank r.
  void add_union(DenseLevel& sets, std::size_t begin, std::size_t end) {
    if (end - begin == 1) return add_clique(sets, table_.clique(by_group_[begin]));
    if (++tag_ == 0) {
      std::fill(seen_.begin(), seen_.end(), 0);
      tag_ = 1;
    }
    vertices_.clear();
    for (std::size_t x = begin; x < end; ++x) {
      const CliqueTable::Vertices clique = table_.clique(by_group_[x]);
      ticker_.tick(clique.size());
      for (const DenseVertex* r = clique.first; r != clique.last; ++r) {
        if (seen_[*r] == tag_) continue;
        seen_[*r] = tag_;
        vertices_.push_back(order_[*r]);
      }
    }
    sort_small(vertices_.data(), vertices_.data() + vertices_.size());
    sets.add(vertices_);
  }

  const CliqueTable& table_;
  CliqueForests& forests_;
  const std::vector<DenseVertex>& order_;  // rank -> dense
  InterruptTicker& ticker_;
  std::vector<CliqueIndex> group_of_root_;  // kNone between levels
  std::vector<std::size_t> group_end_;
  std::vector<CliqueIndex> by_group_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t tag_ = 0;
  std::vector<DenseVertex> vertices_;
};

// Adds to `sets` the vertices (dense, ascending) touched by each group of
// edges by_group[group_end[g - 1] .. group_end[g]).
void add_touched_vertices(const DegeneracyGraph& ranked,
                          const std::vector<std::pair<DenseVertex, DenseVertex>>& by_group,
                          const std::vector<std::size_t>& group_end, DenseLevel& sets, InterruptTicker& ticker) {
  std::vector<std::uint32_t> seen(ranked.graph.size(), 0);
  std::vector<DenseVertex> vertices;
  std::size_t begin = 0;
  for (std::size_t g = 0; g < group_end.size(); ++g) {
    ticker.tick(2 * (group_end[g] - begin) + 1);
    vertices.clear();
    const auto tag = static_cast<std::uint32_t>(g + 1);
    for (std::size_t e = begin; e < group_end[g]; ++e) {
      for (DenseVertex r : {by_group[e].first, by_group[e].second}) {
        if (seen[r] == tag) continue;
        seen[r] = tag;
        vertices.push_back(ranked.order[r]);
      }
    }
    sort_small(vertices.data(), vertices.data() + vertices.size());
    sets.add(vertices);
    begin = group_end[g];
  }
}

// The edges of one graph, joined through the triangles that hold them: a
// forest over edge slots (see DegeneracyGraph), and which slots some
// triangle holds at all, since most edges of a sparse graph stay alone.
struct JoinedEdges {
  explicit JoinedEdges(std::size_t slots) : forest(slots), in_triangle(slots, 0) {}

  // One find per edge, and none for an edge on no triangle so far: it is
  // still a singleton, its own root.
  void join(std::size_t ab, std::size_t ac, std::size_t bc) {
    std::uint32_t root = root_of(ab);
    root = forest.link(root, root_of(ac));
    forest.link(root, root_of(bc));
    in_triangle[ab] = in_triangle[ac] = in_triangle[bc] = 1;
  }
  bool on_triangle(std::size_t slot) const { return in_triangle[slot] != 0; }

  UnionFind<std::uint32_t> forest;
  std::vector<char> in_triangle;

 private:
  std::uint32_t root_of(std::size_t slot) {
    const auto x = static_cast<std::uint32_t>(slot);
    return in_triangle[slot] != 0 ? forest.find(x) : x;
  }
};

// The maximal cliques of three or more vertices, as ranks: the only ones
// levels of clique size 3 and up read (size 2 is read off the edges), and
// the ones the limit counts. With `edges`, the edges of every triangle are
// joined there.
CliqueTable maximal_cliques(const DegeneracyGraph& ranked, const GraphLimits& limits, JoinedEdges* edges,
                            std::size_t row_search_max, InterruptTicker& ticker) {
  std::vector<std::vector<DenseVertex>> runs;  // by size
  std::size_t found = 0;
  auto sink = [&](const DenseVertex* first, const DenseVertex* last) {
    if (++found > limits.cliques) check_capacity(found, limits.cliques, "maximal cliques");
    const auto size = static_cast<std::size_t>(last - first);
    if (runs.size() <= size) runs.resize(size + 1);
    runs[size].insert(runs[size].end(), first, last);
  };
  auto triangles = [edges](std::size_t ab, std::size_t ac, std::size_t bc) { edges->join(ab, ac, bc); };
  clique_search_detail::maximal_cliques_ranked(ranked, ticker, sink, edges != nullptr ? &triangles : nullptr, 3,
                                               row_search_max);
  return CliqueTable(std::move(runs), ranked.graph.size());
}

// Calls f(a, slot) for every edge: its lower rank a and its slot.
template <class F>
void for_each_edge(const DegeneracyGraph& ranked, InterruptTicker& ticker, F&& f) {
  const CompactGraph& graph = ranked.graph;
  for (std::size_t a = 0; a < graph.size(); ++a) {
    ticker.tick(graph.degree(a) + 1);
    for (std::size_t slot = ranked.later[a]; slot < graph.start[a + 1]; ++slot) f(static_cast<DenseVertex>(a), slot);
  }
}

// An edge on a triangle, by its ranks: a < b, the edge at `slot`.
struct JoinedEdge {
  DenseVertex a;
  DenseVertex b;
  std::uint32_t slot;
};

// Few groups of edges on triangles (as in any dense enough graph: one large
// group, some small ones), at most 8: each vertex notes the groups of its
// edges in one byte, then every group takes its vertices in dense order.
constexpr std::size_t kMostFewGroups = 8;

void add_few_groups(const DegeneracyGraph& ranked, JoinedEdges& edges, const std::vector<JoinedEdge>& joined,
                    DenseLevel& sets, InterruptTicker& ticker) {
  std::vector<std::uint32_t> roots;  // group -> root slot
  std::vector<std::uint8_t> in_groups(ranked.graph.size(), 0);  // by rank, one bit a group
  for (const JoinedEdge& e : joined) {
    ticker.tick();
    const std::uint32_t root = edges.forest.find(e.slot);
    const auto group = static_cast<std::size_t>(std::find(roots.begin(), roots.end(), root) - roots.begin());
    if (group == roots.size()) roots.push_back(root);
    in_groups[e.a] |= static_cast<std::uint8_t>(1U << group);
    in_groups[e.b] |= static_cast<std::uint8_t>(1U << group);
  }
  std::vector<std::uint8_t> by_dense(in_groups.size());
  for (std::size_t r = 0; r < in_groups.size(); ++r) by_dense[ranked.order[r]] = in_groups[r];
  for (std::size_t g = 0; g < roots.size(); ++g) {
    ticker.tick(by_dense.size());
    for (std::size_t v = 0; v < by_dense.size(); ++v) {
      if (((static_cast<unsigned>(by_dense[v]) >> g) & 1U) != 0) sets.items.push_back(static_cast<DenseVertex>(v));
    }
    sets.starts.push_back(sets.items.size());
  }
}

// Many groups of edges on triangles: the edges sorted by group (a counting
// pass over each edge's root), then each group as the vertices it touches.
void add_many_groups(const DegeneracyGraph& ranked, JoinedEdges& edges, std::vector<JoinedEdge>& joined,
                     DenseLevel& sets, InterruptTicker& ticker) {
  // group_of_root[root slot]: the root's group, numbered as first met.
  std::vector<std::uint32_t> group_of_root(ranked.graph.neighbours.size(), kNone<std::uint32_t>);
  std::vector<std::size_t> group_end;
  // Each edge's slot is overwritten with its group.
  for (JoinedEdge& e : joined) {
    ticker.tick();
    std::uint32_t& group = group_of_root[edges.forest.find(e.slot)];
    if (group == kNone<std::uint32_t>) {
      group = static_cast<std::uint32_t>(group_end.size());
      group_end.push_back(0);
    }
    ++group_end[group];
    e.slot = group;
  }
  std::vector<std::uint32_t>().swap(group_of_root);
  std::size_t start = 0;
  for (std::size_t& end : group_end) start += std::exchange(end, start);
  // Each group's edges as pairs of ranks; filling moves its start to its end.
  std::vector<std::pair<DenseVertex, DenseVertex>> by_group(start);
  for (const JoinedEdge& e : joined) by_group[group_end[e.slot]++] = {e.a, e.b};
  ticker.tick(joined.size());
  std::vector<JoinedEdge>().swap(joined);
  add_touched_vertices(ranked, by_group, group_end, sets, ticker);
}

// Level 1 (clique size 2): an edge on no triangle alone, the others grouped
// by their root in the forest, each group as the vertices it touches.
DenseLevel edge_level(const DegeneracyGraph& ranked, JoinedEdges& edges, std::size_t few_groups,
                      InterruptTicker& ticker) {
  const CompactGraph& graph = ranked.graph;
  DenseLevel sets;
  // Two vertices an edge at most, a set an edge at most.
  sets.items.reserve(graph.neighbours.size());
  sets.starts.reserve(graph.neighbours.size() / 2 + 1);
  std::vector<JoinedEdge> joined;
  joined.reserve(graph.neighbours.size() / 2);
  std::size_t groups = 0;  // one root each
  for_each_edge(ranked, ticker, [&](DenseVertex a, std::size_t slot) {
    const DenseVertex b = graph.neighbours[slot];
    if (edges.on_triangle(slot)) {
      groups += edges.forest.is_root(static_cast<std::uint32_t>(slot));
      joined.push_back(JoinedEdge{a, b, static_cast<std::uint32_t>(slot)});
      return;
    }
    const DenseVertex u = ranked.order[a];
    const DenseVertex v = ranked.order[b];
    sets.items.push_back(std::min(u, v));
    sets.items.push_back(std::max(u, v));
    sets.starts.push_back(sets.items.size());
  });
  if (groups <= std::min(few_groups, kMostFewGroups)) {
    add_few_groups(ranked, edges, joined, sets, ticker);
  } else {
    add_many_groups(ranked, edges, joined, sets, ticker);
  }
  return sets;
}

// With a bound of 1 no edge is formed: every vertex is alone at level 0.
DenseLevel vertices_apart(std::size_t n) {
  DenseLevel alone;
  alone.items.resize(n);
  alone.starts.resize(n + 1);
  for (std::size_t v = 0; v < n; ++v) {
    alone.items[v] = static_cast<DenseVertex>(v);
    alone.starts[v + 1] = v + 1;
  }
  return alone;
}

// The top level under a bound of `cap` vertices: every clique of `cap`
// vertices apart.
DenseLevel cliques_apart(const DegeneracyGraph& ranked, std::uint64_t cap, InterruptTicker& ticker) {
  DenseLevel apart;
  std::vector<DenseVertex> vertices;
  for_each_clique_of_size(ranked, cap, ticker, [&](const DenseVertex* first, const DenseVertex* last) {
    vertices.clear();
    for (; first != last; ++first) vertices.push_back(ranked.order[*first]);
    std::sort(vertices.begin(), vertices.end());
    apart.add(vertices);
  });
  return apart;
}

}  // namespace

void clique_complex_levels(std::vector<Edge> edges, CliqueSizeBound bound, const LevelSink& sink,
                           const GraphLimits& limits, const OverlapTuning& tuning) {
  InterruptTicker ticker;
  const VertexNumbering numbering(edges, limits);
  const std::size_t n = numbering.size();
  constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t cap = bound ? std::max<std::uint64_t>(*bound, 1) : kUnbounded;
  if (n == 0 || cap == 1) {
    sink.start(n == 0 ? 0 : 1, numbering.ids());
    if (n > 0) sink.level(0, vertices_apart(n));
    return;
  }

  const DegeneracyGraph ranked = by_degeneracy(build_compact_graph(std::move(edges), numbering, ticker), ticker);
  // Clique size 2 has a level of its own (top >= 2 below) exactly when the
  // bound lets triangles form and there is an edge.
  const bool edges_apart = cap >= 3 && !ranked.graph.neighbours.empty();
  if (edges_apart) check_capacity(ranked.graph.neighbours.size(), index_limit<std::uint32_t>(), "edge ends");
  std::optional<JoinedEdges> edges_joined;
  if (edges_apart) edges_joined.emplace(ranked.graph.neighbours.size());
  {
    const CliqueTable table = maximal_cliques(ranked, limits, edges_joined ? &*edges_joined : nullptr,
                                            tuning.row_search_max, ticker);
    const std::size_t largest = std::max<std::size_t>(table.largest(), ranked.graph.neighbours.empty() ? 1 : 2);
    const std::uint64_t level_count = std::min<std::uint64_t>(cap, largest);
    // Levels of clique size 3 .. top follow the overlap rule, size 2 the
    // triangles.
    const auto top = static_cast<std::size_t>(std::min<std::uint64_t>(level_count, cap - 1));
    CliqueForests forests(table, top);
    join_overlapping_cliques(table, forests, tuning, ticker);
    sink.start(static_cast<std::size_t>(level_count), numbering.ids());
    // The top level keeps every clique of `cap` vertices apart.
    if (level_count == cap) sink.level(static_cast<std::size_t>(cap - 1), cliques_apart(ranked, cap, ticker));
    LevelReader reader(table, forests, ranked.order, ticker);
    for (std::size_t k = top; k >= 3; --k) {
      sink.level(k - 1, reader.level(k));
      forests.release(k);
    }
  }
  if (edges_joined) {
    sink.level(1, edge_level(ranked, *edges_joined, tuning.few_edge_groups, ticker));
    edges_joined.reset();
  }
  sink.level(0, connected_components(ranked, ticker));
}

}  // namespace korvane
