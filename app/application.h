#pragma once
// Life cycle of the process: start-up, single instance, shutdown.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/win_handles.h"
#include "imaging/image_types.h"
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
    // The options as the main window shows them: the window's controls write every change here at once, so
    // consumers read the current value at the moment they act.
    AppSettings settings;
    bool shutDown = false;  // the shutdown steps ran (exit path or end of the Windows session)

    ByteArray lastCaptureImage;  // the last capture as a 24-bit BMP file image; empty before the first
    std::string lastSavedPath;   // the file written by the last save of this run
    std::string fileNameStem;    // prefix and date part of generated names, as of the last refresh
    std::string namePreview;     // the generated name the window shows
    bool captureRunning = false; // a capture session is under way

    // Set by the window's controls: code that changes `settings`, `namePreview` or `lastCaptureImage`
    // calls these so the window shows the change (they may be empty, before the controls exist).
    std::function<void()> settingsChanged;
    std::function<void()> captureChanged;
};

// Tell the window that the record or the capture changed.
void NotifySettingsChanged();
void NotifyCaptureChanged();

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
