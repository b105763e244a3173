// Argument binding for the fast-call entry points and the conversion rules
// that turn bound Python objects into native values.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/ids.hpp"
#include "python/errors.hpp"
#include "python/pyref.hpp"

namespace korvane::py {

// ---------------------------------------------------------------------------
// Binding
// ---------------------------------------------------------------------------

// Every parameter is positional-or-keyword and required.
struct Signature {
  const char* function;
  const char* const* names;
  std::size_t count;
};

// Binds the fast-call arguments to the signature's parameters and returns a
// strong reference to each, in parameter order. Throws PythonErrorSet with
// the binding TypeErrors.
template <std::size_t N>
std::array<PyRef, N> bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames);

void bind_into(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyRef* out);

template <std::size_t N>
std::array<PyRef, N> bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  std::array<PyRef, N> bound;
  bind_into(sig, args, nargs, kwnames, bound.data());
  return bound;
}

// ---------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------

// The __qualname__ of obj's type, or "<failed to extract type name>".
PyRef type_qualname(PyObject* obj);

// Sequence conversion: str refused, then the sequence check, then iteration;
// each item converted by `convert_item`, the first failure ending it.
void check_sequence(PyObject* obj);
// How many slots to reserve before iterating obj: the length it reports,
// capped for objects whose length may lie (see arguments.cpp).
std::size_t reserve_hint(PyObject* obj);

template <class Item, class Convert>
std::vector<Item> convert_sequence(PyObject* obj, Convert&& convert_item) {
  check_sequence(obj);
  std::vector<Item> out;
  out.reserve(reserve_hint(obj));
  PyRef iter = require(PyObject_GetIter(obj));
  while (PyRef item = PyRef::steal(PyIter_Next(iter.get()))) {
    out.push_back(convert_item(item.get()));
  }
  if (PyErr_Occurred()) throw PythonErrorSet();
  return out;
}

// Unsigned 64-bit vertex id or limit.
std::uint64_t convert_u64(PyObject* obj);
// 64-bit float weight; NaN and infinities pass.
double convert_weight(PyObject* obj);
// Tuple (or tuple subclass) of exactly `length` items; returns its items.
PyObject* const* check_tuple(PyObject* obj, Py_ssize_t length);
Edge convert_edge(PyObject* obj);
WeightedEdge convert_weighted_edge(PyObject* obj);
// None means no bound.
CliqueSizeBound convert_max_q(PyObject* obj);

std::vector<VertexId> convert_simplex(PyObject* obj);
std::vector<std::vector<VertexId>> convert_simplices(PyObject* obj);
std::vector<Edge> convert_edges(PyObject* obj);
std::vector<WeightedEdge> convert_weighted_edges(PyObject* obj);

}  // namespace korvane::py
