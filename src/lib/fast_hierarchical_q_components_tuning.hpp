// Knobs of the fast hierarchical q-components. The defaults are what the
// module uses; tests turn them to force every internal path on small inputs.
// Every setting yields the same components, only the work differs.
#pragma once

#include <cstddef>
#include <vector>

#include "lib/hierarchical_q_components.hpp"

namespace korvane::fast {

struct HierarchyTuning {
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

std::vector<FlatLevel> find_hierarchical_q_components(std::vector<std::vector<VertexId>> simplices,
                                                      const HierarchyTuning& tuning);

}  // namespace korvane::fast
