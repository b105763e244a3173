// The disjoint-set forest behind every shipped analysis: dense elements
// 0 .. size()-1, union by rank, path halving. What an analysis keeps per set
// (vertex sets, key counts) lives beside it, keyed by the roots that unite()
// reports, so the forest itself stays two flat arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/failure.hpp"

namespace korvane {

template <class Idx>
class UnionFind {
 public:
  struct Merge {
    Idx root;      // the root that survives
    Idx absorbed;  // the root that now points at it
  };

  UnionFind() = default;
  explicit UnionFind(std::size_t n) { extend(n); }

  std::size_t size() const noexcept { return parent_.size(); }

  // Adds singletons until there are n elements. Callers choose Idx wide
  // enough for n (check_capacity()); the check here only stops a wrap.
  void extend(std::size_t n) {
    if (n <= parent_.size()) return;
    check_capacity(n, index_limit<Idx>(), "disjoint-set elements");
    const std::size_t old = parent_.size();
    parent_.resize(n);
    rank_.resize(n, 0);
    for (std::size_t x = old; x < n; ++x) parent_[x] = static_cast<Idx>(x);
  }

  // Precondition: x < size().
  bool is_root(Idx x) const noexcept { return parent_[x] == x; }

  // Precondition: x < size().
  Idx find(Idx x) noexcept {
    while (parent_[x] != x) {
      parent_[x] = parent_[parent_[x]];
      x = parent_[x];
    }
    return x;
  }

  // Joins the sets of a and b; nothing when they were already one.
  std::optional<Merge> unite(Idx a, Idx b) noexcept {
    const Idx ra = find(a);
    const Idx rb = find(b);
    if (ra == rb) return std::nullopt;
    const Idx root = link(ra, rb);
    return Merge{root, root == ra ? rb : ra};
  }

  // Joins the sets of two roots and returns the root of the whole, for a
  // caller that joins several elements in turn and keeps the running root
  // rather than finding it again. Precondition: both are roots.
  Idx link(Idx ra, Idx rb) noexcept {
    if (ra == rb) return ra;
    if (rank_[ra] < rank_[rb]) std::swap(ra, rb);
    parent_[rb] = ra;
    // Ranks stay below 64: a rank r root heads at least 2^r elements.
    if (rank_[ra] == rank_[rb]) ++rank_[ra];
    return ra;
  }

 private:
  std::vector<Idx> parent_;
  std::vector<std::uint8_t> rank_;
};

}  // namespace korvane
