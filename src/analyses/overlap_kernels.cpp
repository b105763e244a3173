// Prim update kernels, portable and with the popcount instruction.
#include "analyses/overlap_kernels.hpp"

namespace korvane::complex_detail {

namespace {

inline std::uint32_t portable_popcount(Word x) noexcept {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
  return static_cast<std::uint32_t>((x * 0x0101010101010101ULL) >> 56);
}

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
  return one_word_impl(rest, row, joined, u, portable_popcount);
}

PassResult portable_one_word_plus(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u,
                                  const std::uint32_t* extra) {
  return one_word_plus_impl(rest, row, joined, u, extra, portable_popcount);
}

PassResult portable_many_words(const PrimRest& rest, const Word* rows, std::size_t words, const Word* joined,
                                std::uint32_t u) {
  return many_words_impl(rest, rows, words, joined, u, portable_popcount);
}

const PrimKernels kPortable{portable_one_word, portable_one_word_plus, portable_many_words};

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KORVANE_HAVE_POPCNT_KERNELS 1

__attribute__((target("popcnt"))) PassResult popcnt_one_word(const PrimRest& rest, const Word* row, Word joined,
                                                             std::uint32_t u) {
  return one_word_impl(rest, row, joined, u,
                       [](Word x) { return static_cast<std::uint32_t>(__builtin_popcountll(x)); });
}

__attribute__((target("popcnt"))) PassResult popcnt_one_word_plus(const PrimRest& rest, const Word* row,
                                                                  Word joined, std::uint32_t u,
                                                                  const std::uint32_t* extra) {
  return one_word_plus_impl(rest, row, joined, u, extra,
                            [](Word x) { return static_cast<std::uint32_t>(__builtin_popcountll(x)); });
}

__attribute__((target("popcnt"))) PassResult popcnt_many_words(const PrimRest& rest, const Word* rows,
                                                               std::size_t words, const Word* joined,
                                                               std::uint32_t u) {
  return many_words_impl(rest, rows, words, joined, u,
                         [](Word x) { return static_cast<std::uint32_t>(__builtin_popcountll(x)); });
}

const PrimKernels kPopcnt{popcnt_one_word, popcnt_one_word_plus, popcnt_many_words};
#endif

}  // namespace

const PrimKernels& portable_prim_kernels() noexcept { return kPortable; }

const PrimKernels& prim_kernels() noexcept {
#ifdef KORVANE_HAVE_POPCNT_KERNELS
  static const PrimKernels& chosen = __builtin_cpu_supports("popcnt") ? kPopcnt : kPortable;
  return chosen;
#else
  return kPortable;
#endif
}

}  // namespace korvane::complex_detail
