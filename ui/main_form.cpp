#include "ui/main_form.h"

#include <map>
#include <span>
#include <string>

#include "app/application.h"
#include "settings/settings_file_win.h"
#include "ui/about_page.h"
#include "ui/controls.h"
#include "ui/jpg_quality_dialog.h"
#include "ui/main_window_layout.h"
#include "ui/picture.h"

namespace {

template <typename T>
struct RadioChoice {
    const char* name;
    T value;
};

constexpr RadioChoice<CaptureMode> kCaptureModes[] = {
    {"抓取全屏", CaptureMode::FullScreen},
    {"抓取长方形区域", CaptureMode::RectangleRegion},
    {"抓取区域", CaptureMode::FreehandRegion},
};
constexpr RadioChoice<ImageFormat> kFormats[] = {
    {"JPG", ImageFormat::Jpg},
    {"PNG", ImageFormat::Png},
    {"BMP", ImageFormat::Bmp},
    {"GIF", ImageFormat::Gif},
};
constexpr RadioChoice<ExistingFilePolicy> kPolicies[] = {
    {"弹出保存对话框", ExistingFilePolicy::SaveDialog},
    {"覆盖保存", ExistingFilePolicy::Overwrite},
    {"询问", ExistingFilePolicy::Ask},
    {"自动计数", ExistingFilePolicy::AutoCount},
};

struct CheckBinding {
    const char* name;
    bool AppSettings::*field;
    bool appliesDependencies;
};
constexpr CheckBinding kChecks[] = {
    {"抓图隐藏本窗口", &AppSettings::hideWindowOnCapture, false},
    {"保留鼠标", &AppSettings::keepCursor, false},
    {"快门声", &AppSettings::shutterSound, false},
    {"前缀选择", &AppSettings::usePrefix, false},
    {"日期", &AppSettings::useDate, false},
    {"自动数字", &AppSettings::useAutoNumber, true},
    {"立即保存", &AppSettings::saveImmediately, true},
    {"自动保存", &AppSettings::autoSave, false},
};

struct TextBinding {
    const char* name;
    std::string AppSettings::*field;
};
constexpr TextBinding kEdits[] = {
    {"前缀编辑", &AppSettings::prefix},
    {"计数器起始值", &AppSettings::counterText},
};

std::map<std::string, std::function<void()>, std::less<>>& MenuActions() {
    static std::map<std::string, std::function<void()>, std::less<>> actions;
    return actions;
}

// Only the control's own event: the same handlers also hear the mouse.
template <typename F>
ControlHandler OnEvent0(F f) {
    return [f](const ControlEvent& event) {
        if (event.code == kEventDefault) f();
    };
}

template <typename T, size_t N>
void BindRadios(Form& form, const RadioChoice<T> (&choices)[N], T AppSettings::*field) {
    for (const auto& choice : choices) {
        const T value = choice.value;
        form.SetBuiltInHandler(choice.name, OnEvent0([field, value] { App().settings.*field = value; }));
    }
}

template <typename T, size_t N>
void ShowRadios(Form& form, const RadioChoice<T> (&choices)[N], T value) {
    for (const auto& choice : choices)
        if (choice.value == value) form.SelectRadio(choice.name);
}

// The two controls whose availability depends on other options.
void ShowDependencies(Form& form) {
    const AppSettings& settings = App().settings;
    ShowRadios(form, kPolicies, settings.existingFilePolicy);
    form.SetEnabled("自动计数", settings.autoCountEnabled);
    form.SetEnabled("自动保存", settings.autoSaveEnabled);
}

void ShowPopupMenu(HWND window, std::span<const MenuItem> items) {
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    for (const MenuItem& item : items) {
        if (item.caption)
            AppendMenuA(menu.get(), MF_STRING, item.command, item.caption);
        else
            AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
    }
    POINT pointer{};
    GetCursorPos(&pointer);
    TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pointer.x + 3, pointer.y + 3, 0, window, nullptr);
}

void ShowAndActivate(HWND window) {
    SetActiveWindow(window);
    ShowWindow(window, SW_SHOW);
}

}  // namespace

Form& MainForm() {
    static Form form;
    return form;
}

HWND FindControl(std::string_view layoutName) { return MainForm().Find(layoutName); }

void SetControlHandler(std::string_view layoutName, ControlHandler handler) {
    MainForm().SetHandler(layoutName, std::move(handler));
}

void SetControlHandler(std::string_view layoutName, std::function<void(int event)> handler) {
    if (!handler) {
        MainForm().SetHandler(layoutName, nullptr);
        return;
    }
    MainForm().SetHandler(layoutName, [handler = std::move(handler)](const ControlEvent& event) { handler(event.code); });
}

void SetMenuAction(std::string_view caption, std::function<void()> action) {
    MenuActions()[std::string(caption)] = std::move(action);
}

void RunMenuAction(std::string_view caption) {
    const auto it = MenuActions().find(caption);
    if (it == MenuActions().end() || !it->second) return;
    const auto action = it->second;  // a copy: the action may rebind itself
    action();
}

void SetControlText(std::string_view layoutName, std::string_view text) {
    MainForm().SetEditText(layoutName, text);
}

void BuildMainWindowControls(HWND window) {
    Form& form = MainForm();
    form.Build(window, MainWindowLayout());

    BindRadios(form, kCaptureModes, &AppSettings::captureMode);
    BindRadios(form, kFormats, &AppSettings::imageFormat);
    BindRadios(form, kPolicies, &AppSettings::existingFilePolicy);
    for (const CheckBinding& check : kChecks) {
        const char* name = check.name;
        const auto field = check.field;
        const bool dependencies = check.appliesDependencies;
        form.SetBuiltInHandler(name, OnEvent0([name, field, dependencies] {
            Form& f = MainForm();
            App().settings.*field = f.Checked(name);
            if (dependencies) {
                ApplyOptionDependencies(App().settings);
                ShowDependencies(f);
            }
        }));
    }
    for (const TextBinding& edit : kEdits) {
        const char* name = edit.name;
        const auto field = edit.field;
        form.SetBuiltInHandler(name, OnEvent0([name, field] { App().settings.*field = MainForm().Text(name); }));
    }
    form.SetBuiltInHandler("BMP图片质量", OnEvent0([] {
        const int index = MainForm().Selection("BMP图片质量");
        if (index >= 0) App().settings.bmpDepthIndex = index;
    }));
    form.SetBuiltInHandler("颜色选择器1",
                           OnEvent0([] { App().settings.freehandColor = MainForm().Color("颜色选择器1"); }));
    form.SetBuiltInHandler("按钮3", OnEvent0([window] {
        if (ChooseAutoSaveFolder(window, App().settings)) MainForm().SetCaption("路径", App().settings.autoSaveFolder);
    }));
    form.SetBuiltInHandler("按钮6", OnEvent0([] { RunJpgQualityDialog(); }));
    form.SetBuiltInHandler("按钮2", OnEvent0([window] { ShowWindow(window, SW_HIDE); }));
    form.SetBuiltInHandler("A", [window](const ControlEvent& event) {
        if (event.code == kEventLeftDown || event.code == kEventRightDown) ShowPreviewMenu(window);
    });
    form.SetBuiltInHandler("图片框3", [](const ControlEvent& event) {
        if (event.code == kEventLeftDown) OpenWebPage(ThreadPageAddress());
    });
    form.SetBuiltInHandler("按钮7", OnEvent0([] { OpenWebPage(SupporterPageAddress(0)); }));
    form.SetBuiltInHandler("按钮8", OnEvent0([] { OpenWebPage(SupporterPageAddress(1)); }));
    form.SetBuiltInHandler("按钮9", OnEvent0([] { CopyContactAddress(); }));

    App().settingsChanged = [] { ShowSettingsInControls(); };
    App().captureChanged = [] { ShowLastCapture(); };
}

void ShowSettingsInControls() {
    // A handler run by an edit's change event may notify again; that request is served after this pass.
    static bool showing = false;
    static bool again = false;
    if (showing) {
        again = true;
        return;
    }
    showing = true;
    do {
        again = false;
        Form& form = MainForm();
        const AppSettings& settings = App().settings;
        ShowRadios(form, kCaptureModes, settings.captureMode);
        ShowRadios(form, kFormats, settings.imageFormat);
        for (const CheckBinding& check : kChecks) form.SetChecked(check.name, settings.*check.field);
        form.SetColor("颜色选择器1", COLORREF(settings.freehandColor));
        form.SetSelection("BMP图片质量", settings.bmpDepthIndex);
        form.SetCaption("路径", settings.autoSaveFolder);
        form.SetCaption("命名预览", App().namePreview);
        ShowDependencies(form);
        for (const TextBinding& edit : kEdits) {
            // Copied first: the change event below may change the record.
            const std::string value = App().settings.*edit.field;
            if (form.Text(edit.name) != value) form.SetEditText(edit.name, value);
        }
    } while (again);
    showing = false;
}

void ShowLastCapture() { MainForm().SetPicture("A", BitmapFromBmpFile(App().lastCaptureImage)); }

void ShowTrayMenu(HWND window) { ShowPopupMenu(window, TrayMenuItems()); }
void ShowPreviewMenu(HWND window) { ShowPopupMenu(window, PreviewMenuItems()); }

bool RunMainMenuCommand(HWND window, UINT command) {
    switch (command) {
        case kCmdShowMainWindow: ShowAndActivate(window); return true;
        case kCmdHideMainWindow: ShowWindow(window, SW_HIDE); return true;
        case kCmdStartCapture:
            Sleep(300);  // lets the menu vanish from the screen before it is grabbed
            RunMenuAction("开始抓图");
            return true;
        case kCmdEditLastCapture: RunMenuAction("编辑上次抓图"); return true;
        case kCmdAbout:
            MainForm().SelectPage(kAboutPage);  // before showing, so page 0 never flashes up
            ShowWindow(window, SW_SHOW);
            return true;
        case kCmdExit: RequestExit(); return true;
        case kCmdSaveCapture: RunMenuAction("保存抓图"); return true;
        case kCmdEditCapture: RunMenuAction("编辑抓图"); return true;
        default: return false;
    }
}
