// The documented hierarchical q-components; see hierarchical_q_components.hpp.
#include "reference/hierarchical_q_components.hpp"

#include <cstdint>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

#include "core/failure.hpp"

namespace korvane::reference {

std::int64_t shared_face_dimension(const std::vector<Simplex>& simplices, const std::vector<std::int64_t>& dimensions,
                                   SimplexIndex a, SimplexIndex b, QLevel q) {
  if (a >= simplices.size() || b >= simplices.size() || a >= dimensions.size() || b >= dimensions.size()) {
    throw InternalFailure("simplex index out of range");
  }
  if (dimensions[a] < q || dimensions[b] < q) return -1;

  const Simplex& set_a = simplices[a];
  const Simplex& set_b = simplices[b];
  // Probe the larger set from the smaller one; a's set goes first on a tie.
  const Simplex& iterated = set_a.size() <= set_b.size() ? set_a : set_b;
  const Simplex& probed = set_a.size() <= set_b.size() ? set_b : set_a;
  std::int64_t common = 0;
  for (VertexId v : iterated) {
    if (probed.contains(v)) ++common;
  }
  return common - 1;
}

void process_level_task(const std::vector<Simplex>& simplices, const std::vector<std::int64_t>& dimensions,
                        std::int64_t max_dimension, std::vector<SimplexIndex> task, QLevel level,
                        Hierarchy& hierarchy, std::deque<LevelTask>& queue, InterruptTicker* shared_ticker) {
  std::vector<SimplexIndex> active;
  active.reserve(task.size());
  for (SimplexIndex s : task) {
    if (s >= dimensions.size()) throw InternalFailure("simplex index out of range");
    if (dimensions[s] >= level) active.push_back(s);
  }
  task.clear();
  task.shrink_to_fit();

  const std::size_t active_count = active.size();
  SimplexComponent visited;
  visited.reserve(active_count);
  SimplexComponent component;
  component.reserve(active_count);
  // Each simplex is pushed at most once, so one slot per active simplex is
  // enough and the stack never reallocates.
  std::vector<SimplexIndex> stack(active_count);
  std::size_t stack_size = 0;

  InterruptTicker own_ticker;
  InterruptTicker& ticker = shared_ticker != nullptr ? *shared_ticker : own_ticker;

  for (SimplexIndex start : active) {
    if (visited.contains(start)) continue;

    component.clear();
    stack[stack_size++] = start;
    visited.insert(start);
    component.insert(start);
    std::int64_t smallest_link = std::numeric_limits<std::int64_t>::max();

    while (stack_size > 0) {
      const SimplexIndex current = stack[--stack_size];
      for (SimplexIndex other : active) {
        ticker.tick();
        if (other == current || visited.contains(other)) continue;
        const std::int64_t shared = shared_face_dimension(simplices, dimensions, current, other, level);
        if (shared < level) continue;
        visited.insert(other);
        component.insert(other);
        if (shared < smallest_link) smallest_link = shared;
        stack[stack_size++] = other;
      }
    }

    // The component holds together up to its weakest discovered link; a lone
    // simplex reaches its own dimension.
    const std::int64_t top = component.size() == 1 ? dimensions[start] : smallest_link;
    if (top < level || top >= static_cast<QLevel>(hierarchy.size())) {
      throw InternalFailure("component level outside the hierarchy");
    }
    for (QLevel q = level; q <= top; ++q) {
      // Copy element-wise: a plain copy would keep the bucket array sized for
      // the whole task, gigabytes once thousands of singletons are stored.
      hierarchy[static_cast<std::size_t>(q)].emplace_back(component.begin(), component.end());
    }

    const std::int64_t next = top + 1;
    if (next <= max_dimension) {
      std::vector<SimplexIndex> higher;
      for (SimplexIndex member : component) {
        if (dimensions[member] >= next) higher.push_back(member);
      }
      if (!higher.empty()) queue.push_back(LevelTask{std::move(higher), next});
    }
  }
}

Hierarchy find_hierarchical_q_components(std::vector<Simplex> simplices) {
  if (simplices.empty()) return {};

  std::vector<std::int64_t> dimensions;
  dimensions.reserve(simplices.size());
  std::int64_t max_dimension = -1;
  for (const Simplex& simplex : simplices) {
    const std::int64_t dimension = static_cast<std::int64_t>(simplex.size()) - 1;
    dimensions.push_back(dimension);
    if (dimension > max_dimension) max_dimension = dimension;
  }

  // Only empty simplices: one level, nobody in it.
  if (max_dimension < 0) return Hierarchy(1);

  Hierarchy hierarchy(static_cast<std::size_t>(max_dimension) + 1);

  std::deque<LevelTask> queue;
  std::vector<SimplexIndex> everything(simplices.size());
  for (SimplexIndex i = 0; i < everything.size(); ++i) everything[i] = i;
  queue.push_back(LevelTask{std::move(everything), 0});

  InterruptTicker ticker;
  while (!queue.empty()) {
    LevelTask task = std::move(queue.front());
    queue.pop_front();
    process_level_task(simplices, dimensions, max_dimension, std::move(task.simplices), task.level, hierarchy, queue,
                       &ticker);
  }
  return hierarchy;
}

}  // namespace korvane::reference
