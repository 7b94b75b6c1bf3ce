#pragma once
#include <windows.h>

constexpr const char* kMainWindowClass = "LanyingMainWindow";

// Creates the main window, hidden; its creation runs the start-up sequence.
HWND CreateMainWindow(HINSTANCE instance);
