// The maximal cliques of a graph as the level construction reads them.
//
// A clique is known by its id: its place when the cliques are ordered by size
// descending (then in the order they were found), so the cliques of at least
// s vertices are exactly the ids below at_least(s). The cliques of one size
// form a run stored back to back, so a clique's place follows from its id and
// no offset is kept per clique.
//
// A clique is stored as its vertices' ranks in degeneracy order, ascending,
// as the clique search finds it (see DegeneracyGraph): an order that puts
// the vertices of dense cores, held by many cliques, last, so that the
// overlap walk extends shared subsets from rare vertices to popular ones.
// Vertices below are ranks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "analyses/graph/dense_graph.hpp"

namespace korvane {

class CliqueTable {
 public:
  // runs[s]: the cliques of s vertices back to back, each ascending, in a
  // graph of `vertex_count` vertices; none of fewer than two vertices; fewer
  // cliques in all than index_limit<CliqueIndex>(). `runs` is kept as
  // it is, without a copy.
  CliqueTable(std::vector<std::vector<DenseVertex>> runs, std::size_t vertex_count);

  std::size_t count() const noexcept { return at_least(1); }
  std::size_t vertex_count() const noexcept { return vertex_count_; }
  // Vertices of the largest clique; 0 without cliques.
  std::size_t largest() const noexcept { return at_least_.size() - 2; }
  // Cliques of at least s vertices (s >= 1).
  std::size_t at_least(std::size_t s) const noexcept { return s < at_least_.size() ? at_least_[s] : 0; }

  // One clique's vertices. Precondition: id < count(). Costs a search over
  // the sizes; for_each() walks a range of ids without it.
  struct Vertices {
    const DenseVertex* first;
    const DenseVertex* last;
    std::size_t size() const noexcept { return static_cast<std::size_t>(last - first); }
    const DenseVertex* begin() const noexcept { return first; }
    const DenseVertex* end() const noexcept { return last; }
  };
  Vertices clique(std::size_t id) const noexcept {
    const std::size_t s = size_of(id);
    const DenseVertex* first = runs_[s].data() + (id - at_least_[s + 1]) * s;
    return Vertices{first, first + s};
  }

  std::size_t size_of(std::size_t id) const noexcept {
    // at_least_[s] > id holds exactly for s = 0 .. size of the clique, and
    // s >= 2. Small cliques are the common case: try the smallest first.
    const std::size_t largest = at_least_.size() - 2;
    const std::size_t tried = std::min<std::size_t>(largest, 8);
    for (std::size_t s = 2; s <= tried; ++s) {
      if (at_least_[s + 1] <= id) return s;
    }
    return larger_size_of(id);
  }

  // Calls f(id, vertices) for every id in [first, last), ascending.
  template <class F>
  void for_each(std::size_t first, std::size_t last, F&& f) const {
    std::size_t id = first;
    while (id < last) {
      const std::size_t s = size_of(id);
      const std::size_t run_end = std::min(last, at_least_[s]);
      const DenseVertex* at = clique(id).first;
      for (; id < run_end; ++id, at += s) f(id, Vertices{at, at + s});
    }
  }

 private:
  std::size_t larger_size_of(std::size_t id) const noexcept;

  // at_least_[s] for s = 0 .. largest + 1; the entry past the largest is 0.
  std::vector<std::size_t> at_least_{0, 0};
  // runs_[s]: the cliques of s vertices back to back.
  std::vector<std::vector<DenseVertex>> runs_;
  std::size_t vertex_count_ = 0;
};

}  // namespace korvane
