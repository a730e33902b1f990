#!/usr/bin/env python3
"""Measures vantrel.exe against floor.exe (bench/floor.cpp: the least a tray program
of this design has to do) under Wine, in one private rig, and prints one markdown
table with both figures and their ratio; the same table goes to
build/bench/results.md.

    python3 bench/bench.py [--runs N] [--idle-seconds S]

scripts/bench builds first and then runs this. measure.py runs the programs under Wine
and says how each figure is taken, wine_trace.py reads Wine's call trace, report.py
writes the table.
"""

from __future__ import annotations

import argparse
import sys
import time

import measure
from report import report

RESULTS = measure.REPO / "build" / "bench" / "results.md"


def arguments(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=10, help="runs per timed figure (default 10)")
    parser.add_argument("--idle-seconds", type=float, default=60, help="idle time per program (default 60)")
    args = parser.parse_args(argv)
    if args.runs < 1 or args.idle_seconds <= 0:
        parser.error("--runs and --idle-seconds must be positive")
    return args


def main(argv: list[str]) -> int:
    args = arguments(argv)
    missing = measure.missing_builds()
    if missing:
        print("not built: " + ", ".join(missing) + "\n(bench/ must be added to the Windows builds: "
              "add_subdirectory(bench) in CMakeLists.txt's if(WIN32) block; then scripts/bench builds it)",
              file=sys.stderr)
        return 1

    began = time.monotonic()
    sizes = measure.sizes()
    figures = measure.measure_all(args.runs, args.idle_seconds)
    table = report(figures, args.runs, args.idle_seconds, sizes, time.monotonic() - began)
    RESULTS.parent.mkdir(parents=True, exist_ok=True)
    RESULTS.write_text(table)
    print(table, end="")
    measure.progress(f"written to {RESULTS.relative_to(measure.REPO)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
