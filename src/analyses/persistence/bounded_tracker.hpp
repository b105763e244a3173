// Persistence under a bound of m >= 2 vertices on clique size, worked from
// the small cliques each edge creates rather than from maximal cliques.
//
// Level q (q <= m - 2) joins the (q + 1)-vertex cliques that lie in a common
// (q + 2)-vertex clique; level m - 1 holds every m-vertex clique apart. An
// edge u-v creates exactly the cliques C = {u, v} + K, K a clique of at most
// m - 2 common neighbours. Each C of s <= m - 1 vertices is a new member of
// level s - 1, and each C joins its (s - 1)-vertex faces at level s - 2: the
// faces {v} + K and {u} + K were there before, the others are new cliques
// of the same step. Nothing else changes, so a step costs about what it adds
// to the answer, however many maximal cliques the graph passes through.
//
// Every clique of at most m - 1 vertices keeps the slot that names its
// component at its level (ComponentLevels): vertices and edges beside the
// graph, larger ones in a table by vertex set. A new clique that a larger
// new one will join is named by an old clique of its level that the larger
// one also holds ({v} + K + y, y extending K); one that nothing joins in the
// step stands alone.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/persistence/component_levels.hpp"
#include "analyses/persistence/growing_graph.hpp"
#include "analyses/persistence/persistence.hpp"
#include "analyses/shared/bits.hpp"
#include "core/hashing.hpp"
#include "core/interrupt.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

class BoundedTracker {
 public:
  // `cap` >= 2; `edges` in dense numbers, as they will be admitted.
  BoundedTracker(std::uint64_t cap, std::size_t vertex_count, const std::vector<WeightedEdge>& edges,
                 const GraphLimits& limits);

  void admit(DenseVertex u, DenseVertex v, double weight, const RecordSink& out);

  // Closes every key still present with the last admitted weight.
  void finish(const RecordSink& out);

 private:
  // Cliques of three vertices up to cap - 1, by vertex set, with the slot
  // of each at its level. They are never dropped: a clique stays a clique.
  // Open addressing over 64-bit fingerprints (the seeded vertex hashes
  // summed, so a face's print is its clique's less one vertex's); a clique
  // of up to kInline vertices sits in its entry, so a look-up reads one line.
  class CliqueSlots {
   public:
    std::uint64_t fingerprint(const DenseVertex* first, const DenseVertex* last) const noexcept {
      std::uint64_t print = 0;
      for (; first != last; ++first) print += hash_(std::uint64_t{*first});
      return print;
    }
    void add(std::uint64_t print, const DenseVertex* first, const DenseVertex* last, SlotIndex slot);
    // The slot of [first, last) without the vertex at `skip` (none when
    // skip is out of range). Precondition: that clique was added.
    SlotIndex find(std::uint64_t print, const DenseVertex* first, const DenseVertex* last, std::size_t skip) const;

   private:
    static constexpr std::size_t kInline = 4;
    struct Entry {
      std::uint64_t print = 0;
      SlotIndex slot = kNone<SlotIndex>;  // kNone: free
      std::uint32_t size = 0;
      DenseVertex inline_vertices[kInline] = {};  // the clique, or its offset in vertices_ as two words
    };

    const DenseVertex* vertices_of(const Entry& e) const noexcept;
    void grow();

    std::vector<Entry> entries_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
    std::vector<DenseVertex> vertices_;  // cliques of more than kInline vertices
    SeededHash hash_;
  };

  // The cliques of cap_ vertices with their births: each a key of the top
  // level of its own, which lives to the end. Kept in chunks, so that none
  // is copied as they grow in number.
  class TopCliques {
   public:
    explicit TopCliques(std::size_t size) : size_(size), per_chunk_(std::max<std::size_t>(1, kChunkItems / size)) {}
    std::size_t count() const noexcept { return count_; }
    const DenseVertex* clique(std::size_t i) const noexcept {
      return chunks_[i / per_chunk_].get() + (i % per_chunk_) * size_;
    }
    double birth(std::size_t i) const noexcept { return births_[i]; }
    void add(const DenseVertex* first, double birth);

   private:
    static constexpr std::size_t kChunkItems = std::size_t{1} << 16;
    const std::size_t size_;
    const std::size_t per_chunk_;
    std::size_t count_ = 0;
    std::vector<std::unique_ptr<DenseVertex[]>> chunks_;
    std::vector<double> births_;
  };

  void count_clique();
  void open_vertex(DenseVertex x);
  void name_edge(DenseVertex u, DenseVertex v, bool fresh_u, bool fresh_v);
  void load_common(DenseVertex u, DenseVertex v);
  void visit(std::size_t depth, std::size_t last_local, std::uint64_t print_k);
  void place_ends(const DenseVertex* k_first, const DenseVertex* k_last);
  void name_clique(std::size_t depth, std::uint64_t print_k, const Word* extenders);
  void join_faces(const DenseVertex* first, const DenseVertex* last);

  const std::uint64_t cap_;
  const std::size_t clique_limit_;
  InterruptTicker ticker_;
  std::uint64_t step_ = 0;
  double weight_ = 0.0;
  std::size_t cliques_ = 0;

  GrowingGraph graph_;
  ComponentLevels levels_;
  std::vector<SlotIndex> vertex_slot_;  // level 0
  CliqueSlots slots_;                   // levels 2 .. cap - 2
  TopCliques tops_;                     // level cap - 1

  // Scratch of one step, the edge u_-v_: the common neighbours (ascending,
  // local number i is common_[i]) with the hash of each, their links as bit
  // rows, the clique K being visited (local numbers) with the candidates
  // that extend it at each depth, and the step's new cliques of three
  // vertices up to cap - 1 (those of cap vertices are the step's end of
  // tops_).
  DenseVertex u_ = 0;
  DenseVertex v_ = 0;
  std::uint64_t hash_u_ = 0;
  std::uint64_t hash_v_ = 0;
  SlotIndex edge_slot_ = kNone<SlotIndex>;  // of u_-v_ at level 1
  std::vector<DenseVertex> common_;
  std::vector<std::uint64_t> hashes_;
  std::vector<SlotIndex> single_slot_;  // local y -> the slot of {u, v, y} at level 2
  std::vector<std::uint64_t> seen_;     // vertex -> the last step that met it next to u
  std::vector<DenseVertex> local_;      // vertex -> local number, kNone outside the step's common_
  std::vector<Word> rows_;
  std::size_t words_ = 0;
  std::vector<DenseVertex> k_;
  std::vector<Word> extenders_;  // per depth: words_ words
  PackedSets<DenseVertex> new_;
  // {u, v} + K ascending, and where u and v stand in it.
  std::vector<DenseVertex> clique_;
  std::size_t at_u_ = 0;
  std::size_t at_v_ = 0;
  std::vector<DenseVertex> face_;
};

}  // namespace korvane
