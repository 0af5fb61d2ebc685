#!/usr/bin/env python3
"""Puts two benchmark runs side by side as Markdown tables.

scripts/bench-compare runs the benchmark programs of an old and a new tree
and leaves, for each side, one directory with what they wrote:

  eval.json compile.json plot.json startup.json hostile.json graph.json
                Google Benchmark output (--benchmark_out_format=json)
  summary.txt   nomix_bench's own tables from a run that times nothing:
                the expressions, the hostile lines, the engine heap and
                the compiler line
  desktop.txt   nomix_bench_desktop's table

Any file may be missing (a tree that lacks a benchmark, or a run that
failed); its figures then show "-".

  bench_compare.py OLD_DIR NEW_DIR [--old-id ID] [--new-id ID]
                   [--load TEXT] [--date TEXT]
"""

import argparse
import json
import math
import os
import platform
import re
import sys

DASH = "-"

# Seconds per unit of Google Benchmark's time_unit field.
UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


# Parts Google Benchmark appends to a figure's name for its run settings.
SETTING_PART = re.compile(r"^(\w+:[\w.]+|manual_time|real_time|process_time)$")


def figure_name(run_name):
    """The name a benchmark was registered with, without the run settings."""
    parts = run_name.split("/")
    while len(parts) > 1 and SETTING_PART.match(parts[-1]):
        parts.pop()
    return "/".join(parts)


def load_json_medians(path):
    """Median entries of a Google Benchmark JSON file, by run name.

    Each value is the whole entry (cpu_time, time_unit, counters). A figure
    that failed keeps its error message under "error". A missing or broken
    file gives no figures rather than stopping the comparison.
    """
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError):
        return {}
    medians = {}
    for entry in data.get("benchmarks", []):
        name = figure_name(entry.get("run_name", entry.get("name", "")))
        if entry.get("error_occurred"):
            medians.setdefault(name, {"error": entry.get("error_message", "failed")})
        elif entry.get("aggregate_name") == "median":
            medians[name] = entry
    return medians


def cpu_ns(entry):
    """Processor time of a median entry in nanoseconds, or None."""
    if not entry or "cpu_time" not in entry:
        return None
    seconds = UNIT_SECONDS.get(entry.get("time_unit", "ns"))
    return None if seconds is None else entry["cpu_time"] * seconds * 1e9


def read_text(path):
    """A text file's contents, empty when it cannot be read."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def markdown_section(text, heading_start):
    """The rows of the first Markdown table after a heading, as cell lists."""
    rows, inside = [], False
    for line in text.splitlines():
        if line.startswith("###"):
            if inside:
                break
            inside = line.startswith(heading_start)
            continue
        if inside and line.startswith("|"):
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if cells and not set("".join(cells)) <= set(":- "):
                rows.append(cells)
    return rows[1:]  # without the header


class Side:
    """Everything one tree's run left behind."""

    def __init__(self, directory):
        """Reads every file the run left in the directory."""
        self.directory = directory
        self.json = {}
        for group in ("eval", "compile", "plot", "startup", "hostile", "graph"):
            self.json.update(load_json_medians(os.path.join(directory, group + ".json")))
        self.summary = read_text(os.path.join(directory, "summary.txt"))
        self.desktop = read_text(os.path.join(directory, "desktop.txt"))

    def ns(self, name):
        """Median processor time of a figure in nanoseconds, or None."""
        return cpu_ns(self.json.get(name))

    def counter(self, name, counter):
        """Median of a figure's counter (the start-up phases), or None."""
        value = self.json.get(name, {}).get(counter)
        return value if isinstance(value, (int, float)) else None

    def names(self, prefix):
        """The figures whose names start with the prefix, in run order."""
        return [n for n in self.json if n.startswith(prefix)]

    def expressions(self):
        """Expression number -> its Nomix text, from the summary."""
        return {int(r[0]): r[1] for r in markdown_section(self.summary, "### Evaluation")
                if r and r[0].isdigit() and len(r) > 1}

    def hostile_lines(self):
        """The hostile lines' descriptions, in the order they are run."""
        return [r[0] for r in markdown_section(self.summary, "### Hostile lines")]

    def heap(self):
        """Expression number -> (records, blocks, bytes) as text."""
        return {int(r[0]): (r[1], r[2], r[3]) for r in markdown_section(self.summary, "### Engine heap")
                if len(r) >= 4 and r[0].isdigit()}

    def compiler(self):
        """The compiler and flags line nomix_bench prints, or None."""
        match = re.search(r"^- compiler: (.*)$", self.summary, re.M)
        return match.group(1) if match else None

    def desktop_figure(self, first_word):
        """The median cell of the desktop table's row that starts with a word."""
        for line in self.desktop.splitlines():
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if len(cells) >= 2 and cells[0].startswith(first_word):
                number = re.match(r"[-+]?\d+(\.\d+)?", cells[1])
                return float(number.group(0)) if number and float(number.group(0)) >= 0 else None
        return None


def fmt(value, decimals):
    """A number with a fixed count of decimals, or a dash when unknown."""
    return DASH if value is None or (isinstance(value, float) and math.isnan(value)) else f"{value:.{decimals}f}"


def ratio(a, b):
    """a/b, or None when either is unknown."""
    return a / b if a is not None and b is not None and b > 0 else None


def scaled(value, divisor):
    """A figure in another unit, keeping None."""
    return None if value is None else value / divisor


def geometric_mean(values):
    """The mean of ratios, so that twice as slow and twice as fast cancel."""
    logs = [math.log(v) for v in values if v is not None and v > 0]
    return math.exp(sum(logs) / len(logs)) if logs else None


class Table:
    """A Markdown table; columns are (title, "l" or "r")."""

    def __init__(self, *columns):
        self.columns = columns
        self.rows = []

    def add(self, *cells):
        """Adds a row; the cells are turned into text."""
        self.rows.append([str(c) for c in cells])

    def render(self):
        """Header, alignment row and rows, each cell padded to its column."""
        widths = [max(3, len(title)) for title, _ in self.columns]
        for row in self.rows:
            widths = [max(w, len(c)) for w, c in zip(widths, row)]

        def line(cells):
            padded = [c.ljust(w) if a == "l" else c.rjust(w)
                      for c, w, (_, a) in zip(cells, widths, self.columns)]
            return "| " + " | ".join(padded) + " |"

        rule = "|" + "|".join((":" + "-" * (w + 1)) if a == "l" else ("-" * (w + 1) + ":")
                              for w, (_, a) in zip(widths, self.columns)) + "|"
        return "\n".join([line([t for t, _ in self.columns]), rule] + [line(r) for r in self.rows]) + "\n"


def expression_numbers(old, new, kind):
    """Every expression number either side has figures or a text for."""
    numbers = set(old.expressions()) | set(new.expressions())
    for side in (old, new):
        for name in side.names(kind + "/"):
            tail = name.rsplit("/", 1)[-1]
            if tail.isdigit():
                numbers.add(int(tail))
    return sorted(numbers)


def evaluation(old, new):
    """Nomix and muparser per expression, both ratios and their means."""
    t = Table(("#", "r"), ("expression (Nomix)", "l"), ("Nomix old", "r"), ("Nomix new", "r"),
              ("muparser old", "r"), ("muparser new", "r"), ("ratio old", "r"), ("ratio new", "r"))
    texts = {**old.expressions(), **new.expressions()}
    ratios_old, ratios_new = [], []
    for n in expression_numbers(old, new, "eval"):
        name = f"{n:02d}"
        no, nn = old.ns("eval/nomix/" + name), new.ns("eval/nomix/" + name)
        po, pn = old.ns("eval/muparser/" + name), new.ns("eval/muparser/" + name)
        ro, rn = ratio(no, po), ratio(nn, pn)
        ratios_old.append(ro)
        ratios_new.append(rn)
        t.add(n, texts.get(n, ""), fmt(no, 1), fmt(nn, 1), fmt(po, 1), fmt(pn, 1), fmt(ro, 2), fmt(rn, 2))
    # Over the same expressions on both sides, so that one side's missing
    # figure does not move its mean; each side alone when the other has none.
    common = [(o, n) for o, n in zip(ratios_old, ratios_new) if o and n]
    label = "geometric mean"
    if common and len(common) < max(len([r for r in ratios_old if r]), len([r for r in ratios_new if r])):
        ratios_old, ratios_new = [o for o, _ in common], [n for _, n in common]
        label += f" (the {len(common)} both have)"
    t.add("", label, "", "", "", "", fmt(geometric_mean(ratios_old), 2), fmt(geometric_mean(ratios_new), 2))
    return "### Evaluation, ns per evaluation (medians)\n\n" + t.render()


def compilation(old, new):
    """Compile time per expression in both trees."""
    t = Table(("#", "r"), ("Nomix old", "r"), ("Nomix new", "r"), ("muparser old", "r"), ("muparser new", "r"),
              ("Nomix new/old", "r"))
    for n in expression_numbers(old, new, "compile"):
        name = f"{n:02d}"
        no, nn = scaled(old.ns("compile/nomix/" + name), 1e3), scaled(new.ns("compile/nomix/" + name), 1e3)
        po, pn = scaled(old.ns("compile/muparser/" + name), 1e3), scaled(new.ns("compile/muparser/" + name), 1e3)
        t.add(n, fmt(no, 2), fmt(nn, 2), fmt(po, 2), fmt(pn, 2), fmt(ratio(nn, no), 2))
    return ("### Compilation, µs from nx_Parse to release (muparser: SetExpr and the first Eval), medians\n\n"
            + t.render())


def old_new_table(title, first_column, rows, decimals):
    """A table of (label, old, new) rows with the ratio new/old; a row may
    carry its own count of decimals as a fourth item."""
    t = Table((first_column, "l"), ("old", "r"), ("new", "r"), ("new/old", "r"))
    for label, o, n, *places in rows:
        d = places[0] if places else decimals
        t.add(label, fmt(o, d), fmt(n, d), fmt(ratio(n, o), 2))
    return title + "\n\n" + t.render()


def startup(old, new):
    """The two start-up phases, their sum and the wall-clock time."""
    phases = [("1: language file (nx_Initialize and the definitions)", "phase1_ms"),
              ("2: application set-up", "phase2_ms"), ("both", "both_ms"), ("both, wall-clock time", "wall_ms")]
    rows = [(label, old.counter("startup", c), new.counter("startup", c)) for label, c in phases]
    return old_new_table("### Start-up, ms of processor time, medians (a fresh process each time)", "phase", rows, 2)


def plot(old, new):
    """The plot loop in both engines, and Nomix/muparser on each side."""
    t = Table(("engine", "l"), ("ms old", "r"), ("ms new", "r"), ("ns per point old", "r"),
              ("ns per point new", "r"))
    points = 100000
    for label, engine in (("Nomix", "nomix"), ("muparser", "muparser")):
        o, n = old.ns("plot/" + engine), new.ns("plot/" + engine)
        t.add(label, fmt(scaled(o, 1e6), 2), fmt(scaled(n, 1e6), 2), fmt(scaled(o, points), 1),
              fmt(scaled(n, points), 1))
    ro = ratio(old.ns("plot/nomix"), old.ns("plot/muparser"))
    rn = ratio(new.ns("plot/nomix"), new.ns("plot/muparser"))
    t.add("ratio Nomix/muparser", fmt(ro, 2), fmt(rn, 2), "", "")
    return "### Plot loop, 100000 evaluations of y = Sin(x)*x^2, medians\n\n" + t.render()


def hostile(old, new):
    """Each hostile line, named as the summary names it."""
    names = list(dict.fromkeys(old.names("hostile/") + new.names("hostile/")))
    labels = new.hostile_lines() or old.hostile_lines()
    rows = []
    for i, name in enumerate(names):
        label = labels[i] if len(labels) == len(names) else name
        rows.append((label, scaled(old.ns(name), 1e6), scaled(new.ns(name), 1e6)))
    return old_new_table("### Hostile lines of 200,000 characters, ms to the answer, medians", "line", rows, 2)


def heap(old, new):
    """What each compiled expression keeps in the engine heap."""
    t = Table(("#", "r"), ("bytes old", "r"), ("bytes new", "r"), ("blocks old", "r"), ("blocks new", "r"),
              ("records old", "r"), ("records new", "r"))
    ho, hn = old.heap(), new.heap()
    missing = (DASH, DASH, DASH)
    for n in sorted(set(ho) | set(hn)):
        (ro, bo, yo), (rn, bn, yn) = ho.get(n, missing), hn.get(n, missing)
        t.add(n, yo, yn, bo, bn, ro, rn)
    return "### Engine heap per compiled expression\n\n" + t.render()


def desktop(old, new):
    """Start-up of the desktop program and Enter to answer."""
    rows = [("start of nomix to main window painted (ms)", old.desktop_figure("start"), new.desktop_figure("start"), 1),
            ("Enter to answer shown, 2+3 (ms)", old.desktop_figure("Enter"), new.desktop_figure("Enter"), 3)]
    return old_new_table("### Desktop program, medians", "figure", rows, 3)


def graph(old, new):
    """Every figure of the graph drawing pass."""
    names = list(dict.fromkeys(old.names("graph/") + new.names("graph/")))
    rows = [(name[len("graph/"):], scaled(old.ns(name), 1e6), scaled(new.ns(name), 1e6)) for name in names]
    return old_new_table("### Graph drawing pass, ms of processor time, medians", "figure", rows, 1)


def processor():
    """The processor model, from the first "model name" line."""
    for line in read_text("/proc/cpuinfo").splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return "unknown processor"


def header(old, new, args):
    """Date, machine, load, compiler and commits: a figure means little without them."""
    compilers = [c for c in dict.fromkeys((old.compiler(), new.compiler())) if c]
    compiler = "; ".join(compilers) if len(compilers) < 2 else f"old {compilers[0]}; new {compilers[1]}"
    return (f"- date: {args.date or 'unknown'}\n"
            f"- machine: {processor()}, {os.cpu_count()} CPUs, {platform.system()} {platform.release()}, "
            f"load average {args.load or 'unknown'} when the run started\n"
            f"- compiler: {compiler or 'unknown'}\n"
            f"- old: {args.old_id or os.path.basename(os.path.abspath(args.old))}\n"
            f"- new: {args.new_id or os.path.basename(os.path.abspath(args.new))}\n")


def report(args):
    """The whole comparison as Markdown."""
    old, new = Side(args.old), Side(args.new)
    sections = [evaluation, compilation, startup, plot, hostile, heap, desktop, graph]
    return ("## Old and new side by side\n\nProcessor time unless a table says otherwise; "
            "old and new ran one after the other, group by group.\n\n"
            + header(old, new, args) + "\n" + "\n".join(s(old, new) for s in sections))


def main(argv):
    """Prints the tables of two run directories."""
    parser = argparse.ArgumentParser(description="Old and new benchmark figures side by side.")
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--old-id")
    parser.add_argument("--new-id")
    parser.add_argument("--load")
    parser.add_argument("--date")
    args = parser.parse_args(argv)
    sys.stdout.write(report(args))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
