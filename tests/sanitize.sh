#!/usr/bin/env bash
# Builds korvane and korvane_reference with AddressSanitizer,
# UndefinedBehaviorSanitizer and the standard library's own checks
# (_GLIBCXX_ASSERTIONS: bounds of every vector and span access) into
# build/asan, then runs the C++ tests and the whole Python suite against that
# build. Any sanitizer report fails the run,
# including one from a child process that a test expected to die.
#
# The interpreter that runs it (PYTHON, default python3) must be a supported
# CPython. CMake, Ninja and the test dependencies live in build/sanitize-venv,
# made from that interpreter; nothing is installed into the interpreter itself.
# Root is needed only to install missing system packages. Extra arguments go
# to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/common.sh

start=$SECONDS
PYTHON=${PYTHON:-python3}
BUILD_DIR=$(pwd)/${KORVANE_ASAN_BUILD_DIR:-build/asan}
VENV=$(pwd)/build/sanitize-venv
JOBS=${KORVANE_JOBS:-2}
LOG_DIR="$BUILD_DIR/sanitizer-logs"

finish() {
  local status=$?
  echo "tests/sanitize.sh: $([ "$status" = 0 ] && echo passed || echo FAILED) in $(korvane_elapsed $((SECONDS - start)))"
}
trap finish EXIT

korvane_python "$PYTHON"
korvane_system_packages
mapfile -t test_requirements < <(korvane_test_requirements)
korvane_venv "$VENV" cmake ninja "${test_requirements[@]}"
export PATH="$VENV/bin:$PATH"
PYTHON=$VENV/bin/python
# The typing tests read the stubs where an installed korvane keeps them.
ln -sfn "$(pwd)/korvane-stubs" "$("$PYTHON" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')/korvane-stubs"

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS \
  -DKORVANE_BUILD_TESTS=ON -DKORVANE_WERROR="${KORVANE_WERROR:-OFF}" -DPython_EXECUTABLE="$PYTHON" >/dev/null
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
