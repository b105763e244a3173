// The shipped analyses behind test hooks; see test_hooks.hpp.
#include "python/test_hooks.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "analyses/complex/complex_levels.hpp"
#include "analyses/graph/clique_complex_levels.hpp"
#include "analyses/persistence/persistence.hpp"
#include "python/arguments.hpp"
#include "python/errors.hpp"
#include "python/interpreter_lock.hpp"
#include "python/module.hpp"
#include "python/results.hpp"

namespace korvane::py {
namespace {

// The hooks take positional arguments only.
void expect_arguments(Py_ssize_t nargs, PyObject* kwnames, Py_ssize_t wanted) {
  if (nargs != wanted || kwnames != nullptr) raise(PyExc_TypeError, "wrong arguments for a test hook");
}

// _shipped_simplices(simplices, small_simplex_max, pairwise_group_max, wide_indices)
PyObject* shipped_simplices(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, 4);
    auto simplices = convert_simplices(args[0]);
    ComplexLevelsTuning tuning;
    tuning.small_simplex_max = convert_u64(args[1]);
    tuning.pairwise_group_max = convert_u64(args[2]);
    const int wide = PyObject_IsTrue(args[3]);
    if (wide < 0) raise_pending();
    tuning.wide_indices = wide != 0;
    const std::size_t count = simplices.count();
    auto levels = lock_free([&] { return complex_levels(std::move(simplices), tuning); });
    return levels_to_python(std::move(levels), count);
  });
}

// One of the shipped graph analyses, `run`, with the index limits lowered:
// hook(edges, max_q, vertex_limit, clique_limit).
template <class Builder, class Edges, class Run>
PyRef run_limited(PyObject* const* args, Edges (*convert)(PyObject*), Run run) {
  Edges edges = convert(args[0]);
  const CliqueSizeBound bound = convert_max_q(args[1]);
  const GraphLimits limits{convert_u64(args[2]), convert_u64(args[3])};
  Builder builder;
  lock_free([&] { run(std::move(edges), bound, builder.sink(), limits); });
  return builder.finish();
}

// hook(edges, max_q, vertex_limit, clique_limit[, row_search_max]): the last
// one, when given, sets OverlapTuning::row_search_max (0: every graph is
// searched neighbourhood by neighbourhood).
PyObject* shipped_graph(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, nargs == 5 ? 5 : 4);
    OverlapTuning tuning;
    if (nargs == 5) tuning.row_search_max = convert_u64(args[4]);
    return run_limited<LevelsBuilder>(args, convert_edges,
                                      [&tuning](auto edges, auto bound, const auto& sink, auto limits) {
                                        clique_complex_levels(std::move(edges), bound, sink, limits, tuning);
                                      });
  });
}

// hook(edges, max_q, vertex_limit, clique_limit[, path]): `path`, when
// given, is "maximal" or "small": the cliques a bounded filtration follows
// (PersistenceTuning::path).
PyObject* shipped_persistence(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, nargs == 5 ? 5 : 4);
    PersistenceTuning tuning;
    if (nargs == 5) {
      const char* path = PyUnicode_AsUTF8(args[4]);
      if (path == nullptr) raise_pending();
      if (std::strcmp(path, "maximal") == 0) {
        tuning.path = PersistenceTuning::Path::maximal_cliques;
      } else if (std::strcmp(path, "small") == 0) {
        tuning.path = PersistenceTuning::Path::small_cliques;
      } else {
        raise(PyExc_ValueError, "unknown path");
      }
    }
    return run_limited<RecordsBuilder>(args, convert_weighted_edges,
                                       [&tuning](auto edges, auto bound, const auto& sink, auto limits) {
                                         persistent_components(std::move(edges), bound, sink, limits, tuning);
                                       });
  });
}

// ---------------------------------------------------------------------------
// Timing the parts of a call
// ---------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Parts {
  double conversion = 0.0;
  double analysis = 0.0;
  double building = 0.0;
};

Parts time_simplices(PyObject* const* args) {
  Parts parts;
  Clock::time_point start = Clock::now();
  auto simplices = convert_simplices(args[0]);
  parts.conversion = seconds_since(start);
  const std::size_t count = simplices.count();
  start = Clock::now();
  auto levels = lock_free([&] { return complex_levels(std::move(simplices)); });
  parts.analysis = seconds_since(start);
  start = Clock::now();
  PyRef result = levels_to_python(std::move(levels), count);
  parts.building = seconds_since(start);
  return parts;
}

// Streamed results interleave the two parts, so the analysis is timed alone,
// fed to a sink that keeps nothing, and the building is what the call with
// the real builder takes on top of it. (A clock around every sink call would
// charge its own reads, a pair per record, to one side or the other.)
template <class Builder, class Edges, class Sink, class Run>
Parts time_streamed(PyObject* const* args, Edges (*convert)(PyObject*), const Sink& idle, Run run) {
  Parts parts;
  Clock::time_point start = Clock::now();
  Edges edges = convert(args[0]);
  const CliqueSizeBound bound = convert_max_q(args[1]);
  parts.conversion = seconds_since(start);
  Edges again = edges;
  start = Clock::now();
  lock_free([&] { run(std::move(again), bound, idle); });
  parts.analysis = seconds_since(start);
  Builder builder;
  start = Clock::now();
  lock_free([&] { run(std::move(edges), bound, builder.sink()); });
  PyRef result = builder.finish();
  parts.building = std::max(0.0, seconds_since(start) - parts.analysis);
  return parts;
}

const LevelSink kIdleLevels{[](std::size_t, const std::vector<VertexId>&) {}, [](std::size_t, const DenseLevel&) {}};
const RecordSink kIdleRecords{[](const std::vector<VertexId>&) {},
                              [](QLevel, const DenseVertex*, const DenseVertex*, double, double) {}};

// _time_parts(name, args): runs the shipped analysis `name` ("simplices",
// "graph" or "persistence") on the tuple of its arguments and returns
// (conversion, analysis, building) in seconds; the result is dropped.
PyObject* time_parts(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] {
    expect_arguments(nargs, kwnames, 2);
    const char* name = PyUnicode_AsUTF8(args[0]);
    if (name == nullptr) raise_pending();
    PyObject* const* call = check_tuple(args[1], std::strcmp(name, "simplices") == 0 ? 1 : 2);
    Parts parts;
    if (std::strcmp(name, "simplices") == 0) {
      parts = time_simplices(call);
    } else if (std::strcmp(name, "graph") == 0) {
      parts = time_streamed<LevelsBuilder>(
          call, convert_edges, kIdleLevels,
          [](auto edges, auto bound, const auto& sink) { clique_complex_levels(std::move(edges), bound, sink); });
    } else if (std::strcmp(name, "persistence") == 0) {
      parts = time_streamed<RecordsBuilder>(
          call, convert_weighted_edges, kIdleRecords,
          [](auto edges, auto bound, const auto& sink) { persistent_components(std::move(edges), bound, sink); });
    } else {
      raise(PyExc_ValueError, "unknown analysis");
    }
    return require(Py_BuildValue("(ddd)", parts.conversion, parts.analysis, parts.building));
  });
}

PyMethodDef g_hooks[] = {
    {"_shipped_simplices", fast_call<shipped_simplices>(), kFastCallFlags, nullptr},
    {"_shipped_graph", fast_call<shipped_graph>(), kFastCallFlags, nullptr},
    {"_shipped_persistence", fast_call<shipped_persistence>(), kFastCallFlags, nullptr},
    {"_time_parts", fast_call<time_parts>(), kFastCallFlags, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* shipped_analysis_hooks() { return g_hooks; }

}  // namespace korvane::py
