#!/usr/bin/env python3
"""Draws the window's pictures as 16-colour (4 bits per pixel) uncompressed BMPs:
icon.bmp, a 32 x 32 plug-in expansion card, and logo.bmp, the 93 x 52 maker's logo in
red on silver. Run it again after changing a drawing; the BMPs are committed."""
import os
import struct

# The standard 16-colour palette, by index.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, SILVER, GRAY = 0, 1, 2, 3, 7, 8
RED, LIME, YELLOW, MAGENTA, WHITE = 9, 10, 11, 13, 15


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def rect(self, left, top, right, bottom, colour):
        """Fills the rectangle with both corners inclusive."""
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                self.pixels[y][x] = colour

    def bmp(self):
        row_bytes = (self.width + 1) // 2
        stride = (row_bytes + 3) // 4 * 4
        rows = b""
        for row in reversed(self.pixels):  # BMP rows run bottom-up
            packed = bytearray(stride)
            for x, colour in enumerate(row):
                packed[x // 2] |= colour << (0 if x % 2 else 4)
            rows += bytes(packed)
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
        offset = 14 + 40 + len(palette)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 4, 0,
                           len(rows), 3780, 3780, 16, 16)
        head = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
        return head + info + palette + rows


def icon():
    """An expansion card seen from its component side; magenta is transparent."""
    c = Canvas(32, 32, MAGENTA)
    c.rect(1, 1, 7, 2, SILVER)       # bracket with its fixing tab
    c.rect(1, 1, 3, 29, SILVER)
    c.rect(3, 3, 3, 29, GRAY)
    c.rect(4, 5, 30, 22, GREEN)      # board
    c.rect(4, 5, 30, 5, LIME)
    c.rect(30, 5, 30, 22, BLACK)
    c.rect(9, 23, 27, 26, GREEN)     # edge connector with gold fingers
    for x in range(10, 27, 2):
        c.rect(x, 23, x, 26, YELLOW)
    for left, top, right, bottom in ((7, 9, 14, 16), (18, 8, 27, 13), (18, 16, 23, 19)):
        c.rect(left, top, right, bottom, BLACK)  # chips with pins above and below
        for x in range(left + 1, right, 2):
            c.pixels[top - 1][x] = SILVER
            c.pixels[bottom + 1][x] = SILVER
    c.rect(15, 19, 16, 21, OLIVE)    # a few traces to the connector
    c.rect(24, 14, 24, 15, OLIVE)
    c.rect(25, 20, 26, 21, OLIVE)
    return c


GLYPHS = {
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
}


def logo():
    """The maker's name in red block letters with a dark shadow, underlined."""
    c = Canvas(93, 52, SILVER)
    scale, left, top = 3, 3, 9
    for shade, shift in ((MAROON, 1), (RED, 0)):
        for i, letter in enumerate("ZOVAK"):
            x0 = left + i * (5 * scale + 3) + shift
            for row, bits in enumerate(GLYPHS[letter]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        x, y = x0 + col * scale, top + row * scale + shift
                        c.rect(x, y, x + scale - 1, y + scale - 1, shade)
    c.rect(3, 36, 89, 38, RED)
    c.rect(4, 39, 90, 39, MAROON)
    return c


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, picture in (("icon.bmp", icon()), ("logo.bmp", logo())):
        with open(os.path.join(here, name), "wb") as f:
            f.write(picture.bmp())
