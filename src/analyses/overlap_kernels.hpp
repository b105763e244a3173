// The inner loop of settling a group of simplices by a maximum spanning
// forest of their overlaps (Prim's algorithm over bitsets): when member u
// joins the tree, every member still outside it takes u's overlap with it as
// its best link if that is larger. Compiled twice, with and without the
// CPU's popcount instruction, and picked once per process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane::complex_detail {

using Word = std::uint64_t;

// The members outside the tree, position j for each: its best overlap with
// the tree so far and the tree member giving it. Kernels return the position
// of the largest best (the first one on ties); count is never 0.
struct PrimRest {
  std::uint32_t* member;
  std::uint32_t* best;
  std::uint32_t* link;
  std::size_t count;
};

struct PrimKernels {
  // Bitsets of one word, stored by rest position: row[j] is member[j]'s.
  std::size_t (*one_word)(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u);
  // Bitsets of `words` words, stored by member: member i's starts at rows + i * words.
  std::size_t (*many_words)(const PrimRest& rest, const Word* rows, std::size_t words, const Word* joined,
                            std::uint32_t u);
};

// The fastest kernels this CPU runs, and the portable ones (for tests).
const PrimKernels& prim_kernels() noexcept;
const PrimKernels& portable_prim_kernels() noexcept;

}  // namespace korvane::complex_detail
