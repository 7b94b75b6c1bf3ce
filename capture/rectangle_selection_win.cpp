#include "capture/rectangle_selection_win.h"

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <windowsx.h>

#include <cstring>

#include "app/win_handles.h"
#include "capture/capture_clipboard_win.h"
#include "capture/capture_geometry.h"
#include "capture/capture_handles_win.h"
#include "capture/capture_overlay_win.h"
#include "imaging/snapshot_win.h"

namespace {

constexpr const char* kDrawPanelClassName = "LanyingSelectionPanel";
constexpr int kCircleRadius = 10;

struct SelectionState {
    HWND board = nullptr;
    HWND panel = nullptr;
    int width = 0, height = 0;
    bool dragging = false;
    PixelPoint start;
    PixelPoint current;
    bool cancelled = false;
    ByteArray result;
    UniqueGdiObject pen;  // solid, one pixel, black; drawn with R2_NOTXORPEN it inverts what lies below
};

SelectionState g_selection;

// Feedback for the pointer at (x, y): crosshair across the screen, a circle around the pointer and, while
// dragging, the rectangle. Everything inverts the black veil, so it shows white; each move starts afresh.
void DrawFeedback(HWND panel, int x, int y) {
    SelectionState& s = g_selection;
    WindowDC dc(panel);
    if (!dc.get()) return;
    const int oldRop = SetROP2(dc.get(), R2_NOTXORPEN);
    ScopedSelect pen(dc.get(), s.pen ? s.pen.get() : GetStockObject(BLACK_PEN));
    ScopedSelect brush(dc.get(), GetStockObject(NULL_BRUSH));

    const RECT all{0, 0, s.width, s.height};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    Ellipse(dc.get(), x - kCircleRadius, y - kCircleRadius, x + kCircleRadius, y + kCircleRadius);
    const POINT ends[] = {{0, y}, {x, 0}, {s.width, y}, {x, s.height}};
    for (const POINT& end : ends) {
        MoveToEx(dc.get(), x, y, nullptr);
        LineTo(dc.get(), end.x, end.y);
    }
    if (s.dragging) {
        s.current = {x, y};
        SelectObject(dc.get(), GetStockObject(BLACK_BRUSH));
        Rectangle(dc.get(), s.start.x, s.start.y, x, y);
        SelectObject(dc.get(), GetStockObject(NULL_BRUSH));
    }
    SetROP2(dc.get(), oldRop);
}

void CloseBoard() { PostMessageA(g_selection.board, WM_CLOSE, 0, 0); }

void OnLeftButtonUp() {
    SelectionState& s = g_selection;
    ShowWindow(s.board, SW_HIDE);  // the screen shows the overlay again, that is the frozen screen
    if (const auto r = DragRectangle(s.start, s.current)) {
        const RECT area{r->left, r->top, r->right, r->bottom};
        AwaitFrozenScreenShown(area);
        s.result = TakeSnapshot(&area, ToBytes).bytes;
    }
    CloseBoard();
}

LRESULT CALLBACK DrawPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    SelectionState& s = g_selection;
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_MOUSEMOVE:
            DrawFeedback(panel, x, y);
            return 0;
        case WM_LBUTTONDOWN:
            s.dragging = true;
            s.start = s.current = {x, y};
            return 0;
        case WM_LBUTTONUP:
            OnLeftButtonUp();
            return 0;
        case WM_RBUTTONUP:
            s.cancelled = true;
            CloseBoard();
            return 0;
        default:
            return DefWindowProcA(panel, message, wParam, lParam);
    }
}

LRESULT CALLBACK BoardProc(HWND board, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(board);
            return 0;
        case WM_DESTROY:
            g_selection.dragging = false;
            g_selection.start = g_selection.current = {};
            return 0;
        default:
            // Escape is left alone: the overlay sends one just before the board opens.
            return DefWindowProcA(board, message, wParam, lParam);
    }
}

bool RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEXA board{};
        board.cbSize = sizeof board;
        board.lpfnWndProc = BoardProc;
        board.hInstance = GetModuleHandleA(nullptr);
        board.hCursor = LoadCursor(nullptr, IDC_CROSS);
        board.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        board.lpszClassName = kSelectionBoardClassName;
        WNDCLASSEXA panel = board;
        panel.lpfnWndProc = DrawPanelProc;
        panel.lpszClassName = kDrawPanelClassName;
        return RegisterClassExA(&board) != 0 && RegisterClassExA(&panel) != 0;
    }();
    return registered;
}

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// Looked up at run time: without layered windows the board simply stays opaque.
void MakeVeil(HWND board) {
    static const auto setLayered = reinterpret_cast<SetLayeredWindowAttributesFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetLayeredWindowAttributes")));
    if (!setLayered) return;
    // Topmost and tool-window bits stay: the board must stay above the overlay and out of the taskbar.
    SetWindowLongPtrA(board, GWL_EXSTYLE, GetWindowLongPtrA(board, GWL_EXSTYLE) | WS_EX_LAYERED);
    setLayered(board, 0, kSelectionBoardAlpha, LWA_ALPHA);
}

// The board and its drawing panel, stretched over the whole primary display.
HWND CreateBoard() {
    if (!RegisterClasses()) return nullptr;
    SelectionState& s = g_selection;
    s.width = GetSystemMetrics(SM_CXSCREEN);
    s.height = GetSystemMetrics(SM_CYSCREEN);
    const int left = (s.width - 188) / 2, top = (s.height - 198) / 2;
    HWND board = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kSelectionBoardClassName, kSelectionBoardCaption,
                                 WS_POPUP, left, top, 188, 198, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!board) return nullptr;
    HWND panel = CreateWindowExA(0, kDrawPanelClassName, "", WS_CHILD | WS_VISIBLE, 35, 40, 120, 100, board, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!panel) {
        DestroyWindow(board);
        return nullptr;
    }
    s.board = board;
    s.panel = panel;
    MakeVeil(board);
    SetWindowPos(board, HWND_TOPMOST, 0, 0, s.width, s.height, SWP_SHOWWINDOW);
    MoveWindow(panel, 0, 0, s.width, s.height, TRUE);
    SetForegroundWindow(board);
    return board;
}

}  // namespace

void RunRectangleSelection() {
    SelectionState& s = g_selection;
    s.result.clear();
    s.cancelled = false;
    s.dragging = false;
    s.pen.reset(CreatePen(PS_SOLID, 0, RGB(0, 0, 0)));
    if (HWND board = CreateBoard()) RunModalLoop(board);

    if (s.cancelled)
        EmptyCaptureClipboard();
    else if (!s.result.empty())
        PublishBmpToClipboard(s.result);
    s.result.clear();
    s.pen.reset();
    s.board = s.panel = nullptr;
}

bool PublishBmpToClipboard(const ByteArray& bytes) {
    if (bytes.empty()) return false;
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size()));
    if (!memory) return false;
    void* p = GlobalLock(memory.get());
    if (!p) return false;
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(memory.get());

    UniqueBitmap copy;
    {
        // The block outlives the stream (not freed on release): UniqueGlobal frees it at the end.
        UniqueCom<IStream> stream;
        if (FAILED(CreateStreamOnHGlobal(memory.get(), FALSE, stream.put()))) return false;
        UniqueCom<IPicture> picture;
        if (FAILED(OleLoadPicture(stream.get(), LONG(bytes.size()), TRUE, IID_IPicture,
                                  reinterpret_cast<void**>(picture.put()))))
            return false;
        OLE_HANDLE handle = 0;
        if (FAILED(picture->get_Handle(&handle)) || !handle) return false;
        // The picture object owns its bitmap; the clipboard gets a device-dependent copy of it.
        copy.reset(static_cast<HBITMAP>(
            CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0, 0)));
    }
    if (!copy) return false;

    PatientClipboard clipboard(nullptr);
    if (!clipboard.IsOpen()) return false;
    EmptyClipboard();
    if (!SetClipboardData(CF_BITMAP, copy.get())) return false;
    copy.release();  // the clipboard owns it now
    return true;
}
