// One disjoint-set forest per level of the complex analysis, fed by facts
// "simplices a and b share at least w vertices".
#pragma once

#include <cstddef>
#include <vector>

#include "analyses/complex/simplex_table.hpp"
#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "core/union_find.hpp"

namespace korvane::complex_detail {

// Level q >= 1 is a forest over the ids below at_least[q]. Level 0 joins
// every pair sharing a vertex, so its forest is over vertex ranks instead: a
// simplex sits with its vertices, and joining through vertices stays within
// a table that is small and scanned in order.
template <class Idx>
class LevelForests {
 public:
  LevelForests(const SimplexTable<Idx>& table, InterruptTicker& ticker) : table_(table) {
    forests_.reserve(table.max_size);
    forests_.emplace_back(table.vertex_count);
    for (std::size_t q = 1; q < table.max_size; ++q) forests_.emplace_back(table.at_least[q]);
    for (Record<Idx> rec : table.records.records(0, table.records.end_offset())) {
      for (const Idx* v = rec.begin() + 1; v < rec.end(); ++v) forests_[0].unite(*rec.begin(), *v);
      ticker.tick(rec.size() + 1);
    }
    for (const auto& [twin, kept] : table.twins) join(twin, kept, table.record(twin).size());
  }

  // Records that simplices a and b (ids) share at least `shared` vertices.
  // Level 0 has all its joins already. Levels nest, so the fact walks down
  // from level shared - 1 and stops at the first level where a and b are
  // already together: each merge is paid for once.
  void join(Idx a, Idx b, std::size_t shared) {
    if (shared <= 1) return;
    if (shared > table_.max_size || a >= table_.at_least[shared - 1] || b >= table_.at_least[shared - 1]) {
      throw InternalFailure("shared vertices exceed a simplex size");
    }
    for (std::size_t q = shared - 1; q >= 1; --q) {
      if (!forests_[q].unite(a, b)) return;  // together here, hence on every level below
    }
  }

  // The root that stands for simplex `id`'s component at level q.
  Idx component_of(std::size_t q, Idx id) {
    return q == 0 ? forests_[0].find(*table_.record(id).begin()) : forests_[q].find(id);
  }

 private:
  const SimplexTable<Idx>& table_;
  std::vector<UnionFind<Idx>> forests_;
};

}  // namespace korvane::complex_detail
