"""The module object, its initialisation and the mapping of native failures."""
import glob
import os
import shutil
import subprocess
import sys
import textwrap

import pytest

import korvane

NAMES = [
    "py_find_hierarchical_q_components",
    "py_calculate_persistent_q_components",
    "py_find_hierarchical_q_components_within_graph",
]


def test_module_attributes():
    assert korvane.__all__ == NAMES
    assert korvane.__doc__ == ""
    public = {name for name in dir(korvane) if not name.startswith("__")}
    assert public == set(NAMES)


@pytest.mark.parametrize("name, signature", list(zip(NAMES, ["(py_simplices)", "(edges, max_q)", "(edges, max_q)"])))
def test_function_attributes(name, signature):
    function = getattr(korvane, name)
    assert function.__name__ == name
    assert function.__text_signature__ == signature
    assert function.__doc__ is None
    assert function.__module__ == "korvane"
    assert function.__self__ is korvane


def run_python(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120)


def test_second_initialisation_raises_import_error_and_leaves_the_first_intact():
    result = run_python(
        """
        import sys, importlib
        import korvane
        first = korvane
        del sys.modules["korvane"]
        try:
            importlib.import_module("korvane")
        except ImportError as e:
            print("ImportError:", e)
        print(first.py_find_hierarchical_q_components([[1, 2]]))
        """
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith("ImportError:")
    assert lines[0].endswith("may only be initialized once per interpreter process")
    assert lines[1] == "[[{0}], [{0}]]"


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm not available")
    out = subprocess.run([nm, "-D", "--defined-only", korvane.__file__], capture_output=True, text=True, check=True)
    symbols = {line.split()[-1] for line in out.stdout.splitlines() if line.strip()}
    assert symbols == {"PyInit_korvane"}


def test_the_shipped_module_holds_no_reference_code():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm not available")
    # The installed module may be stripped; the test build's is not.
    build_dir = os.environ.get("KORVANE_TEST_BUILD_DIR", "")
    checked = 0
    for path in {korvane.__file__, *glob.glob(os.path.join(build_dir, "korvane.*.so"))}:
        out = subprocess.run([nm, "-C", path], capture_output=True, text=True).stdout
        if "korvane::" not in out:
            continue  # no symbol table to read
        checked += 1
        for name in ("korvane::reference::", "CliqueManager", "Dsu", "find_all_q_connected_components"):
            assert name not in out, f"{name} in {path}"
    if checked == 0:
        pytest.skip("no module with a symbol table")


# --------------------------------------------------------------------------
# Native failures, reached through the test-only module's hooks
# --------------------------------------------------------------------------


def test_internal_failure_becomes_panic_exception(reference):
    with pytest.raises(BaseException) as info:
        reference._raise_internal_failure("no entry found for key")
    panic = type(info.value)
    assert f"{panic.__module__}.{panic.__qualname__}" == "pyo3_runtime.PanicException"
    assert panic.__bases__ == (BaseException,)
    assert not issubclass(panic, Exception)
    assert info.value.args == ("no entry found for key",)
    assert panic.__doc__

    # created once per process: the same class every time
    with pytest.raises(panic):
        reference._raise_internal_failure("again")


def test_panic_escapes_except_exception(reference):
    caught_by = None
    try:
        try:
            reference._raise_internal_failure("boom")
        except Exception:
            caught_by = "Exception"
    except BaseException:
        caught_by = "BaseException"
    assert caught_by == "BaseException"


def test_native_allocation_failure_is_memory_error_and_releases_everything(reference):
    import gc

    gc.collect()
    before = len(gc.get_objects())
    for _ in range(200):
        with pytest.raises(MemoryError):
            reference._raise_bad_alloc()
    gc.collect()
    assert len(gc.get_objects()) - before < 50
    # the interpreter stays usable
    assert reference.py_find_hierarchical_q_components([[1]]) == [[{0}]]


def test_the_timing_hook_splits_a_call_into_three_parts(reference):
    for name, args in [("simplices", ([[1, 2], [2, 3]],)), ("graph", ([(1, 2), (2, 3)], None)),
                       ("persistence", ([(1, 2, 1.0), (2, 3, 2.0)], None))]:
        parts = reference._time_parts(name, args)
        assert len(parts) == 3 and all(isinstance(p, float) and p >= 0.0 for p in parts)
    with pytest.raises(ValueError):
        reference._time_parts("nothing", ([],))
    with pytest.raises(OverflowError):
        reference._time_parts("graph", ([(1, 2)], -1))
