#include "output/naming_win.h"

#include <windows.h>

#include "app/application.h"
#include "output/output_controls_win.h"

namespace {

bool g_showingRecord = false;

}  // namespace

void ShowRecord() {
    if (g_showingRecord) return;  // asked for from inside a re-show: the outer one shows everything
    g_showingRecord = true;
    NotifySettingsChanged();
    g_showingRecord = false;
}

LocalDateTime CurrentLocalTime() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LocalDateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

FileNameOptions CurrentFileNameOptions() {
    const AppSettings& s = App().settings;
    FileNameOptions options;
    options.usePrefix = s.usePrefix;
    options.prefix = s.prefix;
    options.useDate = s.useDate;
    options.useAutoNumber = s.useAutoNumber;
    options.counterText = s.counterText;
    options.imageFormat = s.imageFormat;
    return options;
}

void RefreshFileName() {
    // The start-up's refresh is the first: the window's naming, saving and editing controls are bound then,
    // before the user can touch them (as the capture binds its own when it registers the hotkey).
    static const bool bound = (BindOutputControls(), true);
    (void)bound;
    const ComposedFileName name = ComposeFileName(CurrentFileNameOptions(), CurrentLocalTime());
    App().fileNameStem = name.stem;
    App().namePreview = name.preview;
    ShowRecord();
}

void SetCounterText(const std::string& text) {
    App().settings.counterText = text;
    RefreshFileName();  // the one content change of this write
}

void AdvanceCounter() { SetCounterText(AdvanceCounter(App().settings.counterText)); }

bool ShowingRecordInWindow() { return g_showingRecord; }

void OnPrefixEditChanged() {
    if (!g_showingRecord) RefreshFileName();
}

void OnCounterEditChanged() {
    if (!g_showingRecord) RefreshFileName();
}

void OnUsePrefixClicked() { RefreshFileName(); }

void OnUseDateClicked() { RefreshFileName(); }

void OnAutoNumberClicked() {
    RefreshFileName();
    // Without a running number the AutoCount search could not change the name it tries.
    ApplyOptionDependencies(App().settings);
    ShowRecord();
}

void OnFormatClicked(ImageFormat format) {
    App().settings.imageFormat = format;
    SetCounterText("1");
    RefreshFileName();
}

