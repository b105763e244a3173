// The pair scan of the new cliques: every variant this processor runs
// against a count of common members.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "analyses/persistence/sharing_scan.hpp"
#include "cpu_variants.hpp"

namespace korvane {
namespace {

std::size_t first_sharing_by_count(const std::vector<Word>& rows, std::size_t words, std::size_t a,
                                   const std::vector<std::uint32_t>& candidates, std::size_t need) {
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    std::size_t common = 0;
    for (std::size_t bit = 0; bit < 64 * words; ++bit) {
      const Word mask = Word{1} << (bit % 64);
      if ((rows[a * words + bit / 64] & mask) != 0 && (rows[candidates[c] * words + bit / 64] & mask) != 0) {
        ++common;
      }
    }
    if (common >= need) return c;
  }
  return candidates.size();
}

TEST(SharingScan, EveryVariantFindsTheFirstCandidateSharingEnough) {
  std::mt19937_64 rng(5);
  for (int round = 0; round < 400; ++round) {
    const std::size_t words = 1 + rng() % 3;
    const std::size_t row_count = 2 + rng() % 12;
    std::vector<Word> rows(row_count * words);
    // Sparse or dense rows, so that overlaps range from none to most bits.
    for (Word& w : rows) w = round % 2 == 0 ? rng() & rng() & rng() : rng() | rng();
    std::vector<std::uint32_t> candidates;
    for (std::size_t r = 1; r < row_count; ++r) candidates.push_back(static_cast<std::uint32_t>(r));
    const std::size_t need = rng() % (40 * words);
    const std::size_t want = first_sharing_by_count(rows, words, 0, candidates, need);
    for (const CpuFeatures& cpu : runnable_features()) {
      EXPECT_EQ(first_sharing_for(cpu)(rows.data(), words, 0, candidates.data(), candidates.size(), need), want);
    }
  }
}

}  // namespace
}  // namespace korvane
