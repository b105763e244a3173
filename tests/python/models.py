"""Small pure-Python models of q-connectivity, written from the definitions."""
from itertools import combinations


class UnionFind:
    def __init__(self, items):
        self.parent = {x: x for x in items}

    def find(self, x):
        root = x
        while self.parent[root] != root:
            root = self.parent[root]
        while self.parent[x] != root:
            self.parent[x], x = root, self.parent[x]
        return root

    def union(self, a, b):
        ra, rb = self.find(a), self.find(b)
        if ra != rb:
            self.parent[rb] = ra

    def classes(self):
        out = {}
        for x in self.parent:
            out.setdefault(self.find(x), set()).add(x)
        return list(out.values())


def simplicial_levels(simplices):
    """q-components of a complex: levels of lists of sets of simplex indices,
    level 0 ordered by smallest index."""
    sets = [frozenset(s) for s in simplices]
    if not sets:
        return []
    top = max(len(s) for s in sets) - 1
    if top < 0:
        return [[]]
    levels = []
    for q in range(top + 1):
        members = [i for i, s in enumerate(sets) if len(s) - 1 >= q]
        uf = UnionFind(members)
        for a, b in combinations(members, 2):
            if len(sets[a] & sets[b]) >= q + 1:
                uf.union(a, b)
        levels.append(sorted(uf.classes(), key=min))
    return levels


def as_level_sets(levels):
    """Levels as sets of frozensets: the content, without the unspecified order."""
    return [{frozenset(c) for c in level} for level in levels]


def simple_graph(edges):
    """The networkx graph of an edge list: every endpoint a vertex, loops
    dropped, repeats merged."""
    import networkx as nx

    g = nx.Graph()
    for u, v in edges:
        g.add_node(u)
        g.add_node(v)
        if u != v:
            g.add_edge(u, v)
    return g


def clique_complex_levels(edges, max_q):
    """q-components of a graph's clique complex, from the definition.

    Every clique of at most B vertices is a simplex (B = max_q, 0 counting as 1,
    or the number of vertices when max_q is None). At level q the (q+1)-vertex
    cliques are joined when they lie in a common larger simplex; each component
    is the union of its cliques' vertices. Returns levels of sorted lists of
    sorted vertex tuples (a multiset per level)."""
    import networkx as nx

    g = simple_graph(edges)
    n = g.number_of_nodes()
    bound = n if max_q is None else max(max_q, 1)
    if n == 0:
        return []
    cliques = [frozenset(c) for c in nx.enumerate_all_cliques(g) if len(c) <= bound]
    top = max(len(c) for c in cliques)
    levels = []
    for q in range(top):
        k = q + 1
        members = [c for c in cliques if len(c) == k]
        uf = UnionFind(members)
        for c in cliques:
            if len(c) > k:
                faces = [frozenset(f) for f in combinations(sorted(c), k)]
                for f in faces[1:]:
                    uf.union(faces[0], f)
        levels.append(sorted(tuple(sorted(frozenset().union(*cls))) for cls in uf.classes()))
    return levels


def as_level_multisets(levels):
    return [sorted(tuple(sorted(c)) for c in level) for level in levels]
