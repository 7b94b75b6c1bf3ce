#pragma once
// The capture hotkey: one system-wide hotkey registered for the main window, each registration under a
// fresh identifier from 33001 upward. A press arrives as WM_HOTKEY at the main window, whose procedure the
// hotkey procedure stands in front of while a registration is outstanding; it sends WM_APP + 0x75 to the
// hidden label 标签1, whose handler starts the capture. The label 标签7 shows the hotkey, or the failure when
// the system refused the combination.
#include <windows.h>

constexpr int kFirstHotkeyId = 33001;
constexpr UINT kHotkeyForwardMessage = WM_APP + 0x75;
constexpr const char* kHotkeyDialogCaption = "抓图热键设置";

struct CaptureHotkeyState {
    int hotkeyId = 0;      // the current registration; 0 when the last one was refused
    int issued = 0;        // identifiers handed out in this run, refused ones included
    int highestId = 0;     // the last identifier handed out
    int outstanding = 0;   // registrations minus unregistrations
    HWND target = nullptr; // 标签1, which receives the presses
    WNDPROC previousProc = nullptr;
    bool procedureInstalled = false;
};

const CaptureHotkeyState& CaptureHotkey();

// Registers App().settings' hotkey for App().mainWindow under the next identifier. The first call also
// binds the capture's controls (see BindCaptureControls).
void RegisterCaptureHotkey();
// Releases the current registration.
void UnregisterCaptureHotkey();
// Shows the hotkey in 标签7; a refused registration shows its failure text there, its message box and a
// balloon tip explaining it.
void ShowHotkeyState();
// The click on 按钮5: the hotkey dialog, then the new (or, after 取消, the same) hotkey registered anew.
void ChangeHotkey();

// Binds the main window's capture controls: 标签1 (the forwarded hotkey), the capture button 按钮1 and the
// tray item "开始抓图" start a capture, 按钮5 changes the hotkey. Safe to call more than once.
void BindCaptureControls();
