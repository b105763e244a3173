#!/usr/bin/env bash
# Installs korvane with its test dependencies, builds the C++ tests and the
# test-only reference module, and runs every test: GoogleTest through ctest,
# then pytest. Fails on the first failure.
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
"$PYTHON" -m pip install -q cmake ninja
"$PYTHON" -m pip install -q ".[test]"

cmake -S . -B "$BUILD_DIR" -G Ninja -DKORVANE_BUILD_TESTS=ON -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"

KORVANE_TEST_BUILD_DIR="$BUILD_DIR" KORVANE_REQUIRE_REFERENCE=1 KORVANE_REQUIRE_TYPING=1 "$PYTHON" -m pytest tests/python "$@"
