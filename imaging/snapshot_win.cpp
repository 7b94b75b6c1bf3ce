#include "imaging/snapshot_win.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "app/win_handles.h"
#include "capture/capture_clipboard_win.h"
#include "capture/capture_geometry.h"
#include "imaging/safe_file_write.h"

namespace {

// Room for the largest colour table GetDIBits may write behind the header (256 entries, or three masks).
struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// Pixel buffers above this are refused rather than attempted: 8 bytes × a 16384² screen is far beyond any
// display, and the file header's size field is 32 bits anyway.
constexpr std::uint64_t kMaxPixelBytes = std::numeric_limits<std::uint32_t>::max() - 1024;

// The display's pixels inside the clamped area as a device-dependent bitmap; null when nothing is left.
UniqueBitmap Grab(const RECT* requested) {
    RECT area{};
    if (requested)
        area = *requested;
    else
        GetWindowRect(GetDesktopWindow(), &area);
    if (IsRectEmpty(&area)) return UniqueBitmap();

    UniqueDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return UniqueBitmap();
    UniqueDC memory(CreateCompatibleDC(display.get()));
    if (!memory) return UniqueBitmap();

    const auto clamped = ClampToDisplay({area.left, area.top, area.right, area.bottom},
                                        GetDeviceCaps(display.get(), HORZRES), GetDeviceCaps(display.get(), VERTRES));
    if (!clamped) return UniqueBitmap();
    const int width = clamped->right - clamped->left;
    const int height = clamped->bottom - clamped->top;

    UniqueBitmap bitmap(CreateCompatibleBitmap(display.get(), width, height));
    if (!bitmap) return UniqueBitmap();
    {
        ScopedSelect select(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, display.get(), clamped->left, clamped->top, SRCCOPY);
    }
    return bitmap;
}

// A logical palette of the system palette's first 255 entries, for palette-based displays.
UniqueGdiObject SystemPaletteCopy(HDC dc) {
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[255];
    } palette{0x300, 255, {}};
    GetSystemPaletteEntries(dc, 0, 255, palette.entries);
    return UniqueGdiObject(CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette)));
}

// A palette selected and realised into a DC for the scope's lifetime.
class ScopedPalette {
public:
    ScopedPalette(HDC dc, HPALETTE palette) : dc_(dc), old_(SelectPalette(dc, palette, FALSE)) { RealizePalette(dc); }
    ScopedPalette(const ScopedPalette&) = delete;
    ScopedPalette& operator=(const ScopedPalette&) = delete;
    ~ScopedPalette() {
        if (old_) SelectPalette(dc_, old_, FALSE);
    }

private:
    HDC dc_;
    HPALETTE old_;
};

ByteArray HeaderBytes(const BITMAPINFOHEADER& header) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&header);
    return ByteArray(p, p + sizeof header);
}

ByteArray ToBmpBytes(HBITMAP bitmap) {
    WindowDC screen(nullptr);
    if (!screen.get()) return {};
    UniqueGdiObject systemPalette;
    if (GetDeviceCaps(screen.get(), RASTERCAPS) & RC_PALETTE) systemPalette = SystemPaletteCopy(screen.get());
    const HPALETTE palette =
        systemPalette ? static_cast<HPALETTE>(systemPalette.get()) : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    ScopedPalette selected(screen.get(), palette);

    BITMAP bm{};
    if (!GetObjectA(bitmap, sizeof bm, &bm)) return {};
    DibInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = bm.bmWidth;
    info.header.biHeight = bm.bmHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = 24;
    info.header.biCompression = BI_RGB;
    auto* bmi = reinterpret_cast<BITMAPINFO*>(&info);
    if (!GetDIBits(screen.get(), bitmap, 0, UINT(bm.bmHeight), nullptr, bmi, DIB_RGB_COLORS)) return {};

    const std::uint64_t computed = DibRowBytes(bm.bmWidth, 24) * std::uint64_t(bm.bmHeight);
    const std::uint64_t size = info.header.biSizeImage != 0 ? info.header.biSizeImage : computed;
    if (size < computed || size > kMaxPixelBytes) return {};
    std::vector<std::uint8_t> pixels(std::size_t(size), 0);
    if (GetDIBits(screen.get(), bitmap, 0, UINT(bm.bmHeight), pixels.data(), bmi, DIB_RGB_COLORS) !=
        bm.bmHeight)
        return {};

    // The documented layout: only width, height, planes, depth, compression and image size are set.
    info.header.biXPelsPerMeter = info.header.biYPelsPerMeter = 0;
    info.header.biClrUsed = info.header.biClrImportant = 0;
    return BuildBmpFileImage(HeaderBytes(info.header), {}, pixels);
}

bool ToClipboardBitmap(UniqueBitmap bitmap) {
    PatientClipboard clipboard(nullptr);
    if (!clipboard.IsOpen()) return false;
    EmptyClipboard();
    if (!SetClipboardData(CF_BITMAP, bitmap.get())) return false;
    bitmap.release();  // the clipboard owns it now
    return true;
}

bool ToBmpFile(HBITMAP bitmap, const std::string& path) {
    WindowDC screen(nullptr);
    if (!screen.get() || path.empty()) return false;
    const int displayBits = GetDeviceCaps(screen.get(), PLANES) * GetDeviceCaps(screen.get(), BITSPIXEL);
    const int bits = displayBits <= 1 ? 1 : displayBits <= 4 ? 4 : displayBits <= 8 ? 8 : 24;

    BITMAP bm{};
    if (!GetObjectA(bitmap, sizeof bm, &bm)) return false;
    DibInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = bm.bmWidth;
    info.header.biHeight = bm.bmHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(bits);
    info.header.biCompression = BI_RGB;
    const std::uint64_t size = DibRowBytes(bm.bmWidth, bits) * std::uint64_t(bm.bmHeight);
    if (size == 0 || size > kMaxPixelBytes) return false;
    info.header.biSizeImage = DWORD(size);
    std::vector<std::uint8_t> pixels(std::size_t(size), 0);
    {
        ScopedPalette selected(screen.get(), static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
        if (GetDIBits(screen.get(), bitmap, 0, UINT(bm.bmHeight), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS) != bm.bmHeight)
            return false;
    }
    const std::size_t tableBytes = DibColorTableEntries(bits, 0) * sizeof(RGBQUAD);
    info.header.biClrUsed = info.header.biClrImportant = 0;
    const auto* table = reinterpret_cast<const std::uint8_t*>(info.colours);
    const ByteArray image = BuildBmpFileImage(HeaderBytes(info.header), {table, tableBytes}, pixels);
    if (image.empty()) return false;

    AtomicFileWriter writer;
    FILE* file = writer.Open(path);
    if (!file || std::fwrite(image.data(), 1, image.size(), file) != image.size()) return false;
    return writer.Commit();
}

}  // namespace

SnapshotResult TakeSnapshot(const RECT* area, int destination, const std::string& filePath) {
    SnapshotResult result;
    UniqueBitmap bitmap = Grab(area);
    if (!bitmap) return result;
    switch (destination) {
        case ToClipboard:
            result.ok = ToClipboardBitmap(std::move(bitmap));
            break;
        case ToBytes:
            result.bytes = ToBmpBytes(bitmap.get());
            result.ok = !result.bytes.empty();
            break;
        default:
            result.ok = ToBmpFile(bitmap.get(), filePath);
            break;
    }
    return result;
}
