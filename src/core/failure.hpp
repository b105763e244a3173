// The two ways an analysis fails, besides running out of memory: a violated
// internal invariant, and an input too large for the indices an analysis
// counts with. Nothing here knows Python; the module's entry guard maps each
// to one Python exception.
#pragma once

#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>

namespace korvane {

// A violated internal invariant. Reported as PanicException carrying what().
class InternalFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// An input whose size exceeds what an analysis's indices can count. Thrown
// before any index would wrap; reported as OverflowError carrying what().
class CapacityExceeded : public std::length_error {
 public:
  using std::length_error::length_error;
};

// Throws CapacityExceeded when there are more than `limit` things called
// `what`.
inline void check_capacity(std::size_t count, std::size_t limit, const char* what) {
  if (count > limit) {
    throw CapacityExceeded(std::string("too many ") + what + " for this analysis (limit " + std::to_string(limit) +
                           ")");
  }
}

// How many elements a table indexed by Idx may hold: indices 0 .. max - 1,
// the largest value being kept free to mean "none" (kNone).
template <class Idx>
constexpr std::size_t index_limit() noexcept {
  return static_cast<std::size_t>(std::numeric_limits<Idx>::max());
}

// The value of an index type that stands for no element: an empty slot, an
// absent vertex, a missing clique.
template <class Idx>
inline constexpr Idx kNone = std::numeric_limits<Idx>::max();

}  // namespace korvane
