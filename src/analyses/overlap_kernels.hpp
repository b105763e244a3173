// The inner loop of settling a group of simplices by a maximum spanning
// forest of their overlaps (Prim's algorithm over bitsets): when member u
// joins the tree, every member still outside it takes u's overlap with it as
// its best link if that is larger. Compiled twice, with and without the
// CPU's popcount instruction, and picked once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/interrupt.hpp"

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

// Prim's rest, kept between groups so its storage is reused.
class PrimBuffers {
 public:
  // Members 1 .. m - 1 outside the tree (m >= 2), no overlap with it yet.
  void start(std::size_t m) {
    member_.resize(m - 1);
    best_.assign(m - 1, 0);
    link_.assign(m - 1, 0);
    for (std::size_t j = 0; j + 1 < m; ++j) member_[j] = static_cast<std::uint32_t>(j + 1);
  }
  PrimRest view(std::size_t count) noexcept { return PrimRest{member_.data(), best_.data(), link_.data(), count}; }
  std::uint32_t member(std::size_t j) const noexcept { return member_[j]; }
  std::uint32_t best(std::size_t j) const noexcept { return best_[j]; }
  std::uint32_t link(std::size_t j) const noexcept { return link_[j]; }
  // Position j leaves the rest; the last position takes its place (also in
  // `row`, bitsets kept by position, when given).
  void take_out(std::size_t j, std::size_t count, Word* row) noexcept {
    member_[j] = member_[count - 1];
    best_[j] = best_[count - 1];
    link_[j] = link_[count - 1];
    if (row != nullptr) row[j] = row[count - 1];
  }

 private:
  std::vector<std::uint32_t> member_;
  std::vector<std::uint32_t> best_;
  std::vector<std::uint32_t> link_;
};

// Prim's algorithm from member 0 over one-word bitsets (masks[i] is member
// i's); calls edge(a, b, overlap) for each edge of the maximum spanning
// forest. `row` is scratch.
template <class Edge>
void prim_one_word(const PrimKernels& kernels, PrimBuffers& rest, std::vector<Word>& row, const Word* masks,
                   std::size_t m, Edge&& edge, InterruptTicker& ticker) {
  rest.start(m);
  row.assign(masks + 1, masks + m);  // by rest position
  std::uint32_t u = 0;
  for (std::size_t count = m - 1; count > 0; --count) {
    const std::size_t j = kernels.one_word(rest.view(count), row.data(), masks[u], u);
    edge(rest.link(j), rest.member(j), rest.best(j));
    u = rest.member(j);
    rest.take_out(j, count, row.data());
    ticker.tick(count + 1);
  }
}

}  // namespace korvane::complex_detail
