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
