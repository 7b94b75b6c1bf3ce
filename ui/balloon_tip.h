#pragma once
#include <windows.h>

// Attaches a balloon tooltip with `text` to `control`. All tips share one tooltip window, created on first use
// without an owner. A line break ("\r\n") in the text breaks the tip's line: the tip is never narrower than
// its longest line. Attaching again replaces the control's text; an empty text leaves it without a tip.
void AttachBalloonTip(HWND control, const char* text);

// Removes the control's tip; call while the control still exists (a window about to be destroyed).
void DetachBalloonTip(HWND control);

// The shared tooltip window, or nullptr before the first tip.
HWND BalloonTipWindow();
