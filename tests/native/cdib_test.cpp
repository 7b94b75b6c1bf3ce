// CDIB: loading, exporting, pixel access, fixed palettes and the failure texts.
#include "imaging/cdib.h"
#include "tests/little_endian.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {

std::uint32_t Get32(const ByteArray& a, std::size_t at) {
    return a[at] | (a[at + 1] << 8) | (a[at + 2] << 16) | (std::uint32_t(a[at + 3]) << 24);
}

std::size_t StrideOf(int width, int bits) { return std::size_t((bits * width + 31) / 32) * 4; }

// A BMP file image with a 40-byte header, built by hand so the tests do not depend on CDIB's writer.
struct BmpFields {
    BmpFields(int w, int h, int b, std::vector<Rgb> t = {}) : width(w), height(h), bits(b), table(std::move(t)) {}
    int width, height, bits;
    std::vector<Rgb> table;  // written as 4-byte entries
    std::uint32_t compression = 0, colorsUsed = 0;
    std::vector<std::uint8_t> rows;  // bottom-up, padded; empty = zero rows of the right size
};

BmpFields With(BmpFields s, std::uint32_t BmpFields::*field, std::uint32_t value) {
    s.*field = value;
    return s;
}

ByteArray MakeBmp(const BmpFields& s) {
    const std::size_t tableBytes = s.table.size() * 4;
    const std::size_t pixelBytes = s.rows.empty() ? StrideOf(s.width, s.bits) * s.height : s.rows.size();
    ByteArray f(54 + tableBytes + pixelBytes, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, std::uint32_t(f.size()));
    Put32(f, 10, std::uint32_t(54 + tableBytes));
    Put32(f, 14, 40);
    Put32(f, 18, std::uint32_t(s.width));
    Put32(f, 22, std::uint32_t(s.height));
    Put16(f, 26, 1);
    Put16(f, 28, std::uint32_t(s.bits));
    Put32(f, 30, s.compression);
    Put32(f, 46, s.colorsUsed);
    for (std::size_t i = 0; i < s.table.size(); ++i) {
        f[54 + 4 * i] = s.table[i].blue;
        f[54 + 4 * i + 1] = s.table[i].green;
        f[54 + 4 * i + 2] = s.table[i].red;
    }
    if (!s.rows.empty()) std::memcpy(&f[54 + tableBytes], s.rows.data(), s.rows.size());
    return f;
}

std::vector<Rgb> GreyTable(int count) {
    std::vector<Rgb> t(count);
    for (int i = 0; i < count; ++i) t[i] = Rgb{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
    return t;
}

// A 24-bit bitmap whose pixels are the given colours, left to right, top to bottom.
CDIB Make24(int width, int height, const std::vector<ColorRef>& colours) {
    CDIB dib;
    dib.Create(width, height, 24);
    for (int i = 0; i < width * height; ++i) dib.SetPixel(i % width, i / width, colours[i]);
    return dib;
}

const std::string kUnsupported = "不被支持的位图数据或无法识别的文件格式";
const std::string kNoBitmap = "位图尚未创建，没有可用数据";

TEST(CdibPalette, FixedTablesHaveTheDocumentedEntries) {
    ASSERT_EQ(FixedPalette(1).size(), 2u);
    ASSERT_EQ(FixedPalette(4).size(), 16u);
    ASSERT_EQ(FixedPalette(8).size(), 256u);
    EXPECT_TRUE(FixedPalette(16).empty());
    EXPECT_EQ(FixedPalette(1)[1], (Rgb{255, 255, 255}));
    EXPECT_EQ(FixedPalette(4)[3], (Rgb{0x80, 0x80, 0}));
    EXPECT_EQ(FixedPalette(4)[8], (Rgb{0xC0, 0xC0, 0xC0}));
    const auto p8 = FixedPalette(8);
    // Entries 10..245 follow the 8 x 8 x 4 grid; the two ends are the system's static colours.
    EXPECT_EQ(p8[10], (Rgb{64, 32, 0}));
    EXPECT_EQ(p8[100], (Rgb{128, 128, 64}));
    EXPECT_EQ(p8[245], (Rgb{160, 192, 192}));
    EXPECT_EQ(p8[8], (Rgb{0xC0, 0xDC, 0xC0}));
    EXPECT_EQ(p8[9], (Rgb{0xA6, 0xCA, 0xF0}));
    EXPECT_EQ(p8[246], (Rgb{0xFF, 0xFB, 0xF0}));
    EXPECT_EQ(p8[247], (Rgb{0xA0, 0xA0, 0xA4}));
}

TEST(CdibPalette, NearestIndexFollowsGdiRule) {
    // Smallest squared distance; equal distances go to the lowest index.
    const Rgb table[] = {{10, 10, 10}, {30, 10, 10}, {20, 10, 10}, {20, 10, 10}, {0, 0, 0}};
    struct Case {
        ColorRef colour;
        int count;
        int expected;
    } cases[] = {
        {MakeColorRef(20, 10, 10), 5, 2},  // exact match, duplicate at 3 loses
        {MakeColorRef(15, 10, 10), 2, 0},  // tie between 0 and 1 -> 0
        {MakeColorRef(25, 10, 10), 2, 1},  // 30 nearer than 10
        {MakeColorRef(25, 10, 10), 5, 1},  // 1, 2 and 3 all at distance 25 -> 1
        {MakeColorRef(0, 0, 0), 5, 4},
        {MakeColorRef(0, 0, 0), 0, 0},  // empty table
        {0x01000000 | MakeColorRef(0, 0, 0), 5, 4},  // flag byte ignored
    };
    for (const Case& c : cases)
        EXPECT_EQ(NearestPaletteIndex(table, c.count, c.colour), c.expected) << std::hex << c.colour;
}

TEST(CdibPalette, PreparedLookupAgreesWithFullSearch) {
    // The prepared table must give exactly the full search's answer, ties included: every colour
    // whose channels sit on an edge of its cells (values 8c - 7 .. 8c, halves split after 8c - 4),
    // on a midpoint between palette levels or at a system colour's level, plus random ones.
    std::vector<int> levels;
    for (int v = 0; v < 256; ++v)
        if (v % 8 == 0 || v % 8 == 1 || v % 8 == 4 || v >= 244 || v % 32 == 16 || v == 0xA4 || v == 0xA6 ||
            v == 0xCA || v == 0xDC || v == 0xFB)
            levels.push_back(v);
    std::mt19937 rng(7);
    for (int bits : {1, 4, 8}) {
        const auto table = FixedPalette(bits);
        int mismatches = 0;
        auto check = [&](ColorRef c) {
            if (NearestFixedPaletteIndex(bits, c) != NearestPaletteIndex(table.data(), int(table.size()), c) &&
                ++mismatches < 10)
                ADD_FAILURE() << "bits " << bits << " colour " << std::hex << c;
        };
        for (int r : levels)
            for (int g : levels)
                for (int b : levels) check(MakeColorRef(r, g, b));
        for (int i = 0; i < 200000; ++i) check(rng() & 0xFFFFFF);
        EXPECT_EQ(mismatches, 0) << "bits " << bits;
    }
}

TEST(CdibConvert, KnownNearestIndices) {
    const std::vector<ColorRef> colours = {
        MakeColorRef(255, 0, 0), MakeColorRef(0, 255, 0), MakeColorRef(0, 0, 255), MakeColorRef(255, 255, 255),
        MakeColorRef(0, 0, 0),   MakeColorRef(127, 127, 127), MakeColorRef(128, 128, 128)};
    const CDIB source = Make24(int(colours.size()), 1, colours);
    struct Case {
        int bits;
        std::vector<int> indices;
    } cases[] = {
        // 808080 is both grid entry 164 and system entry 248: the lower index wins.
        {8, {249, 250, 252, 255, 0, 164, 164}},
        {4, {9, 10, 12, 15, 0, 7, 7}},
        // A pure primary is nearer black; 127-grey is nearer black, 128-grey nearer white.
        {1, {0, 0, 0, 1, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        const CDIB out = source.ChangeBitDepth(std::int16_t(c.bits));
        ASSERT_FALSE(out.IsEmpty()) << c.bits;
        const std::uint8_t* row = out.Row(0);
        for (std::size_t x = 0; x < colours.size(); ++x) {
            int index;
            if (c.bits == 8)
                index = row[x];
            else if (c.bits == 4)
                index = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
            else
                index = (row[x / 8] >> (7 - x % 8)) & 1;
            EXPECT_EQ(index, c.indices[x]) << "bits " << c.bits << " x " << x;
            const Rgb e = FixedPalette(c.bits)[index];
            EXPECT_EQ(out.GetPixel(int(x), 0), MakeColorRef(e.red, e.green, e.blue));
        }
    }
}

TEST(CdibConvert, SixteenBitPacksFiveBitsPerChannel) {
    struct Case {
        ColorRef in;
        std::uint16_t word;
        ColorRef back;
    } cases[] = {
        {MakeColorRef(255, 128, 7), 0x7E00, MakeColorRef(248, 128, 0)},
        {MakeColorRef(255, 255, 255), 0x7FFF, MakeColorRef(248, 248, 248)},
        {MakeColorRef(0, 0, 0), 0x0000, MakeColorRef(0, 0, 0)},
        {MakeColorRef(8, 16, 24), 0x0443, MakeColorRef(8, 16, 24)},
        {MakeColorRef(0, 0, 255), 0x001F, MakeColorRef(0, 0, 248)},
    };
    for (const Case& c : cases) {
        const CDIB out = Make24(1, 1, {c.in}).ChangeBitDepth(16);
        ASSERT_EQ(out.BitCount(), 16);
        EXPECT_EQ(out.Row(0)[0] | (out.Row(0)[1] << 8), c.word) << std::hex << c.in;
        EXPECT_EQ(out.GetPixel(0, 0), c.back) << std::hex << c.in;
        EXPECT_EQ(out.Row(0)[2] | out.Row(0)[3], 0) << "padding";
    }
    // Bit 15 is not part of the colour.
    BmpFields s(1, 1, 16);
    s.rows = {0x00, 0xFE, 0, 0};
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(MakeBmp(s)));
    EXPECT_EQ(dib.GetPixel(0, 0), MakeColorRef(248, 128, 0));
}

TEST(CdibExport, SizesAndOffsetsPerDepth) {
    struct Case {
        int bits;
        std::size_t size, offBits, stride;
    } cases[] = {
        {1, 70, 62, 4}, {4, 126, 118, 4}, {8, 1086, 1078, 4}, {16, 70, 54, 8}, {24, 78, 54, 12}, {32, 78, 54, 12},
    };
    const CDIB source = Make24(3, 2, std::vector<ColorRef>(6, MakeColorRef(1, 2, 3)));
    for (const Case& c : cases) {
        const CDIB out = source.ChangeBitDepth(std::int16_t(c.bits));
        EXPECT_EQ(out.Stride(), c.stride) << c.bits;
        const ByteArray bmp = out.GetBmpData();
        ASSERT_EQ(bmp.size(), c.size) << c.bits;
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(Get32(bmp, 2), c.size);
        EXPECT_EQ(Get32(bmp, 6), 0u);
        EXPECT_EQ(Get32(bmp, 10), c.offBits);
        EXPECT_EQ(Get32(bmp, 14), 40u);
        EXPECT_EQ(Get32(bmp, 18), 3u);
        EXPECT_EQ(Get32(bmp, 22), 2u);
        EXPECT_EQ(bmp[28], c.bits);
        // The export loads back to the same bitmap.
        CDIB again;
        ASSERT_TRUE(again.LoadBmpData(bmp)) << c.bits;
        EXPECT_EQ(again.GetBmpData(), bmp);
    }
}

TEST(CdibLoad, CoreHeaderBecomesInfoHeader) {
    // 2 x 2, 4 bits, OS/2 core header with 3-byte colour entries.
    ByteArray f(14 + 12 + 16 * 3 + 2 * 4, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, std::uint32_t(f.size()));
    Put32(f, 10, 14 + 12 + 48);
    Put32(f, 14, 12);
    Put16(f, 18, 2);
    Put16(f, 20, 2);
    Put16(f, 22, 1);
    Put16(f, 24, 4);
    for (int i = 0; i < 16; ++i) {
        f[26 + 3 * i] = std::uint8_t(i);           // blue
        f[26 + 3 * i + 1] = std::uint8_t(i * 2);   // green
        f[26 + 3 * i + 2] = std::uint8_t(i * 16);  // red
    }
    f[74] = 0x12;  // bottom row: indices 1, 2
    f[78] = 0xF3;  // top row: indices 15, 3
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(f)) << dib.LastError();
    EXPECT_EQ(dib.GetPixel(0, 0), MakeColorRef(240, 30, 15));
    EXPECT_EQ(dib.GetPixel(1, 0), MakeColorRef(48, 6, 3));
    EXPECT_EQ(dib.GetPixel(0, 1), MakeColorRef(16, 2, 1));

    const ByteArray out = dib.GetBmpData();
    ASSERT_EQ(out.size(), 54u + 64 + 8);
    EXPECT_EQ(Get32(out, 10), 118u);
    EXPECT_EQ(Get32(out, 14), 40u);
    EXPECT_EQ(Get32(out, 18), 2u);
    EXPECT_EQ(Get32(out, 22), 2u);
    EXPECT_EQ(out[26], 1);
    EXPECT_EQ(out[28], 4);
    for (std::size_t at = 30; at < 54; ++at) EXPECT_EQ(out[at], 0) << at;
    // Entry 5 as blue, green, red, 0.
    EXPECT_EQ(out[54 + 20], 5);
    EXPECT_EQ(out[54 + 21], 10);
    EXPECT_EQ(out[54 + 22], 80);
    EXPECT_EQ(out[54 + 23], 0);
    EXPECT_EQ(out[118], 0x12);
    EXPECT_EQ(out[122], 0xF3);
}

TEST(CdibLoad, RefusesMalformedData) {
    const ByteArray good = MakeBmp(BmpFields(3, 2, 24));
    auto with = [&](auto change) {
        ByteArray f = good;
        change(f);
        return f;
    };
    struct Case {
        const char* name;
        ByteArray data;
    } cases[] = {
        {"empty", {}},
        {"53 bytes", ByteArray(good.begin(), good.begin() + 53)},
        {"not BM", with([](ByteArray& f) { f[1] = 'A'; })},
        {"bfSize past the end", with([](ByteArray& f) { Put32(f, 2, std::uint32_t(f.size() + 1)); })},
        {"RLE8", MakeBmp(With(BmpFields(2, 2, 8, GreyTable(256)), &BmpFields::compression, 1))},
        {"bitfields", with([](ByteArray& f) { Put32(f, 30, 3); })},
        {"header 108", with([](ByteArray& f) { Put32(f, 14, 108); })},
        {"header 0", with([](ByteArray& f) { Put32(f, 14, 0); })},
        {"2 bits", with([](ByteArray& f) { Put16(f, 28, 2); })},
        {"0 bits", with([](ByteArray& f) { Put16(f, 28, 0); })},
        {"2 planes", with([](ByteArray& f) { Put16(f, 26, 2); })},
        {"width 0", with([](ByteArray& f) { Put32(f, 18, 0); })},
        {"width -3", with([](ByteArray& f) { Put32(f, 18, std::uint32_t(-3)); })},
        {"width 65536", with([](ByteArray& f) { Put32(f, 18, 65536); })},
        {"height 0", with([](ByteArray& f) { Put32(f, 22, 0); })},
        {"top-down", with([](ByteArray& f) { Put32(f, 22, std::uint32_t(-2)); })},
        {"height 2^31-1", with([](ByteArray& f) { Put32(f, 22, 0x7FFFFFFF); })},
        {"over 1 GiB of rows", with([](ByteArray& f) {
             Put32(f, 18, 65535);
             Put32(f, 22, 65535);
             Put16(f, 28, 32);
         })},
        {"no pixel bytes", with([](ByteArray& f) { Put32(f, 10, std::uint32_t(f.size())); })},
        {"offset far past the end", with([](ByteArray& f) { Put32(f, 10, 0xFFFFFFF0u); })},
        {"colour table past the end", MakeBmp(BmpFields(1, 1, 8, GreyTable(2)))},
        {"huge biClrUsed", with([](ByteArray& f) { Put32(f, 46, 0xFFFFFFFFu); })},
    };
    for (const Case& c : cases) {
        CDIB dib;
        ASSERT_TRUE(dib.LoadBmpData(good));
        EXPECT_FALSE(dib.LoadBmpData(c.data)) << c.name;
        EXPECT_TRUE(dib.IsEmpty()) << c.name;
        EXPECT_EQ(dib.LastError(), kUnsupported) << c.name;
        EXPECT_TRUE(dib.GetBmpData().empty()) << c.name;
        EXPECT_TRUE(dib.ChangeBitDepth(24).IsEmpty()) << c.name;
    }
}

TEST(CdibLoad, AcceptsWhatWindowsWrites) {
    struct Case {
        const char* name;
        ByteArray data;
    } cases[] = {
        // bfSize smaller than the file, or zero, is not a reason to refuse.
        {"bfSize 0", [] {
             ByteArray f = MakeBmp(BmpFields(2, 2, 24));
             Put32(f, 2, 0);
             return f;
         }()},
        {"biClrUsed 2 at 8 bits", MakeBmp(With(BmpFields(2, 1, 8, GreyTable(2)), &BmpFields::colorsUsed, 2))},
        {"1 bit", MakeBmp(BmpFields(9, 1, 1, GreyTable(2)))},
        {"32 bits", MakeBmp(BmpFields(1, 3, 32))},
        {"largest width", MakeBmp(BmpFields(65535, 1, 1, GreyTable(2)))},
    };
    for (const Case& c : cases) {
        CDIB dib;
        EXPECT_TRUE(dib.LoadBmpData(c.data)) << c.name << ": " << dib.LastError();
        EXPECT_TRUE(dib.LastError().empty()) << c.name;
    }
}

TEST(CdibLoad, ShortPixelDataReadsAsBlackAndIsNeverOverrun) {
    // 2 x 3 at 24 bits needs 3 rows of 8 bytes; only the bottom row and half the middle one arrive.
    BmpFields s(2, 3, 24);
    s.rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9};
    const ByteArray file = MakeBmp(s);
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(file));
    EXPECT_EQ(dib.GetPixel(0, 2), MakeColorRef(3, 2, 1));
    EXPECT_EQ(dib.GetPixel(1, 2), MakeColorRef(6, 5, 4));
    EXPECT_EQ(dib.GetPixel(0, 1), MakeColorRef(9, 8, 7));
    EXPECT_EQ(dib.GetPixel(1, 1), 0u);
    EXPECT_EQ(dib.GetPixel(0, 0), 0u);
    const ByteArray out = dib.GetBmpData();
    ASSERT_EQ(out.size(), 54u + 24);
    EXPECT_EQ(ByteArray(out.begin() + 54, out.begin() + 65), s.rows);
    for (std::size_t i = 65; i < out.size(); ++i) EXPECT_EQ(out[i], 0) << i;

    // Extra bytes after the rows are not exported.
    s.rows.assign(40, 0x55);
    EXPECT_TRUE(dib.LoadBmpData(MakeBmp(s)));
    EXPECT_EQ(dib.GetBmpData().size(), 54u + 24);
}

TEST(CdibLoad, PixelsStartAtOffBitsAndTopRowIsLast) {
    // A gap between the header and the rows, as some writers leave.
    BmpFields s(1, 2, 24);
    s.rows = {10, 20, 30, 0, 40, 50, 60, 0};
    ByteArray f = MakeBmp(s);
    f.insert(f.begin() + 54, 6, 0xEE);
    Put32(f, 2, std::uint32_t(f.size()));
    Put32(f, 10, 60);
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(f));
    EXPECT_EQ(dib.GetPixel(0, 0), MakeColorRef(60, 50, 40));
    EXPECT_EQ(dib.GetPixel(0, 1), MakeColorRef(30, 20, 10));
    EXPECT_EQ(dib.Row(0)[0], 40);
    EXPECT_EQ(dib.Row(1)[0], 10);
    EXPECT_EQ(dib.Row(2), nullptr);
    EXPECT_EQ(dib.Row(-1), nullptr);
    const PixelRect rect = dib.GetRect();
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 1);
    EXPECT_EQ(rect.bottom, 2);
}

TEST(CdibConvert, SameDepthIsAnExactCopy) {
    // A loaded 8-bit bitmap with its own short table, resolution and padding garbage.
    BmpFields s(3, 2, 8, GreyTable(3));
    s.colorsUsed = 3;
    s.rows = {0, 1, 2, 0xAB, 2, 1, 0, 0xCD};
    ByteArray f = MakeBmp(s);
    Put32(f, 38, 3780);
    Put32(f, 42, 3780);
    Put32(f, 50, 2);
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(f));
    const CDIB copy = dib.ChangeBitDepth(8);
    EXPECT_EQ(copy.GetBmpData(), dib.GetBmpData());
    const ByteArray out = copy.GetBmpData();
    EXPECT_EQ(ByteArray(out.begin() + 14, out.end()), ByteArray(f.begin() + 14, f.end()));

    for (int bits : {1, 4, 16, 24, 32}) {
        CDIB other;
        other.Create(5, 3, bits, MakeColorRef(200, 100, 50));
        EXPECT_EQ(other.ChangeBitDepth(std::int16_t(bits)).GetBmpData(), other.GetBmpData()) << bits;
    }
}

TEST(CdibConvert, ShortColourTableReadsMissingEntriesAsBlack) {
    BmpFields s(3, 1, 8);
    s.colorsUsed = 2;
    s.table = {{255, 0, 0}, {0, 255, 0}};
    s.rows = {1, 0, 200, 0};
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(MakeBmp(s)));
    EXPECT_EQ(dib.GetPixel(2, 0), 0u);
    const CDIB out = dib.ChangeBitDepth(24);
    const std::uint8_t expected[] = {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(out.Row(0), expected, sizeof expected), 0);
}

TEST(CdibConvert, PaddingAndSpareByteAreZero) {
    std::mt19937 rng(3);
    for (int width = 1; width <= 7; ++width) {
        std::vector<ColorRef> colours(width * 2);
        for (auto& c : colours) c = rng() & 0x00FFFFFF;
        const CDIB source = Make24(width, 2, colours);
        for (int bits : {1, 4, 8, 16, 32}) {
            const CDIB out = source.ChangeBitDepth(std::int16_t(bits));
            const std::size_t used = (std::size_t(width) * bits + 7) / 8;
            for (int y = 0; y < 2; ++y) {
                const std::uint8_t* row = out.Row(y);
                for (std::size_t i = used; i < out.Stride(); ++i)
                    EXPECT_EQ(row[i], 0) << "bits " << bits << " width " << width << " byte " << i;
                if (bits == 32) {
                    for (int x = 0; x < width; ++x) EXPECT_EQ(row[4 * x + 3], 0);
                }
                // Bits of a last, partly used byte that belong to no pixel.
                if (bits < 8 && (width * bits) % 8) {
                    EXPECT_EQ(row[used - 1] & (0xFF >> ((width * bits) % 8)), 0) << bits << " " << width;
                }
            }
        }
    }
}

TEST(CdibPixels, SetThenGetPerDepth) {
    const ColorRef colour = MakeColorRef(0xC3, 0x5A, 0x99);
    struct Case {
        int bits;
        ColorRef back;
    } cases[] = {
        {32, colour},
        {24, colour},
        {16, MakeColorRef(0xC0, 0x58, 0x98)},
        {8, MakeColorRef(0xC0, 0x60, 0x80)},  // grid entry red 6, green 3, blue 2
        {4, MakeColorRef(0x80, 0x80, 0x80)},
        {1, MakeColorRef(255, 255, 255)},
    };
    for (const Case& c : cases) {
        CDIB dib;
        dib.Create(9, 3, c.bits);
        ASSERT_FALSE(dib.IsEmpty());
        dib.SetPixel(8, 2, colour);
        EXPECT_TRUE(dib.LastError().empty());
        EXPECT_EQ(dib.GetPixel(8, 2), c.back) << c.bits;
        EXPECT_EQ(dib.GetPixel(7, 2), 0u) << "neighbour untouched, " << c.bits;
        EXPECT_EQ(dib.GetPixel(8, 1), 0u) << "row above untouched, " << c.bits;
    }
}

TEST(CdibPixels, ThirtyTwoBitWriteKeepsFourthByte) {
    BmpFields s(1, 1, 32);
    s.rows = {1, 2, 3, 0x77};
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(MakeBmp(s)));
    dib.SetPixel(0, 0, MakeColorRef(9, 8, 7));
    const std::uint8_t expected[] = {7, 8, 9, 0x77};
    EXPECT_EQ(std::memcmp(dib.Row(0), expected, 4), 0);
}

TEST(CdibPixels, IndexBitsAreMostSignificantFirst) {
    struct Case {
        int bits, x, index;
        std::size_t byte;
        std::uint8_t value;
    } cases[] = {
        {1, 0, 1, 0, 0x80}, {1, 7, 1, 0, 0x01}, {1, 9, 1, 1, 0x40}, {4, 0, 0xA, 0, 0xA0},
        {4, 1, 0xA, 0, 0x0A}, {4, 4, 0x3, 2, 0x30}, {8, 2, 0xFE, 2, 0xFE},
    };
    for (const Case& c : cases) {
        CDIB dib;
        dib.Create(10, 1, c.bits);
        dib.SetPixelIndex(c.x, 0, c.index);
        EXPECT_TRUE(dib.LastError().empty());
        for (std::size_t i = 0; i < dib.Stride(); ++i)
            EXPECT_EQ(dib.Row(0)[i], i == c.byte ? c.value : 0) << c.bits << " x " << c.x << " byte " << i;
        const Rgb e = FixedPalette(c.bits)[c.index];
        EXPECT_EQ(dib.GetPixel(c.x, 0), MakeColorRef(e.red, e.green, e.blue));
        // Clearing the pixel again leaves its neighbours' bits alone.
        dib.SetPixelIndex(c.x, 0, 0);
        for (std::size_t i = 0; i < dib.Stride(); ++i) EXPECT_EQ(dib.Row(0)[i], 0);
    }
}

TEST(CdibPixels, LoadedTableIsSearchedDirectly) {
    // A 1-bit bitmap whose two colours are red and blue, not black and white.
    BmpFields s(2, 1, 1, {{255, 0, 0}, {0, 0, 255}});
    CDIB dib;
    ASSERT_TRUE(dib.LoadBmpData(MakeBmp(s)));
    dib.SetPixel(1, 0, MakeColorRef(10, 20, 200));
    dib.SetPixel(0, 0, MakeColorRef(200, 20, 10));
    EXPECT_EQ(dib.Row(0)[0], 0x40);
    EXPECT_EQ(dib.GetPixel(1, 0), MakeColorRef(0, 0, 255));
}

TEST(CdibPixels, CreateFillsEveryPixel) {
    const ColorRef fill = MakeColorRef(255, 0, 0);
    struct Case {
        int bits;
        ColorRef back;
    } cases[] = {{1, MakeColorRef(0, 0, 0)}, {4, fill}, {8, fill}, {16, MakeColorRef(248, 0, 0)}, {24, fill}, {32, fill}};
    for (const Case& c : cases) {
        CDIB dib;
        dib.Create(5, 4, c.bits, fill);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) ASSERT_EQ(dib.GetPixel(x, y), c.back) << c.bits << " " << x << "," << y;
        EXPECT_EQ(dib.GetBmpData(), Make24(5, 4, std::vector<ColorRef>(20, fill)).ChangeBitDepth(std::int16_t(c.bits)).GetBmpData())
            << c.bits;
    }
}

TEST(CdibErrors, EachFailureLeavesItsText) {
    CDIB empty;
    CDIB rgb;
    rgb.Create(4, 4, 24);
    CDIB nibble;
    nibble.Create(4, 4, 4);
    struct Case {
        const char* name;
        std::function<void()> run;
        const CDIB* object;
        std::string message;
    } cases[] = {
        {"convert empty", [&] { EXPECT_TRUE(empty.ChangeBitDepth(24).IsEmpty()); }, &empty, kNoBitmap},
        {"export empty", [&] { EXPECT_TRUE(empty.GetBmpData().empty()); }, &empty, kNoBitmap},
        {"get pixel empty", [&] { EXPECT_EQ(empty.GetPixel(0, 0), 0u); }, &empty, kNoBitmap},
        {"set pixel empty", [&] { empty.SetPixel(0, 0, 0); }, &empty, kNoBitmap},
        {"set index empty", [&] { empty.SetPixelIndex(0, 0, 0); }, &empty, kNoBitmap},
        {"depth 2", [&] { EXPECT_TRUE(rgb.ChangeBitDepth(2).IsEmpty()); }, &rgb, "位深度无效"},
        {"depth -24", [&] { EXPECT_TRUE(rgb.ChangeBitDepth(-24).IsEmpty()); }, &rgb, "位深度无效"},
        {"x = width", [&] { rgb.GetPixel(4, 0); }, &rgb, "像素点坐标越界"},
        {"y = -1", [&] { rgb.SetPixel(0, -1, 0); }, &rgb, "像素点坐标越界"},
        {"index x = -1", [&] { nibble.SetPixelIndex(-1, 0, 0); }, &nibble, "像素点坐标越界"},
        {"index on 24 bits", [&] { rgb.SetPixelIndex(0, 0, 0); }, &rgb, "当前位图格式不使用颜色表"},
        {"index 16 at 4 bits", [&] { nibble.SetPixelIndex(0, 0, 16); }, &nibble, "颜色索引无效"},
        {"index -1 at 4 bits", [&] { nibble.SetPixelIndex(0, 0, -1); }, &nibble, "颜色索引无效"},
    };
    for (const Case& c : cases) {
        c.run();
        EXPECT_EQ(c.object->LastError(), c.message) << c.name;
        // The next operation starts with a clean text.
        c.object->GetRect();
        EXPECT_TRUE(c.object->LastError().empty()) << c.name;
    }
    // A failed index write changed nothing.
    EXPECT_EQ(nibble.GetBmpData(), [] {
        CDIB fresh;
        fresh.Create(4, 4, 4);
        return fresh.GetBmpData();
    }());
}

TEST(CdibErrors, CreateRefusesBadDepthAndSizes) {
    struct Case {
        int width, height, bits;
        std::string message;
    } cases[] = {
        {4, 4, 3, "位深度无效"},   {4, 4, 0, "位深度无效"},        {0, 4, 24, kUnsupported},
        {4, -4, 24, kUnsupported}, {65536, 1, 24, kUnsupported}, {65535, 65535, 32, kUnsupported},
    };
    for (const Case& c : cases) {
        CDIB dib;
        dib.Create(2, 2, 24);
        dib.Create(c.width, c.height, c.bits);
        EXPECT_TRUE(dib.IsEmpty()) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(dib.LastError(), c.message);
        EXPECT_EQ(dib.Width(), 0);
    }
}

TEST(CdibObject, EmptyObjectHasNoGeometry) {
    CDIB dib;
    dib.Create(0, 0, 24);  // refused, so still empty
    EXPECT_TRUE(dib.IsEmpty());
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    EXPECT_EQ(dib.BitCount(), 0);
    EXPECT_EQ(dib.Stride(), 0u);
    EXPECT_EQ(dib.Row(0), nullptr);
    EXPECT_TRUE(dib.ColorTable().empty());
    const PixelRect rect = dib.GetRect();
    EXPECT_EQ(rect.right, 0);
    EXPECT_EQ(rect.bottom, 0);
}

TEST(CdibObject, MovesTransferTheBitmap) {
    CDIB a;
    a.Create(3, 3, 8, MakeColorRef(0, 255, 0));
    const ByteArray bytes = a.GetBmpData();
    CDIB b(std::move(a));
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.GetBmpData(), bytes);
    CDIB c;
    c.Create(1, 1, 24);
    c = std::move(b);
    EXPECT_EQ(c.GetBmpData(), bytes);
    // The moved bitmap still converts with its fixed table.
    c.SetPixel(0, 0, MakeColorRef(0, 0, 255));
    EXPECT_EQ(c.Row(0)[0], 252);
}

}  // namespace
