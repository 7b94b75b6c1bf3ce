#!/usr/bin/env python3
"""Writes the seed corpus of converter_fuzz into fuzz/corpus/converter/: a few tiny files of every
format in the converter's decoder chain (BMP, JPEG, PNG, TIFF, PCX). BMP, PNG, TIFF and PCX are built
here byte by byte; the JPEG seeds come from ImageMagick's `convert` and are skipped when it is missing.

Usage: fuzz/make_converter_seeds.py [output folder]
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def picture(width, height):
    """Distinct, smooth-ish RGB pixels, rows top first."""
    return [[((x * 73 + y * 19) % 256, (x * 31 + y * 97) % 256, (x * 11 + y * 53) % 256)
             for x in range(width)] for y in range(height)]


def bmp24(rows, top_down=False, core=False):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) // 4 * 4
    data = b""
    for row in (rows if top_down else reversed(rows)):
        line = b"".join(bytes((b, g, r)) for r, g, b in row)
        data += line + b"\0" * (stride - len(line))
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, 24)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, 24, 0,
                           len(data), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + data


def bmp8(width, height):
    stride = (width + 3) // 4 * 4
    palette = b"".join(bytes((i, 255 - i, i // 2, 0)) for i in range(256))
    data = bytes((x + y) % 256 for y in range(height) for x in range(stride))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 0, 0, 256, 0)
    offset = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + palette + data


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(width, height, depth, colour, sample_rows, palette=None, interlace=False, gamma=None):
    """sample_rows: per row, a list of pixels, each a tuple of samples (already within `depth` bits)."""
    def pack(pixels):
        samples = [s for p in pixels for s in p]
        if depth == 16:
            return b"".join(struct.pack(">H", s) for s in samples)
        if depth == 8:
            return bytes(samples)
        out, acc, bits = bytearray(), 0, 0
        for s in samples:
            acc, bits = (acc << depth) | s, bits + depth
            if bits == 8:
                out.append(acc)
                acc, bits = 0, 0
        if bits:
            out.append(acc << (8 - bits))
        return bytes(out)

    raw = b""
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        for y in range(y0, height, dy):
            pixels = [sample_rows[y][x] for x in range(x0, width, dx)]
            if pixels:
                raw += b"\0" + pack(pixels)
    out = b"\x89PNG\r\n\x1a\n"
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 1 if interlace else 0))
    if gamma is not None:
        out += png_chunk(b"gAMA", struct.pack(">I", gamma))
    if palette:
        out += png_chunk(b"PLTE", b"".join(bytes(entry) for entry in palette))
    out += png_chunk(b"IDAT", zlib.compress(raw, 9))
    return out + png_chunk(b"IEND", b"")


def tiff(width, height, samples, data):
    """Little-endian, uncompressed, one strip."""
    entries = [
        (256, 3, 1, width), (257, 3, 1, height),
        (258, 3, 1, 8),  # bits per sample (same for every sample)
        (259, 3, 1, 1),  # no compression
        (262, 3, 1, 2 if samples == 3 else 1),
        (273, 4, 1, 0),  # strip offset, filled in below
        (277, 3, 1, samples), (278, 3, 1, height), (279, 4, 1, len(data)),
        (284, 3, 1, 1),
    ]
    ifd_offset = 8
    ifd_size = 2 + 12 * len(entries) + 4
    data_offset = ifd_offset + ifd_size
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_offset
        packed = struct.pack("<HI", value, 0)[:4] if kind == 3 else struct.pack("<I", value)
        ifd += struct.pack("<HHI", tag, kind, count) + packed
    ifd += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", ifd_offset) + ifd + data


def pcx(width, height, planes, line_of, palette=None):
    bytes_per_line = (width + 1) // 2 * 2
    header = bytearray(128)
    header[0:4] = bytes((0x0A, 5, 1, 8))
    header[4:12] = struct.pack("<HHHH", 0, 0, width - 1, height - 1)
    header[65] = planes
    header[66:68] = struct.pack("<H", bytes_per_line)
    header[68:70] = struct.pack("<H", 1)
    body = bytearray()
    for y in range(height):
        line = b"".join(line_of(y, plane).ljust(bytes_per_line, b"\0") for plane in range(planes))
        i = 0
        while i < len(line):  # run-length: runs of up to 63 equal bytes
            run = 1
            while i + run < len(line) and line[i + run] == line[i] and run < 63:
                run += 1
            if run > 1 or line[i] >= 0xC0:
                body += bytes((0xC0 | run, line[i]))
            else:
                body.append(line[i])
            i += run
    out = bytes(header) + bytes(body)
    if palette:
        out += b"\x0c" + b"".join(bytes(entry) for entry in palette)
    return out


def jpegs(folder, source_bmp):
    convert = shutil.which("convert")
    if convert is None:
        print("make_converter_seeds: ImageMagick's convert is missing; no JPEG seeds", file=sys.stderr)
        return {}
    made = {}
    variants = {
        "baseline.jpg": ["-quality", "75"],
        "grey.jpg": ["-colorspace", "Gray", "-quality", "60"],
        "progressive.jpg": ["-interlace", "JPEG", "-quality", "50"],
        "restart.jpg": ["-define", "jpeg:restart-interval=1", "-sampling-factor", "1x1", "-quality", "90"],
    }
    for name, options in variants.items():
        out = os.path.join(folder, name)
        subprocess.run([convert, source_bmp, "-strip", *options, out], check=True)
        with open(out, "rb") as f:
            made[name] = f.read()
    return made


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus", "converter")
    os.makedirs(out_dir, exist_ok=True)
    rows = picture(5, 3)
    seeds = {
        "bottom-up.bmp": bmp24(rows),
        "top-down.bmp": bmp24(rows, top_down=True),
        "core-header.bmp": bmp24(picture(3, 2), core=True),
        "eight-bit.bmp": bmp8(4, 2),
        "rgb.png": png(5, 3, 8, 2, rows),
        "rgb-adam7.png": png(9, 9, 8, 2, picture(9, 9), interlace=True),
        "palette-4bit.png": png(5, 3, 4, 3, [[((x + y) % 16,) for x in range(5)] for y in range(3)],
                                palette=[(i * 16, 255 - i * 16, i) for i in range(16)]),
        "grey16-gamma.png": png(4, 2, 16, 0, [[(x * 9000 + y,) for x in range(4)] for y in range(2)], gamma=100000),
        "grey-2bit.png": png(6, 2, 2, 0, [[((x + y) % 4,) for x in range(6)] for y in range(2)]),
        "rgba.png": png(3, 2, 8, 6, [[(*p, 128) for p in row] for row in picture(3, 2)]),
        "rgb.tif": tiff(5, 3, 3, bytes(v for row in rows for p in row for v in p)),
        "grey.tif": tiff(4, 2, 1, bytes(range(8))),
        "palette.pcx": pcx(5, 3, 1, lambda y, _: bytes((x * y) % 256 for x in range(5)),
                           palette=[(i, i // 2, 255 - i) for i in range(256)]),
        "rgb.pcx": pcx(5, 3, 3, lambda y, plane: bytes(rows[y][x][plane] for x in range(5))),
    }
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "source.bmp")
        with open(source, "wb") as f:
            f.write(bmp24(picture(16, 16)))
        seeds.update(jpegs(work, source))
    for name, data in sorted(seeds.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {out_dir}")


if __name__ == "__main__":
    main()
