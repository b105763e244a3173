// Building Python results; see results.hpp.
#include "python/results.hpp"

namespace korvane::py {

PyRef new_list(std::size_t size) { return require_api(PyList_New(static_cast<Py_ssize_t>(size))); }

PyRef int_from_u64(std::uint64_t value) { return require_api(PyLong_FromUnsignedLongLong(value)); }

PyRef levels_to_python(std::vector<FlatLevel> levels) {
  InterruptTicker ticker;
  PyRef outer = new_list(levels.size());
  for (std::size_t q = 0; q < levels.size(); ++q) {
    const FlatLevel level = std::move(levels[q]);
    PyRef list = new_list(level.size());
    for (std::size_t c = 0; c < level.size(); ++c) {
      const auto first = level.members.begin() + static_cast<std::ptrdiff_t>(level.starts[c]);
      const auto last = level.members.begin() + static_cast<std::ptrdiff_t>(level.starts[c + 1]);
      ticker.tick(level.starts[c + 1] - level.starts[c] + 1);
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(c), set_of_ints(first, last).release());
    }
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(q), list.release());
  }
  return outer;
}

namespace {

PyRef record_to_python(const PersistentComponent& record) {
  PyRef vertices = new_list(record.vertices.size());
  for (std::size_t i = 0; i < record.vertices.size(); ++i) {
    PyList_SET_ITEM(vertices.get(), static_cast<Py_ssize_t>(i), int_from_u64(record.vertices[i]).release());
  }
  PyRef q = require_api(PyLong_FromLongLong(record.q));
  PyRef key = require_api(PyTuple_New(2));
  PyTuple_SET_ITEM(key.get(), 0, q.release());
  PyTuple_SET_ITEM(key.get(), 1, vertices.release());
  PyRef birth = require_api(PyFloat_FromDouble(record.birth));
  PyRef death = require_api(PyFloat_FromDouble(record.death));
  PyRef tuple = require_api(PyTuple_New(3));
  PyTuple_SET_ITEM(tuple.get(), 0, key.release());
  PyTuple_SET_ITEM(tuple.get(), 1, birth.release());
  PyTuple_SET_ITEM(tuple.get(), 2, death.release());
  return tuple;
}

}  // namespace

PyRef records_to_python(std::vector<PersistentComponent> records) {
  InterruptTicker ticker;
  PyRef outer = new_list(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const PersistentComponent record = std::move(records[i]);
    ticker.tick(record.vertices.size() + 1);
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), record_to_python(record).release());
  }
  return outer;
}

}  // namespace korvane::py
