// The feature sets this processor runs kernels for, the baseline first: each
// kernel set chosen for one of them must give the baseline's answers.
#pragma once

#include <vector>

#include "analyses/shared/bits.hpp"

namespace korvane {

inline std::vector<CpuFeatures> runnable_features() {
  std::vector<CpuFeatures> out{CpuFeatures{}};
  const CpuFeatures& cpu = cpu_features();
  if (cpu.popcnt) out.push_back(CpuFeatures{true, false});
  if (cpu.avx2) out.push_back(cpu);
  return out;
}

}  // namespace korvane
