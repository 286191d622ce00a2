#!/usr/bin/env python3
"""Writes the small BMP photographs that the gapimage dialogue cases read.

A 45 x 41 picture with a sky disc of centre (22, 20) and radius 18 on a black background,
rim points (22, 2), (4, 20), (40, 20). Run from this folder; each case's input/ gets a copy.
"""
import os
import struct

W, H = 45, 41
CX, CY, RIM = 22, 20, 18.5


def canopy(x, y):
    """True where leaves or the trunk hide the sky."""
    dx, dy = x - CX, y - CY
    return (x // 5 + y // 4) % 3 == 0 or abs(dx - dy) < 3


def grey(x, y):
    if (x - CX) ** 2 + (y - CY) ** 2 > RIM ** 2:
        return 0
    if canopy(x, y):
        return (x * 11 + y * 5) % 100
    return 120 + (x * 13 + y * 7) % 120


def classified(x, y):
    if (x - CX) ** 2 + (y - CY) ** 2 > RIM ** 2 or canopy(x, y):
        return 0
    return 128 if (x + y) % 5 == 0 else 255


def bmp8(value, header_size=40, colours_used=256, top_down=False):
    fill = (4 - W % 4) % 4
    offset = 14 + header_size + 4 * 256
    image = (W + fill) * H
    out = struct.pack('<HIHHI', 0x4D42, offset + image, 0, 0, offset)
    out += struct.pack('<IiiHHIIiiII', header_size, W, -H if top_down else H, 1, 8, 0, image,
                       2835, 2835, colours_used, 0)
    out += b'\0' * (14 + header_size - len(out))
    out += b''.join(struct.pack('<I', i * 0x010101) for i in range(256))
    rows = range(H) if top_down else range(H - 1, -1, -1)
    for y in rows:
        out += bytes(value(x, y) for x in range(W)) + b'\0' * fill
    return out


def bmp24():
    w, h = 4, 2
    image = w * 3 * h
    out = struct.pack('<HIHHI', 0x4D42, 54 + image, 0, 0, 54)
    out += struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, image, 2835, 2835, 0, 0)
    return out + bytes(range(image))


LONG_NAME = 'photo_taken_below_the_beech_canopy_' + 'x' * 60 + '.bmp'
FILES = {
    'canopy.bmp': bmp8(grey),
    'classes.bmp': bmp8(classified),
    'rgb.bmp': bmp24(),
    'truncated.bmp': bmp8(grey)[:1500],
    LONG_NAME: bmp8(grey, header_size=124, colours_used=0, top_down=True),
}
CASES = {
    'polar_grey_9x8': ['canopy.bmp'],
    'ortho_classified_2x4': ['classes.bmp'],
    'size_polar_reprompt': ['canopy.bmp'],
    'size_ortho_classified': ['classes.bmp'],
    'yes_answer': ['canopy.bmp'],
    'lens_invalid': ['canopy.bmp'],
    'rgb_file': ['rgb.bmp'],
    'answers_asked_again': ['canopy.bmp'],
    'size_step_asked_again': ['classes.bmp'],
    'input_ends': ['canopy.bmp'],
    'missing_file': [],
    'truncated_file': ['truncated.bmp'],
    'long_name_v5_topdown': [LONG_NAME],
    'circle_beyond_picture': ['classes.bmp'],
}

if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for case, names in CASES.items():
        for name in names:
            os.makedirs(os.path.join(here, case, 'input'), exist_ok=True)
            with open(os.path.join(here, case, 'input', name), 'wb') as f:
                f.write(FILES[name])
