// The extension module: its definition, single-phase initialisation and the
// three fast-call entry points. Each entry point binds, converts (in parameter
// order), runs one analysis and builds the result, all under guarded().
//
// The same sources build two modules: the shipped one (KORVANE_BACKEND_FAST)
// runs the fast analyses; the test-only one (KORVANE_BACKEND_REFERENCE) runs
// the documented algorithms, so tests can compare the two from Python.
#include <algorithm>
#include <utility>
#include <vector>

#include "graph_q_components/q_components.hpp"
#include "lib/hierarchical_q_components.hpp"
#include "lib/persistent_q_components.hpp"
#include "pybindings/arguments.hpp"
#include "pybindings/errors.hpp"
#include "pybindings/results.hpp"

#define KORVANE_STR_(x) #x
#define KORVANE_STR(x) KORVANE_STR_(x)
#define KORVANE_CAT_(a, b) a##b
#define KORVANE_CAT(a, b) KORVANE_CAT_(a, b)

namespace korvane::py {
namespace {

// ---------------------------------------------------------------------------
// Analyses behind the entry points
// ---------------------------------------------------------------------------

#if defined(KORVANE_BACKEND_FAST)

PyRef run_simplices(std::vector<std::vector<VertexId>> simplices) {
  return levels_to_python(fast::find_hierarchical_q_components(std::move(simplices)));
}

PyRef run_graph(std::vector<Edge> edges, PyObject* max_q_obj) {
  const MaxQ max_q = convert_max_q(max_q_obj);
  auto levels = fast::graph_q_components(edges, max_q);
  std::vector<Edge>().swap(edges);
  return levels_to_python(std::move(levels));
}

PyRef run_persistence(std::vector<WeightedEdge> edges, MaxQ max_q) {
  return records_to_python(fast::calculate_persistent_q_components(std::move(edges), max_q));
}

#elif defined(KORVANE_BACKEND_REFERENCE)

PyRef run_simplices(std::vector<std::vector<VertexId>> raw) {
  std::vector<Simplex> simplices;
  simplices.reserve(raw.size());
  for (auto& vertices : raw) {
    simplices.emplace_back(vertices.begin(), vertices.end());
    std::vector<VertexId>().swap(vertices);
  }
  std::vector<std::vector<VertexId>>().swap(raw);
  return levels_to_python(find_hierarchical_q_components(std::move(simplices)));
}

PyRef run_graph(std::vector<Edge> edges, PyObject* max_q_obj) {
  AdjacencyMap graph;
  for (const Edge& e : edges) {
    graph[e.u].insert(e.v);
    graph[e.v].insert(e.u);
  }
  std::vector<Edge>().swap(edges);
  const MaxQ max_q = convert_max_q(max_q_obj);
  ComponentsByLevel by_level = find_all_q_connected_components(graph, max_q);
  std::vector<std::pair<QLevel, std::vector<VertexSet>>> sorted(std::make_move_iterator(by_level.begin()),
                                                                std::make_move_iterator(by_level.end()));
  by_level.clear();
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::vector<VertexSet>> levels;
  levels.reserve(sorted.size());
  for (auto& entry : sorted) levels.push_back(std::move(entry.second));
  return levels_to_python(std::move(levels));
}

PyRef run_persistence(std::vector<WeightedEdge> edges, MaxQ max_q) {
  return records_to_python(calculate_persistent_q_components(std::move(edges), max_q));
}

#else
#error "define KORVANE_BACKEND_FAST or KORVANE_BACKEND_REFERENCE"
#endif

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

constexpr const char* kSimplicesParams[] = {"py_simplices"};
constexpr const char* kEdgesParams[] = {"edges", "max_q"};

constexpr Signature kSimplicesSig{"py_find_hierarchical_q_components", kSimplicesParams, 1};
constexpr Signature kPersistenceSig{"py_calculate_persistent_q_components", kEdgesParams, 2};
constexpr Signature kGraphSig{"py_find_hierarchical_q_components_within_graph", kEdgesParams, 2};

PyObject* py_find_hierarchical_q_components(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    auto [py_simplices] = bind_arguments<1>(kSimplicesSig, args, nargs, kwnames);
    return run_simplices(convert_simplices(py_simplices.get()));
  });
}

PyObject* py_calculate_persistent_q_components(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                               PyObject* kwnames) {
  return guarded([&] {
    auto [edges, max_q] = bind_arguments<2>(kPersistenceSig, args, nargs, kwnames);
    std::vector<WeightedEdge> native_edges = convert_weighted_edges(edges.get());
    return run_persistence(std::move(native_edges), convert_max_q(max_q.get()));
  });
}

PyObject* py_find_hierarchical_q_components_within_graph(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                         PyObject* kwnames) {
  return guarded([&] {
    auto [edges, max_q] = bind_arguments<2>(kGraphSig, args, nargs, kwnames);
    return run_graph(convert_edges(edges.get()), max_q.get());
  });
}

#if defined(KORVANE_TEST_HOOKS)
// Test hooks of the test-only module: they reach the guard's mappings that no
// valid argument can reach.
PyObject* raise_internal_failure(PyObject*, PyObject* message) {
  return guarded([&]() -> PyRef {
    const char* text = PyUnicode_AsUTF8(message);
    if (text == nullptr) raise_pending();
    throw InternalFailure(text);
  });
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
#endif

// ---------------------------------------------------------------------------
// Module definition and initialisation
// ---------------------------------------------------------------------------

using FastCall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// Method records live as long as the process: the function objects point
// into them.
PyMethodDef g_functions[] = {
    {"py_find_hierarchical_q_components", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                                              static_cast<FastCall>(py_find_hierarchical_q_components))),
     METH_FASTCALL | METH_KEYWORDS, "py_find_hierarchical_q_components(py_simplices)\n--\n\n"},
    {"py_calculate_persistent_q_components", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                                                 static_cast<FastCall>(py_calculate_persistent_q_components))),
     METH_FASTCALL | METH_KEYWORDS, "py_calculate_persistent_q_components(edges, max_q)\n--\n\n"},
    {"py_find_hierarchical_q_components_within_graph",
     reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(static_cast<FastCall>(py_find_hierarchical_q_components_within_graph))),
     METH_FASTCALL | METH_KEYWORDS, "py_find_hierarchical_q_components_within_graph(edges, max_q)\n--\n\n"},
};

#if defined(KORVANE_TEST_HOOKS)
PyMethodDef g_test_hooks[] = {
    {"_raise_internal_failure", raise_internal_failure, METH_O, nullptr},
    {"_raise_bad_alloc", raise_bad_alloc, METH_NOARGS, nullptr},
};
#endif

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    KORVANE_STR(KORVANE_MODULE_NAME),  // m_name
    "",                                // m_doc
    0,                                 // m_size
    nullptr,                           // m_methods: attached one by one below
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Filled once, by the first successful initialisation, and never emptied.
PyObject* g_module = nullptr;

// Attaches one function to the module and lists its name in __all__.
void add_function(PyObject* module, PyMethodDef* def, bool list_in_all) {
  PyRef module_name = require(PyModule_GetNameObject(module));
  PyRef function = require(PyCFunction_NewEx(def, module, module_name.get()));
  PyRef name = require(PyObject_GetAttrString(function.get(), "__name__"));
  if (!PyUnicode_Check(name.get())) raise(PyExc_TypeError, "function __name__ is not a str");
  if (list_in_all) {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) raise_pending();
      PyErr_Clear();
      all = require(PyList_New(0));
      if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) raise_pending();
    }
    if (!PyList_Check(all.get())) {
      PyRef type = type_qualname(all.get());
      PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to 'PyList'", type.get());
      throw PythonErrorSet();
    }
    if (PyList_Append(all.get(), name.get()) < 0) {
      PyErr_Clear();
      throw InternalFailure("could not append __name__ to __all__");
    }
  }
  if (PyObject_SetAttr(module, name.get(), function.get()) < 0) raise_pending();
}

bool poll_signals() { return PyErr_CheckSignals() != 0; }

PyObject* init_module() {
  if (g_module != nullptr) {
    PyErr_SetString(PyExc_ImportError,
                    "korvane: extension modules compiled for CPython 3.8 or older may only be initialized once "
                    "per interpreter process");
    return nullptr;
  }
  return guarded([]() -> PyRef {
    PyRef module = require(PyModule_Create2(&g_module_def, 1013));
    for (PyMethodDef& def : g_functions) add_function(module.get(), &def, true);
#if defined(KORVANE_TEST_HOOKS)
    for (PyMethodDef& def : g_test_hooks) add_function(module.get(), &def, false);
#endif
    set_interrupt_poll(poll_signals);
    g_module = PyRef::borrow(module.get()).release();
    return module;
  });
}

}  // namespace
}  // namespace korvane::py

extern "C" PyMODINIT_FUNC KORVANE_CAT(PyInit_, KORVANE_MODULE_NAME)(void) { return korvane::py::init_module(); }
