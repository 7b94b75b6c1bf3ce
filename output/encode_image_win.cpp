#include "output/encode_image.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include "app/win_handles.h"
#include "imaging/cdib.h"
#include "output/gif_writer.h"

namespace {

// gdiplus.dll is loaded on first use and its flat API called through pointers, so the program starts
// (and saves every other format) on a system without it. Only the few entry points used here are
// declared; the types follow GdiPlusFlat.h.
using GpStatus = int;
struct GpImage;
struct GdiplusStartupInputV1 {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};
using GdiplusStartupFn = GpStatus(WINAPI*)(ULONG_PTR* token, const GdiplusStartupInputV1* input, void* output);
using GdiplusShutdownFn = void(WINAPI*)(ULONG_PTR token);
using GdipCreateBitmapFromStreamFn = GpStatus(WINAPI*)(IStream* stream, GpImage** bitmap);
using GdipSaveImageToStreamFn = GpStatus(WINAPI*)(GpImage* image, IStream* stream, const CLSID* encoder,
                                                  const void* parameters);
using GdipDisposeImageFn = GpStatus(WINAPI*)(GpImage* image);

struct GdiplusApi {
    GdiplusStartupFn startup = nullptr;
    GdiplusShutdownFn shutdown = nullptr;
    GdipCreateBitmapFromStreamFn createBitmapFromStream = nullptr;
    GdipSaveImageToStreamFn saveImageToStream = nullptr;
    GdipDisposeImageFn disposeImage = nullptr;
    bool Complete() const {
        return startup && shutdown && createBitmapFromStream && saveImageToStream && disposeImage;
    }
};

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
    // Through void(*)(), the one function type GCC lets a FARPROC become without a cast warning.
    fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Looked up once; the module stays loaded for the rest of the process, as the program may encode again.
const GdiplusApi& Gdiplus() {
    static const GdiplusApi api = [] {
        GdiplusApi a;
        if (HMODULE module = LoadLibraryA("gdiplus.dll")) {
            Bind(module, "GdiplusStartup", a.startup);
            Bind(module, "GdiplusShutdown", a.shutdown);
            Bind(module, "GdipCreateBitmapFromStream", a.createBitmapFromStream);
            Bind(module, "GdipSaveImageToStream", a.saveImageToStream);
            Bind(module, "GdipDisposeImage", a.disposeImage);
            if (!a.Complete()) a = GdiplusApi{};
        }
        return a;
    }();
    return api;
}

// GdiplusStartup ... GdiplusShutdown for the length of one encoding.
class GdiplusSession {
public:
    explicit GdiplusSession(const GdiplusApi& api) : api_(api) {
        const GdiplusStartupInputV1 input{1, nullptr, FALSE, FALSE};
        api_.startup(&token_, &input, nullptr);
    }
    ~GdiplusSession() {
        if (token_ != 0) api_.shutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

private:
    const GdiplusApi& api_;
    ULONG_PTR token_ = 0;
};

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, ComReleaser>;

// GlobalLock ... GlobalUnlock.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
    ~GlobalLockGuard() {
        if (data_ != nullptr) GlobalUnlock(block_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    void* Data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

// A GDI+ image, disposed through the same API that made it.
class GdiplusImage {
public:
    GdiplusImage(const GdiplusApi& api, GpImage* image) : api_(api), image_(image) {}
    ~GdiplusImage() {
        if (image_ != nullptr) api_.disposeImage(image_);
    }
    GdiplusImage(const GdiplusImage&) = delete;
    GdiplusImage& operator=(const GdiplusImage&) = delete;
    GpImage* Get() const { return image_; }

private:
    const GdiplusApi& api_;
    GpImage* image_;
};

// Microsoft's published class identifiers of the built-in GDI+ encoders, by format code.
const char* EncoderClsidText(int formatCode) {
    switch (formatCode) {
        case kEncodeBmp: return "{557CF400-1A04-11D3-9A73-0000F81EF32E}";
        case kEncodeJpeg: return "{557CF401-1A04-11D3-9A73-0000F81EF32E}";
        case kEncodeGif: return "{557CF402-1A04-11D3-9A73-0000F81EF32E}";
        case kEncodeTiff: return "{557CF405-1A04-11D3-9A73-0000F81EF32E}";
        case kEncodePng: return "{557CF406-1A04-11D3-9A73-0000F81EF32E}";
        default: return nullptr;
    }
}

// An IStream over a copy of `input` that owns (and on release frees) its memory block; null on failure.
StreamPtr StreamOverCopy(const ByteArray& input) {
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, input.size()));
    if (!block) return nullptr;
    IStream* raw = nullptr;
    CreateStreamOnHGlobal(block.get(), TRUE, &raw);
    if (raw == nullptr) return nullptr;  // the block is still ours and freed here
    StreamPtr stream(raw);
    const HGLOBAL owned = block.release();  // now the stream's
    GlobalLockGuard lock(owned);
    if (lock.Data() == nullptr) return nullptr;
    std::memcpy(lock.Data(), input.data(), input.size());
    return stream;
}

// The GDI+ encoding itself. Status codes are not examined: a failed step leaves its object empty and
// the later steps then produce nothing.
ByteArray EncodeWithGdiplus(const GdiplusApi& api, const ByteArray& input, const char* clsidText) {
    const GdiplusSession session(api);

    wchar_t clsidWide[64] = {};
    MultiByteToWideChar(CP_ACP, 0, clsidText, -1, clsidWide, int(std::size(clsidWide)));
    CLSID encoder{};
    CLSIDFromString(clsidWide, &encoder);

    // Declared in the reverse of the release order: image, input stream, output stream.
    StreamPtr output;
    StreamPtr inputStream = StreamOverCopy(input);
    GpImage* decoded = nullptr;
    if (inputStream) api.createBitmapFromStream(inputStream.get(), &decoded);
    const GdiplusImage bitmap(api, decoded);

    IStream* rawOutput = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &rawOutput);
    output.reset(rawOutput);
    if (!output || bitmap.Get() == nullptr) return {};
    api.saveImageToStream(bitmap.Get(), output.get(), &encoder, nullptr);

    HGLOBAL block = nullptr;
    GetHGlobalFromStream(output.get(), &block);
    const GlobalLockGuard lock(block);
    if (lock.Data() == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(lock.Data());
    return ByteArray(bytes, bytes + GlobalSize(block));
}

// The GIF's logical screen size as its header states it; {0, 0} when there is no header.
std::pair<int, int> GifScreenSize(const ByteArray& gif) {
    if (gif.size() < 10) return {0, 0};
    return {gif[6] | (gif[7] << 8), gif[8] | (gif[9] << 8)};
}

}  // namespace

ByteArray EncodeImage(const ByteArray& input, int formatCode) {
    if (input.empty()) return {};
    const char* clsidText = EncoderClsidText(formatCode);
    if (clsidText == nullptr) return {};

    const GdiplusApi& api = Gdiplus();
    ByteArray encoded = api.Complete() ? EncodeWithGdiplus(api, input, clsidText) : ByteArray{};
    if (formatCode != kEncodeGif) return encoded;

    // A GIF must show the whole picture. Wine's GDI+ (8.x) writes the 24-byte header and no image at
    // all, and gdiplus.dll may be missing: then giflib encodes it instead. The size to check comes from
    // the BMP; an input CDIB cannot read (another format GDI+ understood) is checked against the size
    // its own GIF states.
    CDIB source;
    const bool isBmp = source.LoadBmpData(input);
    const auto [width, height] = isBmp ? std::pair{source.Width(), source.Height()} : GifScreenSize(encoded);
    if (IsCompleteGif(encoded, width, height)) return encoded;
    return isBmp ? EncodeBmpAsGif(input) : ByteArray{};
}
