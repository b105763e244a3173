// Hierarchical q-components of a simplicial complex, as shipped: for every
// level q from 0 to the largest simplex dimension, the classes of simplices
// of dimension >= q under "joined by a chain of simplices sharing at least
// q + 1 vertices", found without scanning all pairs of a level.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "core/ids.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

// The components of one level, each the ascending positions of its
// simplices.
using FlatLevel = PackedSets<SimplexIndex>;

// Knobs of the analysis. By default every choice is made per input (or per
// group of simplices) from estimates of the work (the strategy table:
// strategy.hpp); tests set them to force every internal path on small
// inputs. Every setting yields the same components, only the work differs.
struct ComplexLevelsTuning {
  static constexpr std::size_t kChoose = std::numeric_limits<std::size_t>::max();
  // Simplices with more vertices than this are "large": they never drive the
  // walk over shared vertex subsets (whose cost can grow with 2^size) and
  // are settled among themselves all at once.
  std::size_t small_simplex_max = kChoose;
  // A group of simplices sharing a vertex subset that has at most this many
  // members is settled at once (every pair's overlap counted) rather than
  // split further. kChoose: each group takes the cheaper by estimate, and a
  // split that outgrows settling stops and settles.
  std::size_t pairwise_group_max = kChoose;
  // Use 64-bit internal indices even when 32 bits would do.
  bool wide_indices = false;
  // How a settled group counts its overlaps: bitsets over its vertices, or
  // one-word bitsets over its 64 most held vertices and an index from vertex
  // to members for the rest.
  enum class Overlaps { choose, bitsets, core_bitsets };
  Overlaps overlaps = Overlaps::choose;
  // Groups of the walk with at least this many members merge members with
  // equal copies before anything else.
  std::size_t twin_check_min = 16;
  // Groups of the walk whose copies hold at most this many vertices shared
  // by some but not all members (64 at most) are walked as bitmasks.
  std::size_t mask_vertices_max = 64;
  // With pairwise_group_max at kChoose: splitting must look this much
  // cheaper than settling (its first step against all of settling) to be
  // tried.
  double split_advantage = 2.0;
};

// Levels by q (position = q); the simplices are consumed. Every level lists
// its components by ascending smallest position, members ascending. No
// simplex gives no level; only empty simplices give one empty level.
std::vector<FlatLevel> complex_levels(SimplexList simplices, const ComplexLevelsTuning& tuning = {});

}  // namespace korvane
