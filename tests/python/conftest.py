import glob
import importlib
import os
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _reference_module():
    """The test-only build of the documented algorithms, if it has been built.

    It lives in the C++ test build directory (KORVANE_TEST_BUILD_DIR, default
    build/tests) and is never installed.
    """
    build_dir = os.environ.get("KORVANE_TEST_BUILD_DIR", os.path.join(ROOT, "build", "tests"))
    if not glob.glob(os.path.join(build_dir, "korvane_reference*.so")):
        return None
    if build_dir not in sys.path:
        sys.path.insert(0, build_dir)
    return importlib.import_module("korvane_reference")


def _require_reference():
    module = _reference_module()
    if module is None:
        if os.environ.get("KORVANE_REQUIRE_REFERENCE") == "1":
            pytest.fail("korvane_reference was not built (configure with -DKORVANE_BUILD_TESTS=ON)")
        pytest.skip("korvane_reference not built")
    return module


@pytest.fixture(scope="session")
def reference():
    return _require_reference()


class Backend:
    """The three analyses of one implementation, under short names."""

    def __init__(self, simplices, graph, persistence):
        self.simplices = simplices
        self.graph = graph
        self.persistence = persistence


def _shipped():
    import korvane

    return Backend(korvane.py_find_hierarchical_q_components,
                   korvane.py_find_hierarchical_q_components_within_graph,
                   korvane.py_calculate_persistent_q_components)


def _documented():
    ref = _require_reference()
    return Backend(ref.py_find_hierarchical_q_components,
                   ref.py_find_hierarchical_q_components_within_graph,
                   ref.py_calculate_persistent_q_components)


@pytest.fixture(params=["shipped", "reference"])
def backend(request):
    """The shipped module, then the documented algorithms behind the same bindings."""
    return _shipped() if request.param == "shipped" else _documented()


# Settings of the shipped complex analysis that between them drive every
# internal path on small inputs: (small_simplex_max, pairwise_group_max,
# wide_indices); CHOOSE leaves a choice to the analysis's estimates. Every
# setting must give the same components.
CHOOSE = 2**64 - 1
TUNINGS = {
    "walk only": (1000, 0, False),
    "all large": (0, 0, False),
    "mixed": (3, 2, False),
    "pairs only": (1000, 1000, False),
    "wide mixed": (2, 1, True),
    "wide, chosen": (CHOOSE, CHOOSE, True),
    "large chosen, walk only": (CHOOSE, 0, False),
}


@pytest.fixture(params=["shipped", "reference", *TUNINGS])
def find_simplices(request):
    """Every way to compute the components of a complex."""
    if request.param == "shipped":
        return _shipped().simplices
    if request.param == "reference":
        return _documented().simplices
    hook = _require_reference()._shipped_simplices
    small, pairwise, wide = TUNINGS[request.param]
    return lambda simplices: hook(simplices, small, pairwise, wide)


# Registers and loads the Hypothesis profiles before any test module asks for a count.
import examples_count  # noqa: E402,F401


def pytest_report_header(config):
    import korvane

    return f"korvane: {korvane.__file__}"


def pytest_configure(config):
    # The nox sessions test the installed wheel: stop at once if korvane would be
    # imported from anywhere but the session's virtualenv.
    expected = os.environ.get("KORVANE_EXPECT_INSTALLED_IN")
    if expected:
        import korvane

        location = os.path.realpath(korvane.__file__)
        if not location.startswith(os.path.realpath(expected) + os.sep):
            raise pytest.UsageError(f"korvane is imported from {location}, not from {expected}")
