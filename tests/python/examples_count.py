"""Hypothesis example counts, which follow the active profile.

tests/sanitize.sh selects the sanitize profile, since sanitized code runs
several times slower; the nox sessions of every Python but the one that runs the
test command select the reduced one, to keep the command's time in bounds. A
test that sets a count of its own states it through examples(), so that it
shrinks with the profile too.
"""
import os

from hypothesis import settings

settings.register_profile("sanitize", max_examples=20, deadline=None)
settings.register_profile("reduced", max_examples=25)
if os.environ.get("KORVANE_HYPOTHESIS_PROFILE"):
    settings.load_profile(os.environ["KORVANE_HYPOTHESIS_PROFILE"])


def examples(n):
    """n under the default profile (100 examples), scaled with the active one."""
    return max(10, n * settings.default.max_examples // 100)
