"""Measurements in fresh child processes: how every section of the bench
runs a child, and the child that measures one workload for the table.

    python bench/measurement.py --child '<json request>'

A child prints one JSON object per line as results become available, so that
the parent keeps what was measured before a timeout kills it.

Methods of the table's child: "korvane" (the module measured), "before"
(korvane built from an earlier commit, timed in turns with the module
measured, in one process), "reference" (korvane_reference), "pure" and "inv"
(bench/pure_python.py) and "scipy" (the sparse product M·Mᵀ of the incidence
matrix of a complex).
"""

import gc
import glob
import hashlib
import json
import os
import subprocess
import sys
import time
from itertools import chain, compress

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import workloads  # noqa: E402

FUNCTION_NAMES = workloads.FUNCTION_NAMES


# ---------------------------------------------------------------------------
# Children, from the parent's side and from their own
# ---------------------------------------------------------------------------


def run_child(script, request, timeout):
    """Runs bench/<script> --child with the JSON request in a fresh process and
    merges the JSON objects it prints. Adds status (ok, timeout, error or
    skipped, with a reason) and wall_s."""
    out = {}
    t0 = time.perf_counter()
    proc = subprocess.Popen([sys.executable, os.path.join(HERE, script), "--child", json.dumps(request)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        stdout, stderr = proc.communicate(timeout=timeout)
        timed_out = False
    except subprocess.TimeoutExpired:
        proc.kill()
        stdout, stderr = proc.communicate()
        timed_out = True
    for line in stdout.splitlines():
        try:
            out.update(json.loads(line))
        except ValueError:
            pass
    out["wall_s"] = time.perf_counter() - t0
    if timed_out:
        out["status"] = "timeout"
        out["reason"] = f"> {timeout:g} s"
    elif proc.returncode != 0:
        out["status"] = "error"
        out["reason"] = (stderr.strip().splitlines() or [f"exit code {proc.returncode}"])[-1][:200]
    elif "skip" in out:
        out["status"] = "skipped"
        out["reason"] = out.pop("skip")
    else:
        out["status"] = "ok"
    return out


def child_request():
    """The request of a child started by run_child, or None in the parent."""
    if len(sys.argv) == 3 and sys.argv[1] == "--child":
        return json.loads(sys.argv[2])
    return None


def emit(**fields):
    sys.stdout.write(json.dumps(fields) + "\n")
    sys.stdout.flush()


def load_module(name, build_dir=None):
    """korvane or korvane_reference: from build_dir when given, else installed."""
    if build_dir:
        sys.path.insert(0, build_dir)
    return __import__(name)


def find_module(build_dir, name):
    found = sorted(glob.glob(os.path.join(build_dir, name + ".*.so")))
    return found[0] if found else None


def status_kb(field):
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


def result_members(kind, result):
    """Ints held in the result's sets and lists: vertex ids or positions."""
    if kind == "persistence":
        return sum(len(vs) for (_, vs), _, _ in result)
    return sum(len(c) for level in result for c in level)


def deep_size(root, chunk=10_000):
    """Bytes of the object graph under `root`: every list, tuple, set, float
    and int once (by identity), each as sys.getsizeof reports it, so with its
    object header, garbage-collector header and container storage. Returns
    (bytes, objects).

    Results reach 10^8 ints, so everything runs at C speed, layer by layer,
    without a table of every object: an object whose only reference is its
    container appears once in the graph and is summed directly; the others
    (cached small ints, ints shared between sets, anything referenced from
    elsewhere) go through a table keyed by identity.
    """
    containers = {list, tuple, set, frozenset}
    is_container = containers.__contains__
    flat = chain.from_iterable

    def refcounts(layer):
        return list(map(sys.getrefcount, flat(layer)))

    # What getrefcount reports, through the same pipeline, for an object that
    # its container alone holds.
    (single,) = refcounts([[float("1.5")]])
    total = objects = 0
    shared = {id(root): root}
    traversed = {id(root)}
    layer = [root] if type(root) in containers else []
    while layer:
        found = {}
        for start in range(0, len(layer), chunk):
            part = layer[start:start + chunk]
            rc = refcounts(part)
            once = list(map(single.__eq__, rc))
            kinds = set(map(type, flat(part)))
            # sys.getsizeof looks __sizeof__ up on every call; a layer of ints
            # alone (not tracked by the collector, so no header to add) can
            # call int.__sizeof__ directly, several times faster.
            sizeof = int.__sizeof__ if kinds == {int} else sys.getsizeof
            total += sum(compress(map(sizeof, flat(part)), once))
            objects += sum(once)
            # compress() before id(): ids are made only for the few selected.
            many = list(compress(flat(part), map(single.__lt__, rc)))
            shared.update(zip(map(id, many), many))
            if kinds & containers:
                inner = list(compress(flat(part), map(is_container, map(type, flat(part)))))
                found.update(zip(map(id, inner), inner))
        for key in traversed & found.keys():
            del found[key]
        traversed.update(found.keys())
        layer = list(found.values())
    return total + sum(map(sys.getsizeof, shared.values())), objects + len(shared)


def input_size(kind, args):
    data = args[0]
    if kind == "simplices":
        return {"items": len(data), "unit": "simplices", "vertices_total": sum(len(s) for s in data)}
    return {"items": len(data), "unit": "edges"}


def load_function(method, kind, build_dir):
    if method in ("pure", "inv"):
        import pure_python

        return pure_python.FUNCTIONS["inv" if method == "inv" else kind], "bench/pure_python.py"
    if method == "scipy":
        import scipy

        return None, f"scipy {scipy.__version__}"
    module = load_module("korvane_reference" if method == "reference" else "korvane", build_dir)
    return getattr(module, FUNCTION_NAMES[kind]), module.__file__


def load_before_pair(kind, before_dir, korvane_dir=None):
    """(before function, now function) and a description: the korvane of
    before_dir loaded next to the korvane measured, under the same module name
    but from its own file, so both run in one process."""
    import importlib.machinery
    import importlib.util

    now = load_module("korvane", korvane_dir)
    path = find_module(before_dir, "korvane")
    loader = importlib.machinery.ExtensionFileLoader("korvane", path)
    spec = importlib.util.spec_from_file_location("korvane", path, loader=loader)
    before = importlib.util.module_from_spec(spec)
    loader.exec_module(before)
    name = FUNCTION_NAMES[kind]
    return (getattr(before, name), getattr(now, name)), f"{path} vs {now.__file__}"


def measure_pair(fns, kind, args, budget, max_reps, min_reps=5, parts=None):
    """The korvane before and now, timed in turns (the order alternating) so
    that load on the machine hits both alike: conversion, whole call and
    in-call result building, each the best of its calls."""
    labels = ("before", "now")
    conv = {}
    for label, fn in zip(labels, fns):
        conv[label], _ = measure_conversion(fn, kind, args, budget / 2, max_reps)
    gc.collect()
    clock = BuildClock()
    best = {label: Best() for label in labels}
    # Today's build time comes from the timing hook, called in the same turns.
    hook = PartsBest() if parts is not None else None
    digests = {}
    spent, reps = 0.0, 0
    while reps < max_reps and (reps < min_reps or spent < 2 * budget):
        order = list(zip(labels, fns))
        if reps % 2:
            order.reverse()
        for label, fn in order:
            result, total, build = clock.call(fn, args)
            if label not in digests:
                digests[label] = canonical_digest(kind, result)
                members = result_members(kind, result)
            del result
            best[label].add(total, build)
            spent += total
            if hook is not None and label == "now":
                spent += hook.add(parts, kind, args)
        reps += 1
    now_build = hook.parts()[2] if hook is not None else best["now"].build_s()
    emit(time_s=best["before"].total, build_s=best["before"].build_s(), conversion_s=conv["before"], reps=reps,
         members=members, digest=digests["before"],
         now={"time_s": best["now"].total, "build_s": now_build, "conversion_s": conv["now"],
              "members": members, "digest": digests["now"]})


def measure_in_turns(baseline, korvane_fn, args, budget, min_rounds=3, korvane_budget=0.2):
    """A slow baseline and korvane, timed in turns in one process, so that
    their ratio sees the same load on the machine: each round is one
    baseline call and korvane's best of several calls. Emits the baseline's
    best as time_s and korvane's as korvane_time_s; returns the baseline's
    result."""
    rss_before = status_kb("VmRSS")
    peak_reset = reset_peak()
    result, best = timed_once(lambda: baseline(*args))
    hwm = status_kb("VmHWM")
    emit(first_s=best, peak_delta_mb=(hwm - rss_before) / 1024 if peak_reset else None)
    korvane_best = float("inf")
    spent, rounds = best, 0
    while rounds < min_rounds or spent < 2 * budget:
        if rounds:
            _, dt = timed_once(lambda: baseline(*args))
            best = min(best, dt)
            spent += dt
        korvane_spent = 0.0
        for _ in range(50):
            _, dt = timed_once(lambda: korvane_fn(*args))
            korvane_best = min(korvane_best, dt)
            korvane_spent += dt
            if korvane_spent >= korvane_budget:
                break
        spent += korvane_spent
        rounds += 1
    emit(time_s=best, reps=rounds, korvane_time_s=korvane_best)
    return result


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


class BuildClock:
    """Times the result building inside a korvane call.

    Conversion and analysis keep no container object alive (conversion's
    iterators die at once), so with the cyclic garbage collector's count reset
    before the call and its threshold lowered, its first collection starts a
    few containers into the result building. The callback notes the time and
    puts the threshold back, so the rest of the call runs as usual;
    build = return time - that mark. A result of fewer containers than the
    threshold gets no mark.

    CPython 3.12 and later defer collections to the interpreter loop, after
    the call has returned: there the clock reports nothing.
    """

    MARK_AFTER = 10  # live containers; conversion holds at most a handful

    available = sys.version_info < (3, 12)

    def __init__(self):
        self.mark = None
        self.saved = gc.get_threshold()

    def _callback(self, phase, info):
        if phase == "start" and self.mark is None:
            self.mark = time.perf_counter()
            gc.set_threshold(*self.saved)

    def call(self, fn, args):
        """(result, total seconds, build seconds or None)"""
        if not self.available:
            result, total = timed_once(lambda: fn(*args))
            return result, total, None
        gc.collect(0)  # the count starts from zero: only the call's containers reach the threshold
        self.mark = None
        gc.callbacks.append(self._callback)
        gc.set_threshold(self.MARK_AFTER, *self.saved[1:])
        try:
            t0 = time.perf_counter()
            result = fn(*args)
            t1 = time.perf_counter()
        finally:
            gc.callbacks.remove(self._callback)
            gc.set_threshold(*self.saved)
        build = t1 - self.mark if self.mark is not None else None
        return result, t1 - t0, build


def load_parts(parts_dir):
    """korvane_reference._time_parts of the build in parts_dir, or None.

    It runs the shipped analysis and times its conversion, analysis and result
    building inside one call. The korvane of today pauses the garbage
    collector while it builds a result, so the BuildClock above cannot see the
    building start; this hook can. Earlier builds have no such hook."""
    if not parts_dir:
        return None
    sys.path.insert(0, parts_dir)
    try:
        import korvane_reference
    except ImportError:
        return None
    finally:
        sys.path.remove(parts_dir)
    return getattr(korvane_reference, "_time_parts", None)


class PartsBest:
    """Best (conversion, analysis, building) seconds over calls of the timing
    hook. The building is the best of analysis plus building less the best
    analysis: a streamed analysis is timed apart from the call that builds
    (see _time_parts), so one call's difference carries the noise of two
    runs, while the two bests each settle."""

    def __init__(self):
        self.conv = self.analysis = self.both = float("inf")

    def add(self, parts, kind, args):
        """One hook call; returns the seconds it took."""
        t0 = time.perf_counter()
        conversion, analysis, building = parts(kind, tuple(args))
        self.conv = min(self.conv, conversion)
        self.analysis = min(self.analysis, analysis)
        self.both = min(self.both, analysis + building)
        return time.perf_counter() - t0

    def parts(self):
        return [self.conv, self.analysis, max(0.0, self.both - self.analysis)]


def measure_parts(parts, kind, args, budget, max_reps, min_reps=3):
    """Best (conversion, analysis, building) seconds over repeated hook calls."""
    best = PartsBest()
    spent, reps = 0.0, 0
    while reps < max_reps and (reps < min_reps or spent < budget):
        spent += best.add(parts, kind, args)
        reps += 1
    return best.parts()


class Best:
    """Best total and best build time over calls; the build time only when
    every call had one."""

    def __init__(self):
        self.total = float("inf")
        self.build = None
        self.build_every_call = True

    def add(self, total, build):
        self.total = min(self.total, total)
        if build is None:
            self.build_every_call = False
        else:
            self.build = build if self.build is None else min(self.build, build)

    def build_s(self):
        return self.build if self.build_every_call else None


def measure_korvane(fn, kind, args, budget, max_reps, parts=None):
    conv, reps = measure_conversion(fn, kind, args, budget, max_reps)
    emit(conversion_s=conv, conversion_reps=reps)
    gc.collect()

    clock = BuildClock()
    rss_before = status_kb("VmRSS")
    peak_reset = reset_peak()
    result, first, build = clock.call(fn, args)
    hwm = status_kb("VmHWM")
    emit(first_s=first, rss_before_mb=rss_before / 1024, peak_rss_mb=hwm / 1024,
         peak_delta_mb=(hwm - rss_before) / 1024 if peak_reset else None, peak_reset=peak_reset,
         build_clock=clock.available)

    best = Best()
    best.add(first, build)
    spent, reps = first, 1
    while spent < budget and reps < max_reps:
        again, total, b = clock.call(fn, args)
        del again
        best.add(total, b)
        spent += total
        reps += 1
    emit(time_s=best.total, reps=reps)
    if parts is not None:
        _, analysis, building = measure_parts(parts, kind, args, budget, max_reps)
        emit(build_s=building, analysis_in_call_s=analysis, build_method="in-call timer")
    elif best.build_s() is not None:
        emit(build_s=best.build_s(), build_method="gc callback")

    # Outside the timed calls: the proxy of earlier runs where the clock has
    # nothing, and the result's size.
    if parts is None and best.build_s() is None:
        copy, first_copy = timed_once(lambda: copy_result(kind, result))
        del copy
        copy_build, _ = repeat_min(lambda: copy_result(kind, result), first_copy, budget, max_reps)
        emit(copy_build_s=copy_build)
    members = result_members(kind, result)
    t0 = time.perf_counter()
    deep, objects = deep_size(result)
    emit(members=members, deep_mb=deep / 2**20, deep_objects=objects, deep_size_s=time.perf_counter() - t0)
    return result


# ---------------------------------------------------------------------------
# scipy: the sparse product M·Mᵀ
# ---------------------------------------------------------------------------


def incidence_matrix(simplices):
    """n × V csr matrix with a 1 (int32) for each distinct vertex of each simplex."""
    import numpy as np
    import scipy.sparse as sp

    ids = {}
    indices = []
    indptr = [0]
    for s in simplices:
        for v in set(s):
            indices.append(ids.setdefault(v, len(ids)))
        indptr.append(len(indices))
    indices = np.asarray(indices, dtype=np.int64 if len(ids) >= 2**31 else np.int32)
    indptr = np.asarray(indptr, dtype=np.int64 if len(indices) >= 2**31 else np.int32)
    data = np.ones(len(indices), dtype=np.int32)
    return sp.csr_matrix((data, indices, indptr), shape=(len(simplices), max(1, len(ids))))


def estimate_product_nnz(m, mt, sample_rows=256, seed=5):
    """Non-zeros of M·Mᵀ (pairs of simplices sharing a vertex, both orders, and
    the diagonal), exact for small n, else scaled up from a row sample."""
    import numpy as np

    n = m.shape[0]
    if n <= sample_rows:
        return int((m @ mt).nnz), True
    rows = np.random.default_rng(seed).choice(n, size=sample_rows, replace=False)
    return int((m[rows] @ mt).nnz * n / sample_rows), False


def product_bytes(nnz, n):
    """Memory of the product: int32 data, int32 or int64 column indices and row pointers."""
    index = 4 if nnz < 2**31 else 8
    return nnz * (4 + index) + (n + 1) * index


def measure_scipy(args, budget, max_reps, max_bytes):
    simplices = args[0]
    t0 = time.perf_counter()
    m = incidence_matrix(simplices)
    mt = m.T.tocsr()
    nnz, exact = estimate_product_nnz(m, mt)
    need = product_bytes(nnz, m.shape[0])
    emit(matrix_s=time.perf_counter() - t0, matrix_nnz=int(m.nnz), vertices=int(m.shape[1]),
         product_nnz_estimate=nnz, product_nnz_exact=exact, product_bytes_estimate=need)
    if need > max_bytes:
        emit(skip=f"skipped: M·Mᵀ needs ~{need / 2**30:.1f} GB ({nnz:.1e} non-zeros), over "
                  f"{max_bytes / 2**30:.1f} GB")
        return
    gc.collect()
    rss_before = status_kb("VmRSS")
    peak_reset = reset_peak()
    product, first = timed_once(lambda: m @ mt)
    hwm = status_kb("VmHWM")
    emit(first_s=first, product_nnz=int(product.nnz),
         peak_delta_mb=(hwm - rss_before) / 1024 if peak_reset else None)
    del product
    best, reps = repeat_min(lambda: m @ mt, first, budget, max_reps)
    emit(time_s=best, reps=reps)


def main(req):
    workload, method = req["workload"], req["method"]
    kind = workload["kind"]
    budget, max_reps = req["repeat_budget_s"], req["max_reps"]

    if method == "before":
        fn, source = load_before_pair(kind, req["build_dir"], req.get("korvane_dir"))
    else:
        fn, source = load_function(method, kind, req.get("build_dir"))
    t0 = time.perf_counter()
    args = workloads.make_input(workload)
    emit(source=source, generate_s=time.perf_counter() - t0, **input_size(kind, args))
    # The input is long-lived: keep the cyclic collector from rescanning it
    # during every call.
    gc.collect()
    gc.freeze()

    if method == "scipy":
        measure_scipy(args, budget, max_reps, req.get("scipy_max_bytes", 4 * 2**30))
        return
    if method == "before":
        measure_pair(fn, kind, args, budget, max_reps, parts=load_parts(req.get("parts_dir")))
        return
    if method == "korvane":
        result = measure_korvane(fn, kind, args, budget, max_reps, parts=load_parts(req.get("parts_dir")))
    elif req.get("in_turns_with_korvane"):
        korvane_fn, _ = load_function("korvane", kind, req.get("korvane_dir"))
        result = measure_in_turns(fn, korvane_fn, args, budget)
    else:
        rss_before = status_kb("VmRSS")
        peak_reset = reset_peak()
        result, first = timed_once(lambda: fn(*args))
        hwm = status_kb("VmHWM")
        emit(first_s=first, peak_delta_mb=(hwm - rss_before) / 1024 if peak_reset else None)

        def again():
            fn(*args)

        best, reps = repeat_min(again, first, budget, max_reps)
        emit(time_s=best, reps=reps)

    # The fingerprint of a result of 10^8 members takes minutes: only when
    # another method will be compared with it.
    if req.get("digest", True):
        emit(digest=canonical_digest(kind, result))
    emit(summary=summary(kind, result))


if __name__ == "__main__":
    main(child_request())
