// The main window's controls as the rest of the program uses them, built in this process on a window of
// its own: the record shown on notification, the event rules of SetControlText and of user clicks, the
// preview, the hotkey label and the menu actions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "tests/win/ui_support.h"
#include "ui/controls.h"
#include "ui/main_form.h"
#include "ui/main_window_layout.h"
#include "ui/picture.h"

namespace {

// A 24-bit BMP file image of one colour.
ByteArray SolidBmp(int width, int height, COLORREF color, bool topDown = false) {
    const int stride = ((width * 3 + 3) / 4) * 4;
    ByteArray image(54 + size_t(stride) * size_t(height), 0);
    const auto put32 = [&](size_t at, std::uint32_t v) { std::memcpy(&image[at], &v, 4); };
    image[0] = 'B';
    image[1] = 'M';
    put32(2, std::uint32_t(image.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(topDown ? -height : height));
    image[26] = 1;
    image[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image[54 + size_t(y) * size_t(stride) + size_t(x) * 3];
            p[0] = GetBValue(color);
            p[1] = GetGValue(color);
            p[2] = GetRValue(color);
        }
    return image;
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().settings = AppSettings{};
        App().namePreview.clear();
        App().lastCaptureImage.clear();
        RegisterFormClasses();
        host_ = CreateWindowExA(0, kFormWindowClass, "host", WS_OVERLAPPED | WS_CAPTION, 0, 0, 602, 400, nullptr,
                                nullptr, GetModuleHandleA(nullptr), &MainForm());
        ASSERT_TRUE(host_);
        // The layout is at 96 DPI and the controls scale with the window's DPI: so must their host.
        const int dpi = int(GetDpiForWindow(host_));
        SetWindowPos(host_, nullptr, 0, 0, MulDiv(602, dpi, 96), MulDiv(400, dpi, 96), SWP_NOMOVE | SWP_NOZORDER);
        BuildMainWindowControls(host_);
    }
    void TearDown() override {
        for (const ControlRow& row : MainWindowLayout().controls) SetControlHandler(row.name, ControlHandler());
        DestroyWindow(host_);
        App().settingsChanged = nullptr;
        App().captureChanged = nullptr;
        App().settings = AppSettings{};
    }
    HWND host_ = nullptr;
};

TEST_F(MainFormTest, NotifySettingsChangedShowsTheRecord) {
    int counterEvents = 0;
    SetControlHandler("计数器起始值", [&](int event) { counterEvents += event == kEventDefault; });
    AppSettings& s = App().settings;
    s.captureMode = CaptureMode::FreehandRegion;
    s.imageFormat = ImageFormat::Bmp;
    s.useDate = true;
    s.prefix = "甲乙";
    s.counterText = "9";
    s.existingFilePolicy = ExistingFilePolicy::Overwrite;
    s.autoSaveFolder = "D:\\存放";
    s.bmpDepthIndex = 3;
    s.useAutoNumber = false;
    s.saveImmediately = false;
    ApplyOptionDependencies(s);
    App().namePreview = "甲乙_2009-6-7_.bmp";
    NotifySettingsChanged();

    Form& form = MainForm();
    EXPECT_TRUE(form.Checked("抓取区域"));
    EXPECT_FALSE(form.Checked("抓取长方形区域"));
    EXPECT_TRUE(form.Checked("BMP"));
    EXPECT_FALSE(form.Checked("PNG"));
    EXPECT_TRUE(form.Checked("日期"));
    EXPECT_FALSE(form.Checked("自动数字"));
    EXPECT_TRUE(form.Checked("覆盖保存"));
    EXPECT_FALSE(form.Enabled("自动计数"));
    EXPECT_FALSE(form.Enabled("自动保存"));
    EXPECT_EQ(form.Selection("BMP图片质量"), 3);
    EXPECT_EQ(form.Text("前缀编辑"), "甲乙");
    EXPECT_EQ(form.Text("计数器起始值"), "9");
    EXPECT_EQ(form.Text("路径"), "D:\\存放");
    EXPECT_EQ(form.Text("命名预览"), "甲乙_2009-6-7_.bmp");
    EXPECT_EQ(counterEvents, 1) << "the counter's new text is one change";

    NotifySettingsChanged();
    EXPECT_EQ(counterEvents, 1) << "showing an unchanged record changes no text";
}

TEST_F(MainFormTest, SetControlTextRaisesOneChangeWithTheRecordAlreadyUpdated) {
    std::vector<std::string> seen;
    SetControlHandler("计数器起始值", [&](const ControlEvent& event) {
        if (event.code == kEventDefault)
            seen.push_back(MainForm().Text("计数器起始值") + "|" + App().settings.counterText);
    });
    SetControlText("计数器起始值", "42");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "42|42");
    SetControlText("计数器起始值", "42");
    EXPECT_EQ(seen.size(), 2u) << "a set text is a change even when it is the same";

    // Typing (the edit control's own notification) is one change per keystroke.
    SendMessageA(FindControl("计数器起始值"), EM_SETSEL, 2, 2);
    SendMessageA(FindControl("计数器起始值"), WM_CHAR, '7', 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], "427|427");
}

TEST_F(MainFormTest, ClicksReachHandlersAfterTheRecordHasTheChange) {
    struct Case {
        const char* control;
        std::function<std::string()> state;  // what the handler should already see
        std::string expected;
    };
    const Case cases[] = {
        {"自动数字",
         [] {
             const AppSettings& s = App().settings;
             return std::string(s.useAutoNumber ? "on" : "off") + (s.autoCountEnabled ? "/enabled" : "/disabled") +
                    (s.existingFilePolicy == ExistingFilePolicy::Ask ? "/ask" : "/other");
         },
         "off/disabled/ask"},
        {"立即保存", [] { return std::string(App().settings.autoSaveEnabled ? "enabled" : "disabled"); }, "disabled"},
        {"JPG", [] { return std::string(App().settings.imageFormat == ImageFormat::Jpg ? "jpg" : "other"); }, "jpg"},
        {"抓取全屏",
         [] { return std::string(App().settings.captureMode == CaptureMode::FullScreen ? "full" : "other"); }, "full"},
        {"按钮1", [] { return std::string("clicked"); }, "clicked"},
        {"打开保存文件夹", [] { return std::string("clicked"); }, "clicked"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> seen;
        SetControlHandler(c.control, [&](int event) {
            if (event == kEventDefault) seen.push_back(c.state());
        });
        SendMessageA(FindControl(c.control), BM_CLICK, 0, 0);
        ASSERT_EQ(seen.size(), 1u) << c.control;
        EXPECT_EQ(seen[0], c.expected) << c.control;
    }
    EXPECT_FALSE(IsWindowEnabled(FindControl("自动计数")));
    EXPECT_FALSE(IsWindowEnabled(FindControl("自动保存")));
}

TEST_F(MainFormTest, HiddenLabelTurnsTheHotkeyNotificationIntoItsEvent) {
    std::vector<int> events;
    SetControlHandler("标签1", [&](int event) { events.push_back(event); });
    HWND label = FindControl("标签1");
    ASSERT_TRUE(label);
    SendMessageA(label, WM_APP + 0x75, 33001, 0);
    EXPECT_EQ(events, std::vector<int>{kEventDefault});
}

TEST_F(MainFormTest, MouseEventsCarryTheirNumbersPositionAndKeys) {
    std::vector<ControlEvent> events;
    SetControlHandler("图片框2", [&](const ControlEvent& event) { events.push_back(event); });
    HWND picture = FindControl("图片框2");
    const struct {
        UINT message;
        WPARAM keys;
        int code;
        int keyState;
    } cases[] = {
        {WM_LBUTTONDOWN, MK_LBUTTON, kEventLeftDown, 0},
        {WM_LBUTTONUP, MK_CONTROL, kEventLeftUp, kKeyCtrl},
        {WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, kEventRightDown, kKeyShift},
        {WM_RBUTTONUP, 0, kEventRightUp, 0},
        {WM_MOUSEMOVE, MK_CONTROL | MK_SHIFT, kEventMouseMove, kKeyCtrl | kKeyShift},
    };
    for (const auto& c : cases) SendMessageA(picture, c.message, c.keys, MAKELPARAM(7, 9));
    ASSERT_EQ(events.size(), std::size(cases));
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].code, cases[i].code) << i;
        EXPECT_EQ(events[i].x, 7);
        EXPECT_EQ(events[i].y, 9);
        EXPECT_EQ(events[i].keys, cases[i].keyState) << i;
    }
}

TEST_F(MainFormTest, PreviewShowsTheLastCaptureStretchedAndNothingForABrokenImage) {
    App().lastCaptureImage = SolidBmp(40, 30, RGB(200, 30, 60));
    NotifyCaptureChanged();
    const SIZE size = BitmapSize(MainForm().Picture("A"));
    EXPECT_EQ(size.cx, 40);
    EXPECT_EQ(size.cy, 30);

    // Stretched over the whole client area: the corners of the box show the picture too.
    ShowWindow(host_, SW_SHOW);
    HWND preview = FindControl("A");
    UpdateWindow(preview);
    RECT client{};
    GetClientRect(preview, &client);
    {
        WindowDC dc(preview);
        EXPECT_EQ(GetPixel(dc.get(), 1, 1), RGB(200, 30, 60));
        EXPECT_EQ(GetPixel(dc.get(), client.right - 2, client.bottom - 2), RGB(200, 30, 60));
    }

    ByteArray broken = App().lastCaptureImage;
    broken.resize(broken.size() / 2);
    App().lastCaptureImage = broken;
    NotifyCaptureChanged();
    EXPECT_EQ(MainForm().Picture("A"), nullptr);
}

TEST_F(MainFormTest, TabMovesTheFocusAlongTheTabStopsOfTheShownPage) {
    ShowWindow(host_, SW_SHOW);
    SetForegroundWindow(host_);
    MainForm().SelectPage(kSaveSettingsPage);
    SetFocus(FindControl("前缀编辑"));
    ASSERT_EQ(GetFocus(), FindControl("前缀编辑"));
    // Labels are no tab stops: from the prefix box past 日期 and 自动数字 to the counter box, and back.
    const char* forward[] = {"日期", "自动数字", "计数器起始值"};
    for (const char* name : forward) {
        SendMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        EXPECT_EQ(MainForm().NameOf(GetFocus()), name);
    }
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(MainForm().NameOf(GetFocus()), "自动数字");
}

TEST_F(MainFormTest, MenuCommandsRunTheirRegisteredActions) {
    std::vector<std::string> ran;
    for (const char* caption : {"开始抓图", "编辑上次抓图", "保存抓图", "编辑抓图"})
        SetMenuAction(caption, [&ran, caption] { ran.push_back(caption); });
    // The performance counter, not the tick count: Wine updates the latter in steps from its server.
    LARGE_INTEGER frequency{}, before{}, after{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    EXPECT_TRUE(RunMainMenuCommand(host_, kCmdStartCapture));
    QueryPerformanceCounter(&after);
    EXPECT_GE((after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart, 280)
        << "the capture waits for the menu to vanish";
    for (UINT command : {kCmdEditLastCapture, kCmdSaveCapture, kCmdEditCapture})
        EXPECT_TRUE(RunMainMenuCommand(host_, command));
    EXPECT_EQ(ran, (std::vector<std::string>{"开始抓图", "编辑上次抓图", "保存抓图", "编辑抓图"}));
    EXPECT_FALSE(RunMainMenuCommand(host_, 12345));

    for (const char* caption : {"开始抓图", "编辑上次抓图", "保存抓图", "编辑抓图"}) SetMenuAction(caption, nullptr);
    EXPECT_TRUE(RunMainMenuCommand(host_, kCmdSaveCapture)) << "an item without an action does nothing";
    EXPECT_EQ(ran.size(), 4u);
}

TEST(BmpPreview, MalformedImagesGiveNoPictureAndNeverReadOutside) {
    const ByteArray good = SolidBmp(5, 4, RGB(1, 2, 3));
    const auto patched = [&](size_t at, std::uint32_t value, int bytes = 4) {
        ByteArray image = good;
        std::memcpy(&image[at], &value, size_t(bytes));
        return image;
    };
    struct Case {
        const char* what;
        ByteArray image;
    };
    const Case cases[] = {
        {"empty", {}},
        {"header only", ByteArray(good.begin(), good.begin() + 54)},
        {"one byte short", ByteArray(good.begin(), good.end() - 1)},
        {"not BM", patched(0, 'X', 1)},
        {"bits beyond the end", patched(10, 0xFFFFFFF0u)},
        {"zero width", patched(18, 0)},
        {"negative width", patched(18, 0xFFFFFFFBu)},
        {"zero height", patched(22, 0)},
        {"height INT_MIN", patched(22, 0x80000000u)},
        {"huge", patched(18, 0x7FFFFFFFu)},
        {"two planes", patched(26, 2, 2)},
        {"12 bits", patched(28, 12, 2)},
        {"RLE8", patched(30, BI_RLE8)},
        {"header size past the file", patched(14, 0x10000)},
    };
    for (const Case& c : cases) EXPECT_FALSE(BitmapFromBmpFile(c.image)) << c.what;

    for (bool topDown : {false, true}) {
        UniqueBitmap bitmap = BitmapFromBmpFile(SolidBmp(5, 4, RGB(1, 2, 3), topDown));
        ASSERT_TRUE(bitmap) << topDown;
        EXPECT_EQ(BitmapSize(bitmap.get()).cx, 5);
        EXPECT_EQ(BitmapSize(bitmap.get()).cy, 4);
        UniqueDC dc(CreateCompatibleDC(nullptr));
        ScopedSelect select(dc.get(), bitmap.get());
        EXPECT_EQ(GetPixel(dc.get(), 4, 3), RGB(1, 2, 3));
    }

    // An 8-bit image with a two-entry palette: its pixels index the palette.
    ByteArray indexed(54 + 8 + 4, 0);
    const std::uint32_t fields[][2] = {{2, 66}, {10, 62}, {14, 40}, {18, 1}, {22, 1}, {46, 2}};
    for (const auto& f : fields) std::memcpy(&indexed[f[0]], &f[1], 4);
    indexed[0] = 'B';
    indexed[1] = 'M';
    indexed[26] = 1;
    indexed[28] = 8;
    const std::uint8_t palette[8] = {0, 0, 0, 0, 30, 20, 10, 0};  // entry 1: red 10, green 20, blue 30
    std::memcpy(&indexed[54], palette, 8);
    indexed[62] = 1;
    ByteArray tooManyColours = indexed;
    tooManyColours[46] = 0x2C;  // 300 entries
    tooManyColours[47] = 0x01;
    EXPECT_FALSE(BitmapFromBmpFile(tooManyColours));
    ByteArray paletteBeyondTheEnd = indexed;
    paletteBeyondTheEnd[46] = 200;
    EXPECT_FALSE(BitmapFromBmpFile(paletteBeyondTheEnd));
    UniqueBitmap bitmap = BitmapFromBmpFile(indexed);
    ASSERT_TRUE(bitmap);
    UniqueDC dc(CreateCompatibleDC(nullptr));
    ScopedSelect select(dc.get(), bitmap.get());
    EXPECT_EQ(GetPixel(dc.get(), 0, 0), RGB(10, 20, 30));
}

}  // namespace
