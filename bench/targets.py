"""The performance targets, checked against one run of bench/run.py: result
building, peak memory, speed against the baselines and the sweep, and the
share of a call left to the analysis.

Each target names the workloads it is measured on. A target passes when every
workload it requires was measured and meets it; a quick run, which leaves the
large workloads out, reports the ones it has and says which are missing.

"Before" figures come from the korvane built from BEFORE_REV and measured in
the same run (the before section), or, for the workloads too long to measure
twice, from the figures measured on that module when the targets were set (on
the same kind of 2-core machine).
"""

from workloads import dense_name

# The korvane before the result and memory work, which the targets compare with.
BEFORE_REV = "d42f584"

SIMP_20K = "simp-uniform n=20,000 ids=5,000"
GNP_300 = "gnp n=300 p=0.1"
GNP_2000 = "gnp n=2,000 p=0.1"
GNP_3000 = "gnp n=3,000 p=0.1"
PLANTED = "planted 30-clique + 10,000 edges, 2,000 vertices"
PERS_2000 = "weighted m=2,000 vertices=500"
PERS_100K = "weighted m=100,000 vertices=25,000"
ZIPF40_100K = "simp-zipf n=100,000 ids=25,000 size=1-40"
K40 = "complete K40 random order"
LARGE_10K = "simp-zipf n=10,000 ids=2,000 size=20-400"
# Bounded filtrations of dense graphs: the sweep times K48 against its
# maximal cliques' path; the table has K40 and K64.
BOUNDED = (2, 3, 4)
K48_SWEEP = tuple(f"filtration: K48 random order, max_q={m}" for m in BOUNDED)
DENSE_SIZES = (40, 64)

# The korvane of BEFORE_REV on the workloads that take minutes or gigabytes,
# measured when the targets were set.
MEASURED_BEFORE = {
    (PERS_100K, "peak_mb"): 6332.8,
    (ZIPF40_100K, "time_s"): 41.0,
    (K40, "time_s"): 174.0,
}

BUILD_WORKLOADS = (SIMP_20K, GNP_2000, PERS_2000)
SPLIT_WORKLOADS = (SIMP_20K, GNP_300, PLANTED, PERS_2000)
LARGE_RESULT_MB = 100.0

# Workloads the korvane of BEFORE_REV is measured on in every run: the
# per-member build target needs them, and the others are cheap before/after
# figures for the report.
BEFORE_WORKLOADS = tuple(dict.fromkeys(BUILD_WORKLOADS + SPLIT_WORKLOADS))


def _ok(entry):
    return entry is not None and entry.get("status") == "ok"


def _rec(records, name):
    return records.get(name)


def _korvane(records, name):
    rec = records.get(name)
    return rec["korvane"] if rec and _ok(rec["korvane"]) else None


def _before(records, name):
    rec = records.get(name)
    return rec["before"] if rec and _ok(rec.get("before")) else None


def _pair(records, name):
    """(now, before) entries of a workload: the pair timed in turns when the
    earlier korvane was measured, else the korvane run alone and None."""
    b = _before(records, name)
    return (b["now"], b) if b else (_korvane(records, name), None)


def build_ns_per_member(entry):
    if not entry or entry.get("build_s") is None or not entry.get("members"):
        return None
    return 1e9 * entry["build_s"] / entry["members"]


def analysis_over_conv_build(entry, residual=False):
    """The analysis, timed alone by the timing hook when the entry has that
    figure (conversion, analysis and building then all come from calls made
    within a second of each other), else what is left of the whole call's
    best time after conversion and building (or with `residual`)."""
    if not entry or entry.get("build_s") is None or entry.get("conversion_s") is None:
        return None
    conv_build = entry["conversion_s"] + entry["build_s"]
    if entry.get("analysis_in_call_s") is not None and not residual:
        analysis = entry["analysis_in_call_s"]
    else:
        analysis = max(0.0, entry["time_s"] - conv_build)
    return analysis / conv_build if conv_build > 0 else None


def _row(workload, figure, unit, before=None, ratio=None, ok=None, note=""):
    return {"workload": workload, "figure": figure, "unit": unit, "before": before, "ratio": ratio,
            "pass": ok, "note": note}


def _missing(workload, why="not run"):
    return _row(workload, None, "", note=why)


def evaluate(results, sweep):
    """The targets with their rows. `results` is run.py's list of records,
    `sweep` the sweep's document part or None."""
    records = {r["workload"]["name"]: r for r in results}
    out = []

    # 1. Result building per member at most half of today's.
    rows = []
    for name in BUILD_WORKLOADS:
        now_entry, before_entry = _pair(records, name)
        now = build_ns_per_member(now_entry)
        before = build_ns_per_member(before_entry)
        if now is None:
            rows.append(_missing(name, "not run" if name not in records else "no in-call build time"))
        elif before is None:
            rows.append(_row(name, now, "ns/member", note="no before figure (run with --before)"))
        else:
            rows.append(_row(name, now, "ns/member", before, now / before, now / before <= 0.5))
    out.append({"id": "build-per-member", "need": "ratio now/before <= 0.5",
                "text": "Result building costs at most half today's time per member", "rows": rows,
                "required": list(BUILD_WORKLOADS)})

    # 2. Peak above the baseline at most 1.5x the deep size of the result, on
    # every workload with at least 100 MB of result; and persistence on
    # 100,000 edges at least 3x below 6.3 GB.
    rows = []
    large = [r["workload"]["name"] for r in results
             if _ok(r["korvane"]) and (r["korvane"].get("deep_mb") or 0) >= LARGE_RESULT_MB]
    for name in dict.fromkeys(large + [GNP_3000, PERS_100K]):
        k = _korvane(records, name)
        if k is None or k.get("peak_delta_mb") is None or not k.get("deep_mb"):
            rows.append(_missing(name))
            continue
        ratio = k["peak_delta_mb"] / k["deep_mb"]
        rows.append(_row(name, k["peak_delta_mb"], "MB", None, ratio, ratio <= 1.5,
                         f"deep {k['deep_mb']:.0f} MB"))
    out.append({"id": "peak-vs-result", "need": "ratio peak/deep <= 1.5",
                "text": "Peak resident memory above the baseline at most 1.5x the deep size of the result "
                        "(workloads of >= 100 MB of result)", "rows": rows, "required": [GNP_3000, PERS_100K]})

    k = _korvane(records, PERS_100K)
    before = MEASURED_BEFORE[(PERS_100K, "peak_mb")]
    if k is None or k.get("peak_delta_mb") is None:
        rows = [_missing(PERS_100K)]
    else:
        fall = before / k["peak_delta_mb"]
        rows = [_row(PERS_100K, k["peak_delta_mb"], "MB", before, fall, fall >= 3.0)]
    out.append({"id": "persistence-100k-peak", "need": "ratio before/now >= 3",
                "text": "Persistence on 100,000 edges: peak falls at least 3x from 6.3 GB", "rows": rows,
                "required": [PERS_100K]})

    # 3. At least 25x faster than the pure-Python inverted index.
    rec = _rec(records, SIMP_20K)
    if rec and _ok(rec["korvane"]) and _ok(rec.get("inv")):
        inv = rec["inv"]
        # korvane's time from the baseline's own process, timed in turns with
        # it, when there is one: both then see the same load.
        korvane_s = inv.get("korvane_time_s") or rec["korvane"]["time_s"]
        how = "in turns" if inv.get("korvane_time_s") else "separate processes"
        ratio = inv["time_s"] / korvane_s
        b = _before(records, SIMP_20K)
        # Before: the same ratio scaled by the speedup of the pair timed in turns.
        before = ratio * b["now"]["time_s"] / b["time_s"] if b else None
        rows = [_row(SIMP_20K, ratio, "x", before, ratio, ratio >= 25.0,
                     f"inv {inv['time_s']:.3g} s, korvane {korvane_s:.3g} s ({how})")]
    else:
        rows = [_missing(SIMP_20K)]
    out.append({"id": "inverted-index", "need": "inv/korvane >= 25",
                "text": "Simplices, 20,000 of 1-8 vertices over 5,000 ids: at least 25x faster than the "
                        "pure-Python inverted-index baseline", "rows": rows, "required": [SIMP_20K]})

    # 4. All levels at least 2x faster than scipy's M·Mᵀ alone, on large
    # simplices with popular vertices.
    rows = []
    family = [r["workload"]["name"] for r in results
              if "size=20-400" in r["workload"]["name"] or "size=1-40" in r["workload"]["name"]]
    for name in dict.fromkeys(family + [LARGE_10K]):
        rec = _rec(records, name)
        if not rec or not _ok(rec["korvane"]):
            rows.append(_missing(name))
        elif rec.get("scipy", {}).get("status") == "skipped":
            rows.append(_missing(name, rec["scipy"].get("reason", "skipped")))
        elif not _ok(rec.get("scipy")):
            rows.append(_missing(name, f"scipy {rec.get('scipy', {}).get('status', 'not run')}"))
        else:
            ratio = rec["scipy"]["time_s"] / rec["korvane"]["time_s"]
            rows.append(_row(name, ratio, "x", None, ratio, ratio >= 2.0,
                             f"scipy {rec['scipy']['time_s']:.3g} s, korvane {rec['korvane']['time_s']:.3g} s"))
    out.append({"id": "scipy-product", "need": "scipy/korvane >= 2",
                "text": "Large simplices with popular vertices: all levels at least 2x faster than scipy's "
                        "M·Mᵀ alone", "rows": rows, "required": [LARGE_10K]})

    # 5. 100,000 simplices of 1-40 Zipf vertices under 4 s.
    k = _korvane(records, ZIPF40_100K)
    before = MEASURED_BEFORE[(ZIPF40_100K, "time_s")]
    rows = ([_row(ZIPF40_100K, k["time_s"], "s", before, k["time_s"] / before, k["time_s"] < 4.0)] if k
            else [_missing(ZIPF40_100K)])
    out.append({"id": "zipf-100k", "need": "now < 4 s", "text": "100,000 simplices of 1-40 vertices with Zipf ids: "
                "under 4 s", "rows": rows, "required": [ZIPF40_100K]})

    # 6. No sweep family slower on the shipped path than on the reference.
    if sweep and sweep["summary"]["measured"]:
        s = sweep["summary"]
        worst = s["worst"]
        note = (f"{len(s['slower'])} of {s['measured']} families slower; worst {worst['family']}"
                if s["slower"] else f"{s['measured']} families")
        rows = [_row("threshold sweep", worst["ratio"], "x", None, worst["ratio"],
                     not s["slower"], note)]
    else:
        rows = [_missing("threshold sweep")]
    out.append({"id": "threshold-sweep", "need": f"worst shipped/reference <= "
                f"{sweep['summary']['slower_above'] if sweep else 1.05:g}",
                "text": "No input family of the threshold sweep is slower on the shipped path than on the "
                        "reference", "rows": rows, "required": ["threshold sweep"]})

    # 7. K40 in random order at least 10x faster than 174 s.
    k = _korvane(records, K40)
    before = MEASURED_BEFORE[(K40, "time_s")]
    rows = ([_row(K40, k["time_s"], "s", before, before / k["time_s"], before / k["time_s"] >= 10.0,
                  "ratio = before/now")] if k else [_missing(K40)])
    out.append({"id": "k40-persistence", "need": "ratio before/now >= 10",
                "text": "Persistence, K40 admitted in random order, max_q None: at least 10x faster than 174 s",
                "rows": rows, "required": [K40]})

    # 8. Analysis no longer than conversion plus result building.
    rows = []
    for name in SPLIT_WORKLOADS:
        k = _korvane(records, name)
        ratio = analysis_over_conv_build(k)
        if ratio is None:
            rows.append(_missing(name, "not run" if k is None else "no in-call build time"))
        else:
            residual = analysis_over_conv_build(k, residual=True)
            note = (f"analysis timed alone; whole call less conv+build: {residual:.2f}"
                    if k.get("analysis_in_call_s") is not None else "whole call less conv+build")
            rows.append(_row(name, ratio, "x",
                             analysis_over_conv_build(_before(records, name)), ratio, ratio <= 1.0, note))
    out.append({"id": "analysis-split", "need": "analysis/(conv+build) <= 1",
                "text": "The analysis takes no longer than conversion plus result building", "rows": rows,
                "required": list(SPLIT_WORKLOADS)})

    # 9. Under a bound, K48 in random order at least 20x faster than by its
    # maximal cliques, the path every bounded filtration took before the
    # small cliques' one; timed in turns in the sweep.
    by_family = {r["point"]["name"]: r["result"] for r in (sweep or {}).get("records", [])}
    rows = []
    for name in K48_SWEEP:
        rec = by_family.get(name)
        if not rec or rec.get("status") != "ok":
            rows.append(_missing(name, "not in the sweep" if rec is None else rec.get("status", "failed")))
            continue
        times = rec["times_s"]
        ratio = times["maximal"] / times["shipped"]
        rows.append(_row(name, times["shipped"], "s", times["maximal"], ratio, ratio >= 20.0,
                         "before = the maximal cliques' path, in turns"))
    out.append({"id": "bounded-k48", "need": "ratio maximal-path/shipped >= 20",
                "text": "Persistence under a bound, K48 in random order, max_q 2, 3 and 4: at least 20x faster "
                        "than following maximal cliques", "rows": rows, "required": list(K48_SWEEP)})

    # 10. Time per member of the result under a bound within 3x from K40 to
    # K64.
    rows = []
    for m in BOUNDED:
        names = [dense_name(n, 1.0, m) for n in DENSE_SIZES]
        per_member = []
        for name in names:
            k = _korvane(records, name)
            per_member.append(1e9 * k["time_s"] / k["members"] if k and k.get("members") else None)
        label = f"dense K{DENSE_SIZES[0]} -> K{DENSE_SIZES[1]} max_q={m}"
        if None in per_member:
            rows.append(_missing(label))
        else:
            ratio = per_member[1] / per_member[0]
            rows.append(_row(label, per_member[1], "ns/member", per_member[0], ratio, ratio <= 3.0))
    out.append({"id": "bounded-per-member", "need": "ratio K64/K40 per member <= 3",
                "text": "Persistence under a bound: time per member of the result within 3x from K40 to K64",
                "rows": rows, "required": [f"dense K{DENSE_SIZES[0]} -> K{DENSE_SIZES[1]} max_q={m}"
                                           for m in BOUNDED]})

    for t in out:
        measured = {r["workload"]: r for r in t["rows"] if r["pass"] is not None}
        if any(r["pass"] is False for r in measured.values()):
            t["status"] = "FAIL"
        elif all(name in measured for name in t["required"]) and measured:
            t["status"] = "PASS"
        else:
            t["status"] = "INCOMPLETE"
    return out


def _fmt(value, unit):
    if value is None:
        return "-"
    if unit == "x":
        return f"{value:,.2f}x" if value < 100 else f"{value:,.0f}x"
    if unit == "s":
        return f"{value:.2f} s"
    if unit == "MB":
        return f"{value:,.0f} MB"
    if unit == "ns/member":
        return f"{value:.0f} ns/mbr"
    return f"{value:.3g} {unit}"


def report(targets):
    """Text lines of the target report: per target its status and need, then
    one line per workload with the figure now, before, and the checked ratio."""
    head = f"    {'workload':<44} {'now':>12} {'before':>12} {'ratio':>8}  result"
    lines = [head, "    " + "-" * (len(head) - 4)]
    for t in targets:
        lines.append(f"[{t['status']}] {t['text']}; need {t['need']}")
        for r in t["rows"]:
            verdict = {True: "pass", False: "FAIL", None: "-"}[r["pass"]]
            ratio = f"{r['ratio']:.2f}" if r["ratio"] is not None else "-"
            lines.append(f"    {r['workload'][:44]:<44} {_fmt(r['figure'], r['unit']):>12} "
                         f"{_fmt(r['before'], r['unit']):>12} {ratio:>8}  {verdict:<4}  {r['note']}".rstrip())
    return lines
