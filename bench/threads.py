"""Threads: what other Python threads can do while korvane computes; the
threads section of bench/run.py. Every measurement runs in a fresh child
process (this file with --child), on one workload:

- heartbeat: a pure-Python thread counts in a loop while the main thread runs
  the workload over and over for a while; its rate then, over its rate while
  the main thread sleeps. 0 means korvane held the interpreter lock
  throughout, 1 that the counting thread lost nothing.
- throughput: 4 rounds of the workload in a row, over the same 4 rounds on 2
  threads (2 each). A round is one call, or for short calls as many calls as
  fill about 50 ms. 2 is perfect scaling on two cores, 1 none.
- cost: the korvane of an earlier commit (--before) and this one, timed in
  turns in one process on one thread (the order alternating, each the best of
  its calls), for every workload of the quick run: now / before.
"""

import statistics
import threading
import time

import measurement
import workloads
from tables import fmt_fraction as _fmt
from tables import fmt_time as _fmt_time

# The workloads whose analysis is most of the call, and one small one.
THREAD_WORKLOADS = (
    "simp-zipf n=10,000 ids=2,500 size=1-40",
    "gnp n=2,000 p=0.1",
    "complete K35 random order",
    "karate club",
)
ANALYSIS_HEAVY = THREAD_WORKLOADS[:3]
# The commit before the analyses ran without the interpreter lock.
BEFORE_REV = "6f889af"

TARGETS = (
    ("heartbeat", ">=", 0.6, "A counting thread keeps at least 0.6 of its rate while an analysis-heavy workload runs"),
    ("throughput", ">=", 1.5, "4 calls on 2 threads at least 1.5x faster than in a row (analysis-heavy workloads)"),
    ("cost", "<=", 1.03, "No workload of the quick run more than 3% slower on one thread than before"),
)

ROUND_S = 0.05


# ---------------------------------------------------------------------------
# Child
# ---------------------------------------------------------------------------


def _round(fn, args, seconds=ROUND_S, calls=None):
    """A callable running one round (enough calls to fill `seconds`, or
    `calls` of them), and the calls it makes."""
    if calls is None:
        t0 = time.perf_counter()
        fn(*args)
        once = time.perf_counter() - t0
        calls = max(1, min(10_000, int(seconds / max(once, 1e-7))))

    def run():
        for _ in range(calls):
            fn(*args)

    return run, calls


def _count_while(action):
    """Runs action() on this thread while another thread counts; returns
    (counts per second, seconds)."""
    stop = threading.Event()
    counted = []

    def counter():
        n = 0
        while not stop.is_set():
            n += 1
        counted.append(n)

    thread = threading.Thread(target=counter)
    thread.start()
    t0 = time.perf_counter()
    action()
    elapsed = time.perf_counter() - t0
    stop.set()
    thread.join()
    return counted[0] / elapsed, elapsed


def child_heartbeat(fn, args, quick):
    run, calls = _round(fn, args)
    run()
    duration = 0.5 if quick else 1.0

    def busy():
        end = time.perf_counter() + duration
        while time.perf_counter() < end:
            run()

    ratios = []
    for _ in range(3):
        alone, _ = _count_while(lambda: time.sleep(duration))
        during, _ = _count_while(busy)
        ratios.append(during / alone)
    measurement.emit(heartbeat=statistics.median(ratios), samples=ratios, calls_per_round=calls)


def child_throughput(fn, args, quick):
    run, calls = _round(fn, args)
    run()
    serial_best = threaded_best = float("inf")
    for _ in range(2 if quick else 3):
        t0 = time.perf_counter()
        for _ in range(4):
            run()
        serial_best = min(serial_best, time.perf_counter() - t0)

        def two_rounds():
            run()
            run()

        threads = [threading.Thread(target=two_rounds) for _ in range(2)]
        t0 = time.perf_counter()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        threaded_best = min(threaded_best, time.perf_counter() - t0)
    measurement.emit(throughput=serial_best / threaded_best, serial_s=serial_best, threaded_s=threaded_best,
          calls_per_round=calls)


def child_cost(kind, args, korvane_dir, before_dir, quick):
    (before, now), source = measurement.load_before_pair(kind, before_dir, korvane_dir)
    # A turn times a round of calls of each, lasting a millisecond or more,
    # so that the clock's own jitter does not swamp calls of microseconds.
    calls = _round(now, args, seconds=0.001)[1]
    rounds = {label: _round(fn, args, seconds=0.001, calls=calls)[0] for label, fn in (("before", before),
                                                                                        ("now", now))}
    best = {"before": float("inf"), "now": float("inf")}
    budget = 0.5 if quick else 1.5
    spent, turns = 0.0, 0
    while turns < 5 or (spent < 2 * budget and turns < 400):
        order = list(rounds.items())
        if turns % 2:
            order.reverse()
        for label, run in order:
            t0 = time.perf_counter()
            run()
            dt = time.perf_counter() - t0
            best[label] = min(best[label], dt / calls)
            spent += dt
        turns += 1
    measurement.emit(before_s=best["before"], now_s=best["now"], cost=best["now"] / best["before"], turns=turns,
                     calls_per_turn=calls, source=source)


def child_main(req):
    import gc

    workload = req["workload"]
    args = workloads.make_input(workload)
    gc.collect()
    gc.freeze()
    if req["what"] == "cost":
        child_cost(workload["kind"], args, req.get("korvane_dir"), req["before_dir"], req["quick"])
        return
    fn = getattr(measurement.load_module("korvane", req.get("korvane_dir")), workloads.FUNCTION_NAMES[workload["kind"]])
    {"heartbeat": child_heartbeat, "throughput": child_throughput}[req["what"]](fn, args, req["quick"])


# ---------------------------------------------------------------------------
# Parent
# ---------------------------------------------------------------------------


def _child(req, timeout):
    return measurement.run_child("threads.py", req, timeout)


def run_threads(korvane_dir, before_dir, quick, echo=print, before_rev=BEFORE_REV, timeout=600):
    """Measures the three figures and evaluates their targets; returns a dict
    for the results file."""
    by_name = {w["name"]: w for w in workloads.all_workloads()}
    doc = {"before": before_rev, "workloads": {}, "cost": {}, "targets": []}
    echo("threads: heartbeat (a counting thread's rate while the main thread runs the workload, over its rate "
         "alone) and throughput (4 rounds in a row over 4 rounds on 2 threads)")
    echo(f"  {'workload':42} {'heartbeat':>9} {'throughput':>10}")
    for name in THREAD_WORKLOADS:
        w = by_name[name]
        entry = {what: _child({"what": what, "workload": w, "korvane_dir": korvane_dir, "quick": quick}, timeout)
                 for what in ("heartbeat", "throughput")}
        doc["workloads"][name] = entry
        hb, tp = entry["heartbeat"].get("heartbeat"), entry["throughput"].get("throughput")
        echo(f"  {name:42} {_fmt(hb):>9} {_fmt(tp):>10}")
    if before_dir is None:
        echo("  cost on one thread: skipped (no earlier build)")
    else:
        echo(f"cost on one thread: this korvane over the korvane of {before_rev}, timed in turns in one process")
        for w in workloads.all_workloads():
            if not w["quick"]:
                continue
            entry = _child({"what": "cost", "workload": w, "korvane_dir": korvane_dir, "before_dir": before_dir,
                            "quick": quick}, timeout)
            doc["cost"][w["name"]] = entry
            echo(f"  {w['name']:42} {_fmt_time(entry.get('before_s')):>8} {_fmt_time(entry.get('now_s')):>8} "
                 f"{_fmt(entry.get('cost')):>6}")
    doc["targets"] = evaluate(doc)
    for line in report(doc["targets"]):
        echo(line)
    return doc


def evaluate(doc):
    rows = {
        "heartbeat": [(n, doc["workloads"].get(n, {}).get("heartbeat", {}).get("heartbeat")) for n in ANALYSIS_HEAVY],
        "throughput": [(n, doc["workloads"].get(n, {}).get("throughput", {}).get("throughput"))
                       for n in ANALYSIS_HEAVY],
        "cost": [(n, e.get("cost")) for n, e in doc["cost"].items()],
    }
    out = []
    for key, op, need, text in TARGETS:
        measured = rows[key]
        ok = [v is not None and (v >= need if op == ">=" else v <= need) for _, v in measured]
        verdict = "INCOMPLETE" if not measured or any(v is None for _, v in measured) else (
            "PASS" if all(ok) else "FAIL")
        out.append({"target": key, "text": text, "need": f"{op} {need}", "verdict": verdict,
                    "rows": [{"workload": n, "value": v, "pass": p} for (n, v), p in zip(measured, ok)]})
    return out


def report(target_list):
    lines = ["thread targets:"]
    for t in target_list:
        lines.append(f"[{t['verdict']}] {t['text']}; need {t['target']} {t['need']}")
        for r in t["rows"]:
            if t["target"] != "cost" or not r["pass"]:
                lines.append(f"    {r['workload']:42} {_fmt(r['value']):>6}  {'pass' if r['pass'] else 'FAIL'}")
        if t["target"] == "cost" and t["rows"]:
            worst = max((r for r in t["rows"] if r["value"] is not None), key=lambda r: r["value"], default=None)
            if worst:
                lines.append(f"    worst: {worst['workload']} {_fmt(worst['value'])} over {len(t['rows'])} workloads")
    return lines


if __name__ == "__main__":
    child_main(measurement.child_request())
