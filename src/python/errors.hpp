// How failures travel from native code to the Python caller.
//
// Inside a call, every failure is a C++ exception; the entry-point guard
// (guarded()) is the single place that turns it into a Python exception:
//   PythonErrorSet        -> the Python exception already set is raised
//   korvane::Interrupted  -> the pending signal's exception (KeyboardInterrupt)
//   std::bad_alloc        -> MemoryError
//   CapacityExceeded      -> OverflowError carrying what()
//   anything else         -> PanicException carrying what()
// By the time the guard runs, unwinding has released every native structure
// and every PyRef of the call.
#pragma once

#include <exception>
#include <new>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "python/pyref.hpp"

namespace korvane::py {

// A Python exception is set and must propagate as is.
class PythonErrorSet : public std::exception {
 public:
  const char* what() const noexcept override { return "a Python exception is set"; }
};

// Throws PythonErrorSet; a C API call that failed without setting an error is
// reported as SystemError, as the interpreter itself would.
[[noreturn]] void raise_pending();
// Sets `type` with `message` and throws PythonErrorSet.
[[noreturn]] void raise(PyObject* type, const char* message);
// Takes a new reference from a C API call; throws if it is null.
PyRef require(PyObject* obj);
// As require(), for the result-building calls whose failure the module
// reports as PanicException "Python API call failed" after printing the
// interpreter's error.
PyRef require_api(PyObject* obj);

// Sets PanicException(message) as the current exception.
void set_panic(const char* message) noexcept;
// The PanicException class, created on first use; null with an error set if
// it cannot be created.
PyObject* panic_exception_type() noexcept;

// Runs body() (which returns a PyRef) and maps its outcome to the C calling
// convention: a new reference, or null with an exception set.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  // Touch the C++ runtime's per-thread exception state now: it is allocated
  // lazily, and glibc aborts the process if that allocation fails later,
  // while a std::bad_alloc is being thrown.
  // (The read goes through a volatile: the function is declared pure, so an
  // unused call would be dropped.)
  [[maybe_unused]] volatile int exception_state = std::uncaught_exceptions();
  try {
    return body().release();
  } catch (const PythonErrorSet&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error return without exception set");
  } catch (const Interrupted&) {
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const CapacityExceeded& e) {
    PyErr_SetString(PyExc_OverflowError, e.what());
  } catch (const std::exception& e) {
    set_panic(e.what());
  } catch (...) {
    set_panic("native code failed with an unknown exception");
  }
  return nullptr;
}

}  // namespace korvane::py
