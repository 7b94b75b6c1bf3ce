#include "output/save_flow_win.h"

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/application.h"
#include "imaging/cdib.h"
#include "imaging/converter.h"
#include "imaging/safe_file_write.h"
#include "output/encode_image.h"
#include "output/file_naming.h"
#include "output/naming_win.h"
#include "ui/main_window_layout.h"

namespace {

constexpr ImageFormat kFilterOrder[] = {ImageFormat::Jpg, ImageFormat::Png, ImageFormat::Bmp, ImageFormat::Gif};
constexpr DWORD kFileNameBufferBytes = 4096;

struct JpegValues {
    int quality;
    bool optimise;
    int smoothing;
};

// The JPEG dialog keeps its sliders in range, but a hand-edited configuration file may hold anything; the
// encoder would refuse such a value and every JPEG save would fail.
JpegValues JpegValuesOf(int quality, bool optimise, int smoothing) {
    return JpegValues{std::clamp(quality, 1, 100), optimise, std::clamp(smoothing, 0, 100)};
}

int ShowBox(const std::string& text, const char* title, UINT flags) {
    return MessageBoxA(nullptr, text.c_str(), title, flags | MB_TASKMODAL);
}

void ReportSaveFailure(const std::string& path) {
    ShowBox(SaveFailedMessage(path), kErrorTitle, MB_ICONERROR | MB_OK);
}

// Writes the whole array or nothing: an empty array is a failed encoding, not an empty picture.
bool WriteWholeFile(const std::string& target, const ByteArray& bytes) {
    if (bytes.empty()) return false;
    AtomicFileWriter writer;
    FILE* file = writer.Open(target);
    if (file == nullptr) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return false;
    return writer.Commit();
}

// Produces `target` in `format` from the last capture. JPG and PNG come from the working file, BMP from the
// bytes prepared by the caller, GIF from a fresh encoding of the capture.
bool WriteCapture(ImageFormat format, const std::string& target, const JpegValues& jpeg, const ByteArray& bmpBytes) {
    const std::string source = TempCapturePath();
    switch (format) {
        case ImageFormat::Jpg:
            return ConvertToJpeg(source.c_str(), target.c_str(), false, jpeg.quality, jpeg.optimise,
                                 jpeg.smoothing) == ConvertResult::ConvertOk;
        case ImageFormat::Png:
            return ConvertToPng(source.c_str(), target.c_str(), 24) == ConvertResult::ConvertOk;
        case ImageFormat::Bmp:
            return WriteWholeFile(target, bmpBytes);
        case ImageFormat::Gif:
            return WriteWholeFile(target, EncodeImage(App().lastCaptureImage, kEncodeGif));
    }
    return false;
}

// The closing steps of every save that wrote a file.
void RecordSave(const std::string& path) {
    App().lastSavedPath = path;
    if (App().settings.useAutoNumber) AdvanceCounter();
}

ImageFormat FormatOfFilterIndex(DWORD index, ImageFormat fallback) {
    return index >= 1 && index <= std::size(kFilterOrder) ? kFilterOrder[index - 1] : fallback;
}

// The filter of the window's common dialog ("*.jpg|*.jpg|" pairs, CR LF between them) in the form the Save
// dialog takes: description and pattern each ended by a zero, the list by a second one.
std::string DialogFilter(std::string_view layoutFilter) {
    std::string filter;
    for (const char c : layoutFilter) {
        if (c == '|') filter += '\0';
        else if (c != '\r' && c != '\n') filter += c;
    }
    filter += '\0';
    return filter;
}

DWORD FilterIndexOf(ImageFormat format) {
    return DWORD(std::find(std::begin(kFilterOrder), std::end(kFilterOrder), format) - std::begin(kFilterOrder)) + 1;
}

// The Save dialog; the chosen path and the file type selected in it, or nothing when cancelled.
std::optional<DialogSaveTarget> AskForSaveTarget() {
    const AppSettings& s = App().settings;
    const std::string proposed =
        TruncateGbk(ProposedSaveName(CurrentFileNameOptions(), App().fileNameStem, CurrentLocalTime()),
                    kFileNameBufferBytes - 1);
    std::vector<char> fileName(kFileNameBufferBytes, '\0');
    std::copy(proposed.begin(), proposed.end(), fileName.begin());
    // The dialog gives a name typed without extension the one of the selected type; this is the start value.
    const std::string defaultExtension(FileExtension(s.imageFormat).substr(1));
    const std::string initialFolder = s.autoSaveFolder;
    const std::string filter = DialogFilter(kSaveDialogFilter);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = App().mainWindow;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = FilterIndexOf(s.imageFormat);
    ofn.lpstrFile = fileName.data();
    ofn.nMaxFile = kFileNameBufferBytes;
    ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    ofn.lpstrTitle = kSaveDialogTitle;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    ofn.lpstrDefExt = defaultExtension.c_str();
    if (!GetSaveFileNameA(&ofn)) return std::nullopt;

    DialogSaveTarget target =
        ResolveDialogSaveTarget(fileName.data(), FormatOfFilterIndex(ofn.nFilterIndex, s.imageFormat));
    // The dialog asked about the name as typed; the name with the added extension is asked about here.
    if (target.extensionAppended && FileExists(target.path) &&
        ShowBox(target.path + kReplaceText, kReplaceTitle, MB_YESNO | MB_ICONWARNING) != IDYES)
        return std::nullopt;
    return target;
}

}  // namespace

std::string SaveFailedMessage(const std::string& path) {
    return std::string(kSaveFailedText) + "\r\n" + path + "\r\n" + kSaveFailedHint;
}

const ByteArray& BmpBytesForDepth(const ByteArray& capture24, int depthIndex, ByteArray& reduced) {
    static constexpr std::int16_t kBitsOfIndex[] = {24, 16, 8, 4};
    if (depthIndex <= 0 || depthIndex > 3) return capture24;
    CDIB dib;
    reduced = dib.LoadBmpData(capture24) ? dib.ChangeBitDepth(kBitsOfIndex[depthIndex]).GetBmpData() : ByteArray{};
    return reduced;
}

void SaveCaptureAs() {
    if (!FileExists(TempCapturePath())) {
        ShowBox(kNoCaptureText, kErrorTitle, MB_ICONERROR | MB_OK);
        return;
    }
    const std::optional<DialogSaveTarget> target = AskForSaveTarget();
    if (!target) return;

    const AppSettings& s = App().settings;
    // The dialog's JPEG is always optimised and unsmoothed, whatever the JPEG options say.
    const JpegValues jpeg = JpegValuesOf(s.jpegQuality, true, 0);
    ByteArray reduced;
    const ByteArray& bmpBytes = target->format == ImageFormat::Bmp
                                    ? BmpBytesForDepth(App().lastCaptureImage, s.bmpDepthIndex, reduced)
                                    : reduced;
    if (!WriteCapture(target->format, target->path, jpeg, bmpBytes)) {
        ReportSaveFailure(target->path);
        return;
    }
    RecordSave(target->path);
}

void SaveAfterCapture() {
    const AppSettings& s = App().settings;
    if (!s.saveImmediately) return;
    const ImageFormat format = s.imageFormat;
    if (!s.autoSave) {
        SaveCaptureAs();
        return;
    }

    const std::string folder = FolderWithBackslash(s.autoSaveFolder);
    const std::string extension(FileExtension(format));
    std::string target =
        AutoSaveBase(folder, CurrentFileNameOptions(), App().fileNameStem, CurrentLocalTime()) + extension;
    std::optional<std::string> counterUsed;  // the number an AutoCount search settled on

    if (FileExists(target)) {
        ExistingFilePolicy policy = s.existingFilePolicy;
        // Without a running number the search would try the same name again and again.
        if (policy == ExistingFilePolicy::AutoCount && !s.useAutoNumber) policy = ExistingFilePolicy::Ask;
        switch (policy) {
            case ExistingFilePolicy::Overwrite:
                break;
            case ExistingFilePolicy::Ask:
                if (ShowBox(kExistingFileText, kExistingFileTitle, MB_YESNO | MB_ICONQUESTION) == IDYES) break;
                SaveCaptureAs();  // records its own file and advances the number itself
                return;
            case ExistingFilePolicy::SaveDialog:
                SaveCaptureAs();
                return;
            case ExistingFilePolicy::AutoCount: {
                const auto exists = [](const std::string& path) { return FileExists(path); };
                std::optional<AutoCountName> free =
                    FindFreeAutoCountName(folder, App().fileNameStem, s.counterText, extension, exists);
                if (!free) {
                    ReportSaveFailure(target);
                    return;
                }
                target = std::move(free->path);
                counterUsed = std::move(free->counterText);
                break;
            }
        }
    }

    const JpegValues jpeg = JpegValuesOf(s.jpegQuality, s.jpegOptimize, s.jpegSmoothing);
    // Only now: the dialog routes above make their own, and the depth change of a screen takes a while.
    ByteArray reduced;
    const ByteArray& bmpBytes =
        format == ImageFormat::Bmp ? BmpBytesForDepth(App().lastCaptureImage, s.bmpDepthIndex, reduced) : reduced;
    if (!WriteCapture(format, target, jpeg, bmpBytes)) {
        ReportSaveFailure(target);  // the number is not used up by a file that was not written
        return;
    }
    // The counter stands one above the number used; the advance below shows the name once.
    if (counterUsed) App().settings.counterText = *counterUsed;
    RecordSave(target);
}

void OnSaveImmediatelyClicked() {
    ApplyOptionDependencies(App().settings);
    ShowRecord();
}
