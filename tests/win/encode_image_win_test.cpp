// EncodeImage with the real gdiplus.dll of the system (Wine's under the test script). Wine's GIF
// encoder writes no image, so there the GIF comes from the giflib stand-in; on Windows from GDI+.
// Either way the result must be a whole GIF of the BMP's size that an independent reader decodes.
#include <windows.h>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "imaging/cdib.h"
#include "output/encode_image.h"
#include "output/gif_writer.h"
#include "tests/gif_memory_reader.h"

namespace {

using ColourAt = std::function<ColorRef(int x, int y)>;

ByteArray Bmp24(int width, int height, const ColourAt& colour) {
    CDIB dib;
    dib.Create(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) dib.SetPixel(x, y, colour(x, y));
    return dib.GetBmpData();
}

// giflib's reading of the first frame: its size and its largest per-channel difference from `colour`.
struct GifReading {
    bool decoded = false;
    int width = 0, height = 0;
    int worstChannelError = 0;
};

GifReading ReadGif(const ByteArray& gif, const ColourAt& colour) {
    GifReading reading;
    GifReadCursor cursor{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&cursor, ReadGifFromArray, &error);
    if (file == nullptr) return reading;
    if (DGifSlurp(file) == GIF_OK && file->ImageCount >= 1) {
        const SavedImage& image = file->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : file->SColorMap;
        reading.width = image.ImageDesc.Width;
        reading.height = image.ImageDesc.Height;
        reading.decoded = map != nullptr && image.ImageDesc.Left == 0 && image.ImageDesc.Top == 0 &&
                          reading.width == file->SWidth && reading.height == file->SHeight;
        for (int y = 0; reading.decoded && y < reading.height; ++y)
            for (int x = 0; x < reading.width; ++x) {
                const int index = image.RasterBits[y * reading.width + x];
                if (index >= map->ColorCount) {
                    reading.decoded = false;
                    break;
                }
                const GifColorType c = map->Colors[index];
                const ColorRef want = colour(x, y);
                for (int d : {c.Red - RedOf(want), c.Green - GreenOf(want), c.Blue - BlueOf(want)})
                    reading.worstChannelError = std::max(reading.worstChannelError, std::abs(d));
            }
    }
    DGifCloseFile(file, &error);
    return reading;
}

std::string TempFolder() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

TEST(EncodeImageWin, GifOfA24BitBmpShowsThePicture) {
    struct Case {
        const char* name;
        int width, height;
        ColourAt colour;
        // The largest channel error allowed: GDI+'s fixed halftone palette is up to about a fifth of the
        // range off; the giflib path is exact for few colours and close for many.
        int tolerance;
    } cases[] = {
        {"one pixel", 1, 1, [](int, int) { return MakeColorRef(250, 20, 60); }, 51},
        {"odd size, two colours", 7, 3,
         [](int x, int y) { return (x + y) % 2 ? MakeColorRef(255, 255, 255) : MakeColorRef(0, 0, 128); }, 51},
        {"gradient of 4096 colours", 64, 64,
         [](int x, int y) { return MakeColorRef(std::uint8_t(x * 4), std::uint8_t(y * 4), 128); }, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ByteArray bmp = Bmp24(c.width, c.height, c.colour);
        ASSERT_FALSE(bmp.empty());
        const ByteArray gif = EncodeImage(bmp, kEncodeGif);
        ASSERT_TRUE(IsCompleteGif(gif, c.width, c.height)) << gif.size() << " bytes";
        const GifReading reading = ReadGif(gif, c.colour);
        ASSERT_TRUE(reading.decoded);
        EXPECT_EQ(reading.width, c.width);
        EXPECT_EQ(reading.height, c.height);
        EXPECT_LE(reading.worstChannelError, c.tolerance);

        // Left in the temporary folder so the file can be checked with other readers after the run.
        const std::string path = TempFolder() + "lanying-encode-" + std::to_string(c.width) + "x" +
                                 std::to_string(c.height) + ".gif";
        if (HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, gif.data(), DWORD(gif.size()), &written, nullptr);
            CloseHandle(file);
            EXPECT_EQ(written, gif.size());
        }
    }
}

TEST(EncodeImageWin, OtherFormatsComeFromGdiplus) {
    const ByteArray bmp = Bmp24(5, 4, [](int x, int y) { return MakeColorRef(std::uint8_t(x * 60), std::uint8_t(y * 80), 9); });
    struct Case {
        int code;
        std::string signature;
    } cases[] = {
        {kEncodeBmp, "BM"},
        {kEncodeJpeg, "\xFF\xD8\xFF"},
        {kEncodePng, "\x89PNG\r\n\x1A\n"},
    };
    for (const Case& c : cases) {
        const ByteArray out = EncodeImage(bmp, c.code);
        ASSERT_GE(out.size(), c.signature.size()) << c.code;
        EXPECT_EQ(std::string(out.begin(), out.begin() + std::ptrdiff_t(c.signature.size())), c.signature) << c.code;
    }
    // TIFF: either byte order.
    const ByteArray tiff = EncodeImage(bmp, kEncodeTiff);
    ASSERT_GE(tiff.size(), 4u);
    const std::string head(tiff.begin(), tiff.begin() + 4);
    EXPECT_TRUE(head == std::string("II*\0", 4) || head == std::string("MM\0*", 4));
}

TEST(EncodeImageWin, RefusesWhatItCannotEncode) {
    const ByteArray bmp = Bmp24(3, 2, [](int, int) { return MakeColorRef(1, 2, 3); });
    const ByteArray text(64, 'x');
    struct Case {
        const char* name;
        const ByteArray& input;
        int code;
    } cases[] = {
        {"empty, GIF", {}, kEncodeGif},
        {"empty, PNG", {}, kEncodePng},
        {"code 0", bmp, 0},
        {"code 6", bmp, 6},
        {"not an image, GIF", text, kEncodeGif},
        {"not an image, BMP", text, kEncodeBmp},
        {"not an image, PNG", text, kEncodePng},
    };
    for (const Case& c : cases) EXPECT_TRUE(EncodeImage(c.input, c.code).empty()) << c.name;
}

}  // namespace
