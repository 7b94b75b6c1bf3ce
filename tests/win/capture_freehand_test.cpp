// The freehand selection driven by real mouse input over the pattern: the picture is the outline's
// bounding box with the screen inside (even-odd) and white outside, the trail has the pen colour, and a
// click, Escape or the right button give no picture.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/application.h"
#include "capture/capture_geometry.h"
#include "capture/capture_overlay_win.h"
#include "capture/capture_session_win.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"

using namespace capture_test;

namespace {

class FreehandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pattern_.Shown()) << "the screen never showed the test pattern";
        env_.Settings().captureMode = CaptureMode::FreehandRegion;
    }
    PatternWindow pattern_;
    CaptureEnvironment env_;
};

// The points the system's line walk reports from `a` towards `b` (b excluded).
std::vector<PixelPoint> LinePoints(PixelPoint a, PixelPoint b) {
    std::vector<PixelPoint> points;
    LineDDA(
        a.x, a.y, b.x, b.y,
        [](int x, int y, LPARAM data) { reinterpret_cast<std::vector<PixelPoint>*>(data)->push_back({x, y}); },
        reinterpret_cast<LPARAM>(&points));
    return points;
}

// The outline the pen rule makes of a stroke through `corners` (closed back to the first on release).
std::vector<PixelPoint> ExpectedOutline(const std::vector<POINT>& corners) {
    std::vector<PixelPoint> outline;
    PixelPoint last{corners[0].x, corners[0].y};
    std::vector<PixelPoint> targets;
    for (std::size_t i = 1; i < corners.size(); ++i) targets.push_back({corners[i].x, corners[i].y});
    targets.push_back(last);
    for (const PixelPoint& target : targets) {
        const FreehandAdvance a = AdvanceFreehand(LinePoints(last, target), last);
        outline.insert(outline.end(), a.vertices.begin(), a.vertices.end());
        last = a.last;
    }
    return outline;
}

bool InsideEvenOdd(const std::vector<PixelPoint>& polygon, double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const PixelPoint a = polygon[i], b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < double(b.x - a.x) * (y - a.y) / double(b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

double DistanceToOutline(const std::vector<PixelPoint>& polygon, double x, double y) {
    double best = 1e18;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const double ax = polygon[j].x, ay = polygon[j].y, bx = polygon[i].x, by = polygon[i].y;
        const double lx = bx - ax, ly = by - ay, len = lx * lx + ly * ly;
        const double t = len == 0 ? 0 : std::clamp(((x - ax) * lx + (y - ay) * ly) / len, 0.0, 1.0);
        best = std::min(best, std::hypot(x - ax - t * lx, y - ay - t * ly));
    }
    return best;
}

void DrawStroke(const std::vector<POINT>& corners) {
    if (!WaitForWindow(kOverlayClassName)) return;
    MoveMouse(corners[0].x, corners[0].y);
    MouseButton(true, true);
    for (std::size_t i = 1; i < corners.size(); ++i) MoveMouse(corners[i].x, corners[i].y);
    MouseButton(true, false);
}

struct OutlineCheck {
    std::size_t inside = 0, outside = 0, wrongInside = 0, wrongOutside = 0;
};

// Compares the stored picture with the frozen screen inside the outline and white outside it, away from
// the outline itself (the white trace and the region's edge pixels lie there).
OutlineCheck CheckPicture(const Picture& picture, const std::vector<PixelPoint>& outline) {
    int minX = outline[0].x, minY = outline[0].y, maxX = minX, maxY = minY;
    for (const PixelPoint& p : outline) {
        minX = std::min(minX, p.x), minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
    }
    EXPECT_NEAR(picture.width, maxX - minX, 1);
    EXPECT_NEAR(picture.height, maxY - minY, 1);
    OutlineCheck check;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const double sx = minX + x + 0.5, sy = minY + y + 0.5;
            const double distance = DistanceToOutline(outline, sx, sy);
            const COLORREF c = picture.At(x, y);
            if (InsideEvenOdd(outline, sx, sy)) {
                if (distance < 20) continue;
                ++check.inside;
                check.wrongInside += c != PatternColour(minX + x, minY + y);
            } else {
                if (distance < 2) continue;
                ++check.outside;
                check.wrongOutside += c != RGB(255, 255, 255);
            }
        }
    }
    return check;
}

TEST_F(FreehandTest, ClosedLoopGivesItsBoundingBoxWithTheScreenInsideAndWhiteOutside) {
    // A notched loop: its bounding box has white corners outside the outline.
    const std::vector<POINT> corners = {{250, 250}, {450, 250}, {450, 350}, {350, 450}, {250, 450}, {250, 260}};
    {
        Driver driver([&] { DrawStroke(corners); });
        RunCaptureSession();
    }
    const auto picture = DecodeBmp(App().lastCaptureImage);
    ASSERT_TRUE(picture.has_value()) << "no picture";
    EXPECT_EQ(picture->bits, 24);
    const OutlineCheck check = CheckPicture(*picture, ExpectedOutline(corners));
    EXPECT_GT(check.inside, 10000u);
    EXPECT_GT(check.outside, 1000u);
    EXPECT_EQ(check.wrongInside, 0u);
    EXPECT_EQ(check.wrongOutside, 0u);
    // The white trace lines the inside of the outline: just inside the left edge the screen is lighter.
    const COLORREF traced = picture->At(2, 100), screen = PatternColour(252, 350);
    EXPECT_GT(GetGValue(traced) + GetBValue(traced), GetGValue(screen) + GetBValue(screen) + 100);
    const auto size = ClipboardBitmapSize();
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->cx, picture->width);
    EXPECT_EQ(env_.previewUpdates, 1);
}

TEST_F(FreehandTest, AreaEncircledTwiceIsWhite) {
    // Around the big square once, then around an inner square: the inner one is encircled twice.
    const std::vector<POINT> corners = {{200, 200}, {600, 200}, {600, 520}, {200, 520}, {200, 200},
                                        {300, 300}, {500, 300}, {500, 420}, {300, 420}, {300, 300}};
    {
        Driver driver([&] { DrawStroke(corners); });
        RunCaptureSession();
    }
    const auto picture = DecodeBmp(App().lastCaptureImage);
    ASSERT_TRUE(picture.has_value()) << "no picture";
    const OutlineCheck check = CheckPicture(*picture, ExpectedOutline(corners));
    EXPECT_GT(check.inside, 20000u);
    EXPECT_GT(check.outside, 10000u);  // the inner square
    EXPECT_EQ(check.wrongInside, 0u);
    EXPECT_EQ(check.wrongOutside, 0u);
    EXPECT_EQ(picture->At(200, 160), RGB(255, 255, 255)) << "the doubly encircled middle";
}

TEST_F(FreehandTest, ClickEscapeAndRightButtonGiveNoPicture) {
    const ByteArray previous = {'B', 'M', 'p', 'r', 'e', 'v'};
    struct Case {
        const char* name;
        std::function<void()> input;
    } cases[] = {
        {"click without movement",
         [] {
             if (!WaitForWindow(kOverlayClassName)) return;
             MoveMouse(300, 300);
             MouseButton(true, true);
             MouseButton(true, false);
         }},
        {"escape in mid-outline",
         [] {
             if (!WaitForWindow(kOverlayClassName)) return;
             MoveMouse(300, 300);
             MouseButton(true, true);
             MoveMouse(500, 300);
             MoveMouse(500, 500);
             PressKey(VK_ESCAPE);
             WaitForWindowGone(kOverlayClassName, 5000);
             MouseButton(true, false);
         }},
        {"right button in mid-outline",
         [] {
             if (!WaitForWindow(kOverlayClassName)) return;
             MoveMouse(300, 300);
             MouseButton(true, true);
             MoveMouse(500, 300);
             MoveMouse(500, 500);
             MouseButton(false, true);
             MouseButton(false, false);
             WaitForWindowGone(kOverlayClassName, 5000);
             MouseButton(true, false);
         }},
        {"a straight stroke encloses nothing",
         [] {
             if (!WaitForWindow(kOverlayClassName)) return;
             MoveMouse(300, 300);
             MouseButton(true, true);
             MoveMouse(500, 300);
             MouseButton(true, false);
         }},
    };
    for (const Case& c : cases) {
        App().lastCaptureImage = previous;
        ASSERT_TRUE(harness::WriteFileBytes(TempCapturePath(), "previous working file"));
        {
            Driver driver(c.input);
            RunCaptureSession();
        }
        EXPECT_EQ(App().lastCaptureImage, previous) << c.name;
        EXPECT_EQ(ReadWholeFile(TempCapturePath()), std::optional<std::string>("previous working file")) << c.name;
        EXPECT_TRUE(ClipboardEmpty()) << c.name;
        EXPECT_EQ(env_.previewUpdates, 0) << c.name;
    }
}

TEST_F(FreehandTest, TrailDotsHaveThePenColour) {
    struct Case {
        COLORREF pen;
    } cases[] = {{57472}, {RGB(20, 40, 250)}};
    for (const Case& c : cases) {
        env_.Settings().freehandColor = c.pen;
        COLORREF seen = CLR_INVALID;
        bool close = false;
        {
            Driver driver([&] {
                HWND overlay = WaitForWindow(kOverlayClassName);
                if (!overlay) return;
                MoveMouse(300, 300);
                MouseButton(true, true);
                MoveMouse(500, 300);
                // The dot of the vertex (400, 300) peaks at (398, 298); its neighbours overlap it.
                close = harness::WaitUntil(
                    [&] {
                        HDC dc = GetDC(overlay);
                        seen = GetPixel(dc, 398, 298);
                        ReleaseDC(overlay, dc);
                        return std::abs(GetRValue(seen) - GetRValue(c.pen)) <= 3 &&
                               std::abs(GetGValue(seen) - GetGValue(c.pen)) <= 3 &&
                               std::abs(GetBValue(seen) - GetBValue(c.pen)) <= 3;
                    },
                    5000);
                MouseButton(false, true);
                MouseButton(false, false);
                WaitForWindowGone(kOverlayClassName, 5000);
                MouseButton(true, false);
            });
            RunCaptureSession();
        }
        EXPECT_TRUE(close) << "pen " << std::hex << c.pen << ", trail pixel " << seen;
        EXPECT_NE(seen, PatternColour(398, 298));
    }
}

}  // namespace
