#include "ui/jpg_quality_dialog.h"

#include <string>

#include "app/application.h"
#include "ui/balloon_tip.h"
#include "ui/dialog_layouts.h"
#include "ui/form.h"

namespace {

// The reaction to a changed edit box: out-of-range text is replaced (which reports a change of its own),
// then the slider follows the text's leading number.
void ClampIntoSlider(Form& form, const char* edit, const char* slider, int low) {
    if (ParseLeadingInt(form.Text(edit)) > 100) form.SetEditText(edit, "100");
    if (ParseLeadingInt(form.Text(edit)) < low) form.SetEditText(edit, std::to_string(low));
    form.SetSliderPos(slider, ParseLeadingInt(form.Text(edit)));
}

}  // namespace

void RunJpgQualityDialog() {
    Form form;
    const auto onChange = [&form](const char* edit, const char* slider, int low) {
        return [&form, edit, slider, low](const ControlEvent& event) {
            if (event.code == kEventDefault) ClampIntoSlider(form, edit, slider, low);
        };
    };
    const auto onSlide = [&form](const char* slider, const char* edit) {
        return [&form, slider, edit](const ControlEvent& event) {
            if (event.code == kEventDefault) form.SetEditText(edit, std::to_string(form.SliderPos(slider)));
        };
    };
    form.SetBuiltInHandler("JPG质量1", onChange("JPG质量1", "滑块条1", 1));
    form.SetBuiltInHandler("柔化", onChange("柔化", "滑块条2", 0));
    form.SetBuiltInHandler("滑块条1", onSlide("滑块条1", "JPG质量1"));
    form.SetBuiltInHandler("滑块条2", onSlide("滑块条2", "柔化"));
    form.SetBuiltInHandler("确定按钮", [&form](const ControlEvent& event) {
        if (event.code != kEventDefault) return;
        AppSettings& settings = App().settings;
        settings.jpegQuality = form.SliderPos("滑块条1");
        settings.jpegSmoothing = form.SliderPos("滑块条2");
        settings.jpegOptimize = form.Checked("优化编码");
        form.Close();
    });
    form.SetBuiltInHandler("取消按钮", [&form](const ControlEvent& event) {
        if (event.code == kEventDefault) form.Close();
    });
    form.SetDestroyHandler([&form] {
        DetachBalloonTip(form.Find("柔化"));
        DetachBalloonTip(form.Find("滑块条2"));
    });

    form.RunModal(JpgQualityDialogLayout(), [](Form& f) {
        const AppSettings& settings = App().settings;
        // Setting the texts runs the edit reactions, which also bring stored values into range.
        f.SetEditText("JPG质量1", std::to_string(settings.jpegQuality));
        f.SetSliderPos("滑块条1", settings.jpegQuality);
        f.SetEditText("柔化", std::to_string(settings.jpegSmoothing));
        f.SetSliderPos("滑块条2", settings.jpegSmoothing);
        f.SetChecked("优化编码", settings.jpegOptimize);
        AttachBalloonTip(f.Find("柔化"), kSmoothingTip);
        AttachBalloonTip(f.Find("滑块条2"), kSmoothingTip);
    });
}
