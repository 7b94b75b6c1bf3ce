#include "capture/capture_geometry.h"

#include <algorithm>
#include <limits>

std::optional<PixelRect> ClampToDisplay(const PixelRect& area, std::int32_t displayWidth,
                                        std::int32_t displayHeight) {
    if (area.right <= area.left || area.bottom <= area.top) return std::nullopt;
    // 64-bit throughout: the corners may be anywhere in the 32-bit range.
    const std::int64_t left = std::max<std::int64_t>(area.left, 0);
    const std::int64_t top = std::max<std::int64_t>(area.top, 0);
    const std::int64_t right = std::min<std::int64_t>(area.right, displayWidth);
    const std::int64_t bottom = std::min<std::int64_t>(area.bottom, displayHeight);
    if (right - left <= 0 || bottom - top <= 0) return std::nullopt;
    return PixelRect{std::int32_t(left), std::int32_t(top), std::int32_t(right), std::int32_t(bottom)};
}

std::optional<PixelRect> DragRectangle(PixelPoint start, PixelPoint end) {
    const PixelRect r{std::min(start.x, end.x), std::min(start.y, end.y), std::max(start.x, end.x),
                      std::max(start.y, end.y)};
    if (r.right <= r.left || r.bottom <= r.top) return std::nullopt;
    return r;
}

FreehandAdvance AdvanceFreehand(std::span<const PixelPoint> linePoints, PixelPoint last) {
    FreehandAdvance result{{}, last};
    // The first reported point is the line's start, the last vertex itself.
    const std::span<const PixelPoint> steps = linePoints.empty() ? linePoints : linePoints.subspan(1);
    for (std::size_t k = kFreehandVertexSpacing; k <= steps.size(); k += kFreehandVertexSpacing)
        result.vertices.push_back(steps[k - 1]);
    if (!result.vertices.empty()) result.last = result.vertices.back();
    return result;
}

std::uint64_t DibRowBytes(std::int64_t width, int bitsPerPixel) {
    if (width < 1 || bitsPerPixel < 1) return 0;
    const std::uint64_t bits = std::uint64_t(width) * std::uint64_t(bitsPerPixel);
    return (bits + 31) / 32 * 4;
}

std::uint32_t DibColorTableEntries(int bitsPerPixel, std::uint32_t colorsUsed) {
    if (bitsPerPixel < 1 || bitsPerPixel > 8) return 0;
    const std::uint32_t maximum = 1u << bitsPerPixel;
    return colorsUsed == 0 ? maximum : std::min(colorsUsed, maximum);
}

namespace {

void PutLe16(ByteArray& out, std::size_t at, std::uint16_t value) {
    out[at] = std::uint8_t(value);
    out[at + 1] = std::uint8_t(value >> 8);
}

void PutLe32(ByteArray& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = std::uint8_t(value >> (8 * i));
}

}  // namespace

ByteArray BuildBmpFileImage(std::span<const std::uint8_t> infoHeader, std::span<const std::uint8_t> colorTable,
                            std::span<const std::uint8_t> pixels) {
    constexpr std::uint64_t kFileHeaderBytes = 14;
    const std::uint64_t offBits = kFileHeaderBytes + infoHeader.size() + colorTable.size();
    const std::uint64_t total = offBits + pixels.size();
    if (total > std::numeric_limits<std::uint32_t>::max()) return {};
    ByteArray out(std::size_t(total), 0);
    out[0] = 'B';
    out[1] = 'M';
    PutLe32(out, 2, std::uint32_t(total));
    PutLe16(out, 6, 0);
    PutLe16(out, 8, 0);
    PutLe32(out, 10, std::uint32_t(offBits));
    std::copy(infoHeader.begin(), infoHeader.end(), out.begin() + kFileHeaderBytes);
    std::copy(colorTable.begin(), colorTable.end(), out.begin() + std::ptrdiff_t(kFileHeaderBytes + infoHeader.size()));
    std::copy(pixels.begin(), pixels.end(), out.begin() + std::ptrdiff_t(offBits));
    return out;
}
