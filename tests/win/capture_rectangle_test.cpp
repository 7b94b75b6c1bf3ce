// The rectangle selection driven by real mouse input over the pattern: drags in every direction give the
// same picture, flat drags, clicks and the right button give none and leave the previous capture alone.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "capture/capture_session_win.h"
#include "capture/rectangle_selection_win.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"

using namespace capture_test;

namespace {

class RectangleSelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pattern_.Shown()) << "the screen never showed the test pattern";
        env_.Settings().captureMode = CaptureMode::RectangleRegion;
    }
    PatternWindow pattern_;
    CaptureEnvironment env_;
};

// Moves across the board (the crosshair follows), then drags from `from` to `to`.
void Drag(POINT from, POINT to) {
    if (!WaitForWindow(kSelectionBoardClassName)) return;
    MoveMouse(from.x + 40, from.y + 30);
    MoveMouse(from.x, from.y);
    MouseButton(true, true);
    MoveMouse((from.x + to.x) / 2, (from.y + to.y) / 2);
    MoveMouse(to.x, to.y);
    MouseButton(true, false);
}

TEST_F(RectangleSelectionTest, DragsInEveryDirectionGiveTheSamePictureWithoutVeilOrCrosshair) {
    const POINT corners[][2] = {
        {{100, 100}, {300, 200}}, {{300, 200}, {100, 100}}, {{300, 100}, {100, 200}}, {{100, 200}, {300, 100}}};
    for (const auto& corner : corners) {
        App().lastCaptureImage.clear();
        {
            Driver driver([&] { Drag(corner[0], corner[1]); });
            RunCaptureSession();
        }
        const auto picture = DecodeBmp(App().lastCaptureImage);
        ASSERT_TRUE(picture.has_value()) << corner[0].x << "," << corner[0].y << " to " << corner[1].x << ","
                                         << corner[1].y;
        EXPECT_EQ(picture->bits, 24);
        ASSERT_EQ(picture->width, 200);
        ASSERT_EQ(picture->height, 100);
        std::size_t wrong = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) wrong += picture->At(x, y) != PatternColour(100 + x, 100 + y);
        EXPECT_EQ(wrong, 0u) << "pixels that are not the frozen screen's";
        const auto size = ClipboardBitmapSize();
        ASSERT_TRUE(size.has_value());
        EXPECT_EQ(size->cx, 200);
        EXPECT_EQ(size->cy, 100);
        const auto file = ReadWholeFile(TempCapturePath());
        ASSERT_TRUE(file.has_value());
        EXPECT_TRUE(ByteArray(file->begin(), file->end()) == App().lastCaptureImage);
    }
    EXPECT_EQ(env_.previewUpdates, 4);
}

TEST_F(RectangleSelectionTest, PointerDrawnIntoTheFrozenScreenIsInThePicture) {
    const POINT at{180, 140};
    PlaceTestPointer(at);
    env_.Settings().keepCursor = true;
    {
        Driver driver([] { Drag({100, 100}, {300, 200}); });
        RunCaptureSession();
    }
    const auto picture = DecodeBmp(App().lastCaptureImage);
    ASSERT_TRUE(picture.has_value());
    ASSERT_EQ(picture->width, 200);
    const Picture expected = ExpectedScreen(TestCursor(), at);
    std::size_t wrong = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) wrong += picture->At(x, y) != expected.At(100 + x, 100 + y);
    EXPECT_EQ(wrong, 0u);
    EXPECT_NE(picture->At(at.x - 100 - 5, at.y - 100 - 7), PatternColour(at.x - 5, at.y - 7)) << "no pointer";
}

TEST_F(RectangleSelectionTest, FlatDragsClicksAndTheRightButtonLeaveThePreviousCapture) {
    const ByteArray previous = {'B', 'M', 'p', 'r', 'e', 'v'};
    struct Case {
        const char* name;
        std::function<void()> input;
    } cases[] = {
        {"horizontal line", [] { Drag({100, 150}, {300, 150}); }},
        {"vertical line", [] { Drag({120, 100}, {120, 300}); }},
        {"click without movement",
         [] {
             if (!WaitForWindow(kSelectionBoardClassName)) return;
             MoveMouse(222, 111);
             MouseButton(true, true);
             MouseButton(true, false);
         }},
        {"right button during the drag",
         [] {
             if (!WaitForWindow(kSelectionBoardClassName)) return;
             MoveMouse(100, 100);
             MouseButton(true, true);
             MoveMouse(300, 200);
             MouseButton(false, true);
             MouseButton(false, false);
             MouseButton(true, false);
         }},
        {"right button before any drag",
         [] {
             if (!WaitForWindow(kSelectionBoardClassName)) return;
             MoveMouse(400, 300);
             MouseButton(false, true);
             MouseButton(false, false);
         }},
    };
    for (const Case& c : cases) {
        App().lastCaptureImage = previous;
        ASSERT_TRUE(harness::WriteFileBytes(TempCapturePath(), "previous working file"));
        ASSERT_TRUE(PutTextOnClipboard("before"));
        {
            Driver driver(c.input);
            RunCaptureSession();
        }
        EXPECT_TRUE(WaitForWindowGone(kSelectionBoardClassName, 1000)) << c.name;
        EXPECT_EQ(App().lastCaptureImage, previous) << c.name;
        EXPECT_EQ(ReadWholeFile(TempCapturePath()), std::optional<std::string>("previous working file")) << c.name;
        EXPECT_TRUE(ClipboardEmpty()) << c.name;
        EXPECT_EQ(env_.previewUpdates, 0) << c.name;
    }
}

}  // namespace
