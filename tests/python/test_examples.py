"""Smoke tests of the scripts in examples/: each runs in its own interpreter, from a
directory other than the repository, and what it prints is checked against the data,
mostly through computations that do not go through korvane at all."""
from __future__ import annotations

import ast
import importlib.util
import os
import re
import struct
import subprocess
import sys
from pathlib import Path

import pytest

import korvane

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"

LEVEL = re.compile(r"^q=(\d+): (\d+) component\(s\)")
VECTOR = re.compile(r"structure vector \(components per level[^)]*\):? (\[[\d, ]*\])")


def run_example(name, *args, cwd, env=None, timeout=300, code=None):
    """Runs examples/<name> (or `code`, given the script's path as argv[1]) and returns its stdout."""
    command = [sys.executable, str(EXAMPLES / name), *args]
    if code is not None:
        command = [sys.executable, "-c", code, str(EXAMPLES / name), *args]
    full_env = dict(os.environ, MPLBACKEND="Agg", PYTHONIOENCODING="utf-8")
    full_env.update(env or {})
    result = subprocess.run(command, cwd=cwd, env=full_env, capture_output=True, text=True, timeout=timeout,
                            encoding="utf-8")
    assert result.returncode == 0, f"{name} failed:\n{result.stdout}\n{result.stderr}"
    return result.stdout


def structure_vector(output):
    found = VECTOR.findall(output)
    assert len(found) == 1, output
    return ast.literal_eval(found[0])


def components_by_level(output, parse_component):
    """{q: [component, ...]} from 'q=..' headers followed by indented component lines."""
    levels = {}
    current = None
    for line in output.splitlines():
        header = LEVEL.match(line)
        if header:
            current = int(header.group(1))
            levels[current] = {"expected": int(header.group(2)), "components": []}
        elif current is not None and line.startswith("  ") and line.strip():
            levels[current]["components"].append(parse_component(line.strip()))
        elif not line.strip():
            current = None
    for q, level in levels.items():
        assert len(level["components"]) == level["expected"], f"q={q}: count disagrees with the listing"
    return {q: level["components"] for q, level in levels.items()}


# ---------------------------------------------------------------------------
# quickstart.py
# ---------------------------------------------------------------------------


def test_quickstart(tmp_path):
    nx = pytest.importorskip("networkx")
    out = run_example("quickstart.py", cwd=tmp_path)
    lines = (EXAMPLES / "data" / "karate_club.edges").read_text().splitlines()
    edges = [tuple(map(int, line.split())) for line in lines if line.strip() and not line.startswith("#")]
    graph = nx.Graph(edges)
    vector = structure_vector(out)
    # One level per clique size, and level 0 is the one connected club.
    assert len(vector) == max(len(c) for c in nx.find_cliques(graph))
    assert vector[0] == nx.number_connected_components(graph) == 1
    assert "q=0: 1 component(s), sizes [34]" in out
    assert f"{len(edges)} friendships" in out


# ---------------------------------------------------------------------------
# karate_club.py
# ---------------------------------------------------------------------------

MEMBER = re.compile(r"^\s*(\d+) members \[(.*)\]  factions: (.*)$")


def parse_member_line(line):
    match = MEMBER.match(line)
    assert match, line
    size, listed, factions = int(match.group(1)), match.group(2), match.group(3)
    assert "more)" not in listed, "run with a large --show so that every member is listed"
    labels = listed.split(", ")
    assert all(re.fullmatch(r"club-member-\d+", label) for label in labels), listed
    members = frozenset(int(label.rsplit("-", 1)[1]) - 1 for label in labels)  # back to networkx's node ids
    assert len(members) == size
    split = {}
    for part in factions.split(", "):
        club, count = part.rsplit(" ", 1)
        split[club] = int(count)
    return members, split


@pytest.mark.parametrize("max_q", [None, 3])
def test_karate_club(tmp_path, max_q):
    nx = pytest.importorskip("networkx")
    args = ["--show", "40"] + ([] if max_q is None else ["--max-q", str(max_q)])
    out = run_example("karate_club.py", *args, cwd=tmp_path)
    graph = nx.karate_club_graph()
    levels = components_by_level(out, parse_member_line)
    vector = structure_vector(out)
    assert vector == [len(levels[q]) for q in sorted(levels)]

    cliques = [frozenset(c) for c in nx.enumerate_all_cliques(graph)]
    largest = max(len(c) for c in cliques)
    top = (largest if max_q is None else min(max_q, largest)) - 1
    assert sorted(levels) == list(range(top + 1))
    # Level 0 is the whole (connected) club.
    assert [members for members, _ in levels[0]] == [frozenset(graph)]
    # At the top level, a simplex is q-near only to itself: one component per clique of top + 1 members.
    assert sorted(sorted(m) for m, _ in levels[top]) == sorted(sorted(c) for c in cliques if len(c) == top + 1)
    # Every component is a union of cliques of q + 1 members, so each member is in one.
    for q, components in levels.items():
        for members, split in components:
            assert len(members) >= q + 1
            expected = {}
            for m in members:
                club = graph.nodes[m]["club"]
                expected[club] = expected.get(club, 0) + 1
            assert split == expected
    assert f"{graph.number_of_edges()} friendships" in out


# ---------------------------------------------------------------------------
# southern_women.py
# ---------------------------------------------------------------------------


def expected_q_components(simplices):
    """q-components straight from the definition: simplices of at least q + 1 vertices,
    joined when they share at least q + 1, closed under chains (networkx's components)."""
    nx = pytest.importorskip("networkx")
    names = list(simplices)
    top = max(len(s) for s in simplices.values()) - 1
    levels = {}
    for q in range(top + 1):
        graph = nx.Graph()
        graph.add_nodes_from(n for n in names if len(simplices[n]) >= q + 1)
        graph.add_edges_from((a, b) for i, a in enumerate(graph) for b in list(graph)[i + 1:]
                             if len(simplices[a] & simplices[b]) >= q + 1)
        levels[q] = sorted(sorted(c) for c in nx.connected_components(graph))
    return levels


@pytest.mark.parametrize("conjugate", [False, True])
def test_southern_women(tmp_path, conjugate):
    nx = pytest.importorskip("networkx")
    out = run_example("southern_women.py", *(["--conjugate"] if conjugate else []), cwd=tmp_path)
    graph = nx.davis_southern_women_graph()
    women, events = graph.graph["top"], graph.graph["bottom"]
    if conjugate:
        simplices = {e: set(graph.neighbors(e)) for e in events}
    else:
        simplices = {w: set(graph.neighbors(w)) for w in women}

    def parse(line):
        assert line.startswith("{") and line.endswith("}"), line
        return line[1:-1].split(", ")

    printed = {}
    for q, components in components_by_level(out, parse).items():
        printed[q] = sorted(sorted(c) for c in components)
    assert printed == expected_q_components(simplices)
    assert structure_vector(out) == [len(printed[q]) for q in sorted(printed)]
    # Each simplex is listed with its dimension.
    for name, vertices in simplices.items():
        assert re.search(rf"^  {re.escape(name)}\s+dimension {len(vertices) - 1} ", out, re.M), name


# ---------------------------------------------------------------------------
# persistence_les_miserables.py
# ---------------------------------------------------------------------------

RUN = re.compile(r"^lifetime\s+(\d+): born at\s+(\d+), (still present at the end|gone at (\d+)); "
                 r"(\d+) characters \{(.*)\}$")


def les_miserables():
    rows = []
    for line in (EXAMPLES / "data" / "les_miserables.tsv").read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            a, b, count = line.split("\t")
            rows.append((a, b, int(count)))
    return rows


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    width, height = struct.unpack(">II", data[16:24])
    return width, height


def test_persistence_les_miserables(tmp_path):
    png = tmp_path / "plots" / "barcode.png"
    have_matplotlib = importlib.util.find_spec("matplotlib") is not None
    args = ["--max-q", "3", "--top", "100000", "--show", "100"]  # every run listed
    args += ["--output", str(png)] if have_matplotlib else ["--no-plot"]
    out = run_example("persistence_les_miserables.py", *args, cwd=tmp_path)

    rows = les_miserables()
    names = sorted({a for a, _, _ in rows} | {b for _, b, _ in rows})
    assert f"{len(names)} characters, {len(rows)} co-occurring pairs" in out
    assert "strongest tie to\nthe weakest" in out

    # The same filtration, computed here: weight = -count.
    ids = {n: i for i, n in enumerate(names)}
    records = korvane.py_calculate_persistent_q_components([(ids[a], ids[b], -c) for a, b, c in rows], 3)
    runs = {}
    for (q, vertices), birth, death in records:
        runs.setdefault(q, []).append((frozenset(names[v] for v in vertices), round(-birth), round(-death)))
    final = korvane.py_find_hierarchical_q_components_within_graph([(ids[a], ids[b]) for a, b, _ in rows], 3)
    present_at_end = {(q, frozenset(names[v] for v in c)) for q, level in enumerate(final) for c in level}

    headers = re.findall(r"^q=(\d+): (\d+) run\(s\); the longest-lived:$", out, re.M)
    assert {int(q): int(n) for q, n in headers} == {q: len(r) for q, r in runs.items()}
    assert sorted(runs) == [0, 1, 2]  # cliques of at most 3 characters: levels 0 to 2

    current = None
    listed = {}
    survivors = set()
    for line in out.splitlines():
        header = re.match(r"^q=(\d+): ", line)
        if header:
            current = int(header.group(1))
            listed[current] = []
        elif current is not None and line.startswith("  lifetime"):
            match = RUN.match(line.strip())
            assert match, line
            lifetime, birth = int(match.group(1)), int(match.group(2))
            survives = match.group(4) is None
            members = frozenset(match.group(6).split(", "))
            assert len(members) == int(match.group(5))
            if survives:
                survivors.add((current, members))
                death = min(c for _, _, c in rows)
            else:
                death = int(match.group(4))
            assert lifetime == birth - death >= 0
            listed[current].append((members, birth, death))
    # Every run once, the longest first, and exactly the components of the whole graph marked as survivors.
    for q, printed in listed.items():
        assert sorted(printed, key=repr) == sorted(runs[q], key=repr)
        lifetimes = [b - d for _, b, d in printed]
        assert lifetimes == sorted(lifetimes, reverse=True), f"q={q}: not longest first"
    assert survivors == present_at_end
    # The strongest tie of the book is the first component of level 0.
    a, b, strongest = max(rows, key=lambda r: r[2])
    assert any(m == {a, b} and birth == strongest for m, birth, _ in runs[0])

    if have_matplotlib:
        assert f"barcode saved to {png}" in out
        width, height = png_size(png)
        assert width >= 600 and height >= 400
        assert png.stat().st_size > 10_000  # bars, labels and legend, not an empty canvas
    else:
        assert "matplotlib is not installed" in out


def test_persistence_without_matplotlib_prints_a_note(tmp_path):
    # Runs the script with matplotlib made unimportable.
    code = ("import sys, runpy; sys.modules['matplotlib'] = None; script = sys.argv[1]; "
            "sys.argv = sys.argv[1:]; runpy.run_path(script, run_name='__main__')")
    png = tmp_path / "barcode.png"
    out = run_example("persistence_les_miserables.py", "--max-q", "2", "--top", "1", "--output", str(png),
                      cwd=tmp_path, code=code)
    assert "matplotlib is not installed: no barcode drawn" in out
    assert not png.exists()
    # The analysis itself still ran, listing one run per level.
    assert re.findall(r"^q=(\d+): ", out, re.M) == ["0", "1"]
    assert len(re.findall(r"^  lifetime", out, re.M)) == 2


# ---------------------------------------------------------------------------
# batch_dask.py
# ---------------------------------------------------------------------------


def load_example(name):
    spec = importlib.util.spec_from_file_location(f"example_{name}", EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module  # dataclasses look their module up while the class is built
    spec.loader.exec_module(module)
    return module


def expected_batch(graphs, nodes, p, max_q):
    """Mean runs per level and mean edges, computed here graph by graph without Dask."""
    batch = load_example("batch_dask")
    per_level = {}
    edges = 0
    for seed in range(graphs):
        graph = batch.random_weighted_graph(seed, nodes, p)
        edges += len(graph)
        for (q, _), _, _ in korvane.py_calculate_persistent_q_components(graph, max_q):
            per_level[q] = per_level.get(q, 0) + 1
    levels = max(per_level) + 1
    return [round(per_level.get(q, 0) / graphs, 2) for q in range(levels)], edges / graphs


def check_batch_output(out, graphs, workers, threads):
    runs, edges = expected_batch(graphs, 14, 0.3, None)
    assert f"mean edges per graph: {edges:.1f}" in out
    printed = re.search(r"mean runs of q-components per level: (\[.*\])", out)
    assert printed and ast.literal_eval(printed.group(1)) == runs
    rate = re.search(rf"{graphs} graphs in ([\d.]+) s: ([\d.]+) graphs per second with {workers} worker\(s\), "
                     rf"{threads} thread\(s\)", out)
    assert rate, out
    assert float(rate.group(2)) > 0


@pytest.mark.parametrize("workers, threads", [(2, 1), (1, 2)])
def test_batch_dask_on_a_local_cluster(tmp_path, workers, threads):
    pytest.importorskip("distributed")
    out = run_example("batch_dask.py", "--graphs", "12", "--nodes", "14", "--p", "0.3", "--workers", str(workers),
                      "--threads", str(threads), "--chunk", "3", cwd=tmp_path)
    assert (f"12 graphs G(14, 0.3) with random weights, on a local cluster of {workers} worker process(es) with "
            f"{workers * threads} thread(s) in all, 4 tasks") in out
    check_batch_output(out, 12, workers, workers * threads)


def test_batch_dask_on_a_running_scheduler(tmp_path):
    distributed = pytest.importorskip("distributed")
    # A scheduler with one worker process on this machine stands in for a remote cluster.
    with distributed.LocalCluster(n_workers=1, threads_per_worker=1, processes=True, dashboard_address=None,
                                  host="127.0.0.1") as cluster:
        address = cluster.scheduler_address
        out = run_example("batch_dask.py", "--graphs", "6", "--nodes", "14", "--p", "0.3",
                          "--scheduler", address, cwd=tmp_path)
    assert f"on the cluster at {address} of 1 worker process(es) with 1 thread(s) in all" in out
    check_batch_output(out, 6, 1, 1)
