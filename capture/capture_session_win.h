#pragma once
// One capture from its trigger to the stored picture.
//
// RunCaptureSession freezes the primary display into FrozenScreen (pointer drawn in when asked), shows the
// capture overlay modally, and takes the picture that the selection leaves on the clipboard: brought to 24
// bits it becomes App().lastCaptureImage, the preview, TempCapture and, when the user wants it, a saved file.
//
// CaptureSessionState exists once. It is filled before the overlay is shown; the overlay releases the
// GDI and GDI+ objects in it when it is destroyed, in the order GDI+ needs (graphics, pen dot, frozen
// screen, then GDI+ itself). A trigger that arrives while a session runs (the hotkey pressed during a
// selection reaches the nested message loop) is ignored.
#include <windows.h>
#include <objidl.h>

#include "app/win_handles.h"
#include "capture/capture_handles_win.h"
#include "capture/gdiplus_win.h"
#include "imaging/image_types.h"
#include "settings/settings_types.h"

// The copy of the screen a capture works on: a memory DC holding a 32-bit bottom-up DIB section of the
// primary display's size. Pixel (x, y) is the screen pixel (x, y).
class FrozenScreen {
public:
    FrozenScreen() = default;
    FrozenScreen(const FrozenScreen&) = delete;
    FrozenScreen& operator=(const FrozenScreen&) = delete;
    ~FrozenScreen() { Release(); }

    // Copies the screen as it shows now; false when the DC or the DIB section could not be made.
    bool Copy();
    // Puts the DC's previous bitmap back, then deletes the DIB section and the DC.
    void Release();
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    UniqueDC dc_;
    UniqueBitmap section_;
    HGDIOBJ previous_ = nullptr;
    int width_ = 0, height_ = 0;
};

// The pen dot decoded by GDI+, and the stream it was decoded from: GDI+ may read the encoded bytes for as
// long as the image lives.
struct PenDotImage {
    gdiplus::Image image;
    UniqueCom<IStream> source;
    void Release() {
        image.reset();
        source.reset();
    }
};

struct CaptureSessionState {
    CaptureMode mode = CaptureMode::FullScreen;
    bool drawPointer = false;
    CURSORINFO cursorInfo{};
    ICONINFO iconInfo{};  // its two bitmaps belong to the session and are freed when it ends
    COLORREF penColor = 0;
    FrozenScreen frozenScreen;
    gdiplus::Session gdiplusToken;
    PenDotImage penDot;
};

CaptureSessionState& CaptureSession();

constexpr DWORD kHideWindowWaitMs = 500;
constexpr const char* kNoFormatMessage = "请选择保存格式！";
constexpr const char* kInfoTitle = "信息：";

// The capture: button, tray item and hotkey all end here. Returns when the picture has been handled or
// the capture has been abandoned; runs nested message loops meanwhile.
void RunCaptureSession();

// Fills frozenScreen, gdiplusToken and penDot of the session from drawPointer, cursorInfo, iconInfo and
// penColor.
void FreezeScreen();

// The CF_BITMAP on the clipboard as a BMP file image at its own depth, or empty.
ByteArray ReadClipboardPicture();

// A bitmap as a BMP file image at its own depth; bitmaps of 8 bits or fewer carry their colour table.
// Empty when GDI cannot describe the bitmap.
ByteArray BitmapToBmpImage(HBITMAP bitmap);

// Whether the record names one of the four formats / three modes (the window's radio groups may have none
// selected).
bool IsImageFormatSelected(ImageFormat format);
bool IsCaptureModeSelected(CaptureMode mode);
