// The baseline of the start-up benchmark: the least a Win32 tray program does before its icon shows
// (a hidden window and one notification-area icon).
#include <windows.h>
#include <shellapi.h>

static NOTIFYICONDATAA g_icon;

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            g_icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
            g_icon.hWnd = hwnd;
            g_icon.uID = 100;
            g_icon.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
            g_icon.uCallbackMessage = WM_APP + 100;
            g_icon.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
            lstrcpyA(g_icon.szTip, "minimal");
            Shell_NotifyIconA(NIM_ADD, &g_icon);
            return 0;
        case WM_APP + 101:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            Shell_NotifyIconA(NIM_DELETE, &g_icon);
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = inst;
    wc.lpszClassName = "MinimalTray";
    RegisterClassA(&wc);
    CreateWindowA("MinimalTray", "minimal tray", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, inst, nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    return 0;
}
