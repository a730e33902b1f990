#!/usr/bin/env python3
"""Prints one line: the non-blank lines of tests/ against those of the whole project
(src, tests, bench, tools, scripts and the CMake files), the files git tracks. Data and
prose (icons, the manifest, JSON, Markdown, text) do not count."""
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FOLDERS = ("src/", "tests/", "bench/", "tools/", "scripts/", "cmake/")
DATA = (".bin", ".ico", ".cur", ".png", ".manifest", ".json", ".md", ".txt")


def counted(name: str) -> bool:
    if name.endswith("CMakeLists.txt"):
        return True
    return name.startswith(FOLDERS) and not name.endswith(DATA)


def non_blank_lines(name: str) -> int:
    return sum(1 for line in (ROOT / name).read_text(errors="replace").splitlines() if line.strip())


files = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
lines = {name: non_blank_lines(name) for name in files if counted(name) and (ROOT / name).is_file()}
tests = sum(n for name, n in lines.items() if name.startswith("tests/"))
total = sum(lines.values())
print(f"tests/: {tests} of {total} non-blank lines, {100 * tests / total:.2f} % (at most 35 %)")
