#!/usr/bin/env bash
# Builds korvane and korvane_reference with AddressSanitizer,
# UndefinedBehaviorSanitizer and the standard library's own checks
# (_GLIBCXX_ASSERTIONS: bounds of every vector and span access) into
# build/asan, then runs the C++ tests and the whole Python suite against that
# build. Any sanitizer report fails the run,
# including one from a child process that a test expected to die.
#
# Needs what tests/run.sh installs (GoogleTest, CMake, Ninja, the test extras);
# extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
BUILD_DIR=$(pwd)/${KORVANE_ASAN_BUILD_DIR:-build/asan}
JOBS=${KORVANE_JOBS:-2}
LOG_DIR="$BUILD_DIR/sanitizer-logs"

"$PYTHON" -c "import pytest, hypothesis, networkx" 2>/dev/null || "$PYTHON" -m pip install -q ".[test]"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS \
  -DKORVANE_BUILD_TESTS=ON -DPython_EXECUTABLE="$(command -v "$PYTHON")" >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"

rm -rf "$LOG_DIR"
mkdir -p "$LOG_DIR"

# Reports go to files as well as halting the process, so that none is lost in
# a child process whose output a test does not show.
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:abort_on_error=0:log_path=$LOG_DIR/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$LOG_DIR/ubsan"

check_logs() {
  if compgen -G "$LOG_DIR/*" >/dev/null; then
    echo "sanitizer reports:" >&2
    cat "$LOG_DIR"/* >&2
    exit 1
  fi
}

ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS"
check_logs

# The interpreter is not built with the sanitizers, so their runtimes must be
# loaded before anything else.
ASAN_LIB=$(g++ -print-file-name=libasan.so)
UBSAN_LIB=$(g++ -print-file-name=libubsan.so)
for lib in "$ASAN_LIB" "$UBSAN_LIB"; do
  [ -f "$lib" ] || { echo "sanitizer runtime not found: $lib" >&2; exit 1; }
done

run_python() {
  LD_PRELOAD="$ASAN_LIB $UBSAN_LIB" PYTHONPATH="$BUILD_DIR${PYTHONPATH:+:$PYTHONPATH}" \
    KORVANE_TEST_BUILD_DIR="$BUILD_DIR" "$PYTHON" "$@"
}

# The installed korvane must not shadow the sanitized one.
run_python -c "
import sys, korvane, korvane_reference
for module in (korvane, korvane_reference):
    if not module.__file__.startswith('$BUILD_DIR/'):
        sys.exit(f'{module.__name__} comes from {module.__file__}, not from $BUILD_DIR')
"

KORVANE_REQUIRE_REFERENCE=1 KORVANE_HYPOTHESIS_PROFILE=sanitize run_python -m pytest tests/python "$@"
check_logs
