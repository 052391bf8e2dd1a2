#!/usr/bin/env python3
"""Draws the Duolume icon (pane/resources/Duolume.png): a sun, half lit and
half in shade, on a twilight tile. Plain Python, no imaging library.

    scripts/draw-pane-icon.py [OUT.png] [SIZE]
"""
import math
import struct
import sys
import zlib

SIZE = int(sys.argv[2]) if len(sys.argv) > 2 else 256
OUT = sys.argv[1] if len(sys.argv) > 1 else "pane/resources/Duolume.png"
SS = 4  # samples per pixel along each axis


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def over(dst, src, alpha):
    return mix(dst, src, alpha)


def in_rounded_square(x, y, margin, radius):
    lo, hi = margin, 1 - margin
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


TOP, BOTTOM = (0.16, 0.22, 0.42), (0.33, 0.45, 0.72)
GOLD_HI, GOLD_LO = (1.0, 0.86, 0.35), (1.0, 0.58, 0.12)
SHADE = (0.09, 0.12, 0.25)
RAYS = [(i * math.tau / 12 + math.tau / 24) for i in range(12)]
CX = CY = 0.5
SUN_R, RIM = 0.25, 0.016


def sample(x, y):
    if not in_rounded_square(x, y, 0.035, 0.2):
        return (0.0, 0.0, 0.0, 0.0)
    c = mix(TOP, BOTTOM, y)
    # a soft glow on the lit side
    glow = max(0.0, 1 - math.hypot(x - 0.34, y - 0.5) / 0.55) * 0.35
    c = over(c, GOLD_LO, glow * 0.5)
    for a in RAYS:
        ca, sa = math.cos(a), math.sin(a)
        d = segment_distance(x, y, CX + ca * 0.33, CY + sa * 0.33, CX + ca * 0.42, CY + sa * 0.42)
        if d <= 0.028:
            lit = ca < 0
            c = over(c, mix(GOLD_HI, GOLD_LO, (sa + 1) / 2) if lit else GOLD_HI, 1.0 if lit else 0.28)
    r = math.hypot(x - CX, y - CY)
    if r <= SUN_R:
        if x <= CX:
            c = mix(GOLD_HI, GOLD_LO, (y - (CY - SUN_R)) / (2 * SUN_R))
        else:
            c = SHADE if r <= SUN_R - RIM else GOLD_HI
    return c + (1.0,)


rows = []
for py in range(SIZE):
    row = bytearray([0])
    for px in range(SIZE):
        acc = [0.0, 0.0, 0.0, 0.0]
        for sy in range(SS):
            for sx in range(SS):
                r, g, b, a = sample((px + (sx + 0.5) / SS) / SIZE, (py + (sy + 0.5) / SS) / SIZE)
                acc[0] += r * a
                acc[1] += g * a
                acc[2] += b * a
                acc[3] += a
        n = SS * SS
        alpha = acc[3] / n
        rgb = [acc[i] / acc[3] if acc[3] else 0.0 for i in range(3)]
        row += bytes(int(round(v * 255)) for v in rgb) + bytes([int(round(alpha * 255))])
    rows.append(bytes(row))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
with open(OUT, "wb") as f:
    f.write(png)
