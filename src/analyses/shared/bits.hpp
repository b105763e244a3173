// Rows of bits, the word they are made of and the count of their set bits,
// for every analysis: the clique search holds neighbourhoods as rows, the
// complex analysis settles groups over bitsets and walks masks, persistence
// compares the new cliques of a step as rows.
//
// One count of set bits serves everywhere. The baseline x86-64 target has no
// population count instruction, and the library call that std::popcount
// makes there is slower than the arithmetic below; a build for a target that
// has the instruction (x86-64-v2 and up, AArch64) gets the instruction. The
// few kernels that count bits in their innermost loop are compiled a second
// time for the instruction and picked once per process from cpu_features();
// only inside those does InstructionCount apply. The clique search stays
// portable: compiled for the instruction it ran at most 2% faster in turns
// on the bench's graphs, not enough to carry a second copy of the search.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace korvane {

using Word = std::uint64_t;

// Words of a row of `bits` bits; none for none.
constexpr std::size_t words_for(std::size_t bits) noexcept { return (bits + 63) / 64; }

inline void set_bit(Word* row, std::size_t bit) noexcept { row[bit / 64] |= Word{1} << (bit % 64); }
inline void clear_bit(Word* row, std::size_t bit) noexcept { row[bit / 64] &= ~(Word{1} << (bit % 64)); }

// Set bits of a word, anywhere.
struct PortableCount {
  unsigned operator()(Word x) const noexcept {
#if defined(__POPCNT__) || defined(__aarch64__)
    return static_cast<unsigned>(std::popcount(x));
#else
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return static_cast<unsigned>((x * 0x0101010101010101ULL) >> 56);
#endif
  }
};

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KORVANE_POPCNT_KERNELS 1
// Functions compiled for the population count instruction (and AVX2), to be
// called only where cpu_features() reports it.
#define KORVANE_TARGET_POPCNT __attribute__((target("popcnt")))
#define KORVANE_TARGET_AVX2 __attribute__((target("avx2,popcnt")))

// Set bits of a word, as one instruction: only inside a KORVANE_TARGET_POPCNT
// function, where it is inlined (elsewhere it is a library call).
struct InstructionCount {
  unsigned operator()(Word x) const noexcept { return static_cast<unsigned>(__builtin_popcountll(x)); }
};
#endif

inline unsigned popcount(Word x) noexcept { return PortableCount{}(x); }

inline std::size_t count(const Word* row, std::size_t words) noexcept {
  std::size_t total = 0;
  for (std::size_t i = 0; i < words; ++i) total += popcount(row[i]);
  return total;
}

inline std::size_t count_common(const Word* a, const Word* b, std::size_t words) noexcept {
  std::size_t total = 0;
  for (std::size_t i = 0; i < words; ++i) total += popcount(a[i] & b[i]);
  return total;
}

inline bool none(const Word* row, std::size_t words) noexcept {
  for (std::size_t i = 0; i < words; ++i) {
    if (row[i] != 0) return false;
  }
  return true;
}

inline bool disjoint(const Word* a, const Word* b, std::size_t words) noexcept {
  for (std::size_t i = 0; i < words; ++i) {
    if ((a[i] & b[i]) != 0) return false;
  }
  return true;
}

// Calls f(bit) for every set bit, ascending.
template <class F>
inline void for_each_bit(const Word* row, std::size_t words, F&& f) {
  for (std::size_t i = 0; i < words; ++i) {
    for (Word w = row[i]; w != 0; w &= w - 1) f(i * 64 + static_cast<std::size_t>(std::countr_zero(w)));
  }
}

// What this processor runs beyond the baseline target, probed once per
// process. Every kernel set compiled for these features is picked from it;
// tests pass lesser sets to run the others.
struct CpuFeatures {
  bool popcnt = false;
  bool avx2 = false;
};
const CpuFeatures& cpu_features() noexcept;

}  // namespace korvane
