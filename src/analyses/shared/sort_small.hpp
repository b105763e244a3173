// Sorting the short ranges the analyses make by the million (the vertices of
// one clique or one simplex): fixed compare-exchange sequences up to four
// elements, insertion sort up to a few dozen, std::sort above.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>

namespace korvane {

// Without a branch: the order of clique vertices is as good as random.
template <class T>
inline void order_pair(T& a, T& b) {
  const T low = std::min(a, b);
  b = std::max(a, b);
  a = low;
}

template <class T>
inline void sort_small(T* first, T* last) {
  // The short cases sort copies held in registers: exchanging in place
  // would make each step wait on the store of the one before.
  switch (last - first) {
    case 0:
    case 1:
      return;
    case 2: {
      T a = first[0];
      T b = first[1];
      order_pair(a, b);
      first[0] = a;
      first[1] = b;
      return;
    }
    case 3: {
      T a = first[0];
      T b = first[1];
      T c = first[2];
      order_pair(a, b);
      order_pair(b, c);
      order_pair(a, b);
      first[0] = a;
      first[1] = b;
      first[2] = c;
      return;
    }
    case 4: {
      T a = first[0];
      T b = first[1];
      T c = first[2];
      T d = first[3];
      order_pair(a, b);
      order_pair(c, d);
      order_pair(a, c);
      order_pair(b, d);
      order_pair(b, c);
      first[0] = a;
      first[1] = b;
      first[2] = c;
      first[3] = d;
      return;
    }
    default:
      break;
  }
  if (last - first > 24) {
    std::sort(first, last);
    return;
  }
  for (T* i = first + 1; i < last; ++i) {
    const T x = *i;
    T* j = i;
    for (; j != first && x < j[-1]; --j) *j = j[-1];
    *j = x;
  }
}

}  // namespace korvane
