#include "capture/capture_session_win.h"

#include <mmsystem.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "app/application.h"
#include "capture/capture_assets_win.h"
#include "capture/capture_clipboard_win.h"
#include "capture/capture_geometry.h"
#include "capture/capture_overlay_win.h"
#include "imaging/cdib.h"
#include "imaging/safe_file_write.h"
#include "output/save_flow_win.h"

namespace {

// Marks the session as running for its whole length, whatever path it leaves by.
class RunningFlag {
public:
    RunningFlag() { App().captureRunning = true; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
    ~RunningFlag() { App().captureRunning = false; }
};

// Room for the colour table or the three BI_BITFIELDS masks GetDIBits writes behind the header.
struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

void WriteTempCapture(const ByteArray& image) {
    AtomicFileWriter writer;
    FILE* file = writer.Open(TempCapturePath());
    if (!file || std::fwrite(image.data(), 1, image.size(), file) != image.size()) return;
    writer.Commit();
}

void PlayShutter() {
    const auto wave = ShutterWave();
    // Played straight from the module's resource, which outlives the sound.
    if (!wave.empty())
        PlaySoundA(reinterpret_cast<LPCSTR>(wave.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

void CreateMissingSaveFolder() {
    const AppSettings& s = App().settings;
    if (s.autoSave && s.saveImmediately && !s.autoSaveFolder.empty() && !PathIsDirectoryA(s.autoSaveFolder.c_str()))
        CreateDirectoryA(s.autoSaveFolder.c_str(), nullptr);  // one level only, as the user named it
}

}  // namespace

bool FrozenScreen::Copy() {
    Release();
    width_ = GetSystemMetrics(SM_CXSCREEN);
    height_ = GetSystemMetrics(SM_CYSCREEN);
    if (width_ <= 0 || height_ <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::uint64_t size = std::uint64_t(width_) * std::uint64_t(height_) * 4;
    info.bmiHeader.biSizeImage = size <= std::numeric_limits<DWORD>::max() ? DWORD(size) : 0;

    dc_.reset(CreateCompatibleDC(nullptr));
    if (!dc_) return false;
    void* bits = nullptr;
    section_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!section_) {
        dc_.reset();
        return false;
    }
    previous_ = SelectObject(dc_.get(), section_.get());
    WindowDC screen(nullptr);
    BitBlt(dc_.get(), 0, 0, width_, height_, screen.get(), 0, 0, SRCCOPY);
    return true;
}

void FrozenScreen::Release() {
    if (dc_ && previous_) SelectObject(dc_.get(), previous_);
    previous_ = nullptr;
    section_.reset();
    dc_.reset();
}

CaptureSessionState& CaptureSession() {
    static CaptureSessionState state;
    return state;
}

bool IsImageFormatSelected(ImageFormat format) {
    switch (format) {
        case ImageFormat::Jpg:
        case ImageFormat::Png:
        case ImageFormat::Bmp:
        case ImageFormat::Gif:
            return true;
    }
    return false;
}

bool IsCaptureModeSelected(CaptureMode mode) {
    switch (mode) {
        case CaptureMode::FullScreen:
        case CaptureMode::FreehandRegion:
        case CaptureMode::RectangleRegion:
            return true;
    }
    return false;
}

void FreezeScreen() {
    CaptureSessionState& s = CaptureSession();
    s.frozenScreen.Copy();
    if (s.drawPointer && s.frozenScreen.dc() && s.cursorInfo.hCursor) {
        // The pointer lands where the user saw it: its hotspot on the recorded pointer position.
        DrawIcon(s.frozenScreen.dc(), s.cursorInfo.ptScreenPos.x - int(s.iconInfo.xHotspot),
                 s.cursorInfo.ptScreenPos.y - int(s.iconInfo.yHotspot), s.cursorInfo.hCursor);
    }
    s.gdiplusToken = gdiplus::Session::Start();
    PreparePenDot(s.penColor);
}

ByteArray BitmapToBmpImage(HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm) || bm.bmHeight <= 0) return {};
    UniqueDC dc(CreateCompatibleDC(nullptr));
    if (!dc) return {};
    DibInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);  // bit count 0: GetDIBits describes the bitmap
    auto* bmi = reinterpret_cast<BITMAPINFO*>(&info);
    if (!GetDIBits(dc.get(), bitmap, 0, 0, nullptr, bmi, DIB_RGB_COLORS) || info.header.biWidth <= 0) return {};
    // 16-bit rows come out as 5-5-5 words and 32-bit rows as plain BGRX, which every BMP reader takes.
    info.header.biCompression = BI_RGB;
    const int bits = info.header.biBitCount;
    const int height = info.header.biHeight < 0 ? -info.header.biHeight : info.header.biHeight;
    const std::uint64_t rows = DibRowBytes(info.header.biWidth, bits) * std::uint64_t(height);
    if (rows == 0 || rows > std::numeric_limits<std::uint32_t>::max()) return {};
    info.header.biSizeImage = DWORD(rows);
    std::vector<std::uint8_t> pixels(std::size_t(rows), 0);
    if (GetDIBits(dc.get(), bitmap, 0, UINT(bm.bmHeight), pixels.data(), bmi, DIB_RGB_COLORS) <= 0) return {};
    // Palette-based pictures need the table GetDIBits just filled, or their indices mean nothing.
    const std::uint32_t entries = DibColorTableEntries(bits, info.header.biClrUsed);
    const auto* header = reinterpret_cast<const std::uint8_t*>(&info.header);
    const auto* table = reinterpret_cast<const std::uint8_t*>(info.colours);
    return BuildBmpFileImage({header, sizeof info.header}, {table, entries * sizeof(RGBQUAD)}, pixels);
}

ByteArray ReadClipboardPicture() {
    if (!IsClipboardFormatAvailable(CF_BITMAP)) return {};
    PatientClipboard clipboard(nullptr);
    if (!clipboard.IsOpen()) return {};
    // Converted while the clipboard is still open, so nobody can replace the bitmap underneath; the
    // handle stays the clipboard's.
    return BitmapToBmpImage(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)));
}

void RunCaptureSession() {
    ApplicationState& app = App();
    if (app.captureRunning) return;  // one session at a time: its state exists once
    RunningFlag running;

    CDIB a, b;
    HWND mainWindow = app.mainWindow;
    const bool wasVisible = mainWindow && IsWindowVisible(mainWindow);

    if (app.settings.hideWindowOnCapture) {
        if (mainWindow) ShowWindow(mainWindow, SW_HIDE);
        Sleep(kHideWindowWaitMs);  // lets the window vanish from the screen before it is copied
    }

    if (!IsImageFormatSelected(app.settings.imageFormat)) {
        MessageBoxA(nullptr, kNoFormatMessage, kInfoTitle, MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
        if (mainWindow) ShowWindow(mainWindow, SW_SHOW);
        return;
    }

    EmptyCaptureClipboard();

    CaptureSessionState& session = CaptureSession();
    IconInfoBitmaps pointerBitmaps(session.iconInfo);
    if (IsCaptureModeSelected(app.settings.captureMode)) {
        session.mode = app.settings.captureMode;
        session.cursorInfo = CURSORINFO{};
        session.iconInfo = ICONINFO{};
        session.drawPointer = app.settings.keepCursor;
        if (session.drawPointer) {
            session.cursorInfo.cbSize = sizeof(CURSORINFO);
            GetCursorInfo(&session.cursorInfo);
            if (session.cursorInfo.hCursor) GetIconInfo(session.cursorInfo.hCursor, &session.iconInfo);
        }
        if (session.mode == CaptureMode::FreehandRegion) session.penColor = app.settings.freehandColor;
        FreezeScreen();
        ShowCaptureOverlay();
    }
    ReleaseCaptureResources();  // nothing left when the overlay did its job; everything when it never ran
    pointerBitmaps.Free();

    const ByteArray bytes = ReadClipboardPicture();
    if (!bytes.empty()) {
        a.LoadBmpData(bytes);
        b = a.ChangeBitDepth(24);
        ByteArray image = b.GetBmpData();
        // A picture the conversion could not take is dropped whole: the previous capture stays.
        if (!image.empty()) {
            app.lastCaptureImage = std::move(image);
            NotifyCaptureChanged();
            WriteTempCapture(app.lastCaptureImage);
            if (app.settings.shutterSound) PlayShutter();
            CreateMissingSaveFolder();
            SaveAfterCapture();
        }
    }

    if (mainWindow) ShowWindow(mainWindow, wasVisible ? SW_SHOW : SW_HIDE);
}
