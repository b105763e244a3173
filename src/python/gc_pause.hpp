// Keeps the cyclic garbage collector still while a result is built.
//
// A result is up to millions of new sets, lists and tuples. Each allocation
// counts toward the next collection, and every collection walks the young
// result again, and now and then the caller's whole heap: measured, that was
// most of the cost of building a result. The result holds only ints, floats
// and its own containers, so it can form no cycle that the collector would
// have to find. The collector's state is restored on every path, and a
// collection runs normally once the call has returned.
#pragma once

#include "python/pyref.hpp"

namespace korvane::py {

class GcPause {
 public:
  GcPause() noexcept;
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;
  ~GcPause();

 private:
  bool paused_ = false;
};

}  // namespace korvane::py
