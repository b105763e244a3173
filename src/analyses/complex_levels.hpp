// Hierarchical q-components of a simplicial complex, as shipped: for every
// level q from 0 to the largest simplex dimension, the classes of simplices
// of dimension >= q under "joined by a chain of simplices sharing at least
// q + 1 vertices", found without scanning all pairs of a level.
#pragma once

#include <cstddef>
#include <vector>

#include "core/ids.hpp"
#include "core/packed_sets.hpp"

namespace korvane {

// The components of one level, each the ascending positions of its
// simplices.
using FlatLevel = PackedSets<SimplexIndex>;

// Knobs of the analysis. The defaults are what the module uses; tests turn
// them to force every internal path on small inputs. Every setting yields the
// same components, only the work differs.
struct ComplexLevelsTuning {
  // Simplices with more vertices than this are "large": they never drive the
  // shared-subset walk (whose cost grows with 2^size) and are matched against
  // each other by direct overlap counting instead.
  std::size_t small_simplex_max = 16;
  // A group of simplices sharing a vertex subset that has at most this many
  // members is compared pair by pair rather than split further.
  std::size_t pairwise_group_max = 12;
  // Use 64-bit internal indices even when 32 bits would do.
  bool wide_indices = false;
};

// Levels by q (position = q). Each inner vector is one simplex's vertices, in
// any order, repeats allowed; the vectors are consumed. Every level lists its
// components by ascending smallest position, members ascending. No simplex
// gives no level; only empty simplices give one empty level.
std::vector<FlatLevel> complex_levels(std::vector<std::vector<VertexId>> simplices,
                                      const ComplexLevelsTuning& tuning = {});

}  // namespace korvane
