#!/usr/bin/env python3
"""Draw Nimbalo's application icon and write it as a Windows .ico wrapping one 256x256 PNG.

The design: a rounded tile in a deep indigo-to-violet gradient with a soft glass sheen, a white
lens ring holding three cyan result lines, and an amber handle. Shapes are signed-distance
functions, so every edge is antialiased from one sample per pixel. Pure python3 (zlib, struct);
the output is byte-for-byte deterministic.

usage: make_icon.py OUT.ico [--png OUT.png]
"""
import math
import struct
import sys
import zlib

SIZE = 256


def rounded_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    d = math.hypot(x - cx, y - cy) - r
    if x0 + r <= x <= x1 - r or y0 + r <= y <= y1 - r:
        d = max(x0 - x, x - x1, y0 - y, y - y1)
    return d


def capsule(x, y, ax, ay, bx, by, r):
    px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
    t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
    return math.hypot(px - vx * t, py - vy * t) - r


def coverage(d):
    """Signed distance in pixels to the fraction of the pixel inside the shape."""
    return max(0.0, min(1.0, 0.5 - d))


def over(dst, rgb, a):
    """Composite straight-alpha colour rgb with alpha a over dst = [r, g, b, a] (floats 0..1)."""
    if a <= 0.0:
        return
    da = dst[3]
    oa = a + da * (1.0 - a)
    for i in range(3):
        dst[i] = (rgb[i] * a + dst[i] * da * (1.0 - a)) / oa
    dst[3] = oa


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def rgb(h):
    return tuple(int(h[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


TILE_TOP, TILE_BOTTOM = rgb("1E2A78"), rgb("6A2BA8")
RING, HANDLE, LINES = rgb("F5F7FF"), rgb("FFB547"), rgb("7DD8FC")
LENS_GLASS = rgb("0F1640")


def pixel(x, y):
    px = [0.0, 0.0, 0.0, 0.0]
    tile = rounded_rect(x, y, 8, 8, 248, 248, 56)
    a = coverage(tile)
    if a <= 0.0:
        return px
    t = min(1.0, max(0.0, (x * 0.35 + y) / (SIZE * 1.35)))
    over(px, lerp(TILE_TOP, TILE_BOTTOM, t), a)
    # glass sheen over the upper part of the tile, fading downwards
    sheen = 0.10 * max(0.0, 1.0 - y / 130.0)
    over(px, (1.0, 1.0, 1.0), a * sheen)

    cx, cy, ring_r, ring_w = 112.0, 110.0, 56.0, 15.0
    dist = math.hypot(x - cx, y - cy)
    # the lens glass: a darker disc behind the result lines
    over(px, LENS_GLASS, 0.45 * coverage(dist - ring_r))
    for i, (y0, length) in enumerate(((92.0, 58.0), (110.0, 46.0), (128.0, 32.0))):
        over(px, LINES, coverage(capsule(x, y, 86.0, y0, 86.0 + length, y0, 6.0)) * (1.0 - 0.18 * i))
    over(px, HANDLE, coverage(capsule(x, y, 158.0, 156.0, 204.0, 202.0, 14.0)))
    over(px, RING, coverage(abs(dist - ring_r) - ring_w / 2))
    return px


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico(png_bytes):
    # ICONDIR, one ICONDIRENTRY (0 means 256 for width and height), then the PNG image itself.
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png_bytes), 6 + 16)
    return header + entry + png_bytes


def render():
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            r, g, b, a = pixel(x + 0.5, y + 0.5)
            row += [round(r * 255), round(g * 255), round(b * 255), round(a * 255)]
        rows.append(row)
    return png(SIZE, SIZE, rows)


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--png"):
        sys.stderr.write(__doc__.split("\n\n")[-1])
        return 2
    image = render()
    with open(argv[1], "wb") as f:
        f.write(ico(image))
    if len(argv) == 4:
        with open(argv[3], "wb") as f:
            f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
