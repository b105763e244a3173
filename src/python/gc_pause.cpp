// The garbage collector pause; see gc_pause.hpp.
#include "python/gc_pause.hpp"

namespace korvane::py {

#if PY_VERSION_HEX >= 0x030A0000

GcPause::GcPause() noexcept { paused_ = PyGC_Disable() != 0; }

GcPause::~GcPause() {
  if (paused_) PyGC_Enable();
}

#else

// Before 3.10 the collector is switched through the gc module. A failure to
// reach it leaves the collector as it is; an exception pending at the end
// (the call failed) is kept aside while the module is called.
namespace {

bool call_gc(const char* method) {
  PyRef gc = PyRef::steal(PyImport_ImportModule("gc"));
  if (!gc) return false;
  PyRef result = PyRef::steal(PyObject_CallMethod(gc.get(), method, nullptr));
  if (!result) return false;
  return PyObject_IsTrue(result.get()) == 1;
}

}  // namespace

GcPause::GcPause() noexcept {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (call_gc("isenabled")) {
    call_gc("disable");
    paused_ = true;
  }
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

GcPause::~GcPause() {
  if (!paused_) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  call_gc("enable");
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

#endif

}  // namespace korvane::py
