// Fuzzes CDIB the way the program uses it: bytes -> LoadBmpData -> ChangeBitDepth(24, 16, 8, 4) ->
// GetBmpData, and checks what must hold for any input: exports have the size their header implies
// and load back unchanged, conversions keep the size, and converted pixels are what GetPixel of the
// source says (24 bits), its 5-5-5 truncation (16 bits) or its nearest palette entry (8, 4 bits).
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "imaging/cdib.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "cdib_fuzz: %s\n", what);
        std::abort();
    }
}

std::uint32_t Get32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t Get16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

// Bitmaps of more than 64 K pixels load and convert like smaller ones but cost a run tens of
// milliseconds under the sanitizers, so they are skipped. Headers the loader refuses outright
// (sizes out of range, over 1 GiB of rows, top-down) still go through.
bool TooSlow(const std::uint8_t* data, std::size_t size) {
    if (size < 30) return false;
    std::int64_t width, height, bits;
    if (Get32(data + 14) == 12) {
        width = Get16(data + 18);
        height = Get16(data + 20);
        bits = Get16(data + 24);
    } else {
        width = std::int32_t(Get32(data + 18));
        height = std::int32_t(Get32(data + 22));
        bits = Get16(data + 28);
    }
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
    const std::uint64_t bytes = 4 * ((std::uint64_t(bits) * std::uint64_t(width) + 31) / 32) * std::uint64_t(height);
    return bytes <= (1u << 30) && width * height > 65536;
}

std::size_t PaletteBytes(const CDIB& dib) { return 4 * dib.ColorTable().size(); }

void CheckExport(const CDIB& dib) {
    const ByteArray bytes = dib.GetBmpData();
    Check(!bytes.empty(), "export of a loaded bitmap failed");
    Check(bytes.size() == 54 + PaletteBytes(dib) + dib.Stride() * std::size_t(dib.Height()), "export size");
    Check(Get32(&bytes[2]) == bytes.size(), "bfSize");
    Check(Get32(&bytes[10]) == 54 + PaletteBytes(dib), "bfOffBits");
    CDIB again;
    Check(again.LoadBmpData(bytes), "export does not load");
    Check(again.GetBmpData() == bytes, "export does not round-trip");
}

int IndexAt(const CDIB& dib, int x, int y) {
    const std::uint8_t* row = dib.Row(y);
    if (dib.BitCount() == 8) return row[x];
    return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (TooSlow(data, size)) return 0;
    CDIB source;
    if (!source.LoadBmpData(ByteArray(data, data + size))) {
        Check(source.IsEmpty() && !source.LastError().empty(), "failed load left a bitmap or no message");
        Check(source.GetBmpData().empty(), "empty bitmap exported bytes");
        Check(source.ChangeBitDepth(24).IsEmpty(), "empty bitmap converted");
        return 0;
    }
    CheckExport(source);
    const ByteArray original = source.GetBmpData();
    const std::int64_t pixels = std::int64_t(source.Width()) * source.Height();

    for (int bits : {24, 16, 8, 4}) {
        EnableVectorConversion(true);
        const CDIB out = source.ChangeBitDepth(std::int16_t(bits));
        Check(!out.IsEmpty() && source.LastError().empty(), "conversion failed");
        Check(out.Width() == source.Width() && out.Height() == source.Height() && out.BitCount() == bits,
              "conversion changed the geometry");
        CheckExport(out);
        if (bits == source.BitCount()) {
            Check(out.GetBmpData() == original, "same-depth copy differs");
            continue;
        }
        if (pixels <= 4096) {
            // The portable loops must agree with the vector ones byte for byte.
            EnableVectorConversion(false);
            Check(source.ChangeBitDepth(std::int16_t(bits)).GetBmpData() == out.GetBmpData(), "vector and portable differ");
            EnableVectorConversion(true);
        }
        // Spot-check pixels along the diagonal and the last row against the definition.
        const auto table = FixedPalette(bits);
        for (int i = 0; i < 64; ++i) {
            const int x = int(std::int64_t(i) * (source.Width() - 1) / 63);
            const int y = i % 2 ? source.Height() - 1 : int(std::int64_t(i) * (source.Height() - 1) / 63);
            const ColorRef colour = source.GetPixel(x, y);
            if (bits == 24) {
                Check(out.GetPixel(x, y) == colour, "24-bit pixel differs");
            } else if (bits == 16) {
                Check(out.GetPixel(x, y) == (colour & 0xF8F8F8u), "16-bit pixel differs");
            } else {
                Check(IndexAt(out, x, y) == NearestPaletteIndex(table.data(), int(table.size()), colour),
                      "palette index is not the nearest");
            }
        }
    }
    return 0;
}
