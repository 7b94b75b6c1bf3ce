#include "ui/about_page.h"

#include <shellapi.h>

#include <cstring>

#include "app/win_handles.h"

std::string ThreadPageAddress() { return std::string(kSiteHost) + kThreadPath; }

std::string SupporterPageAddress(int index) {
    return std::string(kSiteHost) + kForumHomePath + "?fromuid=" + std::to_string(kSupporterReferrals[index == 0 ? 0 : 1]);
}

void OpenWebPage(const std::string& address) {
    HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
    ShellExecuteA(owner, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CopyContactAddress() {
    {
        ClipboardSession clipboard(nullptr);
        if (clipboard.IsOpen()) {
            EmptyClipboard();
            const size_t length = std::strlen(kContactAddress);
            UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1));
            if (block) {
                if (void* bytes = GlobalLock(block.get())) {
                    std::memcpy(bytes, kContactAddress, length);  // the zero fill is the terminator
                    GlobalUnlock(block.get());
                    // From here the clipboard owns the block.
                    if (SetClipboardData(CF_TEXT, block.get())) block.release();
                }
            }
        }
    }
    // Shown whatever happened above: another program may hold the clipboard, and the user is told the same.
    MessageBoxA(nullptr, "邮箱地址已经复制到剪贴板。", "信息：", MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
}
