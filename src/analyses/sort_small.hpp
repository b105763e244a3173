// Sorting the short ranges the graph analysis makes by the million (the
// vertices of one clique): insertion sort, which beats std::sort's setup
// below a few dozen elements, and std::sort above.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>

namespace korvane {

template <class T>
inline void sort_small(T* first, T* last) {
  if (last - first == 2) {
    if (first[1] < first[0]) std::swap(first[0], first[1]);
    return;
  }
  if (last - first > 24) {
    std::sort(first, last);
    return;
  }
  for (T* i = first + (first != last); i < last; ++i) {
    const T x = *i;
    T* j = i;
    for (; j != first && x < j[-1]; --j) *j = j[-1];
    *j = x;
  }
}

}  // namespace korvane
