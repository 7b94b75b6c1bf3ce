#pragma once
// Looking at the real program's windows from the test process: controls by layout name, their rectangles in
// the window's client coordinates, texts and states through messages, pop-up menus, message boxes, and
// screenshots for a person to look at.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "ui/layout.h"

namespace ui_test {

// The control of `layout` called `name` among the descendants of `root`, found by its control id.
HWND FindControlIn(HWND root, const WindowLayout& layout, std::string_view name);
HWND MainControl(HWND mainWindow, std::string_view name);

// The control's window rectangle in the client coordinates of `window`.
RECT RectInClient(HWND control, HWND window);

std::string TextOf(HWND hwnd);   // WM_GETTEXT, also across processes
bool CheckedOf(HWND hwnd);       // BM_GETCHECK == BST_CHECKED

// Types `text` into an edit box as keystrokes would: all selected, then one WM_CHAR per byte (a GBK pair as
// two), each posted to the box. Backspace empties the selection when `text` is empty.
void TypeInto(HWND edit, std::string_view text);

// The visible pop-up menu window ("#32768") of the process, or nullptr.
HWND FindPopupMenu(DWORD pid);

// Top-level window of `pid` with the caption, waited for.
HWND WaitForCaption(const char* caption, DWORD pid, DWORD timeoutMs = 20000);

// The texts of a message box's static controls, joined by "|".
std::string MessageBoxTexts(HWND box);

// CF_TEXT on the clipboard, if there is any.
std::optional<std::string> ClipboardText();
bool PutClipboardText(const std::string& text);

// The DPI of another process's window, or 96 when the system cannot tell.
UINT DpiOf(HWND window);
// Makes this thread per-monitor DPI aware for the scope, so rectangles of aware windows come unscaled.
class PerMonitorAwareScope {
public:
    PerMonitorAwareScope();
    ~PerMonitorAwareScope();
    PerMonitorAwareScope(const PerMonitorAwareScope&) = delete;
    PerMonitorAwareScope& operator=(const PerMonitorAwareScope&) = delete;

private:
    void* previous_ = nullptr;
};

// When LANYING_SCREENSHOT_DIR is set: writes the window's screen area as "<dir>\<name>.bmp" (also for another
// process's window, such as its pop-up menu). Otherwise does nothing and takes no time.
void SaveScreenshotIfWanted(HWND window, const char* name);

}  // namespace ui_test
