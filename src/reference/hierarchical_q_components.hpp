// The documented hierarchical q-components of a simplicial complex: a
// first-in-first-out queue of level tasks, each split by a depth-first search
// over pairwise shared-face tests. Test-only: it is the oracle the shipped
// complex analysis is checked against.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "core/hashing.hpp"
#include "core/ids.hpp"
#include "core/interrupt.hpp"

namespace korvane::reference {

// One simplex: its distinct vertices.
using Simplex = HashSet<VertexId>;
// One component: the input positions of its simplices.
using SimplexComponent = HashSet<SimplexIndex>;
// Levels by q (position = q), each the components in the order recorded.
using Hierarchy = std::vector<std::vector<SimplexComponent>>;

// A set of simplices still to be split at one level.
struct LevelTask {
  std::vector<SimplexIndex> simplices;
  QLevel level;
};

// Level 0 lists its components in ascending order of their smallest index;
// the order of the other levels' components is not defined.
Hierarchy find_hierarchical_q_components(std::vector<Simplex> simplices);

// Splits one task into components, records each at every level it spans and
// queues its higher-dimensional members one level above its top level.
// Tasks are often tiny, so the caller shares one ticker across all of them.
void process_level_task(const std::vector<Simplex>& simplices, const std::vector<std::int64_t>& dimensions,
                        std::int64_t max_dimension, std::vector<SimplexIndex> task, QLevel level,
                        Hierarchy& hierarchy, std::deque<LevelTask>& queue, InterruptTicker* ticker = nullptr);

// Shared vertices of simplices a and b minus 1; -1 when either has dimension
// below q.
std::int64_t shared_face_dimension(const std::vector<Simplex>& simplices, const std::vector<std::int64_t>& dimensions,
                                   SimplexIndex a, SimplexIndex b, QLevel q);

}  // namespace korvane::reference
