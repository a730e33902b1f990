"""Windows' icon and cursor formats: the device-independent bitmap an icon image is
(double height: colour bits, then the transparency mask), .ico and .cur files, and
the RT_GROUP_ICON record that names icon resources by id. An image is a list of rows
of RGB tuples, None for a transparent pixel.
"""

import struct

# The standard 16-colour VGA palette used by 4 bpp icons.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]



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


def monochrome_cursor(drawing, hotspot):
    """A 32 x 32 black-and-white .cur file from a drawing in text, one line per row:
    X black, o white, blank transparent."""
    rows = drawing.split("\n")[:-1]
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
    return icon_file([(size, size, 2, 1, dib)], kind=2, hotspots=[hotspot])

