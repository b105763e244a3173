// The test-only module `korvane_reference`: the same entry points as the
// shipped module, running the documented algorithms under src/reference, so
// that tests can compare the two from Python. It also carries hooks that
// raise failures no valid argument can reach, for the entry guard's mappings,
// and those of test_hooks.hpp. Never installed. This file is the module's
// backend (see module.hpp).
#include <algorithm>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

#include "python/arguments.hpp"
#include "python/errors.hpp"
#include "python/interpreter_lock.hpp"
#include "python/module.hpp"
#include "python/results.hpp"
#include "python/test_hooks.hpp"
#include "reference/hierarchical_q_components.hpp"
#include "reference/persistent_q_components.hpp"
#include "reference/q_components.hpp"

namespace korvane::py {

namespace backend {

PyRef simplices(SimplexList raw) {
  std::vector<reference::Simplex> simplices;
  simplices.reserve(raw.count());
  for (std::size_t i = 0; i < raw.count(); ++i) simplices.emplace_back(raw.begin_of(i), raw.end_of(i));
  raw = SimplexList();  // the sets hold copies
  auto levels = lock_free([&] { return reference::find_hierarchical_q_components(std::move(simplices)); });
  return levels_to_python(std::move(levels));
}

PyRef graph(std::vector<Edge> edges, PyObject* max_q) {
  reference::AdjacencyMap adjacency;
  for (const Edge& e : edges) {
    adjacency[e.u].insert(e.v);
    adjacency[e.v].insert(e.u);
  }
  std::vector<Edge>().swap(edges);
  const CliqueSizeBound bound = convert_max_q(max_q);
  reference::ComponentsByLevel by_level =
      lock_free([&] { return reference::find_all_q_connected_components(adjacency, bound); });
  std::vector<std::pair<QLevel, std::vector<VertexSet>>> sorted(std::make_move_iterator(by_level.begin()),
                                                                std::make_move_iterator(by_level.end()));
  by_level.clear();
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::vector<VertexSet>> levels;
  levels.reserve(sorted.size());
  for (auto& entry : sorted) levels.push_back(std::move(entry.second));
  return levels_to_python(std::move(levels));
}

PyRef persistence(std::vector<WeightedEdge> edges, CliqueSizeBound max_q) {
  auto records = lock_free([&] { return reference::calculate_persistent_q_components(std::move(edges), max_q); });
  return records_to_python(std::move(records));
}

}  // namespace backend

namespace {

const char* text_of(PyObject* message) {
  const char* text = PyUnicode_AsUTF8(message);
  if (text == nullptr) raise_pending();
  return text;
}

PyObject* raise_internal_failure(PyObject*, PyObject* message) {
  return guarded([&]() -> PyRef { throw InternalFailure(text_of(message)); });
}

PyObject* raise_bad_alloc(PyObject*, PyObject*) {
  return guarded([&]() -> PyRef {
    // Objects alive when the allocation fails must be released by unwinding.
    PyRef held = require(PyList_New(0));
    std::vector<PyRef> more;
    for (int i = 0; i < 8; ++i) more.push_back(require(PyLong_FromLong(1000000 + i)));
    throw std::bad_alloc();
  });
}

PyMethodDef g_test_hooks[] = {
    {"_raise_internal_failure", raise_internal_failure, METH_O, nullptr},
    {"_raise_bad_alloc", raise_bad_alloc, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// The failure hooks, then those that run the shipped analyses.
std::vector<PyMethodDef> all_hooks() {
  std::vector<PyMethodDef> hooks(std::begin(g_test_hooks), std::end(g_test_hooks) - 1);
  for (const PyMethodDef* def = shipped_analysis_hooks(); def->ml_name != nullptr; ++def) hooks.push_back(*def);
  hooks.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
  return hooks;
}

}  // namespace
}  // namespace korvane::py

extern "C" PyMODINIT_FUNC PyInit_korvane_reference(void) {
  // Method records must live as long as the process.
  static std::vector<PyMethodDef> hooks = korvane::py::all_hooks();
  return korvane::py::init_module("korvane_reference", hooks.data());
}
