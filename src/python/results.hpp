// Native results -> Python objects.
//
// Every int of one result is created once: positions and vertex ids recur
// across levels and records, and each distinct value is one shared int
// object (IntTable). Native results are consumed as they are converted (the
// graph and persistence analyses hand them over level by level or record by
// record), so the native result and the Python one never both exist in full.
//
// Streamed results are fed from inside the analysis's lock-free stretch
// (interpreter_lock.hpp): each level, or batch of records, takes the lock back
// while it is built. The collector is paused while Python objects are built
// (see gc_pause.hpp), and only then: never while other threads may run.
//
// Failures follow the module's rules: creating or filling a set, or appending,
// raises the interpreter's error; failing to create a list, tuple, int or
// float raises PanicException "Python API call failed" (require_api). Every
// object made so far is released on the way out.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/persistence/persistence.hpp"
#include "core/interrupt.hpp"
#include "core/persistent_component.hpp"
#include "python/errors.hpp"
#include "python/gc_pause.hpp"
#include "python/interpreter_lock.hpp"
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
  bool started_ = false;
  std::size_t level_count_ = 0;
  PyRef outer_;
  IntTable ints_;
  InterruptTicker ticker_;
};

// The float of a weight, shared with the last one asked for when the two
// are equal bit for bit: records come grouped by death, and cliques born in
// one step share their birth, so most weights repeat the one before.
class SharedFloat {
 public:
  // A new reference.
  PyRef get(double value);

 private:
  std::uint64_t bits_ = 0;
  PyRef made_;
};

// Records waiting to be built, back to back in one buffer of 32-bit words:
// each is its vertex count, its level and its birth and death (two words
// each), then its vertices. Appending is a few stores, and the buffer never
// moves while it fills.
class RecordBatch {
 public:
  bool empty() const noexcept { return used_ == 0; }
  std::size_t bytes() const noexcept { return used_ * sizeof(Word); }

  // False, and nothing added, when the record does not fit in the room left.
  bool add(QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death) noexcept {
    const auto size = static_cast<std::size_t>(last - first);
    if (size > capacity_ - used_ || kHeader > capacity_ - used_ - size) return false;
    Word* out = words_.get() + used_;
    out[0] = static_cast<Word>(size);
    put(out + 1, q);
    put(out + 3, birth);
    put(out + 5, death);
    std::copy(first, last, out + kHeader);
    used_ += kHeader + size;
    return true;
  }

  // Empties the batch, with room for at least `bytes`.
  void make_room(std::size_t bytes);

  // Calls f(q, first, last, birth, death) for each record, in order.
  template <class F>
  void for_each(F&& f) const {
    for (std::size_t at = 0; at < used_;) {
      const Word* in = words_.get() + at;
      const DenseVertex* first = in + kHeader;
      f(get<QLevel>(in + 1), first, first + in[0], get<double>(in + 3), get<double>(in + 5));
      at += kHeader + in[0];
    }
  }

  static std::size_t bytes_of(std::size_t vertices) noexcept { return (kHeader + vertices) * sizeof(Word); }

 private:
  using Word = DenseVertex;
  static constexpr std::size_t kHeader = 7;

  template <class T>
  static void put(Word* out, T value) noexcept {
    std::memcpy(out, &value, sizeof value);
  }
  template <class T>
  static T get(const Word* in) noexcept {
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
  }

  std::unique_ptr<Word[]> words_;
  std::size_t capacity_ = 0;  // in words
  std::size_t used_ = 0;
};

// Builds the filtration's list[tuple[tuple[int, list[int]], float, float]] as
// its records arrive. A record that arrives while the lock is let go waits
// natively in a batch, built when it is full, so that the lock is taken once
// a batch: each batch at least kFirstBatchBytes, and at least an eighth of
// what came before it, so that a long filtration takes the lock a few dozen
// times at most while the batch stays a small part of the result (natively a
// record takes about a quarter of its Python objects' memory).
class RecordsBuilder {
 public:
  RecordSink sink();
  // Builds what is still waiting and returns the list.
  PyRef finish();

  static constexpr std::size_t kFirstBatchBytes = std::size_t{1} << 20;

 private:
  void build_batch();
  void add(QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death);

  // The analysis's ids end with it, and the last batch is built after it.
  std::vector<VertexId> ids_;
  LockFreeAnalysis* stretch_ = nullptr;  // the analysis's, kept: records come often
  PyRef outer_;
  IntTable ints_;
  InterruptTicker ticker_;
  RecordBatch batch_;
  std::size_t built_bytes_ = 0;
  SharedFloat births_;
  SharedFloat deaths_;
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
