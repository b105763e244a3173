"""Test sessions, one per supported CPython: `nox` runs them all, `nox -s tests-3.12` one.

Each session tests what users install: it builds the sdist, builds the wheel from
that sdist, installs the wheel into the session's own virtualenv and runs
tests/python against it from a directory outside the checkout. The test-only
reference module is built with CMake in the session's own build folder, for the
session's interpreter. Arguments after `--` go to pytest.

An interpreter that cannot be found fails its session: the versions listed here
are the ones pyproject.toml claims, and none is claimed untested.
"""
from __future__ import annotations

import atexit
import os
import re
import shutil
import sys
import tarfile
import time
from pathlib import Path

import nox

nox.needs_version = ">=2024.4.15"

ROOT = Path(__file__).resolve().parent
# Keep in step with the classifiers in pyproject.toml.
PYTHONS = ["3.9", "3.10", "3.11", "3.12", "3.13"]
# The slow property tests run at full size on this version and with fewer
# examples on the others (see the README).
FULL_SIZE_PYTHON = "3.11"
REDUCED_HYPOTHESIS_PROFILE = "reduced"

nox.options.sessions = [f"tests-{version}" for version in PYTHONS]
nox.options.error_on_missing_interpreters = True
# Never fetch an interpreter from elsewhere: the sessions test the ones installed.
if hasattr(nox.options, "download_python"):
    nox.options.download_python = "never"
nox.options.reuse_existing_virtualenvs = False


def _pyenv_interpreters() -> dict[str, Path]:
    """The newest pyenv-installed CPython of each tested version, whether or not
    pyenv makes it reachable: often only one version is active."""
    root = Path(os.environ.get("PYENV_ROOT") or Path.home() / ".pyenv") / "versions"
    found: dict[str, tuple[tuple[int, ...], Path]] = {}
    if not root.is_dir():
        return {}
    for entry in root.iterdir():
        match = re.fullmatch(r"(3\.\d+)\.(\d+)", entry.name)
        if not match or match.group(1) not in PYTHONS:
            continue
        version = match.group(1)
        executable = entry / "bin" / f"python{version}"
        key = tuple(int(part) for part in entry.name.split("."))
        if executable.is_file() and os.access(executable, os.X_OK):
            if version not in found or key > found[version][0]:
                found[version] = (key, executable)
    return {version: executable for version, (_, executable) in found.items()}


def _expose_interpreters() -> None:
    """Puts `python3.X` for every pyenv-installed tested version at the front of
    PATH, through a folder holding only those links, so that nox finds them
    without anything else of pyenv's shadowing the system's tools. Without pyenv
    nox looks for the interpreters on PATH as usual."""
    interpreters = _pyenv_interpreters()
    if interpreters:
        # A folder per nox process: tests/run.sh runs two at once.
        links = ROOT / ".nox" / f"interpreters-{os.getpid()}"
        shutil.rmtree(links, ignore_errors=True)
        links.mkdir(parents=True)
        atexit.register(shutil.rmtree, links, True)
        for version, executable in interpreters.items():
            (links / f"python{version}").symlink_to(executable)
        os.environ["PATH"] = os.pathsep.join([str(links), os.environ.get("PATH", "")])
    for version in PYTHONS:
        if shutil.which(f"python{version}") is None:
            print(f"noxfile: python{version} is neither under pyenv nor on PATH: session tests-{version} will fail",
                  file=sys.stderr)


_expose_interpreters()


def _only(paths, what: str, session: nox.Session) -> Path:
    paths = list(paths)
    if len(paths) != 1:
        session.error(f"expected one {what}, found {[str(p) for p in paths]}")
    return paths[0]


class _Phases:
    """Logs the wall time of each phase of a session, for reading CI logs."""

    def __init__(self, session: nox.Session) -> None:
        self.session = session
        self.start = self.last = time.monotonic()

    def done(self, phase: str) -> None:
        now = time.monotonic()
        self.session.log(f"{phase}: {now - self.last:.0f} s (session so far {now - self.start:.0f} s)")
        self.last = now


def _fresh(path: Path) -> Path:
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


def _classified_versions() -> list[str]:
    text = (ROOT / "pyproject.toml").read_text(encoding="utf-8")
    return re.findall(r'"Programming Language :: Python :: (3\.\d+)"', text)


# uv makes a session's virtualenvs and installs them in seconds where pip takes
# a minute or more; without uv, nox falls back to virtualenv and pip.
@nox.session(python=PYTHONS, venv_backend="uv|virtualenv")
def tests(session: nox.Session) -> None:
    if _classified_versions() != PYTHONS:
        session.error(f"pyproject.toml classifies Python {_classified_versions()}, the sessions test {PYTHONS}")
    work = Path(session.create_tmp()).resolve()
    dist = _fresh(work / "dist")
    unpacked = _fresh(work / "sdist")
    reference_build = _fresh(work / "reference")
    run_dir = _fresh(work / "run")
    venv = Path(session.virtualenv.location).resolve()
    python = venv / "bin" / "python"
    # Two cores are shared with other builds.
    build_env = {"CMAKE_BUILD_PARALLEL_LEVEL": "2"}

    phases = _Phases(session)
    uv = session.venv_backend == "uv"
    session.install("build[uv]" if uv else "build", "cmake", "ninja")
    installer = ["--installer", "uv"] if uv else []

    # The wheel is built from the sdist, so that a file missing from the sdist
    # breaks the build or the tests here instead of on a user's machine.
    session.run("python", "-m", "build", *installer, "--sdist", "--outdir", str(dist), str(ROOT))
    sdist = _only(dist.glob("*.tar.gz"), "sdist", session)
    with tarfile.open(sdist) as archive:
        if hasattr(tarfile, "data_filter"):
            archive.extractall(unpacked, filter="data")
        else:
            archive.extractall(unpacked)
    source = _only(unpacked.iterdir(), "top-level folder in the sdist", session)
    session.run("python", "-m", "build", *installer, "--wheel", "--outdir", str(dist), str(source), env=build_env)
    tag = "cp" + session.python.replace(".", "")
    wheel = _only(dist.glob(f"*-{tag}-*.whl"), f"{tag} wheel", session)
    phases.done("sdist and wheel built")
    session.install(f"{wheel}[test]")
    phases.done("wheel and test dependencies installed")

    session.run("cmake", "-S", str(ROOT), "-B", str(reference_build), "-G", "Ninja",
                "-DKORVANE_BUILD_TESTS=ON", f"-DPython_EXECUTABLE={python}")
    session.run("cmake", "--build", str(reference_build), "--target", "korvane_reference", "-j", "2")
    phases.done("korvane_reference built")

    env = {
        "KORVANE_TEST_BUILD_DIR": str(reference_build),
        "KORVANE_REQUIRE_REFERENCE": "1",
        "KORVANE_REQUIRE_TYPING": "1",
        # conftest.py stops the run if korvane is imported from anywhere else.
        "KORVANE_EXPECT_INSTALLED_IN": str(venv),
    }
    if session.python != FULL_SIZE_PYTHON:
        env["KORVANE_HYPOTHESIS_PROFILE"] = REDUCED_HYPOTHESIS_PROFILE
    # Run from a folder of the session's own, so that nothing of the checkout
    # is importable as korvane.
    with session.chdir(run_dir):
        session.run("python", "-c", "import korvane, sys; print('testing', korvane.__file__, 'on', sys.version)")
        session.run("python", "-m", "pytest", str(ROOT / "tests" / "python"), "-p", "no:cacheprovider",
                    "--durations=10", *session.posargs, env=env)
    phases.done("tests run")
