// Nearest palette colour against GDI itself: for the three fixed tables, GetNearestPaletteIndex on a
// logical palette must give the same index as NearestPaletteIndex, the prepared lookup and a whole
// ChangeBitDepth conversion (vector and portable loops), for every table entry, a regular grid over
// the colour cube and random colours. Also CDIB::CreateBitmap, the bitmap's way into GDI.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <type_traits>
#include <vector>

#include "imaging/cdib.h"

namespace {

struct GdiObjectDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using UniquePalette = std::unique_ptr<std::remove_pointer_t<HPALETTE>, GdiObjectDeleter>;

// GetDC(nullptr) / ReleaseDC pair.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

UniquePalette MakeLogicalPalette(std::span<const Rgb> table) {
    std::vector<std::uint8_t> storage(sizeof(LOGPALETTE) + table.size() * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = WORD(table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
        palette->palPalEntry[i] = PALETTEENTRY{table[i].red, table[i].green, table[i].blue, 0};
    return UniquePalette(CreatePalette(palette));
}

// Every entry, a grid with steps of 5 (0, 5, ..., 255: 140,608 colours), and 50,000 random ones.
std::vector<ColorRef> Colours(std::span<const Rgb> table) {
    std::vector<ColorRef> colours;
    for (const Rgb& e : table) colours.push_back(MakeColorRef(e.red, e.green, e.blue));
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5) colours.push_back(MakeColorRef(r, g, b));
    std::mt19937 rng(936);
    for (int i = 0; i < 50000; ++i) colours.push_back(rng() & 0xFFFFFF);
    return colours;
}

int IndexAt(const CDIB& dib, int x, int y) {
    const std::uint8_t* row = dib.Row(y);
    switch (dib.BitCount()) {
    case 8: return row[x];
    case 4: return (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
    default: return (row[x / 8] >> (7 - x % 8)) & 1;
    }
}

class PaletteAgainstGdi : public testing::TestWithParam<int> {};

TEST_P(PaletteAgainstGdi, SameIndexAsGetNearestPaletteIndex) {
    const int bits = GetParam();
    const std::span<const Rgb> table = FixedPalette(bits);
    const UniquePalette palette = MakeLogicalPalette(table);
    ASSERT_TRUE(palette);
    const std::vector<ColorRef> colours = Colours(table);
    ASSERT_GE(colours.size(), 100000u);

    // The same colours as one 24-bit picture, converted the way the program does it.
    constexpr int kWidth = 509;  // odd, so rows end in partial groups and padding
    const int height = int((colours.size() + kWidth - 1) / kWidth);
    CDIB picture;
    picture.Create(kWidth, height, 24);
    for (std::size_t i = 0; i < colours.size(); ++i) picture.SetPixel(int(i % kWidth), int(i / kWidth), colours[i]);
    const CDIB converted = picture.ChangeBitDepth(std::int16_t(bits));
    ASSERT_FALSE(converted.IsEmpty());
    EnableVectorConversion(false);
    const CDIB portable = picture.ChangeBitDepth(std::int16_t(bits));
    EnableVectorConversion(true);
    EXPECT_EQ(portable.GetBmpData(), converted.GetBmpData());

    int mismatches = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const ColorRef c = colours[i];
        const int gdi = int(GetNearestPaletteIndex(palette.get(), c));
        const int plain = NearestPaletteIndex(table.data(), int(table.size()), c);
        const int prepared = NearestFixedPaletteIndex(bits, c);
        const int inPicture = IndexAt(converted, int(i % kWidth), int(i / kWidth));
        if ((gdi != plain || gdi != prepared || gdi != inPicture) && ++mismatches <= 10)
            ADD_FAILURE() << "bits " << bits << " colour " << std::hex << c << std::dec << ": GDI " << gdi
                          << ", search " << plain << ", table " << prepared << ", conversion " << inPicture;
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(FixedTables, PaletteAgainstGdi, testing::Values(1, 4, 8),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "bit";
                         });

TEST(CdibCreateBitmap, GdiReadsBackTheSamePixels) {
    const ColorRef colours[] = {MakeColorRef(255, 0, 0),   MakeColorRef(0, 255, 0),  MakeColorRef(0, 0, 255),
                                MakeColorRef(18, 52, 86),  MakeColorRef(255, 255, 255), MakeColorRef(0, 0, 0),
                                MakeColorRef(200, 100, 50), MakeColorRef(1, 2, 3),    MakeColorRef(128, 128, 128)};
    CDIB dib;
    dib.Create(3, 3, 24);
    for (int i = 0; i < 9; ++i) dib.SetPixel(i % 3, i / 3, colours[i]);

    ScreenDc screen;
    ASSERT_TRUE(screen.get());
    const CDIB::BitmapHandle bitmap = dib.CreateBitmap(screen.get());
    ASSERT_TRUE(bitmap) << dib.LastError();

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 3;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> rows(12 * 3);
    ASSERT_EQ(GetDIBits(screen.get(), bitmap.get(), 0, 3, rows.data(), &info, DIB_RGB_COLORS), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t* p = &rows[std::size_t(2 - y) * 12 + std::size_t(x) * 3];
            EXPECT_EQ(MakeColorRef(p[2], p[1], p[0]), colours[y * 3 + x]) << x << "," << y;
        }

    CDIB empty;
    EXPECT_FALSE(empty.CreateBitmap(screen.get()));
    EXPECT_EQ(empty.LastError(), "位图尚未创建，没有可用数据");
}

}  // namespace
