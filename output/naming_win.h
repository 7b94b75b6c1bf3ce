#pragma once
// The generated file name as the main window shows it: the kept stem (App().fileNameStem), the preview
// (App().namePreview) and the reactions of the naming controls on the page "保存设置".
//
// Every change of an edit box's content counts once, whether the user typed it or the program wrote it.
// The program's own writes (the reset to "1", the counter's advance) go through SetCounterText, which
// refreshes the name exactly once; while the window re-shows the record it may raise content-change events
// of its own, and those are dropped here (see ShowingRecordInWindow), so no write is counted twice.
#include <string>

#include "output/file_naming.h"

// The current local date and time (GetLocalTime).
LocalDateTime CurrentLocalTime();

// The naming inputs of App().settings.
FileNameOptions CurrentFileNameOptions();

// Recomputes App().fileNameStem and App().namePreview from the current options and shows them.
void RefreshFileName();

// Writes the running number (the edit box "计数器起始值") and refreshes the name once.
void SetCounterText(const std::string& text);

// Replaces the running number by its successor ("007" -> "8") and refreshes the name once.
void AdvanceCounter();

// True while the window re-shows the record on this module's request: content changes it raises then are
// the program's own writes, already counted.
bool ShowingRecordInWindow();

// Asks the window to show App().settings and the name; content changes it raises meanwhile are dropped.
void ShowRecord();

// Reactions of the naming controls. The window has already written the control's new state into
// App().settings when it calls them.
void OnPrefixEditChanged();       // each change of "前缀编辑"
void OnCounterEditChanged();      // each change of "计数器起始值"
void OnUsePrefixClicked();        // check box "前缀选择"
void OnUseDateClicked();          // check box "日期"
void OnAutoNumberClicked();       // check box "自动数字": refresh, then AutoCount follows the number
void OnFormatClicked(ImageFormat format);  // the radio buttons JPG, PNG, BMP, GIF: the number starts again at 1
