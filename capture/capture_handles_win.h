#pragma once
// Owners for the few kinds the capture code holds beyond app/win_handles.h: COM interfaces, the bitmaps
// GetIconInfo hands out, and a window procedure put in front of a window's own one.
#include <windows.h>
#include <unknwn.h>

#include <utility>

// One reference to a COM interface.
template <typename T>
class UniqueCom {
public:
    UniqueCom() = default;
    explicit UniqueCom(T* p) : p_(p) {}
    UniqueCom(const UniqueCom&) = delete;
    UniqueCom& operator=(const UniqueCom&) = delete;
    UniqueCom(UniqueCom&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    UniqueCom& operator=(UniqueCom&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ~UniqueCom() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases the current reference first.
    T** put() {
        reset();
        return &p_;
    }
    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

// The mask and colour bitmaps that GetIconInfo creates for its caller.
class IconInfoBitmaps {
public:
    explicit IconInfoBitmaps(ICONINFO& info) : info_(info) {}
    IconInfoBitmaps(const IconInfoBitmaps&) = delete;
    IconInfoBitmaps& operator=(const IconInfoBitmaps&) = delete;
    ~IconInfoBitmaps() { Free(); }
    void Free() {
        if (info_.hbmMask) DeleteObject(info_.hbmMask);
        if (info_.hbmColor) DeleteObject(info_.hbmColor);
        info_.hbmMask = info_.hbmColor = nullptr;
    }

private:
    ICONINFO& info_;
};
