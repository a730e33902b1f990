#!/usr/bin/env python3
"""Draws Vantrel's icons and link cursor and writes them, with the manifest,
into src/res/.

Everything is plain geometry rendered with integer arithmetic, so the output is
byte-for-byte the same on every run and every machine.  The files in src/res/
are committed; `--check` fails when they no longer match what this script
draws, so nobody hand-edits a binary that the next regeneration would lose.

What the art looks like is in motif.py, how its polygons become pixels in
raster.py, how pixels become Windows' icon and cursor files in icon_format.py,
and the manifest's text in manifest.py.
"""

import argparse
import os
import sys

from icon_format import VGA16, encode_dib, group_icon, icon_file, monochrome_cursor, palette_256
from manifest import MANIFEST
from motif import HAND, HAND_HOTSPOT, monitor_layers, vga_colour
from raster import render_smooth, render_vga

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES_DIR = os.path.join(ROOT, "src", "res")

APP_IMAGE_ID = 30001  # must match IDI_APP_IMAGE in src/res/resource_ids.h


def build():
    """Returns {file name: bytes} for everything this script owns."""
    files = {}

    big = render_smooth(48, monitor_layers(48))
    dib48 = encode_dib(big, palette_256(big), 8)
    assert len(dib48) == 3752, len(dib48)
    files["app_icon_48.bin"] = dib48
    files["app_icon_group.bin"] = group_icon([(48, 48, 0, 8, len(dib48), APP_IMAGE_ID)])
    files["vantrel.ico"] = icon_file([(48, 48, 0, 8, dib48)])

    small = []
    for size in (32, 16):
        image = render_vga(size, monitor_layers(size), vga_colour)
        small.append((size, size, 16, 4, encode_dib(image, VGA16, 4)))
    files["about.ico"] = icon_file(small)

    files["hand.cur"] = monochrome_cursor(HAND, HAND_HOTSPOT)
    files["vantrel.manifest"] = MANIFEST.encode("utf-8")
    return files


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in the output folder instead of writing")
    parser.add_argument("--out", default=RES_DIR, help="output folder (default: src/res)")
    args = parser.parse_args(argv)
    return check(build(), args.out) if args.check else write(build(), args.out)


def check(files, out):
    stale = [name for name, data in sorted(files.items()) if not holds(os.path.join(out, name), data)]
    for name in stale:
        print("out of date: %s" % os.path.join(out, name), file=sys.stderr)
    if stale:
        print("run tools/artwork/make_art.py to regenerate", file=sys.stderr)
        return 1
    return 0


def holds(path, data):
    try:
        with open(path, "rb") as f:
            return f.read() == data
    except OSError:
        return False


def write(files, out):
    os.makedirs(out, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
