#pragma once
// Test support for the output code (naming, saving, follow-up actions), run in-process in win_tests.exe:
// small capture images, scratch folders, a driver for the modal boxes and the Save dialog, and a recorder
// that stands in for Paint and the file manager.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_types.h"

namespace output_test {

// A whole 24-bit BMP file image (bottom-up rows, each padded to 4 bytes) of colour(x, y), (0, 0) top left.
ByteArray Bmp24(int width, int height, const std::function<ColorRef(int x, int y)>& colour);

// Makes `bmp` the last capture: App().lastCaptureImage and the working file TempCapturePath().
void SetCapture(const ByteArray& bmp);
// Removes both, as before the first capture of a run.
void ClearCapture();

// Resets the shared state the output code reads and writes: first-run options saving into `folder`, no saved
// path, no window and no change observer. Then refreshes the name.
void ResetAppState(const std::string& folder);

// A fresh folder under the temporary folder, removed with its content when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& leafHint = "out");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // The folder without a trailing backslash, as the folder chooser gives it.
    const std::string& Path() const { return path_; }
    std::string File(const std::string& leaf) const { return path_ + "\\" + leaf; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);

// Names of the files in `folder` (hidden ones included), sorted.
std::vector<std::string> ListFiles(const std::string& folder);

std::optional<std::string> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);

// Little-endian fields of a file image.
std::uint32_t Le32(const std::string& bytes, std::size_t at);
std::uint16_t Le16(const std::string& bytes, std::size_t at);
std::uint32_t Be32(const std::string& bytes, std::size_t at);

// ---- Modal boxes and the Save dialog ----

// What the driver saw of one dialog of this process.
struct SeenDialog {
    std::string caption;
    bool isMessageBox = false;
    std::string text;  // message box: its message
    bool hasOk = false, hasYes = false, hasNo = false;
    enum class Icon { None, Error, Question, Warning, Other } icon = Icon::None;
    bool isSaveDialog = false;
    std::string fileName;  // Save dialog: the name in the file-name box when it opened
    int typeIndex = -1;    // Save dialog: the selected entry of the file-type list
    std::vector<std::string> typeEntries;
    bool expected = true;  // false: no step asked for it, so it was cancelled
};

// One dialog the code under test is expected to show, and the answer to give.
struct DialogStep {
    std::string caption;
    bool saveDialog = false;
    int button = IDOK;                   // message box: the button to press
    std::optional<std::string> typeName;  // Save dialog: the name to type and confirm; nothing = cancel
    std::optional<int> selectType;        // Save dialog: the file-type entry to pick first
};

DialogStep Box(const std::string& caption, int button = IDOK);

// One line per dialog, for failure messages.
std::string Summary(const std::vector<SeenDialog>& seen);
DialogStep SaveAs(std::optional<std::string> name, std::optional<int> selectType = std::nullopt);

// Answers dialogs of this process from a helper thread while the test thread is blocked in the code under
// test. Steps are matched in order by caption and kind; any other dialog of the process is recorded as
// unexpected and cancelled, so a test never hangs on a box it did not foresee.
class DialogDriver {
public:
    explicit DialogDriver(std::vector<DialogStep> steps = {});
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Stops watching (after the call under test returned) and gives what was seen, in order.
    std::vector<SeenDialog> Finish();

private:
    void Run();

    std::vector<DialogStep> steps_;
    std::vector<SeenDialog> seen_;
    std::mutex mutex_;
    bool stop_ = false;
    std::thread thread_;
};

// ---- Stand-ins for Paint and the file manager ----

// win_tests.exe copied under the name `leaf` ("mspaint.exe", "explorer.exe") records how it was started and
// exits at once, before any test runs. What it recorded:
struct RecordedStart {
    std::string commandLine;
    DWORD startupFlags = 0;
    WORD showWindow = 0;
    std::string currentFolder;
};

// Where a recorder started as `leaf` writes its record.
std::string RecordPath(const std::string& leaf);
// Copies this test program to `target` as a recorder.
bool InstallRecorder(const std::string& target);
// Waits for the record of `leaf` and reads it.
std::optional<RecordedStart> WaitForRecord(const std::string& leaf, DWORD timeoutMs = 20000);

}  // namespace output_test
