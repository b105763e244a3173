#!/usr/bin/env bash
# Runs every test: the C++ unit tests through ctest, then the Python suite on
# every supported CPython (3.9 to 3.13) that it finds, each against a wheel built
# from the sdist for that interpreter and repaired into a manylinux wheel
# (noxfile.py: one session per version, each with a virtualenv of its own).
#
#   bash tests/run.sh [--all-pythons] [pytest arguments...]
#
# The interpreter that runs it (PYTHON, default python3) must be a supported
# CPython; its version is always tested, at full size, and the others wherever
# tests/pythons.py finds them (under pyenv, or as python3.X on PATH), with fewer
# Hypothesis examples. --all-pythons, or KORVANE_ALL_PYTHONS=1, fails unless all
# of them are found: CI runs that way. The tools (CMake, Ninja, nox, uv) live in
# build/tools-venv, made from that interpreter; nothing is installed into the
# interpreter itself. Root is needed only to install missing system packages.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/common.sh

start=$SECONDS
all_pythons=${KORVANE_ALL_PYTHONS:-0}
pytest_args=()
for arg in "$@"; do
  case $arg in
    --all-pythons) all_pythons=1 ;;
    *) pytest_args+=("$arg") ;;
  esac
done

PYTHON=${PYTHON:-python3}
BUILD_DIR=${KORVANE_TEST_BUILD_DIR:-build/tests}
TOOLS=$(pwd)/build/tools-venv
JOBS=${KORVANE_JOBS:-$(nproc)}

summary=""
finish() {
  local status=$?
  [ -z "$summary" ] || echo "$summary"
  echo "tests/run.sh: $([ "$status" = 0 ] && echo passed || echo FAILED) in $(korvane_elapsed $((SECONDS - start)))"
}
trap finish EXIT

korvane_python "$PYTHON"
korvane_system_packages ccache
korvane_venv "$TOOLS" cmake ninja "nox>=2024.4.15" uv
export PATH="$TOOLS/bin:$PATH"

# The same core and analyses are compiled for the C++ tests and for every
# session's wheel and test module: ccache, where there is one, compiles them once.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR="${CCACHE_DIR:-$(pwd)/build/ccache}" CCACHE_BASEDIR="$(pwd)"
fi

# Which interpreters there are, seen as the nox sessions will see them.
found=() missing=()
while read -r version path; do
  if [ -n "$path" ]; then
    found+=("$version")
    echo "Python $version: $path"
  else
    missing+=("$version")
  fi
done < <("$TOOLS/bin/python" tests/pythons.py)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$all_pythons" = 1 ]; then
    echo "--all-pythons: no interpreter for Python ${missing[*]} (looked under pyenv and for python3.X on PATH)" >&2
    exit 1
  fi
  echo "Python ${missing[*]}: not found, not tested (--all-pythons requires every one)"
fi
summary="tested: the C++ unit tests and Python ${found[*]} (full size on $KORVANE_PY_VERSION)"
summary+="; not found: ${missing[*]:-none}"

cmake -S . -B "$BUILD_DIR" -G Ninja -DKORVANE_BUILD_TESTS=ON -DKORVANE_WERROR="${KORVANE_WERROR:-OFF}" \
  -DPython_EXECUTABLE="$TOOLS/bin/python" >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS"

# The sessions in two lanes at once: most of a session is a test run on one
# core. The full-size session, the longest, leads the first lane. Each lane's
# output is prefixed with its first session's name.
rest=()
for version in "${found[@]}"; do
  [ "$version" = "$KORVANE_PY_VERSION" ] || rest+=("$version")
done
lanes=("tests-$KORVANE_PY_VERSION" "")
for i in "${!rest[@]}"; do
  lanes[$((i % 2))]+=" tests-${rest[$i]}"
done
pids=()
for lane in "${lanes[@]}"; do
  lane=${lane# }
  [ -n "$lane" ] || continue
  # shellcheck disable=SC2086
  ( "$TOOLS/bin/python" -m nox -s $lane -- ${pytest_args[@]+"${pytest_args[@]}"} 2>&1 |
      sed -u "s/^/[${lane%% *}] /"
    exit "${PIPESTATUS[0]}" ) &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
exit "$failed"
