#pragma once
// The program's other four windows: the JPEG quality dialog, the hotkey dialog, and the frames of the two
// full-screen capture windows. All are created without a parent and run modally (ui/form.h, RunModal).
#include "ui/layout.h"

const WindowLayout& JpgQualityDialogLayout();  // "JPG图片质量", 296 x 179
const WindowLayout& HotkeyDialogLayout();      // "抓图热键设置", 349 x 127

// No caption or frame, topmost, hidden at creation, no controls; its created handler covers the screen.
const WindowLayout& CaptureOverlayLayout();
// "抓图程序" (never shown), no frame, topmost, 188 x 198 centred, with the DrawPanel 画板1.
const WindowLayout& SelectionBoardLayout();

// Items of the hotkey dialog's 组合框1: "A".."Z", "0".."9", "F1".."F12".
constexpr int kHotkeyListSize = 48;
