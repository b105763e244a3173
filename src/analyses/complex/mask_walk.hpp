// The subset walk on groups whose copies draw on at most 64 vertices that
// matter (held by two or more members, not by all): each copy becomes one
// word, bit i standing for the i-th of those vertices by rank. Popular
// vertices make most groups so: the walk extends towards ever more popular
// vertices, and there are few of those. The walk is the same as on records
// (subset_walk.hpp): merge equal copies, then settle the group or split it
// by the vertex a child extends with, a child holding the bits above it; the
// choice is a line of the strategy table (strategy.hpp).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "analyses/complex/group_settler.hpp"
#include "analyses/complex/overlap_kernels.hpp"
#include "analyses/complex/simplex_forests.hpp"
#include "analyses/complex/simplex_table.hpp"
#include "analyses/complex/strategy.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

template <class Idx>
class MaskWalk {
 public:
  // prefix: the bits below the one that made this group, as the parent
  // group held them (0 at the top of a mask walk).
  struct Member {
    Word mask;
    Word prefix;
    Idx id;
    bool operator<(const Member& other) const noexcept {
      return mask != other.mask ? mask < other.mask : id < other.id;
    }
  };

  MaskWalk(const SimplexTable<Idx>& table, SimplexForests<Idx>& forests, const WalkPolicy& policy,
           InterruptTicker& ticker, double& work)
      : table_(table), forests_(forests), policy_(policy), ticker_(ticker), work_(work), kernels_(prim_kernels()) {}

  // Where the caller appends a group's members before solve().
  std::vector<Member>& stack() noexcept { return stack_; }

  // Walks the group stack()[start ..], whose members share `known`
  // vertices besides their masks, and removes it from the stack.
  void solve(std::size_t known, std::size_t start) {
    walk(known, start);
    stack_.resize(start);
  }

  // Walks only the children of that group, for a record group that covers
  // the rest of its pairs, and removes it. Returns false when the work
  // passes that group's budget, `limit`, before the last child.
  bool solve_children(std::size_t known, std::size_t start, double limit) {
    const Shape shape = measure(start);
    const bool done = walk_children(known, start, shape.spread & shape.small_bits, limit);
    stack_.resize(start);
    return done;
  }

 private:
  struct Shape {
    std::size_t members;
    Word spread;      // bits held by two or more members
    Word small_bits;  // bits held by a small member
    double child_members;
  };

  // Settles the group or splits it (strategy.hpp); a split whose work
  // passes the settling estimate stops, and the group is settled after all.
  void walk(std::size_t known, std::size_t start) {
    known += strip(start);
    const std::size_t members = merge_equal(known, start);
    if (members < 2) return;
    const Shape shape = measure(start);
    const double settling = bitset_cost(static_cast<double>(members), 1);
    if (settle_first(shape, settling)) {
      settle(known, start, settling);
      return;
    }
    const double limit = policy_.adaptive() ? work_ + settling : kNoLimit;
    if (!split(known, start, shape, limit)) settle(known, start, settling);
  }

  bool settle_first(const Shape& shape, double settling) const {
    if (!policy_.adaptive()) return shape.members <= policy_.settle_max;
    const double first_step = mask_split_first_step(static_cast<double>(shape.members), shape.child_members);
    return settling <= policy_.split_advantage * first_step;
  }

  // Drops the bits all members hold (returned as a count: every pair shares
  // them) and the bits a single member holds (no pair shares them).
  std::size_t strip(std::size_t start) {
    Word all = ~Word{0}, once = 0, twice = 0;
    for (std::size_t i = start; i < stack_.size(); ++i) {
      const Word m = stack_[i].mask;
      all &= m;
      twice |= once & m;
      once |= m;
    }
    const Word keep = twice & ~all;
    for (std::size_t i = start; i < stack_.size(); ++i) stack_[i].mask &= keep;
    ticker_.tick(stack_.size() - start + 1);
    return static_cast<std::size_t>(popcount(all));
  }

  // Two members sharing a prefix bit have a lower first shared vertex in
  // the parent group; the child of that vertex joins them at their whole
  // overlap, more than any fact about them here (or, should the parent be
  // settled instead, the parent's forest does). So no fact about them needs
  // joining here; it would nearly always find them together.
  static bool implied(const Member& a, const Member& b) noexcept { return (a.prefix & b.prefix) != 0; }

  // Members with equal masks share known + that many vertices: joined, the
  // first (smallest id) stands for them. Returns the members left.
  std::size_t merge_equal(std::size_t known, std::size_t start) {
    const auto first = stack_.begin() + static_cast<std::ptrdiff_t>(start);
    std::sort(first, stack_.end());
    std::size_t out = start;
    for (std::size_t i = start; i < stack_.size(); ++i) {
      if (out > start && stack_[out - 1].mask == stack_[i].mask) {
        if (implied(stack_[out - 1], stack_[i])) continue;
        forests_.join(stack_[out - 1].id, stack_[i].id, known + static_cast<std::size_t>(popcount(stack_[i].mask)));
      } else {
        stack_[out++] = stack_[i];
      }
    }
    const std::size_t before = stack_.size() - start;
    stack_.resize(out);
    work_ += static_cast<double>(before) * Costs::kMember;
    ticker_.tick(before + 1);
    return out - start;
  }

  Shape measure(std::size_t start) const {
    Shape shape{stack_.size() - start, 0, 0, 0};
    Word once = 0;
    for (std::size_t i = start; i < stack_.size(); ++i) {
      const Word m = stack_[i].mask;
      shape.spread |= once & m;
      once |= m;
      if (table_.is_small(stack_[i].id)) shape.small_bits |= m;
      shape.child_members += popcount(m);
    }
    return shape;
  }

  void settle(std::size_t known, std::size_t start, double estimate) {
    const std::size_t members = stack_.size() - start;
    const Member* group = stack_.data() + start;
    row_.resize(members - 1);  // by rest position
    for (std::size_t i = 1; i < members; ++i) row_[i - 1] = group[i].mask;
    auto cap = [&](std::size_t i) { return static_cast<std::uint32_t>(popcount(group[i].mask)); };
    auto pass = [&](const PrimRest& rest, std::uint32_t u) {
      return kernels_.one_word(rest, row_.data(), group[u].mask, u);
    };
    auto edge = [&](std::uint32_t a, std::uint32_t b, std::uint32_t w) {
      if (!implied(group[a], group[b])) forests_.join(group[a].id, group[b].id, known + w);
    };
    rest_.start(members, cap);
    run_prim(rest_, members, pass, edge, row_.data(), ticker_);
    work_ += estimate;
  }

  // Joins the members at `known`, then walks one child per bit held by two
  // or more members, one of them small: the members holding the bit, each
  // cut to its bits above it.
  bool split(std::size_t known, std::size_t start, const Shape& shape, double limit) {
    const std::size_t end = stack_.size();
    for (std::size_t i = start + 1; i < end; ++i) {
      if (!implied(stack_[start], stack_[i])) forests_.join(stack_[start].id, stack_[i].id, known);
    }
    work_ += joins_cost(static_cast<double>(end - start));
    return walk_children(known, start, shape.spread & shape.small_bits, limit);
  }

  // The children of the group stack()[start ..] for the given bits, while
  // the work stays within `limit`.
  bool walk_children(std::size_t known, std::size_t start, Word bits, double limit) {
    const std::size_t end = stack_.size();
    for (; bits != 0; bits &= bits - 1) {
      if (work_ > limit) return false;
      const int b = std::countr_zero(bits);
      const Word bit = Word{1} << b;
      const Word above = b == 63 ? 0 : ~Word{0} << (b + 1);
      for (std::size_t i = start; i < end; ++i) {
        const Word m = stack_[i].mask;
        if (m & bit) stack_.push_back(Member{m & above, m & (bit - 1), stack_[i].id});
      }
      ticker_.tick(end - start + 1);
      solve(known + 1, end);
    }
    return true;
  }

  const SimplexTable<Idx>& table_;
  SimplexForests<Idx>& forests_;
  const WalkPolicy& policy_;
  InterruptTicker& ticker_;
  double& work_;
  const PrimKernels& kernels_;
  // The groups on the walk's path, stacked.
  std::vector<Member> stack_;
  std::vector<Word> row_;
  PrimBuffers rest_;
};

}  // namespace korvane::complex_detail
