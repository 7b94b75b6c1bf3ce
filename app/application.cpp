#include "app/application.h"

#include "app/main_window.h"
#include "app/resource.h"
#include "app/tray_icon.h"
#include "capture/capture_hotkey_win.h"
#include "output/naming_win.h"
#include "settings/settings_file_win.h"
#include "ui/balloon_tip.h"
#include "ui/controls.h"

namespace {

WNDPROC g_baseWindowProc = nullptr;

// The main window's hook: brings the icon back when the shell restarts, then lets every message,
// that one included, go on to the ordinary handling.
LRESULT CALLBACK MainWindowHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == App().taskbarCreatedMessage) {
        SetTrayIcon(hwnd, nullptr, "");
        SetTrayIcon(hwnd, LoadTrayIcon(), kTrayTip);
    }
    return CallWindowProcA(g_baseWindowProc, hwnd, message, wParam, lParam);
}

void RunShutdownSteps() {
    ApplicationState& app = App();
    if (app.shutDown) return;
    app.shutDown = true;
    SetTrayIcon(app.mainWindow, nullptr, "");
    DeleteFileA(TempCapturePath().c_str());
    SaveSettings(app.settings);
}

}  // namespace

ApplicationState& App() {
    static ApplicationState state;
    return state;
}

int RunApplication(HINSTANCE instance, const char* commandLine) {
    ApplicationState& app = App();
    app.instance = instance;
    app.commandLine = commandLine ? commandLine : "";
    if (!CreateMainWindow(instance)) return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

bool IsAlreadyRunning() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, kInstanceEventName);
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (existed) {
        if (event) CloseHandle(event);
        return true;
    }
    App().instanceEvent.reset(event);  // held until the process ends: its name marks the running instance
    return false;
}

void NotifySettingsChanged() {
    if (App().settingsChanged) App().settingsChanged();
}

void NotifyCaptureChanged() {
    if (App().captureChanged) App().captureChanged();
}

void RequestExit() { PostMessageA(App().mainWindow, kRequestExitMessage, 0, 0); }

void OnMainWindowCreated(HWND window) {
    ApplicationState& app = App();
    app.mainWindow = window;
    SetTrayIcon(window, LoadTrayIcon(), kTrayTip);
    g_baseWindowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MainWindowHook)));
    app.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");

    if (IsAlreadyRunning()) {
        // The running instance owns the options and the working capture: touch neither.
        SetTrayIcon(window, nullptr, "");
        ExitProcess(0);
    }

    if (!StartsHidden(app.commandLine.c_str())) ShowWindow(window, SW_SHOW);
    LoadSettings(app.settings);
    NotifySettingsChanged();  // the loaded options appear in the controls
    AttachBalloonTip(FindControl("自动计数"),
                     "本选项 后缀2 选中有效。  如果抓图命名和\r\n存储目录下的文件重名，则自动计数 +1，直\r\n"
                     "至不重名。本选项为全自动、静默的存储方式。");
    AttachBalloonTip(FindControl("命名预览"), "如果 前缀 后缀1 后缀2 全部未选中，则以\r\n当前 日期+时间 的命名方式命名");
    RegisterCaptureHotkey();
    ShowHotkeyState();  // a refused hotkey is reported here, after the options have been read
    RefreshFileName();
}

void OnMainWindowDestroyed() {
    RunShutdownSteps();
    ExitProcess(0);
}

void OnSessionEnding() { RunShutdownSteps(); }

std::string TempCapturePath() {
    char folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof folder, folder);
    std::string path(folder, n <= MAX_PATH ? n : 0);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + "temp.bmp";
}

HICON LoadTrayIcon() {
    return static_cast<HICON>(LoadImageA(App().instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

std::vector<std::string> SplitArguments(const char* commandLine) {
    std::vector<std::string> args;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine ? commandLine : "");
    while (*p) {
        if (*p < '!') {
            ++p;
            continue;
        }
        std::string arg;
        if (*p == '"') {
            ++p;
            while (*p && *p != '"') arg += char(*p++);
            if (*p == '"') ++p;
        } else {
            while (*p >= '!') arg += char(*p++);
        }
        args.push_back(std::move(arg));
    }
    return args;
}

bool StartsHidden(const char* commandLine) {
    // "/s" and "-s" ask for the tray only; any other first argument (a file name, say) starts hidden too.
    return !SplitArguments(commandLine).empty();
}
