#include "capture/capture_overlay_win.h"

#include <objbase.h>
#include <windowsx.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "capture/capture_assets_win.h"
#include "capture/capture_clipboard_win.h"
#include "capture/capture_geometry.h"
#include "capture/capture_session_win.h"
#include "capture/rectangle_selection_win.h"
#include "imaging/snapshot_win.h"

namespace {

struct OverlayState {
    HWND window = nullptr;
    WNDPROC previousProc = nullptr;
    HDC windowDC = nullptr;
    gdiplus::Graphics windowGraphics;  // the live pen trail
    gdiplus::Graphics screenGraphics;  // the trace that ends up in the picture
    POINT start{};
    POINT last{};
    std::vector<POINT> freehandPath;
    std::vector<POINT> lineBuffer;
    bool escapeCloses = false;
};

OverlayState g_overlay;

void Close(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

void DrawDot(const gdiplus::Graphics& graphics, POINT p) {
    gdiplus::DrawImage(graphics, CaptureSession().penDot.image, p.x - kPenDotOffset, p.y - kPenDotOffset);
}

void CALLBACK CollectLinePoint(int x, int y, LPARAM data) {
    reinterpret_cast<std::vector<POINT>*>(data)->push_back({x, y});
}

// One movement of the pen from the last vertex to (x, y): every fourth line point becomes a vertex with
// its dot; the remainder waits for the next movement.
void AdvancePen(POINT to) {
    OverlayState& o = g_overlay;
    o.lineBuffer.clear();
    LineDDA(o.last.x, o.last.y, to.x, to.y, CollectLinePoint, reinterpret_cast<LPARAM>(&o.lineBuffer));
    std::vector<PixelPoint> line;
    line.reserve(o.lineBuffer.size());
    for (const POINT& p : o.lineBuffer) line.push_back({p.x, p.y});
    const FreehandAdvance advance = AdvanceFreehand(line, {o.last.x, o.last.y});
    for (const PixelPoint& v : advance.vertices) {
        o.freehandPath.push_back({v.x, v.y});
        DrawDot(o.windowGraphics, {v.x, v.y});
    }
    o.last = {advance.last.x, advance.last.y};
    o.lineBuffer.clear();
}

// The outline's region becomes the picture: its bounding box, the frozen screen (with a white trace along
// the outline) inside, white outside.
void FinishFreehand(HWND window) {
    CaptureSessionState& session = CaptureSession();
    std::vector<POINT>& path = g_overlay.freehandPath;

    TintPenDot(kTraceColour);
    for (const POINT& v : path) DrawDot(g_overlay.screenGraphics, v);

    if (path.size() < 3 || !session.frozenScreen.dc()) return;  // fewer than three vertices enclose nothing
    RECT box{};
    {
        UniqueGdiObject region(CreatePolygonRgn(path.data(), int(path.size()), ALTERNATE));
        if (!region) return;
        GetRgnBox(static_cast<HRGN>(region.get()), &box);
    }
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return;

    UniqueBitmap picture;
    {
        WindowDC screen(nullptr);
        UniqueDC pictureDC(CreateCompatibleDC(screen.get()));
        picture.reset(CreateCompatibleBitmap(screen.get(), width, height));
        if (!pictureDC || !picture) return;
        {
            ScopedSelect select(pictureDC.get(), picture.get());
            BitBlt(pictureDC.get(), 0, 0, width, height, session.frozenScreen.dc(), box.left, box.top, SRCCOPY);
        }
        // The brush keeps this content while the picture is whitened below; its origin is the DC's, so
        // each pixel inside the region gets its own value back.
        UniqueBitmap pattern(static_cast<HBITMAP>(CopyImage(picture.get(), IMAGE_BITMAP, 0, 0, 0)));
        UniqueGdiObject brush(pattern ? CreatePatternBrush(pattern.get()) : nullptr);
        if (!brush) return;
        std::vector<POINT> moved = path;
        for (POINT& p : moved) {
            p.x -= box.left;
            p.y -= box.top;
        }
        UniqueGdiObject region(CreatePolygonRgn(moved.data(), int(moved.size()), ALTERNATE));
        if (!region) return;
        ScopedSelect select(pictureDC.get(), picture.get());
        RECT inner{};
        GetRgnBox(static_cast<HRGN>(region.get()), &inner);
        FillRect(pictureDC.get(), &inner, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        FillRgn(pictureDC.get(), static_cast<HRGN>(region.get()), static_cast<HBRUSH>(brush.get()));
    }

    PatientClipboard clipboard(window);
    if (!clipboard.IsOpen()) return;  // like a cancel: no picture
    EmptyClipboard();
    if (SetClipboardData(CF_BITMAP, picture.get())) picture.release();  // the clipboard owns it now
}

// A 32-bit top-down copy of part of a DC, for comparing what two DCs show.
class PixelCopy {
public:
    PixelCopy(HDC source, const RECT& area) : dc_(CreateCompatibleDC(nullptr)) {
        const int w = area.right - area.left, h = area.bottom - area.top;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        if (!dc_ || w <= 0 || h <= 0) return;
        bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap_) return;
        ScopedSelect select(dc_.get(), bitmap_.get());
        BitBlt(dc_.get(), 0, 0, w, h, source, area.left, area.top, SRCCOPY);
        GdiFlush();
        bits_ = static_cast<const std::uint8_t*>(bits);
        size_ = std::size_t(w) * std::size_t(h) * 4;
    }
    bool SameAs(const PixelCopy& other) const {
        return bits_ && other.bits_ && size_ == other.size_ && std::memcmp(bits_, other.bits_, size_) == 0;
    }

private:
    UniqueDC dc_;
    UniqueBitmap bitmap_;
    const std::uint8_t* bits_ = nullptr;
    std::size_t size_ = 0;
};

void OnCreated(HWND window) {
    OverlayState& o = g_overlay;
    CaptureSessionState& session = CaptureSession();
    o.window = window;
    o.previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OverlayWndProc)));
    SetWindowPos(window, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_SHOWWINDOW);
    SetForegroundWindow(window);
    SetFocus(window);
    UpdateWindow(window);  // from here on the screen shows the frozen screen

    o.windowDC = GetDC(window);
    o.windowGraphics = gdiplus::GraphicsFromHdc(o.windowDC);
    o.screenGraphics = gdiplus::GraphicsFromHdc(session.frozenScreen.dc());

    if (session.mode == CaptureMode::RectangleRegion || session.mode == CaptureMode::FullScreen) {
        keybd_event(VK_ESCAPE, 0, 0, 0);
        keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
        if (session.mode == CaptureMode::RectangleRegion) {
            RunRectangleSelection();
        } else {
            AwaitFrozenScreenShown({0, 0, session.frozenScreen.width(), session.frozenScreen.height()});
            TakeSnapshot(nullptr, ToClipboard);  // grabs what the screen shows now: the frozen screen
        }
        Close(window);
    }
    o.escapeCloses = true;
}

void OnDestroyed(HWND window) {
    OverlayState& o = g_overlay;
    if (o.previousProc) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(o.previousProc));
    o.screenGraphics.reset();
    o.windowGraphics.reset();
    if (o.windowDC) ReleaseDC(window, o.windowDC);
    ReleaseCaptureResources();
    g_overlay = OverlayState{};
}

// The overlay's own procedure: its events. OverlayWndProc runs in front of it.
LRESULT CALLBACK OverlayBaseProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    OverlayState& o = g_overlay;
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
        case WM_LBUTTONDOWN:
            o.freehandPath.clear();
            o.start = o.last = at;
            DrawDot(o.windowGraphics, at);
            SetCapture(window);
            return 0;
        case WM_MOUSEMOVE:
            if (GetCapture() == window) AdvancePen(at);
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() != window) return 0;
            AdvancePen(o.start);  // closes the outline; the release position itself is not used
            ReleaseCapture();
            FinishFreehand(window);
            o.freehandPath.clear();
            Close(window);
            return 0;
        case WM_RBUTTONUP:
            Close(window);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE && o.escapeCloses) Close(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the frozen screen covers every pixel
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            OnDestroyed(window);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

ATOM RegisterOverlayClass() {
    static const ATOM atom = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = OverlayBaseProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kOverlayClassName;
        return RegisterClassExA(&wc);
    }();
    return atom;
}

}  // namespace

LRESULT CALLBACK OverlayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(window, &ps)) {
            BitBlt(dc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                   CaptureSession().frozenScreen.dc(), 0, 0, SRCCOPY);
            EndPaint(window, &ps);
        }
    }
    return CallWindowProcA(g_overlay.previousProc, window, message, wParam, lParam);
}

HWND CaptureOverlayWindow() { return g_overlay.window; }

void AwaitFrozenScreenShown(const RECT& requested) {
    const FrozenScreen& frozen = CaptureSession().frozenScreen;
    RECT area{};
    const RECT whole{0, 0, frozen.width(), frozen.height()};
    if (!frozen.dc() || !IntersectRect(&area, &requested, &whole)) return;
    const PixelCopy expected(frozen.dc(), area);
    const ULONGLONG deadline = GetTickCount64() + 1000;
    for (;;) {
        if (g_overlay.window) RedrawWindow(g_overlay.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        GdiFlush();
        WindowDC screen(nullptr);
        if (PixelCopy(screen.get(), area).SameAs(expected) || GetTickCount64() >= deadline) return;
        // Lets the window system deliver what it owes the uncovered windows; posted messages stay queued.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(10);
    }
}

void PreparePenDot(COLORREF colour) {
    PenDotImage& dot = CaptureSession().penDot;
    dot.Release();
    const auto png = PenDot();
    if (png.empty() || !gdiplus::Available()) return;
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, png.size()));
    if (!memory) return;
    if (void* p = GlobalLock(memory.get())) {
        std::memcpy(p, png.data(), png.size());
        GlobalUnlock(memory.get());
    } else {
        return;
    }
    // The stream frees the block when it is released, after the image.
    if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, dot.source.put()))) return;
    memory.release();
    dot.image = gdiplus::LoadImageFromStream(dot.source.get());
    TintPenDot(colour);
}

void TintPenDot(COLORREF colour) {
    const gdiplus::Image& image = CaptureSession().penDot.image;
    if (!image) return;
    const gdiplus::Argb rgb = (gdiplus::Argb(GetRValue(colour)) << 16) | (gdiplus::Argb(GetGValue(colour)) << 8) |
                              gdiplus::Argb(GetBValue(colour));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            gdiplus::Argb pixel = 0;
            if (gdiplus::GetPixel(image, x, y, pixel)) gdiplus::SetPixel(image, x, y, (pixel & 0xFF000000u) | rgb);
        }
    }
}

void ReleaseCaptureResources() {
    CaptureSessionState& session = CaptureSession();
    session.penDot.Release();
    session.frozenScreen.Release();
    session.gdiplusToken.Shutdown();
}

void RunModalLoop(HWND window) {
    MSG msg;
    while (IsWindow(window)) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            PostQuitMessage(int(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void ShowCaptureOverlay() {
    if (!RegisterOverlayClass()) return;
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kOverlayClassName, "", WS_POPUP, 0, 0, 601, 390,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return;
    OnCreated(window);
    RunModalLoop(window);
}
