// Start-up, single instance, command line, tray icon, exit and the configuration file, driven through the
// real program.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "app/application.h"
#include "tests/win/harness.h"

using namespace harness;

namespace {

constexpr const char* kCaption = "岚影 - 专业抓图工具 Ver 1.0";

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        EndStrayInstances();
        RemoveFile(ConfigPath());
        RemoveFile(harness::TempCapturePath());
    }
    void TearDown() override { EndStrayInstances(); }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The value of `key` in the written file, through the profile API as the program reads it.
std::string ConfigValue(const char* key) {
    char value[10240] = {};
    GetPrivateProfileStringA("基础配置", key, "<missing>", value, sizeof value, ConfigPath().c_str());
    return value;
}

// Starts, waits for the start-up to finish, exits through the program's own request, and expects exit code 0.
void RunOnce(const std::optional<std::string>& config, const std::string& args = "") {
    Program program = config ? Program::Start(args, config) : Program::Start(args);
    ASSERT_TRUE(program.WaitForMainWindow()) << "no main window";
    const auto code = program.Exit();
    ASSERT_TRUE(code.has_value()) << "did not exit";
    EXPECT_EQ(*code, 0u);
}

TEST_F(StartupTest, FirstStartShowsWindowAndExitWritesThe31KeysWithFirstRunValues) {
    Program program = Program::Start();
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(window); }));
    EXPECT_FALSE(GetFileAttributesA(ConfigPath().c_str()) != INVALID_FILE_ATTRIBUTES) << "written before exit";

    WriteFileBytes(harness::TempCapturePath(), "BM");
    ASSERT_EQ(program.Exit(), std::optional<DWORD>(0));
    EXPECT_EQ(GetFileAttributesA(harness::TempCapturePath().c_str()), INVALID_FILE_ATTRIBUTES) << "temp.bmp left behind";

    const auto bytes = ReadFileBytes(ConfigPath());
    ASSERT_TRUE(bytes.has_value());
    const std::vector<std::string> lines = Lines(*bytes);
    ASSERT_EQ(lines.size(), 32u) << *bytes;
    EXPECT_EQ(lines[0], "[基础配置]");  // GBK bytes, as the literal is compiled
    AppSettings defaults;
    defaults.autoSaveFolder = DesktopPath();
    const auto expected = EncodeSettings(defaults);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i + 1], expected[i].first + "=" + expected[i].second) << "line " << i + 1;
    EXPECT_EQ(ConfigValue("自动保存路径").back(), '\\');
}

TEST_F(StartupTest, AnyArgumentStartsHiddenInTheTray) {
    for (const char* args : {"/s", "-S", "-s", "x", "\"C:\\some file.png\""}) {
        Program program = Program::Start(args);
        HWND window = program.WaitForMainWindow();
        ASSERT_TRUE(window) << args;
        EXPECT_FALSE(IsWindowVisible(window)) << args;
        EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(window); })) << args;
        EXPECT_EQ(program.Exit(), std::optional<DWORD>(0)) << args;
    }
}

TEST_F(StartupTest, SecondInstanceExitsWithZeroAndTouchesNothing) {
    const std::string config = "[基础配置]\r\n前缀=第一\r\n";
    Program first = Program::Start("", config);
    HWND window = first.WaitForMainWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(WriteFileBytes(harness::TempCapturePath(), "working capture"));

    Program second = Program::StartKeepingConfig();
    EXPECT_EQ(second.WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(ReadFileBytes(ConfigPath()), std::optional<std::string>(config));
    EXPECT_EQ(ReadFileBytes(harness::TempCapturePath()), std::optional<std::string>("working capture"));
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(TrayIconExists(window));
    EXPECT_EQ(first.Exit(), std::optional<DWORD>(0));
}

TEST_F(StartupTest, InstancesStartedTogetherLeaveExactlyOneRunning) {
    std::vector<Program> programs;
    for (int i = 0; i < 4; ++i) programs.push_back(Program::Start("/s"));
    int exited = 0;
    for (Program& p : programs) {
        if (auto code = p.WaitForExit(5000)) {
            EXPECT_EQ(*code, 0u);
            ++exited;
        }
    }
    EXPECT_EQ(exited, 3);
    for (Program& p : programs) {
        if (p.Running()) {
            EXPECT_EQ(p.Exit(), std::optional<DWORD>(0));
        }
    }
}

TEST_F(StartupTest, LoadedOptionsComeBackAsTheyWereCorrectedAndTrimmed) {
    RunOnce("[基础配置]\r\n自动=1\r\n自动计数=2\r\n前缀=  岚影 x  \r\n立即保存=1\r\n自动保存=2\r\nJPG质量=40\r\n"
            "主热键=120\r\n自动保存路径=C:\\抓图\r\n");
    EXPECT_EQ(ConfigValue("询问"), "2");
    EXPECT_EQ(ConfigValue("自动计数"), "1");
    EXPECT_EQ(ConfigValue("前缀"), "岚影 x");
    EXPECT_EQ(ConfigValue("自动保存"), "2");
    EXPECT_EQ(ConfigValue("JPG质量"), "40");
    EXPECT_EQ(ConfigValue("主热键"), "120");
    EXPECT_EQ(ConfigValue("自动保存路径"), "C:\\抓图");
}

TEST_F(StartupTest, EmptyFileBehavesAsAMissingOne) {
    RunOnce(std::string());
    EXPECT_EQ(ConfigValue("抓取长方形区域"), "2");
    EXPECT_EQ(ConfigValue("前缀"), "岚影抓图");
    EXPECT_EQ(ConfigValue("主热键"), "117");
    EXPECT_EQ(ConfigValue("自动保存路径"), DesktopPath());
}

TEST_F(StartupTest, HostileConfigurationFilesStartWithSaneValues) {
    std::mt19937 random(20261210);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) c = char(random());
    std::string bigText;
    while (bigText.size() < 1024 * 1024) bigText += "无关的文字 some text = value ; [x]\r\n";
    std::string longPrefix = "[基础配置]\r\n前缀=";
    while (longPrefix.size() < 20000) longPrefix += "长";
    longPrefix += "\r\n";

    for (const std::string& config : {noise, bigText, longPrefix}) {
        RunOnce(config);
        const std::string prefix = ConfigValue("前缀");
        EXPECT_LE(prefix.size(), kMaxPrefixBytes);
        EXPECT_EQ(ConfigValue("BMP图片质量").size(), 1u);
        for (const char* key : ConfigKeysInWriteOrder()) EXPECT_NE(ConfigValue(key), "<missing>") << key;
    }
}

TEST_F(StartupTest, TaskbarCreatedBringsTheIconBack) {
    Program program = Program::Start("/s");
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(window); }));

    // A restarted shell has lost every icon.
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = 100;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    ASSERT_FALSE(TrayIconExists(window));

    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(window); }));
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

TEST_F(StartupTest, CloseHidesAndKeepsRunningWithoutWritingOptions) {
    Program program = Program::Start();
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(TrayIconExists(window));
    EXPECT_EQ(GetFileAttributesA(ConfigPath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

TEST_F(StartupTest, EndOfWindowsSessionIsAllowedAndKeepsTheOptions) {
    Program program = Program::Start("", "[基础配置]\r\n前缀=会话\r\n");
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 5000, &answer));
    EXPECT_EQ(answer, TRUE);
    SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 5000, &answer);
    EXPECT_EQ(ConfigValue("前缀"), "会话");
    EXPECT_EQ(ConfigValue("快门声"), "2");  // the whole set was written, not only what the file had
}

TEST(CommandLine, SplitsAtBlanksAndControlCharactersAndHonoursQuotes) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"/s", {"/s"}},
        {"  -S   extra", {"-S", "extra"}},
        {"\"a b\" c", {"a b", "c"}},
        {"\"unterminated arg", {"unterminated arg"}},
        {"x\x01y", {"x", "y"}},
        {"抓图.png", {"抓图.png"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.line), c.args) << c.line;
    EXPECT_FALSE(StartsHidden(""));
    EXPECT_TRUE(StartsHidden("/S"));
    EXPECT_TRUE(StartsHidden("file.bmp"));
}

}  // namespace
