#!/usr/bin/env python3
"""Draws res/pellmark.ico: a page of text with a blue line-return arrow.

Every image is drawn from one vector picture in a 48-unit square, supersampled:
32-bit images with alpha at each size Windows shows an icon at 100 to 200%
(the 256-pixel one stored as PNG, as Vista and later read it), and 8-bit
(256-colour) ones at 48, 32 and 16 pixels for Windows 2000 and XP, mapped to a
fixed palette.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (256, 64, 48, 40, 32, 24, 20, 16)  # 32-bit with alpha
OLD_SIZES = (48, 32, 16)                  # 8-bit
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


def coverage(size):
    """Each pixel's colour averaged over the samples the picture covers, and how many it covers."""
    rows = []
    for row in range(size):
        out = []
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
            out.append((tuple(int(round(a / hits)) for a in acc) if hits else (0, 0, 0), hits))
        rows.append(out)
    return rows


def render(size, pal, cache):
    pixels, mask = [], []
    for crow in coverage(size):
        prow, mrow = [], []
        for c, hits in crow:
            if hits * 2 < SS * SS:
                prow.append(0)
                mrow.append(1)
            else:
                if c not in cache:
                    cache[c] = nearest(pal, c)
                prow.append(cache[c])
                mrow.append(0)
        pixels.append(prow)
        mask.append(mrow)
    return pixels, mask


def rgba(size):
    """Rows of (r, g, b, a): alpha from how much of the pixel the picture covers."""
    return [[c + (hits * 255 // (SS * SS),) for c, hits in crow] for crow in coverage(size)]


def and_mask(rows):
    """The AND mask's rows, bottom up: set where a pixel is wholly transparent."""
    stride = ((len(rows) + 31) // 32) * 4
    out = b''
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, px in enumerate(row):
            if px[3] == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        out += bits
    return out


def dib32(size):
    rows = rgba(size)
    out = bytearray(struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0))
    for row in reversed(rows):
        for r, g, b, a in row:
            out += bytes((b, g, r, a))
    return bytes(out + and_mask(rows))


def png(size):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b''.join(b'\0' + bytes(v for px in row for v in px) for row in rgba(size))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


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
    images = [(s, 32, png(s) if s == 256 else dib32(s)) for s in SIZES]
    images += [(s, 8, dib(s, pal, *render(s, pal, cache))) for s in OLD_SIZES]
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for s, bits, img in images:
        entries += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, bits, len(img), offset)
        offset += len(img)
    with open(dest, 'wb') as f:
        f.write(head + entries + b''.join(img for _, _, img in images))


if __name__ == '__main__':
    main()
