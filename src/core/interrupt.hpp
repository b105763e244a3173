// Cooperative interruption: long analyses poll, at a bounded rate, whether
// the caller wants them to stop (for example after Ctrl-C), and unwind with
// Interrupted when it does. The poll itself is installed by the binding
// layer, so nothing here knows Python.
#pragma once

#include <cstdint>
#include <exception>

namespace korvane {

// Thrown by check_interrupt() when the installed poll reports a pending
// interruption; the caller's error state already says what happened.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "interrupted"; }
};

// Returns true when the call must stop. Without one, analyses never stop
// early.
using InterruptPoll = bool (*)();
void set_interrupt_poll(InterruptPoll poll) noexcept;
void check_interrupt();

// Calls check_interrupt() once every `period` units of work, so hot loops
// pay one subtraction per unit.
class InterruptTicker {
 public:
  explicit InterruptTicker(std::uint32_t period = 4096) noexcept : period_(period), left_(period) {}
  void tick(std::uint64_t work = 1) {
    if (work >= left_) {
      left_ = period_;
      check_interrupt();
    } else {
      left_ -= static_cast<std::uint32_t>(work);
    }
  }

 private:
  std::uint32_t period_;
  std::uint32_t left_;
};

}  // namespace korvane
