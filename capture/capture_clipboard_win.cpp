#include "capture/capture_clipboard_win.h"

PatientClipboard::PatientClipboard(HWND owner) {
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        if (OpenClipboard(owner)) {
            open_ = true;
            return;
        }
        if (attempt + 1 < kClipboardAttempts) Sleep(kClipboardRetryMs);
    }
}

PatientClipboard::~PatientClipboard() {
    if (open_) CloseClipboard();
}

bool EmptyCaptureClipboard() {
    PatientClipboard clipboard(nullptr);
    if (!clipboard.IsOpen()) return false;
    EmptyClipboard();
    return true;
}
