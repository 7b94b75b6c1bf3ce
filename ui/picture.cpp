#include "ui/picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <cstdint>
#include <cstring>

#include "ui/ui_handles.h"

namespace {

template <typename T>
T ReadLE(const std::uint8_t* p) {
    T value{};
    std::memcpy(&value, p, sizeof value);  // BMP headers are little-endian, as is every Windows target
    return value;
}

// Largest preview the program decodes: far beyond any display, small enough to allocate.
constexpr std::uint64_t kMaxPixelBytes = 512ull * 1024 * 1024;

}  // namespace

UniqueBitmap DecodePicture(const void* bytes, size_t size) {
    if (!bytes || size == 0 || size > 0x7FFFFFFF) return {};
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) return {};
    void* target = GlobalLock(block.get());
    if (!target) return {};
    std::memcpy(target, bytes, size);
    GlobalUnlock(block.get());

    ComRef<IStream> stream;
    // The stream frees the block when it is released.
    if (FAILED(CreateStreamOnHGlobal(block.get(), TRUE, stream.out()))) return {};
    block.release();
    ComRef<IPicture> picture;
    if (FAILED(OleLoadPicture(stream.get(), LONG(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(picture.out()))))
        return {};
    SHORT type = PICTYPE_NONE;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(picture->get_Handle(&handle)))
        return {};
    // The picture owns its bitmap: keep a copy of our own.
    return UniqueBitmap(static_cast<HBITMAP>(
        CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

UniqueBitmap LoadPictureResource(HMODULE module, int id) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return DecodePicture(bytes, SizeofResource(module, resource));
}

UniqueBitmap BitmapFromBmpFile(const ByteArray& image) {
    constexpr size_t kFileHeader = 14;
    constexpr size_t kInfoHeader = 40;
    const std::uint8_t* p = image.data();
    const std::uint64_t size = image.size();
    if (size < kFileHeader + kInfoHeader || p[0] != 'B' || p[1] != 'M') return {};
    const std::uint64_t bitsOffset = ReadLE<std::uint32_t>(p + 10);
    const std::uint64_t headerSize = ReadLE<std::uint32_t>(p + 14);
    const std::int32_t width = ReadLE<std::int32_t>(p + 18);
    const std::int32_t height = ReadLE<std::int32_t>(p + 22);
    const std::uint16_t planes = ReadLE<std::uint16_t>(p + 26);
    const std::uint16_t bitCount = ReadLE<std::uint16_t>(p + 28);
    const std::uint32_t compression = ReadLE<std::uint32_t>(p + 30);
    const std::uint32_t colorsUsed = ReadLE<std::uint32_t>(p + 46);
    if (headerSize < kInfoHeader || kFileHeader + headerSize > size) return {};
    if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1) return {};
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return {};
    const bool bitfields = compression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32);
    if (compression != BI_RGB && !bitfields) return {};
    std::uint64_t paletteEntries = 0;
    if (bitCount <= 8) {
        paletteEntries = colorsUsed ? colorsUsed : (1u << bitCount);
        if (paletteEntries > (1u << bitCount)) return {};
    }
    const std::uint64_t maskBytes = bitfields && headerSize == kInfoHeader ? 12 : 0;
    const std::uint64_t tableOffset = kFileHeader + headerSize;
    if (tableOffset + maskBytes + paletteEntries * 4 > size) return {};

    const std::uint64_t rows = height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height);
    const std::uint64_t stride = ((std::uint64_t(width) * bitCount + 31) / 32) * 4;
    const std::uint64_t pixelBytes = stride * rows;
    if (pixelBytes > kMaxPixelBytes || bitsOffset > size || pixelBytes > size - bitsOffset) return {};

    // BITMAPINFO with room for the masks or a full palette, built from the validated fields only.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = bitCount;
    info.header.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
    info.header.biClrUsed = DWORD(paletteEntries);
    if (bitfields) {
        // The masks follow a 40-byte header, or sit inside a larger (V4/V5) one at the same place.
        std::memcpy(info.colors, p + kFileHeader + kInfoHeader, 12);
    } else if (paletteEntries) {
        std::memcpy(info.colors, p + tableOffset, size_t(paletteEntries * 4));
    }

    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                         nullptr, 0));
    if (!bitmap || !bits) return {};
    std::memcpy(bits, p + bitsOffset, size_t(pixelBytes));
    return bitmap;
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

void DrawBitmap(HDC dc, HBITMAP bitmap, const RECT& dest, bool halftone) {
    const SIZE size = BitmapSize(bitmap);
    if (size.cx <= 0 || size.cy <= 0) return;
    UniqueDC source(CreateCompatibleDC(dc));
    if (!source) return;
    ScopedSelect select(source.get(), bitmap);
    const int width = dest.right - dest.left;
    const int height = dest.bottom - dest.top;
    if (width == size.cx && height == size.cy) {
        BitBlt(dc, dest.left, dest.top, width, height, source.get(), 0, 0, SRCCOPY);
        return;
    }
    ScopedStretchMode mode(dc, halftone ? HALFTONE : COLORONCOLOR);
    StretchBlt(dc, dest.left, dest.top, width, height, source.get(), 0, 0, size.cx, size.cy, SRCCOPY);
}

bool DisplayHasMoreThan16Bits() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return true;
    return mode.dmBitsPerPel > 16;
}
