// Native results -> Python objects.
//
// Every int of one result is created once: positions and vertex ids recur
// across levels and records, and each distinct value is one shared int
// object (IntTable). Native results are consumed as they are converted (the
// graph and persistence analyses hand them over level by level or record by
// record), so the native result and the Python one never both exist in full.
//
// The collector is paused while a result is built (see gc_pause.hpp); the
// builders of streamed results pause it for the analysis that feeds them,
// which allocates no Python object itself.
//
// Failures follow the module's rules: creating or filling a set, or appending,
// raises the interpreter's error; failing to create a list, tuple, int or
// float raises PanicException "Python API call failed" (require_api). Every
// object made so far is released on the way out.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/persistence/persistence.hpp"
#include "core/interrupt.hpp"
#include "core/persistent_component.hpp"
#include "python/errors.hpp"
#include "python/gc_pause.hpp"
#include "python/pyref.hpp"

namespace korvane::py {

PyRef new_list(std::size_t size);
PyRef int_from_u64(std::uint64_t value);

// The Python ints of one result, indexed by position (0 .. n - 1) or by
// dense vertex (its id), each made on first use and owned by the table until
// it is destroyed.
class IntTable {
 public:
  IntTable() = default;
  IntTable(const IntTable&) = delete;
  IntTable& operator=(const IntTable&) = delete;
  ~IntTable();

  // Index i stands for the value i.
  void cover_positions(std::size_t n);
  // Index i stands for ids[i]; `ids` must outlive the table's use.
  void cover_ids(const std::vector<VertexId>& ids);

  // A borrowed reference. Precondition: i is covered.
  PyObject* at(std::size_t i) {
    PyObject*& slot = ints_[i];
    if (slot == nullptr) slot = int_from_u64(ids_ != nullptr ? (*ids_)[i] : i).release();
    return slot;
  }

 private:
  std::vector<PyObject*> ints_;
  const std::vector<VertexId>* ids_ = nullptr;
};

// A Python set of the ints at the indices [first, last).
template <class It>
PyRef set_of(IntTable& ints, It first, It last) {
  PyRef set = require(PySet_New(nullptr));
  for (; first != last; ++first) {
    if (PySet_Add(set.get(), ints.at(static_cast<std::size_t>(*first))) < 0) raise_pending();
  }
  return set;
}

// list[set[int]] from one level of packed components.
template <class T>
PyRef level_to_python(const PackedSets<T>& level, IntTable& ints, InterruptTicker& ticker) {
  PyRef list = new_list(level.count());
  for (std::size_t c = 0; c < level.count(); ++c) {
    ticker.tick(level.size_of(c) + 1);
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(c), set_of(ints, level.begin_of(c), level.end_of(c)).release());
  }
  return list;
}

// list[list[set[int]]] of the simplices analysis; positions are below
// `simplex_count`.
PyRef levels_to_python(std::vector<FlatLevel> levels, std::size_t simplex_count);

// Builds the graph analysis's list[list[set[int]]] as its levels arrive.
class LevelsBuilder {
 public:
  LevelSink sink();
  // The finished list. Throws InternalFailure if a level never arrived.
  PyRef finish();

 private:
  GcPause pause_;
  PyRef outer_;
  IntTable ints_;
  InterruptTicker ticker_;
};

// Builds the filtration's list[tuple[tuple[int, list[int]], float, float]] as
// its records arrive.
class RecordsBuilder {
 public:
  RecordSink sink();
  PyRef finish() { return outer_ ? std::move(outer_) : new_list(0); }

 private:
  void add(QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death);

  GcPause pause_;
  PyRef outer_;
  IntTable ints_;
  InterruptTicker ticker_;
};

// The same shapes from the documented algorithms' containers, one int per
// member: the test-only module's results.
template <class Component>
PyRef levels_to_python(std::vector<std::vector<Component>> levels) {
  InterruptTicker ticker;
  PyRef outer = new_list(levels.size());
  for (std::size_t q = 0; q < levels.size(); ++q) {
    const std::vector<Component> level = std::move(levels[q]);
    PyRef list = new_list(level.size());
    for (std::size_t c = 0; c < level.size(); ++c) {
      ticker.tick(level[c].size() + 1);
      PyRef set = require(PySet_New(nullptr));
      for (auto member : level[c]) {
        PyRef item = int_from_u64(static_cast<std::uint64_t>(member));
        if (PySet_Add(set.get(), item.get()) < 0) raise_pending();
      }
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(c), set.release());
    }
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(q), list.release());
  }
  return outer;
}

PyRef records_to_python(std::vector<PersistentComponent> records);

}  // namespace korvane::py
