#!/usr/bin/env python3
"""Prints which folders of src/ include which, and fails when an include points up.

The folders are layered, bottom to top: the window framework; display and launch; res
(the tables, pure data); about; app; and the Windows side, win32, which alone may
include everything in the program. Above it sits the installer's custom action, a DLL of
its own that borrows the main window's class name and the handle guards. A folder may
include its own files and those of lower layers."""
import re
import sys
from collections import defaultdict
from pathlib import Path

SRC = Path(__file__).resolve().parents[1] / "src"
LAYERS = [["framework"], ["display", "launch"], ["res"], ["about"], ["app"], ["win32"], ["installer"]]
RANK = {folder: rank for rank, layer in enumerate(LAYERS) for folder in layer}
INCLUDE = re.compile(r'^#include "([a-z0-9_]+)/', re.M)


def main() -> int:
    edges = defaultdict(set)
    upward = []
    for path in sorted(SRC.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(SRC).parts[0]
        for target in INCLUDE.findall(path.read_text()):
            if target == folder:
                continue
            edges[folder].add(target)
            if target not in RANK or RANK[target] >= RANK[folder]:
                upward.append(f"{path.relative_to(SRC)} includes {target}/")
    for folder in sorted(RANK, key=RANK.get):
        print(f"{folder:10} -> {', '.join(sorted(edges[folder], key=RANK.get)) or '(nothing)'}")
    for line in upward:
        print("upward or sideways:", line)
    return 1 if upward else 0


if __name__ == "__main__":
    sys.exit(main())
