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
"$PYTHON" -m pip install -q cmake ninja "nox>=2024.4.15" uv

# The same core and analyses are compiled for the C++ tests and for every
# session's test module: ccache, where it can be had, compiles them once.
if ! command -v ccache >/dev/null && command -v apt-get >/dev/null && [ "$(id -u)" = 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ccache >/dev/null || true
fi
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR="${CCACHE_DIR:-$(pwd)/build/ccache}" CCACHE_BASEDIR="$(pwd)"
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DKORVANE_BUILD_TESTS=ON -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"

# All five sessions, in two lanes at once: most of a session is a test run on
# one core. A missing interpreter fails its session. Each lane's output is
# prefixed with its name.
LANES=("tests-3.11 tests-3.9 tests-3.12" "tests-3.10 tests-3.13")
pids=()
for lane in "${LANES[@]}"; do
  # shellcheck disable=SC2086
  ( "$PYTHON" -m nox -s $lane -- "$@" 2>&1 | sed -u "s/^/[${lane%% *}..] /" ; exit "${PIPESTATUS[0]}" ) &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
exit "$failed"
