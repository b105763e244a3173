// The processor's features, probed once; see bits.hpp.
#include "analyses/shared/bits.hpp"

namespace korvane {

namespace {

CpuFeatures probe() noexcept {
  CpuFeatures found;
#ifdef KORVANE_POPCNT_KERNELS
  found.popcnt = __builtin_cpu_supports("popcnt");
  found.avx2 = found.popcnt && __builtin_cpu_supports("avx2");
#endif
  return found;
}

}  // namespace

const CpuFeatures& cpu_features() noexcept {
  static const CpuFeatures features = probe();
  return features;
}

}  // namespace korvane
