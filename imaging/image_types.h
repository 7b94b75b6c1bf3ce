#pragma once
// Plain types shared by the imaging and output code; nothing here depends on Windows.
#include <cstdint>
#include <vector>

// A whole file image (BMP, GIF, ...) held in memory.
using ByteArray = std::vector<std::uint8_t>;

// A Windows COLORREF: 0x00BBGGRR.
using ColorRef = std::uint32_t;

constexpr ColorRef MakeColorRef(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return ColorRef(red) | (ColorRef(green) << 8) | (ColorRef(blue) << 16);
}
constexpr std::uint8_t RedOf(ColorRef c) { return std::uint8_t(c); }
constexpr std::uint8_t GreenOf(ColorRef c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t BlueOf(ColorRef c) { return std::uint8_t(c >> 16); }

// Rectangle in pixels, right and bottom exclusive (the layout of a Win32 RECT).
struct PixelRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
