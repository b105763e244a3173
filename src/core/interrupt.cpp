// The installed interrupt poll; see interrupt.hpp.
#include "core/interrupt.hpp"

#include <atomic>

namespace korvane {

namespace {
std::atomic<InterruptPoll> g_interrupt_poll{nullptr};
}  // namespace

void set_interrupt_poll(InterruptPoll poll) noexcept { g_interrupt_poll.store(poll, std::memory_order_relaxed); }

void check_interrupt() {
  InterruptPoll poll = g_interrupt_poll.load(std::memory_order_relaxed);
  if (poll != nullptr && poll()) throw Interrupted();
}

}  // namespace korvane
