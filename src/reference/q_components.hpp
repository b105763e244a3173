// The documented per-level q-components of a graph's clique complex: every
// clique up to the bound registered, one disjoint-set forest over the cliques
// of each size, levels built from the top down. Test-only: it is the oracle
// the shipped clique-complex analysis is checked against.
#pragma once

#include <set>
#include <vector>

#include "core/ascending.hpp"
#include "core/failure.hpp"
#include "core/hashing.hpp"
#include "core/ids.hpp"

namespace korvane::reference {

// Lookup that the algorithm expects to succeed; a miss is an invariant
// violation, never undefined behaviour.
template <class Map, class Key>
auto& lookup(Map& map, const Key& key) {
  auto it = map.find(key);
  if (it == map.end()) throw InternalFailure("no entry found for key");
  return it->second;
}

// Vertex to its neighbours, ascending. Symmetric when built from edges.
using AdjacencyMap = HashMap<VertexId, std::set<VertexId>>;

// Level q -> one vertex set per q-component. Keys are exactly 0 .. L-1, L the
// size of the largest clique formed; the order of components within a level
// is not defined.
using ComponentsByLevel = HashMap<QLevel, std::vector<VertexSet>>;

// `graph` is only read.
ComponentsByLevel find_all_q_connected_components(const AdjacencyMap& graph, CliqueSizeBound max_q);

}  // namespace korvane::reference
