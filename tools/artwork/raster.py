"""Turns layers of polygons into pixels by supersampling, in integer arithmetic only,
so the same layers give the same pixels on every run and every machine.

A layer is (colour, polygons), the layers in paint order; a colour is an RGB tuple or
a function of the pixel (x, y) that gives one; a polygon is a list of (x, y) in
pixels, on a grid of 1/SUB px.
"""

SUPERSAMPLE = 8       # samples per pixel along each axis
SUB = 6               # geometry may use sixths of a pixel

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


def render_vga(size, layers, palette_colour):
    """Hard-edged 16-colour image: each pixel takes whichever layer covers
    most of it (transparency counts as a layer); ties go to the upper one.
    `palette_colour` gives the palette entry of a layer's colour."""
    image = []
    for py, row in enumerate(rasterise(size, layers)):
        out = []
        for px, samples in enumerate(row):
            counts = {}
            for s in samples:
                counts[s] = counts.get(s, 0) + 1
            best = max(counts, key=lambda s: (counts[s], s))
            out.append(None if best < 0 else palette_colour(layers[best][0]))
        image.append(out)
    return image
