// Scans for shared bits; see sharing_scan.hpp.
#include "analyses/persistence/sharing_scan.hpp"

namespace korvane {

namespace {

template <class Count>
std::size_t scan_sharing(Count count_bits, const Word* rows, std::size_t words, std::size_t a,
                         const std::uint32_t* candidates, std::size_t count, std::size_t need) {
  const Word* row_a = rows + a * words;
  for (std::size_t c = 0; c < count; ++c) {
    const Word* row_b = rows + std::size_t{candidates[c]} * words;
    std::size_t common = 0;
    for (std::size_t w = 0; w < words; ++w) common += count_bits(row_a[w] & row_b[w]);
    if (common >= need) return c;
  }
  return count;
}

std::size_t first_sharing_portable(const Word* rows, std::size_t words, std::size_t a,
                                   const std::uint32_t* candidates, std::size_t count, std::size_t need) {
  return scan_sharing(PortableCount{}, rows, words, a, candidates, count, need);
}

#ifdef KORVANE_POPCNT_KERNELS
KORVANE_TARGET_POPCNT std::size_t first_sharing_popcnt(const Word* rows, std::size_t words, std::size_t a,
                                                       const std::uint32_t* candidates, std::size_t count,
                                                       std::size_t need) {
  return scan_sharing(InstructionCount{}, rows, words, a, candidates, count, need);
}
#endif

}  // namespace

FirstSharing first_sharing_for(const CpuFeatures& cpu) noexcept {
#ifdef KORVANE_POPCNT_KERNELS
  if (cpu.popcnt) return first_sharing_popcnt;
#else
  (void)cpu;
#endif
  return first_sharing_portable;
}

}  // namespace korvane
