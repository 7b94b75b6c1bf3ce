#include "imaging/raster_image.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint8_t GreyLevel(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return std::uint8_t((306 * red + 601 * green + 117 * blue) >> 10);
}

// 5-bit channel to 8 bits, the top bits repeated below so that 31 becomes 255.
std::uint8_t Expand5(unsigned value) { return std::uint8_t((value << 3) | (value >> 2)); }

}  // namespace

int RasterImage::BytesPerPixel(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 8:
        return 1;
    case 16:
        return 2;
    case 24:
        return 3;
    case 32:
        return 4;
    default:
        return 0;
    }
}

bool RasterImage::SizeAllowed(std::uint64_t width, std::uint64_t height, int bitsPerPixel,
                              std::uint64_t maxPixelBytes) {
    const int bytes = BytesPerPixel(bitsPerPixel);
    if (bytes == 0 || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
    // Both sides are at most 16 bits, so the product cannot overflow 64 bits.
    return width * height * std::uint64_t(bytes) <= std::min(maxPixelBytes, kMaxPixelBytes);
}

bool RasterImage::Create(std::uint32_t width, std::uint32_t height, int bitsPerPixel, std::uint64_t maxPixelBytes) {
    Release();
    if (!SizeAllowed(width, height, bitsPerPixel, maxPixelBytes)) return false;
    const std::size_t rowBytes = std::size_t(width) * std::size_t(BytesPerPixel(bitsPerPixel));
    if (!pixels_.Allocate(std::uint64_t(rowBytes) * height)) return false;
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    rowBytes_ = rowBytes;
    return true;
}

RasterImage& RasterImage::operator=(RasterImage&& other) noexcept {
    if (this != &other) {
        pixels_ = std::move(other.pixels_);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        bitsPerPixel_ = std::exchange(other.bitsPerPixel_, 0);
        rowBytes_ = std::exchange(other.rowBytes_, 0);
        paletteSize_ = std::exchange(other.paletteSize_, 0);
        palette_ = other.palette_;
        other.palette_.fill(PaletteEntry{});
    }
    return *this;
}

void RasterImage::Release() {
    pixels_.Release();
    width_ = height_ = 0;
    bitsPerPixel_ = 0;
    rowBytes_ = 0;
    paletteSize_ = 0;
    palette_.fill(PaletteEntry{});
}

void RasterImage::SetPalette(const PaletteEntry* entries, int count) {
    count = std::clamp(count, 0, 256);
    palette_.fill(PaletteEntry{});
    std::copy(entries, entries + count, palette_.begin());
    paletteSize_ = count;
}

void RasterImage::PixelToRgb(const std::uint8_t* row, std::uint32_t x, std::uint8_t* rgb) const {
    switch (bitsPerPixel_) {
    case 24:
        std::memcpy(rgb, row + 3 * std::size_t(x), 3);
        break;
    case 32:
        std::memcpy(rgb, row + 4 * std::size_t(x) + 1, 3);
        break;
    case 16: {
        const std::uint8_t* in = row + 2 * std::size_t(x);
        const unsigned word = unsigned(in[0]) | (unsigned(in[1]) << 8);
        rgb[0] = Expand5((word >> 10) & 31);
        rgb[1] = Expand5((word >> 5) & 31);
        rgb[2] = Expand5(word & 31);
        break;
    }
    case 8:
        if (paletteSize_ == 0) {
            rgb[0] = rgb[1] = rgb[2] = row[x];
        } else {
            // Out-of-range indices hit the zeroed tail of the table: black.
            const PaletteEntry& entry = palette_[row[x]];
            rgb[0] = entry.red;
            rgb[1] = entry.green;
            rgb[2] = entry.blue;
        }
        break;
    default:
        rgb[0] = rgb[1] = rgb[2] = 0;
        break;
    }
}

void RasterImage::RowToRgb(std::uint32_t y, std::uint8_t* out) const {
    const std::uint8_t* row = Row(y);
    if (bitsPerPixel_ == 24) {
        std::memcpy(out, row, rowBytes_);
        return;
    }
    for (std::uint32_t x = 0; x < width_; ++x) PixelToRgb(row, x, out + 3 * std::size_t(x));
}

void RasterImage::RowToGrey(std::uint32_t y, std::uint8_t* out) const {
    const std::uint8_t* row = Row(y);
    if (bitsPerPixel_ == 8 && paletteSize_ == 0) {
        std::memcpy(out, row, rowBytes_);
        return;
    }
    for (std::uint32_t x = 0; x < width_; ++x) {
        std::uint8_t rgb[3];
        PixelToRgb(row, x, rgb);
        out[x] = GreyLevel(rgb[0], rgb[1], rgb[2]);
    }
}
