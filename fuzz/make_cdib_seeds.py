#!/usr/bin/env python3
"""Writes the seed corpus of cdib_fuzz to fuzz/corpus/cdib/: small BMP file images at every depth the
loader takes, both header kinds, odd widths, short and long pixel data, short colour tables, and a
few that must be refused (RLE, bad sizes), so the fuzzer starts from every branch of the loader."""
import os
import random
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "cdib")


def stride(width, bits):
    return (bits * width + 31) // 32 * 4


def bmp(width, height, bits, table=None, rows=None, compression=0, colors_used=0, core=False,
        gap=b"", bf_size=None, planes=1):
    rnd = random.Random(width * 131 + height * 17 + bits)
    if table is None:
        count = colors_used or (1 << bits if bits <= 8 else 0)
        table = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(count)]
    if rows is None:
        rows = bytes(rnd.randrange(256) for _ in range(stride(width, bits) * abs(height)))
    if core:
        header = struct.pack("<IHHHH", 12, width, height, planes, bits)
        palette = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in table)
    else:
        header = struct.pack("<IiiHHIIiiII", 40, width, height, planes, bits, compression,
                             0, 2835, 2835, colors_used, 0)
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in table)
    off = 14 + len(header) + len(palette) + len(gap)
    size = off + len(rows)
    head = b"BM" + struct.pack("<IHHI", size if bf_size is None else bf_size, 0, 0, off)
    return head + header + palette + gap + rows


def seeds():
    for bits in (1, 4, 8, 16, 24, 32):
        for width in (1, 3, 7, 13):
            yield f"info-{bits}bit-{width}x3", bmp(width, 3, bits)
    for bits in (1, 4, 8, 24):
        yield f"core-{bits}bit-5x2", bmp(5, 2, bits, core=True)
    yield "screen-like-24bit-40x16", bmp(40, 16, 24, rows=bytes(
        ([255, 255, 255] * 30 + [0x1E, 0x1E, 0x1E] * 10 + [0, 0]) * 16))
    yield "short-rows-24bit-9x9", bmp(9, 9, 24)[:-100]
    yield "long-rows-8bit-4x2", bmp(4, 2, 8) + bytes(32)
    yield "gap-before-rows-24bit-2x2", bmp(2, 2, 24, gap=b"\xee" * 10)
    yield "short-table-8bit-6x2", bmp(6, 2, 8, colors_used=3)
    yield "table-on-24bit-2x2", bmp(2, 2, 24, colors_used=2)
    yield "bfsize-zero-16bit-3x3", bmp(3, 3, 16, bf_size=0)
    yield "refused-rle8", bmp(4, 4, 8, compression=1)
    yield "refused-bitfields", bmp(4, 4, 16, compression=3)
    yield "refused-top-down", bmp(4, -4, 24)
    yield "refused-bfsize-past-end", bmp(2, 2, 24, bf_size=4096)
    yield "refused-two-planes", bmp(2, 2, 24, planes=2)
    yield "refused-huge", bmp(65535, 65535, 32, rows=b"\0" * 8)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(OUT, name + ".bmp"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
