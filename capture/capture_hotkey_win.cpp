#include "capture/capture_hotkey_win.h"

#include "app/application.h"
#include "capture/capture_session_win.h"
#include "capture/hotkey_keys.h"
#include "ui/balloon_tip.h"
#include "ui/controls.h"
#include "ui/hotkey_dialog.h"

namespace {

CaptureHotkeyState g_hotkey;

LRESULT CALLBACK HotkeyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC previous = g_hotkey.previousProc;
    if (message == WM_HOTKEY && int(wParam) >= kFirstHotkeyId && int(wParam) <= g_hotkey.highestId)
        SendMessageA(g_hotkey.target, kHotkeyForwardMessage, wParam, 0);  // the whole capture runs in here
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

void StartCaptureOnDefaultEvent(int event) {
    if (event == kEventDefault) RunCaptureSession();
}

}  // namespace

const CaptureHotkeyState& CaptureHotkey() { return g_hotkey; }

void BindCaptureControls() {
    SetControlHandler("标签1", StartCaptureOnDefaultEvent);
    SetControlHandler("按钮1", StartCaptureOnDefaultEvent);
    SetControlHandler("按钮5", [](int event) {
        if (event == kEventDefault) ChangeHotkey();
    });
    SetMenuAction("开始抓图", RunCaptureSession);
}

void RegisterCaptureHotkey() {
    static const bool bound = (BindCaptureControls(), true);
    (void)bound;
    const AppSettings& s = App().settings;
    HWND mainWindow = App().mainWindow;
    const UINT modifiers = HotkeyModifierFlags(s.hotkeyCtrl, s.hotkeyAlt, s.hotkeyShift);
    g_hotkey.target = FindControl("标签1");
    if (!g_hotkey.procedureInstalled && mainWindow) {
        g_hotkey.previousProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HotkeyWindowProc)));
        g_hotkey.procedureInstalled = g_hotkey.previousProc != nullptr;
    }
    ++g_hotkey.outstanding;
    const int id = kFirstHotkeyId + g_hotkey.issued;
    ++g_hotkey.issued;
    g_hotkey.highestId = id;
    g_hotkey.hotkeyId = RegisterHotKey(mainWindow, id, modifiers, UINT(s.hotkeyKey)) ? id : 0;
}

void UnregisterCaptureHotkey() {
    HWND mainWindow = App().mainWindow;
    UnregisterHotKey(mainWindow, g_hotkey.hotkeyId);  // an id of 0 fails without harm
    --g_hotkey.outstanding;
    // Only taken out when still first in line: a procedure put in front later must keep its chain intact.
    if (g_hotkey.outstanding <= 0 && g_hotkey.procedureInstalled && mainWindow &&
        GetWindowLongPtrA(mainWindow, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(HotkeyWindowProc)) {
        SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_hotkey.previousProc));
        g_hotkey.procedureInstalled = false;
        g_hotkey.previousProc = nullptr;
    }
}

void ShowHotkeyState() {
    const AppSettings& s = App().settings;
    const bool registered = g_hotkey.hotkeyId != 0;
    HWND label = FindControl("标签7");
    const std::string text = HotkeyLabelText(s.hotkeyCtrl, s.hotkeyAlt, s.hotkeyShift, s.hotkeyKey, registered);
    if (label) SetWindowTextA(label, text.c_str());
    if (!registered) {
        MessageBoxA(nullptr, kHotkeyFailureMessage, kHotkeyFailureTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
        if (label) AttachBalloonTip(label, kHotkeyFailureTip);
    } else if (label) {
        AttachBalloonTip(label, "");
    }
}

void ChangeHotkey() {
    UnregisterCaptureHotkey();
    RunHotkeyDialog(
        [](Form& dialog) {
            const AppSettings& s = App().settings;
            dialog.SetChecked("Ctrl", s.hotkeyCtrl);
            dialog.SetChecked("Alt", s.hotkeyAlt);
            dialog.SetChecked("Shift", s.hotkeyShift);
            // A key the list does not offer leaves the layout's selection (item 0).
            if (const int index = HotkeyKeyIndex(s.hotkeyKey); index >= 0) dialog.SetSelection("组合框1", index);
        },
        [](Form& dialog) {
            AppSettings& s = App().settings;
            s.hotkeyCtrl = dialog.Checked("Ctrl");
            s.hotkeyAlt = dialog.Checked("Alt");
            s.hotkeyShift = dialog.Checked("Shift");
            if (const int key = HotkeyKeyAt(dialog.Selection("组合框1")); key >= 0) s.hotkeyKey = key;
        });
    RegisterCaptureHotkey();
    ShowHotkeyState();
}
