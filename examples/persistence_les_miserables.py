"""Persistent q-components of the Les Misérables co-occurrence network.

Two characters are joined by an edge weighted by the number of chapters in which
both appear. The script admits the pairs from the strongest tie to the weakest and
follows every q-component of the growing clique complex from the count at which it
appears to the count at which it is gone. It prints the longest-lived components of
each level and, when matplotlib is installed, saves their barcode as a PNG.

    python examples/persistence_les_miserables.py [--max-q N] [--top K] [--output PNG | --no-plot]

Reads examples/data/les_miserables.tsv; needs nothing but korvane (matplotlib for the plot).
"""
from __future__ import annotations

import argparse
from dataclasses import dataclass
from pathlib import Path
from typing import Sequence

import korvane

HERE = Path(__file__).resolve().parent
DATA = HERE / "data" / "les_miserables.tsv"
DEFAULT_PNG = HERE / "output" / "les_miserables_barcode.png"


@dataclass(frozen=True)
class Bar:
    """One run of one q-component, in co-occurrence counts (birth >= death)."""

    q: int
    members: tuple[str, ...]
    birth: int
    death: int
    survives: bool

    @property
    def lifetime(self) -> int:
        return self.birth - self.death


def read_cooccurrences(path: Path) -> list[tuple[str, str, int]]:
    """Tab-separated rows: character, character, number of shared chapters; '#' starts a comment."""
    rows = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            a, b, count = line.split("\t")
            rows.append((a, b, int(count)))
    return rows


def persistent_bars(rows: list[tuple[str, str, int]], max_q: int | None) -> list[Bar]:
    names = sorted({a for a, _, _ in rows} | {b for _, b, _ in rows})
    ids = {name: i for i, name in enumerate(names)}
    # korvane admits edges by ascending weight; weight = -count puts the strongest ties first.
    edges = [(ids[a], ids[b], -count) for a, b, count in rows]
    records = korvane.py_calculate_persistent_q_components(edges, max_q)

    # The components of the whole graph are the ones still present at the end; they
    # are the last records of the list, one record each.
    final = korvane.py_find_hierarchical_q_components_within_graph([(u, v) for u, v, _ in edges], max_q)
    survivors = len({(q, frozenset(c)) for q, level in enumerate(final) for c in level})
    first_survivor = len(records) - survivors

    return [
        Bar(q=q, members=tuple(names[v] for v in vertices), birth=round(-birth), death=round(-death),
            survives=index >= first_survivor)
        for index, ((q, vertices), birth, death) in enumerate(records)
    ]


def ranking(bar: Bar) -> tuple[int, int, int, tuple[str, ...]]:
    """Longest first; ties by earlier birth, then size, then names, so every run prints the same."""
    return (-bar.lifetime, -bar.birth, -len(bar.members), bar.members)


def show_members(members: tuple[str, ...], limit: int) -> str:
    listed = ", ".join(members[:limit])
    more = f", ... ({len(members) - limit} more)" if len(members) > limit else ""
    return "{" + listed + more + "}"


def save_barcode(bars: list[Bar], path: Path, weakest: int, strongest: int) -> None:
    """One horizontal bar per run of positive length, grouped and coloured by q."""
    import matplotlib

    matplotlib.use("Agg")  # files only: no display needed
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    levels = sorted({bar.q for bar in bars})
    ordered = sorted(bars, key=lambda b: (b.q, -b.birth, -b.lifetime, b.members))
    colours = plt.get_cmap("tab10")
    gap = 3  # empty rows between two levels

    fig, ax = plt.subplots(figsize=(10, max(4.0, 1.5 + 0.055 * (len(ordered) + gap * len(levels)))))
    row, previous = 0, None
    centres: dict[int, list[int]] = {}
    ticks: list[float] = []
    for bar in ordered:
        if previous is not None and bar.q != previous:
            row += gap
        previous = bar.q
        centres.setdefault(bar.q, []).append(row)
        # The x axis runs from strong ties to weak ones, so a bar starts at its birth count.
        ax.barh(row, bar.death - bar.birth, left=bar.birth, height=0.8, color=colours(bar.q % 10),
                hatch="///" if bar.survives else None, edgecolor="white" if bar.survives else None,
                linewidth=0)
        row += 1
    for q in levels:
        ticks.append(sum(centres[q]) / len(centres[q]))
    ax.set_yticks(ticks)
    ax.set_yticklabels([f"q={q}" for q in levels])
    ax.set_ylim(row, -1)  # q = 0 on top
    # Decreasing counts, the order the pairs enter in; most ties are weak, so a log
    # scale gives the crowded low counts the room.
    ax.set_xscale("log")
    ax.set_xlim(strongest * 1.08, weakest * 0.92)
    count_ticks = [c for c in (1, 2, 3, 4, 5, 7, 10, 15, 20, 30, 50, 100) if weakest <= c <= strongest]
    ax.set_xticks(count_ticks)
    ax.set_xticklabels([str(c) for c in count_ticks])
    ax.minorticks_off()
    ax.set_xlabel("co-occurrence count (chapters shared, log scale): "
                  "pairs enter from the strongest tie (left) to the weakest")
    ax.set_ylabel("q-components, grouped by level q")
    ax.set_title("Les Misérables: barcode of the q-components as ties weaken "
                 f"({len(ordered)} runs of positive length)")
    ax.grid(axis="x", alpha=0.3)
    ax.legend(handles=[Patch(facecolor="grey", hatch="///", edgecolor="white", label="still present at the end")],
              loc="lower left")
    fig.tight_layout()
    path.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--max-q", type=int, default=None,
                        help="largest number of vertices of a clique that is formed (default: no bound)")
    parser.add_argument("--top", type=int, default=3, help="components listed per level (default 3)")
    parser.add_argument("--show", type=int, default=8, help="members listed per component (default 8)")
    parser.add_argument("--output", type=Path, default=DEFAULT_PNG, help=f"barcode PNG (default {DEFAULT_PNG})")
    parser.add_argument("--no-plot", action="store_true", help="do not draw the barcode")
    args = parser.parse_args(argv)

    rows = read_cooccurrences(DATA)
    counts = [count for _, _, count in rows]
    characters = {a for a, _, _ in rows} | {b for _, b, _ in rows}
    print(f"Les Misérables: {len(characters)} characters, {len(rows)} co-occurring pairs, "
          f"counts {min(counts)} to {max(counts)} chapters.")
    print("Filtration: the weight of a pair is minus its count, so the pairs enter from the strongest tie to\n"
          "the weakest. A component 'born at 9' is present once every pair sharing 9 or more chapters is in;\n"
          "'gone at 4' means that admitting the pairs of count 4 merged it into a larger one or grew it.")

    bars = persistent_bars(rows, args.max_q)
    flat = sum(1 for bar in bars if bar.lifetime == 0)
    print(f"{len(bars)} runs of q-components; {flat} of them last zero counts "
          "(they live between two pairs of equal count).")

    for q in sorted({bar.q for bar in bars}):
        at_level = sorted((bar for bar in bars if bar.q == q), key=ranking)
        print(f"\nq={q}: {len(at_level)} run(s); the longest-lived:")
        for bar in at_level[: args.top]:
            end = "still present at the end" if bar.survives else f"gone at {bar.death}"
            print(f"  lifetime {bar.lifetime:2d}: born at {bar.birth:2d}, {end}; "
                  f"{len(bar.members)} characters {show_members(bar.members, args.show)}")

    if args.no_plot:
        return
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("\nmatplotlib is not installed: no barcode drawn (pip install matplotlib).")
        return
    save_barcode([bar for bar in bars if bar.lifetime > 0], args.output, min(counts), max(counts))
    print(f"\nbarcode saved to {args.output}")


if __name__ == "__main__":
    main()
