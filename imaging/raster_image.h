#pragma once
// RasterImage: a decoded picture on its way from a source file to an encoder.
//
// Rows are stored top row first and packed without padding, RowBytes() = width x bytes per pixel:
//   24 bits  red, green, blue
//   32 bits  alpha, red, green, blue
//   16 bits  one little-endian word, 5 bits each of red, green, blue from high to low (bit 15 unused)
//    8 bits  a palette index, or a grey level when the palette is empty
// The pixels live in ScratchStorage and are not cleared: whoever creates an image writes every pixel
// (each decoder does) before anything reads it. The image owns them and gives them back on Release() or
// destruction. Move-only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "imaging/scratch_storage.h"

struct PaletteEntry {
    std::uint8_t red = 0, green = 0, blue = 0;
};

class RasterImage {
public:
    // Limits checked before any pixel storage is requested: sizes in headers are untrusted.
    static constexpr std::uint32_t kMaxSide = 65535;
    static constexpr std::uint64_t kMaxPixelBytes = std::uint64_t(1) << 30;

    // Bytes per pixel of a supported depth (8, 16, 24, 32), 0 for any other.
    static int BytesPerPixel(int bitsPerPixel);
    // True when width x height at this depth is a picture Create() would accept under maxPixelBytes.
    static bool SizeAllowed(std::uint64_t width, std::uint64_t height, int bitsPerPixel,
                            std::uint64_t maxPixelBytes = kMaxPixelBytes);

    RasterImage() = default;
    ~RasterImage() = default;
    RasterImage(RasterImage&& other) noexcept { *this = std::move(other); }
    RasterImage& operator=(RasterImage&& other) noexcept;
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;

    // Replaces the picture with one of the given size and depth, pixels not yet written, and an empty
    // palette. False (and an empty image) when the size is not allowed or the storage cannot be had.
    bool Create(std::uint32_t width, std::uint32_t height, int bitsPerPixel,
                std::uint64_t maxPixelBytes = kMaxPixelBytes);
    void Release();

    bool Empty() const { return pixels_.Empty(); }
    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    std::size_t RowBytes() const { return rowBytes_; }

    std::uint8_t* Row(std::uint32_t y) { return pixels_.Data() + std::size_t(y) * rowBytes_; }
    const std::uint8_t* Row(std::uint32_t y) const { return pixels_.Data() + std::size_t(y) * rowBytes_; }

    // 0 for direct colour (or grey at 8 bits); 1-256 for a paletted 8-bit picture. Indices at or past
    // the size read as black.
    int PaletteSize() const { return paletteSize_; }
    const std::array<PaletteEntry, 256>& Palette() const { return palette_; }
    void SetPalette(const PaletteEntry* entries, int count);

    // Row y as width x (red, green, blue): palette looked up, grey repeated, alpha dropped.
    void RowToRgb(std::uint32_t y, std::uint8_t* out) const;
    // Row y as width grey levels, (306 red + 601 green + 117 blue) >> 10; an 8-bit grey row is copied.
    void RowToGrey(std::uint32_t y, std::uint8_t* out) const;

    // The scratch storage, for checks on where the pixels live.
    const ScratchStorage& Storage() const { return pixels_; }

private:
    void PixelToRgb(const std::uint8_t* row, std::uint32_t x, std::uint8_t* rgb) const;

    ScratchStorage pixels_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    int bitsPerPixel_ = 0;
    std::size_t rowBytes_ = 0;
    int paletteSize_ = 0;
    std::array<PaletteEntry, 256> palette_{};
};
