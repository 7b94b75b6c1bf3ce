#pragma once
// The arithmetic of the snapshot and the selections, kept apart from Windows so it is tested natively:
// clamping an area to the primary display, the rectangle a drag spans, the freehand pen's vertex rule, and
// the assembly of a BMP file image from its headers and rows.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/image_types.h"

struct PixelPoint {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// The part of `area` (right and bottom exclusive) that a grab of a display of displayWidth × displayHeight
// pixels from the origin can deliver: left and top are raised to 0, right and bottom cut at the display's
// edge. Nothing when the area itself is empty or when nothing of it lies on the display.
std::optional<PixelRect> ClampToDisplay(const PixelRect& area, std::int32_t displayWidth,
                                        std::int32_t displayHeight);

// The rectangle between two corners of a drag, in any order; nothing when it has no width or no height.
std::optional<PixelRect> DragRectangle(PixelPoint start, PixelPoint end);

// Every fourth point of the pen's path becomes a vertex, so the outline stays short while the trail of dots
// is dense enough to read as a line.
constexpr int kFreehandVertexSpacing = 4;
// A dot for the point (x, y) is drawn with its top-left corner at (x - 10, y - 10).
constexpr int kPenDotOffset = 10;

struct FreehandAdvance {
    std::vector<PixelPoint> vertices;  // new vertices of the outline, in drawing order
    PixelPoint last;                   // where the next movement's line starts
};

// One movement of the pen. `linePoints` are the points a DDA line walk reports from the last vertex towards
// the pointer (the first of them is the last vertex itself, the pointer's own position is not among them).
// Of the points after the first, the 4th, 8th, 12th ... become vertices and the last of those becomes the
// new start; fewer than four steps add nothing and keep `last`, so no step is ever lost.
FreehandAdvance AdvanceFreehand(std::span<const PixelPoint> linePoints, PixelPoint last);

// Bytes in one row of a DIB: rows are padded to whole 32-bit words. 0 for a width or depth below 1.
std::uint64_t DibRowBytes(std::int64_t width, int bitsPerPixel);

// Number of colour-table entries a DIB of this depth carries: biClrUsed when set (at most the depth's
// maximum), else 2, 16 or 256 for 1, 4 and 8 bits; 0 above 8 bits.
std::uint32_t DibColorTableEntries(int bitsPerPixel, std::uint32_t colorsUsed);

// A whole BMP file image: the 14-byte file header ("BM", the total size, two zero reserved words, the offset
// of the first pixel byte) followed by the info header, the colour table and the rows, copied as given.
// Empty when the total would not fit the file header's 32-bit size field.
ByteArray BuildBmpFileImage(std::span<const std::uint8_t> infoHeader, std::span<const std::uint8_t> colorTable,
                            std::span<const std::uint8_t> pixels);
