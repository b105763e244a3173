// How the complex analysis chooses its strategies, in one table, with the
// cost model behind every choice. Each place that applies a line of the
// table points here.
//
//   strategy                    chosen when                                  estimated cost
//   --------------------------  -------------------------------------------  ------------------------------------
//   twins joined up front       always, for equal simplices                  one hash probe per simplex
//   large simplices settled     per input: the size s that minimises the     settle_all_cost of those above s
//     all together              estimate of both sides (choose_small_max,    (bitsets, or core bitsets with the
//     (large_simplices.hpp)     large_simplices.hpp)                         whole pair sum as tail)
//   the walk over shared        the simplices of at most s vertices: each    per root: its pairs, bounded by
//     subsets (subset_walk.hpp) root group (holders of one vertex) ...       root_pair_cost (large_simplices.hpp),
//                                                                            plus copying it (kSlot per item)
//   ... chained                 no vertex shared by some members but not     one join per member
//                               all (spread = 0)
//   ... walked as masks         at most 64 spread vertices                   see the mask lines below
//     (mask_walk.hpp)           (mask_vertices_max)
//   ... settled                 settle_cost <= split_advantage x the first   settle_cost
//                               step of a split (split_first_step)
//   ... split                   otherwise; first equal copies are merged     split_first_step, then each child;
//                               (groups of twin_check_min members or more)   kMember per member merged
//   ... settled after all       when the split's work passes the settling    the split so far plus settle_cost
//                               estimate taken when it started
//   mask group settled          bitset_cost(m, 1) <= split_advantage x       bitset_cost(m, 1)
//                               (joins_cost(m) + kMember per bit held)
//   mask group split            otherwise; settled after all as above        joins_cost(m) + kMember per bit held
//   a group's overlaps counted  the cheaper of the two by estimate           bitset_cost(m, words of spread)
//     by bitsets over its       (cheaper_method)
//     spread vertices
//   ... by core bitsets         (one word over the 64 most held vertices,    core_bitsets_cost(m, tail)
//                               a vertex index for the rest)
//   32-bit indices              the record table fits below 2^32 - 1 slots   (halves every table)
//                               (complex_levels.cpp), else 64-bit
//
// The constants, below: Costs (in rough nanoseconds) kWord 0.4, kPair 1.5,
// kStep 2.5, kSlot 3, kMember 25, kJoin 25, at most 2^23 words of bitsets;
// WalkPolicy split_advantage 2, twin_check_min 16, mask_vertices_max 64.
//
// A settled group joins a maximum spanning forest of its overlaps (Prim,
// overlap_kernels.hpp), whose passes are compiled for the popcount
// instruction and AVX2 and picked from cpu_features(). Every knob of
// ComplexLevelsTuning forces a line of this table for tests; the defaults
// choose by these estimates.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/shared/bits.hpp"

namespace korvane::complex_detail {

// Estimated work, in rough nanoseconds of a current x86 core; only ratios
// between estimates matter.
struct Costs {
  static constexpr double kWord = 0.4;     // one bitset word of one pair
  static constexpr double kPair = 1.5;     // one pair, besides its words
  static constexpr double kStep = 2.5;     // one step through a vertex's holders
  static constexpr double kSlot = 3.0;     // one item tallied or copied
  static constexpr double kMember = 25.0;  // one member of a mask group: copied, sorted, counted
  static constexpr double kJoin = 25.0;    // one fact joined into the level forests
  static constexpr std::size_t kMaxRowWords = std::size_t{1} << 23;  // 64 MB of bitsets at most
};

using Overlaps = ComplexLevelsTuning::Overlaps;

// The knobs of the walks, from ComplexLevelsTuning (complex_levels.hpp).
struct WalkPolicy {
  // Groups of at most this many members are settled, larger ones split;
  // kChoose: each group decides by estimated cost.
  std::size_t settle_max = ComplexLevelsTuning::kChoose;
  // Groups of the record walk with at least this many members merge equal
  // copies first.
  std::size_t twin_check_min = 16;
  // Groups whose copies hold at most this many vertices that matter (64 at
  // most) are walked as masks.
  std::size_t mask_vertices_max = 64;
  Overlaps overlaps = Overlaps::choose;
  // Splitting must look this much cheaper than settling (its first step
  // against the whole of settling) to be tried.
  double split_advantage = 2.0;
  bool adaptive() const noexcept { return settle_max == ComplexLevelsTuning::kChoose; }
};

// The budget of a split when nothing bounds it (a settle_max forced by tests).
constexpr double kNoLimit = std::numeric_limits<double>::infinity();

// What a group's members hold besides their items: how many vertices all of
// them hold, how many are held by two or more but not all ("spread"), and
// the sum of the holder counts squared of the spread vertices beyond the 64
// most held ("tail").
struct GroupShape {
  std::size_t members = 0;
  std::size_t common = 0;
  std::size_t spread = 0;
  double tail_steps = 0;
};

// Completes the shape from the holder counts of the spread vertices
// (reordered).
template <class Count>
void add_spread(GroupShape& shape, std::vector<Count>& counts) {
  shape.spread = counts.size();
  shape.tail_steps = 0;
  if (counts.size() <= 64) return;
  std::nth_element(counts.begin(), counts.begin() + 63, counts.end(), std::greater<Count>());
  for (auto c = counts.begin() + 64; c != counts.end(); ++c) {
    shape.tail_steps += static_cast<double>(*c) * static_cast<double>(*c);
  }
}

inline double half_square(double m) noexcept { return 0.5 * m * m; }
inline double joins_cost(double m) noexcept { return m * Costs::kJoin; }

// Every pair of m members compared over `words` words of bitsets.
inline double bitset_cost(double members, double words) noexcept {
  if (members * words > static_cast<double>(Costs::kMaxRowWords)) return 1e300;
  return half_square(members) * (words * Costs::kWord + Costs::kPair) + joins_cost(members);
}

// Every pair compared on one word, plus `steps` (the tail's holder counts
// squared) through the vertex index.
inline double core_bitsets_cost(double members, double steps) noexcept {
  return 2 * steps * Costs::kStep + half_square(members) * (Costs::kWord + Costs::kPair) + joins_cost(members);
}

// Counting the group's overlaps the given way.
inline double overlaps_cost(const GroupShape& g, Overlaps how) noexcept {
  const auto m = static_cast<double>(g.members);
  if (how == Overlaps::bitsets) return bitset_cost(m, static_cast<double>(std::max<std::size_t>(1, words_for(g.spread))));
  return core_bitsets_cost(m, g.tail_steps);
}

inline Overlaps cheaper_method(const GroupShape& g, Overlaps forced) {
  if (forced != Overlaps::choose) return forced;
  return overlaps_cost(g, Overlaps::core_bitsets) < overlaps_cost(g, Overlaps::bitsets) ? Overlaps::core_bitsets
                                                                                         : Overlaps::bitsets;
}

inline double settle_cost(const GroupShape& g, Overlaps forced) {
  return overlaps_cost(g, cheaper_method(g, forced));
}

// Settling `members` large simplices together, over `vertices` vertices
// that two of them share, `pair_steps` their holder counts squared (taken
// whole as the core's tail: an upper bound).
inline double settle_all_cost(double members, double vertices, double pair_steps) {
  if (members < 2) return 0;
  return std::min(bitset_cost(members, std::max(1.0, std::ceil(vertices / 64))),
                  core_bitsets_cost(members, pair_steps));
}

// The first step of splitting a record group: tallying and copying its
// items and its children's copies, the core's masks, and a join per member.
inline double split_first_step(double members, double items, double child_slots, double core_members) noexcept {
  return (items + child_slots) * Costs::kSlot + core_members * Costs::kMember + joins_cost(members);
}

// The first step of splitting a mask group: a join per member, and a copy
// of a member per bit it holds.
inline double mask_split_first_step(double members, double bits_held) noexcept {
  return joins_cost(members) + bits_held * Costs::kMember;
}

}  // namespace korvane::complex_detail
