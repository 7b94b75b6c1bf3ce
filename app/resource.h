#pragma once
// Resource identifiers of lanying.exe.
#define IDI_APP 1
// The capture's embedded data: the shutter sound and the freehand pen's dot (RCDATA).
#define IDR_SHUTTER_WAVE 301
#define IDR_PEN_DOT 302
// Artwork of the window layouts (RCDATA: JPEG and GIF files, decoded at run time).
#define IDR_BANNER 101
#define IDR_ABOUT_PICTURE 102
#define IDR_BADGE 103
#define IDR_BTN_CAPTURE 111
#define IDR_BTN_CAPTURE_DOWN 112
#define IDR_BTN_SAVE 113
#define IDR_BTN_SAVE_DOWN 114
#define IDR_BTN_EDIT 115
#define IDR_BTN_EDIT_DOWN 116
#define IDR_BTN_HIDE 117
#define IDR_BTN_HIDE_DOWN 118
#define IDR_BTN_HOTKEY 119
#define IDR_BTN_HOTKEY_DOWN 120
