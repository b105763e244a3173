// The components of every level of a filtration, kept from step to step, and
// the keys (level, vertex set) they carry.
//
// Elements are slots, each a handle on a component of one level; one
// union-find runs over all of them, and joins only ever link slots of one
// level. A clique that appears names its component at each level by a slot:
// a new one at its top level, where it stands alone, and below that the
// slot of an older clique that holds one of its sides (see persistence.cpp).
// Components only merge, so a slot names its component for good.
//
// A step joins components and then settles them: every component touched in
// the step gets its new vertex set, and keys are counted per level, so a key
// is born when its count rises from zero and dies when it falls to zero
// (two components of one level may carry the same vertex set).
//
// Keys are found by a fingerprint of the vertex set, the sum of a seeded
// hash of each vertex, which a merge updates from the vertices it adds
// alone; sets with equal fingerprints are compared in full. Keys that no
// other component can share are not looked up at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analyses/persistence/fingerprint_table.hpp"
#include "analyses/persistence/persistence.hpp"
#include "analyses/persistence/set_arena.hpp"
#include "core/packed_sets.hpp"
#include "core/union_find.hpp"

namespace korvane {

using SlotIndex = std::uint32_t;

class ComponentLevels {
 public:
  // A new component of its own at `level` with vertex set `clique`
  // (ascending), which nothing joins before the next settle. Returns its
  // slot.
  SlotIndex open(std::uint32_t level, const std::vector<DenseVertex>& clique);

  // Adds the vertices of `clique` to the component of `slot` at `level`.
  void add_to(SlotIndex slot, std::uint32_t level, const std::vector<DenseVertex>& clique);

  // The root of the component of `slot`: slots of one component share it.
  SlotIndex root(SlotIndex slot) { return forest_.find(slot); }

  // Joins the components of slots a and b, both of `level`; true when they
  // were apart.
  bool join(SlotIndex a, SlotIndex b, std::uint32_t level);

  // Gives every component touched since the last settle its vertex set and
  // recounts the keys: births get `weight`, deaths are recorded now.
  void settle(std::uint64_t step, double weight, const RecordSink& out, InterruptTicker& ticker);

  // Records every key still present, with death `weight`.
  void finish(double weight, const RecordSink& out, InterruptTicker& ticker);

 private:
  using KeyIndex = std::uint32_t;

  struct Key {
    SetArena<DenseVertex>::Block set;  // in sets_: ascending, without repeats
    std::uint64_t print = 0;           // fingerprint of set, when listed
    std::uint32_t level = 0;
    std::uint32_t count = 0;       // components carrying the key
    std::uint64_t seen_at = 0;     // the last step that touched it
    double birth = 0.0;
    bool listed = false;  // in the level's table, by print
  };

  // What a touched component brings to its merged set: the key it carried
  // before the step, or (key == kNone) a clique added to it in the step,
  // or the clique of a component opened in the step.
  struct Part {
    SlotIndex slot;
    SlotIndex root;
    std::uint32_t level;
    std::uint32_t clique;  // when key == kNone: index into opened_ if opened, else into added_
    KeyIndex key;
    bool opened;
  };

  void own(SlotIndex slot, std::uint32_t level, const std::vector<DenseVertex>& clique);
  void stash(SlotIndex root, std::uint32_t level);
  void settle_component(const Part* first, const Part* last, std::uint64_t step, double weight,
                        InterruptTicker& ticker);
  void hold(KeyIndex key, std::uint64_t step, double weight);
  const Part* pick_base(const Part* first, const Part* last) const;
  void collect_extras(const Part* first, const Part* last, const Part* base, InterruptTicker& ticker);
  void extras_at_level_zero(const Part* first, const Part* last, const Part* base);
  void extras_by_bisection(const Part* first, const Part* last, const Part* base);
  void extras_by_marks(const Part* first, const Part* last, const Part* base, DenseVertex largest);
  static bool one_of_a_kind(std::uint32_t level, std::size_t size);
  KeyIndex merged_key(const Part& base, std::uint32_t level);
  void merge_extras(const DenseVertex* first, const DenseVertex* last, DenseVertex* out);
  KeyIndex new_key(std::uint32_t level, const SetArena<DenseVertex>::Block& set);
  void drop_key(KeyIndex key);
  void touch(KeyIndex key, std::uint64_t step);
  void report(double weight, const RecordSink& out, InterruptTicker& ticker);
  const DenseVertex* first_of(const Part& p) const;
  const DenseVertex* last_of(const Part& p) const;

  UnionFind<SlotIndex> forest_;
  std::size_t slots_used_ = 0;          // slots handed out; the forest holds spare ones beyond
  std::vector<KeyIndex> key_of_;        // at roots of components that carried a key at the last settle
  std::vector<Key> keys_;               // every key present, and free places
  SetArena<DenseVertex> sets_;          // their vertex sets
  std::vector<KeyIndex> free_keys_;     // places in keys_ to reuse
  std::vector<FingerprintTable> by_print_;  // per level: fingerprint -> key
  PackedSets<DenseVertex> added_;       // cliques added to components since the last settle
  std::vector<SetArena<DenseVertex>::Block> opened_;  // cliques of components opened since then, stored
  std::vector<Part> parts_;
  std::vector<KeyIndex> touched_;   // keys from before the step that it touched
  std::vector<DenseVertex> extras_;
  std::vector<std::uint32_t> marks_;  // per vertex: the pass of extras_by_marks() that met it last
  std::uint32_t mark_ = 0;
};

}  // namespace korvane
