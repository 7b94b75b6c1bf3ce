"""The 岚影 emblem: a lens ring around ink mountains rising out of mist.

Drawn procedurally so that every size (window icon, banner, buttons) comes from
the same geometry and stays sharp. Standard library only; the output is
deterministic. Run directly to write the emblem as a PNG:

    python3 emblem.py SIZE OUT.png
"""

import math
import struct
import sys
import zlib

# Palette of the visual identity (mist blue and ink), shared by the other scripts.
INK = (0x1C, 0x2F, 0x47)
INK_LIGHT = (0x35, 0x58, 0x80)
SKY_TOP = (0x5E, 0x95, 0xC6)
SKY_LOW = (0xDC, 0xEB, 0xF6)
BACK_RANGE = (0x86, 0xA8, 0xC8)
FRONT_TOP = (0x2A, 0x4D, 0x72)
FRONT_LOW = (0x17, 0x2B, 0x44)
MIST = (0xF2, 0xF7, 0xFC)
COATING = (0xA8, 0xD2, 0xF0)
SUN = (0xFF, 0xF8, 0xE8)

RIM_OUTER = 0.47
RIM_INNER = 0.395
COATING_WIDTH = 0.018


def _ridge(points, u):
    """Height of a piecewise-linear ridge line at u (points sorted by u)."""
    for (u0, v0), (u1, v1) in zip(points, points[1:]):
        if u0 <= u <= u1:
            t = (u - u0) / (u1 - u0)
            return v0 + (v1 - v0) * t
    return points[-1][1] if u > points[-1][0] else points[0][1]


BACK_RIDGE = [(0.0, 0.60), (0.16, 0.50), (0.30, 0.41), (0.40, 0.47),
              (0.50, 0.43), (0.64, 0.31), (0.80, 0.44), (1.0, 0.52)]
FRONT_RIDGE = [(0.0, 0.80), (0.14, 0.68), (0.28, 0.52), (0.36, 0.45),
               (0.46, 0.58), (0.58, 0.62), (0.74, 0.53), (0.88, 0.64), (1.0, 0.74)]


def mix(a, b, t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def over(dst, src, alpha):
    return tuple(dst[i] + (src[i] - dst[i]) * alpha for i in range(3))


def _mist(u, v, centre, width, strength, phase):
    c = centre + 0.018 * math.sin(u * 6.283 * 1.3 + phase)
    d = (v - c) / width
    return strength * math.exp(-d * d)


def scene(u, v):
    """Colour (r, g, b, a) of the emblem at (u, v) in the unit square, v downwards."""
    dx, dy = u - 0.5, v - 0.5
    r = math.hypot(dx, dy)
    if r > RIM_OUTER:
        return (0.0, 0.0, 0.0, 0.0)
    if r > RIM_INNER:
        # Lens barrel: lit from the top left, with a thin coated inner edge.
        light = 0.5 - 0.5 * (dx * 0.6 + dy * 0.8) / max(r, 1e-6)
        col = mix(INK, INK_LIGHT, light * 0.9)
        if r < RIM_INNER + COATING_WIDTH:
            col = mix(col, COATING, 0.85)
        return col + (255.0,)
    # Inside the lens: sky, sun, two ranges, mist between and below them.
    col = mix(SKY_TOP, SKY_LOW, (v - 0.1) / 0.5)
    sd = math.hypot(u - 0.66, v - 0.27)
    if sd < 0.075:
        col = over(col, SUN, 0.95)
    elif sd < 0.11:
        col = over(col, SUN, 0.95 * (0.11 - sd) / 0.035 * 0.35)
    if v > _ridge(BACK_RIDGE, u):
        col = mix(BACK_RANGE, SKY_LOW, (v - 0.40) / 0.35 * 0.6)
    col = over(col, MIST, _mist(u, v, 0.55, 0.05, 0.75, 0.0))
    top = _ridge(FRONT_RIDGE, u)
    if v > top:
        col = mix(FRONT_TOP, FRONT_LOW, (v - top) / 0.3)
    col = over(col, MIST, _mist(u, v, 0.72, 0.045, 0.85, 1.7))
    col = over(col, MIST, _mist(u, v, 0.86, 0.05, 0.6, 3.1))
    return col + (255.0,)


def render(size, samples=4):
    """size x size RGBA rows (lists of 4-tuples of ints), supersampled for smooth edges."""
    rows = []
    n = samples * samples
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    r, g, b, a = scene(u, v)
                    w = a / 255.0
                    acc[0] += r * w
                    acc[1] += g * w
                    acc[2] += b * w
                    acc[3] += a
            a = acc[3] / n
            if a <= 0:
                row.append((0, 0, 0, 0))
                continue
            cover = a / 255.0 * n
            row.append(tuple(int(round(c / cover)) for c in acc[:3]) + (int(round(a)),))
        rows.append(row)
    return rows


def png_bytes(rows, compress_level=9):
    """Minimal RGBA PNG (colour type 6, 8 bits, no interlace) of the given rows."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for px in row:
            raw.extend(px)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), compress_level)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: emblem.py SIZE OUT.png\n")
        return 2
    size = int(argv[1])
    with open(argv[2], "wb") as f:
        f.write(png_bytes(render(size)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
