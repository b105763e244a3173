// A flat hash table from 64-bit fingerprints of vertex sets to 32-bit
// numbers of the sets, for the sets a filtration keeps looking up as they
// grow: the cliques that are maximal now and the keys of each level. (A
// key that names one thing exactly, such as an edge's two ends, serves as
// its own fingerprint.)
//
// Fingerprints are sums of a seeded hash of each vertex, so a set that
// gains a few vertices gets its new fingerprint from those alone. Distinct
// sets may share a fingerprint: the table keeps every number entered under
// it, and the caller tells the sets apart. Linear probing over a power-of-
// two array at most half full; erasing shifts the run back, so no tombstones
// slow later probes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/failure.hpp"
#include "core/hashing.hpp"

namespace korvane {

class FingerprintTable {
 public:
  // The fingerprint of a set: order-free, so any listing of it gives it.
  template <class It>
  std::uint64_t fingerprint(It first, It last) const noexcept {
    std::uint64_t print = 0;
    for (; first != last; ++first) print += hash_(static_cast<std::uint64_t>(*first));
    return print;
  }

  // Precondition: value < kNone.
  void insert(std::uint64_t print, std::uint32_t value) {
    if (2 * (count_ + 1) > entries_.size()) grow();
    std::size_t at = home(print);
    while (entries_[at].value != kNone<std::uint32_t>) at = (at + 1) & mask_;
    entries_[at] = Entry{print, value};
    ++count_;
  }

  // The first number under `print` that `same(number)` accepts; kNone when
  // there is none.
  template <class Same>
  std::uint32_t find(std::uint64_t print, Same&& same) const {
    if (entries_.empty()) return kNone<std::uint32_t>;
    for (std::size_t at = home(print); entries_[at].value != kNone<std::uint32_t>; at = (at + 1) & mask_) {
      if (entries_[at].print == print && same(entries_[at].value)) return entries_[at].value;
    }
    return kNone<std::uint32_t>;
  }

  // Precondition: `value` was inserted under `print` and not erased since.
  void erase(std::uint64_t print, std::uint32_t value) {
    std::size_t at = home(print);
    while (entries_[at].value != value || entries_[at].print != print) {
      if (entries_[at].value == kNone<std::uint32_t>) throw InternalFailure("fingerprint table misses an entry");
      at = (at + 1) & mask_;
    }
    shift_back(at);
    --count_;
  }

 private:
  struct Entry {
    std::uint64_t print = 0;
    std::uint32_t value = kNone<std::uint32_t>;  // kNone: free
  };

  std::size_t home(std::uint64_t print) const noexcept { return hash_(print) & mask_; }

  // Refills the hole at `hole` with a later entry of its run that may move
  // there (one whose home does not lie cyclically in (hole, at]).
  void shift_back(std::size_t hole) {
    for (std::size_t at = (hole + 1) & mask_; entries_[at].value != kNone<std::uint32_t>; at = (at + 1) & mask_) {
      const std::size_t h = home(entries_[at].print);
      const bool stays = hole <= at ? (hole < h && h <= at) : (hole < h || h <= at);
      if (stays) continue;
      entries_[hole] = entries_[at];
      hole = at;
    }
    entries_[hole] = Entry{};
  }

  void grow() {
    std::vector<Entry> old;
    old.swap(entries_);
    const std::size_t size = old.empty() ? 16 : 2 * old.size();
    check_capacity(size / 2, kNone<std::uint32_t>, "sets in one table");
    entries_.assign(size, Entry{});
    mask_ = size - 1;
    count_ = 0;
    for (const Entry& e : old) {
      if (e.value != kNone<std::uint32_t>) insert(e.print, e.value);
    }
  }

  std::vector<Entry> entries_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
  SeededHash hash_;
};

}  // namespace korvane
