#pragma once
// Owners for the paired calls of the window code that app/win_handles.h does not cover.
#include <windows.h>
#include <unknwn.h>

#include <utility>

// BeginPaint / EndPaint.
class PaintSession {
public:
    explicit PaintSession(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
    PaintSession(const PaintSession&) = delete;
    PaintSession& operator=(const PaintSession&) = delete;
    ~PaintSession() { ::EndPaint(hwnd_, &ps_); }
    HDC dc() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// A COM interface pointer, released once.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p_) p_->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters of the creating call; the pointer must be empty.
    T** out() { return &p_; }

private:
    T* p_ = nullptr;
};

// Disables a window for the scope (the owner of a modal window) and enables it again, unless it was disabled
// before or was re-enabled early by Restore.
class WindowDisabler {
public:
    explicit WindowDisabler(HWND hwnd) : hwnd_(hwnd && ::IsWindowEnabled(hwnd) ? hwnd : nullptr) {
        if (hwnd_) ::EnableWindow(hwnd_, FALSE);
    }
    WindowDisabler(const WindowDisabler&) = delete;
    WindowDisabler& operator=(const WindowDisabler&) = delete;
    ~WindowDisabler() { Restore(); }
    void Restore() {
        if (hwnd_ && ::IsWindow(hwnd_)) ::EnableWindow(hwnd_, TRUE);
        hwnd_ = nullptr;
    }

private:
    HWND hwnd_;
};

// SetBrushOrgEx after SetStretchBltMode(HALFTONE) is required; this pairs the mode with its restore.
class ScopedStretchMode {
public:
    ScopedStretchMode(HDC dc, int mode) : dc_(dc), old_(::SetStretchBltMode(dc, mode)) {
        if (mode == HALFTONE) ::SetBrushOrgEx(dc, 0, 0, nullptr);
    }
    ScopedStretchMode(const ScopedStretchMode&) = delete;
    ScopedStretchMode& operator=(const ScopedStretchMode&) = delete;
    ~ScopedStretchMode() {
        if (old_) ::SetStretchBltMode(dc_, old_);
    }

private:
    HDC dc_;
    int old_;
};
