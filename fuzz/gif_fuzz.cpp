// The GIF output path without GDI+. The first byte picks the entry point, the rest is its input:
//   0  a BMP file image -> EncodeImage(..., kEncodeGif). A GIF that comes out must be complete, of the
//      BMP's size, decode with giflib, and hold every colour exactly when the picture has 256 or fewer.
//   1  IsCompleteGif on arbitrary bytes (4 bytes of width and height first). When it says complete,
//      giflib must at least open the file and see that screen size.
//   2  the writer alone: 2 bytes of width and height (1..64), the pixels taken from the rest, repeated.
// Seeds: fuzz/corpus/gif/, made by fuzz/make_gif_seeds.py.
#include <gif_lib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "imaging/cdib.h"
#include "output/encode_image.h"
#include "output/gif_writer.h"
#include "tests/gif_memory_reader.h"

namespace {

// Big pictures only slow the search down: the paths are the same as for small ones.
constexpr std::int64_t kMaxPixels = 1 << 16;

void Check(bool condition) {
    if (!condition) std::abort();
}

std::uint32_t Read32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// The pixel count a BMP header announces, or -1 when it announces none the loader would take anyway.
std::int64_t AnnouncedPixels(const ByteArray& bmp) {
    if (bmp.size() < 26) return -1;
    const std::uint32_t headerSize = Read32(&bmp[14]);
    if (headerSize == 12) return std::int64_t(bmp[18] | (bmp[19] << 8)) * (bmp[20] | (bmp[21] << 8));
    if (headerSize == 40) {
        const std::int64_t width = std::int32_t(Read32(&bmp[18])), height = std::int32_t(Read32(&bmp[22]));
        return std::llabs(width) * std::llabs(height);
    }
    return -1;
}

// Decodes `gif` and checks it shows the picture `row` describes: the right size, and exact colours
// when there are few enough for that.
void CheckGifShows(const ByteArray& gif, int width, int height, const BgrRowSource& row) {
    Check(IsCompleteGif(gif, width, height));
    GifReadCursor cursor{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&cursor, ReadGifFromArray, &error);
    Check(file != nullptr);
    Check(DGifSlurp(file) == GIF_OK);
    Check(file->SWidth == width && file->SHeight == height && file->ImageCount == 1);
    const SavedImage& image = file->SavedImages[0];
    Check(image.ImageDesc.Width == width && image.ImageDesc.Height == height && file->SColorMap != nullptr);
    Check(file->SColorMap->ColorCount == 256);

    std::set<std::uint32_t> distinct;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = row(y);
        for (int x = 0; x < width; ++x, p += 3) distinct.insert(std::uint32_t(p[0]) | p[1] << 8 | p[2] << 16);
    }
    if (distinct.size() <= 256) {
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* p = row(y);
            for (int x = 0; x < width; ++x, p += 3) {
                const GifColorType c = file->SColorMap->Colors[image.RasterBits[std::size_t(y) * width + x]];
                Check(c.Blue == p[0] && c.Green == p[1] && c.Red == p[2]);
            }
        }
    }
    DGifCloseFile(file, &error);
}

void FuzzEncodeImage(const ByteArray& bmp) {
    const std::int64_t pixels = AnnouncedPixels(bmp);
    if (pixels > kMaxPixels) return;
    const ByteArray gif = EncodeImage(bmp, kEncodeGif);
    CDIB source;
    if (!source.LoadBmpData(bmp)) {
        Check(gif.empty());
        return;
    }
    const CDIB rgb = source.ChangeBitDepth(24);
    Check(!rgb.IsEmpty());
    Check(!gif.empty());
    CheckGifShows(gif, rgb.Width(), rgb.Height(), [&rgb](int y) { return rgb.Row(y); });
}

void FuzzIsCompleteGif(const ByteArray& input) {
    if (input.size() < 4) return;
    const int width = input[0] | (input[1] << 8), height = input[2] | (input[3] << 8);
    const ByteArray gif(input.begin() + 4, input.end());
    if (!IsCompleteGif(gif, width, height)) return;
    GifReadCursor cursor{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&cursor, ReadGifFromArray, &error);
    Check(file != nullptr);
    Check(file->SWidth == width && file->SHeight == height);
    DGifCloseFile(file, &error);
}

void FuzzWriter(const ByteArray& input) {
    if (input.size() < 3) return;
    const int width = input[0] % 64 + 1, height = input[1] % 64 + 1;
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = input[2 + i % (input.size() - 2)];
    const BgrRowSource row = [&](int y) { return pixels.data() + std::size_t(y) * width * 3; };
    CheckGifShows(EncodeGif(width, height, row), width, height, row);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const ByteArray input(data + 1, data + size);
    switch (data[0] % 3) {
        case 0: FuzzEncodeImage(input); break;
        case 1: FuzzIsCompleteGif(input); break;
        default: FuzzWriter(input); break;
    }
    return 0;
}
