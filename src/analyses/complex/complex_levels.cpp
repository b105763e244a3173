// Hierarchical q-components without scanning all pairs of a level.
//
// If simplices a and b share w vertices they are joined at every level
// 0 .. w-1, and nowhere above. The hierarchy is therefore fixed by facts
// "a and b share at least w vertices", as long as every pair that shares
// vertices is covered by a chain of facts at its full overlap. Each fact goes
// into one disjoint-set forest per level (simplex_forests.hpp). Level 0 needs
// no facts: it is the vertex-sharing closure.
//
// The facts come from two sources. Large simplices are settled all together
// (group_settler.hpp: every pair's overlap counted through bitsets or a
// vertex index, a maximum spanning forest of them joined). The rest are
// found by a walk over shared vertex subsets (subset_walk.hpp), which covers
// every pair with a small member. Which simplices count as large is chosen
// per input from estimates of both parts (large_simplices.hpp). Equal
// simplices are joined up front and only one of them takes part in either.
// Every choice of strategy is a line of one table: strategy.hpp.
#include "analyses/complex/complex_levels.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "analyses/complex/group_settler.hpp"
#include "analyses/complex/large_simplices.hpp"
#include "analyses/complex/simplex_forests.hpp"
#include "analyses/complex/simplex_table.hpp"
#include "analyses/complex/subset_walk.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane {

namespace {

using namespace complex_detail;

// Reads the forests out. Every level lists its components by ascending
// smallest index, members ascending; level 0 needs that order, the others
// get it for free. Participants of level q in ascending index order are those
// of level q + 1 merged with the simplices of exactly q + 1 vertices.
template <class Idx>
std::vector<FlatLevel> collect_levels(const SimplexTable<Idx>& table, SimplexForests<Idx>& forests,
                                      InterruptTicker& ticker) {
  std::vector<FlatLevel> levels(table.max_size);
  std::vector<Idx> current;
  std::vector<Idx> merged;
  std::vector<Idx> label(std::max(table.simplices(), table.vertex_count), kNone<Idx>);
  std::vector<Idx> roots;
  std::vector<Idx> component_of;
  std::vector<std::size_t> cursor;
  for (std::size_t q = table.max_size; q-- > 0;) {
    const Idx* exact_begin = table.original.data() + table.at_least[q + 1];
    const Idx* exact_end = table.original.data() + table.at_least[q];
    merged.resize(current.size() + static_cast<std::size_t>(exact_end - exact_begin));
    std::merge(current.begin(), current.end(), exact_begin, exact_end, merged.begin());
    current.swap(merged);

    roots.clear();
    component_of.resize(current.size());
    for (std::size_t j = 0; j < current.size(); ++j) {
      const Idx r = forests.component_of(q, table.position[current[j]]);
      if (label[r] == kNone<Idx>) {
        label[r] = static_cast<Idx>(roots.size());
        roots.push_back(r);
      }
      component_of[j] = label[r];
      ticker.tick();
    }
    FlatLevel& level = levels[q];
    level.starts.assign(roots.size() + 1, 0);
    for (Idx c : component_of) ++level.starts[static_cast<std::size_t>(c) + 1];
    for (std::size_t c = 0; c < roots.size(); ++c) level.starts[c + 1] += level.starts[c];
    level.items.resize(current.size());
    cursor.assign(level.starts.begin(), level.starts.end() - 1);
    for (std::size_t j = 0; j < current.size(); ++j) level.items[cursor[component_of[j]]++] = current[j];
    for (Idx r : roots) label[r] = kNone<Idx>;
    ticker.tick(current.size());
  }
  return levels;
}

template <class Idx>
std::vector<FlatLevel> run(SimplexList& simplices, const ComplexLevelsTuning& tuning) {
  InterruptTicker ticker;
  SimplexTable<Idx> table = build_table<Idx>(simplices, ticker);
  // Which simplices are large (strategy.hpp).
  const std::size_t small_max = tuning.small_simplex_max == ComplexLevelsTuning::kChoose
                                    ? choose_small_max(table, ticker)
                                    : tuning.small_simplex_max;
  table.first_small = table.at_least[std::min(small_max, table.max_size)];
  SimplexForests<Idx> forests(table, ticker);
  GroupSettler<Idx> settler(table.vertex_count, forests, tuning.overlaps, ticker);
  settle_large(table, settler);
  const WalkPolicy policy{tuning.pairwise_group_max, tuning.twin_check_min,
                          std::min<std::size_t>(tuning.mask_vertices_max, 64), tuning.overlaps,
                          tuning.split_advantage};
  // Only pairs with a small member of two or more vertices are left.
  if (table.first_small < table.at_least[1]) SimplexSubsetWalk<Idx>(table, forests, settler, policy, ticker).run();
  return collect_levels(table, forests, ticker);
}

}  // namespace

std::vector<FlatLevel> complex_levels(SimplexList simplices, const ComplexLevelsTuning& tuning) {
  if (simplices.count() == 0) return {};
  if (simplices.items.empty()) return std::vector<FlatLevel>(1);

  // Every index of the analysis (ids, ranks, record offsets) is below the
  // record table's length, so 32 bits serve whenever that table fits below
  // the reserved value; they halve the memory of every table (strategy.hpp).
  const std::size_t record_slots = simplices.items.size() + RecordStore<std::uint32_t>::slots(0) * simplices.count();
  if (!tuning.wide_indices && record_slots < index_limit<std::uint32_t>()) return run<std::uint32_t>(simplices, tuning);
  return run<std::uint64_t>(simplices, tuning);
}

}  // namespace korvane
