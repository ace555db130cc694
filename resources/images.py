#!/usr/bin/env python3
"""Draws the player's button bitmaps and program icon and writes them as
16-colour Windows .bmp and .ico files (the source of both builds: the
Windows resource script references them, the Linux build embeds them), and
the program icon for the Linux desktop's icon theme: PNG files at the
theme's sizes (icons/quillo-SIZE.png) and a scalable SVG (icons/quillo.svg).

  resources/images.py           rewrite the files beside this script
  resources/images.py --check   fail when a file differs from what is drawn here

The output is a pure function of this script: no dates, no external input.
"""
import os
import struct
import sys
import zlib

# The 16-colour palette, in the usual VGA order. Index 7 is the button face,
# 8 the button shadow: a bitmap loaded with 3-D colour mapping shows them in
# the system's own face and shadow colours.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, RED, BLUE, WHITE = 0, 9, 12, 15
FACE, SHADOW = 7, 8

# Pixel art characters -> palette index.
ART = {".": FACE, "d": SHADOW, "w": WHITE, "b": BLUE, "k": BLACK}


def art_to_pixels(rows):
    return [[ART[c] for c in row] for row in rows]


def play_triangle(field, fill):
    """20 x 20: a right-pointing triangle, 14 rows high and 7 columns wide,
    shadow on its left and upper edges, highlight on its lower edge."""
    px = [[field] * 20 for _ in range(20)]
    top, bottom, left = 3, 16, 7
    for y in range(top, bottom + 1):
        upper = y - top <= bottom - y
        d = y - top if upper else bottom - y
        for x in range(left, left + d + 1):
            if x == left:
                c = SHADOW
            elif x == left + d:
                c = SHADOW if upper else WHITE
            else:
                c = fill
            px[y][x] = c
    return px


def stop_square():
    """20 x 20: a black 9 x 9 square in a one-pixel sunken frame."""
    px = [[FACE] * 20 for _ in range(20)]
    lo, hi = 4, 14  # frame rows and columns
    for i in range(lo, hi + 1):
        px[lo][i] = SHADOW
        px[i][lo] = SHADOW
    for i in range(lo, hi + 1):
        px[hi][i] = WHITE
        px[i][hi] = WHITE
    for y in range(lo + 1, hi):
        for x in range(lo + 1, hi):
            px[y][x] = BLACK
    return px


def put(px, x, y, c):
    if 0 <= y < len(px) and 0 <= x < len(px[0]):
        px[y][x] = c


def rect(px, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(px, x, y, c)


def arc(px, cx, cy, r, c):
    """The right-hand part of a circle of radius r: a sound wave."""
    for y in range(cy - r, cy + r + 1):
        for x in range(cx, cx + r + 1):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if (r - 0.5) ** 2 <= d2 < (r + 0.5) ** 2 and x - cx >= abs(y - cy) * 0.6:
                put(px, x, y, c)


def program_icon():
    """32 x 32 with a mask (None = transparent): a white envelope with
    address lines and a stamp, a loudspeaker sending sound waves above it."""
    px = [[None] * 32 for _ in range(32)]
    # Envelope: white card with a black outline.
    rect(px, 1, 16, 30, 30, BLACK)
    rect(px, 2, 17, 29, 29, WHITE)
    # Stamp in the upper right corner, with a perforated white edge.
    rect(px, 22, 18, 28, 24, WHITE)
    for i in range(0, 7, 2):
        put(px, 22 + i, 18, SHADOW)
        put(px, 22 + i, 24, SHADOW)
        put(px, 22, 18 + i, SHADOW)
        put(px, 28, 18 + i, SHADOW)
    rect(px, 23, 19, 27, 23, RED)
    # Address lines.
    for y, x0, x1 in ((21, 5, 14), (24, 9, 20), (27, 9, 18)):
        rect(px, x0, y, x1, y, SHADOW)
    # Loudspeaker: magnet and a flaring cone, centred on row 7.
    rect(px, 4, 5, 7, 9, BLACK)
    rect(px, 5, 6, 6, 8, SHADOW)
    for i, x in enumerate(range(8, 12)):
        rect(px, x, 4 - i, x, 10 + i, BLACK)
        rect(px, x, 5 - i, x, 9 + i, SHADOW if x < 11 else BLACK)
    # Sound waves.
    for r in (3, 5, 7):
        arc(px, 13, 7, r, BLUE)
    return px


def bmp_bytes(px):
    """A bottom-up 4-bit BMP file with the 16-colour palette."""
    h, w = len(px), len(px[0])
    row_bytes = ((w * 4 + 31) // 32) * 4
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(w):
            row[x // 2] |= px[y][x] << (4 if x % 2 == 0 else 0)
        pixels += row
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    offset = 14 + len(info) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + palette + bytes(pixels)


def ico_bytes(px):
    """An icon file with one 4-bit image and its transparency mask."""
    h, w = len(px), len(px[0])
    xor_row = ((w * 4 + 31) // 32) * 4
    and_row = ((w + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in range(h - 1, -1, -1):
        xr, ar = bytearray(xor_row), bytearray(and_row)
        for x in range(w):
            c = px[y][x]
            if c is None:
                ar[x // 8] |= 0x80 >> (x % 8)
                c = BLACK
            xr[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += xr
        mask += ar
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = (struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
             + palette + bytes(xor) + bytes(mask))
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(image), 6 + 16)
    return head + entry + image


# Sizes of the icon theme's fixed-size folders the desktop files install.
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def rgba(px):
    """Pixel rows of palette indices (None = transparent) as RGBA tuples."""
    return [[(0, 0, 0, 0) if c is None else PALETTE[c] + (255,) for c in row] for row in px]


def resample(px, size):
    """A square RGBA image scaled to size x size by area averaging with
    premultiplied alpha: whole multiples repeat pixels, other sizes mix the
    pixels a target pixel covers. Integer arithmetic only."""
    n = len(px)

    def spans(i):
        # Source pixels under target pixel i, with their overlap, in units
        # of 1 / (n * size) of the side.
        lo, hi = i * n, (i + 1) * n
        return [(k, min(hi, (k + 1) * size) - max(lo, k * size))
                for k in range(lo // size, min(n, (hi + size - 1) // size))
                if min(hi, (k + 1) * size) > max(lo, k * size)]

    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy, wy in spans(y):
                for sx, wx in spans(x):
                    r, g, b, a = px[sy][sx]
                    w = wx * wy * a
                    acc[0] += r * w
                    acc[1] += g * w
                    acc[2] += b * w
                    acc[3] += w
            total = n * n * 255
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple((v + acc[3] // 2) // acc[3] for v in acc[:3]) +
                           ((acc[3] * 255 + total // 2) // total,))
        out.append(row)
    return out


def png_bytes(px):
    """An 8-bit RGBA PNG file."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    h, w = len(px), len(px[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in px)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg_bytes(px):
    """The pixel art as an SVG of one rectangle per run of equal pixels."""
    n = len(px)
    rects = []
    for y, row in enumerate(px):
        x = 0
        while x < n:
            c = row[x]
            end = x
            while end < n and row[end] == c:
                end += 1
            if c is not None:
                rects.append('<rect x="%d" y="%d" width="%d" height="1" fill="#%02x%02x%02x"/>'
                             % ((x, y, end - x) + PALETTE[c]))
            x = end
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d" '
            'shape-rendering="crispEdges">\n%s\n</svg>\n'
            % (n, n, n, n, "\n".join(rects))).encode()


def images():
    """File name -> bytes, for every image both builds use."""
    icon = program_icon()
    files = {
        "play.bmp": bmp_bytes(play_triangle(FACE, BLUE)),        # bitmap 117
        "stop.bmp": bmp_bytes(stop_square()),                    # bitmap 119
        "playing.bmp": bmp_bytes(play_triangle(WHITE, FACE)),    # bitmap 121
        "quillo.ico": ico_bytes(icon),                           # icon group 102
        "icons/quillo.svg": svg_bytes(icon),
    }
    for size in ICON_SIZES:
        files["icons/quillo-%d.png" % size] = png_bytes(resample(rgba(icon), size))
    return files


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    check = "--check" in argv
    stale = []
    for name, data in images().items():
        path = os.path.join(here, name)
        if check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(name)
            except OSError:
                stale.append(name)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("images differ from resources/images.py: " + ", ".join(stale) +
              " (run resources/images.py and commit the result)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
