// Hierarchical q-components of a simplicial complex: for every level q from 0
// to the largest simplex dimension, the classes of simplices of dimension >= q
// under "joined by a chain of simplices sharing at least q + 1 vertices".
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "common/types.hpp"

namespace korvane {

// One simplex: its distinct vertices.
using Simplex = HashSet<VertexId>;
// One component: the input positions of its simplices.
using SimplexComponent = HashSet<SimplexIndex>;
// Levels by q (position = q), each the components in the order recorded.
using Hierarchy = std::vector<std::vector<SimplexComponent>>;

// A set of simplices still to be split at one level.
struct LevelTask {
  std::vector<SimplexIndex> simplices;
  std::uint64_t level;
};

// Level 0 lists its components in ascending order of their smallest index;
// the order of the other levels' components is not defined.
Hierarchy find_hierarchical_q_components(std::vector<Simplex> simplices);

// Splits one task into components, records each at every level it spans and
// queues its higher-dimensional members one level above its top level.
// Tasks are often tiny, so the caller shares one ticker across all of them.
void process_level_task(const std::vector<Simplex>& simplices, const std::vector<std::int64_t>& dimensions,
                        std::int64_t max_dimension, std::vector<SimplexIndex> task, std::uint64_t level,
                        Hierarchy& hierarchy, std::deque<LevelTask>& queue, InterruptTicker* ticker = nullptr);

// Shared vertices of simplices a and b minus 1; -1 when either has dimension
// below q.
std::int64_t shared_face_dimension(const std::vector<Simplex>& simplices, const std::vector<std::int64_t>& dimensions,
                                   SimplexIndex a, SimplexIndex b, std::uint64_t q);

namespace fast {

// Components of one level stored flat: component i is
// members[starts[i] .. starts[i + 1]); starts has one entry more than there
// are components.
struct FlatLevel {
  std::vector<SimplexIndex> members;
  std::vector<std::size_t> starts{0};
  std::size_t size() const noexcept { return starts.size() - 1; }
};

// Same levels and components as the reference above, level 0 in the same
// order. Each inner vector is one simplex's vertices, in any order, repeats
// allowed; the vectors are consumed. Every level lists its components by
// ascending smallest index, each component's members ascending.
std::vector<FlatLevel> find_hierarchical_q_components(std::vector<std::vector<VertexId>> simplices);

}  // namespace fast
}  // namespace korvane
