#include "tests/win/output_support.h"

#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "app/application.h"
#include "app/win_handles.h"
#include "output/naming_win.h"
#include "tests/win/harness.h"
#include "tests/little_endian.h"

namespace output_test {

namespace {

std::string TempFolder() {
    char folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof folder, folder);
    std::string s(folder, n <= MAX_PATH ? n : 0);
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s;
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// A copy of this program started as Paint or the file manager writes down how it was started and ends
// before main(): the tests see exactly what CreateProcessA handed over.
[[maybe_unused]] const bool g_isRecorder = [] {
    const std::string self = ModulePath();
    const char* leaf = PathFindFileNameA(self.c_str());
    if (lstrcmpiA(leaf, "mspaint.exe") != 0 && lstrcmpiA(leaf, "explorer.exe") != 0) return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::string lowerLeaf = leaf;
    CharLowerA(lowerLeaf.data());
    const std::string record = std::string(GetCommandLineA()) + "\n" + std::to_string(startup.dwFlags) + "\n" +
                               std::to_string(startup.wShowWindow) + "\n" + folder + "\n";
    // Written beside and renamed, so a waiting test never reads half a record.
    const std::string path = RecordPath(lowerLeaf);
    WriteBytes(path + ".part", record);
    MoveFileExA((path + ".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    ExitProcess(0);
}();

std::string WindowText(HWND hwnd) {
    const int n = GetWindowTextLengthA(hwnd);
    std::string text(std::size_t(n) + 1, '\0');
    GetWindowTextA(hwnd, text.data(), n + 1);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

constexpr int kMessageTextId = 0xFFFF;  // the static that holds a message box's text
constexpr int kFileNameEditId = 0x480;  // edt1 of the Save dialog
constexpr int kFileNameComboId = 0x47C; // cmb13: the file-name box of newer dialogs
constexpr int kFileTypeId = 0x470;      // cmb1

HWND FileNameBox(HWND dialog) {
    if (HWND edit = GetDlgItem(dialog, kFileNameEditId)) return edit;
    return GetDlgItem(dialog, kFileNameComboId);
}

SeenDialog::Icon IconOf(HWND dialog) {
    struct Search {
        HICON icon = nullptr;
    } search;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM lp) -> BOOL {
            if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                reinterpret_cast<Search*>(lp)->icon =
                    reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.icon) return SeenDialog::Icon::None;
    if (search.icon == LoadIconA(nullptr, IDI_ERROR)) return SeenDialog::Icon::Error;
    if (search.icon == LoadIconA(nullptr, IDI_QUESTION)) return SeenDialog::Icon::Question;
    if (search.icon == LoadIconA(nullptr, IDI_WARNING)) return SeenDialog::Icon::Warning;
    return SeenDialog::Icon::Other;
}

SeenDialog Describe(HWND dialog) {
    SeenDialog seen;
    seen.caption = WindowText(dialog);
    if (HWND text = GetDlgItem(dialog, kMessageTextId)) {
        seen.isMessageBox = true;
        seen.text = WindowText(text);
        seen.hasOk = GetDlgItem(dialog, IDOK) != nullptr;
        seen.hasYes = GetDlgItem(dialog, IDYES) != nullptr;
        seen.hasNo = GetDlgItem(dialog, IDNO) != nullptr;
        seen.icon = IconOf(dialog);
    } else if (HWND name = FileNameBox(dialog)) {
        seen.isSaveDialog = true;
        seen.fileName = WindowText(name);
        if (HWND types = GetDlgItem(dialog, kFileTypeId)) {
            seen.typeIndex = int(SendMessageA(types, CB_GETCURSEL, 0, 0));
            const int count = int(SendMessageA(types, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                char entry[256] = {};
                if (SendMessageA(types, CB_GETLBTEXTLEN, i, 0) < LRESULT(sizeof entry))
                    SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
                seen.typeEntries.push_back(entry);
            }
        }
    }
    return seen;
}

void Press(HWND dialog, int id) {
    SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)),
                        SMTO_NORMAL, 5000, nullptr);
}

// Visible top-level dialogs of this process.
std::vector<HWND> ProcessDialogs() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770")
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

ByteArray Bmp24(int width, int height, const std::function<ColorRef(int x, int y)>& colour) {
    const std::size_t stride = (std::size_t(width) * 3 + 3) / 4 * 4;
    const std::size_t size = 54 + stride * std::size_t(height);
    ByteArray b(size, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, std::uint32_t(size));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, std::uint32_t(width));
    Put32(b, 22, std::uint32_t(height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 34, std::uint32_t(stride * std::size_t(height)));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.data() + 54 + std::size_t(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const ColorRef c = colour(x, y);
            row[3 * x] = BlueOf(c);
            row[3 * x + 1] = GreenOf(c);
            row[3 * x + 2] = RedOf(c);
        }
    }
    return b;
}

void SetCapture(const ByteArray& bmp) {
    App().lastCaptureImage = bmp;
    WriteBytes(TempCapturePath(), std::string(bmp.begin(), bmp.end()));
}

void ClearCapture() {
    App().lastCaptureImage.clear();
    DeleteFileA(TempCapturePath().c_str());
}

void ResetAppState(const std::string& folder) {
    ApplicationState& app = App();
    app.settings = AppSettings{};
    app.settings.autoSaveFolder = folder;
    app.lastSavedPath.clear();
    app.fileNameStem.clear();
    app.namePreview.clear();
    app.mainWindow = nullptr;
    app.settingsChanged = nullptr;
    app.captureChanged = nullptr;
    RefreshFileName();
}

ScratchFolder::ScratchFolder(const std::string& leafHint) {
    static std::atomic<unsigned> next{0};
    path_ = TempFolder() + "lanying-" + leafHint + "-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(next++);
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    for (const std::string& leaf : ListFiles(path)) RemoveTree(path + "\\" + leaf);
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> ReadBytes(const std::string& path) { return harness::ReadFileBytes(path); }

bool WriteBytes(const std::string& path, const std::string& bytes) { return harness::WriteFileBytes(path, bytes); }

std::uint32_t Le32(const std::string& b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | std::uint8_t(b[at + i]);
    return v;
}

std::uint16_t Le16(const std::string& b, std::size_t at) {
    if (at + 2 > b.size()) return 0;
    return std::uint16_t(std::uint8_t(b[at]) | (std::uint8_t(b[at + 1]) << 8));
}

std::uint32_t Be32(const std::string& b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | std::uint8_t(b[at + i]);
    return v;
}

DialogStep Box(const std::string& caption, int button) {
    DialogStep step;
    step.caption = caption;
    step.button = button;
    return step;
}

std::string Summary(const std::vector<SeenDialog>& seen) {
    std::string text;
    for (const SeenDialog& d : seen)
        text += (d.expected ? "" : "unexpected ") + std::string(d.isSaveDialog ? "Save dialog" : "box") + " \"" +
                d.caption + "\": " + (d.isSaveDialog ? d.fileName : d.text) + "\n";
    return text;
}

DialogStep SaveAs(std::optional<std::string> name, std::optional<int> selectType) {
    DialogStep step;
    step.caption = "保存文件";
    step.saveDialog = true;
    step.typeName = std::move(name);
    step.selectType = selectType;
    return step;
}

DialogDriver::DialogDriver(std::vector<DialogStep> steps) : steps_(std::move(steps)) {
    thread_ = std::thread([this] { Run(); });
}

DialogDriver::~DialogDriver() { Finish(); }

std::vector<SeenDialog> DialogDriver::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void DialogDriver::Run() {
    // A dialog answered but still open after this long, with nothing in front of it, did not take the answer
    // (a box nobody expected turned the answer down): it is cancelled so the test can end.
    constexpr ULONGLONG kStuckMs = 8000;
    std::map<HWND, ULONGLONG> handled;  // when each dialog was answered
    std::size_t nextStep = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        const std::vector<HWND> dialogs = ProcessDialogs();
        const bool anyNew = std::any_of(dialogs.begin(), dialogs.end(), [&](HWND d) { return !handled.count(d); });
        for (HWND dialog : dialogs) {
            if (auto it = handled.find(dialog); it != handled.end()) {
                if (!anyNew && GetTickCount64() - it->second > kStuckMs) {
                    SeenDialog stuck = Describe(dialog);
                    stuck.expected = false;
                    stuck.text = "(left open) " + stuck.text;
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        seen_.push_back(stuck);
                    }
                    Press(dialog, stuck.hasNo ? IDNO : stuck.hasOk && !stuck.isSaveDialog ? IDOK : IDCANCEL);
                    it->second = GetTickCount64();
                }
                continue;
            }
            Sleep(150);  // let the dialog finish filling its controls
            if (!IsWindow(dialog)) continue;
            SeenDialog seen = Describe(dialog);
            if (!seen.isMessageBox && !seen.isSaveDialog) continue;  // not one of ours (yet)
            handled[dialog] = GetTickCount64();
            const bool matches = nextStep < steps_.size() && steps_[nextStep].caption == seen.caption &&
                                 steps_[nextStep].saveDialog == seen.isSaveDialog;
            seen.expected = matches;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(seen);
            }
            if (!matches) {
                Press(dialog, seen.hasNo ? IDNO : seen.hasOk && !seen.isSaveDialog ? IDOK : IDCANCEL);
                continue;
            }
            const DialogStep& step = steps_[nextStep++];
            if (!step.saveDialog) {
                Press(dialog, step.button);
                continue;
            }
            if (!step.typeName) {
                Press(dialog, IDCANCEL);
                continue;
            }
            if (step.selectType) {
                HWND types = GetDlgItem(dialog, kFileTypeId);
                SendMessageA(types, CB_SETCURSEL, WPARAM(*step.selectType), 0);
                // What a pick with the mouse sends: some dialogs take the change at CBN_SELENDOK.
                for (const WORD code : {CBN_SELCHANGE, CBN_SELENDOK})
                    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeId, code), reinterpret_cast<LPARAM>(types));
            }
            SendMessageA(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.typeName->c_str()));
            Press(dialog, IDOK);
        }
        Sleep(50);
    }
}

std::string RecordPath(const std::string& leaf) { return TempFolder() + "lanying-recorded-" + leaf + ".txt"; }

bool InstallRecorder(const std::string& target) {
    return CopyFileA(ModulePath().c_str(), target.c_str(), FALSE) != FALSE;
}

std::optional<RecordedStart> WaitForRecord(const std::string& leaf, DWORD timeoutMs) {
    const std::string path = RecordPath(leaf);
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() >= end) return std::nullopt;
        Sleep(50);
    }
    const std::optional<std::string> bytes = ReadBytes(path);
    if (!bytes) return std::nullopt;
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = bytes->find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(bytes->substr(start, nl - start));
    if (lines.size() < 4) return std::nullopt;
    RecordedStart record;
    record.commandLine = lines[0];
    record.startupFlags = DWORD(std::stoul(lines[1]));
    record.showWindow = WORD(std::stoul(lines[2]));
    record.currentFolder = lines[3];
    return record;
}

}  // namespace output_test
