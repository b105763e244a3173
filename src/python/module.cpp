// The module definition, single-phase initialisation and the three fast-call
// entry points. Each entry point binds, converts (in parameter order), hands
// the native values to the backend and returns its result, all under
// guarded().
#include "python/module.hpp"

#include <utility>
#include <vector>

#include "core/interrupt.hpp"
#include "python/arguments.hpp"
#include "python/errors.hpp"
#include "python/interpreter_lock.hpp"

namespace korvane::py {
namespace {

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
    return backend::simplices(convert_simplices(py_simplices.get()));
  });
}

PyObject* py_calculate_persistent_q_components(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    auto [edges, max_q] = bind_arguments<2>(kPersistenceSig, args, nargs, kwnames);
    std::vector<WeightedEdge> native_edges = convert_weighted_edges(edges.get());
    return backend::persistence(std::move(native_edges), convert_max_q(max_q.get()));
  });
}

PyObject* py_find_hierarchical_q_components_within_graph(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                      PyObject* kwnames) {
  return guarded([&] {
    auto [edges, max_q] = bind_arguments<2>(kGraphSig, args, nargs, kwnames);
    return backend::graph(convert_edges(edges.get()), max_q.get());
  });
}

// ---------------------------------------------------------------------------
// Module definition and initialisation
// ---------------------------------------------------------------------------

// Lives as long as the process: the function objects point into it. The
// doc strings are only the signature line, so Python reports
// __text_signature__ and a __doc__ of None.
PyMethodDef g_methods[] = {
    {"py_find_hierarchical_q_components", fast_call<py_find_hierarchical_q_components>(), kFastCallFlags,
     "py_find_hierarchical_q_components(py_simplices)\n--\n\n"},
    {"py_calculate_persistent_q_components", fast_call<py_calculate_persistent_q_components>(), kFastCallFlags,
     "py_calculate_persistent_q_components(edges, max_q)\n--\n\n"},
    {"py_find_hierarchical_q_components_within_graph", fast_call<py_find_hierarchical_q_components_within_graph>(),
     kFastCallFlags, "py_find_hierarchical_q_components_within_graph(edges, max_q)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    nullptr,    // m_name: the backend's, set at initialisation
    "",         // m_doc
    0,          // m_size
    g_methods,  // m_methods
    nullptr,    // m_slots
    nullptr,    // m_traverse
    nullptr,    // m_clear
    nullptr,    // m_free
};

// Filled once, by the first successful initialisation, and never emptied.
PyObject* g_module = nullptr;

// The module's __all__ list, created when missing.
PyRef all_list(PyObject* module) {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) raise_pending();
    PyErr_Clear();
    all = require(PyList_New(0));
    if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) raise_pending();
  }
  if (!PyList_Check(all.get())) {
    PyRef type = type_qualname(all.get());
    // Kept verbatim on purpose, like the other conversion messages.
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to 'PyList'", type.get());
    throw PythonErrorSet();
  }
  return all;
}

// Lists the functions of the method table in __all__, in table order.
void list_in_all(PyObject* module) {
  PyRef all = all_list(module);
  for (const PyMethodDef* def = g_methods; def->ml_name != nullptr; ++def) {
    PyRef function = require(PyObject_GetAttrString(module, def->ml_name));
    PyRef name = require(PyObject_GetAttrString(function.get(), "__name__"));
    if (!PyUnicode_Check(name.get())) raise(PyExc_TypeError, "function __name__ is not a str");
    if (PyList_Append(all.get(), name.get()) < 0) {
      PyErr_Clear();
      throw InternalFailure("could not append __name__ to __all__");
    }
  }
}

}  // namespace

PyObject* init_module(const char* name, PyMethodDef* extra) noexcept {
  if (g_module != nullptr) {
    PyErr_SetString(PyExc_ImportError,
                    "korvane: extension modules compiled for CPython 3.8 or older may only be initialized once "
                    "per interpreter process");
    return nullptr;
  }
  return guarded([&]() -> PyRef {
    g_module_def.m_name = name;
    PyRef module = require(PyModule_Create(&g_module_def));
    list_in_all(module.get());
    if (extra != nullptr && PyModule_AddFunctions(module.get(), extra) < 0) raise_pending();
    note_main_thread();
    set_interrupt_poll(poll_interrupt);
    g_module = PyRef::borrow(module.get()).release();
    return module;
  });
}

}  // namespace korvane::py
