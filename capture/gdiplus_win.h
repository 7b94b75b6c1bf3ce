#pragma once
// The part of GDI+'s flat API that the freehand pen uses, loaded from gdiplus.dll at run time so that a
// system without it still captures (the pen trail is then simply not drawn). Every object is owned by a
// small move-only type; objects must die before the Session that started GDI+.
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <utility>

namespace gdiplus {

struct GpImage;
struct GpGraphics;
using Argb = std::uint32_t;

// True when gdiplus.dll and every entry point used here were found.
bool Available();

// One GdiplusStartup ... GdiplusShutdown bracket.
class Session {
public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    Session(Session&& o) noexcept : token_(std::exchange(o.token_, 0)) {}
    Session& operator=(Session&& o) noexcept {
        if (this != &o) {
            Shutdown();
            token_ = std::exchange(o.token_, 0);
        }
        return *this;
    }
    ~Session() { Shutdown(); }
    // Starts GDI+ (version 1, no debug callback, its background thread on, no external codecs).
    static Session Start();
    explicit operator bool() const { return token_ != 0; }
    void Shutdown();

private:
    ULONG_PTR token_ = 0;
};

class Image {
public:
    Image() = default;
    explicit Image(GpImage* image) : image_(image) {}
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&& o) noexcept : image_(std::exchange(o.image_, nullptr)) {}
    Image& operator=(Image&& o) noexcept {
        if (this != &o) {
            reset();
            image_ = std::exchange(o.image_, nullptr);
        }
        return *this;
    }
    ~Image() { reset(); }
    GpImage* get() const { return image_; }
    explicit operator bool() const { return image_ != nullptr; }
    void reset();  // GdipDisposeImage

private:
    GpImage* image_ = nullptr;
};

class Graphics {
public:
    Graphics() = default;
    explicit Graphics(GpGraphics* graphics) : graphics_(graphics) {}
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;
    Graphics(Graphics&& o) noexcept : graphics_(std::exchange(o.graphics_, nullptr)) {}
    Graphics& operator=(Graphics&& o) noexcept {
        if (this != &o) {
            reset();
            graphics_ = std::exchange(o.graphics_, nullptr);
        }
        return *this;
    }
    ~Graphics() { reset(); }
    GpGraphics* get() const { return graphics_; }
    explicit operator bool() const { return graphics_ != nullptr; }
    void reset();  // GdipDeleteGraphics

private:
    GpGraphics* graphics_ = nullptr;
};

// Decodes an image from a stream; the stream must stay alive as long as the image.
Image LoadImageFromStream(IStream* stream);
Graphics GraphicsFromHdc(HDC dc);
bool GetPixel(const Image& bitmap, int x, int y, Argb& colour);
bool SetPixel(const Image& bitmap, int x, int y, Argb colour);
// Draws the image unscaled with its top-left corner at (x, y), blending by its alpha channel.
void DrawImage(const Graphics& graphics, const Image& image, int x, int y);

}  // namespace gdiplus
