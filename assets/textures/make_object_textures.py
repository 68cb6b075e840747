#!/usr/bin/env python3
"""Writes the textures of the example object scenes as RGBA PNG files.

crate.png (128x128, opaque): a wooden crate face: warm planks with darker seams, a frame around
    the edge and a diagonal brace, so that orientation and filtering are easy to judge.
checker.png (64x64, opaque): an 8 x 8 black and white checker board, for texture tests.

Only the standard library is used (zlib and struct):
    python3 assets/textures/make_object_textures.py
"""
import os
import struct
import zlib


def write_png(path, width, height, pixel):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def crate(x, y):
    n = 128
    border = 12
    # Planks run horizontally, 4 per face, with a little grain.
    plank = (y // 32) % 2
    grain = ((x * 7 + y * 13 + (x * y) % 17) % 23) / 23.0
    r, g, b = (176, 122, 64) if plank == 0 else (160, 108, 54)
    r, g, b = int(r * (0.9 + 0.1 * grain)), int(g * (0.9 + 0.1 * grain)), int(b * (0.9 + 0.1 * grain))
    if y % 32 in (0, 31):
        r, g, b = 90, 58, 30
    on_frame = x < border or y < border or x >= n - border or y >= n - border
    on_brace = abs(x - y) < 9 and border <= x < n - border
    if on_frame or on_brace:
        r, g, b = 120, 78, 38
        if x in (0, n - 1) or y in (0, n - 1) or (on_brace and abs(x - y) == 8):
            r, g, b = 70, 44, 20
    return (r, g, b, 255)


def checker(x, y):
    v = 255 if ((x // 8) + (y // 8)) % 2 == 0 else 0
    return (v, v, v, 255)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_png(os.path.join(here, "crate.png"), 128, 128, crate)
    write_png(os.path.join(here, "checker.png"), 64, 64, checker)
