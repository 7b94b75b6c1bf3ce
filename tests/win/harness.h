#pragma once
// Drives the real lanying.exe from a test: start it in this Wine prefix, find its windows, send it messages
// and input, wait for files, read the clipboard and check how it ended. Every wait has a timeout.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "app/win_handles.h"

namespace harness {

constexpr DWORD kStartTimeoutMs = 60000;  // Wine is slow the first time it does anything
constexpr DWORD kActionTimeoutMs = 20000;

// Polls `condition` until it holds or the timeout passes, pumping this thread's messages meanwhile.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kActionTimeoutMs);

std::string ProgramPath();     // lanying.exe next to the test program
std::string ConfigPath();      // the configuration file in the documents folder
std::string TempCapturePath(); // temp.bmp in the temporary folder
std::string DesktopPath();     // the desktop folder, with a trailing backslash

std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool WaitForFile(const std::string& path, DWORD timeoutMs = kActionTimeoutMs);
void RemoveFile(const std::string& path);

// Top-level window of the given process (any process when pid is 0) with exactly this caption.
HWND FindWindowByCaption(const char* caption, DWORD pid = 0);

// Whether the notification area has the icon (owner, id): asks the shell to modify its tip, which only
// succeeds for an icon it holds.
bool TrayIconExists(HWND owner, UINT id = 100);

// Keyboard and mouse input through SendInput.
void SendKey(WORD virtualKey);
void ClickAt(int x, int y, bool rightButton = false);

// Size of the CF_BITMAP on the clipboard, if any.
std::optional<SIZE> ClipboardBitmapSize();

// One run of lanying.exe. The destructor ends a process that is still running.
class Program {
public:
    // Starts the program with `arguments`. A configuration file is written first when `configBytes` is given,
    // and removed when it is not, so each test starts from a known file.
    static Program Start(const std::string& arguments = "",
                         const std::optional<std::string>& configBytes = std::nullopt);
    // Starts without touching the configuration file.
    static Program StartKeepingConfig(const std::string& arguments = "");

    Program(Program&&) = default;
    Program& operator=(Program&&) = default;
    ~Program();

    DWORD Id() const { return pid_; }
    bool Running() const;
    // The main window once the program has finished its start-up sequence (it answers messages).
    HWND WaitForMainWindow(DWORD timeoutMs = kStartTimeoutMs);
    // The exit code, or nothing when the process is still running after the timeout.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kActionTimeoutMs);
    // Posts the program's own exit request and waits for the process to end.
    std::optional<DWORD> Exit();

private:
    Program() = default;
    UniqueHandle process_;
    DWORD pid_ = 0;
};

// Ends every lanying.exe still running, so a test starts with no instance.
void EndStrayInstances();

}  // namespace harness
