// The file-name preview and the reactions of the naming controls, run in-process on App().
#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "output/naming_win.h"
#include "output/save_flow_win.h"
#include "tests/win/output_support.h"

using namespace output_test;

namespace {

class OutputNamingTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(folder_.Path()); }
    void TearDown() override { App().settingsChanged = nullptr; }

    // Counts the window's re-shows of the record.
    void CountShows() {
        shows_ = 0;
        App().settingsChanged = [this] { ++shows_; };
    }

    ScratchFolder folder_{"naming"};
    int shows_ = 0;
};

std::string Today() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" + std::to_string(t.wDay);
}

TEST_F(OutputNamingTest, PreviewFollowsEveryNamingControl) {
    AppSettings& s = App().settings;
    EXPECT_EQ(App().namePreview, "岚影抓图_1.png");
    EXPECT_EQ(App().fileNameStem, "岚影抓图_");

    struct Step {
        const char* what;
        void (*change)(AppSettings&);
        void (*react)();
        std::string preview;
        std::string stem;
    } steps[] = {
        {"prefix typed", [](AppSettings& s) { s.prefix = "截图"; }, OnPrefixEditChanged, "截图_1.png", "截图_"},
        {"date on", [](AppSettings& s) { s.useDate = true; }, OnUseDateClicked, "截图_" + Today() + "_1.png",
         "截图_" + Today() + "_"},
        {"counter typed", [](AppSettings& s) { s.counterText = "007"; }, OnCounterEditChanged,
         "截图_" + Today() + "_007.png", "截图_" + Today() + "_"},
        {"prefix off", [](AppSettings& s) { s.usePrefix = false; }, OnUsePrefixClicked, Today() + "_007.png",
         Today() + "_"},
        {"number off", [](AppSettings& s) { s.useAutoNumber = false; }, OnAutoNumberClicked, Today() + ".png",
         Today()},
        {"date off", [](AppSettings& s) { s.useDate = false; }, OnUseDateClicked, "", ""},
        {"prefix on, empty", [](AppSettings& s) { s.usePrefix = true, s.prefix = ""; }, OnUsePrefixClicked, "", ""},
        {"number on", [](AppSettings& s) { s.useAutoNumber = true; }, OnAutoNumberClicked, "_007.png", "_"},
    };
    for (const Step& step : steps) {
        CountShows();
        step.change(s);
        step.react();
        EXPECT_GE(shows_, 1) << step.what << ": the window was not asked to show the new name";
        EXPECT_EQ(App().fileNameStem, step.stem) << step.what;
        if (!step.preview.empty()) {
            EXPECT_EQ(App().namePreview, step.preview) << step.what;
            continue;
        }
        // Nothing in front of the extension: the timestamp of the refresh, e.g. 2009年6月7日14时5分9秒.png.
        SYSTEMTIME t{};
        GetLocalTime(&t);
        const std::string date =
            std::to_string(t.wYear) + "年" + std::to_string(t.wMonth) + "月" + std::to_string(t.wDay) + "日";
        EXPECT_EQ(App().namePreview.rfind(date, 0), 0u) << step.what << ": " << App().namePreview;
        EXPECT_EQ(App().namePreview.substr(App().namePreview.size() - 4), ".png") << step.what;
        EXPECT_NE(App().namePreview.find("时"), std::string::npos) << App().namePreview;
    }
}

TEST_F(OutputNamingTest, FormatClickRestartsTheNumberAndChangesTheExtension) {
    struct Case {
        ImageFormat format;
        const char* preview;
    } cases[] = {
        {ImageFormat::Bmp, "岚影抓图_1.bmp"},
        {ImageFormat::Jpg, "岚影抓图_1.jpg"},
        {ImageFormat::Gif, "岚影抓图_1.gif"},
        {ImageFormat::Png, "岚影抓图_1.png"},
    };
    for (const Case& c : cases) {
        SetCounterText("15");
        ASSERT_EQ(App().namePreview.substr(0, 11), "岚影抓图_15");
        OnFormatClicked(c.format);
        EXPECT_EQ(App().settings.imageFormat, c.format);
        EXPECT_EQ(App().settings.counterText, "1");
        EXPECT_EQ(App().namePreview, c.preview);
    }
}

TEST_F(OutputNamingTest, AdvanceCounterWritesTheSuccessorAndShowsIt) {
    struct Case {
        const char* counter;
        const char* next;
    } cases[] = {{"1", "2"}, {"9", "10"}, {"007", "8"}, {"1.5", "2.5"}, {"abc", "1"}, {"9999999999999", "1e+13"}};
    for (const Case& c : cases) {
        SetCounterText(c.counter);
        AdvanceCounter();
        EXPECT_EQ(App().settings.counterText, c.next) << c.counter;
        EXPECT_EQ(App().namePreview, std::string("岚影抓图_") + c.next + ".png") << c.counter;
    }
}

TEST_F(OutputNamingTest, ProgramSetCounterIsOneChangeEvenWhenTheWindowEchoesIt) {
    // A window that raises the edit boxes' change events while it re-shows the record, as SetWindowText does.
    // The echo comes with a changed prefix: a refresh run by the echo would show it in the name.
    int refreshesSeen = 0;
    bool echo = true;
    App().settingsChanged = [&] {
        ++refreshesSeen;
        if (!echo) return;
        App().settings.prefix = "echo";
        OnCounterEditChanged();
        OnPrefixEditChanged();
        App().settings.prefix = "岚影抓图";
    };
    SetCounterText("007");
    EXPECT_EQ(refreshesSeen, 1);
    EXPECT_EQ(App().namePreview, "岚影抓图_007.png") << "the echo was taken for a second change";
    refreshesSeen = 0;
    AdvanceCounter();
    EXPECT_EQ(refreshesSeen, 1);
    EXPECT_EQ(App().settings.counterText, "8");
    EXPECT_EQ(App().namePreview, "岚影抓图_8.png") << "the echo was taken for a second change";
    echo = false;

    // Typing is one change too: one refresh per keystroke, and the echo of the re-show adds none.
    refreshesSeen = 0;
    App().settings.counterText = "81";
    OnCounterEditChanged();
    EXPECT_EQ(refreshesSeen, 1);
    EXPECT_EQ(App().namePreview, "岚影抓图_81.png");
    EXPECT_FALSE(ShowingRecordInWindow());
}

TEST_F(OutputNamingTest, AutoCountIsAvailableOnlyWithTheRunningNumber) {
    struct Case {
        ExistingFilePolicy policy;
        bool numberOn;
        ExistingFilePolicy policyAfter;
        bool autoCountEnabled;
    } cases[] = {
        {ExistingFilePolicy::AutoCount, false, ExistingFilePolicy::Ask, false},
        {ExistingFilePolicy::Overwrite, false, ExistingFilePolicy::Overwrite, false},
        {ExistingFilePolicy::SaveDialog, false, ExistingFilePolicy::SaveDialog, false},
        {ExistingFilePolicy::Ask, true, ExistingFilePolicy::Ask, true},
        {ExistingFilePolicy::Overwrite, true, ExistingFilePolicy::Overwrite, true},
    };
    for (const Case& c : cases) {
        App().settings.existingFilePolicy = c.policy;
        App().settings.autoCountEnabled = !c.numberOn;
        App().settings.useAutoNumber = c.numberOn;
        OnAutoNumberClicked();
        EXPECT_EQ(App().settings.existingFilePolicy, c.policyAfter) << int(c.policy) << c.numberOn;
        EXPECT_EQ(App().settings.autoCountEnabled, c.autoCountEnabled) << int(c.policy) << c.numberOn;
        EXPECT_EQ(App().namePreview, c.numberOn ? "岚影抓图_1.png" : "岚影抓图.png");
    }
}

TEST_F(OutputNamingTest, SaveImmediatelyDecidesWhetherAutoSaveIsAvailable) {
    for (const bool autoSaveTicked : {true, false}) {
        App().settings.autoSave = autoSaveTicked;
        App().settings.saveImmediately = false;
        OnSaveImmediatelyClicked();
        EXPECT_FALSE(App().settings.autoSaveEnabled);
        EXPECT_EQ(App().settings.autoSave, autoSaveTicked) << "the tick stays as it was";
        App().settings.saveImmediately = true;
        OnSaveImmediatelyClicked();
        EXPECT_TRUE(App().settings.autoSaveEnabled);
        EXPECT_EQ(App().settings.autoSave, autoSaveTicked);
    }
}

}  // namespace
