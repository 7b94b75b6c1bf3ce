#include "tests/win/harness.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <vector>

namespace harness {

namespace {

std::string ModuleFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    std::string s = path;
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        PumpMessages();
        Sleep(25);
    }
}

std::string ProgramPath() { return ModuleFolder() + "lanying.exe"; }
std::string ConfigPath() { return SpecialFolder(CSIDL_PERSONAL) + "岚影抓图配置文件.dat"; }
std::string DesktopPath() { return SpecialFolder(CSIDL_DESKTOPDIRECTORY); }

std::string TempCapturePath() {
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(sizeof folder, folder);
    std::string s = folder;
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s + "temp.bmp";
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

bool WaitForFile(const std::string& path, DWORD timeoutMs) {
    return WaitUntil([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
}

void RemoveFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

HWND FindWindowByCaption(const char* caption, DWORD pid) {
    struct Search {
        const char* caption;
        DWORD pid;
        HWND found;
    } search{caption, pid, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char text[512] = {};
            GetWindowTextA(hwnd, text, sizeof text);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (std::string(text) == s->caption && (s->pid == 0 || owner == s->pid)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool TrayIconExists(HWND owner, UINT id) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = NIF_TIP;
    lstrcpynA(data.szTip, "岚影 抓图工具", sizeof data.szTip);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void SendKey(WORD virtualKey) {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = virtualKey;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

void ClickAt(int x, int y, bool rightButton) {
    SetCursorPos(x, y);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

std::optional<SIZE> ClipboardBitmapSize() {
    ClipboardSession clipboard(nullptr);
    if (!clipboard.IsOpen()) return std::nullopt;
    auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    BITMAP info{};
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return std::nullopt;
    return SIZE{info.bmWidth, info.bmHeight};
}

Program Program::Start(const std::string& arguments, const std::optional<std::string>& configBytes) {
    if (configBytes)
        WriteFileBytes(ConfigPath(), *configBytes);
    else
        RemoveFile(ConfigPath());
    return StartKeepingConfig(arguments);
}

Program Program::StartKeepingConfig(const std::string& arguments) {
    std::string commandLine;
    commandLine.append(1, '"').append(ProgramPath()).append(1, '"');
    if (!arguments.empty()) commandLine.append(1, ' ').append(arguments);
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    Program program;
    if (CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        program.process_.reset(info.hProcess);
        program.pid_ = info.dwProcessId;
    }
    return program;
}

Program::~Program() {
    if (Running()) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 10000);
    }
}

bool Program::Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

HWND Program::WaitForMainWindow(DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowByCaption("岚影 - 专业抓图工具 Ver 1.0", pid_)) != nullptr; },
              timeoutMs);
    if (!window) return nullptr;
    // Idle means the thread waits in its message loop: the creation handler, and so the start-up sequence,
    // has finished (the window may answer sent messages earlier, while start-up itself waits on the shell).
    const ULONGLONG now = GetTickCount64();
    WaitForInputIdle(process_.get(), now < end ? DWORD(end - now) : 0);
    return window;
}

std::optional<DWORD> Program::WaitForExit(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

std::optional<DWORD> Program::Exit() {
    if (HWND window = FindWindowByCaption("岚影 - 专业抓图工具 Ver 1.0", pid_))
        PostMessageA(window, WM_APP + 101, 0, 0);
    return WaitForExit();
}

void EndStrayInstances() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, "lanying.exe") != 0) continue;
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 10000);
        }
    }
}

}  // namespace harness
