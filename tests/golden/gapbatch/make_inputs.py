#!/usr/bin/env python3
"""Writes the small photographs used by the gapbatch cases (run from this folder).

canopy8.bmp   64 x 48, 8-bit grey with a 256-level palette: a sky disc of radius 24 in the
              middle, bright sky (200..215) with dark leaves (20..35), black outside the disc.
canopy24.bmp  40 x 30, 24-bit colour: sky blue (b 230) with green leaves (b 40); the blue
              channel separates them, the red one (sky 120, leaves 90) barely.
not_a_photo.bmp  a text file.
"""
import struct


def leaf(c, r, seed):
    h = (c * 7 + r * 13 + seed * 31) % 23
    return h < 8 or (c // 6 + r // 5) % 4 == 0


def bmp8(path, w, h, value):
    stride = (w + 3) // 4 * 4
    palette = b"".join(bytes([v, v, v, 0]) for v in range(256))
    rows = b""
    for r in range(h - 1, -1, -1):
        rows += bytes(value(c, r) for c in range(w)) + b"\0" * (stride - w)
    offset = 54 + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(rows), 2835, 2835, 256, 256)
    open(path, "wb").write(head + palette + rows)


def bmp24(path, w, h, rgb):
    stride = (w * 3 + 3) // 4 * 4
    rows = b""
    for r in range(h - 1, -1, -1):
        row = b"".join(bytes(reversed(rgb(c, r))) for c in range(w))
        rows += row + b"\0" * (stride - len(row))
    head = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    open(path, "wb").write(head + rows)


def canopy8(c, r):
    if (c - 32) ** 2 + (r - 24) ** 2 >= 24 * 24:
        return 0
    n = (c * 3 + r * 5) % 16
    return 20 + n if leaf(c, r, 1) else 200 + n


def canopy24(c, r):
    if (c - 20) ** 2 + (r - 15) ** 2 >= 15 * 15:
        return (0, 0, 0)
    return (90, 110, 40) if leaf(c, r, 2) else (120, 180, 230)


bmp8("canopy8.bmp", 64, 48, canopy8)
bmp24("canopy24.bmp", 40, 30, canopy24)
open("not_a_photo.bmp", "w").write("This is not a photograph.\n")
