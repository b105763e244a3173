// Argument binding and conversion; see arguments.hpp.
#include "python/arguments.hpp"

#include <algorithm>
#include <string>

namespace korvane::py {

// ---------------------------------------------------------------------------
// Binding
// ---------------------------------------------------------------------------

namespace {

[[noreturn]] void raise_type_error(PyRef message) {
  if (!message) raise_pending();
  PyErr_SetObject(PyExc_TypeError, message.get());
  throw PythonErrorSet();
}

std::string missing_list(const Signature& sig, const PyRef* bound) {
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < sig.count; ++i) {
    if (!bound[i]) missing.push_back(std::string("'") + sig.names[i] + "'");
  }
  std::string list;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) list += (i + 1 == missing.size()) ? " and " : ", ";
    list += missing[i];
  }
  return list;
}

}  // namespace

void bind_into(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyRef* out) {
  const auto count = static_cast<Py_ssize_t>(sig.count);
  if (nargs > count) {
    raise_type_error(PyRef::steal(PyUnicode_FromFormat("%s() takes %zd positional arguments but %zd were given",
                                                       sig.function, count, nargs)));
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyRef::borrow(args[i]);

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, k);
    std::size_t slot = sig.count;
    for (std::size_t i = 0; i < sig.count && slot == sig.count; ++i) {
      if (PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, sig.names[i]) == 0) slot = i;
    }
    if (slot == sig.count) {
      raise_type_error(
          PyRef::steal(PyUnicode_FromFormat("%s() got an unexpected keyword argument '%S'", sig.function, name)));
    }
    if (out[slot]) {
      raise_type_error(PyRef::steal(
          PyUnicode_FromFormat("%s() got multiple values for argument '%s'", sig.function, sig.names[slot])));
    }
    out[slot] = PyRef::borrow(args[nargs + k]);
  }

  const auto missing = static_cast<std::size_t>(std::count_if(out, out + sig.count, [](const PyRef& r) { return !r; }));
  if (missing > 0) {
    const std::string list = missing_list(sig, out);
    raise_type_error(PyRef::steal(PyUnicode_FromFormat("%s() missing %zu required positional %s: %s", sig.function,
                                                       missing, missing == 1 ? "argument" : "arguments",
                                                       list.c_str())));
  }
}

// ---------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------

namespace {

// Objects other than exact lists and tuples may report any length from
// __len__; reserving from it alone could exhaust memory, so the up-front
// reservation is capped and the vector grows past it if the sequence really
// is longer.
constexpr std::size_t kUntrustedReserveCap = 4096;

[[noreturn]] void raise_cannot_convert(PyObject* obj, const char* target) {
  PyRef name = type_qualname(obj);
  raise_type_error(PyRef::steal(PyUnicode_FromFormat("'%U' object cannot be converted to '%s'", name.get(), target)));
}

}  // namespace

PyRef type_qualname(PyObject* obj) {
  PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__"));
  if (name && PyUnicode_Check(name.get())) return name;
  PyErr_Clear();
  return require(PyUnicode_FromString("<failed to extract type name>"));
}

void check_sequence(PyObject* obj) {
  // The message is kept verbatim on purpose: callers match on it.
  if (PyUnicode_Check(obj)) raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(obj)) raise_cannot_convert(obj, "Sequence");
}

std::size_t reserve_hint(PyObject* obj) {
  if (PyList_CheckExact(obj)) return static_cast<std::size_t>(PyList_GET_SIZE(obj));
  if (PyTuple_CheckExact(obj)) return static_cast<std::size_t>(PyTuple_GET_SIZE(obj));
  const Py_ssize_t reported = PySequence_Size(obj);
  if (reported < 0) {
    PyErr_Clear();
    return 0;
  }
  return std::min(static_cast<std::size_t>(reported), kUntrustedReserveCap);
}

std::uint64_t convert_u64(PyObject* obj) {
  unsigned long long value;
  if (PyLong_Check(obj)) {
    value = PyLong_AsUnsignedLongLong(obj);
  } else {
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) raise_pending();
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw PythonErrorSet();
  return static_cast<std::uint64_t>(value);
}

double convert_weight(PyObject* obj) {
  if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
  const double value = PyFloat_AsDouble(obj);
  if (value == -1.0 && PyErr_Occurred()) throw PythonErrorSet();
  return value;
}

PyObject* const* check_tuple(PyObject* obj, Py_ssize_t length) {
  // "'<type>' object cannot be converted to 'PyTuple'" is kept verbatim on
  // purpose: callers match on it.
  if (!PyTuple_Check(obj)) raise_cannot_convert(obj, "PyTuple");
  const Py_ssize_t n = PyTuple_GET_SIZE(obj);
  if (n != length) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length %zd, but got tuple of length %zd", length, n);
    throw PythonErrorSet();
  }
  return &PyTuple_GET_ITEM(obj, 0);
}

Edge convert_edge(PyObject* obj) {
  PyObject* const* items = check_tuple(obj, 2);
  const VertexId u = convert_u64(items[0]);
  const VertexId v = convert_u64(items[1]);
  return Edge{u, v};
}

WeightedEdge convert_weighted_edge(PyObject* obj) {
  PyObject* const* items = check_tuple(obj, 3);
  const VertexId u = convert_u64(items[0]);
  const VertexId v = convert_u64(items[1]);
  const double w = convert_weight(items[2]);
  return WeightedEdge{u, v, w};
}

CliqueSizeBound convert_max_q(PyObject* obj) {
  if (obj == Py_None) return std::nullopt;
  return convert_u64(obj);
}

SimplexList convert_simplices(PyObject* obj) {
  check_sequence(obj);
  SimplexList out;
  out.starts.reserve(reserve_hint(obj) + 1);
  // Exact lists and tuples report their true lengths, and reading them costs
  // nothing: reserving for all their ids at once saves growing the one array
  // by copies through fresh memory.
  if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
    std::size_t total = 0;
    PyObject* const* items = PySequence_Fast_ITEMS(obj);
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(obj); ++i) {
      if (PyList_CheckExact(items[i]) || PyTuple_CheckExact(items[i])) {
        total += static_cast<std::size_t>(PySequence_Fast_GET_SIZE(items[i]));
      }
    }
    out.items.reserve(total);
  }
  for_each_item(obj, [&](PyObject* simplex) {
    check_sequence(simplex);
    // Every simplex's length is asked, as for any sequence; the one array
    // still grows geometrically.
    const std::size_t wanted = out.items.size() + reserve_hint(simplex);
    if (wanted > out.items.capacity()) out.items.reserve(std::max(wanted, 2 * out.items.capacity()));
    for_each_item(simplex, [&](PyObject* vertex) { out.items.push_back(convert_u64(vertex)); });
    out.starts.push_back(out.items.size());
  });
  return out;
}

std::vector<Edge> convert_edges(PyObject* obj) { return convert_sequence<Edge>(obj, convert_edge); }

std::vector<WeightedEdge> convert_weighted_edges(PyObject* obj) {
  return convert_sequence<WeightedEdge>(obj, convert_weighted_edge);
}

}  // namespace korvane::py
