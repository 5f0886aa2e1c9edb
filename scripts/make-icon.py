#!/usr/bin/env python3
"""Writes resources/app.ico: a printer with a sheet in the feeder and one
coming out of the slot, at 32x32 and 16x16 in the 16-colour Windows palette
(4 bits per pixel), so it looks the same on Windows 95 as on Vista.

The pictures are drawn below as character grids; '.' is transparent.
Usage: python3 scripts/make-icon.py [output.ico]
"""
import os
import struct
import sys

# The standard 16-colour palette, in palette order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Grid letter -> palette index.
COLOURS = {
    'K': 0,   # outline
    'D': 8,   # shadow, lines of print
    'L': 7,   # body
    'W': 15,  # paper, highlight
    'N': 4,   # print on the paper
    'G': 10,  # power light
    'T': 6,   # paper tray, panel buttons
}

ICON_32 = """
................................
................................
.........KKKKKKKKKKKKKK.........
.........KWWWWWWWWWWWWK.........
.........KWNNNNNNNNNWWK.........
.........KWWWWWWWWWWWWK.........
.........KWDDDDDDDDDDWK.........
.........KWWWWWWWWWWWWK.........
.........KWDDDDDDDWWWWK.........
.........KWWWWWWWWWWWWK.........
......KKKKKKKKKKKKKKKKKKKK......
.....KWWWWWWWWWWWWWWWWWWWWK.....
....KWLLLLLLLLLLLLLLLLLLLLLK....
...KWLLLLLLLLLLLLLLLLLLLLLLDK...
..KKKKKKKKKKKKKKKKKKKKKKKKKKKK..
..KWWWWWWWWWWWWWWWWWWWWWWWWWWK..
..KWLLLLLLLLLLLLLLLLLLLLLLLLDK..
..KWLLKKKKKKKKKKKKKKKKKKKKLLDK..
..KWLLKDDDDDDDDDDDDDDDDDDKLLDK..
..KWLLLKWWWWWWWWWWWWWWWWKLLLDK..
..KWLLLKWNNNNNNNNNNNNNWWKLGGDK..
..KWLLLKWWWWWWWWWWWWWWWWKLGGDK..
..KWLLLKWDDDDDDDDDDDDDWWKLLLDK..
..KWLLLKWWWWWWWWWWWWWWWWKLTTDK..
..KDDDDKWDDDDDDDDDDWWWWWKDDDDK..
..KKKKKKWWWWWWWWWWWWWWWWKKKKKK..
.......KWDDDDDDDDDDDDDWWK.......
.......KWWWWWWWWWWWWWWWWK.......
.......KWDDDDDDDDWWWWWWWK.......
.......KWWWWWWWWWWWWWWWWK.......
.......KKKKKKKKKKKKKKKKKK.......
................................
"""

ICON_16 = """
................
....KKKKKKKK....
....KWWWWWWK....
....KWNNNNWK....
....KWWWWWWK....
..KKKKKKKKKKKK..
.KWWWWWWWWWWWWK.
KLLLLLLLLLLLLLDK
KLKKKKKKKKKKKLDK
KLLKWWWWWWWKLGDK
KLLKWNNNNWWKLLDK
KDDKWWWWWWWKDDDK
KKKKWDDDDDWKKKKK
...KWWWWWWWK....
...KKKKKKKKK....
................
"""


def parse(grid, size):
    rows = [line for line in grid.strip('\n').split('\n')]
    assert len(rows) == size, (size, len(rows))
    for row in rows:
        assert len(row) == size, (size, row)
    return [[None if ch == '.' else COLOURS[ch] for ch in row] for row in rows]


def image_bytes(pixels):
    """One icon image: BITMAPINFOHEADER, palette, XOR and AND bitmaps."""
    size = len(pixels)
    xor_stride = (size * 4 + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            if colour is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                colour = 0  # transparent: black XOR under a set mask bit
            line[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, blob in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b''.join(blobs)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'resources', 'app.ico')
    images = [(32, image_bytes(parse(ICON_32, 32))), (16, image_bytes(parse(ICON_16, 16)))]
    with open(target, 'wb') as f:
        f.write(ico(images))


if __name__ == '__main__':
    main()
