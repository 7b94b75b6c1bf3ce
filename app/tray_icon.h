#pragma once
#include <windows.h>

// The one notification-area icon of the main window (uID 100, callback WM_APP + 100).
constexpr UINT kTrayIconId = 100;
constexpr UINT kTrayCallbackMessage = WM_APP + 100;
constexpr const char* kTrayTip = "岚影 抓图工具";

// With an icon: adds it when none is shown, else modifies it and destroys the icon shown before.
// Without one: removes the shown icon and destroys it. Takes ownership of `icon`.
void SetTrayIcon(HWND owner, HICON icon, const char* tip);

// Whether the record holds a shown icon.
bool TrayIconShown();
