#pragma once
// Test support for the capture, run in-process in win_tests.exe: a full-screen window showing a pattern
// whose every pixel tells its own position, a pointer with a known image and hotspot, a BMP reader, an
// input driver that works while the test's own thread sits in the capture's modal loops, a helper process
// that holds the clipboard, and a fixture that sets up and restores the shared program state.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_types.h"
#include "settings/app_settings.h"

namespace capture_test {

// The pattern: red = x mod 256, green = y mod 256, blue = (x / 256) + 16 × (y / 256). Unique for every pixel
// of a screen up to 4096 × 4096, and never pure white below y = 3840.
COLORREF PatternColour(int x, int y);
// The screen position a pattern colour stands for.
POINT PatternPosition(COLORREF colour);

// A decoded picture, (0, 0) top left, colours as COLORREF.
struct Picture {
    int width = 0, height = 0, bits = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};
// Reads a BMP file image of 1, 4, 8, 24 or 32 bits (BI_RGB); nothing when it is not one.
std::optional<Picture> DecodeBmp(const ByteArray& bmp);
// What the screen shows now (a BitBlt of the screen DC).
Picture ScreenPicture();
// The pattern as a picture of the screen's size, with `cursor` drawn at (x - hotspot, y - hotspot) when given.
Picture ExpectedScreen(HCURSOR cursor = nullptr, POINT at = {});
// Number of pixels where two pictures of the same size differ (all of them when the sizes differ).
std::size_t DifferingPixels(const Picture& a, const Picture& b);

// A 32 × 32 pointer of coloured stripes with its hotspot at (5, 7) and a transparent right half.
HCURSOR TestCursor();
constexpr POINT kTestCursorHotspot{5, 7};

// The pattern in a topmost window over the whole primary display, painted by a thread of its own so that
// it repaints while the test's thread runs a capture. The constructor returns once the screen shows it.
class PatternWindow {
public:
    PatternWindow();
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;
    bool Shown() const { return shown_; }
    HWND Window() const { return window_; }

private:
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    DWORD threadId_ = 0;
    bool shown_ = false;
};

// Input from a helper thread. Each step waits a little, so the capture's thread sees every move.
void MoveMouse(int x, int y);
void MouseButton(bool left, bool down);
void PressKey(WORD virtualKey);
// Moves the pointer to `at` over the pattern window and waits until the system shows the test pointer there.
void PlaceTestPointer(POINT at);

// A top-level window of process `pid` with exactly this caption. Reads the caption without sending a
// message, so it may look at windows of a thread that is waiting for the caller.
HWND FindWindowWithCaption(const char* caption, DWORD pid);

// The visible top-level window of this class in this process, once one appears; null after the timeout.
HWND WaitForWindow(const char* className, DWORD timeoutMs = 20000);
// Waits until no window of this class exists any more.
bool WaitForWindowGone(const char* className, DWORD timeoutMs = 20000);

// Runs `script` on a helper thread while the test's thread runs the capture. If the script returns while
// a capture window is still open, the windows are closed so that a failing test cannot hang.
class Driver {
public:
    explicit Driver(std::function<void()> script);
    ~Driver();  // joins
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

private:
    std::thread thread_;
};

// The program state a capture reads and writes, set up for a test and put back afterwards: full-screen
// mode, PNG, no hiding, no pointer, no automatic save; no main window; resources from lanying.exe; no
// previous capture, no working file, an empty clipboard. `previewUpdates` counts NotifyCaptureChanged().
class CaptureEnvironment {
public:
    CaptureEnvironment();
    ~CaptureEnvironment();
    CaptureEnvironment(const CaptureEnvironment&) = delete;
    CaptureEnvironment& operator=(const CaptureEnvironment&) = delete;
    AppSettings& Settings();
    int previewUpdates = 0;

private:
    AppSettings savedSettings_;
    HINSTANCE savedInstance_ = nullptr;
    HMODULE program_ = nullptr;
};

// Clipboard observations.
std::optional<SIZE> ClipboardBitmapSize();
bool ClipboardEmpty();
bool PutTextOnClipboard(const std::string& text);
std::optional<std::string> ClipboardText();

// Another process (win_tests.exe in a helper mode) that opens the clipboard and holds it for holdMs, `times`
// times with gapMs between. The constructor returns once the first hold has begun.
class ClipboardHolder {
public:
    ClipboardHolder(DWORD holdMs, int times = 1, DWORD gapMs = 0);
    ~ClipboardHolder();  // waits for the process to end
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;
    bool Holding() const { return holding_; }

private:
    HANDLE process_ = nullptr;
    bool holding_ = false;
};

std::optional<std::string> ReadWholeFile(const std::string& path);

// The system DPI (GetDpiForSystem) a process started now sees; 0 when it could not be asked.
DWORD SystemDpiOfANewProcess();

// A configuration file holding exactly these options.
std::string ConfigFileFor(const AppSettings& settings);

// The process's GDI and USER object counts and its memory. The counts come from GetGuiResources; where
// that answers 0 (Wine does not implement it) `counted` is set and GDI objects are counted in the GDI handle
// table, USER objects as the process's windows.
struct ResourceUse {
    DWORD gdiObjects = 0, userObjects = 0;
    bool counted = false;
    std::uint64_t privateBytes = 0, workingSet = 0;
};
ResourceUse CurrentResourceUse();

}  // namespace capture_test
