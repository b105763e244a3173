// The one owner of Python references in the binding layer.
//
// Rules of use:
//  1. A new reference returned by the C API goes straight into PyRef::steal().
//  2. A borrowed reference that must outlive its lender goes into
//     PyRef::borrow(), which takes a reference of its own.
//  3. Code reads the pointer through get() and hands ownership out only
//     through release(), as the last step before returning it to Python.
//  4. Raw Py_DECREF appears nowhere else, so a C++ exception unwinding
//     through conversion code releases everything it passes.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace korvane::py {

class PyRef {
 public:
  PyRef() noexcept = default;
  static PyRef steal(PyObject* obj) noexcept { return PyRef(obj); }
  static PyRef borrow(PyObject* obj) noexcept {
    Py_XINCREF(obj);
    return PyRef(obj);
  }

  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
  PyRef& operator=(PyRef&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~PyRef() { Py_XDECREF(obj_); }

  PyObject* get() const noexcept { return obj_; }
  explicit operator bool() const noexcept { return obj_ != nullptr; }

  [[nodiscard]] PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
  void reset(PyObject* obj = nullptr) noexcept {
    // Swap first: the old object's destructor may run arbitrary code.
    PyObject* old = std::exchange(obj_, obj);
    Py_XDECREF(old);
  }

 private:
  explicit PyRef(PyObject* obj) noexcept : obj_(obj) {}
  PyObject* obj_ = nullptr;
};

}  // namespace korvane::py
