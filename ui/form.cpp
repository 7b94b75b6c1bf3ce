#include "ui/form.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "settings/app_settings.h"
#include "ui/picture.h"
#include "ui/ui_handles.h"

namespace {

constexpr const char* kLabelClass = "LanyingLabel";
constexpr const char* kPictureClass = "LanyingPicture";
constexpr const char* kShapeClass = "LanyingShape";
constexpr const char* kDrawPanelClass = "LanyingDrawPanel";
constexpr const char* kPageClass = "LanyingPage";

constexpr int kSpinnerWidth = 16;       // at 96 DPI, the width of a standard up-down control
constexpr int kDropDownHeight = 180;    // the opened list of a ComboBox, at 96 DPI
constexpr int kLabelPadding = 2;        // text inset of a bordered label, at 96 DPI
// The tab control's own defaults, in pixels at 96 DPI: it does not scale them with the font.
constexpr int kTabPaddingX = 6;
constexpr int kTabPaddingY = 3;
constexpr int kTabMinWidth = 54;

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

bool Has(const ControlRow& row, ControlOption option) { return (row.options & option) != 0; }

bool SameGroup(const ControlRow& a, const ControlRow& b) {
    if (a.page != b.page) return false;
    if (!a.group || !b.group) return a.group == b.group;
    return std::strcmp(a.group, b.group) == 0;
}

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(size_t(length) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(size_t(std::max(got, 0)));
    return text;
}

int KeyState(WPARAM wParam) {
    int keys = 0;
    if (wParam & MK_CONTROL) keys |= kKeyCtrl;
    if (wParam & MK_SHIFT) keys |= kKeyShift;
    if (GetKeyState(VK_MENU) < 0) keys |= kKeyAlt;
    return keys;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();

// Looked up at run time: Windows before 10 has neither.
template <typename Fn>
Fn User32Function(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

// The default GUI font's LOGFONT with its height at 96 DPI. The stock font is made for the system DPI.
LOGFONTA DefaultFontAt96() {
    LOGFONTA font{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = MulDiv(font.lfHeight, int(kLayoutDpi), int(SystemDpi()));
    if (font.lfHeight == 0) font.lfHeight = -12;
    font.lfWidth = 0;
    return font;
}

}  // namespace

UINT SystemDpi() {
    static const auto getDpiForSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (getDpiForSystem) {
        if (UINT dpi = getDpiForSystem()) return dpi;
    }
    WindowDC screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? UINT(dpi) : kLayoutDpi;
}

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        if (UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return SystemDpi();
}

struct Form::Record {
    Form* form = nullptr;
    const ControlRow* row = nullptr;
    int id = 0;
    HWND hwnd = nullptr;
    HWND spinner = nullptr;
    int suppressChange = 0;  // >0 while the program sets an edit box's text
    UniqueBitmap picture;
    UniqueBitmap pressedPicture;
    COLORREF color = 0;
    HFONT font = nullptr;  // borrowed from the form's font cache
};

namespace {

void FillBackground(HDC dc, const RECT& rect) { FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE)); }

}  // namespace

// --- Window procedures -------------------------------------------------------------------------------------

namespace form_detail {

LRESULT CALLBACK ControlSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR refData) {
    auto* record = reinterpret_cast<Form::Record*>(refData);
    int code = 1;  // 1: not a mouse event
    switch (message) {
        case WM_LBUTTONDOWN: code = kEventLeftDown; break;
        case WM_LBUTTONUP: code = kEventLeftUp; break;
        case WM_RBUTTONDOWN: code = kEventRightDown; break;
        case WM_RBUTTONUP: code = kEventRightUp; break;
        case WM_MOUSEMOVE: code = kEventMouseMove; break;
        case WM_KEYDOWN:
            // Tab moves between the tab stops also in windows whose message loop does not do it.
            if (wParam == VK_TAB) {
                HWND root = GetAncestor(hwnd, GA_ROOT);
                HWND next = GetNextDlgTabItem(root, hwnd, GetKeyState(VK_SHIFT) < 0);
                if (next && next != hwnd) {
                    SetFocus(next);
                    if (SendMessageA(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                        SendMessageA(next, EM_SETSEL, 0, -1);
                }
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == '\t') return 0;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, ControlSubclassProc, 1);
            if (record->hwnd == hwnd) record->hwnd = nullptr;
            break;
        default: break;
    }
    if (code <= 0) {
        record->form->Dispatch(*record, ControlEvent{code, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                                                     KeyState(wParam)});
        if (!IsWindow(hwnd)) return 0;  // the handler closed the window
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CustomControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* record = reinterpret_cast<Form::Record*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!record) return DefWindowProcA(hwnd, message, wParam, lParam);
    const ControlRow& row = *record->row;
    switch (message) {
        case WM_ERASEBKGND:
            // Painting covers every pixel; the drawing panel keeps its class's black background.
            return row.kind == ControlKind::DrawPanel ? DefWindowProcA(hwnd, message, wParam, lParam) : 1;
        case WM_PAINT: {
            PaintSession paint(hwnd);
            HDC dc = paint.dc();
            RECT client{};
            GetClientRect(hwnd, &client);
            const UINT dpi = record->form->Dpi();
            switch (row.kind) {
                case ControlKind::Label: {
                    FillBackground(dc, client);
                    const std::string text = WindowText(hwnd);
                    if (text.empty()) break;
                    ScopedSelect font(dc, record->font ? static_cast<HGDIOBJ>(record->font)
                                                       : GetStockObject(DEFAULT_GUI_FONT));
                    SetBkMode(dc, TRANSPARENT);
                    SetTextColor(dc, IsWindowEnabled(hwnd) ? row.textColor : GetSysColor(COLOR_GRAYTEXT));
                    RECT area = client;
                    if (Has(row, kOptBorder)) InflateRect(&area, -ScaleToDpi(kLabelPadding, dpi), 0);
                    const UINT format = Has(row, kOptWordWrap)
                                            ? DT_WORDBREAK | DT_TOP | DT_EDITCONTROL
                                            : DT_SINGLELINE | DT_VCENTER;
                    DrawTextA(dc, text.c_str(), int(text.size()), &area, format | DT_LEFT | DT_NOPREFIX);
                    break;
                }
                case ControlKind::PicBox: {
                    FillBackground(dc, client);
                    HBITMAP picture = record->picture.get();
                    if (!picture) break;
                    if (Has(row, kOptStretch)) {
                        DrawBitmap(dc, picture, client, DisplayHasMoreThan16Bits());
                    } else {
                        const SIZE size = BitmapSize(picture);
                        const RECT dest{0, 0, ScaleToDpi(size.cx, dpi), ScaleToDpi(size.cy, dpi)};
                        DrawBitmap(dc, picture, dest, true);
                    }
                    break;
                }
                case ControlKind::ShapeBox: {
                    UniqueGdiObject brush(CreateSolidBrush(record->color));
                    FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));
                    break;
                }
                default: break;  // the drawing panel has no automatic redraw
            }
            return 0;
        }
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcA(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case WM_SETFONT:
            record->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(record->font);
        case WM_ENABLE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
        case kHotkeyNotifyMessage:
            if (row.kind == ControlKind::Label) {
                record->form->Dispatch(*record, ControlEvent{kEventDefault});
                return 0;
            }
            break;
        case WM_NCDESTROY: SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0); break;
        default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) {
        LRESULT result = 0;
        if (form->HandleMessage(message, wParam, lParam, result)) return result;
    }
    if (message == WM_NCDESTROY) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcA(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    if (form->HandleMessage(message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_COMMAND:
            // From the dialog manager (no control has these ids): Esc is IDCANCEL; Enter is IDOK and clicks
            // the focused push button.
            if (LOWORD(wParam) == IDCANCEL) {
                if (form->layout_ && form->layout_->escCloses) form->Close();
                return 0;
            }
            if (LOWORD(wParam) == IDOK) {
                form->ClickFocusedButton();
                return 0;
            }
            break;
        case WM_CLOSE: form->Close(); return 0;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            form->SetDpi(HIWORD(wParam));
            return 0;
        }
        case WM_DESTROY:
            form->modalDone_ = true;
            if (form->onDestroy_) {
                const auto onDestroy = std::move(form->onDestroy_);
                form->onDestroy_ = nullptr;
                onDestroy();
            }
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            if (form->ownedWindow_.get() == hwnd) form->ownedWindow_.release();
            if (form->window_ == hwnd) form->window_ = nullptr;
            form->modalDone_ = true;
            break;
        default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace form_detail

using form_detail::ControlSubclassProc;
using form_detail::CustomControlProc;
using form_detail::FormWindowProc;
using form_detail::PageProc;

void RegisterFormClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES |
                                                       ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    struct ClassInfo {
        const char* name;
        WNDPROC proc;
        UINT style;
        HBRUSH background;
    };
    const ClassInfo classes[] = {
        {kLabelClass, CustomControlProc, CS_HREDRAW | CS_VREDRAW, nullptr},
        {kPictureClass, CustomControlProc, CS_HREDRAW | CS_VREDRAW, nullptr},
        {kShapeClass, CustomControlProc, CS_HREDRAW | CS_VREDRAW, nullptr},
        {kDrawPanelClass, CustomControlProc, CS_OWNDC, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))},
        {kPageClass, PageProc, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)},
        {kFormWindowClass, FormWindowProc, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)},
    };
    for (const ClassInfo& info : classes) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = info.style;
        wc.lpfnWndProc = info.proc;
        wc.hInstance = ModuleInstance();
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = info.background;
        wc.lpszClassName = info.name;
        RegisterClassExA(&wc);
    }
}


// --- Form --------------------------------------------------------------------------------------------------

Form::Form() = default;

Form::~Form() {
    // Child windows die with their parent; only a window of our own is destroyed here.
    if (ownedWindow_) {
        SetWindowLongPtrA(ownedWindow_.get(), GWLP_USERDATA, 0);
        ownedWindow_.reset();
    }
}

void Form::Build(HWND window, const WindowLayout& layout, UINT dpi) {
    RegisterFormClasses();
    window_ = window;
    layout_ = &layout;
    dpi_ = dpi ? dpi : WindowDpi(window);
    records_.clear();
    pages_.clear();
    pageControl_ = nullptr;
    for (size_t i = 0; i < layout.controls.size(); ++i) {
        auto record = std::make_unique<Record>();
        record->form = this;
        record->row = &layout.controls[i];
        record->id = kFirstControlId + int(i);
        record->color = record->row->color;
        records_.push_back(std::move(record));
    }
    // The tab control and its pages first: they are the containers of the page rows.
    for (auto& record : records_)
        if (record->row->kind == ControlKind::PageControl && !pageControl_) CreateControl(*record);
    for (auto& record : records_)
        if (record->row->kind != ControlKind::PageControl) CreateControl(*record);
    SetDpi(dpi_);
}

HWND Form::ContainerOf(const ControlRow& row) const {
    if (row.page >= 0 && size_t(row.page) < pages_.size()) return pages_[size_t(row.page)];
    return window_;
}

void Form::CreateControl(Record& record) {
    const ControlRow& row = *record.row;
    const char* className = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    const char* text = row.text;
    bool custom = false;
    switch (row.kind) {
        case ControlKind::Label:
            className = kLabelClass;
            custom = true;
            if (Has(row, kOptBorder)) style |= WS_BORDER;
            break;
        case ControlKind::Button: className = "BUTTON"; style |= BS_PUSHBUTTON | WS_TABSTOP; break;
        case ControlKind::CheckBox:
            className = "BUTTON";
            style |= BS_AUTOCHECKBOX | WS_TABSTOP | (Has(row, kOptTopAlign) ? BS_TOP : BS_VCENTER);
            break;
        case ControlKind::RadioBox:
            // Grouping is the form's (SelectRadio), so the boxes need no WS_GROUP ordering.
            className = "BUTTON";
            style |= BS_RADIOBUTTON | WS_TABSTOP | (Has(row, kOptTopAlign) ? BS_TOP : BS_VCENTER);
            break;
        case ControlKind::EditBox:
            className = "EDIT";
            style |= ES_AUTOHSCROLL | ES_LEFT | WS_TABSTOP;
            if (Has(row, kOptClientEdge)) exStyle |= WS_EX_CLIENTEDGE;
            if (Has(row, kOptStaticEdge)) exStyle |= WS_EX_STATICEDGE;
            break;
        case ControlKind::ComboBox:
            className = "COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
            text = "";
            break;
        case ControlKind::SliderBar:
            className = TRACKBAR_CLASSA;
            style |= TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS | WS_TABSTOP;
            text = "";
            break;
        case ControlKind::GroupBox: className = "BUTTON"; style |= BS_GROUPBOX; break;
        case ControlKind::PicBox:
            className = kPictureClass;
            custom = true;
            if (Has(row, kOptBorder)) style |= WS_BORDER;
            break;
        case ControlKind::ShapeBox: className = kShapeClass; custom = true; break;
        case ControlKind::ColorPicker: className = "BUTTON"; style |= BS_OWNERDRAW | WS_TABSTOP; break;
        case ControlKind::PicBtn: className = "BUTTON"; style |= BS_OWNERDRAW; break;
        case ControlKind::PageControl:
            className = WC_TABCONTROLA;
            style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
            exStyle |= WS_EX_CONTROLPARENT;
            text = "";
            break;
        case ControlKind::DrawPanel: className = kDrawPanelClass; custom = true; break;
        case ControlKind::CommonDlg: return;  // no window
    }
    HWND container = ContainerOf(row);
    record.hwnd = CreateWindowExA(exStyle, className, text ? text : "", style, 0, 0, 0, 0, container,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(record.id)), ModuleInstance(),
                                  custom ? static_cast<void*>(&record) : nullptr);
    if (!record.hwnd) return;
    SetWindowSubclass(record.hwnd, ControlSubclassProc, 1, reinterpret_cast<DWORD_PTR>(&record));

    switch (row.kind) {
        case ControlKind::CheckBox:
        case ControlKind::RadioBox:
            SendMessageA(record.hwnd, BM_SETCHECK, Has(row, kOptChecked) ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ControlKind::EditBox:
            if (Has(row, kOptSpinner)) {
                record.spinner = CreateWindowExA(
                    0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                    0, 0, 0, 0, container, reinterpret_cast<HMENU>(static_cast<INT_PTR>(record.id + kSpinnerIdOffset)),
                    ModuleInstance(), nullptr);
                ++record.suppressChange;  // attaching must not count as a change of the text
                SendMessageA(record.spinner, UDM_SETBUDDY, reinterpret_cast<WPARAM>(record.hwnd), 0);
                SendMessageA(record.spinner, UDM_SETRANGE32, WPARAM(row.rangeMin), LPARAM(row.rangeMax));
                SetWindowTextA(record.hwnd, row.text ? row.text : "");
                --record.suppressChange;
            }
            break;
        case ControlKind::ComboBox:
            for (const char* item : row.items)
                SendMessageA(record.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            SendMessageA(record.hwnd, CB_SETCURSEL, 0, 0);
            break;
        case ControlKind::SliderBar:
            SendMessageA(record.hwnd, TBM_SETRANGEMIN, FALSE, row.rangeMin);
            SendMessageA(record.hwnd, TBM_SETRANGEMAX, FALSE, row.rangeMax);
            SendMessageA(record.hwnd, TBM_SETPAGESIZE, 0, row.pageSize);
            SendMessageA(record.hwnd, TBM_SETLINESIZE, 0, row.lineSize);
            if (row.tickFrequency > 0) SendMessageA(record.hwnd, TBM_SETTICFREQ, WPARAM(row.tickFrequency), 0);
            SendMessageA(record.hwnd, TBM_SETPOS, TRUE, row.rangeMin);
            break;
        case ControlKind::PicBox:
        case ControlKind::PicBtn:
            if (row.image) record.picture = LoadPictureResource(ModuleInstance(), row.image);
            if (row.pressedImage) record.pressedPicture = LoadPictureResource(ModuleInstance(), row.pressedImage);
            break;
        case ControlKind::DrawPanel: {
            // The panel's own DC keeps this drawing state for whoever draws on it.
            // Stock objects: selected for good, they need no restoring.
            WindowDC dc(record.hwnd);
            SelectObject(dc.get(), GetStockObject(BLACK_PEN));
            SelectObject(dc.get(), GetStockObject(BLACK_BRUSH));
            SetROP2(dc.get(), R2_NOTXORPEN);
            SetTextColor(dc.get(), RGB(0, 0, 0));
            break;
        }
        case ControlKind::PageControl: {
            pageControl_ = &record;
            for (size_t i = 0; i < row.items.size(); ++i) {
                TCITEMA item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<char*>(row.items[i]);
                SendMessageA(record.hwnd, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
                // Without WS_CLIPCHILDREN: a group box paints only its frame, so the page paints under it.
                pages_.push_back(CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, "",
                                                 WS_CHILD | (i == 0 ? WS_VISIBLE : 0), 0, 0, 0, 0, record.hwnd,
                                                 nullptr, ModuleInstance(), this));
            }
            break;
        }
        default: break;
    }
}

HFONT Form::FontFor(const FontStyle& style) {
    for (const FontEntry& entry : fonts_) {
        const FontStyle& s = entry.style;
        const bool sameFace = (!s.face && !style.face) || (s.face && style.face && std::strcmp(s.face, style.face) == 0);
        if (sameFace && s.height == style.height && s.weight == style.weight && s.charset == style.charset)
            return static_cast<HFONT>(entry.font.get());
    }
    LOGFONTA font = DefaultFontAt96();
    if (style.face) lstrcpynA(font.lfFaceName, style.face, LF_FACESIZE);
    if (style.height) font.lfHeight = style.height;
    if (style.weight) font.lfWeight = style.weight;
    if (style.charset != DEFAULT_CHARSET) font.lfCharSet = BYTE(style.charset);
    font.lfHeight = ScaleToDpi(font.lfHeight, dpi_);
    fonts_.push_back(FontEntry{style, UniqueGdiObject(CreateFontIndirectA(&font))});
    return static_cast<HFONT>(fonts_.back().font.get());
}

void Form::SetDpi(UINT dpi) {
    dpi_ = dpi ? dpi : kLayoutDpi;
    // New fonts go in before the old ones are deleted.
    std::vector<FontEntry> oldFonts;
    oldFonts.swap(fonts_);
    if (pageControl_ && pageControl_->hwnd) {
        // Taken into the tab sizes when the font is set.
        SendMessageA(pageControl_->hwnd, TCM_SETPADDING, 0,
                     MAKELPARAM(ScaleToDpi(kTabPaddingX, dpi_), ScaleToDpi(kTabPaddingY, dpi_)));
        SendMessageA(pageControl_->hwnd, TCM_SETMINTABWIDTH, 0, ScaleToDpi(kTabMinWidth, dpi_));
        pageControl_->font = FontFor(pageControl_->row->font);
        SendMessageA(pageControl_->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(pageControl_->font), FALSE);
        PlaceControl(*pageControl_);
        PlacePages();
    }
    for (auto& record : records_) {
        if (record.get() == pageControl_ || !record->hwnd) continue;
        record->font = FontFor(record->row->font);
        SendMessageA(record->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(record->font), FALSE);
        PlaceControl(*record);
    }
    if (window_) RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

POINT Form::OriginOf(const ControlRow& row) const {
    // Where the row's container window lies in the host window's client area, in pixels.
    POINT origin{0, 0};
    HWND container = ContainerOf(row);
    if (container && container != window_) MapWindowPoints(container, window_, &origin, 1);
    return origin;
}

void Form::PlacePages() {
    if (!pageControl_ || !pageControl_->hwnd) return;
    RECT area{};
    GetClientRect(pageControl_->hwnd, &area);
    SendMessageA(pageControl_->hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (HWND page : pages_)
        SetWindowPos(page, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::PlaceControl(Record& record) {
    const ControlRow& row = *record.row;
    // Scaled from the row's place in the host window's client area, so that rows of different containers
    // that line up at 96 DPI still line up.
    int left = row.left;
    int top = row.top;
    if (row.group) {
        if (const ControlRow* group = FindRow(*layout_, row.group)) {
            left += group->left;
            top += group->top;
        }
    }
    if (row.page >= 0 && pageControl_) {
        left += pageControl_->row->left;
        top += pageControl_->row->top;
    }
    RECT rect = ScaleRect(left, top, row.width, row.height, dpi_);
    const POINT origin = OriginOf(row);
    OffsetRect(&rect, -origin.x, -origin.y);
    int height = rect.bottom - rect.top;
    if (row.kind == ControlKind::ComboBox) height += ScaleToDpi(kDropDownHeight, dpi_);
    SetWindowPos(record.hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (row.kind == ControlKind::ComboBox) {
        // The closed box's height follows its selection field: size the field so the box has the layout height.
        // Steered by the measured result: Wine reports the field height 2 pixels above what it was set to.
        const auto closedHeight = [&record] {
            RECT box{};
            GetWindowRect(record.hwnd, &box);
            return int(box.bottom - box.top);
        };
        const LRESULT reported = SendMessageA(record.hwnd, CB_GETITEMHEIGHT, WPARAM(-1), 0);
        int fieldHeight = reported == CB_ERR ? 0 : int(reported);
        for (int attempt = 0; attempt < 3 && fieldHeight > 0; ++attempt) {
            const int difference = (rect.bottom - rect.top) - closedHeight();
            if (difference == 0 || fieldHeight + difference <= 0) break;
            fieldHeight += difference;
            SendMessageA(record.hwnd, CB_SETITEMHEIGHT, WPARAM(-1), fieldHeight);
        }
    }
    if (record.spinner) {
        SetWindowPos(record.spinner, nullptr, rect.right, rect.top, ScaleToDpi(kSpinnerWidth, dpi_),
                     rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

Form::Record* Form::FindRecord(std::string_view name) const {
    for (const auto& record : records_)
        if (name == record->row->name) return record.get();
    return nullptr;
}

Form::Record* Form::RecordOf(HWND control) const {
    if (!control) return nullptr;
    for (const auto& record : records_)
        if (record->hwnd == control) return record.get();
    return nullptr;
}

HWND Form::Find(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record ? record->hwnd : nullptr;
}

HWND Form::Spinner(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record ? record->spinner : nullptr;
}

std::string_view Form::NameOf(HWND control) const {
    const Record* record = RecordOf(control);
    return record ? std::string_view(record->row->name) : std::string_view();
}

void Form::SetBuiltInHandler(std::string_view name, ControlHandler handler) {
    auto it = handlers_.find(name);
    if (it == handlers_.end()) it = handlers_.emplace(std::string(name), HandlerPair{}).first;
    it->second.builtIn = std::move(handler);
}

void Form::SetHandler(std::string_view name, ControlHandler handler) {
    auto it = handlers_.find(name);
    if (it == handlers_.end()) it = handlers_.emplace(std::string(name), HandlerPair{}).first;
    it->second.handler = std::move(handler);
}

void Form::Dispatch(Record& record, const ControlEvent& event) {
    const auto it = handlers_.find(std::string_view(record.row->name));
    if (it == handlers_.end()) return;
    // Copies: a handler may replace the handlers while it runs.
    const ControlHandler builtIn = it->second.builtIn;
    const ControlHandler handler = it->second.handler;
    if (builtIn) builtIn(event);
    if (handler) handler(event);
}

void Form::Raise(std::string_view name, const ControlEvent& event) {
    if (Record* record = FindRecord(name)) Dispatch(*record, event);
}

std::string Form::Text(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record && record->hwnd ? WindowText(record->hwnd) : std::string();
}

void Form::SetEditText(std::string_view name, std::string_view text) {
    Record* record = FindRecord(name);
    if (!record || !record->hwnd) return;
    const std::string value(text);
    if (record->row->kind != ControlKind::EditBox) {
        SetWindowTextA(record->hwnd, value.c_str());
        return;
    }
    // The edit control's own notification is held back; the handlers hear of the change once, with the
    // new text already in place.
    ++record->suppressChange;
    SetWindowTextA(record->hwnd, value.c_str());
    --record->suppressChange;
    Dispatch(*record, ControlEvent{kEventDefault});
}

void Form::SetCaption(std::string_view name, std::string_view text) {
    Record* record = FindRecord(name);
    if (!record || !record->hwnd) return;
    ++record->suppressChange;
    SetWindowTextA(record->hwnd, std::string(text).c_str());
    --record->suppressChange;
}

bool Form::Checked(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record && record->hwnd && SendMessageA(record->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form::SetChecked(std::string_view name, bool on) {
    if (const Record* record = FindRecord(name); record && record->hwnd)
        SendMessageA(record->hwnd, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Form::SelectRadio(std::string_view name) {
    const Record* chosen = FindRecord(name);
    if (!chosen || chosen->row->kind != ControlKind::RadioBox) return;
    for (const auto& record : records_) {
        if (record->row->kind != ControlKind::RadioBox || !record->hwnd || !SameGroup(*record->row, *chosen->row))
            continue;
        const WPARAM state = record.get() == chosen ? BST_CHECKED : BST_UNCHECKED;
        if (SendMessageA(record->hwnd, BM_GETCHECK, 0, 0) != LRESULT(state))
            SendMessageA(record->hwnd, BM_SETCHECK, state, 0);
    }
}

int Form::SliderPos(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record && record->hwnd ? int(SendMessageA(record->hwnd, TBM_GETPOS, 0, 0)) : 0;
}

void Form::SetSliderPos(std::string_view name, int position) {
    const Record* record = FindRecord(name);
    if (!record || !record->hwnd) return;
    const int low = int(SendMessageA(record->hwnd, TBM_GETRANGEMIN, 0, 0));
    const int high = int(SendMessageA(record->hwnd, TBM_GETRANGEMAX, 0, 0));
    SendMessageA(record->hwnd, TBM_SETPOS, TRUE, std::clamp(position, low, std::max(low, high)));
}

int Form::Selection(std::string_view name) const {
    const Record* record = FindRecord(name);
    if (!record || !record->hwnd) return -1;
    const LRESULT index = SendMessageA(record->hwnd, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int(index);
}

void Form::SetSelection(std::string_view name, int index) {
    if (const Record* record = FindRecord(name); record && record->hwnd)
        SendMessageA(record->hwnd, CB_SETCURSEL, WPARAM(index), 0);
}

void Form::SetEnabled(std::string_view name, bool enabled) {
    const Record* record = FindRecord(name);
    if (!record || !record->hwnd) return;
    if (bool(IsWindowEnabled(record->hwnd)) != enabled) EnableWindow(record->hwnd, enabled);
    if (record->spinner) EnableWindow(record->spinner, enabled);
}

bool Form::Enabled(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record && record->hwnd && IsWindowEnabled(record->hwnd);
}

COLORREF Form::Color(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record ? record->color : 0;
}

void Form::SetColor(std::string_view name, COLORREF color) {
    Record* record = FindRecord(name);
    if (!record) return;
    record->color = color;
    if (record->hwnd) InvalidateRect(record->hwnd, nullptr, FALSE);
}

void Form::SetPicture(std::string_view name, UniqueBitmap picture) {
    Record* record = FindRecord(name);
    if (!record) return;
    record->picture = std::move(picture);
    if (record->hwnd) InvalidateRect(record->hwnd, nullptr, FALSE);
}

HBITMAP Form::Picture(std::string_view name) const {
    const Record* record = FindRecord(name);
    return record ? record->picture.get() : nullptr;
}

int Form::CurrentPage() const {
    if (!pageControl_ || !pageControl_->hwnd) return -1;
    return int(SendMessageA(pageControl_->hwnd, TCM_GETCURSEL, 0, 0));
}

void Form::SelectPage(int index) {
    if (!pageControl_ || !pageControl_->hwnd || index < 0 || size_t(index) >= pages_.size()) return;
    // Selecting from the program sends no TCN_SELCHANGE, so the pages are switched here.
    SendMessageA(pageControl_->hwnd, TCM_SETCURSEL, WPARAM(index), 0);
    for (size_t i = 0; i < pages_.size(); ++i) ShowWindow(pages_[i], int(i) == index ? SW_SHOW : SW_HIDE);
}

bool Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND: {
            Record* record = RecordOf(reinterpret_cast<HWND>(lParam));
            if (!record) return false;
            OnCommand(*record, HIWORD(wParam));
            result = 0;
            return true;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (pageControl_ && header->hwndFrom == pageControl_->hwnd && header->code == TCN_SELCHANGE) {
                SelectPage(CurrentPage());
                result = 0;
                return true;
            }
            return false;
        }
        case WM_HSCROLL:
        case WM_VSCROLL: {
            Record* record = RecordOf(reinterpret_cast<HWND>(lParam));
            if (!record || record->row->kind != ControlKind::SliderBar) return false;
            // TB_ENDTRACK only ends a move that was already reported.
            if (LOWORD(wParam) != TB_ENDTRACK) Dispatch(*record, ControlEvent{kEventDefault});
            result = 0;
            return true;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            Record* record = RecordOf(item->hwndItem);
            if (!record) return false;
            DrawItem(*record, *item);
            result = TRUE;
            return true;
        }
        default: return false;
    }
}

void Form::OnCommand(Record& record, int code) {
    switch (record.row->kind) {
        case ControlKind::Button:
        case ControlKind::PicBtn:
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) Dispatch(record, ControlEvent{kEventDefault});
            break;
        case ControlKind::RadioBox:
            if (code == BN_CLICKED) {
                SelectRadio(record.row->name);
                Dispatch(record, ControlEvent{kEventDefault});
            }
            break;
        case ControlKind::ColorPicker:
            if (code == BN_CLICKED) RunColorChooser(record);
            break;
        case ControlKind::EditBox:
            if (code == EN_CHANGE && record.suppressChange == 0) Dispatch(record, ControlEvent{kEventDefault});
            if (code == EN_KILLFOCUS && Has(*record.row, kOptIntegerInput)) OnEditLostFocus(record);
            break;
        case ControlKind::ComboBox:
            if (code == CBN_SELCHANGE) Dispatch(record, ControlEvent{kEventDefault});
            break;
        default: break;
    }
}

void Form::OnEditLostFocus(Record& record) {
    // Not while the window goes away: the focus leaves the box then, too.
    if (!window_ || modalDone_ || !IsWindowVisible(window_)) return;
    const std::string text = WindowText(record.hwnd);
    const std::int32_t value = ParseLeadingInt(text);
    const std::string replacement = value == 0 ? std::string() : std::to_string(value);
    if (replacement != text) SetEditText(record.row->name, replacement);
}

void Form::RunColorChooser(Record& record) {
    static COLORREF customColors[16] = {};
    CHOOSECOLORA choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = GetAncestor(record.hwnd, GA_ROOT);
    choose.rgbResult = record.color;
    choose.lpCustColors = customColors;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorA(&choose)) return;
    record.color = choose.rgbResult & 0x00FFFFFF;
    InvalidateRect(record.hwnd, nullptr, FALSE);
    Dispatch(record, ControlEvent{kEventDefault});
}

void Form::DrawItem(Record& record, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    const bool focused = (item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT);
    const bool disabled = item.itemState & ODS_DISABLED;
    if (record.row->kind == ControlKind::PicBtn) {
        FillBackground(dc, rect);
        HBITMAP image = pressed && record.pressedPicture ? record.pressedPicture.get() : record.picture.get();
        if (image) {
            const SIZE size = BitmapSize(image);
            const RECT dest{rect.left, rect.top, rect.left + ScaleToDpi(size.cx, dpi_),
                            rect.top + ScaleToDpi(size.cy, dpi_)};
            DrawBitmap(dc, image, dest, true);
        } else {
            DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
        }
    } else if (record.row->kind == ControlKind::ColorPicker) {
        DrawFrameControl(dc, &rect, DFC_BUTTON,
                         DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
        const int inset = ScaleToDpi(4, dpi_);
        const int arrowWidth = ScaleToDpi(14, dpi_);
        RECT swatch{rect.left + inset, rect.top + inset, rect.right - inset - arrowWidth, rect.bottom - inset};
        if (pressed) OffsetRect(&swatch, 1, 1);
        UniqueGdiObject fill(CreateSolidBrush(disabled ? GetSysColor(COLOR_BTNFACE) : record.color));
        FillRect(dc, &swatch, static_cast<HBRUSH>(fill.get()));
        FrameRect(dc, &swatch, GetSysColorBrush(COLOR_BTNSHADOW));
        // A small downward triangle: the box opens a chooser.
        const int cx = swatch.right + arrowWidth / 2;
        const int cy = (rect.top + rect.bottom) / 2 + (pressed ? 1 : 0);
        const int half = std::max(ScaleToDpi(3, dpi_), 2);
        POINT arrow[3] = {{cx - half, cy - half / 2}, {cx + half + 1, cy - half / 2}, {cx, cy + half / 2 + 1}};
        UniqueGdiObject arrowBrush(CreateSolidBrush(GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT)));
        ScopedSelect brush(dc, arrowBrush.get());
        ScopedSelect pen(dc, GetStockObject(NULL_PEN));
        Polygon(dc, arrow, 3);
    }
    if (focused) {
        RECT focus = rect;
        InflateRect(&focus, -ScaleToDpi(3, dpi_), -ScaleToDpi(3, dpi_));
        DrawFocusRect(dc, &focus);
    }
}

void Form::ClickFocusedButton() {
    HWND focus = GetFocus();
    Record* record = RecordOf(focus);
    if (record && (record->row->kind == ControlKind::Button || record->row->kind == ControlKind::PicBtn))
        SendMessageA(focus, BM_CLICK, 0, 0);
}

HWND Form::CreateTopLevel(const WindowLayout& layout, UINT dpi, bool show) {
    RegisterFormClasses();
    const UINT createDpi = dpi ? dpi : SystemDpi();
    const int width = ScaleToDpi(layout.width, createDpi);
    const int height = ScaleToDpi(layout.height, createDpi);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + ((work.right - work.left) - width) / 2;
    const int top = work.top + ((work.bottom - work.top) - height) / 2;
    // An unowned window gets a taskbar button; a hidden owner keeps these windows off the taskbar.
    HWND owner = nullptr;
    if (!(layout.exStyle & WS_EX_TOOLWINDOW)) {
        hiddenOwner_.reset(CreateWindowExA(0, kFormWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                           ModuleInstance(), nullptr));
        owner = hiddenOwner_.get();
    }
    modalDone_ = false;
    HWND hwnd = CreateWindowExA(layout.exStyle | (layout.topmost ? WS_EX_TOPMOST : 0), kFormWindowClass,
                                layout.caption, layout.style, left, top, width, height, owner, nullptr,
                                ModuleInstance(), this);
    if (!hwnd) return nullptr;
    ownedWindow_.reset(hwnd);
    Build(hwnd, layout, dpi);
    if (dpi_ != createDpi) {
        // Created on a monitor of another DPI than the system's.
        const int w = ScaleToDpi(layout.width, dpi_);
        const int h = ScaleToDpi(layout.height, dpi_);
        SetWindowPos(hwnd, nullptr, work.left + ((work.right - work.left) - w) / 2,
                     work.top + ((work.bottom - work.top) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (show) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

namespace {

// The thread's other visible, enabled top-level windows: disabled while a modal window runs, as a task-modal
// message box does, so the main window takes no input meanwhile.
std::vector<HWND> DisableThreadWindows(HWND except) {
    struct Search {
        HWND except;
        std::vector<HWND> found;
    } search{except, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (hwnd != s->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    for (HWND hwnd : search.found) EnableWindow(hwnd, FALSE);
    return search.found;
}

}  // namespace

void Form::RunModal(const WindowLayout& layout, const std::function<void(Form&)>& onCreated) {
    HWND hwnd = CreateTopLevel(layout, 0, false);
    if (!hwnd) return;
    if (onCreated) onCreated(*this);
    if (!IsWindow(hwnd) || modalDone_) {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        return;
    }
    disabled_ = DisableThreadWindows(hwnd);
    if (layout.visibleAtCreation) {
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        if (HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE)) {
            SetFocus(first);
            if (SendMessageA(first, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageA(first, EM_SETSEL, 0, -1);
        }
    }
    MSG msg;
    while (!modalDone_ && IsWindow(hwnd)) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(int(msg.wParam));  // leave the quit to the outer loop
            break;
        }
        if (!IsDialogMessageA(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EnableDisabledWindows();
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    hiddenOwner_.reset();
}

void Form::EnableDisabledWindows() {
    for (HWND hwnd : disabled_)
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    disabled_.clear();
}

void Form::Close() {
    if (modalDone_) return;
    // Enabled again before the window goes, so that the activation passes back to them.
    EnableDisabledWindows();
    modalDone_ = true;
    if (HWND hwnd = ownedWindow_.get()) DestroyWindow(hwnd);
}
