// The about page of the real program: the contact address goes to the clipboard as text, and the
// confirmation is shown also when another program holds the clipboard.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/win/harness.h"
#include "tests/win/ui_support.h"
#include "ui/about_page.h"

using namespace harness;
using namespace ui_test;

namespace {

class AboutPageTest : public ::testing::Test {
protected:
    void SetUp() override { EndStrayInstances(); }
    void TearDown() override { EndStrayInstances(); }

    // Clicks 按钮9 and returns the confirmation's texts, closing it.
    std::string CopyAndConfirm(Program& program, HWND window) {
        PostMessageA(MainControl(window, "按钮9"), BM_CLICK, 0, 0);
        HWND box = WaitForCaption("信息：", program.Id());
        if (!box) return "no message box";
        const std::string texts = MessageBoxTexts(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(box); });
        return texts;
    }
};

TEST_F(AboutPageTest, CopyButtonPutsTheShownAddressOnTheClipboardAsText) {
    Program program = Program::Start();
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(PutClipboardText("something else"));

    EXPECT_EQ(CopyAndConfirm(program, window), "邮箱地址已经复制到剪贴板。");
    EXPECT_EQ(ClipboardText(), std::optional<std::string>(kContactAddress));
    const std::string notice = TextOf(MainControl(window, "标签14"));
    EXPECT_NE(notice.find(kContactAddress), std::string::npos) << notice;
    EXPECT_EQ(TextOf(MainControl(window, "按钮9")), "复制邮箱地址到剪贴板");
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

TEST_F(AboutPageTest, ConfirmationShowsWhileAnotherProgramHoldsTheClipboardWhichStaysUnchanged) {
    Program program = Program::Start();
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(PutClipboardText("held text"));
    {
        // This process holds it open meanwhile, for a window of its own (Wine lets a second opener without a
        // window in when the holder has none either).
        UniqueWindow holder(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
        ASSERT_TRUE(holder);
        ClipboardSession held(holder.get());
        ASSERT_TRUE(held.IsOpen());
        EXPECT_EQ(CopyAndConfirm(program, window), "邮箱地址已经复制到剪贴板。");
    }
    EXPECT_EQ(ClipboardText(), std::optional<std::string>("held text"));
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

}  // namespace
