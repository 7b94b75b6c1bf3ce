#include "app/main_window.h"

#include "app/application.h"
#include "app/resource.h"
#include "app/tray_icon.h"

namespace {

// The window's outer size at 96 DPI.
constexpr int kOuterWidth = 602;
constexpr int kOuterHeight = 400;
constexpr DWORD kMainWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

void HideToTray(HWND hwnd) {
    ShowWindow(hwnd, SW_HIDE);
    SetTrayIcon(hwnd, LoadTrayIcon(), kTrayTip);
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnMainWindowCreated(hwnd);
            return 0;
        case WM_CLOSE:
            // Closing only hides: the program lives on in the notification area.
            HideToTray(hwnd);
            return 0;
        case kRequestExitMessage:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            OnMainWindowDestroyed();
            return 0;
        case WM_QUERYENDSESSION:
            // Never hold up the end of the Windows session.
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) OnSessionEnding();
            return 0;
        case kTrayCallbackMessage:
            if (lParam == WM_LBUTTONDBLCLK) ShowWindow(hwnd, SW_SHOW);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    if (!RegisterClassExA(&wc)) return nullptr;

    const UINT dpi = GetDpiForSystem();
    const int width = MulDiv(kOuterWidth, int(dpi), 96);
    const int height = MulDiv(kOuterHeight, int(dpi), 96);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + ((work.right - work.left) - width) / 2;
    const int top = work.top + ((work.bottom - work.top) - height) / 2;
    return CreateWindowExA(0, kMainWindowClass, kMainWindowCaption, kMainWindowStyle, left, top, width, height,
                           nullptr, nullptr, instance, nullptr);
}
