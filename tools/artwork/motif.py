"""What Vantrel's art looks like: its colours, the icon's motif as layers of polygons,
and the link cursor drawn pixel by pixel. raster.py turns the layers into pixels,
icon_format.py turns pixels into Windows' files, make_art.py writes them.

Motif: a monitor on a stand whose blue screen carries a white diagonal
double-headed "resize" arrow.  The silhouette sits on a 16-cell grid (3 px per
cell at 48 px) so that Windows' 3:1 reduction of the 48 px image for the
16 px tray slot lands on whole cells and stays crisp.
"""

from fractions import Fraction

from raster import SUPERSAMPLE, rasterise

# --- colours -------------------------------------------------------------

OUTLINE = (18, 22, 30)
BEZEL = (64, 71, 86)
BEZEL_LIGHT = (104, 112, 128)
SCREEN_RIM = (10, 36, 92)
SCREEN_TOP = (72, 156, 250)
SCREEN_BOTTOM = (22, 86, 206)
ARROW = (255, 255, 255)

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


def vga_colour(colour):
    """The 16-colour entry a layer's colour takes; the screen's gradient takes its top's."""
    return VGA_OF[SCREEN_TOP if callable(colour) else colour]


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
    return stand(u) + body(u) + screen(u) + [(ARROW, arrow(u, size))]


def layer(colour, *boxes):
    """The boxes that have an area, as a layer; none at all if none has one."""
    polys = [p for p in (rect(*b) for b in boxes) if p]
    return [(colour, polys)] if polys else []


def stand(u):
    # Neck and foot, outlined like the body, drawn first so the body overlaps the
    # top of the neck.
    neck = (7 * u, 11 * u, 9 * u, 14 * u)
    foot = (4 * u, 14 * u, 12 * u, 15 * u)
    layers = layer(OUTLINE, neck, foot) + layer(BEZEL, (neck[0] + 1, neck[1], neck[2] - 1, neck[3] - 1),
                                                 (foot[0] + 1, foot[1] + 1, foot[2] - 1, foot[3] - 1))
    if u >= 3:
        # Open the neck into the foot so the stand reads as one piece.
        layers += layer(BEZEL, (neck[0] + 1, foot[1], neck[2] - 1, foot[1] + 1))
    return layers


def body(u):
    # A bezel all round; the bottom one is a little thicker, like a chin.
    box = (0, 0, 16 * u, 12 * u)
    layers = layer(OUTLINE, box) + layer(BEZEL, (box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1))
    if u >= 3:
        layers += layer(BEZEL_LIGHT, (box[0] + 1, box[1] + 1, box[2] - 1, box[1] + 2))
    return layers


def screen(u):
    box = (1 * u, 1 * u, 15 * u, 11 * u - (1 if u > 1 else 0))
    if u < 2:
        return layer(screen_gradient(box[1], box[3], u), box)
    inner = (box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1)
    return layer(SCREEN_RIM, box) + layer(screen_gradient(inner[1], inner[3], u), inner)


def arrow(u, size):
    """Diagonal double arrow across the screen, bottom-left to top-right.  The
    heads are right triangles with horizontal and vertical legs, which sit
    exactly on the pixel grid at every size."""
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
    if u < 3:
        return [head_tr, head_bl, shaft]
    # Windows shrinks this image 3:1 for the tray, by picking one pixel of every
    # 3x3 cell or by combining all nine.  So the arrow is snapped to whole cells:
    # either way the 16 px arrow comes out the same as the one drawn for 16 px,
    # with no stray edge pixels.
    return snap_to_cells([head_tr, head_bl, shaft], u, size)


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
