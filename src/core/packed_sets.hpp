// Many small sets stored back to back in one vector: set i is
// items[starts[i] .. starts[i + 1]). One allocation for all of them instead of
// one per set, and a scan of the sets is a scan of memory. Used for maximal
// cliques, for the components of a level and for the simplices handed to the
// complex analysis.
#pragma once

#include <cstddef>
#include <vector>

#include "core/ids.hpp"

namespace korvane {

template <class T>
struct PackedSets {
  std::vector<T> items;
  std::vector<std::size_t> starts{0};  // one more entry than there are sets

  std::size_t count() const noexcept { return starts.size() - 1; }
  std::size_t size_of(std::size_t i) const noexcept { return starts[i + 1] - starts[i]; }
  const T* begin_of(std::size_t i) const noexcept { return items.data() + starts[i]; }
  const T* end_of(std::size_t i) const noexcept { return items.data() + starts[i + 1]; }

  template <class Range>
  void add(const Range& set) {
    items.insert(items.end(), set.begin(), set.end());
    starts.push_back(items.size());
  }
};

// Simplices as given: each one's vertex ids in any order, repeats allowed.
using SimplexList = PackedSets<VertexId>;

}  // namespace korvane
