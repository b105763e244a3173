// The interpreter lock around native work.
//
// A call converts its arguments and builds its result with the lock held: both
// create or read Python objects and may run the caller's code. The analysis in
// between touches no Python object, so other threads may run meanwhile:
//
//  - LockFreeAnalysis marks that stretch. The lock is let go at the first
//    interrupt poll that comes a millisecond or more after the analysis's
//    first (polls come every few thousand units of work), so that a short
//    call never pays for letting it go; it is taken back when the stretch
//    ends, on every path, exceptions included.
//  - ResultBuilding is where Python objects are made. Inside a stretch (a
//    streamed level, a batch of records) it takes the lock back for its own
//    life, and pauses the cyclic collector (see gc_pause.hpp) until the lock
//    is let go, never while other threads may run. Outside one it pauses the
//    collector for its own life.
//  - poll_interrupt() is the poll installed for every analysis. Signals are
//    handled only by the main thread and only with the lock held: with the
//    lock held it asks the interpreter directly; without it, the main thread
//    takes the lock briefly every few tens of milliseconds to ask, and every
//    other thread returns at once.
//
// A thread that would take the lock back while the interpreter is shutting
// down (a daemon thread outliving the main one) waits there until the process
// ends, whether shutdown began before it asked or while it waited: the
// interpreter would otherwise end the thread from under its C++ frames.
#pragma once

#include <chrono>
#include <optional>

#include "python/gc_pause.hpp"
#include "python/pyref.hpp"

namespace korvane::py {

class ResultBuilding;

class LockFreeAnalysis {
 public:
  LockFreeAnalysis() noexcept;
  LockFreeAnalysis(const LockFreeAnalysis&) = delete;
  LockFreeAnalysis& operator=(const LockFreeAnalysis&) = delete;
  ~LockFreeAnalysis();

 private:
  friend class ResultBuilding;
  friend bool poll_interrupt();
  friend bool lock_at_hand(const LockFreeAnalysis* stretch) noexcept;

  void let_go() noexcept;
  void take_back() noexcept;
  bool ask_for_signals();

  PyThreadState* released_ = nullptr;  // the thread's state while the lock is let go
  int holds_ = 0;                      // live ResultBuildings, and signal checks under way
  std::optional<GcPause> collector_pause_;
  bool main_thread_ = false;
  std::chrono::steady_clock::time_point first_poll_{};
  std::chrono::steady_clock::time_point next_check_{};
  // Stretches nest only when Python code run by a signal check calls korvane
  // again.
  LockFreeAnalysis* outer_ = nullptr;
};

// The stretch under way on this thread, or null.
LockFreeAnalysis* current_stretch() noexcept;

class ResultBuilding {
 public:
  // `stretch` is current_stretch(), which a builder called often may keep.
  explicit ResultBuilding(LockFreeAnalysis* stretch = current_stretch()) noexcept : stretch_(stretch) {
    if (stretch_ == nullptr) {
      own_pause_.emplace();
      return;
    }
    ++stretch_->holds_;
    took_back_ = stretch_->released_ != nullptr;
    if (took_back_) stretch_->take_back();
    if (!stretch_->collector_pause_) stretch_->collector_pause_.emplace();
  }
  ResultBuilding(const ResultBuilding&) = delete;
  ResultBuilding& operator=(const ResultBuilding&) = delete;
  ~ResultBuilding() {
    if (stretch_ == nullptr) return;
    // A lock taken back for building goes again at once: another thread
    // may be waiting for it.
    if (--stretch_->holds_ == 0 && took_back_) stretch_->let_go();
  }

 private:
  LockFreeAnalysis* stretch_;
  bool took_back_ = false;
  std::optional<GcPause> own_pause_;
};

// True when this thread holds the lock: outside a stretch, inside one before
// the lock is first let go, or inside a ResultBuilding.
inline bool lock_at_hand(const LockFreeAnalysis* stretch = current_stretch()) noexcept {
  return stretch == nullptr || stretch->released_ == nullptr;
}

// Runs analysis() as a lock-free stretch and returns what it returns.
template <class Analysis>
decltype(auto) lock_free(Analysis&& analysis) {
  const LockFreeAnalysis stretch;
  return analysis();
}

// True when the call must stop; the pending exception is then set.
bool poll_interrupt();

// Learns which thread is the main one (the one that handles signals). Called
// once, at module initialisation, with the lock held.
void note_main_thread() noexcept;

}  // namespace korvane::py
