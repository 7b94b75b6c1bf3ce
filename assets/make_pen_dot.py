"""Writes pen_dot.png: the soft round dot that traces the freehand outline.

16 x 16 RGBA, 8 bits per channel, not interlaced. Only the alpha channel
matters: the program recolours every pixel with the pen colour before drawing,
so the colour here is plain white. The image is exactly 560 bytes (a tEXt
chunk takes up the slack) because the program embeds it with that length.

    python3 make_pen_dot.py OUT.png
"""

import os
import struct
import sys
import zlib

SIZE = 16
TOTAL_BYTES = 560

# Gaussian-like dot, peak 252 at column 8, row 8.
ALPHA = [
    [0, 0, 0, 0, 0, 1, 4, 5, 5, 5, 3, 0, 0, 0, 0, 0],
    [0, 0, 0, 1, 4, 8, 11, 13, 14, 13, 10, 7, 3, 0, 0, 0],
    [0, 0, 1, 6, 12, 20, 27, 32, 34, 31, 25, 17, 11, 5, 0, 0],
    [0, 0, 6, 14, 25, 40, 54, 65, 68, 63, 51, 36, 22, 12, 5, 0],
    [0, 4, 12, 25, 45, 70, 94, 110, 115, 107, 89, 65, 40, 22, 10, 3],
    [1, 8, 20, 40, 70, 106, 138, 160, 167, 157, 132, 98, 63, 34, 16, 6],
    [4, 11, 27, 54, 94, 138, 177, 203, 210, 200, 171, 129, 84, 47, 23, 10],
    [5, 13, 32, 65, 110, 160, 203, 230, 239, 227, 197, 151, 100, 57, 27, 11],
    [6, 14, 34, 68, 115, 167, 210, 239, 252, 238, 205, 158, 105, 60, 28, 12],
    [5, 13, 31, 63, 107, 157, 200, 228, 238, 225, 194, 148, 97, 55, 27, 11],
    [3, 10, 25, 51, 89, 132, 171, 197, 205, 194, 165, 124, 80, 45, 21, 9],
    [0, 7, 17, 36, 65, 98, 129, 151, 158, 148, 124, 91, 58, 32, 14, 5],
    [0, 3, 11, 22, 40, 63, 84, 100, 105, 98, 80, 58, 36, 19, 8, 2],
    [0, 0, 5, 12, 22, 35, 47, 57, 60, 55, 45, 31, 19, 10, 3, 0],
    [0, 0, 0, 5, 10, 16, 23, 27, 29, 27, 21, 14, 8, 3, 0, 0],
    [0, 0, 0, 0, 2, 6, 9, 11, 11, 10, 8, 5, 2, 0, 0, 0],
]


def chunk(tag, data):
    body = tag + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes():
    raw = bytearray()
    for row in ALPHA:
        raw.append(0)  # filter: none
        for a in row:
            raw += bytes((255, 255, 255, a))
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    idat = chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    iend = chunk(b"IEND", b"")
    head = b"\x89PNG\r\n\x1a\n" + ihdr
    keyword = b"Comment\0"
    base = b"lanying pen dot: the alpha channel is the shape; the pen colour replaces the colour"
    slack = TOTAL_BYTES - len(head) - len(idat) - len(iend) - 12 - len(keyword) - len(base)
    if slack < 0:
        raise SystemExit("pen dot does not fit in %d bytes" % TOTAL_BYTES)
    text = chunk(b"tEXt", keyword + base + b" " * slack)
    return head + text + idat + iend


def read_alpha(png):
    """Decodes the image again (filter type 0 only, as written) and returns its alpha rows."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, ihdr = 8, b"", None
    while pos < len(png):
        size = struct.unpack_from(">I", png, pos)[0]
        tag, data = png[pos + 4:pos + 8], png[pos + 8:pos + 8 + size]
        crc = struct.unpack_from(">I", png, pos + 8 + size)[0]
        assert crc == zlib.crc32(tag + data) & 0xFFFFFFFF, tag
        if tag == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", data)
        elif tag == b"IDAT":
            idat += data
        pos += 12 + size
    assert ihdr == (SIZE, SIZE, 8, 6, 0, 0, 0), ihdr
    raw = zlib.decompress(idat)
    stride = 1 + 4 * SIZE
    assert len(raw) == SIZE * stride
    rows = []
    for y in range(SIZE):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0
        rows.append([line[1 + 4 * x + 3] for x in range(SIZE)])
    return rows


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_pen_dot.py OUT.png\n")
        return 2
    png = png_bytes()
    assert len(png) == TOTAL_BYTES, len(png)
    assert read_alpha(png) == ALPHA
    tmp = argv[1] + ".tmp"
    with open(tmp, "wb") as f:
        f.write(png)
    os.replace(tmp, argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
