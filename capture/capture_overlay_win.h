#pragma once
// The capture overlay: a borderless topmost window over the whole primary display that paints the frozen
// screen, so every selection works on a still picture. By the session's mode it puts the whole screen on
// the clipboard, runs the rectangle selection above itself, or lets the user outline a freehand region
// with a trail of soft coloured dots (the region's bounding box, white outside the outline, becomes the
// picture). Right button or Escape cancels. Its destruction releases what FreezeScreen created.
#include <windows.h>

constexpr const char* kOverlayClassName = "LanyingCaptureOverlay";
constexpr COLORREF kTraceColour = 0x00FFFFFF;

// Creates the overlay and runs it modally; returns once it has been destroyed, with the picture on the
// clipboard or the clipboard empty.
void ShowCaptureOverlay();

// The overlay while it is shown, else null.
HWND CaptureOverlayWindow();

// Waits (up to about a second) until the screen inside `area` shows the frozen screen, repainting the
// overlay meanwhile. On a composited desktop that is at once; without a compositor (Wine on X) a window
// that has just been uncovered or shown reaches the screen only once it has been painted and flushed.
void AwaitFrozenScreenShown(const RECT& area);

// Decodes the embedded pen dot into the session's penDot and tints it.
void PreparePenDot(COLORREF colour);
// Recolours every pixel of penDot, keeping its alpha.
void TintPenDot(COLORREF colour);

// Paints the frozen screen, then hands every message on to the overlay's own procedure.
LRESULT CALLBACK OverlayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Releases the session's drawing resources in GDI+'s order: pen dot, frozen screen, GDI+ itself. The
// overlay's destruction ends with this; a session whose overlay never appeared calls it directly.
void ReleaseCaptureResources();

// Runs a nested message loop until `window` is destroyed. A WM_QUIT met on the way is posted again for
// the outer loop.
void RunModalLoop(HWND window);
