// TakeSnapshot against the pattern on the screen: the area clamping, the three destinations, the 24-bit
// BMP layout and the failure results.
#include <windows.h>

#include <gtest/gtest.h>

#include "imaging/snapshot_win.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"

using namespace capture_test;

namespace {

std::uint32_t Le32(const ByteArray& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pattern_.Shown()) << "the screen never showed the test pattern";
        width_ = GetSystemMetrics(SM_CXSCREEN);
        height_ = GetSystemMetrics(SM_CYSCREEN);
    }
    PatternWindow pattern_;
    int width_ = 0, height_ = 0;
};

TEST_F(SnapshotTest, BytesHoldTheClampedAreaAs24BitRows) {
    const int w = width_, h = height_;
    struct Case {
        RECT area;
        RECT grabbed;
    } cases[] = {
        {{-10, -10, 100, 50}, {0, 0, 100, 50}},
        {{w - 120, h - 80, w + 180, h + 120}, {w - 120, h - 80, w, h}},
        {{0, 0, 3, 2}, {0, 0, 3, 2}},
        {{17, 5, 18, 6}, {17, 5, 18, 6}},
        {{0, 0, w, h}, {0, 0, w, h}},
        {{-5000, 300, 5000, 301}, {0, 300, w, 301}},
    };
    for (const Case& c : cases) {
        const SnapshotResult result = TakeSnapshot(&c.area, ToBytes);
        const int gw = c.grabbed.right - c.grabbed.left, gh = c.grabbed.bottom - c.grabbed.top;
        ASSERT_TRUE(result.ok) << gw << "x" << gh;
        const ByteArray& b = result.bytes;
        const std::size_t stride = (std::size_t(gw) * 3 + 3) / 4 * 4;
        ASSERT_EQ(b.size(), 54 + stride * gh);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(Le32(b, 2), b.size());
        EXPECT_EQ(Le32(b, 6), 0u);
        EXPECT_EQ(Le32(b, 10), 54u);
        EXPECT_EQ(Le32(b, 14), 40u);
        EXPECT_EQ(int(Le32(b, 18)), gw);
        EXPECT_EQ(int(Le32(b, 22)), gh);  // positive: bottom-up
        EXPECT_EQ(b[26] | (b[27] << 8), 1);
        EXPECT_EQ(b[28] | (b[29] << 8), 24);
        EXPECT_EQ(Le32(b, 30), std::uint32_t(BI_RGB));
        for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(Le32(b, at), 0u) << "header field at " << at;
        const auto picture = DecodeBmp(b);
        ASSERT_TRUE(picture.has_value());
        std::size_t wrong = 0;
        for (int y = 0; y < gh; ++y)
            for (int x = 0; x < gw; ++x)
                wrong += picture->At(x, y) != PatternColour(c.grabbed.left + x, c.grabbed.top + y);
        EXPECT_EQ(wrong, 0u) << gw << "x" << gh << " at " << c.grabbed.left << "," << c.grabbed.top;
    }
    const RECT tiny{0, 0, 3, 2};
    EXPECT_EQ(TakeSnapshot(&tiny, ToBytes).bytes.size(), 78u);
}

TEST_F(SnapshotTest, EmptyOrOffScreenAreasFailForEveryDestination) {
    const std::string file = harness::TempCapturePath() + ".snapshot.bmp";
    harness::RemoveFile(file);
    ASSERT_TRUE(PutTextOnClipboard("kept"));
    const RECT areas[] = {
        {100, 100, 100, 200},                               // right equals left
        {100, 200, 300, 100},                               // upside down
        {width_, 0, width_ + 100, 100},                     // right of the display
        {0, height_ + 10, 100, height_ + 50},               // below it
        {-300, -300, -1, -1},                               // above and left
    };
    for (const RECT& area : areas) {
        EXPECT_TRUE(TakeSnapshot(&area, ToBytes).bytes.empty());
        EXPECT_FALSE(TakeSnapshot(&area, ToBytes).ok);
        EXPECT_FALSE(TakeSnapshot(&area, ToClipboard).ok);
        EXPECT_FALSE(TakeSnapshot(&area, ToFile, file).ok);
    }
    EXPECT_EQ(ClipboardText(), std::optional<std::string>("kept")) << "a failed grab touched the clipboard";
    EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << "a failed grab left a file";
}

TEST_F(SnapshotTest, WholeScreenGoesToTheClipboard) {
    ASSERT_TRUE(TakeSnapshot(nullptr, ToClipboard).ok);
    const auto size = ClipboardBitmapSize();
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->cx, width_);
    EXPECT_EQ(size->cy, height_);
}

TEST_F(SnapshotTest, FileFollowsTheDisplayDepthAndNeverClobbersOnFailure) {
    const std::string file = harness::TempCapturePath() + ".snapshot.bmp";
    harness::RemoveFile(file);
    const RECT area{30, 40, 130, 90};
    ASSERT_TRUE(TakeSnapshot(&area, ToFile, file).ok);
    // An unknown destination means a file as well.
    const std::string other = file + ".2.bmp";
    ASSERT_TRUE(TakeSnapshot(&area, 7, other).ok);
    for (const std::string& path : {file, other}) {
        const auto bytes = harness::ReadFileBytes(path);
        ASSERT_TRUE(bytes.has_value());
        const ByteArray b(bytes->begin(), bytes->end());
        EXPECT_EQ(Le32(b, 2), b.size());
        const auto picture = DecodeBmp(b);
        ASSERT_TRUE(picture.has_value());
        EXPECT_EQ(picture->bits, 24);  // the test display has 24 bits per pixel
        ASSERT_EQ(picture->width, 100);
        ASSERT_EQ(picture->height, 50);
        EXPECT_EQ(picture->At(0, 0), PatternColour(30, 40));
        EXPECT_EQ(picture->At(99, 49), PatternColour(129, 89));
        harness::RemoveFile(path);
    }
    // A folder that does not exist: false, and nothing appears.
    const std::string missing = harness::TempCapturePath() + ".no-such-folder\\x.bmp";
    EXPECT_FALSE(TakeSnapshot(&area, ToFile, missing).ok);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
