"""How the bench prints: figures formatted one way everywhere, and tables of
fixed-width columns."""


def _tiered(value, tiers):
    """The value in the format of the first tier whose bound it is below (the
    last tier has none); '-' for no value."""
    if value is None:
        return "-"
    for below, fmt in tiers:
        if below is None or value < below:
            return fmt(value)


def fmt_time(s):
    return _tiered(s, ((1e-3, lambda v: f"{v * 1e6:.0f}us"), (1, lambda v: f"{v * 1e3:.1f}ms"),
                       (None, lambda v: f"{v:.2f}s")))


def fmt_ratio(r):
    return _tiered(r, ((1, lambda v: f"{v:.2f}x"), (100, lambda v: f"{v:.1f}x"), (None, lambda v: f"{v:,.0f}x")))


def fmt_mb(mb):
    return _tiered(mb, ((1, lambda v: f"{v:.2f}"), (100, lambda v: f"{v:.1f}"), (None, lambda v: f"{v:,.0f}")))


def fmt_fraction(value):
    """A ratio kept to two decimals, for figures compared with a target."""
    return "-" if value is None else f"{value:.2f}"


class Table:
    """Columns of (name, width, align), align '<' or '>'; cells are cut to
    their column's width."""

    def __init__(self, columns, indent=""):
        self.columns = columns
        self.indent = indent

    def header(self):
        line = self.row([name for name, _, _ in self.columns])
        return [line, self.indent + "-" * (len(line) - len(self.indent))]

    def row(self, cells):
        return self.indent + " ".join(f"{str(c)[:width]:{align}{width}}"
                                      for c, (_, width, align) in zip(cells, self.columns)).rstrip()


# ---------------------------------------------------------------------------
# The workload table and the earlier korvane beside this one
# ---------------------------------------------------------------------------

# Baselines, in table order: (record key, column, ratio column).
BASELINES = (("reference", "ref", "ref/k"), ("pure", "pure", "pure/k"), ("inv", "inv", "inv/k"),
             ("scipy", "scipy", "sp/k"))

WORKLOAD_TABLE = Table([("workload", 42, "<"), ("input", 17, "<"), ("korvane", 8, ">"), ("peakMB", 7, ">"),
                        ("deepMB", 7, ">"), ("pk/dp", 5, ">"),
                        ("ref", 8, ">"), ("ref/k", 7, ">"), ("pure", 8, ">"), ("pure/k", 7, ">"),
                        ("inv", 8, ">"), ("inv/k", 7, ">"), ("scipy", 8, ">"), ("sp/k", 6, ">"),
                        ("conv", 7, ">"), ("build", 8, ">"), ("analysis", 8, ">"), ("agree", 5, ">")])


def _baseline_cells(entry, korvane_time, timeout):
    """Time and ratio-to-korvane cells for a baseline's entry."""
    status = entry.get("status")
    # A baseline timed in turns with korvane carries korvane's time of its own.
    korvane_time = entry.get("korvane_time_s") or korvane_time
    if status == "ok":
        ratio = entry["time_s"] / korvane_time if korvane_time else None
        return fmt_time(entry["time_s"]), fmt_ratio(ratio)
    if status == "timeout":
        lower = timeout / korvane_time if korvane_time else None
        return f">{timeout:g}s", (">" + fmt_ratio(lower)) if lower else "-"
    if status == "skipped":
        return "skip", "-"
    return "error", "-"


def workload_row(rec, timeout):
    w, k = rec["workload"], rec["korvane"]
    name = ("* " if w["target"] else "  ") + w["name"]
    size = f"{k['items']:,} {k['unit']}" if "items" in k else "-"
    kt = k.get("time_s") if k.get("status") == "ok" else None
    if k.get("status") == "ok":
        ktime = fmt_time(kt)
    elif k.get("status") == "timeout":
        ktime = k["reason"].replace(" ", "")
    else:
        ktime = "error"
    peak, deep = k.get("peak_delta_mb"), k.get("deep_mb")
    ratio = f"{peak / deep:.2f}" if peak is not None and deep else "-"
    cells = [name, size, ktime, fmt_mb(peak), fmt_mb(deep), ratio]
    for key, _, _ in BASELINES:
        cells.extend(_baseline_cells(rec[key], kt, timeout))
    split = rec.get("split") or {}
    analysis = f"{100 * split['analysis_share']:.0f}%" if "analysis_share" in split else "-"
    build = fmt_time(split.get("build_s"))
    if split.get("build_is_copy"):
        build = "~" + build
    cells += [fmt_time(split.get("conversion_s", k.get("conversion_s"))), build, analysis, rec.get("agree", "-")]
    return WORKLOAD_TABLE.row(cells)


BEFORE_TABLE = Table([("workload", 42, "<"), ("before", 8, ">"), ("now", 8, ">"), ("speedup", 7, ">"),
                      ("build", 8, ">"), ("now", 8, ">"), ("bld/mbr", 8, ">"), ("now", 8, ">")], indent="  ")


def before_rows(records, split_times):
    """The table of the earlier korvane against this one; split_times(entry)
    gives an entry's split of its time."""
    lines = []
    for rec in records:
        b = rec.get("before")
        if not b or b.get("status") == "skipped":
            continue
        if b.get("status") != "ok":
            lines.append(f"  {rec['workload']['name'][:42]:<42} {b['status']} {b.get('reason', '')}")
            continue
        now = b["now"]
        bs, ns = split_times(b) or {}, split_times(now) or {}

        def per_member(s):
            return f"{s['build_ns_per_member']:.0f}ns" if "build_ns_per_member" in s else "-"

        lines.append(BEFORE_TABLE.row([rec["workload"]["name"], fmt_time(b["time_s"]), fmt_time(now["time_s"]),
                                       fmt_ratio(b["time_s"] / now["time_s"]), fmt_time(b.get("build_s")),
                                       fmt_time(now.get("build_s")), per_member(bs), per_member(ns)]))
    return BEFORE_TABLE.header() + lines if lines else []
