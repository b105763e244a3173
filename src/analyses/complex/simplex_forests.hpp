// The levels of the complex analysis as nested forests (shared/
// nested_forests.hpp), fed by facts "simplices a and b share at least w
// vertices".
#pragma once

#include <cstddef>

#include "analyses/complex/simplex_table.hpp"
#include "analyses/shared/nested_forests.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"

namespace korvane::complex_detail {

// Level q >= 1 is a forest over the ids below at_least[q]. Level 0 joins
// every pair sharing a vertex, so its forest is over vertex ranks instead: a
// simplex sits with its vertices, and joining through vertices stays within
// a table that is small and scanned in order.
template <class Idx>
class SimplexForests {
 public:
  SimplexForests(const SimplexTable<Idx>& table, InterruptTicker& ticker) : table_(table), levels_(table.max_size) {
    levels_.set(0, table.vertex_count);
    for (std::size_t q = 1; q < table.max_size; ++q) levels_.set(q, table.at_least[q]);
    UnionFind<Idx>& vertices = levels_.level(0);
    for (Record<Idx> rec : table.records.records(0, table.records.end_offset())) {
      for (const Idx* v = rec.begin() + 1; v < rec.end(); ++v) vertices.unite(*rec.begin(), *v);
      ticker.tick(rec.size() + 1);
    }
    for (const auto& [twin, kept] : table.twins) join(twin, kept, table.record(twin).size());
  }

  // Records that simplices a and b (ids) share at least `shared` vertices:
  // they are joined on levels shared - 1 down to 1. Level 0 has all its
  // joins already.
  void join(Idx a, Idx b, std::size_t shared) {
    if (shared <= 1) return;
    if (shared > table_.max_size || a >= table_.at_least[shared - 1] || b >= table_.at_least[shared - 1]) {
      throw InternalFailure("shared vertices exceed a simplex size");
    }
    levels_.unite_down(a, b, shared - 1, 1);
  }

  // The root that stands for simplex `id`'s component at level q.
  Idx component_of(std::size_t q, Idx id) {
    return q == 0 ? levels_.find(0, *table_.record(id).begin()) : levels_.find(q, id);
  }

 private:
  const SimplexTable<Idx>& table_;
  NestedForests<Idx> levels_;
};

}  // namespace korvane::complex_detail
