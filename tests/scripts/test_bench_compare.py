#!/usr/bin/env python3
"""The table merger of scripts/bench-compare, run as the script runs it, on
two small canned runs: the new one has an expression, a compile figure, a
desktop and a graph figure the old one lacks; the old one has a compile file
cut short and a desktop run that failed; the new plot loop lost muparser's
figure to an error."""

import os
import re
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
MERGER = os.path.join(HERE, "..", "..", "scripts", "bench_compare.py")
DATA = os.path.join(HERE, "bench_compare")


def merged():
    result = subprocess.run(
        [sys.executable, MERGER, os.path.join(DATA, "old"), os.path.join(DATA, "new"), "--old-id", "0ld1d",
         "--new-id", "n3w1d", "--load", "1.50 1.00 0.50", "--date", "2026-12-09 07:00 UTC"],
        capture_output=True, text=True, check=True)
    return result.stdout


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def row(text, section, first, second=None):
    """The cells of the first row of a section whose leading cells match."""
    inside = False
    for line in text.splitlines():
        if line.startswith("### "):
            inside = line.startswith("### " + section)
        elif inside and line.startswith("|"):
            c = cells(line)
            if c[0] == first and (second is None or c[1] == second):
                return c
    return None


class BenchCompareTables(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.text = merged()

    def test_rows(self):
        # section, leading cells, expected cells: medians (never the means),
        # converted to the table's unit, with a dash where a side has nothing.
        cases = [
            ("Evaluation", ("1", "a+1"), ["5.0", "4.0", "2.0", "2.0", "2.50", "2.00"]),
            ("Evaluation", ("2", "a*2"), ["-", "3.0", "-", "6.0", "-", "0.50"]),
            ("Evaluation", ("", "geometric mean (the 1 both have)"), ["", "", "", "", "2.50", "2.00"]),
            ("Compilation", ("1", None), ["-", "1.50", "-", "3.00", "-"]),
            ("Start-up", ("1: language file (nx_Initialize and the definitions)", None), ["6.00", "5.00", "0.83"]),
            ("Start-up", ("both, wall-clock time", None), ["9.50", "8.25", "0.87"]),
            ("Plot loop", ("Nomix", None), ["2.00", "1.20", "20.0", "12.0"]),
            ("Plot loop", ("muparser", None), ["1.60", "-", "16.0", "-"]),
            ("Plot loop", ("ratio Nomix/muparser", None), ["1.25", "-", "", ""]),
            ("Hostile lines", ('"(" x 200000', None), ["4.00", "2.00", "0.50"]),
            ("Engine heap", ("1", None), ["648", "480", "7", "5", "1", "1"]),
            ("Engine heap", ("2", None), ["-", "480", "-", "5", "-", "1"]),
            ("Desktop", ("start of nomix to main window painted (ms)", None), ["-", "96.1", "-"]),
            ("Desktop", ("Enter to answer shown, 2+3 (ms)", None), ["-", "0.700", "-"]),
            ("Graph", ("16 rows/image 1600x1000", None), ["-", "50.0", "-"]),
        ]
        for section, (first, second), expected in cases:
            with self.subTest(section=section, row=first):
                found = row(self.text, section, first, second)
                self.assertIsNotNone(found, f"no row {first!r} in {section}")
                self.assertEqual(found[2 if second is not None else 1:], expected)

    def test_header(self):
        for pattern in [r"^- date: 2026-12-09 07:00 UTC$", r"^- machine: .+, \d+ CPUs, .+, load average 1.50 1.00 0.50",
                        r"^- compiler: g\+\+ 12.2.0, Release build, flags: -O3 -DNDEBUG$", r"^- old: 0ld1d$",
                        r"^- new: n3w1d$"]:
            with self.subTest(pattern=pattern):
                self.assertRegex(self.text, re.compile(pattern, re.M))

    def test_tables_are_well_formed(self):
        # Every line of a table has as many cells as its header.
        width = None
        for line in self.text.splitlines() + [""]:
            if not line.startswith("|"):
                width = None
            elif width is None:
                width = len(cells(line))
            else:
                self.assertEqual(len(cells(line)), width, line)


if __name__ == "__main__":
    unittest.main()
