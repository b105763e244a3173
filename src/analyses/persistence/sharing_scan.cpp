// Scans for shared bits; see shared_bits.hpp.
#include "analyses/persistence/sharing_scan.hpp"

#include <bit>

namespace korvane {

namespace {

template <class CountBits>
std::size_t scan_sharing(CountBits count_bits, const BitWord* rows, std::size_t words, std::size_t a,
                         const std::uint32_t* candidates, std::size_t count, std::size_t need) {
  const BitWord* row_a = rows + a * words;
  for (std::size_t c = 0; c < count; ++c) {
    const BitWord* row_b = rows + std::size_t{candidates[c]} * words;
    std::size_t common = 0;
    for (std::size_t w = 0; w < words; ++w) common += count_bits(row_a[w] & row_b[w]);
    if (common >= need) return c;
  }
  return count;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The baseline x86-64 target has no popcount instruction and counts bits in
// a library call; the scan runs on most pairs of new cliques, so it gets the
// instruction wherever the processor has it.
__attribute__((target("popcnt"))) std::size_t first_sharing_popcnt(const BitWord* rows, std::size_t words,
                                                                   std::size_t a, const std::uint32_t* candidates,
                                                                   std::size_t count, std::size_t need) {
  return scan_sharing([](BitWord w) { return static_cast<std::size_t>(__builtin_popcountll(w)); }, rows, words, a,
                      candidates, count, need);
}
#endif

}  // namespace

std::size_t first_sharing_portable(const BitWord* rows, std::size_t words, std::size_t a,
                                   const std::uint32_t* candidates, std::size_t count, std::size_t need) {
  return scan_sharing([](BitWord w) { return static_cast<std::size_t>(std::popcount(w)); }, rows, words, a,
                      candidates, count, need);
}

FirstSharing first_sharing_for_this_cpu() {
#if defined(__x86_64__) && defined(__GNUC__)
  if (__builtin_cpu_supports("popcnt")) return first_sharing_popcnt;
#endif
  return first_sharing_portable;
}

}  // namespace korvane
