#pragma once
// The rectangle selection: a borderless, faintly opaque board over the overlay on which the user drags a
// rectangle, with a crosshair and a small circle following the pointer. On release the board hides and
// the rectangle is grabbed from the screen, which then shows the frozen screen; right button cancels.
#include <windows.h>

#include "imaging/image_types.h"

constexpr const char* kSelectionBoardClassName = "LanyingSelectionBoard";
constexpr const char* kSelectionBoardCaption = "抓图程序";
constexpr BYTE kSelectionBoardAlpha = 50;

// Runs the board modally; leaves the selected picture on the clipboard, or the clipboard empty.
void RunRectangleSelection();

// A BMP file image becomes a CF_BITMAP on the clipboard (through the system picture loader); true when
// the clipboard took it.
bool PublishBmpToClipboard(const ByteArray& bytes);
