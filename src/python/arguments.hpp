// Argument binding for the fast-call entry points and the conversion rules
// that turn bound Python objects into native values.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/ids.hpp"
#include "core/packed_sets.hpp"
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

// Calls visit(item) for every item of obj, in iteration order. Exact lists
// and tuples are read in place: their iterators do just that, so nothing
// observable changes. A list item is held while visited, and the length is
// read afresh each step, as its iterator does, since converting an item may
// run code that changes the list.
template <class Visit>
void for_each_item(PyObject* obj, Visit&& visit) {
  if (PyTuple_CheckExact(obj)) {
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(obj); ++i) visit(PyTuple_GET_ITEM(obj, i));
    return;
  }
  if (PyList_CheckExact(obj)) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj); ++i) {
      const PyRef item = PyRef::borrow(PyList_GET_ITEM(obj, i));
      visit(item.get());
    }
    return;
  }
  PyRef iter = require(PyObject_GetIter(obj));
  while (PyRef item = PyRef::steal(PyIter_Next(iter.get()))) visit(item.get());
  if (PyErr_Occurred()) throw PythonErrorSet();
}

template <class Item, class Convert>
std::vector<Item> convert_sequence(PyObject* obj, Convert&& convert_item) {
  check_sequence(obj);
  std::vector<Item> out;
  out.reserve(reserve_hint(obj));
  for_each_item(obj, [&](PyObject* item) { out.push_back(convert_item(item)); });
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

// Each simplex a sequence of ids, all packed into one list.
SimplexList convert_simplices(PyObject* obj);
std::vector<Edge> convert_edges(PyObject* obj);
std::vector<WeightedEdge> convert_weighted_edges(PyObject* obj);

}  // namespace korvane::py
