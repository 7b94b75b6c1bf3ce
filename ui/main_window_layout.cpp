#include "ui/main_window_layout.h"

#include "app/resource.h"
#include "ui/about_page.h"

namespace {

using K = ControlKind;

constexpr const char* kPageCaptions[] = {"主页", "保存设置", "关于"};
constexpr const char* kBmpDepthItems[] = {"真彩色（24位）", "增强色（16位）", "256色 （8位）", "16色  （4位）"};

constexpr FontStyle kTabFont{.face = "SimSun", .height = -12, .weight = FW_NORMAL, .charset = GB2312_CHARSET};
constexpr FontStyle kHeadingFont{.height = -16, .weight = FW_BOLD, .charset = GB2312_CHARSET};
constexpr COLORREF kHeadingColor = RGB(0, 0, 255);
constexpr COLORREF kRuleColor = RGB(170, 182, 200);

// clang-format off
constexpr ControlRow kControls[] = {
    // On the window.
    {.name = "图片框1", .kind = K::PicBox, .left = 0, .top = 0, .width = 600, .height = 70, .image = IDR_BANNER},
    {.name = "高级选择夹1", .kind = K::PageControl, .left = 5, .top = 75, .width = 585, .height = 290,
     .font = kTabFont, .items = kPageCaptions},
    {.name = "打开对话框", .kind = K::CommonDlg, .text = kSaveDialogFilter},
    {.name = "标签1", .kind = K::Label, .left = 651, .top = 148, .width = 79, .height = 16},

    // Page 0, "主页".
    {.name = "按钮1", .kind = K::PicBtn, .left = 15, .top = 50, .width = 120, .height = 35, .page = 0,
     .image = IDR_BTN_CAPTURE, .pressedImage = IDR_BTN_CAPTURE_DOWN},
    {.name = "保存按钮", .kind = K::PicBtn, .left = 15, .top = 95, .width = 120, .height = 35, .page = 0,
     .image = IDR_BTN_SAVE, .pressedImage = IDR_BTN_SAVE_DOWN},
    {.name = "按钮4", .kind = K::PicBtn, .left = 15, .top = 140, .width = 120, .height = 35, .page = 0,
     .image = IDR_BTN_EDIT, .pressedImage = IDR_BTN_EDIT_DOWN},
    {.name = "按钮2", .kind = K::PicBtn, .left = 15, .top = 185, .width = 120, .height = 35, .page = 0,
     .image = IDR_BTN_HIDE, .pressedImage = IDR_BTN_HIDE_DOWN},
    {.name = "按钮5", .kind = K::PicBtn, .left = 15, .top = 230, .width = 120, .height = 35, .page = 0,
     .image = IDR_BTN_HOTKEY, .pressedImage = IDR_BTN_HOTKEY_DOWN},
    {.name = "分组框4", .kind = K::GroupBox, .left = 165, .top = 45, .width = 130, .height = 95, .text = "抓图方式",
     .page = 0},
    {.name = "抓取全屏", .kind = K::RadioBox, .left = 10, .top = 20, .width = 90, .height = 20, .text = "抓取全屏",
     .page = 0, .group = "分组框4"},
    {.name = "抓取长方形区域", .kind = K::RadioBox, .left = 10, .top = 45, .width = 115, .height = 15,
     .text = "抓取长方形区域", .page = 0, .group = "分组框4", .options = kOptChecked},
    {.name = "抓取区域", .kind = K::RadioBox, .left = 10, .top = 70, .width = 110, .height = 15,
     .text = "仿vista截图", .page = 0, .group = "分组框4"},
    {.name = "标签4", .kind = K::Label, .left = 165, .top = 145, .width = 135, .height = 15,
     .text = "仿vista抓图画笔颜色：", .page = 0},
    {.name = "颜色选择器1", .kind = K::ColorPicker, .left = 165, .top = 165, .width = 130, .height = 20, .page = 0,
     .color = RGB(128, 224, 0)},
    {.name = "保留鼠标", .kind = K::CheckBox, .left = 165, .top = 200, .width = 85, .height = 15, .text = "保留鼠标",
     .page = 0, .options = kOptChecked},
    {.name = "抓图隐藏本窗口", .kind = K::CheckBox, .left = 165, .top = 224, .width = 136, .height = 16,
     .text = "抓图隐藏本窗口", .page = 0, .options = kOptChecked},
    {.name = "快门声", .kind = K::CheckBox, .left = 165, .top = 245, .width = 120, .height = 20,
     .text = "抓图后播放快门声", .page = 0, .options = kOptChecked},
    {.name = "标签6", .kind = K::Label, .left = 15, .top = 270, .width = 85, .height = 15, .text = "当前抓图热键：",
     .page = 0},
    {.name = "标签7", .kind = K::Label, .left = 100, .top = 270, .width = 205, .height = 15, .page = 0},
    {.name = "A", .kind = K::PicBox, .left = 310, .top = 35, .width = 265, .height = 245, .page = 0,
     .options = kOptBorder | kOptStretch},

    // Page 1, "保存设置".
    {.name = "分组框1", .kind = K::GroupBox, .left = 15, .top = 35, .width = 125, .height = 245, .text = "保存格式",
     .page = 1},
    {.name = "JPG", .kind = K::RadioBox, .left = 10, .top = 20, .width = 105, .height = 16, .text = "保存格式：JPG",
     .page = 1, .group = "分组框1"},
    {.name = "按钮6", .kind = K::Button, .left = 25, .top = 40, .width = 85, .height = 22, .text = "JPG图片质量",
     .page = 1, .group = "分组框1"},
    {.name = "PNG", .kind = K::RadioBox, .left = 10, .top = 81, .width = 105, .height = 14, .text = "保存格式：PNG",
     .page = 1, .group = "分组框1", .options = kOptChecked},
    {.name = "BMP", .kind = K::RadioBox, .left = 10, .top = 110, .width = 105, .height = 15, .text = "保存格式：BMP",
     .page = 1, .group = "分组框1"},
    {.name = "标签5", .kind = K::Label, .left = 10, .top = 125, .width = 96, .height = 16, .text = "BMP图片质量：",
     .page = 1, .group = "分组框1"},
    {.name = "BMP图片质量", .kind = K::ComboBox, .left = 10, .top = 140, .width = 105, .height = 20, .page = 1,
     .group = "分组框1", .items = kBmpDepthItems},
    {.name = "GIF", .kind = K::RadioBox, .left = 10, .top = 175, .width = 105, .height = 15, .text = "保存格式：GIF",
     .page = 1, .group = "分组框1"},
    {.name = "分组框2", .kind = K::GroupBox, .left = 155, .top = 40, .width = 220, .height = 170,
     .text = "文件名格式：", .page = 1},
    {.name = "前缀选择", .kind = K::CheckBox, .left = 10, .top = 20, .width = 60, .height = 15, .text = "前缀：",
     .page = 1, .group = "分组框2", .options = kOptChecked},
    {.name = "前缀编辑", .kind = K::EditBox, .left = 85, .top = 20, .width = 125, .height = 20, .text = "岚影抓图",
     .page = 1, .group = "分组框2", .options = kOptClientEdge},
    {.name = "日期", .kind = K::CheckBox, .left = 10, .top = 40, .width = 155, .height = 20, .text = "后缀1：日期",
     .page = 1, .group = "分组框2"},
    {.name = "自动数字", .kind = K::CheckBox, .left = 10, .top = 65, .width = 145, .height = 15,
     .text = "后缀2：自动数字", .page = 1, .group = "分组框2", .options = kOptChecked},
    {.name = "标签8", .kind = K::Label, .left = 10, .top = 80, .width = 70, .height = 20, .text = "计数起始值：",
     .page = 1, .group = "分组框2"},
    {.name = "计数器起始值", .kind = K::EditBox, .left = 85, .top = 80, .width = 125, .height = 20, .text = "1",
     .page = 1, .group = "分组框2", .options = kOptClientEdge},
    {.name = "标签2", .kind = K::Label, .left = 10, .top = 105, .width = 65, .height = 15, .text = "命名预览：",
     .page = 1, .group = "分组框2"},
    {.name = "命名预览", .kind = K::Label, .left = 10, .top = 121, .width = 200, .height = 39, .page = 1,
     .group = "分组框2", .options = kOptBorder | kOptWordWrap},
    {.name = "分组框3", .kind = K::GroupBox, .left = 390, .top = 40, .width = 185, .height = 125,
     .text = "自动保存重命名时：", .page = 1},
    {.name = "弹出保存对话框", .kind = K::RadioBox, .left = 5, .top = 20, .width = 150, .height = 15,
     .text = "弹出保存对话框", .page = 1, .group = "分组框3"},
    {.name = "覆盖保存", .kind = K::RadioBox, .left = 5, .top = 45, .width = 145, .height = 15, .text = "覆盖保存",
     .page = 1, .group = "分组框3"},
    {.name = "询问", .kind = K::RadioBox, .left = 5, .top = 70, .width = 70, .height = 20, .text = "询问", .page = 1,
     .group = "分组框3"},
    {.name = "自动计数", .kind = K::RadioBox, .left = 5, .top = 100, .width = 130, .height = 20,
     .text = "智能命名（全自动）", .page = 1, .group = "分组框3", .options = kOptChecked | kOptTopAlign},
    {.name = "立即保存", .kind = K::CheckBox, .left = 150, .top = 214, .width = 105, .height = 15,
     .text = "抓图后立即保存", .page = 1, .options = kOptChecked},
    {.name = "自动保存", .kind = K::CheckBox, .left = 270, .top = 214, .width = 105, .height = 15, .text = "自动保存",
     .page = 1, .options = kOptChecked},
    {.name = "标签3", .kind = K::Label, .left = 152, .top = 237, .width = 96, .height = 16, .text = "自动保存的路径：",
     .page = 1},
    {.name = "路径", .kind = K::Label, .left = 245, .top = 239, .width = 330, .height = 15, .page = 1},
    {.name = "按钮3", .kind = K::Button, .left = 150, .top = 258, .width = 100, .height = 21,
     .text = "更改保存文件夹", .page = 1},
    {.name = "打开保存文件夹", .kind = K::Button, .left = 255, .top = 259, .width = 105, .height = 20,
     .text = "打开保存文件夹", .page = 1},
    {.name = "图片框2", .kind = K::PicBox, .left = 440, .top = 175, .width = 90, .height = 35, .page = 1,
     .image = IDR_BADGE},

    // Page 2, "关于".
    {.name = "图片框3", .kind = K::PicBox, .left = 145, .top = 40, .width = 295, .height = 105, .page = 2,
     .image = IDR_ABOUT_PICTURE},
    {.name = "标签9", .kind = K::Label, .left = 10, .top = 150, .width = 175, .height = 25, .text = kCreditsTitle,
     .page = 2, .font = kHeadingFont, .textColor = kHeadingColor},
    {.name = "标签10", .kind = K::Label, .left = 10, .top = 180, .width = 195, .height = 100, .text = kCreditsNotice,
     .page = 2, .options = kOptWordWrap},
    {.name = "外形框1", .kind = K::ShapeBox, .left = 210, .top = 155, .width = 1, .height = 120, .page = 2,
     .color = kRuleColor},
    {.name = "标签11", .kind = K::Label, .left = 220, .top = 150, .width = 175, .height = 25, .text = kSupportTitle,
     .page = 2, .font = kHeadingFont, .textColor = kHeadingColor},
    {.name = "标签12", .kind = K::Label, .left = 220, .top = 180, .width = 150, .height = 30, .text = kSupportText,
     .page = 2, .options = kOptWordWrap},
    {.name = "按钮7", .kind = K::Button, .left = 225, .top = 215, .width = 140, .height = 25,
     .text = kSupporterCaptions[0], .page = 2},
    {.name = "按钮8", .kind = K::Button, .left = 225, .top = 245, .width = 140, .height = 25,
     .text = kSupporterCaptions[1], .page = 2},
    {.name = "外形框2", .kind = K::ShapeBox, .left = 375, .top = 155, .width = 1, .height = 120, .page = 2,
     .color = kRuleColor},
    {.name = "标签13", .kind = K::Label, .left = 385, .top = 150, .width = 175, .height = 25, .text = kAdTitle,
     .page = 2, .font = kHeadingFont, .textColor = kHeadingColor},
    {.name = "标签14", .kind = K::Label, .left = 390, .top = 180, .width = 190, .height = 60, .text = kAdNotice,
     .page = 2, .options = kOptWordWrap},
    {.name = "按钮9", .kind = K::Button, .left = 405, .top = 245, .width = 150, .height = 25,
     .text = kCopyAddressCaption, .page = 2},
};
// clang-format on

constexpr WindowLayout kMainWindow{
    .caption = kMainWindowTitle,
    .width = 602,
    .height = 400,
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
    .exStyle = WS_EX_CONTROLPARENT,
    .escCloses = false,
    .topmost = false,
    .visibleAtCreation = false,
    .controls = kControls,
};

constexpr MenuItem kTrayMenu[] = {
    {"打开主界面", kCmdShowMainWindow},
    {"隐藏主界面", kCmdHideMainWindow},
    {nullptr, 0},
    {"开始抓图", kCmdStartCapture},
    {"编辑上次抓图", kCmdEditLastCapture},
    {nullptr, 0},
    {"关于", kCmdAbout},
    {nullptr, 0},
    {"退出", kCmdExit},
};

constexpr MenuItem kPreviewMenu[] = {
    {"保存抓图", kCmdSaveCapture},
    {"编辑抓图", kCmdEditCapture},
};

}  // namespace

const WindowLayout& MainWindowLayout() { return kMainWindow; }
std::span<const MenuItem> TrayMenuItems() { return kTrayMenu; }
std::span<const MenuItem> PreviewMenuItems() { return kPreviewMenu; }
