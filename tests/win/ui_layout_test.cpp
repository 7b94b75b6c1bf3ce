// The main window as the layout builds it: frame, controls at their places and with their captions, pages,
// and the same layout scaled for a higher DPI.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/win_handles.h"
#include "tests/win/harness.h"
#include "tests/win/ui_support.h"
#include "ui/dialog_layouts.h"
#include "ui/form.h"
#include "ui/main_window_layout.h"

using namespace harness;
using namespace ui_test;

namespace {

class MainWindowLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        EndStrayInstances();
        RemoveFile(ConfigPath());
    }
    void TearDown() override { EndStrayInstances(); }
};

struct Placement {
    const char* name;
    int left, top, width, height;  // in the main window's client area at 96 DPI, worked out by hand
    const char* caption;           // nullptr: not checked
};

// Page rows lie on the tab control (5, 75); rows in a group box on the box.
const Placement kPlacements[] = {
    {"图片框1", 0, 0, 600, 70, nullptr},
    {"高级选择夹1", 5, 75, 585, 290, nullptr},
    {"标签1", 651, 148, 79, 16, ""},
    {"按钮1", 20, 125, 120, 35, nullptr},
    {"按钮5", 20, 305, 120, 35, nullptr},
    {"分组框4", 170, 120, 130, 95, "抓图方式"},
    {"抓取全屏", 180, 140, 90, 20, "抓取全屏"},
    {"抓取区域", 180, 190, 110, 15, "仿vista截图"},
    {"颜色选择器1", 170, 240, 130, 20, nullptr},
    {"快门声", 170, 320, 120, 20, "抓图后播放快门声"},
    {"标签6", 20, 345, 85, 15, "当前抓图热键："},
    {"A", 315, 110, 265, 245, nullptr},
    {"分组框1", 20, 110, 125, 245, "保存格式"},
    {"JPG", 30, 130, 105, 16, "保存格式：JPG"},
    {"按钮6", 45, 150, 85, 22, "JPG图片质量"},
    {"BMP图片质量", 30, 250, 105, 20, nullptr},
    {"GIF", 30, 285, 105, 15, "保存格式：GIF"},
    {"分组框2", 160, 115, 220, 170, "文件名格式："},
    {"前缀编辑", 245, 135, 125, 20, "岚影抓图"},
    {"计数器起始值", 245, 195, 125, 20, "1"},
    {"命名预览", 170, 236, 200, 39, nullptr},
    {"分组框3", 395, 115, 185, 125, "自动保存重命名时："},
    {"自动计数", 400, 215, 130, 20, "智能命名（全自动）"},
    {"立即保存", 155, 289, 105, 15, "抓图后立即保存"},
    {"路径", 250, 314, 330, 15, nullptr},
    {"按钮3", 155, 333, 100, 21, "更改保存文件夹"},
    {"打开保存文件夹", 260, 334, 105, 20, "打开保存文件夹"},
    {"图片框2", 445, 250, 90, 35, nullptr},
    {"图片框3", 150, 115, 295, 105, nullptr},
    {"标签9", 15, 225, 175, 25, "版权说明："},
    {"外形框1", 215, 230, 1, 120, nullptr},
    {"按钮7", 230, 290, 140, 25, nullptr},
    {"标签14", 395, 255, 190, 60, nullptr},
    {"按钮9", 410, 320, 150, 25, "复制邮箱地址到剪贴板"},
};

int Scaled(int value, UINT dpi) { return MulDiv(value, int(dpi), 96); }

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

TEST_F(MainWindowLayoutTest, ControlsSitWhereTheLayoutPutsThemWithTheirCaptions) {
    PerMonitorAwareScope aware;
    Program program = Program::Start();
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    const UINT dpi = DpiOf(window);

    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, Scaled(602, dpi));
    EXPECT_EQ(outer.bottom - outer.top, Scaled(400, dpi));
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the frame is fixed";
    EXPECT_TRUE(style & WS_SYSMENU);

    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(p.name);
        HWND control = MainControl(window, p.name);
        ASSERT_TRUE(control);
        const RECT expected{Scaled(p.left, dpi), Scaled(p.top, dpi), Scaled(p.left + p.width, dpi),
                            Scaled(p.top + p.height, dpi)};
        EXPECT_EQ(Describe(RectInClient(control, window)), Describe(expected));
        if (p.caption) {
            EXPECT_EQ(TextOf(control), p.caption);
        }
        const bool tabStop = GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP;
        char className[64] = {};
        GetClassNameA(control, className, sizeof className);
        const bool standardInput = lstrcmpiA(className, "Edit") == 0 || lstrcmpiA(className, "ComboBox") == 0;
        if (standardInput) {
            EXPECT_TRUE(tabStop);
        }
    }

    // The hidden label has a window, but lies beyond the client area.
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_GT(RectInClient(MainControl(window, "标签1"), window).left, client.right);
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

TEST_F(MainWindowLayoutTest, ArrowKeysOnTheTabsShowOnePageAtATime) {
    Program program = Program::Start();
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    HWND tabs = MainControl(window, "高级选择夹1");
    ASSERT_TRUE(tabs);
    // One control of each page.
    const char* marks[3] = {"按钮1", "前缀编辑", "按钮9"};
    const auto shownPage = [&] {
        int shown = -1;
        for (int i = 0; i < 3; ++i)
            if (IsWindowVisible(MainControl(window, marks[i]))) shown = shown == -1 ? i : 99;
        return shown;
    };
    EXPECT_EQ(shownPage(), 0);
    SaveScreenshotIfWanted(window, "page0");
    for (int page = 1; page < 3; ++page) {
        PostMessageA(tabs, WM_KEYDOWN, VK_RIGHT, 0);
        EXPECT_TRUE(WaitUntil([&] { return shownPage() == page; })) << "page " << page << " shown: " << shownPage();
        EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), page);
        SaveScreenshotIfWanted(window, page == 1 ? "page1" : "page2");
    }
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

// The same layout, built in this process at two DPIs: every control at 144 DPI is the one at 96 DPI scaled by
// 1.5, and so are the fonts.
TEST(LayoutScaling, ControlsAndFontsScaleWithTheWindowsDpi) {
    const WindowLayout* layouts[] = {&MainWindowLayout(), &JpgQualityDialogLayout(), &HotkeyDialogLayout(),
                                     &SelectionBoardLayout()};
    for (const WindowLayout* layout : layouts) {
        SCOPED_TRACE(layout->caption);
        Form at96;
        Form at144;
        HWND small = at96.CreateTopLevel(*layout, 96);
        HWND large = at144.CreateTopLevel(*layout, 144);
        ASSERT_TRUE(small && large);
        RECT a{}, b{};
        GetWindowRect(small, &a);
        GetWindowRect(large, &b);
        EXPECT_EQ(a.right - a.left, layout->width);
        EXPECT_EQ(b.right - b.left, Scaled(layout->width, 144));
        EXPECT_EQ(b.bottom - b.top, Scaled(layout->height, 144));
        int checked = 0;
        for (const ControlRow& row : layout->controls) {
            HWND c96 = at96.Find(row.name);
            HWND c144 = at144.Find(row.name);
            if (!c96) continue;
            SCOPED_TRACE(row.name);
            ASSERT_TRUE(c144);
            const RECT r96 = RectInClient(c96, small);
            const RECT r144 = RectInClient(c144, large);
            EXPECT_EQ(r144.left, Scaled(r96.left, 144));
            EXPECT_EQ(r144.top, Scaled(r96.top, 144));
            EXPECT_EQ(r144.right, Scaled(r96.right, 144));
            if (row.kind != ControlKind::ComboBox) {
                EXPECT_EQ(r144.bottom, Scaled(r96.bottom, 144));
            } else {
                EXPECT_NEAR(r144.bottom, Scaled(r96.bottom, 144), 1);  // the list box rounds its field height
            }
            if (row.kind == ControlKind::SliderBar) {
                ++checked;
                continue;  // a track bar has no text and no font
            }
            LOGFONTA f96{}, f144{};
            GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c96, WM_GETFONT, 0, 0)), sizeof f96, &f96);
            GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c144, WM_GETFONT, 0, 0)), sizeof f144, &f144);
            EXPECT_NE(f96.lfHeight, 0);
            EXPECT_EQ(f144.lfHeight, Scaled(f96.lfHeight, 144));
            EXPECT_STREQ(f144.lfFaceName, f96.lfFaceName);
            ++checked;
        }
        EXPECT_GT(checked, 0);

        // A move to a monitor of another DPI lays the 96 DPI window out as if it had been made there.
        at96.SetDpi(144);
        for (const ControlRow& row : layout->controls) {
            if (!at96.Find(row.name) || row.kind == ControlKind::ComboBox) continue;
            SCOPED_TRACE(row.name);
            EXPECT_EQ(Describe(RectInClient(at96.Find(row.name), small)),
                      Describe(RectInClient(at144.Find(row.name), large)));
        }
    }
}

TEST(LayoutScaling, FontsOfTheTableKeepTheirFaceWeightAndCharset) {
    Form form;
    ASSERT_TRUE(form.CreateTopLevel(MainWindowLayout(), 120));
    struct Case {
        const char* name;
        int height;  // at 96 DPI
        int weight;
        int charset;
        const char* face;  // nullptr: the default face
    };
    const Case cases[] = {
        {"高级选择夹1", -12, FW_NORMAL, GB2312_CHARSET, "SimSun"},
        {"标签9", -16, FW_BOLD, GB2312_CHARSET, nullptr},
        {"标签13", -16, FW_BOLD, GB2312_CHARSET, nullptr},
    };
    LOGFONTA defaultFont{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form.Find("按钮9"), WM_GETFONT, 0, 0)), sizeof defaultFont,
               &defaultFont);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LOGFONTA font{};
        ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form.Find(c.name), WM_GETFONT, 0, 0)),
                               sizeof font, &font));
        EXPECT_EQ(font.lfHeight, MulDiv(c.height, 120, 96));
        EXPECT_EQ(font.lfWeight, c.weight);
        EXPECT_EQ(font.lfCharSet, c.charset);
        EXPECT_STREQ(font.lfFaceName, c.face ? c.face : defaultFont.lfFaceName);
    }
}

TEST(CaptureWindowFrames, HaveNoFrameStayOnTopAndTheBoardsPanelKeepsItsDrawingState) {
    Form overlay;
    HWND overlayWindow = overlay.CreateTopLevel(CaptureOverlayLayout(), 96);
    ASSERT_TRUE(overlayWindow);
    EXPECT_FALSE(IsWindowVisible(overlayWindow));
    EXPECT_FALSE(GetWindowLongA(overlayWindow, GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongA(overlayWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);

    Form board;
    HWND boardWindow = board.CreateTopLevel(SelectionBoardLayout(), 96, true);
    ASSERT_TRUE(boardWindow);
    EXPECT_EQ(TextOf(boardWindow), "抓图程序");
    EXPECT_FALSE(GetWindowLongA(boardWindow, GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongA(boardWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    HWND panel = board.Find("画板1");
    ASSERT_TRUE(panel);
    EXPECT_FALSE(GetWindowLongA(panel, GWL_STYLE) & WS_BORDER);
    WindowDC dc(panel);  // the panel's own DC: what its creation set is still there
    EXPECT_EQ(GetROP2(dc.get()), R2_NOTXORPEN);
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(GetTextColor(dc.get()), RGB(0, 0, 0));
}

TEST(LayoutScaling, EdgesScaleOnTheirOwnAndRoundToTheNearestPixel) {
    struct Case {
        int left, top, width, height;
        UINT dpi;
        RECT expected;
    };
    const Case cases[] = {
        {15, 50, 120, 35, 96, {15, 50, 135, 85}},
        {15, 50, 120, 35, 144, {23, 75, 203, 128}},  // 22.5 -> 23, 202.5 -> 203, 127.5 -> 128
        {210, 155, 1, 120, 144, {315, 233, 317, 413}},  // a one-pixel rule stays visible
        {1, 1, 1, 1, 120, {1, 1, 3, 3}},             // 1.25 -> 1, 2.5 -> 3
        {651, 148, 79, 16, 192, {1302, 296, 1460, 328}},
    };
    for (const Case& c : cases) {
        const RECT r = ScaleRect(c.left, c.top, c.width, c.height, c.dpi);
        EXPECT_EQ(Describe(r), Describe(c.expected)) << c.left << "," << c.top << " at " << c.dpi;
    }
}

}  // namespace
