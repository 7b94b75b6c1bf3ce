// Measures process start to notification-area icon shown, for a program and a caption, several times.
// Usage: startup_probe.exe <exe> <caption> <runs> [arguments]
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Search {
    const char* caption;
    DWORD pid;
    HWND found;
};

HWND FindMainWindow(const char* caption, DWORD pid) {
    Search s{caption, pid, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char text[256] = {};
            GetWindowTextA(hwnd, text, sizeof text);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->pid && std::string(text) == s->caption) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool IconShown(HWND owner) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = owner;
    data.uID = 100;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string exe = argv[1];
    const char* caption = argv[2];
    const int runs = std::max(1, atoi(argv[3]));
    const std::string args = argc > 4 ? argv[4] : "";
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        std::string line = "\"" + exe + "\" " + args;
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        LARGE_INTEGER start, now;
        QueryPerformanceCounter(&start);
        if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
        HWND window = nullptr;
        for (;;) {
            if (!window) window = FindMainWindow(caption, pi.dwProcessId);
            if (window && IconShown(window)) break;
            if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) return 1;
        }
        QueryPerformanceCounter(&now);
        ms.push_back(1000.0 * double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart));
        PostMessageA(window, WM_APP + 101, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%.1f\n", ms[ms.size() / 2]);  // the median
    return 0;
}
