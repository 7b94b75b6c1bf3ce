#include "ui/dialog_layouts.h"

namespace {

using K = ControlKind;

constexpr DWORD kDialogStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

constexpr FontStyle kRangeFont{.face = "微软雅黑", .height = -12, .weight = FW_BOLD};
constexpr FontStyle kPlusFont{.height = -19, .weight = FW_BOLD};

// clang-format off
constexpr ControlRow kJpgControls[] = {
    {.name = "标签1", .kind = K::Label, .left = 10, .top = 5, .width = 96, .height = 16, .text = "JPG图片质量："},
    {.name = "JPG质量1", .kind = K::EditBox, .left = 15, .top = 25, .width = 35, .height = 19,
     .options = kOptIntegerInput | kOptSpinner | kOptStaticEdge, .rangeMin = 0, .rangeMax = 101},
    {.name = "标签2", .kind = K::Label, .left = 70, .top = 25, .width = 70, .height = 20, .text = "% (1 - 100)",
     .font = kRangeFont},
    {.name = "滑块条1", .kind = K::SliderBar, .left = 5, .top = 50, .width = 135, .height = 35, .rangeMin = 1,
     .rangeMax = 100, .pageSize = 5, .lineSize = 1, .tickFrequency = 10},
    {.name = "标签3", .kind = K::Label, .left = 155, .top = 5, .width = 95, .height = 15, .text = "柔化："},
    {.name = "柔化", .kind = K::EditBox, .left = 160, .top = 25, .width = 35, .height = 19,
     .options = kOptIntegerInput | kOptSpinner | kOptStaticEdge, .rangeMin = -1, .rangeMax = 101},
    {.name = "标签4", .kind = K::Label, .left = 215, .top = 25, .width = 70, .height = 20, .text = "% (0 - 100)",
     .font = kRangeFont},
    {.name = "滑块条2", .kind = K::SliderBar, .left = 150, .top = 50, .width = 135, .height = 35, .rangeMin = 0,
     .rangeMax = 100, .pageSize = 5, .lineSize = 1, .tickFrequency = 10},
    {.name = "优化编码", .kind = K::CheckBox, .left = 15, .top = 90, .width = 95, .height = 20, .text = "优化编码",
     .options = kOptChecked},
    {.name = "确定按钮", .kind = K::Button, .left = 125, .top = 115, .width = 70, .height = 25, .text = "确定"},
    {.name = "取消按钮", .kind = K::Button, .left = 210, .top = 115, .width = 70, .height = 25, .text = "取消"},
};

constexpr const char* kHotkeyItems[kHotkeyListSize] = {
    "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V",
    "W", "X", "Y", "Z", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
    "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
};

constexpr ControlRow kHotkeyControls[] = {
    {.name = "Ctrl", .kind = K::CheckBox, .left = 15, .top = 15, .width = 50, .height = 20, .text = "Ctrl"},
    {.name = "标签1", .kind = K::Label, .left = 65, .top = 15, .width = 20, .height = 20, .text = "+",
     .font = kPlusFont},
    {.name = "Alt", .kind = K::CheckBox, .left = 85, .top = 15, .width = 45, .height = 20, .text = "Alt"},
    {.name = "标签2", .kind = K::Label, .left = 130, .top = 15, .width = 20, .height = 20, .text = "+",
     .font = kPlusFont},
    {.name = "Shift", .kind = K::CheckBox, .left = 150, .top = 15, .width = 55, .height = 20, .text = "Shift"},
    {.name = "标签3", .kind = K::Label, .left = 210, .top = 15, .width = 20, .height = 20, .text = "+",
     .font = kPlusFont},
    {.name = "组合框1", .kind = K::ComboBox, .left = 230, .top = 15, .width = 105, .height = 20,
     .items = kHotkeyItems},
    {.name = "确定按钮", .kind = K::Button, .left = 185, .top = 65, .width = 70, .height = 25, .text = "确定"},
    {.name = "取消按钮", .kind = K::Button, .left = 265, .top = 65, .width = 70, .height = 25, .text = "取消"},
};

constexpr ControlRow kSelectionBoardControls[] = {
    {.name = "画板1", .kind = K::DrawPanel, .left = 35, .top = 40, .width = 120, .height = 100},
};
// clang-format on

constexpr WindowLayout kJpgQualityDialog{.caption = "JPG图片质量", .width = 296, .height = 179,
                                         .style = kDialogStyle, .exStyle = kDialogExStyle, .escCloses = true,
                                         .controls = kJpgControls};

constexpr WindowLayout kHotkeyDialog{.caption = "抓图热键设置", .width = 349, .height = 127,
                                     .style = kDialogStyle, .exStyle = kDialogExStyle, .escCloses = true,
                                     .controls = kHotkeyControls};

constexpr WindowLayout kCaptureOverlay{.caption = "", .width = 601, .height = 390, .style = WS_POPUP,
                                       .exStyle = WS_EX_TOOLWINDOW, .topmost = true, .visibleAtCreation = false};

constexpr WindowLayout kSelectionBoard{.caption = "抓图程序", .width = 188, .height = 198, .style = WS_POPUP,
                                       .exStyle = WS_EX_TOOLWINDOW, .topmost = true,
                                       .controls = kSelectionBoardControls};

}  // namespace

const WindowLayout& JpgQualityDialogLayout() { return kJpgQualityDialog; }
const WindowLayout& HotkeyDialogLayout() { return kHotkeyDialog; }
const WindowLayout& CaptureOverlayLayout() { return kCaptureOverlay; }
const WindowLayout& SelectionBoardLayout() { return kSelectionBoard; }
