#pragma once
// Life cycle of the process: start-up, single instance, shutdown.
#include <windows.h>

#include <string>
#include <vector>

#include "app/win_handles.h"
#include "settings/app_settings.h"

constexpr UINT kRequestExitMessage = WM_APP + 101;
constexpr const char* kInstanceEventName = "myappname";
constexpr const char* kMainWindowCaption = "岚影 - 专业抓图工具 Ver 1.0";

struct ApplicationState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    std::string commandLine;  // the arguments after the program path
    UINT taskbarCreatedMessage = 0;
    UniqueHandle instanceEvent;
    AppSettings settings;
    bool shutDown = false;  // the shutdown steps ran (exit path or end of the Windows session)
};

ApplicationState& App();

// Entry point behind WinMain; returns only if the main window cannot be created.
int RunApplication(HINSTANCE instance, const char* commandLine);

// Marks this process as the running instance; true when another one already runs. One atomic step, so two
// instances started together cannot both pass.
bool IsAlreadyRunning();

// Asks the main window to end the program once the current message has been handled.
void RequestExit();

void OnMainWindowCreated(HWND window);
void OnMainWindowDestroyed();
// The end of the Windows session: the options are written as on the exit path.
void OnSessionEnding();

// "temp.bmp" in the temporary folder: the last capture as a 24-bit BMP.
std::string TempCapturePath();

// A fresh copy of the program's icon at the small-icon size, for the notification area.
HICON LoadTrayIcon();

// Splits a command line at blanks and control characters; a double-quoted argument runs to the next quote.
std::vector<std::string> SplitArguments(const char* commandLine);
// Whether the command line keeps the window hidden: any first argument does ("/s" and "-s" by design).
bool StartsHidden(const char* commandLine);
