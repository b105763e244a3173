// Sets held as vectors kept ascending without repeats: cliques and the
// vertex sets of components. Because equal sets are then equal vectors,
// comparing or hashing the vector compares or hashes the set, and merging
// two sets is a linear merge.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/failure.hpp"
#include "core/ids.hpp"

namespace korvane {

template <class T>
class Ascending {
 public:
  using value_type = T;
  using const_iterator = typename std::vector<T>::const_iterator;

  Ascending() = default;
  Ascending(std::initializer_list<T> items) : Ascending(from_any(std::vector<T>(items))) {}

  // Sorts and drops repeats.
  static Ascending from_any(std::vector<T> items) {
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    return Ascending(std::move(items));
  }

  // Adopts items the caller built in order. Checked: an out-of-order set
  // would silently become a second identity of the same set.
  static Ascending from_ascending(std::vector<T> items) {
    if (std::adjacent_find(items.begin(), items.end(), std::greater_equal<T>()) != items.end()) {
      throw InternalFailure("set is not ascending without repeats");
    }
    return Ascending(std::move(items));
  }

  template <class It>
  static Ascending from_ascending(It first, It last) {
    return from_ascending(std::vector<T>(first, last));
  }

  const_iterator begin() const noexcept { return items_.begin(); }
  const_iterator end() const noexcept { return items_.end(); }
  std::size_t size() const noexcept { return items_.size(); }
  bool empty() const noexcept { return items_.empty(); }
  const T& front() const { return items_.front(); }
  const T& back() const { return items_.back(); }
  const T& operator[](std::size_t i) const { return items_[i]; }
  const std::vector<T>& items() const noexcept { return items_; }

  friend bool operator==(const Ascending&, const Ascending&) = default;
  friend auto operator<=>(const Ascending&, const Ascending&) = default;

 private:
  explicit Ascending(std::vector<T> items) noexcept : items_(std::move(items)) {}
  std::vector<T> items_;
};

using VertexSet = Ascending<VertexId>;

}  // namespace korvane
