// The graph of a filtration as it grows, and what one new edge u-v sees of
// it: the common neighbourhood, whose maximal cliques K make the new maximal
// cliques {u, v} + K, and the two one-sided neighbourhoods, which hold
// everything an old clique M - u or M - v can grow by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/persistence/fingerprint_table.hpp"
#include "analyses/shared/bits.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane {

// Vertices are numbered up front, in ascending id order, so ascending dense
// sets are ascending id sets. Neighbour lists are ascending, without loops.
// Every list is sized up front from the edges to come and lives in one
// array, beside the clique noted with each edge: adding an edge allocates
// nothing and hashes nothing.
class GrowingGraph {
 public:
  // `edges` are the edges to come, their ends as dense numbers below
  // `vertex_count`.
  GrowingGraph(std::size_t vertex_count, const std::vector<WeightedEdge>& edges);

  std::size_t size() const noexcept { return degree_.size(); }

  // Marks v present; true when it was not yet.
  bool arrive(DenseVertex v);

  // Adds the edge u-v, u != v, one of the edges given up front, noting
  // `clique` as one that holds it; false when the edge was there already.
  bool add_edge(DenseVertex u, DenseVertex v, std::uint32_t clique);

  // The clique noted when the edge u-v was added: it holds the edge, even
  // if it is no longer maximal. kNone when the edge is missing.
  std::uint32_t clique_of_edge(DenseVertex u, DenseVertex v) const;

  // Notes `value` with the edge u-v in place of what was noted.
  // Precondition: the edge is there.
  void note_edge(DenseVertex u, DenseVertex v, std::uint32_t value);

  std::span<const DenseVertex> neighbours(DenseVertex v) const noexcept {
    return {ends_.get() + start_[v], degree_[v]};
  }

 private:
  bool place(DenseVertex x, DenseVertex y, std::uint32_t clique);
  [[noreturn]] static void unannounced();

  // The list of x is ends_[start_[x] ..) with degree_[x] entries and room
  // up to start_[x + 1]; cliques_ runs beside ends_.
  std::vector<std::size_t> start_;
  std::vector<std::uint32_t> degree_;
  std::unique_ptr<DenseVertex[]> ends_;
  std::unique_ptr<std::uint32_t[]> cliques_;
  std::vector<char> present_;  // an admitted edge touches the vertex
};

class EdgeView {
 public:
  explicit EdgeView(std::size_t vertex_count)
      : slot_(vertex_count, kNone<DenseVertex>), side_slot_(vertex_count, kNone<DenseVertex>), seen_(vertex_count, 0) {}

  // Looks around the edge u-v, just added to `graph`. The local graph and
  // the sides are built only when there are two common neighbours or more.
  void load(const GrowingGraph& graph, DenseVertex u, DenseVertex v, InterruptTicker& ticker);

  // The common neighbours, ascending; local vertex i is common()[i].
  const std::vector<DenseVertex>& common() const noexcept { return common_; }
  // The subgraph they induce, in local numbers.
  const DenseGraph& local() const noexcept { return local_; }
  // Words of a bitset over the local numbers.
  std::size_t words() const noexcept { return words_; }

  // Grows M - drop, for M = {u, v} + K (K given as a bitset over the local
  // numbers and as local numbers ascending), into a maximal clique of the
  // graph without `drop`, into `clique` ascending. Returns whether it grew:
  // when not, M - drop was a maximal clique before the edge came.
  // Precondition: K is a maximal clique of local() and has two vertices or
  // more; drop is u or v.
  bool grow_side(DenseVertex drop, const Word* k_bits, const DenseVertex* k_first, const DenseVertex* k_last,
                 std::vector<DenseVertex>& clique, InterruptTicker& ticker);

  // The vertices the last grow_side() added to M - drop, ascending.
  const std::vector<DenseVertex>& added() const noexcept { return added_; }

  // Indexes the side vertices' links among themselves, so that the
  // grow_side() calls of this edge run on bitsets. Skipped when there are
  // too many side vertices for a square of bits.
  void link_sides(InterruptTicker& ticker);

 private:
  static constexpr std::size_t kMostLinkedSides = 4096;  // 2 MiB of links

  void split_neighbours(DenseVertex u, DenseVertex v, InterruptTicker& ticker);
  void scan_common(InterruptTicker& ticker);
  void release_slots();
  bool next_to_all(std::size_t s, const Word* k_bits) const;
  void grow_by_lists(std::size_t first, std::size_t last, const Word* k_bits, InterruptTicker& ticker);
  void grow_by_links(std::size_t first, std::size_t last, const Word* k_bits);

  const GrowingGraph* graph_ = nullptr;
  DenseVertex u_ = 0;
  DenseVertex v_ = 0;
  std::vector<DenseVertex> common_;
  DenseGraph local_;
  std::size_t words_ = 0;
  // Side vertices: neighbours of exactly one endpoint, other than the other
  // endpoint; those of u first (u_side_ of them), then those of v, each part
  // ascending. Row i of side_bits_ marks the common neighbours next to
  // side vertex i.
  std::vector<DenseVertex> side_;
  std::size_t u_side_ = 0;
  std::vector<Word> side_bits_;
  // vertex -> local number of a common neighbour, and vertex -> index of a
  // side vertex; kNone elsewhere, and everywhere between loads.
  std::vector<DenseVertex> slot_;
  std::vector<DenseVertex> side_slot_;
  // vertex -> the last load() that met it next to u; the first pass is 1,
  // and 64 bits never wrap.
  std::vector<std::uint64_t> seen_;
  std::uint64_t pass_ = 0;
  std::vector<DenseVertex> candidates_;
  // link_sides(): row s marks the side vertices next to side vertex s;
  // empty when not indexed for this edge.
  std::vector<Word> side_links_;
  std::size_t side_words_ = 0;
  std::vector<Word> reach_;
  std::vector<DenseVertex> added_;
  std::vector<DenseVertex> merged_;
};

}  // namespace korvane
