#pragma once
// HotkeyDialog ("抓图热键设置"): the window and its modal run; what it shows and stores is the caller's.
#include <functional>

#include "ui/form.h"

// Runs the dialog modally. `onCreated` fills the controls (Ctrl, Alt, Shift check boxes and the list 组合框1,
// whose item 0 is selected by the layout) before the dialog shows. `onOk` runs when 确定 is pressed, with the
// controls still there, and the dialog closes after it. 取消, Esc and the close box close it without onOk.
// Returns when the dialog is gone.
void RunHotkeyDialog(const std::function<void(Form&)>& onCreated, const std::function<void(Form&)>& onOk);
