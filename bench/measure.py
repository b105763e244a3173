"""One measurement, run in a fresh child process by run.py.

    python bench/measure.py '<json request>'

Prints one JSON object per line as results become available, so that the
parent keeps what was measured before a timeout kills this process.
"""

import gc
import hashlib
import json
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import workloads  # noqa: E402

FUNCTION_NAMES = {
    "simplices": "py_find_hierarchical_q_components",
    "graph": "py_find_hierarchical_q_components_within_graph",
    "persistence": "py_calculate_persistent_q_components",
}


def emit(**fields):
    sys.stdout.write(json.dumps(fields) + "\n")
    sys.stdout.flush()


def _status_kb(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return None


def reset_peak():
    """Resets the kernel's peak-RSS mark so that the next peak is the call's own."""
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def repeat_min(fn, first_time, budget, max_reps):
    """Best of repeated calls, for calls too short to time once."""
    best = first_time
    spent = first_time
    reps = 1
    while spent < budget and reps < max_reps:
        t0 = time.perf_counter()
        fn()
        dt = time.perf_counter() - t0
        best = min(best, dt)
        spent += dt
        reps += 1
    return best, reps


def timed_once(fn):
    t0 = time.perf_counter()
    result = fn()
    return result, time.perf_counter() - t0


def canonical_digest(kind, result):
    """Order-free fingerprint of a result, to check that two methods agree."""
    if kind == "persistence":
        canon = sorted((q, tuple(vs), b, d) for (q, vs), b, d in result)
    else:
        canon = [sorted(tuple(sorted(c)) for c in level) for level in result]
    return hashlib.sha1(repr(canon).encode()).hexdigest()[:12]


def summary(kind, result):
    if kind == "persistence":
        return {"records": len(result)}
    return {"components_per_level": [len(level) for level in result]}


def input_size(kind, args):
    data = args[0]
    if kind == "simplices":
        return {"items": len(data), "unit": "simplices", "vertices_total": sum(len(s) for s in data)}
    return {"items": len(data), "unit": "edges"}


def load_function(method, kind, build_dir):
    if method == "pure":
        import pure_python

        return pure_python.FUNCTIONS[kind], "bench/pure_python.py"
    if method == "reference" or build_dir:
        sys.path.insert(0, build_dir)
    module = __import__("korvane_reference" if method == "reference" else "korvane")
    return getattr(module, FUNCTION_NAMES[kind]), module.__file__


def measure_conversion(fn, kind, args, budget, max_reps):
    """Time a call that converts the whole input and then fails.

    Graph and persistence: a max_q of -1 is rejected only after `edges` is
    converted. Simplices: a trailing simplex holding a str fails after every
    simplex before it is converted.
    """
    if kind == "simplices":
        bad = (list(args[0]) + [["x"]],)
        expected = TypeError
    else:
        bad = (args[0], -1)
        expected = OverflowError

    def call():
        try:
            fn(*bad)
        except expected:
            return
        raise AssertionError("invalid argument was accepted")

    _, first = timed_once(call)
    return repeat_min(call, first, budget, max_reps)


def copy_result(kind, result):
    """An equally sized Python result built at C speed from the returned one."""
    if kind == "persistence":
        return [((q, list(vs)), b, d) for (q, vs), b, d in result]
    return [[set(c) for c in level] for level in result]


def main():
    req = json.loads(sys.argv[1])
    workload, method = req["workload"], req["method"]
    kind = workload["kind"]
    budget, max_reps = req["repeat_budget_s"], req["max_reps"]

    fn, source = load_function(method, kind, req.get("build_dir"))
    t0 = time.perf_counter()
    args = workloads.make_input(workload)
    emit(source=source, generate_s=time.perf_counter() - t0, **input_size(kind, args))
    # The input is long-lived: keep the cyclic collector from rescanning it
    # during every call.
    gc.collect()
    gc.freeze()

    if method == "korvane":
        conv, reps = measure_conversion(fn, kind, args, budget, max_reps)
        emit(conversion_s=conv, conversion_reps=reps)
        gc.collect()

    rss_before = _status_kb("VmRSS")
    peak_reset = reset_peak()
    result, first = timed_once(lambda: fn(*args))
    hwm = _status_kb("VmHWM")
    emit(first_s=first, rss_before_mb=rss_before / 1024, peak_rss_mb=hwm / 1024,
         peak_delta_mb=(hwm - rss_before) / 1024 if peak_reset else None, peak_reset=peak_reset)

    def again():
        fn(*args)

    best, reps = repeat_min(again, first, budget, max_reps)
    emit(time_s=best, reps=reps)

    if method == "korvane":
        copy, first_copy = timed_once(lambda: copy_result(kind, result))
        del copy
        build, build_reps = repeat_min(lambda: copy_result(kind, result), first_copy, budget, max_reps)
        emit(build_s=build, build_reps=build_reps)

    emit(digest=canonical_digest(kind, result), summary=summary(kind, result))


if __name__ == "__main__":
    main()
