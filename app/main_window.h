#pragma once
#include <windows.h>

constexpr const char* kMainWindowClass = "LanyingMainWindow";

// Creates the main window, hidden, from its layout; its creation builds the controls and then runs the
// start-up sequence.
HWND CreateMainWindow(HINSTANCE instance);
