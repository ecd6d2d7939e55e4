#!/usr/bin/env python3
"""Writes Tallowbox.ico: one 32 x 32 image in 256 colours (8 bits per pixel, with an AND mask).

The picture: a pale yellow sheet of paper with a folded corner and ruled lines, and a green
arrow pointing down into a dark blue box (a copy going into its place). Run it again after
changing the drawing; the .ico is committed.
"""
import struct
import sys
from pathlib import Path

SIZE = 32

PALETTE = [
    (0, 0, 0),        # 0 transparent (masked)
    (255, 255, 255),  # 1 white
    (255, 246, 196),  # 2 paper
    (150, 120, 60),   # 3 paper outline
    (200, 180, 120),  # 4 ruled line / fold
    (30, 60, 130),    # 5 box
    (70, 110, 190),   # 6 box light edge
    (30, 150, 60),    # 7 arrow
    (10, 90, 30),     # 8 arrow outline
]


def draw():
    px = [[0] * SIZE for _ in range(SIZE)]

    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            px[y][x] = c

    # paper, 4..21 wide, 2..22 high, with the top-right corner folded
    for y in range(2, 23):
        for x in range(4, 22):
            if x - 16 > y - 2:  # cut corner
                continue
            edge = x in (4, 21) or y in (2, 22) or x - 16 == y - 2
            put(x, y, 3 if edge else 2)
    for i in range(6):  # the fold
        put(16 + i, 2 + i, 3)
        put(16, 2 + i, 4)
        put(16 + i, 7, 4)
    for y in (10, 13, 16, 19):  # ruled lines
        for x in range(7, 19):
            put(x, y, 4)
    # box at the bottom
    for y in range(22, 31):
        for x in range(10, 31):
            edge = x in (10, 30) or y in (22, 30)
            put(x, y, 6 if edge else 5)
    # arrow down into the box
    for y in range(8, 20):
        for x in range(18, 23):
            put(x, y, 7)
    for y in range(19, 27):
        half = 26 - y
        for x in range(20 - half, 21 + half):
            put(x, y, 7)
    for y in range(8, 20):
        put(17, y, 8)
        put(23, y, 8)
    for x in range(17, 24):
        put(x, 7, 8)
    return px


def ico_bytes(px):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0" * (256 * 4 - len(palette))
    xor = b"".join(bytes(px[y]) for y in reversed(range(SIZE)))  # bottom-up rows
    and_rows = []
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if px[y][x] == 0 else 0)
        and_rows.append(struct.pack(">I", bits))  # 32 bits: a row is exactly 4 bytes
    image = header + palette + xor + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("Tallowbox.ico")
    out.write_bytes(ico_bytes(draw()))


if __name__ == "__main__":
    main()
