"""The installed type stubs (korvane-stubs) against the module, against mypy's reading
of typical and wrong calls, and the examples under mypy's strict mode."""
from __future__ import annotations

import importlib.util
import os
import re
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]

if importlib.util.find_spec("mypy") is None:
    if os.environ.get("KORVANE_REQUIRE_TYPING") == "1":
        pytest.fail("mypy is not installed (pip install '.[test]')", pytrace=False)
    pytest.skip("mypy is not installed", allow_module_level=True)


@pytest.fixture(scope="module")
def cache_dir(tmp_path_factory):
    # One cache for the module's runs, outside the work tree.
    return tmp_path_factory.mktemp("mypy-cache")


def run(args, cwd, env=None, timeout=600):
    full_env = dict(os.environ)
    full_env.pop("MYPYPATH", None)
    full_env.update(env or {})
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, env=full_env, capture_output=True, text=True,
                          timeout=timeout)


def mypy(source, tmp_path, cache_dir):
    """Type-checks `source` strictly; returns {line number: [messages]} and the whole output."""
    (tmp_path / "snippet.py").write_text(textwrap.dedent(source))
    (tmp_path / "mypy.ini").write_text("[mypy]\n")  # no project settings: --strict alone
    result = run(["mypy", "--strict", "--no-error-summary", "--cache-dir", str(cache_dir), "--config-file", "mypy.ini",
                  "snippet.py"], cwd=tmp_path)
    by_line = {}
    for line in result.stdout.splitlines():
        match = re.match(r"^snippet\.py:(\d+): (\w+): (.*)$", line)
        if match:
            by_line.setdefault(int(match.group(1)), []).append((match.group(2), match.group(3)))
    return by_line, result.stdout + result.stderr


def test_stubtest_finds_the_stubs_faithful_to_the_module(tmp_path):
    result = run(["mypy.stubtest", "korvane"], cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_stubtest_catches_a_signature_that_drifts_from_the_module(tmp_path):
    # A stub with a default for max_q and a renamed parameter, found ahead of the installed one.
    (tmp_path / "stubs").mkdir()
    (tmp_path / "stubs" / "korvane.pyi").write_text(textwrap.dedent("""\
        from typing import Sequence, SupportsIndex
        __all__ = ["py_find_hierarchical_q_components", "py_calculate_persistent_q_components",
                   "py_find_hierarchical_q_components_within_graph"]
        def py_find_hierarchical_q_components(simplices: Sequence[Sequence[SupportsIndex]]) -> list[list[set[int]]]: ...
        def py_calculate_persistent_q_components(
            edges: Sequence[tuple[SupportsIndex, SupportsIndex, float]], max_q: SupportsIndex | None
        ) -> list[tuple[tuple[int, list[int]], float, float]]: ...
        def py_find_hierarchical_q_components_within_graph(
            edges: Sequence[tuple[SupportsIndex, SupportsIndex]], max_q: SupportsIndex | None = None
        ) -> list[list[set[int]]]: ...
        """))
    result = run(["mypy.stubtest", "korvane"], cwd=tmp_path, env={"MYPYPATH": str(tmp_path / "stubs")})
    assert result.returncode != 0
    assert "korvane.py_find_hierarchical_q_components" in result.stdout
    assert "korvane.py_find_hierarchical_q_components_within_graph" in result.stdout


def test_results_have_precise_types(tmp_path, cache_dir):
    by_line, output = mypy("""\
        from typing import NamedTuple
        import korvane

        class Edge(NamedTuple):
            u: int
            v: int

        class Weighted(NamedTuple):
            u: int
            v: int
            weight: float

        reveal_type(korvane.py_find_hierarchical_q_components([[1, 2, 3], (3, 4), range(5), b"ab", [True]]))
        reveal_type(korvane.py_find_hierarchical_q_components_within_graph([(1, 2), Edge(2, 3)], None))
        reveal_type(korvane.py_calculate_persistent_q_components([(1, 2, 0.5), (2, 3, 1), Weighted(1, 3, 2.0)], 3))
        reveal_type(korvane.py_calculate_persistent_q_components(edges=[(1, 2, True)], max_q=None))
        reveal_type(korvane.py_find_hierarchical_q_components(py_simplices=[]))
        reveal_type(korvane.__all__)
        """, tmp_path, cache_dir)
    # Older mypy releases qualify builtin names ("builtins.int"), newer ones do not.
    revealed = {line: text.replace("builtins.", "") for line, messages in by_line.items()
                for kind, text in messages if kind == "note"}
    errors = {line: m for line, m in by_line.items() if any(kind == "error" for kind, _ in m)}
    assert not errors, output
    levels = 'Revealed type is "list[list[set[int]]]"'
    records = 'Revealed type is "list[tuple[tuple[int, list[int]], float, float]]"'
    assert revealed == {
        13: levels,
        14: levels,
        15: records,
        16: records,
        17: levels,
        18: 'Revealed type is "list[str]"',
    }, output


def test_wrong_calls_are_type_errors(tmp_path, cache_dir):
    wrong = [
        "korvane.py_find_hierarchical_q_components([[1.5, 2]])",               # float vertex
        "korvane.py_find_hierarchical_q_components([['a']])",                   # str vertex
        "korvane.py_find_hierarchical_q_components([{1, 2}])",                  # a set is no sequence
        "korvane.py_find_hierarchical_q_components()",                          # missing argument
        "korvane.py_find_hierarchical_q_components([[1]], [[2]])",              # too many
        "korvane.py_find_hierarchical_q_components_within_graph([(1, 2)])",     # max_q has no default
        "korvane.py_find_hierarchical_q_components_within_graph([[1, 2]], None)",  # a list is no pair
        "korvane.py_find_hierarchical_q_components_within_graph([(1, 2, 3)], None)",  # a triple is no pair
        "korvane.py_find_hierarchical_q_components_within_graph([(1, 2)], 1.5)",  # float bound
        "korvane.py_find_hierarchical_q_components_within_graph([(1, 2)], max_k=2)",  # unknown keyword
        "korvane.py_calculate_persistent_q_components([(1, 2)], None)",         # no weight
        "korvane.py_calculate_persistent_q_components([(1, 2, 'x')], None)",    # str weight
        "korvane.py_calculate_persistent_q_components([(1.0, 2, 0.5)], None)",  # float vertex
        "x: list[set[int]] = korvane.py_calculate_persistent_q_components([], None)",  # wrong result type
    ]
    source = "import korvane\n" + "".join(line + "\n" for line in wrong)
    by_line, output = mypy(source, tmp_path, cache_dir)
    for number, call in enumerate(wrong, start=2):
        assert any(kind == "error" for kind, _ in by_line.get(number, [])), f"accepted: {call}\n{output}"


def test_examples_are_type_clean_under_strict_mypy(cache_dir):
    # [tool.mypy] in pyproject.toml: strict, over examples/.
    result = run(["mypy", "--config-file", str(ROOT / "pyproject.toml"), "--cache-dir", str(cache_dir)], cwd=ROOT)
    assert result.returncode == 0, result.stdout + result.stderr
    assert re.search(r"Success: no issues found in \d+ source files", result.stdout), result.stdout
    checked = int(re.search(r"in (\d+) source files", result.stdout).group(1))
    assert checked == len(list((ROOT / "examples").glob("*.py")))
