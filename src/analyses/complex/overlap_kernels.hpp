// Prim's algorithm for a maximum spanning forest of a group's overlaps, the
// way a settled group is joined: when member u joins the tree, every member
// still outside it takes u's overlap with it as its best link if that is
// larger, and the member with the largest best joins next.
//
// A member whose best reaches its cap (the count of its own vertices that
// matter) leaves at once with that edge: it lies inside its link, a member
// that has already offered its overlaps, so offering its own would improve
// no one; and an edge of the largest weight at a member belongs to a maximum
// spanning forest with the tree built so far. Members inside others are
// common (popular vertices), so many never cost a pass.
//
// The bitset passes are compiled for the CPU features they can use (the
// popcount instruction, AVX2) and picked from cpu_features().
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "analyses/shared/bits.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

// The members outside the tree, by position j: the member, its best overlap
// with the tree so far, the tree member giving it, and its cap. `full`
// receives positions.
struct PrimRest {
  std::uint32_t* member;
  std::uint32_t* best;
  std::uint32_t* link;
  const std::uint32_t* cap;
  std::uint32_t* full;
  std::size_t count;
};

// One pass: the position of the largest best among members below their cap
// (the first on ties; kNone when there is none), and how many positions
// reached their cap, listed ascending in rest.full.
struct PassResult {
  std::size_t next;
  std::size_t full;
};

// Offers overlap w from tree member u to rest position j, and keeps the pass's
// running choice (top is the best among those still below their cap).
inline void offer(const PrimRest& rest, std::size_t j, std::uint32_t u, std::uint32_t w, std::uint32_t& top,
                  PassResult& out) {
  std::uint32_t best = rest.best[j];
  if (w > best) {
    best = w;
    rest.best[j] = w;
    rest.link[j] = u;
  }
  if (best == rest.cap[j]) {
    rest.full[out.full++] = static_cast<std::uint32_t>(j);
  } else if (out.next == kNone<std::size_t> || best > top) {
    top = best;
    out.next = j;
  }
}

// Offers overlap(j) from tree member u to every rest position j.
template <class Overlap>
inline PassResult prim_pass(const PrimRest& rest, std::uint32_t u, Overlap&& overlap) {
  PassResult out{kNone<std::size_t>, 0};
  std::uint32_t top = 0;
  for (std::size_t j = 0; j < rest.count; ++j) offer(rest, j, u, overlap(j), top, out);
  return out;
}

struct PrimKernels {
  // Bitsets of one word, stored by rest position: row[j] is position j's.
  PassResult (*one_word)(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u);
  // As one_word, plus extra[m] for member m.
  PassResult (*one_word_plus)(const PrimRest& rest, const Word* row, Word joined, std::uint32_t u,
                              const std::uint32_t* extra);
  // Bitsets of `words` words, stored by member: member i's starts at rows + i * words.
  PassResult (*many_words)(const PrimRest& rest, const Word* rows, std::size_t words, const Word* joined,
                           std::uint32_t u);
};

// The fastest kernels for the given features (all give the same results):
// by default those of this processor.
const PrimKernels& prim_kernels(const CpuFeatures& cpu = cpu_features()) noexcept;

// Prim's rest, kept between groups so its storage is reused.
class PrimBuffers {
 public:
  // Members 1 .. m - 1 outside the tree (m >= 2), no overlap with it yet;
  // cap_of(i) is member i's cap.
  template <class Cap>
  void start(std::size_t m, Cap&& cap_of) {
    member_.resize(m - 1);
    best_.assign(m - 1, 0);
    link_.assign(m - 1, 0);
    cap_.resize(m - 1);
    full_.resize(m - 1);
    for (std::size_t j = 0; j + 1 < m; ++j) {
      member_[j] = static_cast<std::uint32_t>(j + 1);
      cap_[j] = cap_of(j + 1);
    }
  }
  PrimRest view(std::size_t count) noexcept {
    return PrimRest{member_.data(), best_.data(), link_.data(), cap_.data(), full_.data(), count};
  }
  std::uint32_t member(std::size_t j) const noexcept { return member_[j]; }
  std::uint32_t best(std::size_t j) const noexcept { return best_[j]; }
  std::uint32_t link(std::size_t j) const noexcept { return link_[j]; }
  std::uint32_t full(std::size_t i) const noexcept { return full_[i]; }

  // Removes the pass's full positions and its next one from the first
  // `count` positions; returns how many stay. Each removed position takes
  // the last one's entry (also in `row`, bitsets kept by position, when
  // given), so positions go in descending order.
  std::size_t remove(const PassResult& pass, std::size_t count, Word* row) noexcept {
    std::size_t f = pass.full;
    bool next_left = pass.next != kNone<std::size_t>;
    while (f > 0 || next_left) {
      std::size_t j;
      if (next_left && (f == 0 || pass.next > full_[f - 1])) {
        j = pass.next;
        next_left = false;
      } else {
        j = full_[--f];
      }
      take_out(j, count--, row);
    }
    return count;
  }

 private:
  void take_out(std::size_t j, std::size_t count, Word* row) noexcept {
    member_[j] = member_[count - 1];
    best_[j] = best_[count - 1];
    link_[j] = link_[count - 1];
    cap_[j] = cap_[count - 1];
    if (row != nullptr) row[j] = row[count - 1];
  }

  std::vector<std::uint32_t> member_;
  std::vector<std::uint32_t> best_;
  std::vector<std::uint32_t> link_;
  std::vector<std::uint32_t> cap_;
  std::vector<std::uint32_t> full_;
};

// Prim's algorithm from member 0 of m, the rest started by the caller:
// pass(rest, u) offers member u's overlaps, edge(a, b, overlap) receives
// each edge of the forest. `row`, when given, holds bitsets by rest position
// (moved along with removals).
template <class Pass, class Edge>
void run_prim(PrimBuffers& buffers, std::size_t m, Pass&& pass, Edge&& edge, Word* row, InterruptTicker& ticker) {
  std::uint32_t u = 0;
  for (std::size_t count = m - 1; count > 0;) {
    const PassResult result = pass(buffers.view(count), u);
    for (std::size_t i = 0; i < result.full; ++i) {
      const std::size_t j = buffers.full(i);
      edge(buffers.link(j), buffers.member(j), buffers.best(j));
    }
    if (result.next != kNone<std::size_t>) {
      edge(buffers.link(result.next), buffers.member(result.next), buffers.best(result.next));
      u = buffers.member(result.next);
    }
    ticker.tick(count + 1);
    count = buffers.remove(result, count, row);
  }
}

}  // namespace korvane::complex_detail
