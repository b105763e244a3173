# Sourced by tests/run.sh and tests/sanitize.sh: the check of the interpreter
# that runs them, the system packages that the builds need, and the virtualenvs
# of their own that hold their tools. Nothing is ever installed into, or
# upgraded in, the interpreter that called them.

# The supported versions, as tests/pythons.py lists them.
KORVANE_SUPPORTED=$(sed -n 's/^SUPPORTED = \[\(.*\)\]$/\1/p' tests/pythons.py | tr -d '",')

# korvane_python PYTHON: stops unless PYTHON is a supported CPython. Sets
# KORVANE_PY_VERSION (3.X) and KORVANE_PY_PREFIX (its base prefix, /usr for a
# distribution's own Python).
korvane_python() {
  local python=$1 impl
  if ! command -v "$python" >/dev/null; then
    echo "$python not found: run again with PYTHON=/path/to/python3.X, a CPython from $KORVANE_SUPPORTED" >&2
    exit 1
  fi
  read -r impl KORVANE_PY_VERSION KORVANE_PY_PREFIX < <("$python" -c \
    'import sys; print(sys.implementation.name, "%d.%d" % sys.version_info[:2], sys.base_prefix)' 2>/dev/null ||
    echo unknown unknown unknown)
  if [ "$impl" != cpython ] || [[ " $KORVANE_SUPPORTED " != *" $KORVANE_PY_VERSION "* ]]; then
    echo "$python is $impl $KORVANE_PY_VERSION; the tests need a CPython from $KORVANE_SUPPORTED:" \
      "run again with PYTHON=python3.X" >&2
    exit 1
  fi
}

# korvane_system_packages [ccache]: makes sure of GoogleTest, a C++ compiler and
# the interpreter's headers and venv module. As root with apt-get, installs what
# is missing; otherwise names the Debian/Ubuntu packages to install and stops.
# With "ccache", also installs ccache as root, and only mentions it otherwise:
# it makes repeated builds faster and nothing needs it.
korvane_system_packages() {
  local missing=() optional=() python_note=""
  [ -f /usr/include/gtest/gtest.h ] || [ -f /usr/local/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  command -v c++ >/dev/null || command -v g++ >/dev/null || missing+=(g++)
  if ! "$PYTHON" -c 'import os, sys, sysconfig
sys.exit(not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")))'; then
    if [ "$KORVANE_PY_PREFIX" = /usr ]; then
      missing+=("python$KORVANE_PY_VERSION-dev")
    else
      python_note="$PYTHON has no headers (Python.h under $KORVANE_PY_PREFIX): install them with that Python"
    fi
  fi
  if ! "$PYTHON" -c 'import ensurepip, venv' 2>/dev/null; then
    if [ "$KORVANE_PY_PREFIX" = /usr ]; then
      missing+=("python$KORVANE_PY_VERSION-venv")
    else
      python_note="${python_note:+$python_note; }$PYTHON cannot make virtualenvs (no ensurepip)"
    fi
  fi
  if [ -n "$python_note" ]; then
    echo "$python_note" >&2
    exit 1
  fi
  if [ "${1:-}" = ccache ] && ! command -v ccache >/dev/null; then
    optional+=(ccache)
  fi
  [ ${#missing[@]} -gt 0 ] || [ ${#optional[@]} -gt 0 ] || return 0

  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "installing system packages: ${missing[*]} ${optional[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    if [ ${#missing[@]} -gt 0 ]; then
      apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
    if [ ${#optional[@]} -gt 0 ]; then
      apt-get install -y -qq "${optional[@]}" >/dev/null || echo "could not install ${optional[*]}; going on without"
    fi
  elif [ ${#missing[@]} -gt 0 ]; then
    local package
    for package in "${missing[@]}"; do
      case $package in
        libgtest-dev) echo "missing: GoogleTest, for the C++ tests (package $package)" >&2 ;;
        g++) echo "missing: a C++20 compiler (package $package)" >&2 ;;
        *-dev) echo "missing: the headers of $PYTHON (package $package)" >&2 ;;
        *-venv) echo "missing: the venv module of $PYTHON (package $package)" >&2 ;;
      esac
    done
    echo "Install as root and run again; on Debian or Ubuntu: sudo apt-get install ${missing[*]}" >&2
    exit 1
  else
    echo "note: ccache not found; builds run without it (sudo apt-get install ccache makes repeated runs faster)"
  fi
}

# korvane_venv DIR REQUIREMENT...: makes DIR a virtualenv of $PYTHON holding the
# requirements, or reuses it when an earlier run made it from the same
# interpreter with the same requirements.
korvane_venv() {
  local dir=$1 want
  shift
  want=$(printf '%s\n' "$("$PYTHON" -c 'import os, sys; print(os.path.realpath(sys.executable), sys.version)')" "$@")
  if [ -x "$dir/bin/python" ] && [ "$(cat "$dir/korvane-requirements" 2>/dev/null)" = "$want" ] &&
    "$dir/bin/python" -c '' 2>/dev/null; then
    echo "reusing the virtualenv $dir"
    return 0
  fi
  echo "making the virtualenv $dir: $*"
  rm -rf "$dir"
  "$PYTHON" -m venv "$dir"
  "$dir/bin/python" -m pip install -q --disable-pip-version-check "$@"
  printf '%s\n' "$want" >"$dir/korvane-requirements"
}

# korvane_test_requirements: the test extra of pyproject.toml, one a line.
korvane_test_requirements() {
  "$PYTHON" -c 'import re
text = open("pyproject.toml", encoding="utf-8").read()
block = re.search(r"^test = \[\n(.*?)^\]", text, re.S | re.M)
print("\n".join(re.findall(r"^\s*\"([^\"]+)\",?\s*$", block.group(1), re.M)))'
}

# korvane_elapsed SECONDS: "Xm Ys".
korvane_elapsed() {
  printf '%dm %02ds' $(($1 / 60)) $(($1 % 60))
}
