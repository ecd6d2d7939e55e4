#!/usr/bin/env python3
"""Draws the about box's two bitmaps as 8-bit, 256-colour, uncompressed BMP files.

picture.bmp (172 x 69): a tallow candle in an open box. The background is pure white, which
the about box shows as the button face; a near-white (0xFEFEFE) candle stays opaque.
link.bmp (227 x 34): the web-address banner: a dark blue frame, the address in dark blue
letters and an underline, on pure white.

Run from anywhere: python3 res/make_bitmaps.py. Writes next to this script. Needs no packages.
"""
import os
import struct

WHITE = (255, 255, 255)
NEAR_WHITE = (254, 254, 254)
BLACK = (0, 0, 0)
BOX_BROWN = (139, 90, 43)
BOX_DARK = (94, 58, 26)
BOX_LIGHT = (196, 145, 86)
WICK = (60, 60, 60)
FLAME_OUTER = (255, 160, 0)
FLAME_INNER = (255, 230, 90)
LINK_BLUE = (16, 48, 144)
SHADOW = (180, 180, 200)


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.palette = [background]
        self.pixels = [[0] * width for _ in range(height)]

    def index(self, color):
        if color not in self.palette:
            self.palette.append(color)
        return self.palette.index(color)

    def put(self, x, y, color):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = self.index(color)

    def fill(self, left, top, right, bottom, color):
        """Fills [left, right) x [top, bottom)."""
        for y in range(top, bottom):
            for x in range(left, right):
                self.put(x, y, color)

    def frame(self, left, top, right, bottom, color, thickness=1):
        self.fill(left, top, right, top + thickness, color)
        self.fill(left, bottom - thickness, right, bottom, color)
        self.fill(left, top, left + thickness, bottom, color)
        self.fill(right - thickness, top, right, bottom, color)

    def ellipse(self, cx, cy, rx, ry, color):
        for y in range(int(cy - ry), int(cy + ry) + 1):
            for x in range(int(cx - rx), int(cx + rx) + 1):
                if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                    self.put(x, y, color)

    def save_bmp(self, path):
        assert len(self.palette) <= 256
        palette = self.palette + [BLACK] * (256 - len(self.palette))
        stride = (self.width + 3) & ~3
        image_size = stride * self.height
        offset = 14 + 40 + 256 * 4
        header = struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 8, 0, image_size, 2835, 2835, 256, 0)
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
        rows = []
        for row in reversed(self.pixels):  # bottom-up
            rows.append(bytes(row) + b"\0" * (stride - self.width))
        with open(path, "wb") as out:
            out.write(header + info + table + b"".join(rows))


def draw_picture():
    c = Canvas(172, 69, WHITE)
    # The box: front, top opening and a lighter side.
    c.fill(40, 36, 132, 66, BOX_BROWN)
    c.fill(132, 30, 150, 60, BOX_LIGHT)
    for i in range(6):  # the side's slanted top edge
        c.fill(132 + i * 3, 36 - i, 132 + i * 3 + 3, 37 - i, BOX_DARK)
    c.fill(46, 30, 150, 36, BOX_DARK)
    c.frame(40, 36, 132, 66, BLACK)
    c.fill(52, 48, 120, 51, BOX_DARK)  # a slat
    # The candle standing in the box: near-white wax, so it stays opaque.
    c.fill(76, 10, 96, 36, NEAR_WHITE)
    c.frame(76, 10, 96, 37, BLACK)
    c.fill(85, 5, 87, 11, WICK)
    c.ellipse(86, 3, 4, 5, FLAME_OUTER)
    c.ellipse(86, 4, 2, 3, FLAME_INNER)
    # A shadow under the box.
    c.fill(44, 66, 154, 69, SHADOW)
    # Small sparks to the left, each a plain block.
    for x, y in ((12, 20), (22, 10), (26, 28)):
        c.fill(x, y, x + 4, y + 4, FLAME_OUTER)
    return c


# 5-column glyphs: rows 0-6 above the baseline, 7-8 below it; '#' is ink.
GLYPHS = {
    "t": ["  #  ", " ### ", "  #  ", "  #  ", "  #  ", "  #  ", "   ##", "     ", "     "],
    "a": ["     ", "     ", " ### ", "    #", " ####", "#   #", " ####", "     ", "     "],
    "l": [" ##  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### ", "     ", "     "],
    "o": ["     ", "     ", " ### ", "#   #", "#   #", "#   #", " ### ", "     ", "     "],
    "w": ["     ", "     ", "#   #", "#   #", "# # #", "# # #", " # # ", "     ", "     "],
    "b": ["#    ", "#    ", "#### ", "#   #", "#   #", "#   #", "#### ", "     ", "     "],
    "x": ["     ", "     ", "#   #", " # # ", "  #  ", " # # ", "#   #", "     ", "     "],
    ".": ["     ", "     ", "     ", "     ", "     ", " ##  ", " ##  ", "     ", "     "],
    "e": ["     ", "     ", " ### ", "#   #", "#####", "#    ", " ### ", "     ", "     "],
    "m": ["     ", "     ", "## # ", "# # #", "# # #", "# # #", "# # #", "     ", "     "],
    "p": ["     ", "     ", "#### ", "#   #", "#   #", "#   #", "#### ", "#    ", "#    "],
    "j": ["   # ", "     ", "  ## ", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "],
}


def draw_link(address="tallowbox.example.jp"):
    c = Canvas(227, 34, WHITE)
    c.frame(0, 0, 227, 34, LINK_BLUE, thickness=2)
    scale = 2
    advance = 5 * scale + 1  # one pixel between letters keeps the address inside the frame
    text_width = advance * len(address) - 1
    left = (227 - text_width) // 2
    top = 7
    for n, ch in enumerate(address):
        rows = GLYPHS[ch]
        for gy, row in enumerate(rows):
            for gx, ink in enumerate(row):
                if ink == "#":
                    c.fill(left + n * advance + gx * scale, top + gy * scale,
                           left + n * advance + (gx + 1) * scale, top + (gy + 1) * scale, LINK_BLUE)
    baseline = top + 7 * scale + 1
    c.fill(left, baseline, left + text_width, baseline + 1, LINK_BLUE)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    draw_picture().save_bmp(os.path.join(here, "picture.bmp"))
    draw_link().save_bmp(os.path.join(here, "link.bmp"))


if __name__ == "__main__":
    main()
