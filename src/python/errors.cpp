// Raising Python errors and the PanicException class; see errors.hpp.
#include "python/errors.hpp"

#include <cstring>

namespace korvane::py {

namespace {

// Created once per process and never released: raised instances and user
// code may hold on to the class at any time.
PyObject* g_panic_type = nullptr;

constexpr const char* kPanicDoc =
    "Raised when native code called from Python fails: an internal invariant of korvane was "
    "violated.\n\n"
    "Like SystemExit, this exception derives from BaseException, so that it is not caught by "
    "`except Exception` and typically propagates all the way up and ends the interpreter.";

}  // namespace

[[noreturn]] void raise_pending() {
  if (!PyErr_Occurred()) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  throw PythonErrorSet();
}

[[noreturn]] void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw PythonErrorSet();
}

PyRef require(PyObject* obj) {
  if (obj == nullptr) raise_pending();
  return PyRef::steal(obj);
}

PyRef require_api(PyObject* obj) {
  if (obj == nullptr) {
    if (PyErr_Occurred()) PyErr_Print();
    throw InternalFailure("Python API call failed");
  }
  return PyRef::steal(obj);
}

PyObject* panic_exception_type() noexcept {
  if (g_panic_type == nullptr) {
    // The qualified name is kept verbatim on purpose: callers match on it.
    g_panic_type =
        PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc, PyExc_BaseException, nullptr);
  }
  return g_panic_type;
}

void set_panic(const char* message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the creation's own error stays set
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(strlen(message)), "replace"));
  if (!text) return;
  // A 1-tuple keeps a message that is itself a tuple-like str from being
  // unpacked into several arguments.
  PyRef args = PyRef::steal(PyTuple_Pack(1, text.get()));
  if (!args) return;
  PyErr_SetObject(type, args.get());
}

}  // namespace korvane::py
