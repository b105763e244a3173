// The module as the interpreter sees it, shared by the shipped module and the
// test-only reference module. What differs between the two is the backend:
// the analyses behind the three entry points, and the init function's name.
// Each module links exactly one backend source that defines the functions
// below (shipped_module.cpp or reference_module.cpp), so the choice is made
// by the build, not by the preprocessor.
#pragma once

#include <vector>

#include "core/ids.hpp"
#include "core/packed_sets.hpp"
#include "python/pyref.hpp"

namespace korvane::py {

namespace backend {

// Each takes the converted arguments over and returns the Python result.
PyRef simplices(SimplexList simplices);
// `max_q` is converted by the backend, after `edges` has been used.
PyRef graph(std::vector<Edge> edges, PyObject* max_q);
PyRef persistence(std::vector<WeightedEdge> edges, CliqueSizeBound max_q);

}  // namespace backend

// The signature of every entry point: METH_FASTCALL | METH_KEYWORDS.
using FastCall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
constexpr int kFastCallFlags = METH_FASTCALL | METH_KEYWORDS;

// A method table stores every entry as a PyCFunction; the flags tell the
// interpreter the real signature. The cast goes through a plain function
// pointer type so that the compiler does not warn about the mismatch.
template <FastCall Entry>
PyCFunction fast_call() noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Entry));
}

// The body of PyInit_<name>: creates the module once per process, with the
// three functions listed in __all__ and `extra` (a sentinel-terminated table,
// or null) attached beside them.
PyObject* init_module(const char* name, PyMethodDef* extra) noexcept;

}  // namespace korvane::py
