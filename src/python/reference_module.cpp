// The test-only module `korvane_reference`: the same entry points as the
// shipped module, running the documented algorithms under src/reference, so
// that tests can compare the two from Python. It also carries hooks: the
// shipped analyses with their knobs exposed (tuning profiles and index
// limits that force internal paths and capacity checks on small inputs), and
// failures that no valid argument can reach, for the entry guard's mappings.
// Never installed. This file is the module's backend (see module.hpp).
#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "analyses/clique_complex_levels.hpp"
#include "analyses/complex_levels.hpp"
#include "analyses/persistence.hpp"
#include "python/arguments.hpp"
#include "python/errors.hpp"
#include "python/module.hpp"
#include "python/results.hpp"
#include "reference/hierarchical_q_components.hpp"
#include "reference/persistent_q_components.hpp"
#include "reference/q_components.hpp"

namespace korvane::py {

namespace backend {

PyRef simplices(std::vector<std::vector<VertexId>> raw) {
  std::vector<reference::Simplex> simplices;
  simplices.reserve(raw.size());
  for (auto& vertices : raw) {
    simplices.emplace_back(vertices.begin(), vertices.end());
    std::vector<VertexId>().swap(vertices);
  }
  std::vector<std::vector<VertexId>>().swap(raw);
  return levels_to_python(reference::find_hierarchical_q_components(std::move(simplices)));
}

PyRef graph(std::vector<Edge> edges, PyObject* max_q) {
  reference::AdjacencyMap adjacency;
  for (const Edge& e : edges) {
    adjacency[e.u].insert(e.v);
    adjacency[e.v].insert(e.u);
  }
  std::vector<Edge>().swap(edges);
  const CliqueSizeBound bound = convert_max_q(max_q);
  reference::ComponentsByLevel by_level = reference::find_all_q_connected_components(adjacency, bound);
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
  return records_to_python(reference::calculate_persistent_q_components(std::move(edges), max_q));
}

}  // namespace backend

namespace {

// The hooks take positional arguments only.
void expect_arguments(Py_ssize_t nargs, PyObject* kwnames, Py_ssize_t wanted) {
  if (nargs != wanted || kwnames != nullptr) raise(PyExc_TypeError, "wrong arguments for a test hook");
}

// _shipped_simplices(simplices, small_simplex_max, pairwise_group_max, wide_indices)
PyObject* shipped_simplices(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, 4);
    auto simplices = convert_simplices(args[0]);
    ComplexLevelsTuning tuning;
    tuning.small_simplex_max = convert_u64(args[1]);
    tuning.pairwise_group_max = convert_u64(args[2]);
    const int wide = PyObject_IsTrue(args[3]);
    if (wide < 0) raise_pending();
    tuning.wide_indices = wide != 0;
    const std::size_t count = simplices.size();
    return levels_to_python(complex_levels(std::move(simplices), tuning), count);
  });
}

// One of the shipped graph analyses, `run`, with the index limits lowered:
// hook(edges, max_q, vertex_limit, clique_limit).
template <class Builder, class Edges, class Run>
PyRef run_limited(PyObject* const* args, Edges (*convert)(PyObject*), Run run) {
  Edges edges = convert(args[0]);
  const CliqueSizeBound bound = convert_max_q(args[1]);
  const GraphLimits limits{convert_u64(args[2]), convert_u64(args[3])};
  Builder builder;
  run(std::move(edges), bound, builder.sink(), limits);
  return builder.finish();
}

PyObject* shipped_graph(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, 4);
    return run_limited<LevelsBuilder>(args, convert_edges, [](auto edges, auto bound, const auto& sink, auto limits) {
      clique_complex_levels(std::move(edges), bound, sink, limits);
    });
  });
}

PyObject* shipped_persistence(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, 4);
    return run_limited<RecordsBuilder>(args, convert_weighted_edges,
                                       [](auto edges, auto bound, const auto& sink, auto limits) {
                                         persistent_components(std::move(edges), bound, sink, limits);
                                       });
  });
}

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
    {"_shipped_simplices", fast_call<shipped_simplices>(), kFastCallFlags, nullptr},
    {"_shipped_graph", fast_call<shipped_graph>(), kFastCallFlags, nullptr},
    {"_shipped_persistence", fast_call<shipped_persistence>(), kFastCallFlags, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace
}  // namespace korvane::py

extern "C" PyMODINIT_FUNC PyInit_korvane_reference(void) {
  return korvane::py::init_module("korvane_reference", korvane::py::g_test_hooks);
}
