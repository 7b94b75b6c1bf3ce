#include "ui/hotkey_dialog.h"

#include "ui/dialog_layouts.h"

void RunHotkeyDialog(const std::function<void(Form&)>& onCreated, const std::function<void(Form&)>& onOk) {
    Form form;
    form.SetBuiltInHandler("确定按钮", [&form, &onOk](const ControlEvent& event) {
        if (event.code != kEventDefault) return;
        if (onOk) onOk(form);
        form.Close();
    });
    form.SetBuiltInHandler("取消按钮", [&form](const ControlEvent& event) {
        if (event.code == kEventDefault) form.Close();
    });
    form.RunModal(HotkeyDialogLayout(), onCreated);
}
