// One record of a filtration's result: a component, identified by its level
// and its exact vertex set, with the weights of its birth and its death.
// Both persistence analyses, shipped and documented, return these.
#pragma once

#include "core/ascending.hpp"
#include "core/ids.hpp"

namespace korvane {

struct PersistentComponent {
  QLevel q;
  VertexSet vertices;
  double birth;
  double death;
};

}  // namespace korvane
