"""Pure-Python ways to do korvane's three jobs: the baseline a Python user
would write with networkx and a union-find. Same inputs, same result shapes.
"""

import math

import networkx as nx


def find_root(parent, x):
    """The root of x in a forest of parent links (a dict or a list), with the
    path compressed."""
    root = x
    while parent[root] != root:
        root = parent[root]
    while parent[x] != root:
        parent[x], x = root, parent[x]
    return root


class UnionFind:
    def __init__(self):
        self.parent = {}

    def add(self, x):
        self.parent.setdefault(x, x)

    def find(self, x):
        return find_root(self.parent, x)

    def union(self, a, b):
        ra, rb = self.find(a), self.find(b)
        if ra != rb:
            self.parent[rb] = ra


# ---------------------------------------------------------------------------
# Simplicial complex: pairwise set intersections
# ---------------------------------------------------------------------------



def _sets_and_top(py_simplices):
    """The simplices as sets, and the top level (None without a nonempty simplex)."""
    sets = [set(s) for s in py_simplices]
    top = max((len(s) for s in sets), default=0) - 1
    return sets, (top if top >= 0 else None)


def _holders_by_vertex(sets):
    """vertex -> positions of the sets holding it, ascending."""
    by_vertex = {}
    for i, members in enumerate(sets):
        for v in members:
            by_vertex.setdefault(v, []).append(i)
    return by_vertex

def hierarchical_q_components(py_simplices):
    """Levels 0..max dimension of q-components, as sets of simplex positions.

    Every pair of simplices that shares a vertex is intersected once; a pair
    sharing k vertices is q-near for every q < k.
    """
    sets, top = _sets_and_top(py_simplices)
    if top is None:
        return [] if not sets else [[]]
    by_vertex = _holders_by_vertex(sets)
    # pairs_by_shared[k] holds the pairs sharing exactly k vertices.
    pairs_by_shared = [[] for _ in range(top + 2)]
    for i, s in enumerate(sets):
        partners = set()
        for v in s:
            partners.update(by_vertex[v])
        for j in partners:
            if j > i:
                pairs_by_shared[len(s & sets[j])].append((i, j))
    by_size = [[] for _ in range(top + 2)]
    for i, s in enumerate(sets):
        by_size[len(s)].append(i)

    levels = _sweep_levels(top, by_size, pairs_by_shared, lambda i: (i,))
    levels[0].sort(key=min)
    return levels


def inverted_index_q_components(py_simplices):
    """The same levels from shared-vertex counts and one union-find per level.

    A vertex -> simplices index gives, for each simplex, how many vertices it
    shares with every earlier simplex; a pair sharing w vertices is joined at
    levels w-1 down to 0 (stopping at the first level where the pair is already
    together: levels nest, so it is together on every level below too).
    """
    sets, top = _sets_and_top(py_simplices)
    if top is None:
        return [] if not sets else [[]]
    n = len(sets)
    parents = [list(range(n)) for _ in range(top + 1)]

    holders = {}
    for i, s in enumerate(sets):
        count = {}
        for v in s:
            earlier = holders.get(v)
            if earlier is None:
                holders[v] = [i]
                continue
            for j in earlier:
                count[j] = count.get(j, 0) + 1
            earlier.append(i)
        for j, w in count.items():
            for q in range(w - 1, -1, -1):
                parent = parents[q]
                ri, rj = find_root(parent, i), find_root(parent, j)
                if ri == rj:
                    break
                parent[ri] = rj

    levels = []
    for q in range(top + 1):
        parent = parents[q]
        groups = {}
        for i, s in enumerate(sets):
            if len(s) > q:
                groups.setdefault(find_root(parent, i), set()).add(i)
        levels.append(list(groups.values()))
    return levels


def _sweep_levels(top, by_size, pairs_by_shared, content):
    """Levels top..0 from one growing union-find: level q adds the items of
    q + 1 elements and the pairs sharing exactly q + 1; each class is reported
    as the union of content(i) over its items."""
    uf = UnionFind()
    members = []
    levels = [None] * (top + 1)
    for q in range(top, -1, -1):
        for i in by_size[q + 1]:
            uf.add(i)
            members.append(i)
        for i, j in pairs_by_shared[q + 1]:
            uf.union(i, j)
        groups = {}
        for i in members:
            groups.setdefault(uf.find(i), set()).update(content(i))
        levels[q] = list(groups.values())
    return levels


# ---------------------------------------------------------------------------
# Clique complex of a graph
# ---------------------------------------------------------------------------


def _graph_from_edges(edges):
    graph = nx.Graph()
    for u, v in edges:
        if u == v:
            graph.add_node(u)
        else:
            graph.add_edge(u, v)
    return graph


def _levels_from_maximal_cliques(graph):
    """Unbounded cliques: two maximal cliques sharing k vertices are q-near for q < k."""
    cliques = [frozenset(c) for c in nx.find_cliques(graph)]
    if not cliques:
        return []
    top = max(len(c) for c in cliques) - 1
    by_vertex = _holders_by_vertex(cliques)
    pairs_by_shared = [[] for _ in range(top + 2)]
    for i, c in enumerate(cliques):
        shared = {}
        for v in c:
            for j in by_vertex[v]:
                if j > i:
                    shared[j] = shared.get(j, 0) + 1
        for j, k in shared.items():
            pairs_by_shared[k].append((i, j))
    by_size = [[] for _ in range(top + 2)]
    for i, c in enumerate(cliques):
        by_size[len(c)].append(i)
    return _sweep_levels(top, by_size, pairs_by_shared, lambda i: cliques[i])


def _levels_from_bounded_cliques(graph, bound):
    """Cliques of at most `bound` vertices: at level q the (q+1)-cliques are
    joined through the (q+2)-cliques that contain them."""
    by_size = [[] for _ in range(bound + 1)]
    for c in nx.enumerate_all_cliques(graph):
        if len(c) > bound:
            break
        by_size[len(c)].append(tuple(sorted(c)))
    levels = []
    for q in range(bound):
        nodes = by_size[q + 1]
        if not nodes:
            break
        uf = UnionFind()
        for c in nodes:
            uf.add(c)
        if q + 2 <= bound:
            for c in by_size[q + 2]:
                first = c[1:]
                for drop in range(1, len(c)):
                    uf.union(first, c[:drop] + c[drop + 1:])
        groups = {}
        for c in nodes:
            groups.setdefault(uf.find(c), set()).update(c)
        levels.append(list(groups.values()))
    return levels


def _graph_levels(graph, max_q):
    if max_q is None:
        return _levels_from_maximal_cliques(graph)
    return _levels_from_bounded_cliques(graph, max(1, max_q))


def graph_q_components(edges, max_q):
    return _graph_levels(_graph_from_edges(edges), max_q)


# ---------------------------------------------------------------------------
# Persistence: recompute after every admitted edge
# ---------------------------------------------------------------------------


def persistent_q_components(edges, max_q):
    admitted = sorted((e for e in edges if math.isfinite(float(e[2]))), key=lambda e: float(e[2]))
    graph = nx.Graph()
    active = {}
    records = []
    weight = None
    for u, v, w in admitted:
        weight = float(w)
        if u == v:
            graph.add_node(u)
        else:
            graph.add_edge(u, v)
        present = {(q, frozenset(c)) for q, level in enumerate(_graph_levels(graph, max_q)) for c in level}
        for key in [k for k in active if k not in present]:
            records.append(((key[0], sorted(key[1])), active.pop(key), weight))
        for key in present:
            if key not in active:
                active[key] = weight
    for key, birth in active.items():
        records.append(((key[0], sorted(key[1])), birth, weight))
    return records


FUNCTIONS = {
    "simplices": hierarchical_q_components,
    "inv": inverted_index_q_components,
    "graph": graph_q_components,
    "persistence": persistent_q_components,
}
