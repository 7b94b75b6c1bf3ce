// The main window in the real program: the options it shows and writes, the rules between them, the tray
// and preview menus, and what its commands and close box do.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "tests/win/harness.h"
#include "tests/win/ui_support.h"
#include "ui/main_window_layout.h"

using namespace harness;
using namespace ui_test;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EndStrayInstances();
        RemoveFile(ConfigPath());
    }
    void TearDown() override { EndStrayInstances(); }

    HWND Control(const char* name) { return MainControl(window_, name); }

    HWND Start(const std::string& args = "", const std::optional<std::string>& config = std::nullopt) {
        program_.emplace(Program::Start(args, config));
        window_ = program_->WaitForMainWindow();
        return window_;
    }

    std::optional<Program> program_;
    HWND window_ = nullptr;
};

std::string ConfigValue(const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA("基础配置", key, "<missing>", value, sizeof value, ConfigPath().c_str());
    return value;
}

void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

TEST_F(MainWindowTest, LoadedOptionsAppearInTheControls) {
    ASSERT_TRUE(Start("", "[基础配置]\r\n抓取全屏=2\r\n抓取任意区域=1\r\n抓取长方形区域=1\r\n保留鼠标=1\r\n"
                          "JPG.选中=2\r\nPNG.选中=1\r\nBMP图片质量=2\r\n前缀=测试前缀\r\n计数器=007\r\n日期=2\r\n"
                          "不重命名=2\r\n询问=1\r\n重命名=1\r\n自动计数=1\r\n立即保存=1\r\n自动保存=2\r\n"
                          "自动保存路径=C:\\抓图目录\r\n仿vista抓图颜色=255\r\n"));
    struct Check {
        const char* name;
        bool on;
    };
    const Check checks[] = {
        {"抓取全屏", true}, {"抓取长方形区域", false}, {"抓取区域", false}, {"保留鼠标", false},
        {"抓图隐藏本窗口", true}, {"JPG", true}, {"PNG", false}, {"日期", true}, {"自动数字", true},
        {"弹出保存对话框", true}, {"自动计数", false}, {"立即保存", false}, {"自动保存", true},
    };
    for (const Check& c : checks) EXPECT_EQ(CheckedOf(Control(c.name)), c.on) << c.name;
    EXPECT_EQ(SendMessageA(Control("BMP图片质量"), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(TextOf(Control("前缀编辑")), "测试前缀");
    EXPECT_EQ(TextOf(Control("计数器起始值")), "007");
    EXPECT_EQ(TextOf(Control("路径")), "C:\\抓图目录");
    EXPECT_TRUE(IsWindowEnabled(Control("自动计数")));
    EXPECT_FALSE(IsWindowEnabled(Control("自动保存"))) << "immediate saving is off";

    // The colour picker shows the loaded colour (255: pure red) in its swatch.
    SetForegroundWindow(window_);
    RECT swatch{};
    GetWindowRect(Control("颜色选择器1"), &swatch);
    const POINT inside{swatch.left + (swatch.right - swatch.left) / 3, (swatch.top + swatch.bottom) / 2};
    COLORREF seen = 0;
    EXPECT_TRUE(WaitUntil([&] {
        WindowDC screen(nullptr);
        seen = GetPixel(screen.get(), inside.x, inside.y);
        return seen == RGB(255, 0, 0);
    })) << std::hex << seen;
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
}

TEST_F(MainWindowTest, WhatTheUserChangesIsWhatIsWrittenAtExit) {
    ASSERT_TRUE(Start());
    for (const char* name : {"抓取全屏", "保留鼠标", "GIF", "日期", "覆盖保存", "快门声"}) Click(Control(name));
    PostMessageA(Control("BMP图片质量"), WM_KEYDOWN, VK_END, 0);  // the last item, as the keyboard picks it
    TypeInto(Control("前缀编辑"), "新前缀");
    EXPECT_TRUE(WaitUntil([&] { return TextOf(Control("前缀编辑")) == "新前缀"; }));
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(Control("BMP图片质量"), CB_GETCURSEL, 0, 0) == 3; }));

    // The colour chooser: the picker opens it, its OK takes the typed colour.
    PostMessageA(Control("颜色选择器1"), BM_CLICK, 0, 0);
    HWND chooser = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        chooser = GetLastActivePopup(window_);
        char name[32] = {};
        GetClassNameA(chooser, name, sizeof name);
        return chooser != window_ && std::string(name) == "#32770" && IsWindowVisible(chooser);
    }));
    const int colourEdits[3] = {706, 707, 708};  // red, green, blue
    const char* values[3] = {"12", "34", "56"};
    for (int i = 0; i < 3; ++i) SendMessageA(GetDlgItem(chooser, colourEdits[i]), WM_SETTEXT, 0, LPARAM(values[i]));
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }));

    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
    const std::pair<const char*, const char*> expected[] = {
        {"抓取全屏", "2"}, {"抓取长方形区域", "1"}, {"保留鼠标", "1"}, {"GIF.选中", "2"}, {"PNG.选中", "1"},
        {"日期", "2"},     {"重命名", "2"},         {"自动计数", "1"}, {"快门声", "1"},   {"BMP图片质量", "3"},
        {"前缀", "新前缀"}, {"仿vista抓图颜色", "3678732"},  // RGB(12, 34, 56)
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(ConfigValue(key), value) << key;
}

TEST_F(MainWindowTest, RunningNumberAndImmediateSaveRuleTheirDependentControls) {
    ASSERT_TRUE(Start());
    HWND autoCount = Control("自动计数");
    ASSERT_TRUE(CheckedOf(autoCount));
    ASSERT_TRUE(IsWindowEnabled(autoCount));

    Click(Control("自动数字"));  // off: AutoCount goes, the policy falls back to Ask
    EXPECT_FALSE(IsWindowEnabled(autoCount));
    EXPECT_FALSE(CheckedOf(autoCount));
    EXPECT_TRUE(CheckedOf(Control("询问")));
    Click(Control("自动数字"));  // on again: available, but Ask stays
    EXPECT_TRUE(IsWindowEnabled(autoCount));
    EXPECT_FALSE(CheckedOf(autoCount));
    EXPECT_TRUE(CheckedOf(Control("询问")));

    Click(Control("立即保存"));  // off: automatic saving is unavailable, its tick stays
    EXPECT_FALSE(IsWindowEnabled(Control("自动保存")));
    EXPECT_TRUE(CheckedOf(Control("自动保存")));

    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
    EXPECT_EQ(ConfigValue("自动"), "2");
    EXPECT_EQ(ConfigValue("询问"), "2");
    EXPECT_EQ(ConfigValue("自动计数"), "1");
    EXPECT_EQ(ConfigValue("立即保存"), "1");
    EXPECT_EQ(ConfigValue("自动保存"), "2");
}

TEST_F(MainWindowTest, TrayIconEventsOpenTheTrayMenuBelowRightOfThePointer) {
    ASSERT_TRUE(Start());
    const DWORD pid = program_->Id();
    for (LPARAM event : {LPARAM(WM_RBUTTONUP), LPARAM(WM_LBUTTONUP), LPARAM(WM_CONTEXTMENU)}) {
        SCOPED_TRACE(event);
        SetCursorPos(400, 300);
        PostMessageA(window_, WM_APP + 100, 100, event);
        HWND menu = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (menu = FindPopupMenu(pid)) != nullptr; }));
        RECT rect{};
        GetWindowRect(menu, &rect);
        EXPECT_EQ(rect.left, 403);
        EXPECT_EQ(rect.top, 303);
        if (event == WM_RBUTTONUP) SaveScreenshotIfWanted(menu, "tray_menu");
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitUntil([&] { return FindPopupMenu(pid) == nullptr; }));
    }
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
}

TEST_F(MainWindowTest, AboutFromTheTrayMenuShowsTheHiddenWindowOnItsThirdPage) {
    ASSERT_TRUE(Start("/s"));
    ASSERT_FALSE(IsWindowVisible(window_));
    SetCursorPos(400, 300);
    PostMessageA(window_, WM_APP + 100, 100, WM_RBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = FindPopupMenu(program_->Id())) != nullptr; }));
    // 打开主界面, 隐藏主界面, 开始抓图, 编辑上次抓图, 关于: the fifth item, separators skipped.
    for (int i = 0; i < 5; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window_) != FALSE; }));
    EXPECT_EQ(SendMessageA(Control("高级选择夹1"), TCM_GETCURSEL, 0, 0), kAboutPage);
    EXPECT_TRUE(IsWindowVisible(Control("按钮9")));
    EXPECT_FALSE(IsWindowVisible(Control("按钮1")));
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
}

TEST_F(MainWindowTest, PressingEitherButtonOnThePreviewOpensThePreviewMenu) {
    ASSERT_TRUE(Start());
    HWND preview = Control("A");
    for (UINT press : {UINT(WM_LBUTTONDOWN), UINT(WM_RBUTTONDOWN)}) {
        SCOPED_TRACE(press);
        SetCursorPos(600, 500);
        PostMessageA(preview, press, press == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(10, 10));
        HWND menu = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (menu = FindPopupMenu(program_->Id())) != nullptr; }));
        RECT rect{};
        GetWindowRect(menu, &rect);
        EXPECT_EQ(rect.left, 603);
        EXPECT_EQ(rect.top, 503);
        if (press == WM_RBUTTONDOWN) SaveScreenshotIfWanted(menu, "preview_menu");
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitUntil([&] { return FindPopupMenu(program_->Id()) == nullptr; }));
    }
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
}

TEST_F(MainWindowTest, CloseHidesCommandsShowAndHideAndExitEnds) {
    ASSERT_TRUE(Start());
    struct Step {
        const char* what;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool visibleAfter;
    };
    const Step steps[] = {
        {"close box", WM_CLOSE, 0, 0, false},
        {"tray double click", WM_APP + 100, 100, WM_LBUTTONDBLCLK, true},
        {"隐藏主界面", WM_COMMAND, kCmdHideMainWindow, 0, false},
        {"打开主界面", WM_COMMAND, kCmdShowMainWindow, 0, true},
        {"按钮2", 0, 0, 0, false},
    };
    for (const Step& step : steps) {
        if (step.message)
            PostMessageA(window_, step.message, step.wParam, step.lParam);
        else
            PostMessageA(Control(step.what), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return bool(IsWindowVisible(window_)) == step.visibleAfter; })) << step.what;
        EXPECT_TRUE(program_->Running()) << step.what;
    }
    EXPECT_TRUE(TrayIconExists(window_));
    EXPECT_EQ(GetFileAttributesA(ConfigPath().c_str()), INVALID_FILE_ATTRIBUTES) << "written before the exit";

    PostMessageA(window_, WM_COMMAND, kCmdExit, 0);
    EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(0));
    EXPECT_NE(GetFileAttributesA(ConfigPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
