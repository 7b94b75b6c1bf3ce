// The output reactions bound to the real main-window controls, built in this process: typing and clicking
// reach the naming refresh, a program-set counter is one change, and the buttons and menu items run the save
// and edit actions.
#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "output/naming_win.h"
#include "output/output_controls_win.h"
#include "output/post_capture_win.h"
#include "output/save_flow_win.h"
#include "tests/win/output_support.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/main_form.h"
#include "ui/main_window_layout.h"

using namespace output_test;

namespace {

std::string Text(const char* control) {
    HWND hwnd = FindControl(control);
    char text[512] = {};
    if (hwnd) GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Sends one key press to an edit box, as typing does.
void Type(const char* control, const std::string& text) {
    for (const char c : text) SendMessageA(FindControl(control), WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 0);
}

class OutputControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAppState(folder_.Path());
        RegisterFormClasses();
        host_ = CreateWindowExA(0, kFormWindowClass, "host", WS_OVERLAPPED | WS_CAPTION, 0, 0, 602, 400, nullptr,
                                nullptr, GetModuleHandleA(nullptr), &MainForm());
        ASSERT_TRUE(host_);
        BuildMainWindowControls(host_);
        BindOutputControls();
        RefreshFileName();
        // Counts the re-shows of the record, each of which follows one refresh of the name.
        const auto show = App().settingsChanged;
        App().settingsChanged = [this, show] {
            ++shows_;
            show();
        };
    }
    void TearDown() override {
        for (const ControlRow& row : MainWindowLayout().controls) SetControlHandler(row.name, ControlHandler());
        for (const char* caption : {"保存抓图", "编辑抓图", "编辑上次抓图"}) SetMenuAction(caption, nullptr);
        DestroyWindow(host_);
        App().settingsChanged = nullptr;
        App().captureChanged = nullptr;
        ClearCapture();
    }

    ScratchFolder folder_{"controls"};
    HWND host_ = nullptr;
    int shows_ = 0;
};

TEST_F(OutputControlsTest, TypingAndClickingRefreshTheShownName) {
    EXPECT_EQ(Text("命名预览"), "岚影抓图_1.png");

    SendMessageA(FindControl("计数器起始值"), EM_SETSEL, 0, -1);
    shows_ = 0;
    Type("计数器起始值", "07");
    EXPECT_EQ(shows_, 2) << "one refresh per keystroke";
    EXPECT_EQ(Text("命名预览"), "岚影抓图_07.png");

    SendMessageA(FindControl("前缀编辑"), EM_SETSEL, 0, -1);
    Type("前缀编辑", "ab");
    EXPECT_EQ(Text("命名预览"), "ab_07.png");

    struct Click {
        const char* control;
        const char* preview;
        const char* counter;
    } clicks[] = {
        {"前缀选择", "07.png", "07"},
        {"前缀选择", "ab_07.png", "07"},
        {"自动数字", "ab.png", "07"},
        {"自动数字", "ab_07.png", "07"},
        {"BMP", "ab_1.bmp", "1"},  // a format click starts the number again
        {"GIF", "ab_1.gif", "1"},
    };
    for (const Click& c : clicks) {
        SendMessageA(FindControl(c.control), BM_CLICK, 0, 0);
        EXPECT_EQ(Text("命名预览"), c.preview) << c.control;
        EXPECT_EQ(Text("计数器起始值"), c.counter) << c.control;
        EXPECT_EQ(App().settings.counterText, c.counter) << c.control;
    }
    SendMessageA(FindControl("日期"), BM_CLICK, 0, 0);
    SYSTEMTIME t{};
    GetLocalTime(&t);
    EXPECT_EQ(Text("命名预览"), "ab_" + std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" +
                                    std::to_string(t.wDay) + "_1.gif");
}

TEST_F(OutputControlsTest, ProgramSetCounterIsExactlyOneRefresh) {
    SetCounterText("007");
    shows_ = 0;
    AdvanceCounter();
    EXPECT_EQ(shows_, 1);
    EXPECT_EQ(Text("计数器起始值"), "8");
    EXPECT_EQ(Text("命名预览"), "岚影抓图_8.png");

    // The window's own way of setting the text is one change too.
    shows_ = 0;
    SetControlText("计数器起始值", "20");
    EXPECT_EQ(shows_, 1);
    EXPECT_EQ(Text("命名预览"), "岚影抓图_20.png");
}

TEST_F(OutputControlsTest, AutoNumberOffTakesAutoCountAwayAndOnGivesItBack) {
    SendMessageA(FindControl("自动数字"), BM_CLICK, 0, 0);
    EXPECT_EQ(App().settings.existingFilePolicy, ExistingFilePolicy::Ask);
    EXPECT_FALSE(IsWindowEnabled(FindControl("自动计数")));
    EXPECT_EQ(SendMessageA(FindControl("询问"), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageA(FindControl("自动数字"), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(FindControl("自动计数")));
    EXPECT_EQ(App().settings.existingFilePolicy, ExistingFilePolicy::Ask) << "Ask stays selected";

    SendMessageA(FindControl("立即保存"), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(FindControl("自动保存")));
    EXPECT_EQ(SendMessageA(FindControl("自动保存"), BM_GETCHECK, 0, 0), BST_CHECKED) << "the tick stays";
}

TEST_F(OutputControlsTest, ButtonsAndMenuItemsRunTheActions) {
    // Before any capture and any save each action answers with its box; the box proves which action ran.
    ClearCapture();
    App().settings.autoSaveFolder = folder_.File("missing");
    struct Case {
        const char* what;
        std::function<void()> trigger;
        const char* title;
        const char* text;
    } cases[] = {
        {"保存按钮", [] { SendMessageA(FindControl("保存按钮"), BM_CLICK, 0, 0); }, kErrorTitle, "您还没抓图！"},
        {"按钮4", [] { SendMessageA(FindControl("按钮4"), BM_CLICK, 0, 0); }, kErrorTitle, "您还没抓图！"},
        {"打开保存文件夹", [] { SendMessageA(FindControl("打开保存文件夹"), BM_CLICK, 0, 0); }, kNoFolderTitle,
         "浏览指定目录不存在。"},
        {"保存抓图", [] { RunMainMenuCommand(nullptr, kCmdSaveCapture); }, kErrorTitle, "您还没抓图！"},
        {"编辑抓图", [] { RunMainMenuCommand(nullptr, kCmdEditCapture); }, kErrorTitle, "您还没抓图！"},
        {"编辑上次抓图", [] { RunMainMenuCommand(nullptr, kCmdEditLastCapture); }, kErrorTitle, "您还没抓图！"},
    };
    for (const Case& c : cases) {
        DialogDriver driver({Box(c.title)});
        c.trigger();
        Pump();
        const std::vector<SeenDialog> seen = driver.Finish();
        ASSERT_EQ(seen.size(), 1u) << c.what << "\n" << Summary(seen);
        EXPECT_EQ(seen[0].text, c.text) << c.what;
    }
}

}  // namespace
