// Which sets hold each vertex: the index both subset walks start from (each
// vertex's holders make its root group), built by two counting passes.
#pragma once

#include <cstddef>
#include <vector>

#include "core/interrupt.hpp"

namespace korvane {

// list[start[x] .. start[x + 1]) holds what holds vertex x, in the order
// the sets were given.
template <class Holder>
struct HolderIndex {
  std::vector<std::size_t> start;
  std::vector<Holder> list;

  std::size_t count(std::size_t x) const noexcept { return start[x + 1] - start[x]; }
  const Holder* begin(std::size_t x) const noexcept { return list.data() + start[x]; }
  const Holder* end(std::size_t x) const noexcept { return list.data() + start[x + 1]; }

  // for_each_set(visit) calls visit(holder, first, last) for every set to
  // index, in order, with its vertices [first, last) below vertex_count; it
  // is called twice. Each set's vertices count as work for the ticker.
  template <class ForEachSet>
  void build(std::size_t vertex_count, ForEachSet&& for_each_set, InterruptTicker& ticker) {
    start.assign(vertex_count + 1, 0);
    for_each_set([&](Holder, const auto* first, const auto* last) {
      ticker.tick(static_cast<std::size_t>(last - first) + 1);
      for (; first != last; ++first) ++start[static_cast<std::size_t>(*first) + 1];
    });
    for (std::size_t x = 0; x < vertex_count; ++x) start[x + 1] += start[x];
    list.resize(start[vertex_count]);
    std::vector<std::size_t> fill(start.begin(), start.end() - 1);
    for_each_set([&](Holder holder, const auto* first, const auto* last) {
      ticker.tick(static_cast<std::size_t>(last - first) + 1);
      for (; first != last; ++first) list[fill[static_cast<std::size_t>(*first)]++] = holder;
    });
  }
};

}  // namespace korvane
