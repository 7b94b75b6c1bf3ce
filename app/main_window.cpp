#include "app/main_window.h"

#include "app/application.h"
#include "app/resource.h"
#include "app/tray_icon.h"
#include "ui/controls.h"
#include "ui/main_form.h"
#include "ui/main_window_layout.h"

namespace {

void HideToTray(HWND hwnd) {
    ShowWindow(hwnd, SW_HIDE);
    SetTrayIcon(hwnd, LoadTrayIcon(), kTrayTip);
}

void OnTrayIcon(HWND hwnd, LPARAM event) {
    switch (event) {
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU: ShowTrayMenu(hwnd); break;
        case WM_LBUTTONDBLCLK: ShowWindow(hwnd, SW_SHOW); break;
        default: break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    switch (message) {
        case WM_CREATE:
            // The controls exist before the start-up sequence, which reads and fills them.
            BuildMainWindowControls(hwnd);
            OnMainWindowCreated(hwnd);
            return 0;
        case WM_CLOSE:
            // Closing only hides: the program lives on in the notification area.
            HideToTray(hwnd);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) ShowLastCapture();
            break;
        case WM_COMMAND:
            if (lParam == 0 && HIWORD(wParam) == 0 && RunMainMenuCommand(hwnd, LOWORD(wParam))) return 0;
            if (MainForm().HandleMessage(message, wParam, lParam, result)) return result;
            break;
        case WM_NOTIFY:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_DRAWITEM:
            if (MainForm().HandleMessage(message, wParam, lParam, result)) return result;
            break;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            MainForm().SetDpi(HIWORD(wParam));
            return 0;
        }
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
            OnTrayIcon(hwnd, lParam);
            return 0;
        default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
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

    // Sized for the primary monitor, where it is centred; the form rescales if the window's DPI differs.
    const WindowLayout& layout = MainWindowLayout();
    const UINT dpi = SystemDpi();
    const int width = ScaleToDpi(layout.width, dpi);
    const int height = ScaleToDpi(layout.height, dpi);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + ((work.right - work.left) - width) / 2;
    const int top = work.top + ((work.bottom - work.top) - height) / 2;
    return CreateWindowExA(layout.exStyle, kMainWindowClass, layout.caption, layout.style, left, top, width, height,
                           nullptr, nullptr, instance, nullptr);
}
