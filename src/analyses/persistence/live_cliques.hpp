// The maximal cliques of a growing graph, by vertex set, each with the
// number it was given when it appeared and its slots at levels 2 and up. A
// clique leaves when a new one swallows it; its set and slots are given
// back then, so the memory follows the cliques that are maximal now, not all
// that ever were.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/persistence/component_levels.hpp"
#include "analyses/persistence/fingerprint_table.hpp"
#include "analyses/persistence/set_arena.hpp"
#include "core/failure.hpp"

namespace korvane {

class LiveCliques {
 public:
  template <class It>
  std::uint64_t fingerprint(It first, It last) const noexcept {
    return table_.fingerprint(first, last);
  }

  // Keeps `clique` (ascending, not kept yet, of fingerprint `print`) with
  // its slots at levels 2, 3, ... in `high`. Returns its place.
  std::uint32_t add(std::uint64_t print, const std::vector<DenseVertex>& clique, std::uint32_t number,
                    const std::vector<SlotIndex>& high) {
    std::uint32_t place;
    if (!free_.empty()) {
      place = free_.back();
      free_.pop_back();
    } else {
      check_capacity(entries_.size() + 1, kNone<std::uint32_t>, "maximal cliques kept");
      place = static_cast<std::uint32_t>(entries_.size());
      entries_.emplace_back();
    }
    entries_[place] = Entry{sets_.store(clique.data(), clique.data() + clique.size()),
                            slots_.store(high.data(), high.data() + high.size()), print, number};
    table_.insert(print, place);
    return place;
  }

  // The place of the kept clique with vertex set `clique`; kNone when none.
  std::uint32_t find(std::uint64_t print, const std::vector<DenseVertex>& clique) const {
    return table_.find(print, [&](std::uint32_t p) {
      return std::equal(sets_.data(entries_[p].set), sets_.end(entries_[p].set), clique.begin(), clique.end());
    });
  }

  std::uint32_t number(std::uint32_t place) const { return entries_[place].number; }

  // Precondition: the clique at `place` takes part in level q >= 2.
  SlotIndex slot(std::uint32_t place, std::size_t q) const { return slots_.data(entries_[place].slots)[q - 2]; }

  // The clique at `place` is no longer kept.
  void remove(std::uint32_t place) {
    Entry& e = entries_[place];
    table_.erase(e.print, place);
    sets_.release(e.set);
    slots_.release(e.slots);
    free_.push_back(place);
  }

 private:
  struct Entry {
    SetArena<DenseVertex>::Block set;
    SetArena<SlotIndex>::Block slots;
    std::uint64_t print = 0;
    std::uint32_t number = 0;
  };

  FingerprintTable table_;      // fingerprint -> place in entries_
  std::vector<Entry> entries_;  // kept cliques, and places to reuse
  std::vector<std::uint32_t> free_;
  SetArena<DenseVertex> sets_;
  SetArena<SlotIndex> slots_;
};

}  // namespace korvane
