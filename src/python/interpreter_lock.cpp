// The interpreter lock around native work; see interpreter_lock.hpp.
#include "python/interpreter_lock.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

namespace korvane::py {

using Clock = std::chrono::steady_clock;

// The main thread asks for signals at most this often while the lock is let
// go: Ctrl-C then lands within about this long. Taking the lock back can
// wait for another thread's switch interval (5 ms by default), so after a
// wait the next ask comes eight waits later, keeping the time lost to asking
// near a tenth of the analysis, but never later than kSignalCheckAtMost.
constexpr Clock::duration kSignalCheckEvery = std::chrono::milliseconds(20);
constexpr Clock::duration kSignalCheckAtMost = std::chrono::milliseconds(80);
constexpr int kWaitsBetweenChecks = 8;
// An analysis holds the lock for up to this long before letting it go, well
// within the interpreter's own switch interval (5 ms): letting go, and the
// records that wait natively meanwhile, cost more than they give back to a
// call that ends sooner.
constexpr Clock::duration kHoldAtFirst = std::chrono::milliseconds(1);

namespace {

thread_local LockFreeAnalysis* t_stretch = nullptr;

std::atomic<unsigned long> g_main_thread{0};
// Until the main thread is known, every thread asks.
std::atomic<bool> g_main_thread_known{false};

bool interpreter_finalizing() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
  return Py_IsFinalizing() != 0;
#else
  return _Py_IsFinalizing() != 0;
#endif
}

bool on_main_thread() noexcept {
  return !g_main_thread_known.load(std::memory_order_relaxed) ||
         PyThread_get_thread_ident() == g_main_thread.load(std::memory_order_relaxed);
}

// A forked child's only thread is its main thread, as the interpreter itself
// decides after a fork.
void after_fork_in_child() { g_main_thread.store(PyThread_get_thread_ident(), std::memory_order_relaxed); }

// A thread that must not go on because the interpreter is shutting down
// waits here for the process to end.
[[noreturn]] void park_until_exit() noexcept {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

LockFreeAnalysis::LockFreeAnalysis() noexcept : main_thread_(on_main_thread()), outer_(t_stretch) {
  t_stretch = this;
}

LockFreeAnalysis::~LockFreeAnalysis() {
  if (released_ != nullptr) take_back();
  collector_pause_.reset();
  t_stretch = outer_;
}

void LockFreeAnalysis::let_go() noexcept {
  collector_pause_.reset();
  released_ = PyEval_SaveThread();
}

void LockFreeAnalysis::take_back() noexcept {
  // During shutdown the interpreter ends a thread that asks for the lock by
  // unwinding its stack, which our frames cannot let pass; the process is
  // ending anyway. Shutdown may also begin while this thread already waits,
  // so the check alone is not enough: the unwinding is stopped here too.
  // Nothing else can leave a C function, so the catch-all catches only that
  // unwinding; it carries no exception object to bind a reference to.
  if (interpreter_finalizing()) park_until_exit();
  try {
    PyEval_RestoreThread(std::exchange(released_, nullptr));
  } catch (...) {
    park_until_exit();
  }
}

// With the lock held. Python code that the check runs (a signal handler, a
// finalizer) sees the lock as held by the stretch and leaves it be.
bool LockFreeAnalysis::ask_for_signals() {
  ++holds_;
  const bool pending = PyErr_CheckSignals() != 0;
  --holds_;
  return pending;
}

LockFreeAnalysis* current_stretch() noexcept { return t_stretch; }

bool poll_interrupt() {
  LockFreeAnalysis* stretch = t_stretch;
  if (stretch == nullptr || stretch->holds_ > 0) return PyErr_CheckSignals() != 0;
  if (stretch->released_ == nullptr) {
    // Held: ask as before, and let go once the analysis has run a while.
    if (stretch->ask_for_signals()) return true;
    const Clock::time_point now = Clock::now();
    if (stretch->first_poll_ == Clock::time_point{}) stretch->first_poll_ = now;
    if (now - stretch->first_poll_ < kHoldAtFirst) return false;
    stretch->let_go();
    stretch->next_check_ = now + kSignalCheckEvery;
    return false;
  }
  if (!stretch->main_thread_) return false;
  const Clock::time_point asked = Clock::now();
  if (asked < stretch->next_check_) return false;
  stretch->take_back();
  // On a signal the lock stays held: the exception is set, and the stretch
  // ends as the analysis unwinds.
  if (stretch->ask_for_signals()) return true;
  const Clock::time_point got = Clock::now();
  stretch->let_go();
  stretch->next_check_ = got + std::clamp<Clock::duration>(kWaitsBetweenChecks * (got - asked), kSignalCheckEvery,
                                                            kSignalCheckAtMost);
  return false;
}

void note_main_thread() noexcept {
  PyRef threading = PyRef::steal(PyImport_ImportModule("threading"));
  PyRef main = threading ? PyRef::steal(PyObject_CallMethod(threading.get(), "main_thread", nullptr)) : PyRef();
  PyRef ident = main ? PyRef::steal(PyObject_GetAttrString(main.get(), "ident")) : PyRef();
  const unsigned long value = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
  if (!ident || PyErr_Occurred()) {
    PyErr_Clear();
    return;
  }
  g_main_thread.store(value, std::memory_order_relaxed);
  g_main_thread_known.store(true, std::memory_order_relaxed);
  pthread_atfork(nullptr, nullptr, after_fork_in_child);
}

}  // namespace korvane::py
