#!/usr/bin/env python3
"""Writes the seed inputs of fuzz/gif_fuzz.cpp into fuzz/corpus/gif/.

Each seed starts with the byte that picks the fuzzer's entry point: 0 a BMP file for EncodeImage,
1 width, height and bytes for IsCompleteGif, 2 width, height and pixels for the writer alone.
Run it again after changing the seeds; the output is the same every time.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "gif")


def bmp(width, height, bits, rows, palette=(), core=False):
    """A bottom-up BMP file; rows are top-down lists of packed row bytes (without padding)."""
    stride = (bits * width + 31) // 32 * 4
    pixels = b"".join(bytes(row).ljust(stride, b"\0") for row in reversed(rows))
    if core:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(bytes((b, g, r)) for r, g, b in palette)
    else:
        header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835,
                             len(palette), 0)
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + table + pixels


def bgr_rows(width, height, colour):
    return [[c for x in range(width) for c in reversed(colour(x, y))] for y in range(height)]


def gif_1x1():
    """A 1x1 GIF89a: 2-entry global table, one image whose LZW data is clear, index 0, end."""
    return (b"GIF89a" + struct.pack("<HH", 1, 1) + bytes((0x80, 0, 0)) + bytes((0, 0, 0, 255, 255, 255)) +
            b"\x21\xf9\x04\x00\x00\x00\x00\x00" +
            b"\x2c" + struct.pack("<HHHH", 0, 0, 1, 1) + b"\x00" + b"\x02\x02\x44\x01\x00" + b"\x3b")


def seeds():
    yield "bmp24-1x1", 0, bmp(1, 1, 24, bgr_rows(1, 1, lambda x, y: (200, 10, 30)))
    yield "bmp24-5x3", 0, bmp(5, 3, 24, bgr_rows(5, 3, lambda x, y: (x * 50, y * 80, 128)))
    # More than 256 colours, so the palette has to be chosen.
    yield "bmp24-20x20-gradient", 0, bmp(20, 20, 24, bgr_rows(20, 20, lambda x, y: (x * 13, y * 13, (x * y) % 256)))
    yield "bmp32-3x2", 0, bmp(3, 2, 32, [[c for x in range(3) for c in (x * 80, y * 100, 7, 0)] for y in range(2)])
    yield "bmp16-3x3", 0, bmp(3, 3, 16, [list(struct.pack("<HHH", 0x7C00, 0x03E0, 0x001F)) for _ in range(3)])
    yield "bmp8-4x4", 0, bmp(4, 4, 8, [[(x + y) % 3 for x in range(4)] for y in range(4)],
                             palette=[(255, 0, 0), (0, 255, 0), (0, 0, 255)])
    yield "bmp4-5x2", 0, bmp(5, 2, 4, [[0x12, 0x34, 0x50], [0xF0, 0x0F, 0x10]],
                             palette=[(i * 16, 255 - i * 16, i * 8) for i in range(16)])
    yield "bmp1-9x2", 0, bmp(9, 2, 1, [[0xAA, 0x80], [0x55, 0x00]], palette=[(0, 0, 0), (255, 255, 255)])
    yield "bmp24-core-2x2", 0, bmp(2, 2, 24, bgr_rows(2, 2, lambda x, y: (x * 255, y * 255, 0)), core=True)
    yield "not-an-image", 0, b"this is not a picture at all"
    gif = gif_1x1()
    yield "gif-1x1", 1, struct.pack("<HH", 1, 1) + gif
    yield "gif-1x1-truncated", 1, struct.pack("<HH", 1, 1) + gif[:-3]
    # What Wine 8's GDI+ GIF encoder writes for a 3x2 picture: an image descriptor but no image data.
    yield "gif-wine-header-only", 1, struct.pack("<HH", 3, 2) + bytes.fromhex(
        "474946383961030002007700002c000000000300020000" "3b")
    yield "writer-7x5", 2, bytes((6, 4)) + bytes(range(0, 256, 3))
    yield "writer-64x64", 2, bytes((63, 63)) + bytes((i * 37) % 256 for i in range(600))


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, mode, data in seeds():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(bytes((mode,)) + data)


if __name__ == "__main__":
    main()
