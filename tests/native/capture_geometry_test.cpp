// Snapshot clamping, drag rectangles, the freehand vertex rule and BMP file image assembly.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "capture/capture_geometry.h"

namespace {

bool SameRect(const PixelRect& a, const PixelRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(ClampToDisplay, CutsTheAreaToTheDisplayOrRefusesIt) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    struct Case {
        PixelRect area;
        bool grabbed;
        PixelRect expected;
    } cases[] = {
        {{0, 0, 1920, 1080}, true, {0, 0, 1920, 1080}},
        {{-10, -10, 100, 50}, true, {0, 0, 100, 50}},
        {{1800, 1000, 2100, 1200}, true, {1800, 1000, 1920, 1080}},
        {{0, 0, 3, 2}, true, {0, 0, 3, 2}},
        {{kMin, kMin, kMax, kMax}, true, {0, 0, 1920, 1080}},
        {{1919, 1079, 1920, 1080}, true, {1919, 1079, 1920, 1080}},
        {{100, 100, 100, 200}, false, {}},          // right equals left
        {{100, 200, 300, 100}, false, {}},          // upside down
        {{1920, 0, 2000, 100}, false, {}},          // wholly right of the display
        {{0, 1080, 100, 1200}, false, {}},          // wholly below it
        {{-200, -200, -100, -100}, false, {}},      // wholly above and left
        {{-200, 10, 0, 20}, false, {}},             // ends exactly at the left edge
        {{kMax - 1, kMax - 1, kMax, kMax}, false, {}},
    };
    for (const Case& c : cases) {
        const auto got = ClampToDisplay(c.area, 1920, 1080);
        ASSERT_EQ(got.has_value(), c.grabbed) << c.area.left << "," << c.area.top << "," << c.area.right << ","
                                              << c.area.bottom;
        if (got) {
            EXPECT_TRUE(SameRect(*got, c.expected))
                << got->left << "," << got->top << "," << got->right << "," << got->bottom;
        }
    }
}

TEST(DragRectangle, AnyCornerOrderGivesTheSameRectangleAndFlatDragsGiveNone) {
    const PixelRect expected{100, 100, 300, 200};
    const std::pair<PixelPoint, PixelPoint> sameRect[] = {
        {{100, 100}, {300, 200}}, {{300, 200}, {100, 100}}, {{300, 100}, {100, 200}}, {{100, 200}, {300, 100}}};
    for (const auto& [a, b] : sameRect) {
        const auto r = DragRectangle(a, b);
        ASSERT_TRUE(r.has_value());
        EXPECT_TRUE(SameRect(*r, expected));
    }
    const std::pair<PixelPoint, PixelPoint> none[] = {
        {{100, 150}, {300, 150}}, {{200, 100}, {200, 300}}, {{120, 130}, {120, 130}}};
    for (const auto& [a, b] : none) EXPECT_FALSE(DragRectangle(a, b).has_value());
}

// The points a DDA walk reports along a horizontal line from `from` up to, not including, x = toX.
std::vector<PixelPoint> HorizontalLine(PixelPoint from, int toX) {
    std::vector<PixelPoint> points;
    for (int x = from.x; x < toX; ++x) points.push_back({x, from.y});
    return points;
}

TEST(AdvanceFreehand, EveryFourthStepBecomesAVertexAndTheRestCarriesOver) {
    struct Case {
        int toX;
        std::vector<int> vertexXs;
        int lastX;
    } cases[] = {
        {0, {}, 0},             // no movement: nothing reported
        {1, {}, 0},             // only the start point
        {4, {}, 0},             // three steps
        {5, {4}, 4},            // four steps
        {12, {4, 8}, 8},        // eleven steps: two vertices, three steps left over
        {13, {4, 8, 12}, 12},
    };
    for (const Case& c : cases) {
        const auto line = HorizontalLine({0, 7}, c.toX);
        const FreehandAdvance a = AdvanceFreehand(line, {0, 7});
        std::vector<int> xs;
        for (const PixelPoint& v : a.vertices) {
            EXPECT_EQ(v.y, 7);
            xs.push_back(v.x);
        }
        EXPECT_EQ(xs, c.vertexXs) << "to x=" << c.toX;
        EXPECT_EQ(a.last, (PixelPoint{c.lastX, 7})) << "to x=" << c.toX;
    }

    // Three steps add nothing; the next movement starts again at the last vertex, so two more steps in the
    // same direction reach the vertex four steps from it.
    PixelPoint last{50, 50};
    FreehandAdvance first = AdvanceFreehand(HorizontalLine(last, 54), last);
    EXPECT_TRUE(first.vertices.empty());
    last = first.last;
    FreehandAdvance second = AdvanceFreehand(HorizontalLine(last, 56), last);
    ASSERT_EQ(second.vertices.size(), 1u);
    EXPECT_EQ(second.vertices[0], (PixelPoint{54, 50}));
    EXPECT_EQ(second.last, (PixelPoint{54, 50}));
}

TEST(DibRowBytes, PadsRowsToWholeWords) {
    struct Case {
        std::int64_t width;
        int bits;
        std::uint64_t bytes;
    } cases[] = {{3, 24, 12}, {1, 24, 4},  {4, 24, 12},  {1, 1, 4},  {33, 1, 8},  {7, 4, 4},  {9, 4, 8},
                 {5, 8, 8},   {3, 16, 8},  {1, 32, 4},   {0, 24, 0}, {-5, 24, 0}, {10, 0, 0},
                 {std::int64_t(1) << 31, 32, std::uint64_t(1) << 33}};
    for (const Case& c : cases) EXPECT_EQ(DibRowBytes(c.width, c.bits), c.bytes) << c.width << "x" << c.bits;
}

TEST(DibColorTableEntries, FollowsTheDepthAndTheUsedCount) {
    struct Case {
        int bits;
        std::uint32_t used, entries;
    } cases[] = {{1, 0, 2}, {4, 0, 16}, {8, 0, 256}, {8, 20, 20}, {4, 300, 16}, {16, 0, 0}, {24, 5, 0}, {32, 0, 0}};
    for (const Case& c : cases) EXPECT_EQ(DibColorTableEntries(c.bits, c.used), c.entries) << c.bits << "/" << c.used;
}

std::uint32_t Le32(const ByteArray& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

TEST(BuildBmpFileImage, PutsTheFileHeaderInFrontOfHeaderTableAndRows) {
    const std::vector<std::uint8_t> info(40, 0x11), table(8, 0x22), rows(24, 0x33);
    const ByteArray image = BuildBmpFileImage(info, table, rows);
    ASSERT_EQ(image.size(), 14u + 40 + 8 + 24);
    EXPECT_EQ(image[0], 'B');
    EXPECT_EQ(image[1], 'M');
    EXPECT_EQ(Le32(image, 2), image.size());
    EXPECT_EQ(Le32(image, 6), 0u);
    EXPECT_EQ(Le32(image, 10), 14u + 40 + 8);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 14, image.begin() + 54), info);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 54, image.begin() + 62), table);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 62, image.end()), rows);

    // Without a colour table the pixels start right after the info header (the 24-bit snapshot layout).
    const ByteArray plain = BuildBmpFileImage(info, {}, rows);
    EXPECT_EQ(Le32(plain, 10), 54u);
    EXPECT_EQ(plain.size(), 78u);
}

}  // namespace
