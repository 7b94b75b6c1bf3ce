#pragma once
// CDIB: one device-independent bitmap held in memory as a packed DIB.
//
// Ownership and layout: the object owns one heap block laid out exactly as Windows expects a packed
// DIB: a 40-byte BITMAPINFOHEADER (biPlanes 1, BI_RGB), the colour table as 4-byte entries
// (blue, green, red, 0), then the pixel rows, stride bytes each, stored bottom-up. The block holds
// exactly stride x height pixel bytes whatever the loaded file carried (see LoadBmpData). No block
// means the object is empty.
//
// Colours cross the interface as COLORREF (0x00BBGGRR). Depth reduction maps every pixel to the
// nearest entry of a fixed palette with GDI's GetNearestPaletteIndex rule (NearestPaletteIndex
// below), without dithering.
//
// Failures never leave an operation: each one stores a GBK message in LastError() and signals
// through its result (false, an empty CDIB, an empty ByteArray, colour 0).
//
// This header never includes windows.h; CreateBitmap exists only in the Windows build.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/image_types.h"

#ifdef _WIN32
// The handle structs behind HDC and HBITMAP in a STRICT build (the MinGW default), so that the
// portable header need not see windows.h.
struct HDC__;
struct HBITMAP__;
#endif

// One palette colour; the reserved byte of the file's RGBQUAD is not kept.
struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// GDI's GetNearestPaletteIndex over an RGB table (of at most 256 entries; more are not looked at):
// the entry with the smallest sum of squared channel differences, the lowest index among equals.
// Returns 0 for an empty table. The flag byte of the COLORREF is ignored.
std::uint8_t NearestPaletteIndex(const Rgb* table, int count, ColorRef colour);

// The colour table every 1-, 4- or 8-bit bitmap made by Create receives; empty for other depths.
std::span<const Rgb> FixedPalette(int bits);

// Same answer as NearestPaletteIndex over FixedPalette(bits), through a table prepared once per
// process, so converting a whole frame costs a few instructions per pixel. bits is 1, 4 or 8.
std::uint8_t NearestFixedPaletteIndex(int bits, ColorRef colour);

// Conversions use the processor's AVX2 unit for the bulk of each row when it has one (the default).
// The portable loops give the same bytes; tests turn the vector ones off to prove it.
void EnableVectorConversion(bool enabled);

class CDIB {
public:
    // Create() without a fill colour.
    static constexpr ColorRef kNoFill = 0xFFFFFFFFu;

    CDIB();
    virtual ~CDIB();
    CDIB(CDIB&&) noexcept;
    CDIB& operator=(CDIB&&) noexcept;
    // Frames are tens of megabytes: copies are explicit, through ChangeBitDepth(BitCount()).
    CDIB(const CDIB&) = delete;
    CDIB& operator=(const CDIB&) = delete;

    virtual ColorRef GetPixel(int x, int y) const;
    virtual PixelRect GetRect() const;
#ifdef _WIN32
    struct BitmapDeleter {
        void operator()(HBITMAP__* bitmap) const;
    };
    using BitmapHandle = std::unique_ptr<HBITMAP__, BitmapDeleter>;
    // A device-dependent bitmap for hdc made from this one; null when empty or when GDI refuses.
    virtual BitmapHandle CreateBitmap(HDC__* hdc) const;
#endif

    // Replaces the bitmap with the one in a whole BMP file image. On false the object is empty.
    // Pixel data shorter than the rows need is completed with zeros (the missing top rows read as
    // black) rather than refused; sizes of 0 or above 65535, negative (top-down) heights and more
    // than 1 GiB of rows are refused.
    bool LoadBmpData(const ByteArray& data);
    // A new bitmap at the given depth (1, 4, 8, 16, 24 or 32); empty on failure, whose message goes
    // to this object's LastError().
    CDIB ChangeBitDepth(std::int16_t bits) const;
    // The whole BMP file image; empty on failure.
    ByteArray GetBmpData() const;
    // Replaces the bitmap with a new one, palette depths getting their fixed palette, all pixels
    // zero (palette index 0, black) unless fill is given. Empty on failure.
    void Create(int width, int height, int bits, ColorRef fill = kNoFill);

    // (0, 0) is the top-left pixel.
    void SetPixel(int x, int y, ColorRef colour);
    void SetPixelIndex(int x, int y, int index);

    bool IsEmpty() const { return block_ == nullptr; }
    int Width() const;
    int Height() const;
    int BitCount() const;
    std::size_t Stride() const;
    // Pixel row y, y = 0 being the top row; null when empty or y is outside the bitmap.
    const std::uint8_t* Row(int y) const;
    // The colour table (biClrUsed entries when that is set, else the depth's 2, 16 or 256).
    std::vector<Rgb> ColorTable() const;
    const std::string& LastError() const { return lastError_; }

private:
    std::uint8_t* Pixels() const;
    std::size_t ColorCount() const;
    void Release();
    void AllocateFor(int width, int height, int bits, bool zeroed);
    void CopyFixedPalette();
    void CheckPixel(int x, int y) const;
    std::uint8_t* PixelRowForWrite(int y) const;
    void ConvertInto(CDIB& target) const;

    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t blockSize_ = 0;
    // Set while the colour table is the fixed palette of this depth: SetPixel then takes the
    // prepared nearest-colour table instead of a search.
    bool fixedPalette_ = false;
    mutable std::string lastError_;
};
