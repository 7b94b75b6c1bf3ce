#include "output/output_controls_win.h"

#include <functional>

#include "output/naming_win.h"
#include "output/post_capture_win.h"
#include "output/save_flow_win.h"
#include "ui/controls.h"

namespace {

// The handlers also hear the mouse; only the control's own event (click, text change) counts.
std::function<void(int)> OnClickOrChange(std::function<void()> reaction) {
    return [reaction = std::move(reaction)](int event) {
        if (event == kEventDefault) reaction();
    };
}

}  // namespace

void BindOutputControls() {
    SetControlHandler("前缀编辑", OnClickOrChange(OnPrefixEditChanged));
    SetControlHandler("计数器起始值", OnClickOrChange(OnCounterEditChanged));
    SetControlHandler("前缀选择", OnClickOrChange(OnUsePrefixClicked));
    SetControlHandler("日期", OnClickOrChange(OnUseDateClicked));
    SetControlHandler("自动数字", OnClickOrChange(OnAutoNumberClicked));
    SetControlHandler("JPG", OnClickOrChange([] { OnFormatClicked(ImageFormat::Jpg); }));
    SetControlHandler("PNG", OnClickOrChange([] { OnFormatClicked(ImageFormat::Png); }));
    SetControlHandler("BMP", OnClickOrChange([] { OnFormatClicked(ImageFormat::Bmp); }));
    SetControlHandler("GIF", OnClickOrChange([] { OnFormatClicked(ImageFormat::Gif); }));
    SetControlHandler("立即保存", OnClickOrChange(OnSaveImmediatelyClicked));
    SetControlHandler("保存按钮", OnClickOrChange(SaveCaptureAs));
    SetControlHandler("按钮4", OnClickOrChange(EditInPaint));
    SetControlHandler("打开保存文件夹", OnClickOrChange(OpenSaveFolder));
    SetMenuAction("保存抓图", SaveCaptureAs);
    SetMenuAction("编辑抓图", EditInPaint);
    SetMenuAction("编辑上次抓图", EditInPaint);
}
