#include "tests/win/ui_support.h"

#include <cstring>
#include <vector>

#include "app/win_handles.h"
#include "tests/win/harness.h"
#include "ui/main_window_layout.h"

namespace ui_test {

HWND FindControlIn(HWND root, const WindowLayout& layout, std::string_view name) {
    const int id = ControlId(layout, name);
    if (!id || !root) return nullptr;
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        root,
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (GetDlgCtrlID(hwnd) == s->id) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND MainControl(HWND mainWindow, std::string_view name) { return FindControlIn(mainWindow, MainWindowLayout(), name); }

RECT RectInClient(HWND control, HWND window) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string TextOf(HWND hwnd) {
    char text[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000,
                        &ignored);
    return text;
}

bool CheckedOf(HWND hwnd) { return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TypeInto(HWND edit, std::string_view text) {
    PostMessageA(edit, EM_SETSEL, 0, -1);
    if (text.empty()) PostMessageA(edit, WM_CHAR, VK_BACK, 0);
    for (char c : text) PostMessageA(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 0);
}

HWND FindPopupMenu(DWORD pid) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{pid, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char name[64] = {};
            GetClassNameA(hwnd, name, sizeof name);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->pid && std::strcmp(name, "#32768") == 0 && IsWindowVisible(hwnd)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForCaption(const char* caption, DWORD pid, DWORD timeoutMs) {
    HWND found = nullptr;
    harness::WaitUntil([&] { return (found = harness::FindWindowByCaption(caption, pid)) != nullptr; }, timeoutMs);
    return found;
}

std::string MessageBoxTexts(HWND box) {
    std::string texts;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") != 0) continue;
        const std::string text = TextOf(child);
        if (text.empty()) continue;
        if (!texts.empty()) texts += "|";
        texts += text;
    }
    return texts;
}

std::optional<std::string> ClipboardText() {
    ClipboardSession clipboard(nullptr);
    if (!clipboard.IsOpen()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (!data) return std::nullopt;
    const char* text = static_cast<const char*>(GlobalLock(data));
    if (!text) return std::nullopt;
    std::string copy(text, strnlen(text, GlobalSize(data)));
    GlobalUnlock(data);
    return copy;
}

bool PutClipboardText(const std::string& text) {
    ClipboardSession clipboard(nullptr);
    if (!clipboard.IsOpen() || !EmptyClipboard()) return false;
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
    if (!block) return false;
    void* bytes = GlobalLock(block.get());
    if (!bytes) return false;
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(block.get());
    if (!SetClipboardData(CF_TEXT, block.get())) return false;
    block.release();
    return true;
}

namespace {
template <typename Fn>
Fn User32(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}
}  // namespace

UINT DpiOf(HWND window) {
    static const auto getDpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? dpi : 96;
}

PerMonitorAwareScope::PerMonitorAwareScope() {
    static const auto setContext = User32<void*(WINAPI*)(void*)>("SetThreadDpiAwarenessContext");
    if (setContext) previous_ = setContext(reinterpret_cast<void*>(-4) /* PER_MONITOR_AWARE_V2 */);
}

PerMonitorAwareScope::~PerMonitorAwareScope() {
    static const auto setContext = User32<void*(WINAPI*)(void*)>("SetThreadDpiAwarenessContext");
    if (setContext && previous_) setContext(previous_);
}

namespace {

// The screen area `rect` as a 24-bit BMP file at `path`.
void TakeScreenshot(const RECT& rect, const std::string& path) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    WindowDC screen(nullptr);
    UniqueDC memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap || !bits) return;
    {
        ScopedSelect select(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    }
    GdiFlush();
    const size_t stride = ((size_t(width) * 24 + 31) / 32) * 4;
    const size_t imageSize = stride * size_t(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = DWORD(file.bfOffBits + imageSize);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), imageSize);
    // Through a temporary name, so that a screenshot is either whole or not there.
    const std::string partial = path + ".part";
    if (!harness::WriteFileBytes(partial, bytes) ||
        !MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        DeleteFileA(partial.c_str());
}

}  // namespace

void SaveScreenshotIfWanted(HWND window, const char* name) {
    char folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("LANYING_SCREENSHOT_DIR", folder, sizeof folder) || !window) return;
    PerMonitorAwareScope aware;  // the window's real pixels, not a copy scaled down to 96 DPI
    RECT rect{};
    GetWindowRect(window, &rect);
    // A pointer left over the window by an earlier step would show up as a hover highlight: it waits outside
    // the window while the picture is taken.
    POINT pointer{};
    const bool movePointer = GetCursorPos(&pointer) && PtInRect(&rect, pointer);
    if (movePointer) {
        const POINT corner{0, 0};
        if (PtInRect(&rect, corner))
            SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        else
            SetCursorPos(corner.x, corner.y);
    }
    harness::WaitUntil([] { return false; }, 700);  // lets the window finish painting
    GetWindowRect(window, &rect);
    TakeScreenshot(rect, std::string(folder) + "\\" + name + ".bmp");
    if (movePointer) SetCursorPos(pointer.x, pointer.y);
}

}  // namespace ui_test
