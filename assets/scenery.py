"""Misty mountain backgrounds for the banner and the about picture.

Layered ink-wash ranges: far ranges pale, near ranges deeper, each fading into
mist towards its foot. A horizontal weight keeps one side quiet so that text
placed there stays readable. Deterministic, standard library only.

    python3 scenery.py banner|about OUT.png
"""

import math
import sys

import emblem

PAPER = (0xF5, 0xF9, 0xFD)
MIST = (0xEE, 0xF5, 0xFB)


class Range:
    def __init__(self, base, amp, waves, colour, depth):
        self.base, self.amp, self.waves = base, amp, waves
        self.colour, self.depth = colour, depth

    def ridge(self, x):
        """Ridge height (fraction of the picture height, downwards) at x in [0, 1]."""
        h = 0.0
        for freq, phase, weight in self.waves:
            h += weight * math.sin(x * freq * 2 * math.pi + phase)
        # Sharpen the crests a little, like brush-drawn peaks.
        h = math.copysign(abs(h) ** 0.8, h)
        return self.base - self.amp * h


def paint(width, height, ranges, quiet_side, sky_top, quiet=0.15):
    rows = []
    for y in range(height):
        v = (y + 0.5) / height
        row = []
        for x in range(width):
            u = (x + 0.5) / width
            col = emblem.mix(sky_top, PAPER, v * 1.3)
            # Weight 0 on the quiet side, 1 on the scenic side.
            w = u if quiet_side == "left" else 1.0 - u
            w = max(0.0, min(1.0, (w - quiet) / 0.55))
            w = w * w * (3 - 2 * w)
            for rng in ranges:
                top = rng.ridge(u)
                cover = max(0.0, min(1.0, (v - top) * height + 0.5))
                if cover <= 0:
                    continue
                fade = max(0.0, min(1.0, (v - top) / rng.depth))
                shade = emblem.mix(rng.colour, MIST, fade)
                col = emblem.over(col, shade, cover * (0.25 + 0.75 * w))
            row.append(tuple(int(round(c)) for c in col) + (255,))
        rows.append(row)
    return rows


def banner():
    ranges = [
        Range(0.55, 0.20, [(1.7, 0.4, 0.6), (4.3, 1.9, 0.3), (9.1, 0.7, 0.1)], (0xB6, 0xCD, 0xE3), 0.45),
        Range(0.72, 0.22, [(2.3, 2.2, 0.55), (5.9, 0.3, 0.3), (13.0, 1.1, 0.15)], (0x8A, 0xAB, 0xCB), 0.40),
        Range(0.92, 0.22, [(1.3, 4.0, 0.5), (7.7, 2.6, 0.35), (17.0, 0.2, 0.15)], (0x4F, 0x76, 0x9E), 0.35),
    ]
    return paint(600, 70, ranges, "left", (0xD6, 0xE6, 0xF4), quiet=0.35)


def about():
    ranges = [
        Range(0.48, 0.16, [(1.4, 1.0, 0.6), (3.9, 2.5, 0.3), (8.3, 0.1, 0.1)], (0xB6, 0xCD, 0xE3), 0.45),
        Range(0.66, 0.18, [(2.1, 0.2, 0.55), (5.2, 1.4, 0.3), (11.0, 2.9, 0.15)], (0x8A, 0xAB, 0xCB), 0.40),
        Range(0.90, 0.20, [(1.6, 3.3, 0.5), (6.3, 0.8, 0.35), (14.0, 1.7, 0.15)], (0x4F, 0x76, 0x9E), 0.30),
    ]
    return paint(295, 100, ranges, "left", (0xCC, 0xDF, 0xF0), quiet=0.5)


def main(argv):
    kinds = {"banner": banner, "about": about}
    if len(argv) != 3 or argv[1] not in kinds:
        sys.stderr.write("usage: scenery.py banner|about OUT.png\n")
        return 2
    with open(argv[2], "wb") as f:
        f.write(emblem.png_bytes(kinds[argv[1]]()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
