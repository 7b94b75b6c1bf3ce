// Two hundred captures in a row leave the process's GDI and USER objects and its memory where they were
// after the first few: every session releases what it made (frozen screen, pointer bitmaps, GDI+, the
// pen dot, the overlay, the grabbed bitmaps).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/application.h"
#include "capture/capture_session_win.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"

using namespace capture_test;

namespace {

constexpr const char* kWineX11Key = "Software\\Wine\\X11 Driver";

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

std::string WineManagedSetting() {
    char value[16] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kWineX11Key, "Managed", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

// Wine lets a window manager manage full-screen pop-ups and, on a bare X server without one, waits two
// seconds for it each time the overlay or the board goes away. 200 captures would then outlast the test's
// time limit, so the loop runs in a child process started with that management off ("Managed" = "N", read
// when a process starts). Returns the child's exit code.
DWORD RunInUnmanagedChild() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kWineX11Key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    const std::string before = WineManagedSetting();
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);

    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string commandLine = std::string("\"") + module + "\" --gtest_filter=CaptureStress.*";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    DWORD code = 1000;
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        WaitForSingleObject(info.hProcess, INFINITE);
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
    }
    if (before.empty())
        RegDeleteValueA(key, "Managed");
    else
        RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(before.c_str()), DWORD(before.size() + 1));
    RegCloseKey(key);
    return code;
}

TEST(CaptureStress, TwoHundredCapturesLeaveObjectCountsAndMemoryFlat) {
    if (UnderWine() && WineManagedSetting() != "N") {
        EXPECT_EQ(RunInUnmanagedChild(), 0u) << "the captures in the child process failed (its output is above)";
        return;
    }
    PatternWindow pattern;
    ASSERT_TRUE(pattern.Shown());
    CaptureEnvironment env;
    env.Settings().keepCursor = true;  // the pointer's bitmaps are made and freed every time
    SetCursorPos(400, 300);

    constexpr int kWarmUp = 5, kTotal = 200;
    ResourceUse afterWarmUp;
    const ULONGLONG start = GetTickCount64();
    for (int i = 1; i <= kTotal; ++i) {
        App().lastCaptureImage.clear();
        RunCaptureSession();
        ASSERT_FALSE(App().lastCaptureImage.empty()) << "capture " << i << " brought no picture";
        if (i == kWarmUp) afterWarmUp = CurrentResourceUse();
    }
    const double msPerCapture = double(GetTickCount64() - start) / kTotal;
    const ResourceUse end = CurrentResourceUse();
    std::printf("%s: after %d captures GDI %lu, USER %lu, private %llu KiB, working set %llu KiB; after %d GDI %lu, "
                "USER %lu, private %llu KiB, working set %llu KiB; %.0f ms per capture\n",
                end.counted ? "counted in the handle table / as windows" : "GetGuiResources", kWarmUp,
                afterWarmUp.gdiObjects, afterWarmUp.userObjects,
                static_cast<unsigned long long>(afterWarmUp.privateBytes / 1024),
                static_cast<unsigned long long>(afterWarmUp.workingSet / 1024), kTotal, end.gdiObjects,
                end.userObjects, static_cast<unsigned long long>(end.privateBytes / 1024),
                static_cast<unsigned long long>(end.workingSet / 1024), msPerCapture);

    ASSERT_GT(afterWarmUp.gdiObjects, 0u) << "no way to count GDI objects here";
    EXPECT_LE(end.gdiObjects, afterWarmUp.gdiObjects + 2) << "GDI objects leak";
    EXPECT_LE(end.userObjects, afterWarmUp.userObjects + 2) << "USER objects leak";
    // One leaked frame alone is 5 MB at 1280 × 1024; 195 of them would be a gigabyte.
    const std::uint64_t frame = std::uint64_t(GetSystemMetrics(SM_CXSCREEN)) * GetSystemMetrics(SM_CYSCREEN) * 4;
    EXPECT_LT(end.privateBytes, afterWarmUp.privateBytes + 3 * frame) << "memory grows with every capture";
    EXPECT_LT(end.workingSet, afterWarmUp.workingSet + 3 * frame) << "memory grows with every capture";
}

}  // namespace
