// The naming and saving reactions in the real program: the preview its start-up shows, typing and clicking in
// the naming controls, and the save and edit buttons before any capture.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "tests/win/harness.h"
#include "tests/win/ui_support.h"

using namespace harness;
using namespace ui_test;

namespace {

class OutputProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        EndStrayInstances();
        RemoveFile(ConfigPath());
        RemoveFile(harness::TempCapturePath());
    }
    void TearDown() override { EndStrayInstances(); }

    HWND Control(const char* name) { return MainControl(window_, name); }

    bool PreviewBecomes(const std::string& expected) {
        return WaitUntil([&] { return TextOf(Control("命名预览")) == expected; }, 5000);
    }

    std::optional<Program> program_;
    HWND window_ = nullptr;
};

TEST_F(OutputProgramTest, StartUpShowsTheNameAndTheControlsKeepItCurrent) {
    program_.emplace(Program::Start("", "[基础配置]\r\n前缀选择=2\r\n前缀=起点\r\n自动=2\r\n计数器=007\r\n日期=1\r\n"
                                        "JPG.选中=2\r\nPNG.选中=1\r\n"));
    window_ = program_->WaitForMainWindow();
    ASSERT_TRUE(window_);
    EXPECT_TRUE(PreviewBecomes("起点_007.jpg")) << TextOf(Control("命名预览"));

    TypeInto(Control("计数器起始值"), "12");
    EXPECT_TRUE(PreviewBecomes("起点_12.jpg")) << TextOf(Control("命名预览"));
    TypeInto(Control("前缀编辑"), "终点");
    EXPECT_TRUE(PreviewBecomes("终点_12.jpg")) << TextOf(Control("命名预览"));

    // A format click starts the number again, in the edit box too.
    SendMessageA(Control("BMP"), BM_CLICK, 0, 0);
    EXPECT_TRUE(PreviewBecomes("终点_1.bmp")) << TextOf(Control("命名预览"));
    EXPECT_EQ(TextOf(Control("计数器起始值")), "1");
    SendMessageA(Control("自动数字"), BM_CLICK, 0, 0);
    EXPECT_TRUE(PreviewBecomes("终点.bmp")) << TextOf(Control("命名预览"));
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
}

TEST_F(OutputProgramTest, SaveAndEditButtonsBeforeAnyCaptureSaySo) {
    program_.emplace(Program::Start());
    window_ = program_->WaitForMainWindow();
    ASSERT_TRUE(window_);
    for (const char* button : {"保存按钮", "按钮4"}) {
        PostMessageA(Control(button), BM_CLICK, 0, 0);
        HWND box = WaitForCaption("错误：", program_->Id(), 20000);
        ASSERT_TRUE(box) << button;
        EXPECT_NE(MessageBoxTexts(box).find("您还没抓图！"), std::string::npos) << MessageBoxTexts(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << button;
    }
    EXPECT_EQ(program_->Exit(), std::optional<DWORD>(0));
}

}  // namespace
