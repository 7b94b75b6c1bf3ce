#pragma once
// The main window: its frame, its controls on three pages, its two pop-up menus and the save dialog's filter.
#include <windows.h>

#include <span>

#include "ui/layout.h"

constexpr const char* kMainWindowTitle = "岚影 - 专业抓图工具 Ver 1.0";

const WindowLayout& MainWindowLayout();

// Pages of 高级选择夹1.
constexpr int kHomePage = 0;
constexpr int kSaveSettingsPage = 1;
constexpr int kAboutPage = 2;

// The filter text of 打开对话框 (a CommonDlg, so it has no window): "|"-separated pairs, each after the first
// preceded by a carriage return and a line feed.
constexpr const char* kSaveDialogFilter = "*.jpg|*.jpg|\r\n*.png|*.png|\r\n*.bmp|*.bmp|\r\n*.gif|*.gif|";

// Menu command ids: WM_COMMAND with these ids (lParam 0) runs an item's action on the main window.
enum MenuCommand : UINT {
    kCmdShowMainWindow = 40001,
    kCmdHideMainWindow,
    kCmdStartCapture,
    kCmdEditLastCapture,
    kCmdAbout,
    kCmdExit,
    kCmdSaveCapture,
    kCmdEditCapture,
};

struct MenuItem {
    const char* caption;  // nullptr: a separator
    UINT command;
};

// 托盘菜单 and 保存 (the preview menu), in item order.
std::span<const MenuItem> TrayMenuItems();
std::span<const MenuItem> PreviewMenuItems();
