#pragma once
// The main window's controls, for the rest of the program.
//
// Controls are addressed by their layout names (ui/main_window_layout.cpp); a control's window id (the
// WM_COMMAND id) is ControlId(MainWindowLayout(), name). The window writes every user
// change of an option control into App().settings before any registered handler runs, so a handler reads the
// record, not the control. Code that changes App().settings (or App().namePreview) calls
// NotifySettingsChanged() and the window shows the record again; code that changes App().lastCaptureImage
// calls NotifyCaptureChanged() and the preview A shows it.
//
// Events (ui/layout.h): 0 is the control's own event (clicked, text changed, position changed; for a Label
// the hotkey notification WM_APP + 0x75); -1/-2 left button down/up, -4/-5 right button down/up, -6 mouse
// moved, with x, y in the control's client pixels and the key state. A handler receives every event of its
// control: test `event.code` (or the int) first.
//
// What to hook, and what the window already does before the handler runs:
//   标签1        hidden Label outside the client area; the hotkey window procedure sends it
//                kHotkeyNotifyMessage (WM_APP + 0x75): event 0 -> start a capture.
//   按钮1        PicBtn "抓图": event 0 -> start a capture.
//   保存按钮     PicBtn: event 0 -> save the last capture (Save dialog).
//   按钮4        PicBtn: event 0 -> edit the last capture in Paint.
//   按钮5        PicBtn: event 0 -> change the hotkey (RunHotkeyDialog, ui/hotkey_dialog.h).
//   标签7        Label showing the hotkey: SetWindowTextA(FindControl("标签7"), ...).
//   打开保存文件夹  Button: event 0 -> open the save folder.
//   立即保存     CheckBox: saveImmediately is written and ApplyOptionDependencies applied (自动保存 enabled
//                or disabled) before the handler.
//   自动数字     CheckBox: useAutoNumber is written and ApplyOptionDependencies applied (自动计数 enabled or
//                disabled, the policy falling back to 询问) before the handler (the naming refresh).
//   前缀选择, 日期   CheckBox: usePrefix / useDate written; event 0 -> the naming refresh.
//   前缀编辑, 计数器起始值   EditBox: prefix / counterText written; event 0 on every change, typed or set
//                through SetControlText (exactly once) -> the naming refresh.
//   JPG, PNG, BMP, GIF   RadioBox: imageFormat written; event 0 -> the counter reset and naming refresh.
//   命名预览     Label: shows App().namePreview on NotifySettingsChanged().
// Built in and not to be hooked: 按钮2 (hides the window), 按钮3 (ChooseAutoSaveFolder, shown in 路径),
// 按钮6 (the JPEG dialog), A (the preview menu on -1 and -4), the about page, and every other option control
// (written into App().settings).
//
// Menu items reach registered actions by their captions: "开始抓图" (run 300 ms after the click, when the
// menu is gone), "编辑上次抓图", "保存抓图", "编辑抓图". Until something is registered, a click does nothing.
#include <windows.h>

#include <functional>
#include <string_view>

#include "ui/form.h"

// The main window's form (built when the window is created).
Form& MainForm();

// The window of the main-window control called `layoutName`; nullptr for an unknown name, before the window
// exists, and for 打开对话框 (a CommonDlg: its filter is kSaveDialogFilter in ui/main_window_layout.h).
HWND FindControl(std::string_view layoutName);

// Binds the handler of a main-window control; a second call replaces the first. May be called before the
// window exists.
void SetControlHandler(std::string_view layoutName, ControlHandler handler);
void SetControlHandler(std::string_view layoutName, std::function<void(int event)> handler);

// Binds the action of a menu item by its caption; a second call replaces the first.
void SetMenuAction(std::string_view caption, std::function<void()> action);
// Runs the action bound to `caption`, if any.
void RunMenuAction(std::string_view caption);

// Sets the text of a main-window control. For an EditBox this raises its event 0 exactly once, after the new
// text is in place (and the window writes it into App().settings); for other kinds it raises nothing.
void SetControlText(std::string_view layoutName, std::string_view text);
