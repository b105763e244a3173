// Bron–Kerbosch inside a neighbourhood of at most 64 candidates and 64
// excluded vertices, every set one word (see neighbourhood.hpp).
#pragma once

#include <array>
#include <bit>
#include <cstddef>

#include "analyses/graph/dense_graph.hpp"
#include "analyses/shared/bits.hpp"
#include "analyses/shared/sort_small.hpp"
#include "core/interrupt.hpp"

namespace korvane::clique_search_detail {

// Bron–Kerbosch with Tomita's pivot inside a small neighbourhood (see
// Neighbourhood::small()): P (candidates still open), XP (candidates used
// up) and XX (excluded vertices still blocking) are one word each, passed
// by value down the recursion.
template <class Hood, class Sink>
class WordSearch {
 public:
  WordSearch(InterruptTicker& ticker, Sink& sink, std::size_t min_size)
      : ticker_(ticker), sink_(sink), min_size_(min_size) {}

  // Candidates on a local triangle are "rich"; every maximal clique of more
  // than one candidate with a poor one is an edge with no common neighbour
  // among the candidates (a third one would make both ends rich), so it is
  // settled on its own, and the search proper runs over the rich candidates
  // only: no poor one can extend a clique of two or more rich ones.
  void run(const Hood& hood) {
    hood_ = &hood;
    depth_ = 0;
    // The common neighbours of the two ends of each local edge: every
    // vertex of a local triangle is one for the edge opposite it.
    Word rich = 0;
    for (std::size_t i = 0; i < hood.nc; ++i) {
      const Word row = hood.cand_word(i);
      for (Word later = row & ~((Word{2} << i) - 1); later != 0; later &= later - 1) {
        rich |= row & hood.cand_word(static_cast<std::size_t>(std::countr_zero(later)));
      }
    }
    for (std::size_t i = 0; i < hood.nc; ++i) settle_poor(i, rich);
    if (rich != 0) expand(rich, 0, hood.linked_excluded());
  }

 private:
  void expand(Word p, Word xp, Word xx) {
    ticker_.tick();
    Word pivot = 0;
    if (!choose_pivot(p, xp, xx, pivot)) return;
    for (Word todo = p & ~pivot; todo != 0; todo &= todo - 1) {
      const auto v = static_cast<std::size_t>(std::countr_zero(todo));
      const Word around = hood_->cand_word(v);
      branch(v, p & around, xp & around, xx & hood_->cand_excl_word(v));
      p &= ~(Word{1} << v);
      xp |= Word{1} << v;
    }
  }

  // The cliques of candidate i that hold a poor candidate: i alone when it
  // has no neighbour among the candidates, else its edges to later ones not
  // both rich; each maximal unless an excluded vertex extends it.
  void settle_poor(std::size_t i, Word rich) {
    const Word row = hood_->cand_word(i);
    const Word blocking = hood_->cand_excl_word(i);
    if (row == 0) {
      if (blocking == 0) emit_with(i, i);
      return;
    }
    const Word later = row & ~((Word{2} << i) - 1);
    const Word partners = (rich >> i & 1) != 0 ? later & ~rich : later;
    for (Word b = partners; b != 0; b &= b - 1) {
      const auto j = static_cast<std::size_t>(std::countr_zero(b));
      if ((blocking & hood_->cand_excl_word(j)) == 0) emit_with(i, j);
    }
  }

  // The root with candidates i and j (i == j: i alone), i <= j.
  void emit_with(std::size_t i, std::size_t j) {
    const std::size_t size = i == j ? 2 : 3;
    if (size < min_size_) return;
    const DenseVertex clique[3] = {hood_->root, hood_->candidates[i], hood_->candidates[j]};
    sink_(clique, clique + size);
  }

  // Candidate v taken, its P, XP and XX given; settled at once when at most
  // one candidate is left open (see MaximalSearch::branch).
  void branch(std::size_t v, Word p, Word xp, Word xx) {
    chosen_[depth_++] = static_cast<DenseVertex>(v);
    if (p == 0) {
      if ((xp | xx) == 0) emit();
    } else if ((p & (p - 1)) == 0) {
      const auto u = static_cast<std::size_t>(std::countr_zero(p));
      if ((xp & hood_->cand_word(u)) == 0 && (xx & hood_->cand_excl_word(u)) == 0) {
        chosen_[depth_++] = static_cast<DenseVertex>(u);
        emit();
        --depth_;
      }
    } else {
      expand(p, xp, xx);
    }
    --depth_;
  }

  // The row of the vertex of P, XP or XX adjacent to most of P; false when
  // a used-up or excluded vertex is adjacent to all of P.
  bool choose_pivot(Word p, Word xp, Word xx, Word& pivot) const {
    const unsigned open = popcount(p);
    unsigned best = 0;
    for (Word b = xx; b != 0; b &= b - 1) {
      const Word row = hood_->excl_word(static_cast<std::size_t>(std::countr_zero(b)));
      const unsigned c = popcount(p & row);
      if (c == open) return false;
      if (c >= best) best = c, pivot = row;
    }
    for (Word b = xp; b != 0; b &= b - 1) {
      const Word row = hood_->cand_word(static_cast<std::size_t>(std::countr_zero(b)));
      const unsigned c = popcount(p & row);
      if (c == open) return false;
      if (c >= best) best = c, pivot = row;
    }
    for (Word b = p; b != 0 && best + 1 < open; b &= b - 1) {
      const Word row = hood_->cand_word(static_cast<std::size_t>(std::countr_zero(b)));
      const unsigned c = popcount(p & row);
      if (c >= best) best = c, pivot = row;
    }
    return true;
  }

  void emit() {
    if (depth_ + 1 < min_size_) return;
    DenseVertex* out = ranks_.data();
    out[0] = hood_->root;
    for (std::size_t i = 0; i < depth_; ++i) out[i + 1] = hood_->candidates[chosen_[i]];
    sort_small(out + 1, out + depth_ + 1);
    sink_(out, out + depth_ + 1);
  }

  InterruptTicker& ticker_;
  Sink& sink_;
  const std::size_t min_size_;
  const Hood* hood_ = nullptr;
  std::size_t depth_ = 0;
  std::array<DenseVertex, 64> chosen_{};
  std::array<DenseVertex, 65> ranks_{};
};

}  // namespace korvane::clique_search_detail
