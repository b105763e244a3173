// The shared rows of bits: the portable count of set bits against a loop
// over the bits, and a row's bits visited in ascending order.
#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <vector>

#include "analyses/shared/bits.hpp"

namespace korvane {
namespace {

unsigned bits_by_loop(Word x) {
  unsigned n = 0;
  for (int b = 0; b < 64; ++b) n += static_cast<unsigned>((x >> b) & 1U);
  return n;
}

TEST(Bits, PortableCountMatchesALoopOverTheBits) {
  std::mt19937_64 rng(11);
  for (Word x : {Word{0}, ~Word{0}, Word{1}, Word{1} << 63, Word{0x5555555555555555ULL}}) {
    EXPECT_EQ(PortableCount{}(x), bits_by_loop(x)) << x;
  }
  for (int round = 0; round < 2000; ++round) {
    // Sparse, dense and uniform words.
    const Word x = round % 3 == 0 ? rng() & rng() & rng() : round % 3 == 1 ? rng() | rng() | rng() : rng();
    ASSERT_EQ(PortableCount{}(x), bits_by_loop(x)) << x;
  }
}

TEST(Bits, RowsSetCountAndVisitTheirBitsAscending) {
  std::mt19937_64 rng(13);
  for (std::size_t bits : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{300}}) {
    const std::size_t words = words_for(bits);
    ASSERT_EQ(words, (bits + 63) / 64);
    std::vector<Word> row(words, 0), other(words, 0);
    std::vector<std::size_t> set;
    for (std::size_t b = 0; b < bits; ++b) {
      if (rng() % 3 == 0) {
        set_bit(row.data(), b);
        set.push_back(b);
      }
      if (rng() % 2 == 0) set_bit(other.data(), b);
    }
    std::vector<std::size_t> visited;
    for_each_bit(row.data(), words, [&](std::size_t b) { visited.push_back(b); });
    EXPECT_EQ(visited, set) << bits;
    EXPECT_EQ(count(row.data(), words), set.size());
    std::size_t common = 0;
    for (std::size_t b : set) common += (other[b / 64] >> (b % 64)) & 1;
    EXPECT_EQ(count_common(row.data(), other.data(), words), common);
    EXPECT_EQ(disjoint(row.data(), other.data(), words), common == 0);
    for (std::size_t b : set) clear_bit(row.data(), b);
    EXPECT_TRUE(none(row.data(), words));
  }
}

}  // namespace
}  // namespace korvane
