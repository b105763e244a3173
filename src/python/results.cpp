// Building Python results; see results.hpp.
#include "python/results.hpp"

namespace korvane::py {

PyRef new_list(std::size_t size) { return require_api(PyList_New(static_cast<Py_ssize_t>(size))); }

PyRef int_from_u64(std::uint64_t value) { return require_api(PyLong_FromUnsignedLongLong(value)); }

// ---------------------------------------------------------------------------
// Shared ints
// ---------------------------------------------------------------------------

IntTable::~IntTable() {
  for (PyObject* item : ints_) Py_XDECREF(item);
}

void IntTable::cover_positions(std::size_t n) {
  ints_.assign(n, nullptr);
  ids_ = nullptr;
}

void IntTable::cover_ids(const std::vector<VertexId>& ids) {
  ints_.assign(ids.size(), nullptr);
  ids_ = &ids;
}

// ---------------------------------------------------------------------------
// Levels
// ---------------------------------------------------------------------------

PyRef levels_to_python(std::vector<FlatLevel> levels, std::size_t simplex_count) {
  const GcPause pause;
  InterruptTicker ticker;
  IntTable ints;
  ints.cover_positions(simplex_count);
  PyRef outer = new_list(levels.size());
  for (std::size_t q = 0; q < levels.size(); ++q) {
    const FlatLevel level = std::move(levels[q]);
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(q), level_to_python(level, ints, ticker).release());
  }
  return outer;
}

LevelSink LevelsBuilder::sink() {
  LevelSink sink;
  sink.start = [this](std::size_t level_count, const std::vector<VertexId>& ids) {
    started_ = true;
    level_count_ = level_count;
    ints_.cover_ids(ids);
  };
  sink.level = [this](std::size_t q, const DenseLevel& components) {
    const ResultBuilding building;
    if (!outer_) outer_ = new_list(level_count_);
    if (q >= level_count_ || PyList_GET_ITEM(outer_.get(), q) != nullptr) {
      throw InternalFailure("a level arrived twice or out of range");
    }
    PyList_SET_ITEM(outer_.get(), static_cast<Py_ssize_t>(q), level_to_python(components, ints_, ticker_).release());
  };
  return sink;
}

PyRef LevelsBuilder::finish() {
  if (!started_) throw InternalFailure("the levels never started");
  if (!outer_) outer_ = new_list(level_count_);
  for (Py_ssize_t q = 0; q < PyList_GET_SIZE(outer_.get()); ++q) {
    if (PyList_GET_ITEM(outer_.get(), q) == nullptr) throw InternalFailure("a level never arrived");
  }
  return std::move(outer_);
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

namespace {

// ((q, vertices), birth, death), taking the vertex list and the floats over.
PyRef record_tuple(QLevel q, PyRef vertices, PyRef born, PyRef died) {
  PyRef level = require_api(PyLong_FromLongLong(q));
  PyRef key = require_api(PyTuple_New(2));
  PyTuple_SET_ITEM(key.get(), 0, level.release());
  PyTuple_SET_ITEM(key.get(), 1, vertices.release());
  PyRef tuple = require_api(PyTuple_New(3));
  PyTuple_SET_ITEM(tuple.get(), 0, key.release());
  PyTuple_SET_ITEM(tuple.get(), 1, born.release());
  PyTuple_SET_ITEM(tuple.get(), 2, died.release());
  return tuple;
}

void append(PyObject* list, PyRef item) {
  if (PyList_Append(list, item.get()) < 0) raise_pending();
}

}  // namespace

PyRef SharedFloat::get(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (!made_ || bits != bits_) {
    made_ = require_api(PyFloat_FromDouble(value));
    bits_ = bits;
  }
  return PyRef::borrow(made_.get());
}

void RecordBatch::make_room(std::size_t bytes) {
  used_ = 0;
  const std::size_t words = (bytes + sizeof(Word) - 1) / sizeof(Word);
  if (words <= capacity_) return;
  words_.reset();
  capacity_ = 0;
  // Pages not written to are never touched.
  words_ = std::make_unique_for_overwrite<Word[]>(words);
  capacity_ = words;
}

RecordSink RecordsBuilder::sink() {
  RecordSink sink;
  sink.start = [this](const std::vector<VertexId>& ids) {
    ids_ = ids;
    ints_.cover_ids(ids_);
    stretch_ = current_stretch();
  };
  sink.record = [this](QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death) {
    if (batch_.empty() && lock_at_hand(stretch_)) {
      // Nothing waits, and the lock is held anyway: no need to wait either.
      const ResultBuilding building(stretch_);
      add(q, first, last, birth, death);
      return;
    }
    if (batch_.add(q, first, last, birth, death)) return;
    build_batch();
    const std::size_t needed = RecordBatch::bytes_of(static_cast<std::size_t>(last - first));
    batch_.make_room(std::max({kFirstBatchBytes, built_bytes_ / 8, needed}));
    batch_.add(q, first, last, birth, death);
  };
  return sink;
}

PyRef RecordsBuilder::finish() {
  stretch_ = current_stretch();  // the analysis's has ended
  build_batch();
  return outer_ ? std::move(outer_) : new_list(0);
}

void RecordsBuilder::build_batch() {
  if (batch_.empty()) return;
  const ResultBuilding building(stretch_);
  batch_.for_each([this](QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death) {
    add(q, first, last, birth, death);
  });
  built_bytes_ += batch_.bytes();
  batch_.make_room(0);
}

void RecordsBuilder::add(QLevel q, const DenseVertex* first, const DenseVertex* last, double birth, double death) {
  const std::size_t count = static_cast<std::size_t>(last - first);
  ticker_.tick(count + 1);
  if (!outer_) outer_ = new_list(0);
  PyRef vertices = new_list(count);
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* item = ints_.at(first[i]);
    Py_INCREF(item);
    PyList_SET_ITEM(vertices.get(), static_cast<Py_ssize_t>(i), item);
  }
  PyRef born = births_.get(birth);
  append(outer_.get(), record_tuple(q, std::move(vertices), std::move(born), deaths_.get(death)));
}

PyRef records_to_python(std::vector<PersistentComponent> records) {
  InterruptTicker ticker;
  PyRef outer = new_list(0);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const PersistentComponent record = std::move(records[i]);
    ticker.tick(record.vertices.size() + 1);
    PyRef vertices = new_list(record.vertices.size());
    for (std::size_t v = 0; v < record.vertices.size(); ++v) {
      PyList_SET_ITEM(vertices.get(), static_cast<Py_ssize_t>(v), int_from_u64(record.vertices[v]).release());
    }
    PyRef born = require_api(PyFloat_FromDouble(record.birth));
    PyRef died = require_api(PyFloat_FromDouble(record.death));
    append(outer.get(), record_tuple(record.q, std::move(vertices), std::move(born), std::move(died)));
  }
  return outer;
}

}  // namespace korvane::py
