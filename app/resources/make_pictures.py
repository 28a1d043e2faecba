#!/usr/bin/env python3
"""Draws the window's pictures as 16-colour (4 bits per pixel) uncompressed BMPs:
icon.bmp, a 32 x 32 plug-in expansion card, and logo.bmp, the 93 x 52 maker's logo in
red on silver; and the same card as the desktop's icon, PNGs of 32, 48, 64 and 128
pixels (icon-N.png), each laid out on its own pixel grid so that edges, pins and
fingers stay sharp and evenly spaced, and icon.ico of them for the Windows program. Run it again after changing a drawing; the
pictures are committed."""
import os
import struct
import zlib

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

    def ico_entry(self):
        """The BMP as an icon image: no file header, twice the height for the mask,
        and after the colours the mask itself, magenta being transparent."""
        bmp = self.bmp()
        info = bytearray(bmp[14:54])
        struct.pack_into("<i", info, 8, 2 * self.height)
        stride = (self.width + 31) // 32 * 4
        mask = b""
        for row in reversed(self.pixels):
            packed = bytearray(stride)
            for x, colour in enumerate(row):
                if colour == MAGENTA:
                    packed[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(packed)
        return bytes(info) + bmp[54:] + mask

    def png(self):
        """RGBA, with the magenta background transparent."""
        raw = b""
        for row in self.pixels:
            raw += b"\0" + b"".join(
                bytes(PALETTE[colour]) + (b"\0" if colour == MAGENTA else b"\xff")
                for colour in row)

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data)))

        head = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon(size=32):
    """An expansion card seen from its component side; magenta is transparent.
    Drawn on a 32-unit grid whose edges snap to whole pixels, with lines, pins and
    fingers sized in whole pixels; at 32 pixels it is the window's 16-colour icon."""
    unit = size / 32
    line = max(1, size // 48)  # highlight and shadow lines: 1 pixel, 2 at 128
    pitch = int(2 * unit + 0.5)  # of pins and fingers, the same all along a row
    tooth = pitch // 2

    def px(v):
        return int(v * unit + 0.5)

    c = Canvas(size, size, MAGENTA)

    def area(left, top, right, bottom, colour):
        """Fills unit coordinates, right and bottom exclusive."""
        c.rect(px(left), px(top), px(right) - 1, px(bottom) - 1, colour)

    def row(left, right, count, top, bottom, colour):
        """count teeth centred between the pixel columns left and right (exclusive)."""
        x = left + (right - left - (count - 1) * pitch - tooth) // 2
        for i in range(count):
            c.rect(x + i * pitch, top, x + i * pitch + tooth - 1, bottom, colour)

    area(1, 1, 8, 3, SILVER)          # bracket with its fixing tab
    area(1, 1, 4, 30, SILVER)
    c.rect(px(4) - line, px(3), px(4) - 1, px(30) - 1, GRAY)
    area(4, 5, 31, 23, GREEN)         # board
    c.rect(px(4), px(5), px(31) - 1, px(5) + line - 1, LIME)
    c.rect(px(31) - line, px(5), px(31) - 1, px(23) - 1, BLACK)
    area(9, 23, 28, 27, GREEN)        # edge connector with gold fingers
    row(px(9), px(28), 9, px(23), px(27) - 1, YELLOW)
    pin = max(1, px(1))
    for left, top, right, bottom, pins in ((7, 9, 15, 17, 3), (18, 8, 28, 14, 4),
                                           (18, 16, 24, 20, 2)):
        area(left, top, right, bottom, BLACK)  # chips with pins above and below
        row(px(left), px(right), pins, px(top) - pin, px(top) - 1, SILVER)
        row(px(left), px(right), pins, px(bottom), px(bottom) + pin - 1, SILVER)
        if size >= 64:  # room for the pin-1 mark
            dot = px(top) + 2 * line
            c.rect(px(left) + 2 * line, dot, px(left) + 4 * line - 1, dot + 2 * line - 1, GRAY)
    area(15, 19, 17, 22, OLIVE)       # a few traces to the connector
    area(24, 14, 25, 16, OLIVE)
    area(25, 20, 27, 22, OLIVE)
    if size >= 64:  # the bracket's screw slot
        c.rect(px(3), px(1) + line, px(6) - 1, px(1) + 2 * line - 1, GRAY)
    return c


GLYPHS = {
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
}


def ico():
    """The Windows program's icon: the 16-colour card at 32 pixels, and the larger
    ones as PNG images, which icon files may hold."""
    images = [(32, 16, 4, icon().ico_entry())]
    images += [(size, 0, 32, icon(size).png()) for size in (48, 64, 128)]
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, data = b"", b""
    for size, colours, bits, image in images:
        entries += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(image),
                               offset + len(data))
        data += image
    return head + entries + data


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
    pictures = [("icon.bmp", icon().bmp()), ("logo.bmp", logo().bmp())]
    pictures += [(f"icon-{size}.png", icon(size).png()) for size in (32, 48, 64, 128)]
    pictures.append(("icon.ico", ico()))
    for name, data in pictures:
        with open(os.path.join(here, name), "wb") as f:
            f.write(data)
