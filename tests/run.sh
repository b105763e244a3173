#!/usr/bin/env bash
# Installs what the tests need and runs every test: GoogleTest through ctest,
# then the Python suite on every supported CPython (3.9 to 3.13), each against a
# wheel built from the sdist for that interpreter (noxfile.py, one session per
# version, each with its own virtualenv holding the test dependencies). Fails on
# the first failure. Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
BUILD_DIR=${KORVANE_TEST_BUILD_DIR:-build/tests}

# GoogleTest comes from the system's packages.
if ! { [ -f /usr/include/gtest/gtest.h ] || [ -f /usr/local/include/gtest/gtest.h ]; }; then
  if command -v apt-get >/dev/null && [ "$(id -u)" = 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq libgtest-dev binutils >/dev/null
  else
    echo "GoogleTest is missing: install libgtest-dev (Debian/Ubuntu) and run again" >&2
    exit 1
  fi
fi

"$PYTHON" -m pip install -q --upgrade pip
"$PYTHON" -m pip install -q cmake ninja "nox>=2024.4.15"

cmake -S . -B "$BUILD_DIR" -G Ninja -DKORVANE_BUILD_TESTS=ON -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"

# All five sessions; a missing interpreter fails its session.
"$PYTHON" -m nox -- "$@"
