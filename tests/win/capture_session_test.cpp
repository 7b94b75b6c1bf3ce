// RunCaptureSession in the full-screen mode against the pattern on the screen: the stored picture, the
// pointer, the clipboard, the working file, the window's visibility, the format check, a busy clipboard,
// a trigger during a running capture, the folder creation, and BitmapToBmpImage at every depth.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/application.h"
#include "capture/capture_session_win.h"
#include "capture/rectangle_selection_win.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"

using namespace capture_test;

namespace {

class CaptureSessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pattern_.Shown()) << "the screen never showed the test pattern"; }

    // The stored picture, decoded; also checks that it is 24 bits and that TempCapture holds the same bytes.
    Picture StoredPicture() {
        const ByteArray& image = App().lastCaptureImage;
        const auto picture = DecodeBmp(image);
        EXPECT_TRUE(picture.has_value());
        if (!picture) return {};
        EXPECT_EQ(picture->bits, 24);
        const auto file = ReadWholeFile(TempCapturePath());
        EXPECT_TRUE(file.has_value());
        if (file) {
            EXPECT_TRUE(ByteArray(file->begin(), file->end()) == image) << "TempCapture differs";
        }
        return *picture;
    }

    PatternWindow pattern_;
    CaptureEnvironment env_;
};

// A small window of a plain colour standing in for the main window.
class StandInMainWindow {
public:
    StandInMainWindow() {
        static const ATOM atom = [] {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hbrBackground = CreateSolidBrush(RGB(255, 255, 255));
            wc.lpszClassName = "CaptureTestMainWindow";
            return RegisterClassExA(&wc);
        }();
        (void)atom;
        window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "CaptureTestMainWindow", "stand-in", WS_POPUP,
                                  200, 150, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        App().mainWindow = window_;
    }
    ~StandInMainWindow() {
        App().mainWindow = nullptr;
        DestroyWindow(window_);
    }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

TEST_F(CaptureSessionTest, FullScreenStoresThePatternAt24BitsAndLeavesItOnTheClipboard) {
    // tests/win/at_screen_size.sh names the screen size it set up, so that a run on the wrong one fails.
    char expectedSize[32] = {};
    if (GetEnvironmentVariableA("LANYING_EXPECT_SCREEN_SIZE", expectedSize, sizeof expectedSize)) {
        ASSERT_EQ(std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" + std::to_string(GetSystemMetrics(SM_CYSCREEN)),
                  expectedSize);
    }
    RunCaptureSession();
    const Picture picture = StoredPicture();
    EXPECT_EQ(picture.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(picture.height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(DifferingPixels(picture, ExpectedScreen()), 0u) << "the picture is not the screen";
    EXPECT_EQ(env_.previewUpdates, 1);
    const auto size = ClipboardBitmapSize();
    ASSERT_TRUE(size.has_value()) << "no picture on the clipboard";
    EXPECT_EQ(size->cx, picture.width);
    EXPECT_EQ(size->cy, picture.height);
    EXPECT_FALSE(App().captureRunning);
}

TEST_F(CaptureSessionTest, PointerIsDrawnWithItsHotspotOnThePointerPositionOnlyWhenAsked) {
    const POINT at{333, 222};
    PlaceTestPointer(at);
    CURSORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetCursorInfo(&info));
    ASSERT_EQ(info.hCursor, TestCursor()) << "the test pointer is not the current one";

    env_.Settings().keepCursor = true;
    RunCaptureSession();
    Picture withPointer = StoredPicture();
    EXPECT_EQ(DifferingPixels(withPointer, ExpectedScreen(TestCursor(), at)), 0u);
    // The stripes of the pointer really are there, left of and below its hotspot.
    EXPECT_EQ(withPointer.At(at.x - 5, at.y - 7), RGB(0, 255, 255));
    EXPECT_NE(withPointer.At(at.x - 5, at.y - 7), PatternColour(at.x - 5, at.y - 7));

    env_.Settings().keepCursor = false;
    RunCaptureSession();
    EXPECT_EQ(DifferingPixels(StoredPicture(), ExpectedScreen()), 0u) << "pointer drawn although not asked";
}

TEST_F(CaptureSessionTest, HidingWindowKeepsItOutOfThePictureAndRestoresItsVisibility) {
    StandInMainWindow main;
    env_.Settings().hideWindowOnCapture = true;
    for (bool visibleBefore : {true, false}) {
        ShowWindow(main.get(), visibleBefore ? SW_SHOW : SW_HIDE);
        UpdateWindow(main.get());
        if (visibleBefore) {
            ASSERT_TRUE(harness::WaitUntil([] { return ScreenPicture().At(250, 200) == RGB(255, 255, 255); }))
                << "the stand-in window never showed";
        }
        RunCaptureSession();
        EXPECT_EQ(DifferingPixels(StoredPicture(), ExpectedScreen()), 0u) << "visible before: " << visibleBefore;
        EXPECT_EQ(IsWindowVisible(main.get()) != FALSE, visibleBefore);
    }
    // Without hiding, a visible window is in the picture.
    env_.Settings().hideWindowOnCapture = false;
    ShowWindow(main.get(), SW_SHOW);
    UpdateWindow(main.get());
    ASSERT_TRUE(harness::WaitUntil([] { return ScreenPicture().At(250, 200) == RGB(255, 255, 255); }));
    RunCaptureSession();
    EXPECT_EQ(StoredPicture().At(250, 200), RGB(255, 255, 255));
    EXPECT_TRUE(IsWindowVisible(main.get()));
}

// Reads the text of a message box of this process with the given caption, then closes it.
struct MessageBoxWatcher {
    std::string caption;
    std::atomic<int> seen{0};
    std::string text;
    std::thread thread;
    explicit MessageBoxWatcher(std::string c) : caption(std::move(c)) {
        thread = std::thread([this] {
            HWND box = nullptr;
            harness::WaitUntil([&] { return (box = FindWindowWithCaption(caption.c_str(), GetCurrentProcessId())); });
            if (!box) return;
            ++seen;
            EnumChildWindows(
                box,
                [](HWND child, LPARAM lp) -> BOOL {
                    char buffer[256] = {};
                    GetWindowTextA(child, buffer, sizeof buffer);
                    if (std::string(buffer) == kNoFormatMessage) *reinterpret_cast<std::string*>(lp) = buffer;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&text));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
    }
    ~MessageBoxWatcher() {
        if (thread.joinable()) thread.join();
    }
};

TEST_F(CaptureSessionTest, NoFormatSelectedShowsTheMessageCopiesNothingAndShowsTheWindow) {
    StandInMainWindow main;
    ShowWindow(main.get(), SW_HIDE);
    App().lastCaptureImage = {'B', 'M', 'o', 'l', 'd'};
    ASSERT_TRUE(PutTextOnClipboard("before"));
    env_.Settings().imageFormat = static_cast<ImageFormat>(4);  // none of the four radio buttons
    env_.Settings().hideWindowOnCapture = true;
    {
        MessageBoxWatcher watcher(kInfoTitle);
        RunCaptureSession();
        watcher.thread.join();
        EXPECT_EQ(watcher.seen.load(), 1);
        EXPECT_EQ(watcher.text, kNoFormatMessage);
    }
    EXPECT_TRUE(IsWindowVisible(main.get())) << "the window must be shown after the message";
    EXPECT_EQ(ClipboardText(), std::optional<std::string>("before")) << "the clipboard was touched";
    EXPECT_EQ(App().lastCaptureImage, (ByteArray{'B', 'M', 'o', 'l', 'd'}));
    EXPECT_EQ(GetFileAttributesA(TempCapturePath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(env_.previewUpdates, 0);
    EXPECT_FALSE(App().captureRunning);
}

TEST_F(CaptureSessionTest, BusyClipboardDelaysThePictureButDoesNotLoseIt) {
    struct Case {
        DWORD holdMs;
        int times;
        DWORD gapMs;
    } cases[] = {
        {300, 1, 0},   // held at the moment the capture starts
        {300, 6, 60},  // held again and again through the whole capture
    };
    for (const Case& c : cases) {
        App().lastCaptureImage.clear();
        ClipboardHolder holder(c.holdMs, c.times, c.gapMs);
        ASSERT_TRUE(holder.Holding()) << "the helper process never took the clipboard";
        RunCaptureSession();
        const Picture picture = StoredPicture();
        EXPECT_EQ(DifferingPixels(picture, ExpectedScreen()), 0u) << c.times << " holds";
        const auto size = harness::WaitUntil([] { return ClipboardBitmapSize().has_value(); }) ? ClipboardBitmapSize()
                                                                                                : std::nullopt;
        ASSERT_TRUE(size.has_value()) << c.times << " holds";
        EXPECT_EQ(size->cx, picture.width);
    }
}

TEST_F(CaptureSessionTest, TriggerDuringASelectionStartsNothing) {
    env_.Settings().captureMode = CaptureMode::RectangleRegion;
    // The trigger reaches the capture's nested message loop like a hotkey press does.
    std::atomic<int> extraRuns{0};
    HWND receiver = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(receiver);
    static std::atomic<int>* runs = nullptr;
    runs = &extraRuns;
    static WNDPROC base = nullptr;
    base = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        receiver, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_APP + 0x75) {
                RunCaptureSession();  // must return at once
                ++*runs;
                return 0;
            }
            return CallWindowProcA(base, h, m, w, l);
        })));
    int boardsDuringTrigger = 0;
    Driver driver([&] {
        if (!WaitForWindow(kSelectionBoardClassName)) return;
        SendMessageA(receiver, WM_APP + 0x75, 33001, 0);
        boardsDuringTrigger = FindWindowA(kSelectionBoardClassName, nullptr) != nullptr;
        MoveMouse(100, 100);
        MouseButton(true, true);
        MoveMouse(300, 200);
        MouseButton(true, false);
    });
    RunCaptureSession();
    DestroyWindow(receiver);
    EXPECT_EQ(extraRuns.load(), 1);
    EXPECT_EQ(boardsDuringTrigger, 1) << "the extra trigger disturbed the running selection";
    const Picture picture = StoredPicture();
    EXPECT_EQ(picture.width, 200);
    EXPECT_EQ(picture.height, 100);
    EXPECT_EQ(env_.previewUpdates, 1) << "a second session ran";
}

TEST_F(CaptureSessionTest, MissingSaveFolderIsCreatedOneLevelDeepOnly) {
    const std::string base = harness::TempCapturePath() + ".folders";
    CreateDirectoryA(base.c_str(), nullptr);
    struct Case {
        std::string folder;
        bool created;
    } cases[] = {
        {base + "\\new", true},
        {base + "\\missing\\new", false},
    };
    for (const Case& c : cases) {
        env_.Settings().autoSave = true;
        env_.Settings().saveImmediately = true;
        env_.Settings().autoSaveFolder = c.folder;
        RunCaptureSession();
        EXPECT_EQ(GetFileAttributesA(c.folder.c_str()) != INVALID_FILE_ATTRIBUTES, c.created) << c.folder;
    }
    // Clean up what the save left behind.
    WIN32_FIND_DATAA found;
    const std::string made = base + "\\new";
    HANDLE find = FindFirstFileA((made + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((made + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(made.c_str());
    RemoveDirectoryA(base.c_str());
}

TEST(BitmapToBmpImage, KeepsEveryDepthWithItsColourTable) {
    // Eight colours that every depth above 1 bit represents exactly (16-bit rows are 5-5-5).
    const COLORREF colours[] = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(255, 0, 0),   RGB(0, 255, 0),
                                RGB(0, 0, 255),   RGB(255, 255, 0),   RGB(0, 255, 255), RGB(255, 0, 255)};
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        const int colourCount = bits == 1 ? 2 : 8;
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD table[256];
        } info{};
        info.header.biSize = sizeof info.header;
        info.header.biWidth = 13;
        info.header.biHeight = 5;
        info.header.biPlanes = 1;
        info.header.biBitCount = WORD(bits);
        info.header.biCompression = BI_RGB;
        if (bits <= 8) {
            info.header.biClrUsed = DWORD(colourCount);
            for (int i = 0; i < colourCount; ++i)
                info.table[i] = {GetBValue(colours[i]), GetGValue(colours[i]), GetRValue(colours[i]), 0};
        }
        UniqueDC dc(CreateCompatibleDC(nullptr));
        void* pixels = nullptr;
        UniqueBitmap bitmap(CreateDIBSection(dc.get(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                                             nullptr, 0));
        ASSERT_TRUE(bitmap) << bits;
        {
            ScopedSelect select(dc.get(), bitmap.get());
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 13; ++x) SetPixel(dc.get(), x, y, colours[(x + y) % colourCount]);
        }
        const auto picture = DecodeBmp(BitmapToBmpImage(bitmap.get()));
        ASSERT_TRUE(picture.has_value()) << bits;
        EXPECT_EQ(picture->bits, bits);
        std::size_t wrong = 0;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) wrong += picture->At(x, y) != colours[(x + y) % colourCount];
        EXPECT_EQ(wrong, 0u) << bits << " bits";
    }
    EXPECT_TRUE(BitmapToBmpImage(nullptr).empty());
}

}  // namespace
