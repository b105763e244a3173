// One disjoint-set forest per level, for partitions that nest: two elements
// together at a level are together at every level below it. Both the
// simplices and the clique complexes keep their levels so, fed by facts "a
// and b belong together up to level l".
#pragma once

#include <cstddef>
#include <vector>

#include "core/union_find.hpp"

namespace korvane {

template <class Idx>
class NestedForests {
 public:
  // Levels 0 .. count - 1, each empty until set().
  explicit NestedForests(std::size_t count) { forests_.resize(count); }

  // Level `level` becomes a forest of `size` singletons.
  void set(std::size_t level, std::size_t size) { forests_[level] = UnionFind<Idx>(size); }
  // Frees the forest of `level` once it is read.
  void release(std::size_t level) { forests_[level] = UnionFind<Idx>(); }

  UnionFind<Idx>& level(std::size_t level) noexcept { return forests_[level]; }
  Idx find(std::size_t level, Idx x) { return forests_[level].find(x); }

  // Joins a and b on levels highest down to lowest (lowest >= 1). Levels
  // nest, so the walk stops at the first level where they are together
  // already: each merge is paid for once.
  void unite_down(Idx a, Idx b, std::size_t highest, std::size_t lowest) {
    for (std::size_t l = highest; l >= lowest; --l) {
      if (!forests_[l].unite(a, b)) return;  // together here, hence on every level below
    }
  }

 private:
  std::vector<UnionFind<Idx>> forests_;
};

}  // namespace korvane
