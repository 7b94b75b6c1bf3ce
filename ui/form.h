#pragma once
// A window's controls, built from its layout table and addressed by their layout names.
//
// Form creates one child window per row (none for a CommonDlg), places it at the window's DPI, gives it its
// font, and turns the controls' notifications into events (ui/layout.h) for two handlers per control: the
// built-in reaction of the window that owns the form, then the handler others register. The window that
// hosts a form forwards its container messages (WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_DRAWITEM) to
// HandleMessage; the pages of a tab control and the windows RunModal creates do so by themselves.
//
// The event rules the handlers rely on: a user's click, typing or slider move raises event 0; so does every
// change of an edit box's text that the program makes through SetEditText (exactly once, after the new text
// is in place). Programmatic changes of a check, a radio button, a slider position or a list selection raise
// nothing.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/win_handles.h"
#include "ui/layout.h"

using ControlHandler = std::function<void(const ControlEvent&)>;

// The window procedures behind a form's windows.
namespace form_detail {
LRESULT CALLBACK ControlSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
LRESULT CALLBACK CustomControlProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK FormWindowProc(HWND, UINT, WPARAM, LPARAM);
}  // namespace form_detail

class Form {
public:
    Form();
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the controls of `layout` on `window`, laid out for `dpi` (0: the window's own DPI).
    void Build(HWND window, const WindowLayout& layout, UINT dpi = 0);
    // Lays the controls out again for another DPI: positions, sizes, fonts and pictures.
    void SetDpi(UINT dpi);

    HWND Window() const { return window_; }
    const WindowLayout* Layout() const { return layout_; }
    UINT Dpi() const { return dpi_; }

    // The control's window (an edit box for an EditBox with spinner), or nullptr for an unknown name or a
    // CommonDlg.
    HWND Find(std::string_view name) const;
    // The spinner attached to an EditBox, or nullptr.
    HWND Spinner(std::string_view name) const;
    // The layout name of a control window of this form, or "".
    std::string_view NameOf(HWND control) const;

    // Built-in reactions run first, then the registered handler. Either may be empty.
    void SetBuiltInHandler(std::string_view name, ControlHandler handler);
    void SetHandler(std::string_view name, ControlHandler handler);
    // Runs both handlers of `name` with `event`, as a user action would.
    void Raise(std::string_view name, const ControlEvent& event);

    // State, with the event rules above.
    std::string Text(std::string_view name) const;
    void SetEditText(std::string_view name, std::string_view text);  // one event 0
    void SetCaption(std::string_view name, std::string_view text);   // no event
    bool Checked(std::string_view name) const;
    void SetChecked(std::string_view name, bool on);
    // Turns `name` on and every other RadioBox of its group off.
    void SelectRadio(std::string_view name);
    int SliderPos(std::string_view name) const;
    void SetSliderPos(std::string_view name, int position);  // clamped to the range
    int Selection(std::string_view name) const;              // -1 when nothing is selected
    void SetSelection(std::string_view name, int index);
    void SetEnabled(std::string_view name, bool enabled);
    bool Enabled(std::string_view name) const;
    COLORREF Color(std::string_view name) const;
    void SetColor(std::string_view name, COLORREF color);
    // The picture of a PicBox (the form owns it).
    void SetPicture(std::string_view name, UniqueBitmap picture);
    HBITMAP Picture(std::string_view name) const;

    // The PageControl's current page; selecting shows that page and hides the others.
    int CurrentPage() const;
    void SelectPage(int index);

    // Container messages from the host window; true when handled (then `result` holds the answer).
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Runs `layout` as a modal window: created without a parent and hidden from the taskbar, centred on the
    // screen, filled by `onCreated` (its event 0) and then shown. The main window takes no input meanwhile.
    // Esc (where the layout allows) and the close box close it as Close does. Returns when the window is
    // destroyed.
    void RunModal(const WindowLayout& layout, const std::function<void(Form&)>& onCreated);
    // Ends RunModal: destroys the window.
    void Close();
    // Runs while the window is being destroyed, its controls still there (window event 2).
    void SetDestroyHandler(std::function<void()> handler) { onDestroy_ = std::move(handler); }

    // Creates `layout` as a top-level window without running it (tests, or windows with their own loop); the
    // form owns the window. `dpi` 0: the window's own.
    HWND CreateTopLevel(const WindowLayout& layout, UINT dpi = 0, bool show = false);

private:
    struct Record;

    Record* FindRecord(std::string_view name) const;
    Record* RecordOf(HWND control) const;
    void CreateControl(Record& record);
    void PlaceControl(Record& record);
    void PlacePages();
    HFONT FontFor(const FontStyle& style);
    HWND ContainerOf(const ControlRow& row) const;
    POINT OriginOf(const ControlRow& row) const;
    void Dispatch(Record& record, const ControlEvent& event);
    void OnCommand(Record& record, int code);
    void OnEditLostFocus(Record& record);
    void DrawItem(Record& record, const DRAWITEMSTRUCT& item);
    void RunColorChooser(Record& record);
    void ClickFocusedButton();
    void EnableDisabledWindows();

    friend LRESULT CALLBACK form_detail::ControlSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    friend LRESULT CALLBACK form_detail::CustomControlProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK form_detail::PageProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK form_detail::FormWindowProc(HWND, UINT, WPARAM, LPARAM);

    HWND window_ = nullptr;
    const WindowLayout* layout_ = nullptr;
    UINT dpi_ = kLayoutDpi;
    std::vector<std::unique_ptr<Record>> records_;
    Record* pageControl_ = nullptr;
    std::vector<HWND> pages_;  // children of the tab control, one per page
    struct FontEntry {
        FontStyle style;
        UniqueGdiObject font;
    };
    std::vector<FontEntry> fonts_;
    struct HandlerPair {
        ControlHandler builtIn;
        ControlHandler handler;
    };
    // By name, so that handlers can be bound before the windows exist.
    std::map<std::string, HandlerPair, std::less<>> handlers_;
    UniqueWindow ownedWindow_;  // the window of CreateTopLevel / RunModal
    UniqueWindow hiddenOwner_;  // keeps a modal window out of the taskbar
    std::function<void()> onDestroy_;
    std::vector<HWND> disabled_;  // windows a modal run disabled
    bool modalDone_ = false;
};

// The class of RunModal's and CreateTopLevel's windows, for hosts that create such a window themselves: it
// forwards the container messages to the Form passed as the creation parameter.
constexpr const char* kFormWindowClass = "LanyingForm";
// Registers the window classes of forms and their controls (done by Build; repeated calls are harmless).
void RegisterFormClasses();

// The DPI of a window (per-monitor), or of the system when the window has none yet.
UINT WindowDpi(HWND window);
UINT SystemDpi();
