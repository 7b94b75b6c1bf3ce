#pragma once
// Control kinds and the declarative tables every window of the program is built from.
//
// A window is one WindowLayout: its frame plus a table of ControlRow rows. Coordinates are pixels at 96 DPI,
// relative to the control's container: the window's client area, the page of the window's tab control (whose
// origin is the tab control's own top-left corner), or the group box named in `group` (whose origin is the
// group box's top-left corner). Form (ui/form.h) turns a table into windows and scales it to the window's DPI.
//
// The tables have static storage: forms keep pointers to their rows.
#include <windows.h>

#include <span>
#include <string_view>

enum class ControlKind {
    Label,        // owner-drawn text; its event 0 is the capture hotkey's notification (WM_APP + 0x75)
    Button,       // push button: event 0 clicked
    CheckBox,     // event 0 clicked, the tick already toggled
    RadioBox,     // event 0 clicked; exactly one box of a group is on
    EditBox,      // event 0 text changed; optional up-down spinner on its right
    ComboBox,     // drop-down list
    SliderBar,    // track bar: event 0 position changed by the user
    GroupBox,     // frame with a caption; a container for layout coordinates and radio groups
    PicBox,       // picture at its own size from the top-left corner, or stretched over the client area
    ShapeBox,     // a filled rule
    ColorPicker,  // swatch button that runs the colour chooser
    PicBtn,       // graphic button with a normal and a pressed image: event 0 clicked
    PageControl,  // tab control whose pages hold child controls
    CommonDlg,    // no window: the settings of a common dialog the program runs on request
    DrawPanel,    // black drawing surface with its own DC (the selection board)
};

// Event numbers carried to control handlers.
constexpr int kEventDefault = 0;     // clicked / text changed / position changed / hotkey notification
constexpr int kEventLeftDown = -1;
constexpr int kEventLeftUp = -2;
constexpr int kEventRightDown = -4;
constexpr int kEventRightUp = -5;
constexpr int kEventMouseMove = -6;

// Window events.
constexpr int kWindowCreated = 0;
constexpr int kWindowCloseQuery = 1;
constexpr int kWindowDestroying = 2;
constexpr int kWindowActivated = 5;
constexpr int kWindowTrayIcon = 9;

// Key state bits of mouse events.
constexpr int kKeyCtrl = 1;
constexpr int kKeyShift = 2;
constexpr int kKeyAlt = 4;

// The notification the capture hotkey's window procedure sends to the hidden label.
constexpr UINT kHotkeyNotifyMessage = WM_APP + 0x75;

struct ControlEvent {
    int code = kEventDefault;
    int x = 0, y = 0;  // client pixels of the control, mouse events only
    int keys = 0;      // kKeyCtrl | kKeyShift | kKeyAlt, mouse events only
};

// Options of a row; each applies only to the kinds named.
enum ControlOption : unsigned {
    kOptChecked = 1u << 0,       // CheckBox, RadioBox: on at creation
    kOptBorder = 1u << 1,        // Label, PicBox: single-line border
    kOptWordWrap = 1u << 2,      // Label: several lines, top-aligned, broken at words
    kOptTopAlign = 1u << 3,      // RadioBox, CheckBox: text at the top
    kOptClientEdge = 1u << 4,    // EditBox: sunken edge
    kOptStaticEdge = 1u << 5,    // EditBox: static edge
    kOptIntegerInput = 1u << 6,  // EditBox: on losing the focus the text becomes the whole number it starts with
    kOptSpinner = 1u << 7,       // EditBox: up-down control on its right, range rangeMin..rangeMax
    kOptStretch = 1u << 8,       // PicBox: picture stretched over the client area
};

// A font of a row. An empty row is the window's default GUI font; a face of nullptr keeps the default face.
struct FontStyle {
    const char* face = nullptr;
    int height = 0;  // character height at 96 DPI (negative), 0 for the default
    int weight = 0;  // FW_*; 0 for the default
    int charset = DEFAULT_CHARSET;

    constexpr bool IsDefault() const { return !face && height == 0 && weight == 0 && charset == DEFAULT_CHARSET; }
};

struct ControlRow {
    const char* name = "";
    ControlKind kind = ControlKind::Label;
    int left = 0, top = 0, width = 0, height = 0;
    const char* text = "";        // caption or initial content
    int page = -1;                // page of the window's PageControl; -1: directly on the window
    const char* group = nullptr;  // the GroupBox the row lies in (same page)
    unsigned options = 0;
    FontStyle font{};
    COLORREF textColor = RGB(0, 0, 0);
    int image = 0;                // PicBox / PicBtn: resource id of the picture (normal state)
    int pressedImage = 0;         // PicBtn: resource id of the pressed state
    std::span<const char* const> items{};  // ComboBox items, PageControl page captions
    int rangeMin = 0, rangeMax = 0;        // SliderBar range; EditBox spinner range
    int pageSize = 0, lineSize = 0, tickFrequency = 0;  // SliderBar
    COLORREF color = RGB(0, 0, 0);         // ColorPicker colour, ShapeBox fill
};

struct WindowLayout {
    const char* caption = "";
    int width = 0, height = 0;  // outer size at 96 DPI
    DWORD style = 0;
    DWORD exStyle = 0;
    bool escCloses = false;
    bool topmost = false;
    bool visibleAtCreation = true;
    std::span<const ControlRow> controls{};
};

// Control ids: the row index plus this base, so they never meet IDOK, IDCANCEL or menu ids. A spinner's id is
// its edit box's id plus kSpinnerIdOffset.
constexpr int kFirstControlId = 1001;
constexpr int kSpinnerIdOffset = 500;

// The row called `name`, or nullptr.
const ControlRow* FindRow(const WindowLayout& layout, std::string_view name);
// The control id of the row called `name`, or 0.
int ControlId(const WindowLayout& layout, std::string_view name);

// Pixels at 96 DPI to pixels at `dpi`, rounded to the nearest.
constexpr UINT kLayoutDpi = 96;
inline int ScaleToDpi(int value, UINT dpi) { return MulDiv(value, int(dpi), int(kLayoutDpi)); }
// A layout rectangle at `dpi`: each edge is scaled on its own, so controls that touch at 96 DPI still touch.
RECT ScaleRect(int left, int top, int width, int height, UINT dpi);
