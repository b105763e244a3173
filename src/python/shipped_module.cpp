// The shipped module `korvane`: its entry points run the analyses under
// src/analyses. This file is the module's backend (see module.hpp).
#include <utility>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/persistence/persistence.hpp"
#include "python/arguments.hpp"
#include "python/interpreter_lock.hpp"
#include "python/module.hpp"
#include "python/results.hpp"

namespace korvane::py::backend {

PyRef simplices(SimplexList simplices) {
  const std::size_t count = simplices.count();
  std::vector<FlatLevel> levels = lock_free([&] { return complex_levels(std::move(simplices)); });
  return levels_to_python(std::move(levels), count);
}

PyRef graph(std::vector<Edge> edges, PyObject* max_q) {
  const CliqueSizeBound bound = convert_max_q(max_q);
  LevelsBuilder builder;
  lock_free([&] { clique_complex_levels(std::move(edges), bound, builder.sink()); });
  return builder.finish();
}

PyRef persistence(std::vector<WeightedEdge> edges, CliqueSizeBound max_q) {
  RecordsBuilder builder;
  lock_free([&] { persistent_components(std::move(edges), max_q, builder.sink()); });
  return builder.finish();
}

}  // namespace korvane::py::backend

extern "C" PyMODINIT_FUNC PyInit_korvane(void) { return korvane::py::init_module("korvane", nullptr); }
