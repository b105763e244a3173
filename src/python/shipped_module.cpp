// The shipped module `korvane`: its entry points run the analyses under
// src/analyses. This file is the module's backend (see module.hpp).
#include <utility>
#include <vector>

#include "analyses/clique_complex_levels.hpp"
#include "analyses/complex_levels.hpp"
#include "analyses/persistence.hpp"
#include "python/arguments.hpp"
#include "python/module.hpp"
#include "python/results.hpp"

namespace korvane::py::backend {

PyRef simplices(std::vector<std::vector<VertexId>> simplices) {
  return levels_to_python(complex_levels(std::move(simplices)));
}

PyRef graph(std::vector<Edge> edges, PyObject* max_q) {
  const CliqueSizeBound bound = convert_max_q(max_q);
  auto levels = clique_complex_levels(edges, bound);
  std::vector<Edge>().swap(edges);
  return levels_to_python(std::move(levels));
}

PyRef persistence(std::vector<WeightedEdge> edges, CliqueSizeBound max_q) {
  return records_to_python(persistent_components(std::move(edges), max_q));
}

}  // namespace korvane::py::backend

extern "C" PyMODINIT_FUNC PyInit_korvane(void) { return korvane::py::init_module("korvane", nullptr); }
