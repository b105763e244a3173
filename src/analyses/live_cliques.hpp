// The maximal cliques of a growing graph, by vertex set, each with the
// number it was given when it appeared. A clique leaves when a new one
// swallows it; its set is given back then, so the memory follows the cliques
// that are maximal now, not all that ever were.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "analyses/clique_search.hpp"
#include "analyses/fingerprint_table.hpp"
#include "analyses/set_arena.hpp"

namespace korvane {

class LiveCliques {
 public:
  static constexpr std::uint32_t kNone = FingerprintTable::kNone;

  template <class It>
  std::uint64_t fingerprint(It first, It last) const noexcept {
    return table_.fingerprint(first, last);
  }

  // Precondition: `clique` (ascending) is not kept yet; `print` is its
  // fingerprint.
  void add(std::uint64_t print, const std::vector<DenseVertex>& clique, std::uint32_t number) {
    std::uint32_t place;
    if (!free_.empty()) {
      place = free_.back();
      free_.pop_back();
    } else {
      check_capacity(entries_.size() + 1, kNone, "maximal cliques kept");
      place = static_cast<std::uint32_t>(entries_.size());
      entries_.emplace_back();
    }
    entries_[place] = Entry{sets_.store(clique.data(), clique.data() + clique.size()), number};
    table_.insert(print, place);
  }

  // The number of the kept clique with vertex set `clique`; kNone when none.
  // With `leave`, the clique found is no longer kept.
  std::uint32_t find(std::uint64_t print, const std::vector<DenseVertex>& clique, bool leave) {
    const std::uint32_t place = table_.find(print, [&](std::uint32_t p) {
      return std::equal(sets_.data(entries_[p].set), sets_.end(entries_[p].set), clique.begin(), clique.end());
    });
    if (place == kNone) return kNone;
    const std::uint32_t number = entries_[place].number;
    if (leave) {
      table_.erase(print, place);
      sets_.release(entries_[place].set);
      free_.push_back(place);
    }
    return number;
  }

 private:
  struct Entry {
    SetArena<DenseVertex>::Block set;
    std::uint32_t number = 0;
  };

  FingerprintTable table_;         // fingerprint -> place in entries_
  std::vector<Entry> entries_;     // kept cliques, and places to reuse
  std::vector<std::uint32_t> free_;
  SetArena<DenseVertex> sets_;
};

}  // namespace korvane
