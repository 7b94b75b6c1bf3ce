#include "ui/balloon_tip.h"

#include <commctrl.h>

#include "app/win_handles.h"

namespace {

UniqueWindow& TipWindow() {
    static UniqueWindow window;
    return window;
}

TTTOOLINFOA ToolFor(HWND control) {
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_CENTERTIP | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

}  // namespace

HWND BalloonTipWindow() { return TipWindow().get(); }

void AttachBalloonTip(HWND control, const char* text) {
    if (!control) return;
    UniqueWindow& tips = TipWindow();
    if (!tips || !IsWindow(tips.get())) {
        tips.release();
        tips.reset(CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr));
        if (!tips) return;
    }
    TTTOOLINFOA tool = ToolFor(control);
    // One tool per control: a second tool with the same id would never be the one that shows.
    SendMessageA(tips.get(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    tool.lpszText = const_cast<char*>(text ? text : "");
    SendMessageA(tips.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    // Wider than any screen, so only the text's own line breaks wrap it.
    SendMessageA(tips.get(), TTM_SETMAXTIPWIDTH, 0, 32767);
}

void DetachBalloonTip(HWND control) {
    HWND tips = TipWindow().get();
    if (!control || !tips || !IsWindow(tips)) return;
    TTTOOLINFOA tool = ToolFor(control);
    SendMessageA(tips, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}
