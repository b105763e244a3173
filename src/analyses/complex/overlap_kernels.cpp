// Prim pass kernels: portable, with the popcount instruction, and with AVX2
// for bitsets of several words.
#include "analyses/complex/overlap_kernels.hpp"

#ifdef KORVANE_POPCNT_KERNELS
#include <immintrin.h>
#endif

namespace korvane::complex_detail {

namespace {

template <class Pop>
inline PassResult one_word_impl(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u, Pop pop) {
  return prim_pass(rest, u, [&](std::size_t j) { return pop(row[j] & joined); });
}

template <class Pop>
inline PassResult one_word_plus_impl(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u,
                                     const std::uint32_t* extra, Pop pop) {
  return prim_pass(rest, u, [&](std::size_t j) { return pop(row[j] & joined) + extra[rest.member[j]]; });
}

template <class Pop>
inline PassResult many_words_impl(const PrimRest& rest, const Word* rows, std::size_t words, const Word* joined,
                                  std::uint32_t u, Pop pop) {
  return prim_pass(rest, u, [&](std::size_t j) {
    const Word* row = rows + static_cast<std::size_t>(rest.member[j]) * words;
    // Four running sums, so the popcounts need not wait on each other.
    std::uint32_t w0 = 0, w1 = 0, w2 = 0, w3 = 0;
    std::size_t k = 0;
    for (; k + 4 <= words; k += 4) {
      w0 += pop(row[k] & joined[k]);
      w1 += pop(row[k + 1] & joined[k + 1]);
      w2 += pop(row[k + 2] & joined[k + 2]);
      w3 += pop(row[k + 3] & joined[k + 3]);
    }
    for (; k < words; ++k) w0 += pop(row[k] & joined[k]);
    return w0 + w1 + w2 + w3;
  });
}

PassResult portable_one_word(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u) {
  return one_word_impl(rest, row, joined, u, PortableCount{});
}

PassResult portable_one_word_plus(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u,
                                  const std::uint32_t* extra) {
  return one_word_plus_impl(rest, row, joined, u, extra, PortableCount{});
}

PassResult portable_many_words(const PrimRest& rest, const Word* rows, std::size_t words, const Word* joined,
                                std::uint32_t u) {
  return many_words_impl(rest, rows, words, joined, u, PortableCount{});
}

const PrimKernels kPortable{portable_one_word, portable_one_word_plus, portable_many_words};

#ifdef KORVANE_POPCNT_KERNELS
KORVANE_TARGET_POPCNT PassResult popcnt_one_word(const PrimRest& rest, const Word* row, Word joined,
                                                 std::uint32_t u) {
  return one_word_impl(rest, row, joined, u, InstructionCount{});
}

KORVANE_TARGET_POPCNT PassResult popcnt_one_word_plus(const PrimRest& rest, const Word* row, Word joined,
                                                      std::uint32_t u, const std::uint32_t* extra) {
  return one_word_plus_impl(rest, row, joined, u, extra, InstructionCount{});
}

KORVANE_TARGET_POPCNT PassResult popcnt_many_words(const PrimRest& rest, const Word* rows, std::size_t words,
                                                   const Word* joined, std::uint32_t u) {
  return many_words_impl(rest, rows, words, joined, u, InstructionCount{});
}

const PrimKernels kPopcnt{popcnt_one_word, popcnt_one_word_plus, popcnt_many_words};

// Four words at a time: each byte's bits counted through a nibble table,
// the bytes summed per word (vpsadbw). Written out, since a pass templated
// elsewhere could not inline AVX2 code.
KORVANE_TARGET_AVX2 PassResult avx2_many_words(const PrimRest& rest, const Word* rows,
                                                                  std::size_t words, const Word* joined,
                                                                  std::uint32_t u) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i table = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1,
                                         2, 2, 3, 2, 3, 3, 4);
  const std::size_t blocks = words / 4;
  PassResult out{kNone<std::size_t>, 0};
  std::uint32_t top = 0;
  for (std::size_t j = 0; j < rest.count; ++j) {
    const Word* row = rows + static_cast<std::size_t>(rest.member[j]) * words;
    __m256i sums = _mm256_setzero_si256();
    for (std::size_t b = 0; b < blocks; ++b) {
      const __m256i v = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row) + b),
                                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(joined) + b));
      const __m256i lo = _mm256_shuffle_epi8(table, _mm256_and_si256(v, nibble));
      const __m256i hi = _mm256_shuffle_epi8(table, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
      sums = _mm256_add_epi64(sums, _mm256_sad_epu8(_mm256_add_epi8(lo, hi), _mm256_setzero_si256()));
    }
    std::uint64_t w = static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 0)) +
                      static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 1)) +
                      static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 2)) +
                      static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 3));
    for (std::size_t k = blocks * 4; k < words; ++k) w += InstructionCount{}(row[k] & joined[k]);
    offer(rest, j, u, static_cast<std::uint32_t>(w), top, out);
  }
  return out;
}

const PrimKernels kAvx2{popcnt_one_word, popcnt_one_word_plus, avx2_many_words};
#endif

}  // namespace

const PrimKernels& prim_kernels(const CpuFeatures& cpu) noexcept {
#ifdef KORVANE_POPCNT_KERNELS
  if (cpu.avx2) return kAvx2;
  if (cpu.popcnt) return kPopcnt;
#else
  (void)cpu;
#endif
  return kPortable;
}

}  // namespace korvane::complex_detail
