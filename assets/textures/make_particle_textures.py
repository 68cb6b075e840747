#!/usr/bin/env python3
"""Writes the particle textures of the beam scenes as 64x64 RGBA PNG files.

particle_soft.png: a round, soft-edged white spot (colour and alpha fall off together, so the
    texture works with additive blending by colour or by alpha).
beam_glow.png: a glowing strip for beam segments: a bright core across v that fades to the
    edges, constant along u so that neighbouring segments join without seams.
ground_grid.png (512x512, opaque): a dark floor with 16 x 16 grid lines that fade towards the
    rim, for a ground plane mapped once over its whole side.

Only the standard library is used (zlib and struct), so the files can be regenerated anywhere:
    python3 assets/textures/make_particle_textures.py
"""
import math
import os
import struct
import zlib

SIZE = 64


def write_png(path, pixels):
    """pixels: rows of (r, g, b, a) tuples, 0..255."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", len(pixels[0]), len(pixels), 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def to_byte(x):
    return max(0, min(255, int(round(x * 255.0))))


def soft_spot():
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            dx = (x + 0.5) / SIZE * 2.0 - 1.0
            dy = (y + 0.5) / SIZE * 2.0 - 1.0
            d = math.sqrt(dx * dx + dy * dy)
            # A bright core with a long soft halo, reaching exactly zero at the rim.
            edge = max(0.0, 1.0 - d)
            v = 0.55 * math.exp(-d * d * 9.0) + 0.45 * edge * edge
            v = min(1.0, v) * (1.0 if d < 1.0 else 0.0)
            c = to_byte(v)
            row.append((c, c, c, c))
        rows.append(row)
    return rows


def beam_glow():
    rows = []
    for y in range(SIZE):
        row = []
        fy = (y + 0.5) / SIZE * 2.0 - 1.0  # across the beam
        # A hot narrow core over a wide soft glow that reaches zero at the edges.
        across = 0.45 * math.exp(-fy * fy * 16.0) + 0.75 * max(0.0, 1.0 - fy * fy) ** 2
        for x in range(SIZE):
            # Constant along the beam, so that segments meeting end to end leave no seam.
            c = to_byte(min(1.0, across))
            row.append((c, c, c, c))
        rows.append(row)
    return rows


def ground_grid(size=512, cells=16):
    rows = []
    cell = size / cells
    for y in range(size):
        row = []
        for x in range(size):
            fx = (x + 0.5) / size * 2.0 - 1.0
            fy = (y + 0.5) / size * 2.0 - 1.0
            rim = max(0.0, 1.0 - math.sqrt(fx * fx + fy * fy))  # 1 at the centre, 0 at the rim
            # Distance in pixels to the nearest grid line, drawn 2 pixels wide with a soft edge.
            dx = min(x % cell, cell - (x % cell))
            dy = min(y % cell, cell - (y % cell))
            line = max(0.0, 1.0 - max(0.0, min(dx, dy) - 0.5) / 1.5)
            base = (0.06, 0.07, 0.10)
            glow = (0.20, 0.34, 0.50)
            k = line * (0.25 + 0.75 * rim)
            shade = 0.55 + 0.45 * rim
            c = tuple(to_byte(base[i] * shade + glow[i] * k) for i in range(3))
            row.append((c[0], c[1], c[2], 255))
        rows.append(row)
    return rows


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_png(os.path.join(here, "particle_soft.png"), soft_spot())
    write_png(os.path.join(here, "beam_glow.png"), beam_glow())
    write_png(os.path.join(here, "ground_grid.png"), ground_grid())
