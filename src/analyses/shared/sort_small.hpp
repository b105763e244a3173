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

// Sorts first[0 .. N) by the compare-exchange steps of `network`, run on
// copies held in registers: exchanging in place would make each step wait
// on the store of the one before.
template <std::size_t N, class T, class Network>
inline void sort_in_registers(T* first, Network&& network) {
  T v[N];
  for (std::size_t i = 0; i < N; ++i) v[i] = first[i];
  network(v);
  for (std::size_t i = 0; i < N; ++i) first[i] = v[i];
}

template <class T>
inline void sort_small(T* first, T* last) {
  switch (last - first) {
    case 0:
    case 1:
      return;
    case 2:
      return sort_in_registers<2>(first, [](T* v) { order_pair(v[0], v[1]); });
    case 3:
      return sort_in_registers<3>(first, [](T* v) {
        order_pair(v[0], v[1]);
        order_pair(v[1], v[2]);
        order_pair(v[0], v[1]);
      });
    case 4:
      return sort_in_registers<4>(first, [](T* v) {
        order_pair(v[0], v[1]);
        order_pair(v[2], v[3]);
        order_pair(v[0], v[2]);
        order_pair(v[1], v[3]);
        order_pair(v[1], v[2]);
      });
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
