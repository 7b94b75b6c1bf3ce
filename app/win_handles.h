#pragma once
// Small owners for Win32 and GDI objects, so every path releases what it created.
#include <windows.h>

#include <utility>

template <typename T, auto Release, T Invalid = T{}>
class UniqueWin {
public:
    UniqueWin() = default;
    explicit UniqueWin(T value) : value_(value) {}
    UniqueWin(const UniqueWin&) = delete;
    UniqueWin& operator=(const UniqueWin&) = delete;
    UniqueWin(UniqueWin&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    UniqueWin& operator=(UniqueWin&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Invalid));
        return *this;
    }
    ~UniqueWin() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        if (value_ != Invalid) Release(value_);
        value_ = value;
    }

private:
    T value_ = Invalid;
};

namespace win_detail {
inline void CloseHandleFn(HANDLE h) { ::CloseHandle(h); }
inline void DestroyIconFn(HICON h) { ::DestroyIcon(h); }
inline void DestroyMenuFn(HMENU h) { ::DestroyMenu(h); }
inline void DeleteObjectFn(HGDIOBJ h) { ::DeleteObject(h); }
inline void DeleteBitmapFn(HBITMAP h) { ::DeleteObject(h); }
inline void DeleteDCFn(HDC h) { ::DeleteDC(h); }
inline void FreeLibraryFn(HMODULE h) { ::FreeLibrary(h); }
inline void DestroyWindowFn(HWND h) { ::DestroyWindow(h); }
inline void GlobalFreeFn(HGLOBAL h) { ::GlobalFree(h); }
inline void FindCloseFn(HANDLE h) { ::FindClose(h); }
}  // namespace win_detail

using UniqueHandle = UniqueWin<HANDLE, win_detail::CloseHandleFn>;
using UniqueIcon = UniqueWin<HICON, win_detail::DestroyIconFn>;
using UniqueMenu = UniqueWin<HMENU, win_detail::DestroyMenuFn>;
using UniqueGdiObject = UniqueWin<HGDIOBJ, win_detail::DeleteObjectFn>;
using UniqueBitmap = UniqueWin<HBITMAP, win_detail::DeleteBitmapFn>;
using UniqueDC = UniqueWin<HDC, win_detail::DeleteDCFn>;
using UniqueModule = UniqueWin<HMODULE, win_detail::FreeLibraryFn>;
using UniqueWindow = UniqueWin<HWND, win_detail::DestroyWindowFn>;
using UniqueGlobal = UniqueWin<HGLOBAL, win_detail::GlobalFreeFn>;

// A file handle, whose invalid value is INVALID_HANDLE_VALUE rather than null.
class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) : h_(h) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    UniqueFile(UniqueFile&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
    UniqueFile& operator=(UniqueFile&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    ~UniqueFile() { reset(); }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }
    void reset() {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A DC from GetDC, released to its window.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC for the scope's lifetime.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// The clipboard, opened for the scope's lifetime.
class ClipboardSession {
public:
    explicit ClipboardSession(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    ~ClipboardSession() {
        if (open_) ::CloseClipboard();
    }
    bool IsOpen() const { return open_; }

private:
    bool open_;
};
