#!/usr/bin/env python3
"""Draws res/pellmark.ico: a page of text with a blue line-return arrow.

Three 8-bit (256-colour) images, 48, 32 and 16 pixels, drawn from one vector
picture in a 48-unit square, supersampled and mapped to a fixed palette.
"""
import math
import os
import struct
import sys

SIZES = (48, 32, 16)
SS = 4  # samples per pixel side

PAGE = (0xFF, 0xFF, 0xFF)
EDGE = (0x40, 0x48, 0x58)
TEXT = (0x90, 0x98, 0xA8)
FOLD = (0xD0, 0xD8, 0xE4)
ARROW = (0x1E, 0x6F, 0xD9)
HALO = (0xFF, 0xFF, 0xFF)


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def in_poly(px, py, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


PAGE_POLY = [(7, 3), (29, 3), (37, 11), (37, 45), (7, 45)]
FOLD_POLY = [(29, 3), (29, 11), (37, 11)]
LINES = [(12, 13, 25), (18, 13, 31), (24, 13, 28), (30, 13, 22)]
ARROW_PATH = [(43, 14), (43, 36), (25, 36)]
ARROW_HEAD = [(17, 36), (26, 29), (26, 43)]


def sample(x, y):
    """Colour at a point of the 48-unit picture, or None where it is transparent."""
    on_arrow = min(seg_dist(x, y, *ARROW_PATH[i], *ARROW_PATH[i + 1]) for i in range(2))
    if on_arrow <= 2.6 or in_poly(x, y, ARROW_HEAD):
        return ARROW
    if on_arrow <= 4.2 or min(seg_dist(x, y, *ARROW_HEAD[i], *ARROW_HEAD[(i + 1) % 3]) for i in range(3)) <= 1.6:
        return HALO
    if in_poly(x, y, PAGE_POLY):
        edge = min(seg_dist(x, y, *PAGE_POLY[i], *PAGE_POLY[(i + 1) % 5]) for i in range(5))
        if edge <= 1.3:
            return EDGE
        if in_poly(x, y, FOLD_POLY):
            return FOLD
        for ly, x0, x1 in LINES:
            if abs(y - ly) <= 1.3 and x0 <= x <= x1:
                return TEXT
        return PAGE
    return None


def palette():
    # A 6x6x6 colour cube, then greys, then the picture's own colours exactly.
    pal = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    pal += [(v, v, v) for v in range(8, 256, 8)][:24]
    for c in (PAGE, EDGE, TEXT, FOLD, ARROW):
        if c not in pal:
            pal.append(c)
    pal += [(0, 0, 0)] * (256 - len(pal))
    return pal[:256]


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))


def render(size, pal, cache):
    pixels, mask = [], []
    for row in range(size):
        prow, mrow = [], []
        for col in range(size):
            acc, hits = [0, 0, 0], 0
            for sy in range(SS):
                for sx in range(SS):
                    x = (col + (sx + 0.5) / SS) * 48.0 / size
                    y = (row + (sy + 0.5) / SS) * 48.0 / size
                    c = sample(x, y)
                    if c is not None:
                        hits += 1
                        for k in range(3):
                            acc[k] += c[k]
            if hits * 2 < SS * SS:
                prow.append(0)
                mrow.append(1)
            else:
                c = tuple(int(round(a / hits)) for a in acc)
                if c not in cache:
                    cache[c] = nearest(pal, c)
                prow.append(cache[c])
                mrow.append(0)
        pixels.append(prow)
        mask.append(mrow)
    return pixels, mask


def dib(size, pal, pixels, mask):
    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    out = bytearray(struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0,
                                (xor_stride + and_stride) * size, 0, 0, 0, 0))
    for r, g, b in pal:
        out += bytes((b, g, r, 0))
    for row in reversed(pixels):
        out += bytes(row) + bytes(xor_stride - size)
    for row in reversed(mask):
        bits = bytearray(and_stride)
        for i, m in enumerate(row):
            if m:
                bits[i // 8] |= 0x80 >> (i % 8)
        out += bits
    return bytes(out)


def main():
    dest = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'res', 'pellmark.ico')
    pal = palette()
    cache = {}
    images = [dib(s, pal, *render(s, pal, cache)) for s in SIZES]
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for s, img in zip(SIZES, images):
        entries += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 8, len(img), offset)
        offset += len(img)
    with open(dest, 'wb') as f:
        f.write(head + entries + b''.join(images))


if __name__ == '__main__':
    main()
