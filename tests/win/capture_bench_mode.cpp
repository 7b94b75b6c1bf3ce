// The measuring mode of win_tests.exe that bench/capture_bench.sh runs ("--capture-bench=<runs>"): not a
// test. The Win32 capture code only runs inside lanying.exe or this program, and timing it from inside
// needs no guessing at what the screen shows. It times
//   trigger  -> frozen screen shown: RunCaptureSession called until the overlay is visible with nothing
//               left to paint (no 500 ms wait: the window is not hidden);
//   release  -> TempCapture written: the left button released over the selection board until the working
//               file exists (it appears whole: it is written aside and renamed);
// and prints one line per measure: name, runs, median and minimum in milliseconds.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "capture/capture_overlay_win.h"
#include "capture/capture_session_win.h"
#include "capture/rectangle_selection_win.h"
#include "output/file_naming.h"
#include "output/naming_win.h"
#include "tests/win/capture_support.h"
#include "tests/win/harness.h"

namespace {

using namespace capture_test;

constexpr const char* kBenchSwitch = "--capture-bench=";

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void Report(const char* name, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s runs=0\n", name);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s runs=%zu median_ms=%.1f min_ms=%.1f\n", name, ms.size(), ms[ms.size() / 2], ms.front());
    std::fflush(stdout);
}

// Trigger to frozen screen shown, in the freehand mode (the overlay stays until the right button).
std::vector<double> TimeTriggerToFrozenScreen(int runs) {
    std::vector<double> times;
    App().settings.captureMode = CaptureMode::FreehandRegion;
    for (int i = 0; i < runs; ++i) {
        std::atomic<double> start{0}, shown{0};
        {
            Driver driver([&] {
                HWND overlay = nullptr;
                const double giveUp = NowMs() + 30000;
                while ((!(overlay = FindWindowA(kOverlayClassName, nullptr)) || !IsWindowVisible(overlay) ||
                        GetUpdateRect(overlay, nullptr, FALSE)) &&
                       NowMs() < giveUp)
                    Sleep(0);
                if (NowMs() >= giveUp) return;
                shown = NowMs();
                MoveMouse(200, 200);
                MouseButton(false, true);
                MouseButton(false, false);
            });
            start = NowMs();
            RunCaptureSession();
        }
        if (shown.load() > 0) times.push_back(shown.load() - start.load());
    }
    return times;
}

// Release over the selection board, for a selection of almost the whole screen, until `file` exists. The
// capture writes its files aside and renames them, so a file appears only once it is complete and closed.
std::vector<double> TimeReleaseUntilFileExists(int runs, const std::string& file) {
    std::vector<double> times;
    App().settings.captureMode = CaptureMode::RectangleRegion;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    for (int i = 0; i < runs; ++i) {
        harness::RemoveFile(file);
        std::atomic<double> released{0}, written{0};
        {
            Driver driver([&] {
                if (!WaitForWindow(kSelectionBoardClassName)) return;
                MoveMouse(1, 1);
                MouseButton(true, true);
                MoveMouse(w - 1, h - 1);
                released = NowMs();
                MouseButton(true, false);
                const double giveUp = NowMs() + 30000;
                while (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES && NowMs() < giveUp) Sleep(0);
                if (NowMs() < giveUp) written = NowMs();
            });
            RunCaptureSession();
        }
        if (written.load() > 0) times.push_back(written.load() - released.load());
    }
    harness::RemoveFile(file);
    return times;
}

// Release to the automatically saved file, named "bench.<ext>" in `folder` (8-bit BMP, JPEG quality 75).
std::vector<double> TimeReleaseToSavedFile(int runs, ImageFormat format, const std::string& folder) {
    AppSettings& settings = App().settings;
    settings.imageFormat = format;
    settings.bmpDepthIndex = 2;
    settings.jpegQuality = 75;
    settings.saveImmediately = true;
    settings.autoSave = true;
    settings.autoSaveFolder = folder;
    settings.usePrefix = true;
    settings.prefix = "bench";
    settings.useDate = false;
    settings.useAutoNumber = false;
    settings.existingFilePolicy = ExistingFilePolicy::Overwrite;
    RefreshFileName();  // the stem the save names its file by, as the window's controls would keep it
    const std::string file = folder + "\\bench" + std::string(FileExtension(format));
    std::vector<double> times = TimeReleaseUntilFileExists(runs, file);
    settings.saveImmediately = false;
    settings.autoSave = false;
    return times;
}

class BenchMode : public ::testing::Environment {
public:
    void SetUp() override {
        const char* arguments = std::strstr(GetCommandLineA(), kBenchSwitch);
        if (!arguments) return;
        const int runs = std::max(1, std::atoi(arguments + std::strlen(kBenchSwitch)));
        std::printf("screen %dx%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        {
            PatternWindow pattern;
            CaptureEnvironment env;
            env.Settings().shutterSound = false;
            TimeTriggerToFrozenScreen(2);  // warm-up: first window class, GDI+ load, first clipboard use
            Report("trigger_to_frozen_screen_shown", TimeTriggerToFrozenScreen(runs));
            TimeReleaseUntilFileExists(1, TempCapturePath());
            Report("release_to_tempcapture_written", TimeReleaseUntilFileExists(runs, TempCapturePath()));
            char tempFolder[MAX_PATH] = {};
            GetTempPathA(MAX_PATH, tempFolder);
            const std::string folder = std::string(tempFolder) + "lanying-save-bench";
            CreateDirectoryA(folder.c_str(), nullptr);
            for (ImageFormat format : {ImageFormat::Png, ImageFormat::Jpg, ImageFormat::Bmp, ImageFormat::Gif}) {
                TimeReleaseToSavedFile(1, format, folder);
                const std::string name = "release_to_saved_" + std::string(FileExtension(format).substr(1));
                Report(name.c_str(), TimeReleaseToSavedFile(runs, format, folder));
            }
            RemoveDirectoryA(folder.c_str());
        }
        std::fflush(stdout);
        ExitProcess(0);
    }
};

// Registered for every run; does nothing unless the switch is on the command line.
const auto* const g_benchMode = ::testing::AddGlobalTestEnvironment(new BenchMode);

}  // namespace
