// The arena of vertex sets against plain copies: sets stored, given back and
// stored again in random order keep their contents, and given-back blocks
// are taken again instead of growing the arena.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "analyses/persistence/set_arena.hpp"

namespace korvane {
namespace {

TEST(SetArena, KeepsEverySetThroughReuseOfBlocks) {
  std::mt19937_64 rng(11);
  SetArena<std::uint32_t> arena;
  std::vector<SetArena<std::uint32_t>::Block> blocks;
  std::vector<std::vector<std::uint32_t>> copies;
  for (int op = 0; op < 4000; ++op) {
    if (!blocks.empty() && rng() % 3 == 0) {
      const std::size_t at = rng() % blocks.size();
      arena.release(blocks[at]);
      blocks[at] = blocks.back();
      copies[at] = copies.back();
      blocks.pop_back();
      copies.pop_back();
      continue;
    }
    std::vector<std::uint32_t> set(rng() % 40);
    for (auto& x : set) x = static_cast<std::uint32_t>(rng());
    blocks.push_back(arena.store(set.data(), set.data() + set.size()));
    copies.push_back(set);
    if (op % 100 == 0) {
      for (std::size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_EQ(std::vector<std::uint32_t>(arena.data(blocks[i]), arena.end(blocks[i])), copies[i]);
      }
    }
  }
}

TEST(SetArena, TakesAGivenBackBlockOfTheSameCapacity) {
  SetArena<std::uint32_t> arena;
  const std::vector<std::uint32_t> five{1, 2, 3, 4, 5};
  const std::vector<std::uint32_t> seven{1, 2, 3, 4, 5, 6, 7};
  const auto first = arena.store(five.data(), five.data() + five.size());
  const auto other = arena.store(five.data(), five.data() + 2);
  arena.release(first);
  // Five and seven vertices both take a block of eight.
  const auto again = arena.store(seven.data(), seven.data() + seven.size());
  EXPECT_EQ(again.offset, first.offset);
  EXPECT_EQ(std::vector<std::uint32_t>(arena.data(again), arena.end(again)), seven);
  EXPECT_EQ(std::vector<std::uint32_t>(arena.data(other), arena.end(other)), std::vector<std::uint32_t>({1, 2}));
}

// Sets of up to kInline items live in their blocks: a copy of the block
// carries the set, storing them takes no room that a larger set would then
// skip, and giving them back lists nothing for reuse.
TEST(SetArena, KeepsSmallSetsInsideTheirBlocks) {
  using Arena = SetArena<std::uint32_t>;
  Arena arena;
  const std::vector<std::uint32_t> three{7, 8, 9};
  const auto before = arena.store(three.data(), three.data() + three.size());
  std::vector<Arena::Block> small;
  for (std::uint32_t x = 0; x < 100; ++x) {
    const std::uint32_t pair[] = {x, x + 1};
    small.push_back(arena.store(pair, pair + 1 + x % Arena::kInline));
  }
  const auto after = arena.store(three.data(), three.data() + three.size());
  EXPECT_EQ(after.offset, before.offset + 4);
  for (std::uint32_t x = 0; x < 100; ++x) {
    const Arena::Block copy = small[x];
    std::vector<std::uint32_t> want{x, x + 1};
    want.resize(1 + x % Arena::kInline);
    EXPECT_EQ(std::vector<std::uint32_t>(arena.data(copy), arena.end(copy)), want);
    arena.release(small[x]);
  }
  const auto empty = arena.store(three.data(), three.data());
  EXPECT_EQ(arena.data(empty), arena.end(empty));
  arena.release(before);
  const std::vector<std::uint32_t> four{1, 2, 3, 4};
  EXPECT_EQ(arena.store(four.data(), four.data() + four.size()).offset, before.offset);
  EXPECT_EQ(std::vector<std::uint32_t>(arena.data(after), arena.end(after)), three);
}

}  // namespace
}  // namespace korvane
