#include "output/post_capture_win.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "app/application.h"
#include "app/win_handles.h"
#include "output/file_naming.h"
#include "output/save_flow_win.h"

namespace {

constexpr DWORD kInputIdleWaitMs = 1000;

void ShowError(const char* text, const char* title) {
    MessageBoxA(nullptr, text, title, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// Starts the command line and lets it run on its own; a program that cannot be started is not reported.
void StartProgram(const std::string& commandLine) {
    // CreateProcessA may write into the command line, so it gets a private copy.
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    WaitForInputIdle(process.get(), kInputIdleWaitMs);
}

}  // namespace

std::string PaintProgramPath() {
    char folder[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryA(folder, sizeof folder);
    return FolderWithBackslash(std::string(folder, n <= MAX_PATH ? n : 0)) + "system32\\mspaint.exe";
}

std::string PaintCommandLine(const std::string& paintProgram, const std::string& savedPath) {
    return paintProgram + " \"" + savedPath + "\"";
}

std::string FileManagerCommandLine(const std::string& folder) { return "explorer.exe /n," + folder; }

void EditInPaint() {
    const std::string& saved = App().lastSavedPath;
    if (saved.empty()) {
        ShowError(kNoCaptureText, kErrorTitle);
        return;
    }
    const std::string paint = PaintProgramPath();
    const DWORD attributes = GetFileAttributesA(paint.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ShowError(kNoPaintText, kErrorTitle);
        return;
    }
    StartProgram(PaintCommandLine(paint, saved));
}

void OpenSaveFolder() {
    const std::string& folder = App().settings.autoSaveFolder;
    if (folder.empty() || !PathIsDirectoryA(folder.c_str())) {
        ShowError(kNoFolderText, kNoFolderTitle);
        return;
    }
    StartProgram(FileManagerCommandLine(folder));
}
