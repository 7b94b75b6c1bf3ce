"""Writes lanying.ico: the window icon, two 48 x 48 images (256 colours and 32-bit).

Both entries are stored in the classic BMP form (BITMAPINFOHEADER with doubled
height, XOR image, 1-bit AND mask) because the 8-bit one must be and old shells
read nothing else. The 8-bit image gets its own median-cut palette; pixels that
are less than half covered become transparent through the AND mask, and the
anti-aliased rim is blended onto a light window grey so it does not fringe.

    python3 make_icon.py OUT.ico
"""

import os
import struct
import sys

import emblem

SIZE = 48
MATTE = (0xF0, 0xF0, 0xF0)


def median_cut(colours, limit):
    """Palette of at most limit colours for the (r, g, b) list, deterministic."""
    boxes = [sorted(set(colours))]
    while len(boxes) < limit:
        best, best_span, best_axis = -1, 0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for axis in range(3):
                vals = [c[axis] for c in box]
                span = max(vals) - min(vals)
                if span > best_span:
                    best, best_span, best_axis = i, span, axis
        if best < 0:
            break
        box = sorted(boxes.pop(best), key=lambda c: (c[best_axis], c))
        half = len(box) // 2
        boxes[best:best] = [box[:half], box[half:]]
    palette = []
    for box in boxes:
        n = len(box)
        palette.append(tuple((sum(c[i] for c in box) + n // 2) // n for i in range(3)))
    return palette


def nearest(palette, c):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))


def and_mask(rows):
    """Bottom-up 1-bit mask, set where the pixel is transparent; rows padded to 32 bits."""
    stride = (SIZE + 31) // 32 * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def bmp_header(bits, image_bytes, colours):
    return struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bits, 0,
                       image_bytes, 0, 0, colours, 0)


def entry_8bit(rows):
    flat = []
    for row in rows:
        for r, g, b, a in row:
            if a < 128:
                flat.append((0, 0, 0))
            else:
                t = a / 255.0
                flat.append(tuple(int(round(MATTE[i] + ((r, g, b)[i] - MATTE[i]) * t))
                                  for i in range(3)))
    opaque = [c for c, px in zip(flat, (p for row in rows for p in row)) if px[3] >= 128]
    palette = [(0, 0, 0)] + median_cut(opaque, 255)
    palette += [(0, 0, 0)] * (256 - len(palette))
    cache = {}
    indices = []
    for c, px in zip(flat, (p for row in rows for p in row)):
        if px[3] < 128:
            indices.append(0)
            continue
        if c not in cache:
            cache[c] = 1 + nearest(palette[1:], c)
        indices.append(cache[c])
    xor = bytearray()
    for y in reversed(range(SIZE)):
        xor += bytes(indices[y * SIZE:(y + 1) * SIZE])  # 48 bytes: already 32-bit aligned
    mask = and_mask(rows)
    quads = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return bmp_header(8, len(xor) + len(mask), 256) + quads + bytes(xor) + mask


def entry_32bit(rows):
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a) if a else (0, 0, 0, 0))
    mask = and_mask(rows)
    return bmp_header(32, len(xor) + len(mask), 0) + bytes(xor) + mask


def ico_bytes(rows):
    images = [(8, entry_8bit(rows)), (32, entry_32bit(rows))]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for bits, data in images:
        # Width/height 48; colour count 0 means 256 (or none) in the directory.
        out += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def check(ico):
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    assert (reserved, kind, count) == (0, 1, 2), "icon directory"
    depths = []
    for i in range(count):
        w, h, _, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        assert (w, h, planes) == (SIZE, SIZE, 1)
        hdr = struct.unpack_from("<IiiHH", ico, offset)
        assert hdr == (40, SIZE, 2 * SIZE, 1, bits), "entry header %d" % i
        assert offset + size <= len(ico)
        depths.append(bits)
    assert depths == [8, 32]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUT.ico\n")
        return 2
    ico = ico_bytes(emblem.render(SIZE))
    check(ico)
    tmp = argv[1] + ".tmp"
    with open(tmp, "wb") as f:
        f.write(ico)
    os.replace(tmp, argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
