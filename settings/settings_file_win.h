#pragma once
// The configuration file in the user's documents folder, read and written with the private-profile API.
#include <windows.h>

#include <string>

#include "settings/app_settings.h"

// The documents folder joined with the configuration file name; computed afresh on each call.
std::string ConfigFilePath();

// The desktop folder, ending in a backslash: where captures go on a first run.
std::string DesktopFolderPath();

// Fills `settings` from the file, or with the first-run defaults when it is missing or empty, then applies
// the option dependencies.
void LoadSettings(AppSettings& settings);

// Writes all 31 keys in write order. Failures are silent: the next start finds the old file.
void SaveSettings(const AppSettings& settings);

// Lets the user pick the automatic save folder; true when `settings.autoSaveFolder` changed.
bool ChooseAutoSaveFolder(HWND owner, AppSettings& settings);
