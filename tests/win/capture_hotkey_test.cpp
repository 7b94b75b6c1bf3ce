// The capture hotkey: registration under successive identifiers, presses (injected input) that start a
// capture, the hotkey dialog, a combination another program holds, and the real program's start-up
// registration, also while its window is hidden and at a high DPI.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "app/application.h"
#include "capture/capture_hotkey_win.h"
#include "capture/capture_session_win.h"
#include "capture/hotkey_keys.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"
#include "ui/balloon_tip.h"
#include "ui/controls.h"
#include "ui/main_form.h"

using namespace capture_test;

namespace {

void PressCombination(bool ctrl, bool alt, bool shift, WORD key) {
    std::vector<WORD> keys;
    if (ctrl) keys.push_back(VK_CONTROL);
    if (alt) keys.push_back(VK_MENU);
    if (shift) keys.push_back(VK_SHIFT);
    keys.push_back(key);
    std::vector<INPUT> inputs;
    for (WORD k : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k;
        inputs.push_back(in);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *it;
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

struct TextSearch {
    std::string text;
    HWND found = nullptr;
};

// A window below `parent` (at any depth) whose text is `text`.
HWND FindDescendantWithText(HWND parent, const std::string& text) {
    TextSearch search{text};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<TextSearch*>(lp);
            char buffer[512] = {};
            GetWindowTextA(child, buffer, sizeof buffer);
            if (s->text == buffer) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string WindowText(HWND window) {
    char buffer[512] = {};
    if (window) GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

// The balloon tip text attached to a control of this process.
std::string TipText(HWND control) {
    HWND tips = BalloonTipWindow();
    if (!tips || !control) return "<no tip window>";
    char buffer[512] = {};
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = buffer;
    SendMessageA(tips, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&tool));
    return buffer;
}

// A small visible window of the test holding the keyboard focus: Wine delivers a hotkey only while some
// window of its desktop has the focus. It paints the pattern of the place it covers, so it never shows in a
// capture of the pattern.
class FocusWindow {
public:
    FocusWindow() {
        static const ATOM atom = [] {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
                if (message == WM_ERASEBKGND) return 1;
                if (message != WM_PAINT) return DefWindowProcA(hwnd, message, wParam, lParam);
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                RECT r;
                GetWindowRect(hwnd, &r);
                for (int y = 0; y < r.bottom - r.top; ++y)
                    for (int x = 0; x < r.right - r.left; ++x) SetPixel(dc, x, y, PatternColour(r.left + x, r.top + y));
                EndPaint(hwnd, &ps);
                return 0;
            };
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "CaptureTestFocus";
            return RegisterClassExA(&wc);
        }();
        (void)atom;
        window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "CaptureTestFocus", "focus", WS_POPUP | WS_VISIBLE,
                                  700, 600, 80, 40, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        UpdateWindow(window_);
        // On the screen before anything is captured.
        harness::WaitUntil([] { return ScreenPicture().At(779, 639) == PatternColour(779, 639); }, 5000);
        Focus();
    }
    ~FocusWindow() { DestroyWindow(window_); }
    void Focus() {
        SetForegroundWindow(window_);
        SetFocus(window_);
        harness::WaitUntil([&] { return GetForegroundWindow() == window_; }, 3000);
    }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// Watches for one message box of a process with the given caption, reads its text and closes it; counts
// every box that appears until the watcher ends.
class MessageBoxWatcher {
public:
    MessageBoxWatcher(const char* caption, DWORD pid, DWORD watchMs) {
        thread_ = std::thread([=, this] {
            const ULONGLONG end = GetTickCount64() + watchMs;
            while (GetTickCount64() < end && !stop_) {
                if (HWND box = FindWindowWithCaption(caption, pid)) {
                    if (count_ == 0) {
                        EnumChildWindows(
                            box,
                            [](HWND child, LPARAM lp) -> BOOL {
                                char b[512] = {};
                                DWORD_PTR got = 0;
                                SendMessageTimeoutA(child, WM_GETTEXT, sizeof b, reinterpret_cast<LPARAM>(b),
                                                    SMTO_ABORTIFHUNG, 2000, &got);
                                reinterpret_cast<std::vector<std::string>*>(lp)->push_back(b);
                                return TRUE;
                            },
                            reinterpret_cast<LPARAM>(&texts_));
                    }
                    ++count_;
                    PostMessageA(box, WM_COMMAND, IDOK, 0);
                    harness::WaitUntil([&] { return !IsWindow(box); }, 5000);
                }
                Sleep(50);
            }
        });
    }
    ~MessageBoxWatcher() { Join(); }
    // Ends the watch now rather than at its deadline.
    void Stop() {
        stop_ = true;
        Join();
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    int Count() const { return count_; }
    // Whether the first box showed this text.
    bool Showed(const std::string& text) const {
        return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
    }

private:
    std::thread thread_;
    std::atomic<int> count_{0};
    std::atomic<bool> stop_{false};
    std::vector<std::string> texts_;
};

// The main window's controls on a window of the test, standing in for the main window.
class HotkeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const ATOM hostClass = [] {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "CaptureTestHotkeyHost";
            return RegisterClassExA(&wc);
        }();
        ASSERT_TRUE(hostClass);
        host_ = CreateWindowExA(0, "CaptureTestHotkeyHost", "host", WS_POPUP, 0, 0, 602, 400,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_TRUE(host_);
        BuildMainWindowControls(host_);
        BindCaptureControls();
        App().mainWindow = host_;
        env_.Settings().saveImmediately = false;
    }
    void TearDown() override {
        while (CaptureHotkey().outstanding > 0) UnregisterCaptureHotkey();
        App().mainWindow = nullptr;
        DestroyWindow(host_);
        App().settingsChanged = nullptr;
        App().captureChanged = nullptr;
    }

    // Presses the combination and reports whether a capture followed.
    bool PressStartsCapture(bool ctrl, bool alt, bool shift, WORD key, DWORD waitMs = 8000) {
        App().lastCaptureImage.clear();
        focus_.Focus();
        PressCombination(ctrl, alt, shift, key);
        return harness::WaitUntil([] { return !App().lastCaptureImage.empty(); }, waitMs);
    }

    // ShowHotkeyState, closing (and counting) the failure's message box so that a refusal cannot hang.
    int ShowStateCountingRefusals() {
        MessageBoxWatcher refusal(kHotkeyFailureTitle, GetCurrentProcessId(), 60000);
        ShowHotkeyState();  // returns only after a refusal's message box has been closed
        refusal.Stop();
        return refusal.Count();
    }

    // Runs ChangeHotkey while a helper thread works the dialog: ticks `shift` on, picks list item `index`,
    // and presses 确定 or 取消.
    void ChangeThroughDialog(bool tickShift, int index, bool ok) {
        std::thread driver([=] {
            HWND dialog = nullptr;
            harness::WaitUntil(
                [&] { return (dialog = FindWindowWithCaption(kHotkeyDialogCaption, GetCurrentProcessId())); });
            if (!dialog) return;
            // Posted, like real clicks: the dialog's loop wakes for each and sees when it has closed.
            if (tickShift) PostMessageA(FindDescendantWithText(dialog, "Shift"), BM_CLICK, 0, 0);
            PostMessageA(FindWindowExA(dialog, nullptr, "ComboBox", nullptr), CB_SETCURSEL, WPARAM(index), 0);
            PostMessageA(FindDescendantWithText(dialog, ok ? "确定" : "取消"), BM_CLICK, 0, 0);
            harness::WaitUntil([&] { return !IsWindow(dialog); }, 10000);
            if (IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        MessageBoxWatcher refusal(kHotkeyFailureTitle, GetCurrentProcessId(), 60000);
        ChangeHotkey();  // returns only after a refusal's message box has been closed
        driver.join();
        refusal.Stop();
        EXPECT_EQ(refusal.Count(), 0) << "the new hotkey was refused: " << WindowText(FindControl("标签7"));
    }

    CaptureEnvironment env_;
    HWND host_ = nullptr;
    FocusWindow focus_;
};

TEST_F(HotkeyTest, EachRegistrationTakesTheNextIdentifierAndOnlyTheCurrentKeyCaptures) {
    AppSettings& s = env_.Settings();
    s.hotkeyCtrl = true;
    s.hotkeyAlt = true;
    s.hotkeyShift = false;
    s.hotkeyKey = VK_F9;
    const int first = kFirstHotkeyId + CaptureHotkey().issued;  // 33001 in a fresh process

    RegisterCaptureHotkey();
    EXPECT_EQ(ShowStateCountingRefusals(), 0) << "Ctrl + Alt + F9 is taken on this desktop";
    EXPECT_EQ(CaptureHotkey().hotkeyId, first);
    EXPECT_EQ(CaptureHotkey().target, FindControl("标签1"));
    EXPECT_EQ(WindowText(FindControl("标签7")), "CTRL + Alt + F9");
    EXPECT_TRUE(PressStartsCapture(true, true, false, VK_F9)) << "the hotkey did not start a capture";

    // 确定 with Shift ticked and F10 picked: the next identifier, the new combination only.
    ChangeThroughDialog(true, HotkeyKeyIndex(VK_F10), true);
    EXPECT_TRUE(s.hotkeyCtrl && s.hotkeyAlt && s.hotkeyShift);
    EXPECT_EQ(s.hotkeyKey, VK_F10);
    EXPECT_EQ(CaptureHotkey().hotkeyId, first + 1);
    EXPECT_EQ(WindowText(FindControl("标签7")), "CTRL + Alt + Shift + F10");
    EXPECT_FALSE(PressStartsCapture(true, true, false, VK_F9, 1500)) << "the old combination still captures";
    EXPECT_TRUE(PressStartsCapture(true, true, true, VK_F10));

    // 取消: the same combination again, under the identifier after that.
    ChangeThroughDialog(false, HotkeyKeyIndex('Q'), false);
    EXPECT_EQ(s.hotkeyKey, VK_F10);
    EXPECT_EQ(CaptureHotkey().hotkeyId, first + 2);
    EXPECT_EQ(CaptureHotkey().highestId, first + 2);
    EXPECT_TRUE(PressStartsCapture(true, true, true, VK_F10));
    EXPECT_EQ(CaptureHotkey().outstanding, 1);
}

TEST_F(HotkeyTest, PressDuringARunningCaptureStartsNoSecondOne) {
    AppSettings& s = env_.Settings();
    s.hotkeyCtrl = true;
    s.hotkeyAlt = true;
    s.hotkeyKey = VK_F11;
    s.captureMode = CaptureMode::RectangleRegion;
    RegisterCaptureHotkey();
    std::atomic<int> presses{0};
    SetControlHandler("标签1", [&](int event) {
        if (event != kEventDefault) return;
        ++presses;
        RunCaptureSession();
    });
    int boards = 0;
    Driver driver([&] {
        HWND board = WaitForWindow("LanyingSelectionBoard");
        if (!board) return;
        SetForegroundWindow(board);
        PressCombination(true, true, false, VK_F11);
        harness::WaitUntil([&] { return presses.load() == 2; }, 5000);
        boards = FindWindowA("LanyingSelectionBoard", nullptr) == board;
        MouseButton(false, true);
        MouseButton(false, false);
    });
    focus_.Focus();
    PressCombination(true, true, false, VK_F11);
    harness::WaitUntil([&] { return presses.load() >= 2 && !App().captureRunning; }, 30000);
    EXPECT_EQ(presses.load(), 2) << "the press during the selection never arrived";
    EXPECT_EQ(boards, 1) << "the second press disturbed the selection";
    EXPECT_EQ(env_.previewUpdates, 0);
}

TEST_F(HotkeyTest, RefusedCombinationShowsItsFailureOnceAndNothingCaptures) {
    // Another window already holds Ctrl + F1.
    HWND holder = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(RegisterHotKey(holder, 1, MOD_CONTROL, VK_F1));
    AppSettings& s = env_.Settings();
    s.hotkeyCtrl = true;
    s.hotkeyKey = VK_F1;
    RegisterCaptureHotkey();
    EXPECT_EQ(CaptureHotkey().hotkeyId, 0);
    {
        MessageBoxWatcher watcher(kHotkeyFailureTitle, GetCurrentProcessId(), 4000);
        ShowHotkeyState();
        watcher.Join();
        EXPECT_EQ(watcher.Count(), 1);
        EXPECT_TRUE(watcher.Showed(kHotkeyFailureMessage));
    }
    EXPECT_EQ(WindowText(FindControl("标签7")), "热键注册失败！ (CTRL + F1)");
    EXPECT_EQ(TipText(FindControl("标签7")), kHotkeyFailureTip);
    EXPECT_FALSE(PressStartsCapture(true, false, false, VK_F1, 1500));

    // A combination that is free clears the failure and its tip.
    UnregisterHotKey(holder, 1);
    DestroyWindow(holder);
    UnregisterCaptureHotkey();
    s.hotkeyCtrl = false;
    s.hotkeyShift = true;
    s.hotkeyKey = VK_F12;
    RegisterCaptureHotkey();
    EXPECT_EQ(ShowStateCountingRefusals(), 0);
    EXPECT_NE(CaptureHotkey().hotkeyId, 0);
    EXPECT_EQ(WindowText(FindControl("标签7")), "Shift + F12");
    EXPECT_EQ(TipText(FindControl("标签7")), "");
}

TEST_F(HotkeyTest, DialogShowsTheCurrentHotkeyAndAKeyOutsideTheListStartsAtA) {
    AppSettings& s = env_.Settings();
    struct Case {
        bool ctrl, alt, shift;
        int key;
        int shownIndex;
    } cases[] = {{true, false, true, 'Z', 25}, {false, true, false, '7', 33}, {false, false, false, 13, 0}};
    for (const Case& c : cases) {
        s.hotkeyCtrl = c.ctrl;
        s.hotkeyAlt = c.alt;
        s.hotkeyShift = c.shift;
        s.hotkeyKey = c.key;
        RegisterCaptureHotkey();
        bool ctrl = false, alt = false, shift = false;
        LRESULT index = -2;
        std::thread driver([&] {
            HWND dialog = nullptr;
            harness::WaitUntil(
                [&] { return (dialog = FindWindowWithCaption(kHotkeyDialogCaption, GetCurrentProcessId())); });
            if (!dialog) return;
            ctrl = SendMessageA(FindDescendantWithText(dialog, "Ctrl"), BM_GETCHECK, 0, 0) == BST_CHECKED;
            alt = SendMessageA(FindDescendantWithText(dialog, "Alt"), BM_GETCHECK, 0, 0) == BST_CHECKED;
            shift = SendMessageA(FindDescendantWithText(dialog, "Shift"), BM_GETCHECK, 0, 0) == BST_CHECKED;
            index = SendMessageA(FindWindowExA(dialog, nullptr, "ComboBox", nullptr), CB_GETCURSEL, 0, 0);
            PostMessageA(FindDescendantWithText(dialog, "确定"), BM_CLICK, 0, 0);
        });
        MessageBoxWatcher refusal(kHotkeyFailureTitle, GetCurrentProcessId(), 60000);
        ChangeHotkey();
        driver.join();
        refusal.Stop();
        EXPECT_EQ(ctrl, c.ctrl);
        EXPECT_EQ(alt, c.alt);
        EXPECT_EQ(shift, c.shift);
        EXPECT_EQ(index, c.shownIndex) << c.key;
        // 确定 stores the shown item: a key outside the list becomes "A".
        EXPECT_EQ(s.hotkeyKey, HotkeyKeyAt(c.shownIndex));
        UnregisterCaptureHotkey();
    }
}

// The real program.
class ProgramHotkeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        harness::EndStrayInstances();
        harness::RemoveFile(harness::TempCapturePath());
        settings_.captureMode = CaptureMode::FullScreen;
        settings_.hideWindowOnCapture = false;
        settings_.keepCursor = false;
        settings_.saveImmediately = false;
        settings_.autoSaveFolder = harness::DesktopPath();
    }
    void TearDown() override {
        harness::EndStrayInstances();
        harness::RemoveFile(harness::TempCapturePath());
    }
    bool CaptureArrives(DWORD waitMs = 20000) { return harness::WaitForFile(harness::TempCapturePath(), waitMs); }
    AppSettings settings_;
};

TEST_F(ProgramHotkeyTest, StartUpRegistersF6AsTheFirstIdentifierAndAPressCapturesWhileHidden) {
    PatternWindow pattern;
    ASSERT_TRUE(pattern.Shown());
    harness::Program program = harness::Program::Start("/s", ConfigFileFor(settings_));
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(FindDescendantWithText(window, "F6")) << "标签7 does not read F6";

    FocusWindow focus;
    // The program's own notification-area window may lie on the pattern: compare with the screen as it is.
    const Picture screen = ScreenPicture();
    PressCombination(false, false, false, VK_F6);
    ASSERT_TRUE(CaptureArrives()) << "F6 did not start a capture";
    const auto bytes = harness::ReadFileBytes(harness::TempCapturePath());
    ASSERT_TRUE(bytes.has_value());
    harness::WaitUntil([&] { return DecodeBmp(ByteArray(bytes->begin(), bytes->end())).has_value(); });
    const auto picture = DecodeBmp(ByteArray(bytes->begin(), bytes->end()));
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(DifferingPixels(*picture, screen), 0u);
    EXPECT_TRUE(harness::WaitUntil([] { return ClipboardBitmapSize().has_value(); }));
    EXPECT_FALSE(IsWindowVisible(window)) << "the hidden window came back";

    // Exactly one identifier has been issued, and it is 33001: a press under 33002 is passed over.
    harness::RemoveFile(harness::TempCapturePath());
    PostMessageA(window, WM_HOTKEY, kFirstHotkeyId + 1, MAKELPARAM(0, VK_F6));
    EXPECT_FALSE(CaptureArrives(2000));
    PostMessageA(window, WM_HOTKEY, kFirstHotkeyId, MAKELPARAM(0, VK_F6));
    EXPECT_TRUE(CaptureArrives());
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
}

TEST_F(ProgramHotkeyTest, CombinationHeldByAnotherProcessIsReportedOnceAndTheProgramRunsOn) {
    HWND holder = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(RegisterHotKey(holder, 7, MOD_CONTROL, VK_F1));
    settings_.hotkeyCtrl = true;
    settings_.hotkeyKey = VK_F1;
    harness::Program program = harness::Program::Start("", ConfigFileFor(settings_));
    MessageBoxWatcher watcher(kHotkeyFailureTitle, program.Id(), 15000);
    HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    watcher.Join();
    EXPECT_EQ(watcher.Count(), 1);
    EXPECT_TRUE(watcher.Showed(kHotkeyFailureMessage));
    EXPECT_TRUE(FindDescendantWithText(window, "热键注册失败！ (CTRL + F1)")) << "标签7 does not show the failure";
    EXPECT_TRUE(program.Running());
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
    FocusWindow focus;
    PressCombination(true, false, false, VK_F1);
    EXPECT_FALSE(CaptureArrives(2000)) << "the held combination started a capture";
    EXPECT_EQ(program.Exit(), std::optional<DWORD>(0));
    UnregisterHotKey(holder, 7);
    DestroyWindow(holder);
}

// The program is per-monitor DPI aware: at 144 DPI a capture still has the display's pixels.
TEST_F(ProgramHotkeyTest, CaptureAtHighDpiHasThePhysicalSize) {
    PatternWindow pattern;
    ASSERT_TRUE(pattern.Shown());
    HKEY desktop = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                              nullptr, &desktop, nullptr),
              ERROR_SUCCESS);
    const DWORD dpi = 144;
    RegSetValueExA(desktop, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    const DWORD seen = SystemDpiOfANewProcess();
    std::optional<std::string> bytes;
    Picture screen;
    {
        harness::Program program = harness::Program::Start("/s", ConfigFileFor(settings_));
        HWND window = program.WaitForMainWindow();
        screen = ScreenPicture();
        if (window) PostMessageA(window, WM_HOTKEY, kFirstHotkeyId, 0);
        if (window && CaptureArrives()) {
            harness::WaitUntil([&] {
                bytes = harness::ReadFileBytes(harness::TempCapturePath());
                return bytes && DecodeBmp(ByteArray(bytes->begin(), bytes->end())).has_value();
            });
        }
        program.Exit();  // deletes the working file
    }
    RegDeleteValueA(desktop, "LogPixels");
    RegCloseKey(desktop);
    ASSERT_EQ(seen, 144u) << "the DPI setting did not reach new processes";
    ASSERT_TRUE(bytes.has_value()) << "no capture";
    const auto picture = DecodeBmp(ByteArray(bytes->begin(), bytes->end()));
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(picture->height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(DifferingPixels(*picture, screen), 0u);
}

}  // namespace
