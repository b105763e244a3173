// The searches inside a neighbourhood of any size, over rows of several
// words (see neighbourhood.hpp): every maximal clique, and every clique of
// one size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "analyses/graph/neighbourhood.hpp"
#include "analyses/shared/bits.hpp"
#include "core/interrupt.hpp"

namespace korvane::clique_search_detail {

// Bron–Kerbosch with Tomita's pivot inside one neighbourhood. The sets of one
// recursion depth live in one frame of a flat buffer: P (candidates still
// open), XP (candidates already used up), XX (excluded vertices still
// blocking), and the branch list of that depth.
template <class Hood, class Sink>
class MaximalSearch {
 public:
  MaximalSearch(InterruptTicker& ticker, Sink& sink, std::size_t min_size)
      : ticker_(ticker), sink_(sink), min_size_(min_size) {}

  void run(const Hood& hood) {
    hood_ = &hood;
    cw_ = hood.cw;
    xw_ = hood.xw;
    frame_ = 3 * cw_ + xw_;
    // Depth never exceeds the candidates; only the top frame is read unset.
    if (buffer_.size() < (hood.nc + 2) * frame_) buffer_.resize((hood.nc + 2) * frame_);
    Word* top = buffer_.data();
    std::fill(top, top + frame_, Word{0});
    for (std::size_t i = 0; i < hood.nc; ++i) set_bit(top, i);
    for (std::size_t j = 0; j < hood.ne; ++j) set_bit(top + 2 * cw_, j);
    chosen_.clear();
    expand(0);
  }

 private:
  void expand(std::size_t depth) {
    ticker_.tick();
    Word* p = buffer_.data() + depth * frame_;
    Word* xp = p + cw_;
    Word* xx = p + 2 * cw_;
    Word* todo = p + 2 * cw_ + xw_;
    const Word* pivot = choose_pivot(p, xp, xx);
    if (pivot == nullptr) return;
    for (std::size_t w = 0; w < cw_; ++w) todo[w] = p[w] & ~pivot[w];
    Word* next = p + frame_;
    for_each_bit(todo, cw_, [&](std::size_t v) {
      const Word* around = hood_->cand_to_cand(v);
      const Word* around_excl = hood_->cand_to_excl(v);
      for (std::size_t w = 0; w < cw_; ++w) {
        next[w] = p[w] & around[w];
        next[cw_ + w] = xp[w] & around[w];
      }
      for (std::size_t w = 0; w < xw_; ++w) next[2 * cw_ + w] = xx[w] & around_excl[w];
      chosen_.push_back(static_cast<DenseVertex>(v));
      branch(depth + 1);
      chosen_.pop_back();
      clear_bit(p, v);
      set_bit(xp, v);
    });
  }

  // The branch whose sets are in frame `depth`, settled at once when P holds
  // at most one candidate. Without one, the clique is maximal unless a
  // used-up or excluded vertex extends it; with one, u, the clique with u
  // is, unless one extends that.
  void branch(std::size_t depth) {
    const Word* p = buffer_.data() + depth * frame_;
    const Word* xp = p + cw_;
    const Word* xx = p + 2 * cw_;
    std::size_t u = 0;
    switch (at_most_one(p, u)) {
      case 0:
        if (none(xp, cw_) && none(xx, xw_)) emit();
        return;
      case 1:
        if (disjoint(xp, hood_->cand_to_cand(u), cw_) && disjoint(xx, hood_->cand_to_excl(u), xw_)) {
          chosen_.push_back(static_cast<DenseVertex>(u));
          emit();
          chosen_.pop_back();
        }
        return;
      default:
        expand(depth);
    }
  }

  // 0 or 1 when P holds that many candidates (setting `single` to the one),
  // 2 for more.
  int at_most_one(const Word* p, std::size_t& single) const {
    int found = 0;
    for (std::size_t w = 0; w < cw_; ++w) {
      if (p[w] == 0) continue;
      if (found != 0 || (p[w] & (p[w] - 1)) != 0) return 2;
      found = 1;
      single = w * 64 + static_cast<std::size_t>(std::countr_zero(p[w]));
    }
    return found;
  }

  // The vertex of P, XP or XX adjacent to most of P, whose neighbours need
  // no branch of their own. Null when a used-up or excluded vertex is
  // adjacent to all of P: every clique of this branch extends by it.
  const Word* choose_pivot(const Word* p, const Word* xp, const Word* xx) {
    const std::size_t open = count(p, cw_);
    const Word* pivot = nullptr;
    std::size_t best = 0;
    bool covered = false;
    auto consider = [&](const Word* row) {
      const std::size_t c = count_common(p, row, cw_);
      if (pivot == nullptr || c > best) {
        pivot = row;
        best = c;
      }
      return c;
    };
    for_each_bit(xx, xw_, [&](std::size_t j) { covered = covered || consider(hood_->excl_to_cand(j)) == open; });
    for_each_bit(xp, cw_, [&](std::size_t i) { covered = covered || consider(hood_->cand_to_cand(i)) == open; });
    if (covered) return nullptr;
    for_each_bit(p, cw_, [&](std::size_t i) { consider(hood_->cand_to_cand(i)); });
    return pivot;
  }

  void emit() {
    if (chosen_.size() + 1 >= min_size_) out_.emit(*hood_, chosen_, sink_);
  }

  InterruptTicker& ticker_;
  Sink& sink_;
  const std::size_t min_size_;
  const Hood* hood_ = nullptr;
  std::size_t cw_ = 0;
  std::size_t xw_ = 0;
  std::size_t frame_ = 0;
  std::vector<Word> buffer_;
  std::vector<DenseVertex> chosen_;
  CliqueOut out_;
};

// Cliques of `need` more candidates, each listed once with its candidates in
// ascending local order.
template <class Hood, class Sink>
class SizedSearch {
 public:
  SizedSearch(InterruptTicker& ticker, Sink& sink) : ticker_(ticker), sink_(sink) {}

  void run(const Hood& hood, std::size_t need) {
    hood_ = &hood;
    cw_ = hood.cw;
    buffer_.assign((need + 2) * cw_, 0);
    for (std::size_t i = 0; i < hood.nc; ++i) set_bit(buffer_.data(), i);
    chosen_.clear();
    extend(0, need);
  }

 private:
  void extend(std::size_t depth, std::size_t need) {
    ticker_.tick();
    if (need == 0) {
      out_.emit(*hood_, chosen_, sink_);
      return;
    }
    Word* p = buffer_.data() + depth * cw_;
    Word* next = p + cw_;
    std::size_t left = count(p, cw_);
    for_each_bit(p, cw_, [&](std::size_t v) {
      if (left < need) return;
      --left;
      // Bits are visited ascending and cleared once visited, so p now holds
      // only candidates above v: each clique is built in one order only.
      clear_bit(p, v);
      const Word* around = hood_->cand_to_cand(v);
      for (std::size_t w = 0; w < cw_; ++w) next[w] = p[w] & around[w];
      if (need > 1 && count(next, cw_) < need - 1) return;
      chosen_.push_back(static_cast<DenseVertex>(v));
      extend(depth + 1, need - 1);
      chosen_.pop_back();
    });
  }

  InterruptTicker& ticker_;
  Sink& sink_;
  const Hood* hood_ = nullptr;
  std::size_t cw_ = 0;
  std::vector<Word> buffer_;
  std::vector<DenseVertex> chosen_;
  CliqueOut out_;
};

}  // namespace korvane::clique_search_detail
