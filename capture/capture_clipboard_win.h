#pragma once
// The clipboard as the capture uses it. Another program may hold the clipboard open for a moment (a
// clipboard manager reading the last picture, say); the capture then waits for it, up to about a second,
// instead of losing the picture.
#include <windows.h>

constexpr int kClipboardAttempts = 20;
constexpr DWORD kClipboardRetryMs = 50;

// The clipboard, opened for the scope's lifetime after up to kClipboardAttempts tries.
class PatientClipboard {
public:
    explicit PatientClipboard(HWND owner);
    PatientClipboard(const PatientClipboard&) = delete;
    PatientClipboard& operator=(const PatientClipboard&) = delete;
    ~PatientClipboard();
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

// Opens (patiently) and empties the clipboard; false when it could not be opened.
bool EmptyCaptureClipboard();
