// Hooks of the test-only module that run the shipped analyses with their
// knobs exposed: tuning profiles and index limits that force internal paths
// and capacity checks on small inputs, and a timer of the parts of a call for
// the benchmarks. Linked into korvane_reference only.
#pragma once

#include "python/pyref.hpp"

namespace korvane::py {

// A sentinel-terminated method table.
PyMethodDef* shipped_analysis_hooks();

}  // namespace korvane::py
