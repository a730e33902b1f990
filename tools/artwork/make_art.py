#!/usr/bin/env python3
"""Draws Vantrel's icons and link cursor and writes them, with the manifest,
into src/res/.

Everything is plain geometry rendered with integer arithmetic, so the output is
byte-for-byte the same on every run and every machine.  The files in src/res/
are committed; `--check` fails when they no longer match what this script
draws, so nobody hand-edits a binary that the next regeneration would lose.

Motif: a monitor on a stand whose blue screen carries a white diagonal
double-headed "resize" arrow.  The silhouette sits on a 16-cell grid (3 px per
cell at 48 px) so that Windows' 3:1 reduction of the 48 px image for the
16 px tray slot lands on whole cells and stays crisp.
"""

import argparse
import os
import struct
import sys
from fractions import Fraction

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES_DIR = os.path.join(ROOT, "src", "res")

APP_IMAGE_ID = 30001  # must match IDI_APP_IMAGE in src/res/resource_ids.h

SUPERSAMPLE = 8       # samples per pixel along each axis
SUB = 6               # geometry may use sixths of a pixel

# --- colours -------------------------------------------------------------

OUTLINE = (18, 22, 30)
BEZEL = (64, 71, 86)
BEZEL_LIGHT = (104, 112, 128)
SCREEN_RIM = (10, 36, 92)
SCREEN_TOP = (72, 156, 250)
SCREEN_BOTTOM = (22, 86, 206)
ARROW = (255, 255, 255)

# The standard 16-colour VGA palette used by 4 bpp icons.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# At 4 bpp every colour is mapped to an exact palette entry rather than to
# the nearest one, so the small icons keep their intended look.
VGA_OF = {
    OUTLINE: (0, 0, 0),
    BEZEL: (128, 128, 128),
    BEZEL_LIGHT: (128, 128, 128),
    SCREEN_RIM: (0, 0, 128),
    SCREEN_TOP: (0, 0, 255),
    SCREEN_BOTTOM: (0, 0, 255),
    ARROW: (255, 255, 255),
}


# --- geometry ------------------------------------------------------------

# The arrow, in grid cells: its bounding box (x0, y0, x1, y1), the length of
# each head's legs and half the shaft's width, measured along either axis.
ARROW_BOX = (4, 2, 12, 10)
ARROW_LEG = Fraction(4)
ARROW_HALF_WIDTH = Fraction(1, 2)


def rect(x0, y0, x1, y1):
    """Axis-aligned box, or None when it has no area (a detail too small for
    the size being drawn)."""
    if x1 <= x0 or y1 <= y0:
        return None
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def screen_gradient(top, bottom, cell):
    """Vertical blue ramp: lighter at the top, like a lit panel.  A few flat
    bands rather than a smooth ramp keep the palette small, and each band
    starts on a grid cell so a 3:1 reduction never mixes two of them."""
    steps = 5
    first, span = top // cell, max(1, (bottom - 1) // cell - top // cell + 1)

    def colour(px, py):
        t = min(steps - 1, max(0, (py // cell - first) * steps // span))
        return tuple(a + (b - a) * t // (steps - 1) for a, b in zip(SCREEN_TOP, SCREEN_BOTTOM))
    return colour


def monitor_layers(size):
    """Layers (colour, polygons) in paint order, coordinates in pixels.

    `u` is the grid cell: 3 px at 48, 2 px at 32, 1 px at 16.  Finer details
    (bevel highlight, screen rim) are only added where there are
    enough pixels to show them.  Outlines are always a single pixel.
    """
    u = size // 16
    big = u >= 3
    layers = []

    def add(colour, *boxes):
        polys = [rect(*b) for b in boxes]
        polys = [p for p in polys if p]
        if polys:
            layers.append((colour, polys))

    # Stand: neck and foot, outlined like the body, drawn first so the body
    # overlaps the top of the neck.
    neck = (7 * u, 11 * u, 9 * u, 14 * u)
    foot = (4 * u, 14 * u, 12 * u, 15 * u)
    add(OUTLINE, neck, foot)
    add(BEZEL, (neck[0] + 1, neck[1], neck[2] - 1, neck[3] - 1),
        (foot[0] + 1, foot[1] + 1, foot[2] - 1, foot[3] - 1))
    if big:
        # Open the neck into the foot so the stand reads as one piece.
        add(BEZEL, (neck[0] + 1, foot[1], neck[2] - 1, foot[1] + 1))

    # Body with a bezel; the bottom one is a little thicker, like a chin.
    body = (0, 0, 16 * u, 12 * u)
    add(OUTLINE, body)
    add(BEZEL, (body[0] + 1, body[1] + 1, body[2] - 1, body[3] - 1))
    if big:
        add(BEZEL_LIGHT, (body[0] + 1, body[1] + 1, body[2] - 1, body[1] + 2))

    screen = (1 * u, 1 * u, 15 * u, 11 * u - (1 if u > 1 else 0))
    if u >= 2:
        add(SCREEN_RIM, screen)
        inner = (screen[0] + 1, screen[1] + 1, screen[2] - 1, screen[3] - 1)
    else:
        inner = screen
    add(screen_gradient(inner[1], inner[3], u), inner)

    # Diagonal double arrow across the screen, bottom-left to top-right.  The
    # heads are right triangles with horizontal and vertical legs, which sit
    # exactly on the pixel grid at every size.
    def arrow():
        x0, x1 = ARROW_BOX[0] * u, ARROW_BOX[2] * u
        y0, y1 = ARROW_BOX[1] * u, ARROW_BOX[3] * u
        leg = ARROW_LEG * u
        h = ARROW_HALF_WIDTH * u
        head_tr = [(x1, y0), (x1, y0 + leg), (x1 - leg, y0)]
        head_bl = [(x0, y1), (x0, y1 - leg), (x0 + leg, y1)]
        a = (x1 - leg / 3, y0 + leg / 3)    # shaft ends, inside each head
        b = (x0 + leg / 3, y1 - leg / 3)
        shaft = [(a[0] + h, a[1] + h), (a[0] - h, a[1] - h),
                 (b[0] - h, b[1] - h), (b[0] + h, b[1] + h)]
        return [head_tr, head_bl, shaft]

    if big:
        # Windows shrinks this image 3:1 for the tray, by picking one pixel
        # of every 3x3 cell or by combining all nine.  So the arrow is
        # snapped to whole cells: either way the 16 px arrow comes out the
        # same as the one drawn for 16 px, with no stray edge pixels.
        layers.append((ARROW, snap_to_cells(arrow(), u, size)))
    else:
        layers.append((ARROW, arrow()))
    return layers


def snap_to_cells(polys, cell, size):
    """The cells of a `cell`-pixel grid that the polygons cover at least
    half of, as squares."""
    scaled = [[(Fraction(x) / cell, Fraction(y) / cell) for x, y in poly] for poly in polys]
    covered = rasterise(size // cell, [(None, scaled)])
    half = SUPERSAMPLE * SUPERSAMPLE / 2
    squares = []
    for cy, row in enumerate(covered):
        for cx, samples in enumerate(row):
            if sum(1 for s in samples if s >= 0) >= half:
                squares.append(rect(cx * cell, cy * cell, (cx + 1) * cell, (cy + 1) * cell))
    return squares


# --- rasteriser ----------------------------------------------------------

def _scaled(poly):
    """Polygon in integer units of 1/(2*SUPERSAMPLE*SUB) px, counter-clockwise
    in screen space, so sample tests are exact integer cross products."""
    k = 2 * SUPERSAMPLE * SUB
    out = []
    for x, y in poly:
        sx, sy = x * k, y * k
        if sx != int(sx) or sy != int(sy):
            raise ValueError("vertex %r is off the sampling grid" % ((x, y),))
        out.append((int(sx), int(sy)))
    area2 = sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(out, out[1:] + out[:1]))
    if area2 < 0:
        out.reverse()
    xs = [p[0] for p in out]
    ys = [p[1] for p in out]
    return out, (min(xs), min(ys), max(xs), max(ys))


def _inside(poly, x, y):
    for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
        if (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0) < 0:
            return False
    return True


def rasterise(size, layers):
    """Returns, per pixel, a list of (layer index) hits, one per sample;
    -1 marks a sample that no layer covers."""
    shapes = []
    for index, (_, polys) in enumerate(layers):
        for poly in polys:
            pts, box = _scaled(poly)
            shapes.append((index, pts, box))
    shapes.reverse()  # topmost first
    n = SUPERSAMPLE
    hits = []
    for py in range(size):
        row = []
        for px in range(size):
            samples = []
            for j in range(n):
                sy = (2 * n * py + 2 * j + 1) * SUB
                for i in range(n):
                    sx = (2 * n * px + 2 * i + 1) * SUB
                    hit = -1
                    for index, pts, (bx0, by0, bx1, by1) in shapes:
                        if bx0 <= sx <= bx1 and by0 <= sy <= by1 and _inside(pts, sx, sy):
                            hit = index
                            break
                    samples.append(hit)
            row.append(samples)
        hits.append(row)
    return hits


def _layer_colour(layers, index, px, py):
    c = layers[index][0]
    return c(px, py) if callable(c) else c


def render_smooth(size, layers):
    """Anti-aliased RGB image; None marks a transparent pixel.  A pixel is
    opaque when at least half of it is covered."""
    total = SUPERSAMPLE * SUPERSAMPLE
    image = []
    for py, row in enumerate(rasterise(size, layers)):
        out = []
        for px, samples in enumerate(row):
            covered = [s for s in samples if s >= 0]
            if 2 * len(covered) < total:
                out.append(None)
                continue
            acc = [0, 0, 0]
            for s in covered:
                c = _layer_colour(layers, s, px, py)
                for k in range(3):
                    acc[k] += c[k]
            n = len(covered)
            out.append(tuple((v + n // 2) // n for v in acc))
        image.append(out)
    return image


def render_vga(size, layers):
    """Hard-edged 16-colour image: each pixel takes whichever layer covers
    most of it (transparency counts as a layer); ties go to the upper one."""
    image = []
    for py, row in enumerate(rasterise(size, layers)):
        out = []
        for px, samples in enumerate(row):
            counts = {}
            for s in samples:
                counts[s] = counts.get(s, 0) + 1
            best = max(counts, key=lambda s: (counts[s], s))
            if best < 0:
                out.append(None)
            else:
                base = layers[best][0]
                key = SCREEN_TOP if callable(base) else base
                out.append(VGA_OF[key])
        image.append(out)
    return image


# --- DIB / ICO / CUR encoding -------------------------------------------

def _stride(bits):
    return (bits + 31) // 32 * 4


def _mask_rows(image):
    w = len(image[0])
    stride = _stride(w)
    rows = []
    for row in reversed(image):
        bits = bytearray(stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(bits))
    return b"".join(rows)


def encode_dib(image, palette, bpp):
    """Icon image: BITMAPINFOHEADER (double height), palette, XOR pixels,
    AND mask.  Transparent pixels use index 0 with the mask bit set, so the
    desktop shows through unchanged."""
    h = len(image)
    w = len(image[0])
    index_of = {c: i for i, c in enumerate(palette)}
    stride = _stride(w * bpp)
    xor = bytearray()
    for row in reversed(image):
        line = bytearray(stride)
        for x, c in enumerate(row):
            idx = 0 if c is None else index_of[c]
            if bpp == 8:
                line[x] = idx
            elif bpp == 4:
                line[x // 2] |= idx << (4 if x % 2 == 0 else 0)
            elif bpp == 1:
                line[x // 8] |= idx << (7 - x % 8)
            else:
                raise ValueError(bpp)
        xor += line
    mask = _mask_rows(image)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    pal += b"\0" * (4 * (1 << bpp) - len(pal))
    return header + pal + bytes(xor) + mask


def palette_256(image):
    """Sorted set of the colours in use, black first (it also serves the
    transparent pixels), padded by encode_dib to 256 entries."""
    colours = sorted({c for row in image for c in row if c is not None} - {(0, 0, 0)})
    palette = [(0, 0, 0)] + colours
    if len(palette) > 256:
        raise ValueError("artwork uses %d colours, more than 8 bpp holds" % len(palette))
    return palette


def icon_file(images, kind=1, hotspots=None):
    """An .ico (kind 1) or .cur (kind 2) file from (width, height, colours,
    bpp, dib) tuples."""
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for n, (w, h, colours, bpp, dib) in enumerate(images):
        if kind == 2:
            planes, bits = hotspots[n]
        else:
            planes, bits = 1, bpp
        out += struct.pack("<BBBBHHII", w % 256, h % 256, colours % 256, 0,
                           planes, bits, len(dib), offset)
        offset += len(dib)
    for *_, dib in images:
        out += dib
    return out


def group_icon(entries):
    """RT_GROUP_ICON data: GRPICONDIR and 14-byte GRPICONDIRENTRY records
    that name the RT_ICON resources by id."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    for w, h, colours, bpp, size, res_id in entries:
        out += struct.pack("<BBBBHHIH", w % 256, h % 256, colours, 0, 1, bpp, size, res_id)
    return out


# --- the link cursor -----------------------------------------------------

# A pointing hand, index finger up, drawn pixel by pixel: X black outline,
# o white fill, blank transparent.  The fingertip pixel (5, 0) is the hot spot.
HAND = """\
    XXX
   XoooX
   XoooX
   XoooX
   XoooX
   XoooXXX
   XoooXooXXX
   XoooXooXooXXX
   XoooXooXooXooX
   XoooXooXooXooX
   XoooXooXooXooX
 XXXoooXooXooXooX
XoooXoooooooooooX
XooooXooooooooooX
 XooooooooooooooX
 XooooooooooooooX
  XoooooooooooooX
  XooooooooooooX
   XoooooooooooX
   XooooooooooX
    XoooooooooX
    XoooooooooX
    XXXXXXXXXXX
"""
HAND_HOTSPOT = (5, 0)


def hand_cursor():
    rows = HAND.split("\n")[:-1]
    size = 32
    xor_rows = []
    and_rows = []
    for y in range(size):
        line = rows[y] if y < len(rows) else ""
        xbits = bytearray(4)
        abits = bytearray(4)
        for x in range(size):
            ch = line[x] if x < len(line) else " "
            if ch == " ":
                abits[x // 8] |= 0x80 >> (x % 8)     # screen shows through
            elif ch == "o":
                xbits[x // 8] |= 0x80 >> (x % 8)     # palette entry 1: white
            elif ch != "X":
                raise ValueError("bad cursor pixel %r" % ch)
        xor_rows.append(bytes(xbits))
        and_rows.append(bytes(abits))
    xor = b"".join(reversed(xor_rows))
    mask = b"".join(reversed(and_rows))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 1, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    palette = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    dib = header + palette + xor + mask
    return icon_file([(size, size, 2, 1, dib)], kind=2, hotspots=[HAND_HOTSPOT])


# --- manifest ------------------------------------------------------------

MANIFEST = """\
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="AmbrelUtilities.Vantrel" version="2.0.0.5" processorArchitecture="*"/>
  <description>Vantrel</description>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">
    <application>
      <!-- Windows Vista -->
      <supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>
      <!-- Windows 7 -->
      <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>
      <!-- Windows 8 -->
      <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>
      <!-- Windows 8.1 -->
      <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>
      <!-- Windows 10 and 11 -->
      <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
    </application>
  </compatibility>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>
      <dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2,PerMonitor</dpiAwareness>
    </windowsSettings>
  </application>
</assembly>
"""


# --- output --------------------------------------------------------------

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
        image = render_vga(size, monitor_layers(size))
        small.append((size, size, 16, 4, encode_dib(image, VGA16, 4)))
    files["about.ico"] = icon_file(small)

    files["hand.cur"] = hand_cursor()
    files["vantrel.manifest"] = MANIFEST.encode("utf-8")
    return files


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in the output folder instead of writing")
    parser.add_argument("--out", default=RES_DIR, help="output folder (default: src/res)")
    args = parser.parse_args(argv)

    files = build()
    if args.check:
        stale = []
        for name, data in sorted(files.items()):
            path = os.path.join(args.out, name)
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(name)
        for name in stale:
            print("out of date: %s" % os.path.join(args.out, name), file=sys.stderr)
        if stale:
            print("run tools/artwork/make_art.py to regenerate", file=sys.stderr)
            return 1
        return 0

    os.makedirs(args.out, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
