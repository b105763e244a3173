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


@pytest.fixture(scope="session")
def reference():
    module = _reference_module()
    if module is None:
        if os.environ.get("KORVANE_REQUIRE_REFERENCE") == "1":
            pytest.fail("korvane_reference was not built (configure with -DKORVANE_BUILD_TESTS=ON)")
        pytest.skip("korvane_reference not built")
    return module


# Hypothesis example counts follow the active profile. tests/sanitize.sh
# selects the light one, since sanitized code runs several times slower. A test
# that sets its own count follows it only if it scales that count from
# settings.default.
from hypothesis import settings as _hypothesis_settings  # noqa: E402

_hypothesis_settings.register_profile("sanitize", max_examples=20, deadline=None)
if os.environ.get("KORVANE_HYPOTHESIS_PROFILE"):
    _hypothesis_settings.load_profile(os.environ["KORVANE_HYPOTHESIS_PROFILE"])
