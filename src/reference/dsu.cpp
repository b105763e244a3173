// The documented disjoint-set forest over cliques; see dsu.hpp.
#include "reference/dsu.hpp"

namespace korvane::reference {

void Dsu::make_set(CliqueId id, const Clique& clique) {
  if (contains(id)) return;
  parent[id] = id;
  vertices[id] = std::set<VertexId>(clique.begin(), clique.end());
  members[id] = HashSet<CliqueId>{id};
  size[id] = 1;
}

std::optional<CliqueId> Dsu::find(CliqueId x) {
  // Iterative: first locate the root, then re-point the path at it. A broken
  // chain (a parent that is not a key) reports empty and changes nothing.
  auto entry = parent.find(x);
  if (entry == parent.end()) return std::nullopt;
  CliqueId root = x;
  CliqueId next = entry->second;
  while (next != root) {
    root = next;
    auto step = parent.find(root);
    if (step == parent.end()) return std::nullopt;
    next = step->second;
  }
  CliqueId node = x;
  while (node != root) {
    CliqueId& link = lookup(parent, node);
    node = link;
    link = root;
  }
  return root;
}

void Dsu::unite(CliqueId a, CliqueId b) {
  const std::optional<CliqueId> ra = find(a);
  const std::optional<CliqueId> rb = find(b);
  if (!ra || !rb || *ra == *rb) return;
  const std::size_t sa = lookup(size, *ra);
  const std::size_t sb = lookup(size, *rb);
  const CliqueId surviving = sa < sb ? *rb : *ra;
  const CliqueId absorbed = sa < sb ? *ra : *rb;

  lookup(parent, absorbed) = surviving;

  auto absorbed_vertices = vertices.extract(absorbed);
  if (absorbed_vertices.empty()) throw InternalFailure("no entry found for key");
  std::set<VertexId>& kept_vertices = lookup(vertices, surviving);
  for (VertexId v : absorbed_vertices.mapped()) kept_vertices.insert(v);

  auto absorbed_members = members.extract(absorbed);
  if (absorbed_members.empty()) throw InternalFailure("no entry found for key");
  HashSet<CliqueId>& kept_members = lookup(members, surviving);
  for (CliqueId id : absorbed_members.mapped()) kept_members.insert(id);

  auto absorbed_size = size.extract(absorbed);
  if (absorbed_size.empty()) throw InternalFailure("no entry found for key");
  lookup(size, surviving) += absorbed_size.mapped();
}

std::vector<VertexSet> Dsu::root_vertex_sets() const {
  std::vector<VertexSet> result;
  for (const auto& [id, up] : parent) {
    if (id != up) continue;
    const std::set<VertexId>& set = lookup(vertices, id);
    result.push_back(VertexSet::from_ascending(set.begin(), set.end()));
  }
  return result;
}

std::vector<HashSet<CliqueId>> Dsu::root_member_sets() const {
  std::vector<HashSet<CliqueId>> result;
  for (const auto& [id, up] : parent) {
    if (id != up) continue;
    result.push_back(lookup(members, id));
  }
  return result;
}

}  // namespace korvane::reference
