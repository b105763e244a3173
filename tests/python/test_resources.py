"""Memory exhaustion, Ctrl-C and threads.

Exhaustion and interruption run in child processes: each child is fresh (its
first native call is the one under test), has its address space capped so a
misbehaving call cannot take the machine down, and reports what happened on
its standard output.
"""
import itertools
import json
import os
import random
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import korvane

# The sanitizer runtime reserves terabytes of address space up front and
# aborts, by design, when an allocation fails: capping memory means nothing
# under it.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")

# Shared by every child: module selection, input builders and the cap.
CHILD_PRELUDE = r'''
import itertools, json, os, random, re, resource, signal, sys, time

def address_space():
    with open("/proc/self/status") as f:
        return int(re.search(r"VmSize:\s+(\d+)", f.read()).group(1)) * 1024

def cap_address_space(extra):
    resource.setrlimit(resource.RLIMIT_AS, (address_space() + extra, resource.RLIM_INFINITY))

def complete_graph(n):
    return list(itertools.combinations(range(n), 2))

def weighted_complete_graph(n):
    return [(u, v, float(i)) for i, (u, v) in enumerate(itertools.combinations(range(n), 2))]

def random_simplices(count, size, pool):
    rng = random.Random(count)
    return [rng.sample(range(pool), size) for _ in range(count)]

def report(**fields):
    print(json.dumps(fields), flush=True)

module_name = sys.argv[1]
if module_name == "korvane_reference":
    sys.path.insert(0, os.environ["KORVANE_REFERENCE_DIR"])
module = __import__(module_name)
SIMPLICES = module.py_find_hierarchical_q_components
PERSISTENCE = module.py_calculate_persistent_q_components
GRAPH = module.py_find_hierarchical_q_components_within_graph

def levels(result):
    return [sorted(sorted(c) for c in level) for level in result]

def still_usable():
    """Another call of every function, and ordinary Python work."""
    assert levels(SIMPLICES([[1, 2, 3], [3, 4], [5]])) == [[[0, 1], [2]], [[0], [1]], [[0]]]
    assert GRAPH([(1, 2), (2, 3), (1, 3)], None) == [[{1, 2, 3}]] * 3
    assert sorted(PERSISTENCE([(1, 2, 0.5)], None)) == [((0, [1, 2]), 0.5, 0.5), ((1, [1, 2]), 0.5, 0.5)]
    words = {str(i): [i] * 3 for i in range(20000)}
    assert sum(len(v) for v in json.loads(json.dumps(words)).values()) == 60000
'''


def child(body, module_name, reference, *argv):
    """Arguments and environment of a child running `body` with `module_name`."""
    args = [sys.executable, "-c", CHILD_PRELUDE + textwrap.dedent(body), module_name, *argv]
    env = dict(os.environ, KORVANE_REFERENCE_DIR=os.path.dirname(reference.__file__))
    return args, env


def reports(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]


# --------------------------------------------------------------------------
# Memory exhaustion
# --------------------------------------------------------------------------

EXHAUSTION_BODY = r'''
import ctypes

def native_heap_in_use():
    """Bytes in use in the C heap, or None where glibc cannot say."""
    libc = ctypes.CDLL(None)
    if not hasattr(libc, "mallinfo2"):
        return None
    class Info(ctypes.Structure):
        _fields_ = [(n, ctypes.c_size_t) for n in
                    "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]
    libc.mallinfo2.restype = Info
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd

call = eval(sys.argv[2])
arguments = eval(sys.argv[3])
native_heap_in_use()  # loads ctypes' own allocations before the baseline
import gc
gc.collect()
before, blocks_before = native_heap_in_use(), sys.getallocatedblocks()
cap_address_space(int(sys.argv[4]))
outcome = "returned"
collector_was = gc.isenabled()
try:
    call(*arguments)
except MemoryError:
    outcome = "MemoryError"
except BaseException as e:
    outcome = type(e).__name__ + ": " + str(e)
collector_back = gc.isenabled() == collector_was
gc.collect()
after, blocks_after = native_heap_in_use(), sys.getallocatedblocks()
still_usable()
report(outcome=outcome, before=before, after=after, blocks=blocks_after - blocks_before, collector_back=collector_back)
'''

# (module, call, arguments): clique complexes far beyond the cap. K_40 without
# a bound has 2**40 cliques for the documented algorithm; with the bound 8 it
# has 77 million top-level components for any algorithm. With the bound 5 its
# 658,008 top-level components take about 20 MiB natively and run out of a
# 96 MiB cap while the Python result is built, with shared ints made by then.
# The cap (MiB above the current use) makes the failing allocation a small
# one, at a moment where nothing at all is left.
EXHAUSTING_CALLS = [
    ("korvane_reference", "GRAPH", "(complete_graph(40), None)", 256),
    ("korvane", "GRAPH", "(complete_graph(40), 8)", 256),
    ("korvane", "GRAPH", "(complete_graph(40), 5)", 96),
]


@pytest.mark.skipif(SANITIZED, reason="the sanitizer runtime cannot run under an address-space cap")
@pytest.mark.parametrize("module_name, call, arguments, cap_mib", EXHAUSTING_CALLS)
def test_memory_exhaustion_raises_memory_error_and_releases_everything(reference, module_name, call, arguments,
                                                                        cap_mib):
    args, env = child(EXHAUSTION_BODY, module_name, reference, call, arguments, str(cap_mib << 20))
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, f"child died ({result.returncode}): {result.stderr[-2000:]}"
    (fields,) = reports(result.stdout)
    # A list or int the result needed and could not get is a PanicException
    # by the module's rules; everything else out of memory is a MemoryError.
    assert fields["outcome"] in ("MemoryError", "PanicException: Python API call failed"), fields
    # every Python object the call made, shared ints included, is gone
    assert fields["blocks"] < 1000, fields
    # the collector, paused while results are built, is as it was
    assert fields["collector_back"], fields
    if fields["before"] is not None:
        # everything the failed call held went back to the heap
        assert fields["after"] - fields["before"] < 4 << 20, fields


# --------------------------------------------------------------------------
# Ctrl-C
# --------------------------------------------------------------------------

INTERRUPT_BODY = r'''
# A job started in the background by a non-interactive shell (as CI may be)
# inherits SIGINT ignored, and Python then installs no KeyboardInterrupt
# handler: restore the interactive default.
signal.signal(signal.SIGINT, signal.default_int_handler)
call = eval(sys.argv[2])
arguments = eval(sys.argv[3])
if sys.argv[4] == "busy":
    # Another thread wants the lock all the time: the main thread must still
    # get it back to learn of the signal.
    import threading
    def spin():
        while True:
            pass
    threading.Thread(target=spin, daemon=True).start()
cap_address_space(3 << 30)  # a safety net should the call never stop
report(ready=time.monotonic())
started = time.monotonic()
try:
    call(*arguments)
except KeyboardInterrupt:
    caught = time.monotonic()
    still_usable()
    report(outcome="KeyboardInterrupt", caught=caught)
else:
    report(outcome="returned", seconds=time.monotonic() - started)
'''

# Each of these runs for many seconds (or far longer) in either build of the
# module, mostly without the interpreter lock; the signal comes half a second
# in. "busy": another thread runs pure Python meanwhile.
LONG_CALLS = [
    ("korvane", "SIMPLICES", "(random_simplices(20000, 200, 300),)", "alone"),
    ("korvane", "GRAPH", "(complete_graph(40), 8)", "alone"),
    ("korvane", "PERSISTENCE", "(weighted_complete_graph(40), 8)", "alone"),
    ("korvane_reference", "SIMPLICES", "(random_simplices(5000, 12, 40),)", "alone"),
    ("korvane_reference", "GRAPH", "(complete_graph(40), None)", "alone"),
    ("korvane_reference", "PERSISTENCE", "(weighted_complete_graph(40), None)", "alone"),
    ("korvane", "SIMPLICES", "(random_simplices(20000, 200, 300),)", "busy"),
    ("korvane", "GRAPH", "(complete_graph(40), 8)", "busy"),
    ("korvane", "PERSISTENCE", "(weighted_complete_graph(40), 8)", "busy"),
]

@pytest.mark.parametrize("module_name, call, arguments, company", LONG_CALLS)
def test_sigint_interrupts_a_long_call_promptly(reference, module_name, call, arguments, company):
    args, env = child(INTERRUPT_BODY, module_name, reference, call, arguments, company)
    process = subprocess.Popen(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        ready = json.loads(process.stdout.readline() or "{}")
        assert "ready" in ready, process.stderr.read()
        time.sleep(0.5)
        sent = time.monotonic()  # CLOCK_MONOTONIC: the child reads the same clock
        process.send_signal(signal.SIGINT)
        stdout, stderr = process.communicate(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    assert process.returncode == 0, f"child died ({process.returncode}): {stderr[-2000:]}"
    (fields,) = reports(stdout)
    assert fields["outcome"] == "KeyboardInterrupt", f"the call finished before the signal: {fields}"
    latency = fields["caught"] - sent
    print(f"interrupt latency {module_name}.{call} ({company}): {latency * 1000:.1f} ms")
    assert latency < 2.0


# --------------------------------------------------------------------------
# Threads
# --------------------------------------------------------------------------


def canonical(result):
    if result and isinstance(result[0], tuple):
        return sorted(result, key=lambda r: (r[2], r[0][0], r[0][1], r[1]))
    return [sorted(sorted(c) for c in level) for level in result]


class Yielding:
    """A vertex id whose conversion hands the interpreter to other threads."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value


def workload(seed):
    """Distinct inputs per seed for the three functions, some vertex ids of
    which switch threads while they are converted."""
    rng = random.Random(seed)
    vid = lambda: rng.choice([rng.randrange(12), Yielding(rng.randrange(12)), rng.randrange(12) + 2**63])
    simplices = [[vid() for _ in range(rng.randint(0, 6))] for _ in range(rng.randint(1, 40))]
    edges = [(vid(), vid()) for _ in range(rng.randint(1, 45))]
    weighted = [(vid(), vid(), rng.choice([rng.random(), float(rng.randrange(5))])) for _ in range(rng.randint(1, 25))]
    max_q = rng.choice([None, 1, 2, 3, 5])
    return [
        ("SIMPLICES", (simplices,)),
        ("GRAPH", (edges, max_q)),
        ("PERSISTENCE", (weighted, max_q)),
    ]


def long_workload(seed, which):
    """Inputs whose analyses run long enough (milliseconds) to let go of the
    interpreter lock, sized for each module."""
    rng = random.Random(seed)
    reference = which == "reference"
    count, size, pool = (300, 8, 40) if reference else (2500, 12, 60)
    simplices = [rng.sample(range(pool), rng.randint(2, size)) for _ in range(count)]
    n, p = (45, 0.35) if reference else (80, 0.4)
    edges = [(u, v) for u, v in itertools.combinations(range(n), 2) if rng.random() < p]
    pairs = list(itertools.combinations(range(12 if reference else 22), 2))
    rng.shuffle(pairs)
    weighted = [(u, v, float(i // 3)) for i, (u, v) in enumerate(pairs)]  # ties in threes
    return [
        ("SIMPLICES", (simplices,)),
        ("GRAPH", (edges, rng.choice([3, 4]) if reference else None)),
        ("PERSISTENCE", (weighted, rng.choice([3, 4]) if reference else rng.choice([None, 4]))),
    ]


def run(module, name, args):
    function = {
        "SIMPLICES": module.py_find_hierarchical_q_components,
        "GRAPH": module.py_find_hierarchical_q_components_within_graph,
        "PERSISTENCE": module.py_calculate_persistent_q_components,
    }[name]
    return canonical(function(*args))


@pytest.mark.parametrize("which", ["korvane", "reference"])
def test_concurrent_calls_match_serial_ones(reference, which):
    module = korvane if which == "korvane" else reference
    threads_count, rounds = 8, 6
    # Each thread's first round runs long analyses, which let go of the lock.
    jobs = {(t, r): long_workload(t, which) if r == 0 else workload(1000 * t + r)
            for t in range(threads_count) for r in range(rounds)}
    serial = {key: [run(module, name, args) for name, args in calls] for key, calls in jobs.items()}

    barrier = threading.Barrier(threads_count)
    concurrent, errors = {}, []

    def worker(t):
        try:
            barrier.wait()
            for r in range(rounds):
                concurrent[(t, r)] = [run(module, name, args) for name, args in jobs[(t, r)]]
        except BaseException as e:  # reported by the main thread
            errors.append(e)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        threads = [threading.Thread(target=worker, args=(t,)) for t in range(threads_count)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=120)
    finally:
        sys.setswitchinterval(interval)
    assert not errors, errors
    assert not any(thread.is_alive() for thread in threads)
    assert concurrent == serial


# About half a second of analysis each, most of the call.
LONG_ANALYSES = {
    "simplices": ("py_find_hierarchical_q_components",
                  lambda rng: ([rng.sample(range(200), 20) for _ in range(12000)],)),
    "graph": ("py_find_hierarchical_q_components_within_graph",
              lambda rng: ([e for e in itertools.combinations(range(300), 2) if rng.random() < 0.3], None)),
    "persistence": ("py_calculate_persistent_q_components",
                    lambda rng: ([(u, v, rng.random()) for u, v in itertools.combinations(range(36), 2)], None)),
}


@pytest.mark.parametrize("kind", sorted(LONG_ANALYSES))
def test_other_threads_run_during_a_long_analysis(kind):
    name, make = LONG_ANALYSES[kind]
    function, args = getattr(korvane, name), make(random.Random(7))
    counted, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1

    thread = threading.Thread(target=count)
    thread.start()
    try:
        start, began = counted[0], time.perf_counter()
        time.sleep(0.2)
        rate = (counted[0] - start) / (time.perf_counter() - began)
        start, began = counted[0], time.perf_counter()
        function(*args)
        progress = (counted[0] - start) / (time.perf_counter() - began)
    finally:
        stop.set()
        thread.join()
    # A call holding the lock throughout leaves the counter at a standstill
    # (it may count for one switch interval at most); one that lets go most
    # of the time leaves it most of its rate. The line is far from both.
    assert progress > 0.1 * rate, (progress, rate)


SHUTDOWN_BODY = r'''
import threading
call = eval(sys.argv[2])
arguments = eval(sys.argv[3])
inside = threading.Event()
# The main thread takes the lock only when the worker lets it go, and keeps
# it: the worker's only ways to let go are inside korvane.
sys.setswitchinterval(1000)

def work():
    inside.set()
    while True:
        call(*arguments)

class SlowToFlush:
    """Standard output whose last flush, once the interpreter has begun to
    shut down, lets the lock go for a while."""

    def __init__(self, out):
        self.out = out

    def write(self, text):
        return self.out.write(text)

    def flush(self, sleep=time.sleep, finalizing=sys.is_finalizing):
        if finalizing():
            sleep(0.3)
        self.out.flush()

threading.Thread(target=work, daemon=True).start()
inside.wait()
report(outcome="leaving")
time.sleep(0.05)
# Hold the lock while the worker's call ends and waits for it: shutdown then
# begins with the worker waiting, and the flush hands it the lock.
end = time.perf_counter() + 0.5
while time.perf_counter() < end:
    pass
sys.stdout = SlowToFlush(sys.stdout)
'''


# Calls of some milliseconds each, most of it without the lock.
SHUTDOWN_CALLS = [
    ("SIMPLICES", "(random_simplices(2000, 12, 60),)"),
    ("GRAPH", "([e for e in itertools.combinations(range(80), 2) if hash(e) % 5 < 2], None)"),
    ("PERSISTENCE", "([(u, v, random.random()) for u, v in itertools.combinations(range(22), 2)], None)"),
]


@pytest.mark.parametrize("call, arguments", SHUTDOWN_CALLS)
def test_the_interpreter_exits_cleanly_while_a_daemon_thread_computes(reference, call, arguments):
    # The thread is in korvane waiting for the lock when the interpreter
    # begins to shut down, and is handed it during shutdown: it must not take
    # the process down with it.
    args, env = child(SHUTDOWN_BODY, "korvane", reference, call, arguments)
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, f"child died ({result.returncode}): {result.stderr[-2000:]}"
    assert reports(result.stdout) == [{"outcome": "leaving"}]
    assert result.stderr == ""


HANDLER_BODY = r'''
# A signal handler runs while the main thread's analysis has let go of the
# lock, and calls korvane itself, long enough to let go of it again.
inner = []
nested_args = (random_simplices(3000, 12, 60),)
expected_inner = levels(SIMPLICES(*nested_args))

def handler(signum, frame):
    inner.append(levels(SIMPLICES(*nested_args)))

signal.signal(signal.SIGALRM, handler)
call = eval(sys.argv[2])
arguments = eval(sys.argv[3])
expected = call(*arguments)
signal.setitimer(signal.ITIMER_REAL, 0.05, 0.05)
got = call(*arguments)
signal.setitimer(signal.ITIMER_REAL, 0, 0)
report(handled=len(inner), inner_ok=all(r == expected_inner for r in inner),
       same=sorted(map(repr, got)) == sorted(map(repr, expected)))
'''


@pytest.mark.parametrize("call, arguments", [
    ("SIMPLICES", "(random_simplices(20000, 20, 200),)"),
    ("GRAPH", "([e for e in itertools.combinations(range(300), 2) if hash(e) % 10 < 3], None)"),
    ("PERSISTENCE", "([(u, v, random.random()) for u, v in itertools.combinations(range(36), 2)], None)"),
])
def test_signal_handlers_may_call_korvane_during_an_analysis(reference, call, arguments):
    args, env = child(HANDLER_BODY, "korvane", reference, call, arguments)
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, f"child died ({result.returncode}): {result.stderr[-2000:]}"
    (fields,) = reports(result.stdout)
    assert fields["handled"] > 0 and fields["inner_ok"] and fields["same"], fields


def test_calls_made_while_converting_another_call():
    # a vertex id whose __index__ runs korvane itself, on every function
    inner = []

    class Reentrant:
        def __init__(self, value):
            self.value = value

        def __index__(self):
            inner.append(korvane.py_find_hierarchical_q_components([[1, 2], [2, 3]]))
            inner.append(korvane.py_find_hierarchical_q_components_within_graph([(1, 2), (2, 3)], None))
            inner.append(korvane.py_calculate_persistent_q_components([(1, 2, 1.0)], None))
            return self.value

    simplices = [[Reentrant(1), 2], [2, Reentrant(3)]]
    assert canonical(korvane.py_find_hierarchical_q_components(simplices)) == [[[0, 1]], [[0], [1]]]
    edges = [(Reentrant(1), 2), (2, Reentrant(3))]
    assert canonical(korvane.py_find_hierarchical_q_components_within_graph(edges, None)) == [[[1, 2, 3]],
                                                                                               [[1, 2], [2, 3]]]
    weighted = [(Reentrant(1), 2, 1.0)]
    assert canonical(korvane.py_calculate_persistent_q_components(weighted, Reentrant(5))) == [
        ((0, [1, 2]), 1.0, 1.0), ((1, [1, 2]), 1.0, 1.0)]
    assert len(inner) == 3 * 6
    for i in range(0, len(inner), 3):
        assert canonical(inner[i]) == [[[0, 1]], [[0], [1]]]
        assert canonical(inner[i + 1]) == [[[1, 2, 3]], [[1, 2], [2, 3]]]
        assert canonical(inner[i + 2]) == [((0, [1, 2]), 1.0, 1.0), ((1, [1, 2]), 1.0, 1.0)]
