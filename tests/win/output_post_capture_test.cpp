// The follow-up actions, run in-process: the boxes, and the command lines that reach a recorder installed as
// Paint and as the file manager.
#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "output/post_capture_win.h"
#include "output/save_flow_win.h"
#include "tests/win/output_support.h"

using namespace output_test;

namespace {

std::string CurrentFolder() {
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    return folder;
}

class OutputPostCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAppState(folder_.Path());
        for (const char* leaf : {"mspaint.exe", "explorer.exe"}) DeleteFileA(RecordPath(leaf).c_str());
        previousFolder_ = CurrentFolder();
    }
    void TearDown() override {
        SetCurrentDirectoryA(previousFolder_.c_str());
        if (installedPaint_) DeleteFileA(PaintProgramPath().c_str());
    }

    // Paint as the test prefix has it: none, unless a test installs the recorder.
    bool PaintMissing() const { return GetFileAttributesA(PaintProgramPath().c_str()) == INVALID_FILE_ATTRIBUTES; }

    void InstallPaint() {
        ASSERT_TRUE(InstallRecorder(PaintProgramPath())) << PaintProgramPath();
        installedPaint_ = true;
    }

    // Runs `action` and expects exactly one error box with this title and text.
    static void ExpectErrorBox(void (*action)(), const std::string& title, const std::string& text) {
        DialogDriver driver({Box(title)});
        action();
        const std::vector<SeenDialog> seen = driver.Finish();
        ASSERT_EQ(seen.size(), 1u) << Summary(seen);
        EXPECT_TRUE(seen[0].expected) << Summary(seen);
        EXPECT_EQ(seen[0].text, text);
        EXPECT_EQ(seen[0].icon, SeenDialog::Icon::Error);
        EXPECT_TRUE(seen[0].hasOk && !seen[0].hasYes);
    }

    ScratchFolder folder_{"post"};
    std::string previousFolder_;
    bool installedPaint_ = false;
};

TEST_F(OutputPostCaptureTest, PaintIsTheSystem32ProgramUnderTheWindowsFolder) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(PaintProgramPath(), std::string(windows) + "\\system32\\mspaint.exe");
}

TEST_F(OutputPostCaptureTest, EditInPaintBeforeAnySaveSaysSo) {
    InstallPaint();
    // A capture that was not saved cannot be edited.
    SetCapture(Bmp24(4, 3, [](int, int) { return MakeColorRef(1, 2, 3); }));
    ExpectErrorBox(EditInPaint, "错误：", "您还没抓图！");
    ClearCapture();
    Sleep(500);
    EXPECT_EQ(GetFileAttributesA(RecordPath("mspaint.exe").c_str()), INVALID_FILE_ATTRIBUTES) << "Paint was started";
}

TEST_F(OutputPostCaptureTest, EditInPaintWithoutPaintSaysSo) {
    if (!PaintMissing()) GTEST_SKIP() << "this system has Paint";
    App().lastSavedPath = folder_.File("岚影抓图_1.png");
    ExpectErrorBox(EditInPaint, "错误：", "您的系统已精简画图工具，无法打开编辑");
}

TEST_F(OutputPostCaptureTest, EditInPaintHandsOverTheSavedFileQuoted) {
    ScratchFolder blanks("with blanks in it");
    InstallPaint();
    // One real save into a folder with blanks; one recorded path whose file is gone (Paint reports that itself).
    SetCapture(Bmp24(4, 3, [](int x, int y) { return MakeColorRef(std::uint8_t(x * 60), std::uint8_t(y * 80), 9); }));
    App().settings.autoSaveFolder = blanks.Path();
    {
        DialogDriver driver;
        SaveAfterCapture();
        ASSERT_TRUE(driver.Finish().empty());
    }
    ClearCapture();
    for (const std::string& saved : {blanks.Path() + "\\岚影抓图_1.png", std::string("C:\\gone away\\a b.bmp")}) {
        App().lastSavedPath = saved;
        DeleteFileA(RecordPath("mspaint.exe").c_str());
        DialogDriver driver;
        EditInPaint();
        EXPECT_TRUE(driver.Finish().empty());
        const std::optional<RecordedStart> record = WaitForRecord("mspaint.exe");
        ASSERT_TRUE(record.has_value()) << "Paint was not started for " << saved;
        EXPECT_EQ(record->commandLine, PaintProgramPath() + " \"" + saved + "\"");
        EXPECT_EQ(record->startupFlags & STARTF_USESHOWWINDOW, DWORD(STARTF_USESHOWWINDOW));
        EXPECT_EQ(record->showWindow, SW_SHOWNORMAL);
        EXPECT_EQ(record->currentFolder, CurrentFolder()) << "Paint inherits the current folder";
    }
}

TEST_F(OutputPostCaptureTest, OpenSaveFolderOnAMissingFolderSaysSo) {
    const std::string deleted = folder_.File("deleted later");
    CreateDirectoryA(deleted.c_str(), nullptr);
    RemoveTree(deleted);
    for (const std::string& folder : {deleted, deleted + "\\", std::string()}) {
        App().settings.autoSaveFolder = folder;
        ExpectErrorBox(OpenSaveFolder, "打开文件夹错误：", "浏览指定目录不存在。");
    }
}

TEST_F(OutputPostCaptureTest, OpenSaveFolderStartsTheFileManagerOnTheFolder) {
    // "explorer.exe" without a path is looked up in the current folder before the system folders: the recorder
    // placed there takes the call.
    ScratchFolder here("cwd");
    ASSERT_TRUE(InstallRecorder(here.File("explorer.exe")));
    ASSERT_TRUE(SetCurrentDirectoryA(here.Path().c_str()));
    // The desktop default ends in a backslash; a chosen folder does not.
    for (const std::string& folder : {folder_.Path() + "\\", folder_.Path()}) {
        App().settings.autoSaveFolder = folder;
        DeleteFileA(RecordPath("explorer.exe").c_str());
        DialogDriver driver;
        OpenSaveFolder();
        EXPECT_TRUE(driver.Finish().empty());
        const std::optional<RecordedStart> record = WaitForRecord("explorer.exe");
        ASSERT_TRUE(record.has_value()) << "the file manager was not started for " << folder;
        EXPECT_EQ(record->commandLine, "explorer.exe /n," + folder);
        EXPECT_EQ(record->startupFlags & STARTF_USESHOWWINDOW, DWORD(STARTF_USESHOWWINDOW));
        EXPECT_EQ(record->showWindow, SW_SHOWNORMAL);
    }
}

}  // namespace
