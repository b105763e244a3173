// Native results -> Python objects. Each builder consumes its input and frees
// each level or record as soon as it has been converted, so the native result
// and the Python one never both exist in full.
//
// Failures follow the module's rules: creating or filling a set, or appending,
// raises the interpreter's error; failing to create a list, tuple, int or
// float raises PanicException "Python API call failed" (require_api).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "analyses/complex_levels.hpp"
#include "core/interrupt.hpp"
#include "core/persistent_component.hpp"
#include "python/errors.hpp"
#include "python/pyref.hpp"

namespace korvane::py {

PyRef new_list(std::size_t size);
PyRef int_from_u64(std::uint64_t value);

// A Python set of the ints in [first, last).
template <class It>
PyRef set_of_ints(It first, It last) {
  PyRef set = require(PySet_New(nullptr));
  for (; first != last; ++first) {
    PyRef item = int_from_u64(static_cast<std::uint64_t>(*first));
    if (PySet_Add(set.get(), item.get()) < 0) raise_pending();
  }
  return set;
}

// list[list[set[int]]] from levels of components, each component a range of
// ints (a hash set or a vertex set).
// Building millions of sets takes seconds, so it stays interruptible too.
template <class Component>
PyRef levels_to_python(std::vector<std::vector<Component>> levels) {
  InterruptTicker ticker;
  PyRef outer = new_list(levels.size());
  for (std::size_t q = 0; q < levels.size(); ++q) {
    const std::vector<Component> level = std::move(levels[q]);
    PyRef list = new_list(level.size());
    for (std::size_t c = 0; c < level.size(); ++c) {
      ticker.tick(level[c].size() + 1);
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(c), set_of_ints(level[c].begin(), level[c].end()).release());
    }
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(q), list.release());
  }
  return outer;
}

PyRef levels_to_python(std::vector<FlatLevel> levels);

// list[tuple[tuple[int, list[int]], float, float]]
PyRef records_to_python(std::vector<PersistentComponent> records);

}  // namespace korvane::py
