#include "capture/gdiplus_win.h"

namespace gdiplus {

namespace {

using Status = int;
constexpr Status kOk = 0;
struct GpBitmap;

struct StartupInput {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};

struct Api {
    Status(WINAPI* startup)(ULONG_PTR*, const StartupInput*, void*) = nullptr;
    void(WINAPI* shutdown)(ULONG_PTR) = nullptr;
    Status(WINAPI* loadImageFromStream)(IStream*, GpImage**) = nullptr;
    Status(WINAPI* disposeImage)(GpImage*) = nullptr;
    Status(WINAPI* bitmapGetPixel)(GpBitmap*, INT, INT, Argb*) = nullptr;
    Status(WINAPI* bitmapSetPixel)(GpBitmap*, INT, INT, Argb) = nullptr;
    Status(WINAPI* createFromHdc)(HDC, GpGraphics**) = nullptr;
    Status(WINAPI* deleteGraphics)(GpGraphics*) = nullptr;
    Status(WINAPI* drawImageI)(GpGraphics*, GpImage*, INT, INT) = nullptr;

    bool Complete() const {
        return startup && shutdown && loadImageFromStream && disposeImage && bitmapGetPixel && bitmapSetPixel &&
               createFromHdc && deleteGraphics && drawImageI;
    }
};

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
    // Through void(*)(), the one function type GCC lets a FARPROC become without a cast warning.
    fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Looked up once; the module stays loaded for the rest of the process, as every capture starts GDI+ again.
const Api& Gdiplus() {
    static const Api api = [] {
        Api a;
        if (HMODULE module = LoadLibraryA("gdiplus.dll")) {
            Bind(module, "GdiplusStartup", a.startup);
            Bind(module, "GdiplusShutdown", a.shutdown);
            Bind(module, "GdipLoadImageFromStream", a.loadImageFromStream);
            Bind(module, "GdipDisposeImage", a.disposeImage);
            Bind(module, "GdipBitmapGetPixel", a.bitmapGetPixel);
            Bind(module, "GdipBitmapSetPixel", a.bitmapSetPixel);
            Bind(module, "GdipCreateFromHDC", a.createFromHdc);
            Bind(module, "GdipDeleteGraphics", a.deleteGraphics);
            Bind(module, "GdipDrawImageI", a.drawImageI);
        }
        return a.Complete() ? a : Api{};
    }();
    return api;
}

GpBitmap* AsBitmap(GpImage* image) { return reinterpret_cast<GpBitmap*>(image); }

}  // namespace

bool Available() { return Gdiplus().Complete(); }

Session Session::Start() {
    Session session;
    if (!Available()) return session;
    const StartupInput input{1, nullptr, FALSE, FALSE};
    ULONG_PTR token = 0;
    if (Gdiplus().startup(&token, &input, nullptr) == kOk) session.token_ = token;
    return session;
}

void Session::Shutdown() {
    if (token_ != 0) Gdiplus().shutdown(std::exchange(token_, 0));
}

void Image::reset() {
    if (image_) Gdiplus().disposeImage(std::exchange(image_, nullptr));
}

void Graphics::reset() {
    if (graphics_) Gdiplus().deleteGraphics(std::exchange(graphics_, nullptr));
}

Image LoadImageFromStream(IStream* stream) {
    GpImage* image = nullptr;
    if (!Available() || !stream || Gdiplus().loadImageFromStream(stream, &image) != kOk) return Image();
    return Image(image);
}

Graphics GraphicsFromHdc(HDC dc) {
    GpGraphics* graphics = nullptr;
    if (!Available() || !dc || Gdiplus().createFromHdc(dc, &graphics) != kOk) return Graphics();
    return Graphics(graphics);
}

bool GetPixel(const Image& bitmap, int x, int y, Argb& colour) {
    return bitmap && Gdiplus().bitmapGetPixel(AsBitmap(bitmap.get()), x, y, &colour) == kOk;
}

bool SetPixel(const Image& bitmap, int x, int y, Argb colour) {
    return bitmap && Gdiplus().bitmapSetPixel(AsBitmap(bitmap.get()), x, y, colour) == kOk;
}

void DrawImage(const Graphics& graphics, const Image& image, int x, int y) {
    if (graphics && image) Gdiplus().drawImageI(graphics.get(), image.get(), x, y);
}

}  // namespace gdiplus
