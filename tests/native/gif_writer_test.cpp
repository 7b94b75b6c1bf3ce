#include "output/gif_writer.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "imaging/cdib.h"
#include "output/encode_image.h"
#include "tests/gif_memory_reader.h"

namespace {

struct Pixel {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

using PixelFn = std::function<Pixel(int x, int y)>;

// A picture as top-down BGR rows, the writer's input layout.
struct BgrPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bytes;

    BgrPicture(int w, int h, const PixelFn& pixel) : width(w), height(h), bytes(std::size_t(w) * h * 3) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Pixel p = pixel(x, y);
                std::uint8_t* q = &bytes[(std::size_t(y) * w + x) * 3];
                q[0] = p.b;
                q[1] = p.g;
                q[2] = p.r;
            }
    }
    Pixel At(int x, int y) const {
        const std::uint8_t* q = &bytes[(std::size_t(y) * width + x) * 3];
        return {q[2], q[1], q[0]};
    }
    BgrRowSource Rows() const {
        return [this](int y) { return bytes.data() + std::size_t(y) * width * 3; };
    }
    ByteArray Gif() const { return EncodeGif(width, height, Rows()); }
    // The same picture as a 24-bit BMP file image.
    ByteArray Bmp() const {
        CDIB dib;
        dib.Create(width, height, 24);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Pixel p = At(x, y);
                dib.SetPixel(x, y, MakeColorRef(p.r, p.g, p.b));
            }
        return dib.GetBmpData();
    }
};

// What giflib's decoder makes of a GIF: the first frame's pixels through its colour table.
struct DecodedGif {
    bool ok = false;
    int width = 0, height = 0;
    int colourTableSize = 0;
    std::vector<Pixel> pixels;
    Pixel At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

DecodedGif DecodeWithGiflib(const ByteArray& gif) {
    DecodedGif out;
    GifReadCursor cursor{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&cursor, ReadGifFromArray, &error);
    if (file == nullptr) return out;
    if (DGifSlurp(file) == GIF_OK && file->ImageCount >= 1) {
        const SavedImage& image = file->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : file->SColorMap;
        out.width = file->SWidth;
        out.height = file->SHeight;
        if (map != nullptr && image.ImageDesc.Width == out.width && image.ImageDesc.Height == out.height) {
            out.colourTableSize = map->ColorCount;
            out.ok = true;
            for (int i = 0; i < out.width * out.height; ++i) {
                const int index = image.RasterBits[i];
                if (index >= map->ColorCount) {
                    out.ok = false;
                    break;
                }
                const GifColorType c = map->Colors[index];
                out.pixels.push_back({c.Red, c.Green, c.Blue});
            }
        }
    }
    DGifCloseFile(file, &error);
    return out;
}

double Psnr(const BgrPicture& source, const std::function<Pixel(int, int)>& result) {
    double squares = 0;
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < source.width; ++x) {
            const Pixel a = source.At(x, y), b = result(x, y);
            const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
            squares += dr * dr + dg * dg + db * db;
        }
    const double mse = squares / (3.0 * source.width * source.height);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// giflib's own median cut on the same picture, as the quality floor.
double GiflibMedianCutPsnr(const BgrPicture& source) {
    const std::size_t n = std::size_t(source.width) * source.height;
    std::vector<GifByteType> red(n), green(n), blue(n), indices(n);
    for (std::size_t i = 0; i < n; ++i) {
        blue[i] = source.bytes[i * 3];
        green[i] = source.bytes[i * 3 + 1];
        red[i] = source.bytes[i * 3 + 2];
    }
    int mapSize = 256;
    std::vector<GifColorType> map(256);
    if (GifQuantizeBuffer(unsigned(source.width), unsigned(source.height), &mapSize, red.data(), green.data(),
                          blue.data(), indices.data(), map.data()) != GIF_OK)
        return 0;
    return Psnr(source, [&](int x, int y) {
        const GifColorType c = map[indices[std::size_t(y) * source.width + x]];
        return Pixel{c.Red, c.Green, c.Blue};
    });
}

// Deterministic noise for test pictures.
std::uint32_t Hash(std::uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

Pixel Solid(int, int) { return {12, 200, 99}; }

struct ExactCase {
    const char* name;
    int width, height;
    PixelFn pixel;
};

// Pictures of at most 256 colours: every pixel must come back exactly.
std::vector<ExactCase> ExactCases() {
    return {
        {"one pixel", 1, 1, [](int, int) { return Pixel{255, 0, 128}; }},
        {"solid odd size", 7, 3, Solid},
        {"black and white checkers", 17, 5, [](int x, int y) { return (x + y) % 2 ? Pixel{255, 255, 255} : Pixel{}; }},
        // Colours one step apart in one channel: a coarse colour grid would merge them.
        {"near neighbours", 9, 2, [](int x, int y) { return Pixel{100, std::uint8_t(100 + (x + y) % 2), 100}; }},
        {"exactly 256 colours", 16, 16,
         [](int x, int y) { return Pixel{std::uint8_t(x * 16), std::uint8_t(y * 16), std::uint8_t(x ^ y)}; }},
        {"single column", 1, 31, [](int, int y) { return Pixel{std::uint8_t(y * 8), 0, 0}; }},
        {"single row", 33, 1, [](int x, int) { return Pixel{0, 0, std::uint8_t(x * 7)}; }},
    };
}

TEST(GifWriter, FewColoursRoundTripExactly) {
    for (const ExactCase& c : ExactCases()) {
        SCOPED_TRACE(c.name);
        const BgrPicture picture(c.width, c.height, c.pixel);
        // Both ways in: rows handed straight to the writer, and a BMP file through EncodeImage.
        for (const ByteArray& gif : {picture.Gif(), EncodeImage(picture.Bmp(), kEncodeGif)}) {
            ASSERT_TRUE(IsCompleteGif(gif, c.width, c.height));
            const DecodedGif decoded = DecodeWithGiflib(gif);
            ASSERT_TRUE(decoded.ok);
            ASSERT_EQ(decoded.width, c.width);
            ASSERT_EQ(decoded.height, c.height);
            EXPECT_EQ(decoded.colourTableSize, 256);  // always an 8-bit palette image
            int wrong = 0;
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x) wrong += !(decoded.At(x, y) == picture.At(x, y));
            EXPECT_EQ(wrong, 0);
        }
    }
}

struct ManyColourCase {
    const char* name;
    int width, height;
    PixelFn pixel;
    double minPsnr;  // just under what the writer reached when these were written: catches a regression
};

TEST(GifWriter, ManyColoursBeatGiflibMedianCut) {
    const ManyColourCase cases[] = {
        {"two-axis gradient", 320, 200,
         [](int x, int y) { return Pixel{std::uint8_t(x * 255 / 319), std::uint8_t(y * 255 / 199), 90}; }, 36},
        {"three-channel ramp", 257, 64,
         [](int x, int y) { return Pixel{std::uint8_t(x), std::uint8_t(255 - x), std::uint8_t(y * 4)}; }, 34},
        {"noise", 128, 96,
         [](int x, int y) {
             const std::uint32_t h = Hash(std::uint32_t(y * 128 + x));
             return Pixel{std::uint8_t(h), std::uint8_t(h >> 8), std::uint8_t(h >> 16)};
         },
         27},
        // More colours than the refinement takes one by one: it works on merged cells of close colours.
        {"75000 colours", 300, 250,
         [](int x, int y) { return Pixel{std::uint8_t(x & 255), std::uint8_t(y), std::uint8_t((x >> 8) * 90 + y / 4)}; },
         35.5},
        // A window-like picture: flat areas, a few hundred text-like colours and a photo-like patch.
        {"screen-like", 300, 160,
         [](int x, int y) {
             if (y < 20) return Pixel{0, 120, 215};
             if (x > 200 && y > 60) {
                 const std::uint32_t h = Hash(std::uint32_t(y * 300 + x)) & 15;
                 return Pixel{std::uint8_t(x - 100 + h), std::uint8_t(y + h), std::uint8_t(80 + h)};
             }
             if ((x / 3 + y / 5) % 7 == 0) return Pixel{std::uint8_t(x % 40), std::uint8_t(y % 40), 40};
             return Pixel{240, 240, 240};
         },
         45.9},
    };
    for (const ManyColourCase& c : cases) {
        SCOPED_TRACE(c.name);
        const BgrPicture picture(c.width, c.height, c.pixel);
        std::set<std::uint32_t> distinct;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const Pixel p = picture.At(x, y);
                distinct.insert(std::uint32_t(p.r) << 16 | p.g << 8 | p.b);
            }
        ASSERT_GT(distinct.size(), 256u);

        const ByteArray gif = picture.Gif();
        ASSERT_TRUE(IsCompleteGif(gif, c.width, c.height));
        EXPECT_EQ(gif, picture.Gif()) << "same picture, different bytes";
        const DecodedGif decoded = DecodeWithGiflib(gif);
        ASSERT_TRUE(decoded.ok);
        ASSERT_EQ(decoded.width, c.width);
        ASSERT_EQ(decoded.height, c.height);
        const double ours = Psnr(picture, [&](int x, int y) { return decoded.At(x, y); });
        const double giflib = GiflibMedianCutPsnr(picture);
        EXPECT_GE(ours, giflib);
        EXPECT_GE(ours, c.minPsnr);
        std::printf("  %-18s ours %.2f dB, giflib median cut %.2f dB\n", c.name, ours, giflib);
    }
}

TEST(GifWriter, RefusesSizesTheFormatCannotHold) {
    const std::vector<std::uint8_t> row(3 * 65536, 7);
    const BgrRowSource rows = [&](int) { return row.data(); };
    EXPECT_TRUE(EncodeGif(0, 1, rows).empty());
    EXPECT_TRUE(EncodeGif(1, 0, rows).empty());
    EXPECT_TRUE(EncodeGif(-1, 5, rows).empty());
    EXPECT_TRUE(EncodeGif(65536, 1, rows).empty());
    EXPECT_TRUE(EncodeGif(1, 65536, rows).empty());
    EXPECT_TRUE(EncodeGif(1, 1, BgrRowSource{}).empty());
    // The largest sides the 16-bit fields hold still work.
    EXPECT_TRUE(IsCompleteGif(EncodeGif(65535, 1, rows), 65535, 1));
    EXPECT_TRUE(IsCompleteGif(EncodeGif(1, 65535, rows), 1, 65535));
}

TEST(EncodeImage, RefusesWhatItCannotEncode) {
    const ByteArray bmp = BgrPicture(4, 3, Solid).Bmp();
    ASSERT_FALSE(bmp.empty());
    ByteArray truncated(bmp.begin(), bmp.begin() + 40);
    ByteArray png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    ByteArray text(100, 'x');
    struct Case {
        const char* name;
        const ByteArray& input;
        int code;
    } cases[] = {
        {"empty input", {}, kEncodeGif},
        {"code 0", bmp, 0},
        {"code 6", bmp, 6},
        {"negative code", bmp, -3},
        {"truncated BMP", truncated, kEncodeGif},
        {"PNG signature", png, kEncodeGif},
        {"text", text, kEncodeGif},
        // No GDI+ here: the other formats are not available natively.
        {"BMP natively", bmp, kEncodeBmp},
        {"JPEG natively", bmp, kEncodeJpeg},
        {"TIFF natively", bmp, kEncodeTiff},
        {"PNG natively", bmp, kEncodePng},
    };
    for (const Case& c : cases) EXPECT_TRUE(EncodeImage(c.input, c.code).empty()) << c.name;
    EXPECT_TRUE(IsCompleteGif(EncodeImage(bmp, kEncodeGif), 4, 3));
}

TEST(EncodeImage, DecodesAnyDepthCdibReads) {
    // A 4-bit BMP: the picture goes through CDIB's 24-bit conversion before the writer sees it.
    CDIB dib;
    dib.Create(5, 3, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) dib.SetPixel(x, y, (x + y) % 2 ? MakeColorRef(255, 0, 0) : MakeColorRef(0, 0, 255));
    const ByteArray gif = EncodeImage(dib.GetBmpData(), kEncodeGif);
    ASSERT_TRUE(IsCompleteGif(gif, 5, 3));
    const DecodedGif decoded = DecodeWithGiflib(gif);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.At(0, 0), (Pixel{0, 0, 255}));
    EXPECT_EQ(decoded.At(1, 0), (Pixel{255, 0, 0}));
    EXPECT_EQ(decoded.At(4, 2), (Pixel{0, 0, 255}));
}

// Builders for hand-made GIF streams.
ByteArray GifHeader(int width, int height, const char* signature = "GIF89a") {
    ByteArray g(signature, signature + 6);
    for (int v : {width, height}) {
        g.push_back(std::uint8_t(v));
        g.push_back(std::uint8_t(v >> 8));
    }
    g.insert(g.end(), {0x80, 0, 0});      // 2-entry global colour table
    g.insert(g.end(), {0, 0, 0, 255, 255, 255});
    return g;
}
void AppendImage(ByteArray& g, int left, int top, int width, int height, ByteArray data, int minCodeSize = 2) {
    g.push_back(0x2C);
    for (int v : {left, top, width, height}) {
        g.push_back(std::uint8_t(v));
        g.push_back(std::uint8_t(v >> 8));
    }
    g.push_back(0);
    g.push_back(std::uint8_t(minCodeSize));
    if (!data.empty()) {
        g.push_back(std::uint8_t(data.size()));
        g.insert(g.end(), data.begin(), data.end());
    }
    g.push_back(0);
}
ByteArray Concat(ByteArray a, std::initializer_list<std::uint8_t> tail) {
    a.insert(a.end(), tail);
    return a;
}

TEST(IsCompleteGif, AcceptsOnlyWholePicturesOfTheRightSize) {
    const ByteArray good = BgrPicture(6, 4, Solid).Gif();
    ASSERT_TRUE(IsCompleteGif(good, 6, 4));

    // Every proper prefix of a good file is incomplete.
    for (std::size_t n = 0; n < good.size(); ++n)
        ASSERT_FALSE(IsCompleteGif(ByteArray(good.begin(), good.begin() + std::ptrdiff_t(n)), 6, 4)) << n;

    // Hand-made streams: a 1x1 image whose LZW data is clear, index 0, end.
    const ByteArray lzw = {0x44, 0x01};
    ByteArray minimal = GifHeader(1, 1);
    AppendImage(minimal, 0, 0, 1, 1, lzw);
    ByteArray minimal87 = GifHeader(1, 1, "GIF87a");
    AppendImage(minimal87, 0, 0, 1, 1, lzw);
    ByteArray withExtension = GifHeader(1, 1);
    withExtension.insert(withExtension.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0});  // graphic control
    AppendImage(withExtension, 0, 0, 1, 1, lzw);
    ByteArray noData = GifHeader(1, 1);
    AppendImage(noData, 0, 0, 1, 1, {});
    ByteArray outside = GifHeader(1, 1);
    AppendImage(outside, 1, 0, 1, 1, lzw);
    ByteArray badCodeSize = GifHeader(1, 1);
    AppendImage(badCodeSize, 0, 0, 1, 1, lzw, 12);
    ByteArray badSignature = GifHeader(1, 1, "GIF88a");
    AppendImage(badSignature, 0, 0, 1, 1, lzw);
    ByteArray extensionOnly = GifHeader(1, 1);
    extensionOnly.insert(extensionOnly.end(), {0x21, 0xFE, 2, 'h', 'i', 0});
    ByteArray overlongBlock = GifHeader(1, 1);
    AppendImage(overlongBlock, 0, 0, 1, 1, lzw);
    overlongBlock[overlongBlock.size() - 4] = 200;  // sub-block length past the end
    // What Wine 8's GDI+ GIF encoder leaves in the stream for a 3x2 picture, byte for byte: signature,
    // screen descriptor without colour table, an image descriptor, then the trailer with no image data.
    const ByteArray wineHeaderOnly = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0x77, 0x00,
                                      0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x3B};

    struct Case {
        const char* name;
        ByteArray gif;
        int width, height;
        bool complete;
    } cases[] = {
        {"minimal", Concat(minimal, {0x3B}), 1, 1, true},
        {"GIF87a", Concat(minimal87, {0x3B}), 1, 1, true},
        {"with extension", Concat(withExtension, {0x3B}), 1, 1, true},
        {"bytes after trailer", Concat(minimal, {0x3B, 0, 0, 0}), 1, 1, true},
        {"good, wrong width", good, 5, 4, false},
        {"good, wrong height", good, 6, 5, false},
        {"good, no trailer", ByteArray(good.begin(), good.end() - 1), 6, 4, false},
        {"good, junk for trailer", Concat(ByteArray(good.begin(), good.end() - 1), {0x00}), 6, 4, false},
        {"minimal, no trailer", minimal, 1, 1, false},
        {"no image data", Concat(noData, {0x3B}), 1, 1, false},
        {"image outside screen", Concat(outside, {0x3B}), 1, 1, false},
        {"bad LZW code size", Concat(badCodeSize, {0x3B}), 1, 1, false},
        {"bad signature", Concat(badSignature, {0x3B}), 1, 1, false},
        {"extension only", Concat(extensionOnly, {0x3B}), 1, 1, false},
        {"sub-block past end", Concat(overlongBlock, {0x3B}), 1, 1, false},
        {"unknown block", Concat(minimal, {0x99, 0x3B}), 1, 1, false},
        {"Wine's header-only output", wineHeaderOnly, 3, 2, false},
        {"empty", {}, 1, 1, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsCompleteGif(c.gif, c.width, c.height), c.complete) << c.name;
    // The hand-made complete ones are real GIFs to giflib too, so the checker's idea of complete holds.
    for (const Case& c : cases) {
        if (c.complete) {
            EXPECT_TRUE(DecodeWithGiflib(c.gif).ok) << c.name;
        }
    }
}

// ImageMagick as a decoder that shares no code with giflib.
std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        if (pclose(pipe) != 0) out.clear();
    }
    return out;
}

TEST(GifWriter, ImageMagickReadsTheSamePicture) {
    if (RunCommand("command -v convert && command -v identify").empty()) GTEST_SKIP() << "ImageMagick not installed";
    // Per process: other build trees may run this test at the same time.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lanying-gif-writer-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const ExactCase cases[] = {
        ExactCases()[2],
        ExactCases()[4],
        {"odd size", 13, 7, [](int x, int y) { return Pixel{std::uint8_t(x * 19), std::uint8_t(y * 31), 7}; }},
    };
    for (const ExactCase& c : cases) {
        SCOPED_TRACE(c.name);
        const BgrPicture picture(c.width, c.height, c.pixel);
        const ByteArray gif = EncodeImage(picture.Bmp(), kEncodeGif);
        const std::filesystem::path file = dir / "picture.gif";
        {
            FILE* f = std::fopen(file.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            ASSERT_EQ(std::fwrite(gif.data(), 1, gif.size(), f), gif.size());
            std::fclose(f);
        }
        EXPECT_EQ(RunCommand("identify -format '%m %w %h' " + file.string()),
                  "GIF " + std::to_string(c.width) + " " + std::to_string(c.height));
        const std::string rgb = RunCommand("convert " + file.string() + " -depth 8 rgb:-");
        ASSERT_EQ(rgb.size(), std::size_t(c.width) * c.height * 3);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const std::size_t at = (std::size_t(y) * c.width + x) * 3;
                const Pixel got{std::uint8_t(rgb[at]), std::uint8_t(rgb[at + 1]), std::uint8_t(rgb[at + 2])};
                wrong += !(got == picture.At(x, y));
            }
        EXPECT_EQ(wrong, 0);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
