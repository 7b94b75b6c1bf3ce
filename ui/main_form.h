#pragma once
// The main window's side of its controls: building them, keeping them and App().settings in step, the
// preview, and the two pop-up menus. Used by the main window procedure (app/main_window.cpp).
#include <windows.h>

// Builds the controls on the main window and binds them to App().settings; from here on
// NotifySettingsChanged() and NotifyCaptureChanged() reach the window.
void BuildMainWindowControls(HWND window);

// Shows App().settings and App().namePreview in the controls. Edit boxes whose text differs get the new text
// with their change event; nothing else raises an event.
void ShowSettingsInControls();

// Gives the preview A the picture of App().lastCaptureImage (none when it is empty or malformed).
void ShowLastCapture();

// The pop-up menus, built afresh at the pointer moved 3 pixels right and down, owned by `window`, destroyed
// when closed. The chosen item arrives as WM_COMMAND.
void ShowTrayMenu(HWND window);
void ShowPreviewMenu(HWND window);

// Runs the action of a menu command id (ui/main_window_layout.h); false for any other id.
bool RunMainMenuCommand(HWND window, UINT command);
