"""Finds the CPythons that the test sessions can run on.

For each supported version: the interpreter running this file if it is of that
version (tests/run.sh runs nox with the interpreter that called it), else the
newest pyenv-installed one, whether or not pyenv has it active, else
`python3.X` on PATH.

Run as a script it prints one line per supported version: the version and the
interpreter's path, or the version alone when none was found.
"""
from __future__ import annotations

import os
import re
import shutil
import sys
from pathlib import Path

# Keep in step with the classifiers in pyproject.toml (the nox sessions check).
SUPPORTED = ["3.9", "3.10", "3.11", "3.12", "3.13"]


def version_of_this() -> str:
    return f"{sys.version_info[0]}.{sys.version_info[1]}"


def this_interpreter() -> Path:
    """The interpreter running this, seen through any virtualenv it runs in."""
    version = version_of_this()
    if sys.prefix != sys.base_prefix:
        base = Path(sys.base_prefix) / "bin" / f"python{version}"
        if base.is_file() and os.access(base, os.X_OK):
            return base
    return Path(sys.executable)


def _pyenv() -> dict[str, Path]:
    root = Path(os.environ.get("PYENV_ROOT") or Path.home() / ".pyenv") / "versions"
    found: dict[str, tuple[tuple[int, ...], Path]] = {}
    try:
        entries = list(root.iterdir())
    except OSError:
        return {}
    for entry in entries:
        match = re.fullmatch(r"(3\.\d+)\.(\d+)", entry.name)
        if not match or match.group(1) not in SUPPORTED:
            continue
        version = match.group(1)
        executable = entry / "bin" / f"python{version}"
        key = tuple(int(part) for part in entry.name.split("."))
        if executable.is_file() and os.access(executable, os.X_OK):
            if version not in found or key > found[version][0]:
                found[version] = (key, executable)
    return {version: executable for version, (_, executable) in found.items()}


def find() -> dict[str, Path]:
    """The interpreter to test each supported version with, for those found."""
    found: dict[str, Path] = {}
    if sys.implementation.name == "cpython" and version_of_this() in SUPPORTED:
        found[version_of_this()] = this_interpreter()
    for version, executable in _pyenv().items():
        found.setdefault(version, executable)
    for version in SUPPORTED:
        on_path = shutil.which(f"python{version}")
        if version not in found and on_path:
            found[version] = Path(on_path)
    return {version: found[version] for version in SUPPORTED if version in found}


if __name__ == "__main__":
    interpreters = find()
    for version in SUPPORTED:
        print(version, interpreters.get(version, ""))
