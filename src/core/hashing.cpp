// The per-process hash seed; see hashing.hpp.
#include "core/hashing.hpp"

#include <sys/random.h>

#include <chrono>
#include <random>

namespace korvane {

namespace {

std::uint64_t read_os_seed() noexcept {
  std::uint64_t seed = 0;
  std::size_t got = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&seed);
  while (got < sizeof seed) {
    ssize_t n = getrandom(bytes + got, sizeof seed - got, 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < sizeof seed) {
    // getrandom unavailable: fall back to random_device, then to the clock,
    // which still varies per process.
    try {
      std::random_device rd;
      seed = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
    } catch (...) {
      seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
  }
  return seed;
}

}  // namespace

std::uint64_t process_hash_seed() noexcept {
  static const std::uint64_t seed = read_os_seed();
  return seed;
}

}  // namespace korvane
