// The JPEG quality dialog in the real program, and the hotkey dialog's window run in this process: what they
// show, how the JPEG dialog's boxes and sliders follow each other, and that only OK stores.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "tests/win/harness.h"
#include "tests/win/ui_support.h"
#include "ui/dialog_layouts.h"
#include "ui/hotkey_dialog.h"
#include "ui/main_window_layout.h"

using namespace harness;
using namespace ui_test;

namespace {

std::string ConfigValue(const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA("基础配置", key, "<missing>", value, sizeof value, ConfigPath().c_str());
    return value;
}

class JpgDialogTest : public ::testing::Test {
public:
    void SetUp() override {
        EndStrayInstances();
        RemoveFile(ConfigPath());
    }
    void TearDown() override { EndStrayInstances(); }

    bool Start(const std::optional<std::string>& config = std::nullopt) {
        program_.emplace(Program::Start("", config));
        window_ = program_->WaitForMainWindow();
        return window_ != nullptr;
    }
    // Clicks 按钮6 and waits for the dialog.
    HWND Open() {
        PostMessageA(MainControl(window_, "按钮6"), BM_CLICK, 0, 0);
        dialog_ = nullptr;
        WaitUntil([&] {
            dialog_ = FindWindowByCaption("JPG图片质量", program_->Id());
            return dialog_ && IsWindowVisible(dialog_);
        });
        return dialog_;
    }
    HWND Control(const char* name) { return FindControlIn(dialog_, JpgQualityDialogLayout(), name); }
    int Position(const char* slider) { return int(SendMessageA(Control(slider), TBM_GETPOS, 0, 0)); }
    // Waits until the box shows `text` and its slider `position`.
    bool Shows(const char* edit, const char* slider, const std::string& text, int position) {
        return WaitUntil([&] { return TextOf(Control(edit)) == text && Position(slider) == position; });
    }
    bool WaitClosed() { return WaitUntil([&] { return !IsWindow(dialog_); }); }

    std::optional<Program> program_;
    HWND window_ = nullptr;
    HWND dialog_ = nullptr;
};

TEST_F(JpgDialogTest, TypedValuesAreClampedSlidersFollowAndOkStoresTheSliders) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Open());
    EXPECT_FALSE(IsWindowEnabled(window_)) << "the main window takes no input while the dialog is open";
    EXPECT_TRUE(Shows("JPG质量1", "滑块条1", "75", 75));
    EXPECT_TRUE(Shows("柔化", "滑块条2", "0", 0));
    EXPECT_TRUE(CheckedOf(Control("优化编码")));
    SaveScreenshotIfWanted(dialog_, "jpg_dialog");

    struct Step {
        const char* edit;
        const char* slider;
        const char* typed;  // nullptr: the slider moves three steps right instead
        const char* shown;
        int position;
    };
    const Step steps[] = {
        {"JPG质量1", "滑块条1", "150", "100", 100},
        {"JPG质量1", "滑块条1", "", "1", 1},
        {"JPG质量1", "滑块条1", "40", "40", 40},
        {"柔化", "滑块条2", "-5", "0", 0},
        {"柔化", "滑块条2", "abc", "abc", 0},  // not a number: stays, the slider goes to 0
        {"柔化", "滑块条2", nullptr, "3", 3},
    };
    for (const Step& step : steps) {
        if (step.typed) {
            TypeInto(Control(step.edit), step.typed);
        } else {
            for (int i = 0; i < 3; ++i) PostMessageA(Control(step.slider), WM_KEYDOWN, VK_RIGHT, 0);
        }
        EXPECT_TRUE(Shows(step.edit, step.slider, step.shown, step.position))
            << (step.typed ? step.typed : "slider") << ": " << TextOf(Control(step.edit)) << " / "
            << Position(step.slider);
    }
    SendMessageA(Control("优化编码"), BM_CLICK, 0, 0);
    PostMessageA(Control("确定按钮"), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitClosed());
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(window_) != FALSE; }));

    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
    EXPECT_EQ(ConfigValue("JPG质量"), "40");
    EXPECT_EQ(ConfigValue("JPG柔化"), "3");
    EXPECT_EQ(ConfigValue("优化编码"), "1");
}

TEST_F(JpgDialogTest, CancelEscAndTheCloseBoxStoreNothing) {
    ASSERT_TRUE(Start());
    const std::function<void(JpgDialogTest&)> closers[] = {
        [](JpgDialogTest& t) { PostMessageA(t.Control("取消按钮"), BM_CLICK, 0, 0); },
        [](JpgDialogTest& t) { PostMessageA(t.Control("JPG质量1"), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](JpgDialogTest& t) { PostMessageA(t.dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (size_t i = 0; i < std::size(closers); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(Open());
        TypeInto(Control("JPG质量1"), "20");
        for (int k = 0; k < 4; ++k) PostMessageA(Control("滑块条2"), WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageA(Control("优化编码"), BM_CLICK, 0, 0);
        EXPECT_TRUE(Shows("JPG质量1", "滑块条1", "20", 20));
        EXPECT_TRUE(Shows("柔化", "滑块条2", "4", 4));
        closers[i](*this);
        ASSERT_TRUE(WaitClosed());
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(window_) != FALSE; }));
    }
    // Every opening starts afresh from the options.
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Shows("JPG质量1", "滑块条1", "75", 75));
    EXPECT_TRUE(Shows("柔化", "滑块条2", "0", 0));
    PostMessageA(Control("取消按钮"), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitClosed());

    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
    EXPECT_EQ(ConfigValue("JPG质量"), "75");
    EXPECT_EQ(ConfigValue("JPG柔化"), "0");
    EXPECT_EQ(ConfigValue("优化编码"), "2");
}

TEST_F(JpgDialogTest, StoredValuesOutOfRangeOpenClampedAndSpinnersAndFocusLossObeyTheRules) {
    ASSERT_TRUE(Start("[基础配置]\r\nJPG质量=0\r\nJPG柔化=-7\r\n优化编码=1\r\n"));
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Shows("JPG质量1", "滑块条1", "1", 1));
    EXPECT_TRUE(Shows("柔化", "滑块条2", "0", 0));
    EXPECT_FALSE(CheckedOf(Control("优化编码")));

    // The spinners sit right of their boxes, reach one step beyond the range, and the box brings it back.
    HWND spinner = GetDlgItem(dialog_, ControlId(JpgQualityDialogLayout(), "柔化") + kSpinnerIdOffset);
    ASSERT_TRUE(spinner);
    EXPECT_EQ(RectInClient(spinner, dialog_).left, RectInClient(Control("柔化"), dialog_).right);
    const LRESULT range = SendMessageA(spinner, UDM_GETRANGE, 0, 0);
    EXPECT_EQ(short(LOWORD(range)), 101);
    EXPECT_EQ(short(HIWORD(range)), -1);
    RECT arrows{};
    GetClientRect(spinner, &arrows);
    const LPARAM lowerArrow = MAKELPARAM(arrows.right / 2, arrows.bottom - 3);
    PostMessageA(spinner, WM_LBUTTONDOWN, MK_LBUTTON, lowerArrow);
    PostMessageA(spinner, WM_LBUTTONUP, 0, lowerArrow);
    EXPECT_TRUE(Shows("柔化", "滑块条2", "0", 0)) << TextOf(Control("柔化"));

    // Integer input: leaving the box keeps the number it starts with; a 0 leaves it empty.
    const auto focusBy = [](HWND edit) {
        PostMessageA(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageA(edit, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    };
    focusBy(Control("柔化"));
    TypeInto(Control("柔化"), "12xyz");
    EXPECT_TRUE(Shows("柔化", "滑块条2", "12xyz", 12));
    focusBy(Control("JPG质量1"));
    EXPECT_TRUE(Shows("柔化", "滑块条2", "12", 12));
    focusBy(Control("柔化"));
    TypeInto(Control("柔化"), "abc");
    focusBy(Control("JPG质量1"));
    EXPECT_TRUE(Shows("柔化", "滑块条2", "", 0));

    PostMessageA(Control("确定按钮"), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
    EXPECT_EQ(ConfigValue("JPG质量"), "1");
    EXPECT_EQ(ConfigValue("JPG柔化"), "0");
}

// The hotkey dialog runs modally on this thread while a second thread looks at it and closes it.
TEST(HotkeyDialogWindow, ShowsItsControlsAndOnlyOkRunsTheOkHandler) {
    RegisterFormClasses();
    // A visible window of this thread stands in for the main window.
    Form other;
    HWND standIn = other.CreateTopLevel(JpgQualityDialogLayout(), 96, true);
    ASSERT_TRUE(standIn);

    struct Case {
        const char* how;
        bool runsOk;
    };
    const Case cases[] = {{"确定", true}, {"取消", false}, {"Esc", false}, {"close box", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        std::atomic<bool> visibleWhenFilled{true};
        std::atomic<int> okRuns{0};
        std::atomic<bool> ctrlSeenByOk{false};
        std::atomic<int> keySeenByOk{-1};
        std::string report;
        std::thread driver([&] {
            HWND dialog = nullptr;
            WaitUntil([&] { return (dialog = FindWindowByCaption("抓图热键设置", GetCurrentProcessId())) != nullptr &&
                                   IsWindowVisible(dialog); });
            if (!dialog) {
                report = "no dialog";
                return;
            }
            const auto control = [&](const char* name) { return FindControlIn(dialog, HotkeyDialogLayout(), name); };
            HWND list = control("组合框1");
            char f1[16] = {}, f12[16] = {};
            SendMessageA(list, CB_GETLBTEXT, 36, reinterpret_cast<LPARAM>(f1));
            SendMessageA(list, CB_GETLBTEXT, 47, reinterpret_cast<LPARAM>(f12));
            report = std::to_string(SendMessageA(list, CB_GETCOUNT, 0, 0)) + " " + f1 + " " + f12 + " " +
                     TextOf(control("Ctrl")) + TextOf(control("标签1")) + TextOf(control("Alt")) +
                     TextOf(control("标签2")) + TextOf(control("Shift")) + " " + TextOf(control("确定按钮")) +
                     TextOf(control("取消按钮")) + (IsWindowEnabled(standIn) ? " other-enabled" : " other-disabled");
            if (std::string(c.how) == "确定") SaveScreenshotIfWanted(dialog, "hotkey_dialog");
            SendMessageA(control("Ctrl"), BM_CLICK, 0, 0);
            SendMessageA(list, CB_SETCURSEL, 5, 0);
            if (std::string(c.how) == "确定") PostMessageA(control("确定按钮"), BM_CLICK, 0, 0);
            if (std::string(c.how) == "取消") PostMessageA(control("取消按钮"), BM_CLICK, 0, 0);
            if (std::string(c.how) == "Esc") PostMessageA(control("组合框1"), WM_KEYDOWN, VK_ESCAPE, 0);
            if (std::string(c.how) == "close box") PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        RunHotkeyDialog(
            [&](Form& form) {
                visibleWhenFilled = IsWindowVisible(form.Window()) != FALSE;
                EXPECT_EQ(form.Selection("组合框1"), 0) << "item 0 is selected by the layout";
            },
            [&](Form& form) {
                ++okRuns;
                ctrlSeenByOk = form.Checked("Ctrl");
                keySeenByOk = form.Selection("组合框1");
            });
        driver.join();
        EXPECT_EQ(report, "48 F1 F12 Ctrl+Alt+Shift 确定取消 other-disabled");
        EXPECT_FALSE(visibleWhenFilled) << "filled before it shows";
        EXPECT_EQ(okRuns, c.runsOk ? 1 : 0);
        if (c.runsOk) {
            EXPECT_TRUE(ctrlSeenByOk);
            EXPECT_EQ(keySeenByOk, 5);
        }
        EXPECT_FALSE(FindWindowByCaption("抓图热键设置", GetCurrentProcessId())) << "closed";
        EXPECT_TRUE(IsWindowEnabled(standIn)) << "enabled again";
    }
}

}  // namespace
