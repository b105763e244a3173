// Merging helpers over ascending ranges without repeats.
#pragma once

#include <cstddef>

namespace korvane {

// Walks two ascending ranges in step and calls on_common for each element
// they share, until it returns false.
template <class It, class OnCommon>
void walk_common_sorted(It a, It a_end, It b, It b_end, OnCommon&& on_common) {
  while (a != a_end && b != b_end) {
    if (*a < *b) {
      ++a;
    } else if (*b < *a) {
      ++b;
    } else {
      if (!on_common(*a)) return;
      ++a;
      ++b;
    }
  }
}

// True when two ascending ranges share an element; stops at the first.
template <class It>
bool sorted_ranges_meet(It a, It a_end, It b, It b_end) {
  bool met = false;
  walk_common_sorted(a, a_end, b, b_end, [&](const auto&) {
    met = true;
    return false;
  });
  return met;
}

// Number of elements common to two ascending ranges.
template <class It>
std::size_t count_common_sorted(It a, It a_end, It b, It b_end) {
  std::size_t shared = 0;
  walk_common_sorted(a, a_end, b, b_end, [&](const auto&) {
    ++shared;
    return true;
  });
  return shared;
}

}  // namespace korvane
