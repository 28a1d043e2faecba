#!/usr/bin/env python3
"""Writes the stand-in firmware 1.2 image of the KRV-5316.

The maker's image is not ours to ship, so the build carries one of the same form:
59,215 bytes, the FPGA's sync header, 71 bytes of FF, configuration data from byte 77
beginning 80 09 30 01 and ending 01 20 FE FF FF, about 60 per cent zero bytes.
The content is pseudo-random but fixed, so the file is the same on every run."""
import sys

SIZE = 59215
HEAD = bytes([0xFF, 0xFF, 0x62, 0xFF, 0x39, 0x00]) + bytes([0xFF] * 71)
DATA_START = bytes([0x80, 0x09, 0x30, 0x01])
TAIL = bytes([0x01, 0x20, 0xFE, 0xFF, 0xFF])


def make_image() -> bytes:
    state = 0x5316
    body = bytearray()
    while len(HEAD) + len(DATA_START) + len(body) + len(TAIL) < SIZE:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        roll = (state >> 16) % 100
        # Configuration frames are mostly empty: 61 % zero, the rest any byte but 0.
        body.append(0 if roll < 61 else 1 + (state >> 8) % 255)
    image = HEAD + DATA_START + bytes(body) + TAIL
    assert len(image) == SIZE
    return image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "krv5316_fw12.bin"
    image = make_image()
    with open(out, "wb") as f:
        f.write(image)
    zeros = image.count(0) / len(image)
    print(f"{out}: {len(image)} bytes, {zeros:.1%} zero")
