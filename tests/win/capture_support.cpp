#include "tests/win/capture_support.h"

#include <mmsystem.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdlib>
#include <cstring>

#include "app/application.h"
#include "app/win_handles.h"
#include "capture/capture_overlay_win.h"
#include "capture/rectangle_selection_win.h"
#include "tests/win/harness.h"

namespace capture_test {

namespace {

constexpr const char* kHolderSwitch = "--capture-hold-clipboard=";
constexpr const char* kReportDpiSwitch = "--capture-report-system-dpi";
constexpr const char* kPatternClassName = "CaptureTestPattern";

// The helper modes of win_tests.exe: hold the clipboard, or report the system DPI a new process sees as the
// exit code; either ends before the tests would start. Runs from a static initialiser, so it needs no test
// of its own.
const bool g_helperMode = [] {
    if (std::strstr(GetCommandLineA(), kReportDpiSwitch)) ExitProcess(GetDpiForSystem());
    const char* arguments = std::strstr(GetCommandLineA(), kHolderSwitch);
    if (!arguments) return false;
    unsigned long holdMs = 0, gapMs = 0;
    int times = 0;
    char eventName[64] = {};
    if (std::sscanf(arguments + std::strlen(kHolderSwitch), "%lu,%d,%lu,%63s", &holdMs, &times, &gapMs, eventName) != 4)
        ExitProcess(2);
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    for (int i = 0; i < times; ++i) {
        // Take the clipboard as soon as the capture lets go of it.
        const ULONGLONG giveUp = GetTickCount64() + 10000;
        while (!OpenClipboard(nullptr)) {
            if (GetTickCount64() > giveUp) ExitProcess(3);
            Sleep(1);
        }
        if (i == 0 && held) SetEvent(held);
        Sleep(holdMs);
        CloseClipboard();
        if (i + 1 < times) Sleep(gapMs);
    }
    ExitProcess(0);
}();

struct Dib {
    UniqueDC dc;
    UniqueBitmap bitmap;
    HGDIOBJ previous = nullptr;
    std::uint32_t* bits = nullptr;
    int width = 0, height = 0;

    Dib(int w, int h) : dc(CreateCompatibleDC(nullptr)), width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;  // top-down, so row y is at bits + y * width
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* p = nullptr;
        bitmap.reset(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &p, nullptr, 0));
        bits = static_cast<std::uint32_t*>(p);
        previous = SelectObject(dc.get(), bitmap.get());
    }
    ~Dib() {
        if (previous) SelectObject(dc.get(), previous);
    }
    Picture ToPicture() const {
        GdiFlush();
        Picture p{width, height, 32, std::vector<COLORREF>(std::size_t(width) * std::size_t(height))};
        for (std::size_t i = 0; i < p.pixels.size(); ++i) {
            const std::uint32_t v = bits[i];  // 0x00RRGGBB
            p.pixels[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        }
        return p;
    }
};

void FillPattern(Dib& dib) {
    for (int y = 0; y < dib.height; ++y)
        for (int x = 0; x < dib.width; ++x) {
            const COLORREF c = PatternColour(x, y);
            dib.bits[std::size_t(y) * std::size_t(dib.width) + std::size_t(x)] =
                (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) | GetBValue(c);
        }
}

std::uint32_t Le32(const ByteArray& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// Pattern bitmap shared by the pattern window's painting; made on its thread.
LRESULT CALLBACK PatternProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            auto* dib = reinterpret_cast<Dib*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
            if (dib) BitBlt(dc, 0, 0, dib->width, dib->height, dib->dc.get(), 0, 0, SRCCOPY);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETCURSOR:
            SetCursor(TestCursor());
            return TRUE;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace

COLORREF PatternColour(int x, int y) { return RGB(x & 0xFF, y & 0xFF, ((x >> 8) & 0xF) | (((y >> 8) & 0xF) << 4)); }

POINT PatternPosition(COLORREF c) {
    const int blue = GetBValue(c);
    return {GetRValue(c) | ((blue & 0xF) << 8), GetGValue(c) | ((blue >> 4) << 8)};
}

std::optional<Picture> DecodeBmp(const ByteArray& bmp) {
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') return std::nullopt;
    const std::uint32_t offBits = Le32(bmp, 10);
    const std::uint32_t headerSize = Le32(bmp, 14);
    const int width = int(Le32(bmp, 18));
    const int rawHeight = int(Le32(bmp, 22));
    const int bits = bmp[28] | (bmp[29] << 8);
    const std::uint32_t compression = Le32(bmp, 30);
    std::uint32_t used = Le32(bmp, 46);
    if (compression != BI_RGB || width <= 0 || rawHeight == 0 || headerSize < 40) return std::nullopt;
    const int height = rawHeight < 0 ? -rawHeight : rawHeight;
    const std::size_t stride = (std::size_t(width) * std::size_t(bits) + 31) / 32 * 4;
    if (offBits + stride * std::size_t(height) > bmp.size()) return std::nullopt;
    if (bits <= 8 && used == 0) used = 1u << bits;
    const std::size_t table = 14 + headerSize;
    if (bits <= 8 && table + used * 4 > offBits) return std::nullopt;

    Picture p{width, height, bits, std::vector<COLORREF>(std::size_t(width) * std::size_t(height))};
    for (int y = 0; y < height; ++y) {
        const int fileRow = rawHeight > 0 ? height - 1 - y : y;
        const std::uint8_t* row = bmp.data() + offBits + stride * std::size_t(fileRow);
        for (int x = 0; x < width; ++x) {
            COLORREF c = 0;
            if (bits == 24 || bits == 32) {
                const std::uint8_t* px = row + std::size_t(x) * std::size_t(bits / 8);
                c = RGB(px[2], px[1], px[0]);
            } else if (bits <= 8) {
                const std::size_t bit = std::size_t(x) * std::size_t(bits);
                const int index = (row[bit / 8] >> (8 - bits - int(bit % 8))) & ((1 << bits) - 1);
                if (std::uint32_t(index) >= used) return std::nullopt;
                const std::uint8_t* e = bmp.data() + table + std::size_t(index) * 4;
                c = RGB(e[2], e[1], e[0]);
            } else if (bits == 16) {
                const int v = row[x * 2] | (row[x * 2 + 1] << 8);
                c = RGB(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
            } else {
                return std::nullopt;
            }
            p.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = c;
        }
    }
    return p;
}

Picture ScreenPicture() {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    Dib dib(w, h);
    WindowDC screen(nullptr);
    BitBlt(dib.dc.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
    return dib.ToPicture();
}

Picture ExpectedScreen(HCURSOR cursor, POINT at) {
    Dib dib(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    FillPattern(dib);
    if (cursor) {
        ICONINFO info{};
        GetIconInfo(cursor, &info);
        DrawIcon(dib.dc.get(), at.x - int(info.xHotspot), at.y - int(info.yHotspot), cursor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
    return dib.ToPicture();
}

std::size_t DifferingPixels(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height) return std::max(a.pixels.size(), b.pixels.size()) + 1;
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
    return n;
}

HCURSOR TestCursor() {
    static const HCURSOR cursor = [] {
        Dib colour(32, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                colour.bits[y * 32 + x] = (y / 4) % 2 ? 0x00FF00FFu : (x < 8 ? 0x0000FFFFu : 0x00102030u);
        // AND mask: opaque (0) on the left half, transparent (1) on the right.
        std::uint8_t mask[32 * 4];
        for (int y = 0; y < 32; ++y) {
            mask[y * 4] = mask[y * 4 + 1] = 0x00;
            mask[y * 4 + 2] = mask[y * 4 + 3] = 0xFF;
        }
        UniqueBitmap maskBitmap(CreateBitmap(32, 32, 1, 1, mask));
        SelectObject(colour.dc.get(), colour.previous);
        colour.previous = nullptr;
        ICONINFO info{FALSE, DWORD(kTestCursorHotspot.x), DWORD(kTestCursorHotspot.y), maskBitmap.get(),
                      colour.bitmap.get()};
        return static_cast<HCURSOR>(CreateIconIndirect(&info));
    }();
    return cursor;
}

PatternWindow::PatternWindow() {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    thread_ = std::thread([this, w, h] {
        threadId_ = GetCurrentThreadId();
        Dib dib(w, h);
        FillPattern(dib);
        static const ATOM atom = [] {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = PatternProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = TestCursor();
            wc.lpszClassName = kPatternClassName;
            return RegisterClassExA(&wc);
        }();
        (void)atom;
        HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPatternClassName, "pattern", WS_POPUP, 0, 0, w,
                                    h, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&dib));
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        UpdateWindow(hwnd);
        window_ = hwnd;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DestroyWindow(hwnd);
    });
    harness::WaitUntil([&] { return window_.load() != nullptr; }, 20000);
    const Picture expected = ExpectedScreen();
    shown_ = harness::WaitUntil([&] { return DifferingPixels(ScreenPicture(), expected) == 0; }, 20000);
}

PatternWindow::~PatternWindow() {
    if (window_.load()) PostMessageA(window_.load(), WM_QUIT, 0, 0);
    if (thread_.joinable()) thread_.join();
}

void MoveMouse(int x, int y) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    // Rounded up, so that the system's scaling back (× size / 65536) lands on the very pixel.
    input.mi.dx = LONG((std::int64_t(x) * 65536 + w - 1) / w);
    input.mi.dy = LONG((std::int64_t(y) * 65536 + h - 1) / h);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
    Sleep(40);
}

void MouseButton(bool left, bool down) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = left ? (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP)
                            : (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
    SendInput(1, &input, sizeof input);
    Sleep(40);
}

void PressKey(WORD virtualKey) {
    harness::SendKey(virtualKey);
    Sleep(40);
}

void PlaceTestPointer(POINT at) {
    SetCursorPos(at.x, at.y);
    harness::WaitUntil([&] {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        return GetCursorInfo(&info) && info.hCursor == TestCursor() && info.ptScreenPos.x == at.x &&
               info.ptScreenPos.y == at.y;
    });
}

HWND FindWindowWithCaption(const char* caption, DWORD pid) {
    struct Search {
        std::wstring caption;
        DWORD pid;
        HWND found;
    } search{{}, pid, nullptr};
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_ACP, 0, caption, -1, wide, 512);
    search.caption = wide;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != s->pid) return TRUE;
            wchar_t text[512] = {};
            InternalGetWindowText(hwnd, text, 512);
            if (s->caption == text) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const char* className, DWORD timeoutMs) {
    HWND found = nullptr;
    harness::WaitUntil(
        [&] {
            found = FindWindowA(className, nullptr);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

bool WaitForWindowGone(const char* className, DWORD timeoutMs) {
    return harness::WaitUntil([&] { return FindWindowA(className, nullptr) == nullptr; }, timeoutMs);
}

Driver::Driver(std::function<void()> script)
    : thread_([script = std::move(script)] {
          script();
          // A script that failed half-way must not leave the capture waiting for input forever.
          if (!WaitForWindowGone(kOverlayClassName, 15000)) {
              if (HWND board = FindWindowA(kSelectionBoardClassName, nullptr)) PostMessageA(board, WM_CLOSE, 0, 0);
              if (HWND overlay = FindWindowA(kOverlayClassName, nullptr)) PostMessageA(overlay, WM_CLOSE, 0, 0);
          }
      }) {}

Driver::~Driver() {
    if (thread_.joinable()) thread_.join();
}

CaptureEnvironment::CaptureEnvironment() {
    ApplicationState& app = App();
    savedSettings_ = app.settings;
    savedInstance_ = app.instance;
    // The embedded sound and pen dot live in the program's resources, not in the test program's.
    program_ = LoadLibraryExA(harness::ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    app.instance = reinterpret_cast<HINSTANCE>(program_);
    AppSettings& s = app.settings;
    s = AppSettings{};
    s.captureMode = CaptureMode::FullScreen;
    s.hideWindowOnCapture = false;
    s.imageFormat = ImageFormat::Png;
    s.keepCursor = false;
    s.saveImmediately = false;
    s.autoSave = false;
    app.mainWindow = nullptr;
    app.lastCaptureImage.clear();
    app.captureRunning = false;
    app.captureChanged = [this] { ++previewUpdates; };
    harness::RemoveFile(TempCapturePath());
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

CaptureEnvironment::~CaptureEnvironment() {
    ApplicationState& app = App();
    app.captureChanged = nullptr;
    app.settings = savedSettings_;
    app.instance = savedInstance_;
    app.mainWindow = nullptr;
    app.lastCaptureImage.clear();
    // The shutter plays asynchronously straight from the program's resources: stop it (this waits for the
    // player) before they are unmapped, or the player reads freed memory.
    PlaySoundA(nullptr, nullptr, 0);
    if (program_) FreeLibrary(program_);
    harness::RemoveFile(TempCapturePath());
}

AppSettings& CaptureEnvironment::Settings() { return App().settings; }

std::optional<SIZE> ClipboardBitmapSize() { return harness::ClipboardBitmapSize(); }

bool ClipboardEmpty() {
    ClipboardSession clipboard(nullptr);
    return clipboard.IsOpen() && CountClipboardFormats() == 0;
}

bool PutTextOnClipboard(const std::string& text) {
    ClipboardSession clipboard(nullptr);
    if (!clipboard.IsOpen()) return false;
    EmptyClipboard();
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
    if (!memory) return false;
    std::memcpy(GlobalLock(memory.get()), text.c_str(), text.size() + 1);
    GlobalUnlock(memory.get());
    if (!SetClipboardData(CF_TEXT, memory.get())) return false;
    memory.release();
    return true;
}

std::optional<std::string> ClipboardText() {
    ClipboardSession clipboard(nullptr);
    if (!clipboard.IsOpen()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (!data) return std::nullopt;
    const char* p = static_cast<const char*>(GlobalLock(data));
    std::string text = p ? p : "";
    GlobalUnlock(data);
    return text;
}

ClipboardHolder::ClipboardHolder(DWORD holdMs, int times, DWORD gapMs) {
    char eventName[64];
    std::snprintf(eventName, sizeof eventName, "capture-test-held-%lu-%llu", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()));
    UniqueHandle held(CreateEventA(nullptr, TRUE, FALSE, eventName));
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    char commandLine[MAX_PATH + 160];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\" %s%lu,%d,%lu,%s", module, kHolderSwitch, holdMs, times,
                  gapMs, eventName);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    const HANDLE waits[] = {held.get(), process_};
    holding_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

ClipboardHolder::~ClipboardHolder() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    CloseHandle(process_);
}

DWORD SystemDpiOfANewProcess() {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string commandLine = std::string("\"") + module + "\" " + kReportDpiSwitch;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 0;
    CloseHandle(info.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
}

std::string ConfigFileFor(const AppSettings& settings) {
    std::string text = std::string("[") + kConfigSection + "]\r\n";
    for (const auto& [key, value] : EncodeSettings(settings)) text += key + "=" + value + "\r\n";
    return text;
}

std::optional<std::string> ReadWholeFile(const std::string& path) { return harness::ReadFileBytes(path); }

namespace {

// One entry of the process's GDI handle table as Windows (and Wine) map it into the process (x64 layout).
struct GdiHandleEntry {
    std::uint64_t object;
    std::uint16_t processId;
    std::uint16_t lockAndCount;
    std::uint8_t extTypeAndStock;  // bit 7: a stock object
    std::uint8_t reuse;
    std::uint8_t type;  // 0: a free entry
    std::uint8_t flags;
    std::uint64_t userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24);
constexpr std::size_t kGdiHandleCount = 0x10000;

// Live GDI objects of this process, read from the handle table the PEB points to (at 0xF8 on x64): where
// GetGuiResources is not implemented (Wine) this is the only count there is.
DWORD CountGdiObjectsInHandleTable() {
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return 0;
    const auto* peb = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    const auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(peb + 0xF8);
    if (!table) return 0;
    const std::uint16_t pid = std::uint16_t(GetCurrentProcessId());
    DWORD count = 0;
    for (std::size_t i = 0; i < kGdiHandleCount; ++i) {
        const GdiHandleEntry& e = table[i];
        if (e.type == 0 || (e.extTypeAndStock & 0x80)) continue;
        if (e.processId != 0 && e.processId != pid) continue;  // Windows shares the table between processes
        ++count;
    }
    return count;
}

// Windows of this process, top-level and child: the USER objects a capture creates.
DWORD CountOwnWindows() {
    struct Counter {
        DWORD pid;
        DWORD count;
    } counter{GetCurrentProcessId(), 0};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<Counter*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != c->pid) return TRUE;
            ++c->count;
            EnumChildWindows(
                hwnd, [](HWND, LPARAM inner) -> BOOL { return ++reinterpret_cast<Counter*>(inner)->count, TRUE; }, lp);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&counter));
    return counter.count;
}

}  // namespace

ResourceUse CurrentResourceUse() {
    ResourceUse use;
    use.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    use.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    use.counted = use.gdiObjects == 0;
    if (use.gdiObjects == 0) use.gdiObjects = CountGdiObjectsInHandleTable();
    if (use.userObjects == 0) use.userObjects = CountOwnWindows();
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        use.privateBytes = counters.PagefileUsage;  // private committed bytes
        use.workingSet = counters.WorkingSetSize;
    }
    return use;
}

}  // namespace capture_test
