// The documented disjoint-set forest over clique ids, each set carrying the
// union of its cliques' vertices, its member ids and its clique count.
// Test-only: the shipped analyses use core/union_find.hpp.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <vector>

#include "reference/clique_manager.hpp"

namespace korvane::reference {

// Fields are public so the finder and the tests can read the forest directly;
// only the methods below write them.
class Dsu {
 public:
  // Every added id is a key; a key mapped to itself is a root.
  HashMap<CliqueId, CliqueId> parent;
  // Root -> ascending union of the vertex sets of its cliques.
  HashMap<CliqueId, std::set<VertexId>> vertices;
  // Root -> ids of its cliques, the root included.
  HashMap<CliqueId, HashSet<CliqueId>> members;
  // Root -> number of cliques in its set.
  HashMap<CliqueId, std::size_t> size;

  // No effect when id is already present, whatever the clique.
  void make_set(CliqueId id, const Clique& clique);
  // Root of x, re-pointing every id on the way at it; empty for unknown ids.
  std::optional<CliqueId> find(CliqueId x);
  // The union operation. The set with more cliques survives; on a tie the
  // root of `a` does. Unknown ids change nothing.
  void unite(CliqueId a, CliqueId b);
  bool contains(CliqueId id) const { return parent.find(id) != parent.end(); }

  // One entry per set, in the iteration order of `parent`.
  std::vector<VertexSet> root_vertex_sets() const;
  std::vector<HashSet<CliqueId>> root_member_sets() const;
};

}  // namespace korvane::reference
