// CDIB::ChangeBitDepth against the plain per-pixel conversion in bench/reference_depth.h: the row
// loops and the prepared palette lookup must give the very same file bytes, padding included.
#include "bench/reference_depth.h"
#include "tests/little_endian.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace {

using Picture = std::function<ColorRef(int x, int y)>;

// Source bitmaps are written as BMP files by hand, with random bytes wherever the format leaves
// room (row padding, the fourth byte of 32-bit pixels, bit 15 of 16-bit pixels, unused low bits of
// the last palette byte), so a conversion that reads them shows up as a difference.
CDIB MakeSource(int width, int height, int bits, const Picture& picture, std::mt19937& rng) {
    const std::size_t stride = std::size_t((bits * width + 31) / 32) * 4;
    const std::size_t colours = bits <= 8 ? std::size_t(1) << bits : 0;
    ByteArray f(54 + colours * 4 + stride * height);
    for (auto& b : f) b = std::uint8_t(rng());
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, std::uint32_t(f.size()));
    Put32(f, 10, std::uint32_t(54 + colours * 4));
    Put32(f, 14, 40);
    Put32(f, 18, std::uint32_t(width));
    Put32(f, 22, std::uint32_t(height));
    Put16(f, 26, 1);
    Put16(f, 28, std::uint32_t(bits));
    Put32(f, 30, 0);
    Put32(f, 46, 0);
    // Palette sources keep their random colour table; their pixels are random indices.
    for (int y = 0; y < height && bits > 8; ++y) {
        std::uint8_t* row = &f[54 + std::size_t(height - 1 - y) * stride];
        for (int x = 0; x < width; ++x) {
            const ColorRef c = picture(x, y);
            if (bits == 16) {
                const std::uint32_t word = ((RedOf(c) >> 3) << 10) | ((GreenOf(c) >> 3) << 5) | (BlueOf(c) >> 3);
                row[2 * x] = std::uint8_t(word);
                row[2 * x + 1] = std::uint8_t((word >> 8) | (rng() & 0x80));
            } else {
                std::uint8_t* p = row + std::size_t(x) * (bits / 8);
                p[0] = BlueOf(c);
                p[1] = GreenOf(c);
                p[2] = RedOf(c);
            }
        }
    }
    CDIB dib;
    EXPECT_TRUE(dib.LoadBmpData(f)) << dib.LastError();
    return dib;
}

ColorRef Random(std::mt19937& rng) { return rng() & 0xFFFFFF; }

// Something like a desktop: a title bar, window chrome greys, lines of anti-aliased dark text on
// white, a photo-like band, and the colours exactly halfway between palette levels.
ColorRef ScreenLike(int x, int y, int width, int height) {
    if (y < height / 8) return MakeColorRef(0, 120, 215);
    if (x == 0 || x == width - 1) return MakeColorRef(0xA0, 0xA0, 0xA0);
    if (y > height * 3 / 4) {
        const int t = (x * 37 + y * 11) % 256;
        return MakeColorRef(std::uint8_t(t), std::uint8_t(255 - t), std::uint8_t((x * y) % 256));
    }
    if (y % 9 < 6 && (x / 3) % 5 != 4) {
        static const std::uint8_t ink[] = {0x1E, 0x55, 0x80, 0xAA, 0xD4, 0xF0};
        const std::uint8_t g = ink[(x * 7 + y * 3) % 6];
        return MakeColorRef(g, g, std::uint8_t(g + (g < 0xF0 ? 12 : 0)));
    }
    if (y % 9 == 7) {
        static const std::uint8_t edge[] = {16, 48, 80, 96, 112, 144, 160, 176, 208, 224, 240, 32, 64};
        return MakeColorRef(edge[x % 13], edge[(x / 13) % 13], edge[(x + y) % 13]);
    }
    return MakeColorRef(255, 255, 255);
}

struct Image {
    std::string name;
    int width, height;
    Picture picture;
};

std::vector<Image> Images(std::mt19937& rng) {
    std::vector<Image> images;
    // Every width that leaves a different amount of row padding at every depth.
    for (int width = 1; width <= 7; ++width)
        for (int height = 1; height <= 3; ++height)
            images.push_back({"random", width, height, [&rng](int, int) { return Random(rng); }});
    // Rows long enough for the vector loops, with every remainder they leave to the portable one.
    for (int width = 11; width <= 27; ++width)
        images.push_back({"random", width, 2, [&rng](int, int) { return Random(rng); }});
    images.push_back({"random", 61, 37, [&rng](int, int) { return Random(rng); }});
    images.push_back({"gradient", 256, 48, [](int x, int y) {
                          return MakeColorRef(std::uint8_t(x), std::uint8_t(y * 255 / 47), std::uint8_t(255 - x));
                      }});
    images.push_back({"grey ramp", 256, 3, [](int x, int) { return MakeColorRef(x, x, x); }});
    images.push_back({"screen-like", 203, 121, [](int x, int y) { return ScreenLike(x, y, 203, 121); }});
    return images;
}

std::string FirstDifference(const ByteArray& a, const ByteArray& b) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return "byte " + std::to_string(i) + ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    return "none";
}

// Run once with the vector loops (where the processor has AVX2) and once with the portable ones.
class CdibReference : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { EnableVectorConversion(GetParam()); }
    void TearDown() override { EnableVectorConversion(true); }
};

TEST_P(CdibReference, FastConversionMatchesPlainLoop) {
    std::mt19937 rng(20240611);
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (const Image& image : Images(rng)) {
        for (int from : depths) {
            const CDIB source = MakeSource(image.width, image.height, from, image.picture, rng);
            ASSERT_FALSE(source.IsEmpty());
            for (int to : depths) {
                if (to == from) continue;
                const ByteArray fast = source.ChangeBitDepth(std::int16_t(to)).GetBmpData();
                const ByteArray plain = ReferenceChangeBitDepth(source, to).GetBmpData();
                ASSERT_FALSE(fast.empty());
                ASSERT_EQ(fast, plain) << image.name << " " << image.width << "x" << image.height << " " << from
                                       << " -> " << to << ", first difference " << FirstDifference(fast, plain);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Loops, CdibReference, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Vector" : "Portable");
                         });

}  // namespace
