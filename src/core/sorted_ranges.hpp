// Merging helpers over ascending ranges without repeats.
#pragma once

#include <cstddef>

namespace korvane {

// Number of elements common to two ascending ranges.
template <class It>
std::size_t count_common_sorted(It a, It a_end, It b, It b_end) {
  std::size_t shared = 0;
  while (a != a_end && b != b_end) {
    if (*a < *b) {
      ++a;
    } else if (*b < *a) {
      ++b;
    } else {
      ++shared;
      ++a;
      ++b;
    }
  }
  return shared;
}

}  // namespace korvane
