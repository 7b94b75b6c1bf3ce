#include "app/tray_icon.h"

#include <shellapi.h>

#include <cstring>

#include "app/win_handles.h"

namespace {

// The record of the icon shown, kept between calls.
UniqueIcon g_shownIcon;
bool g_shown = false;

NOTIFYICONDATAA MakeRecord(HWND owner, HICON icon, const char* tip) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the first version of the record is all the icon needs
    data.hWnd = owner;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;
    // At most 62 bytes of the tip, the rest zero.
    std::strncpy(data.szTip, tip ? tip : "", 62);
    data.szTip[62] = data.szTip[63] = '\0';
    return data;
}

}  // namespace

void SetTrayIcon(HWND owner, HICON icon, const char* tip) {
    NOTIFYICONDATAA data = MakeRecord(owner, icon, tip);
    if (icon) {
        Shell_NotifyIconA(g_shown ? NIM_MODIFY : NIM_ADD, &data);
        g_shownIcon.reset(icon);  // destroys the icon shown before, after the shell has the new one
        g_shown = true;
    } else if (g_shown) {
        Shell_NotifyIconA(NIM_DELETE, &data);
        g_shownIcon.reset();
        g_shown = false;
    }
}

bool TrayIconShown() { return g_shown; }
