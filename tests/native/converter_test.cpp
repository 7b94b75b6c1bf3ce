// The JPEG/PNG converter: arguments, the decoder chain, both encoders, and what is left on disk after a
// success or a failure.
#include "imaging/converter.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "imaging/safe_file_write.h"
#include "tests/little_endian.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

// A picture as rows of RGB pixels, top row first.
struct Picture {
    std::uint32_t width = 0, height = 0;
    std::vector<Rgb> pixels;
    const Rgb& At(std::uint32_t x, std::uint32_t y) const { return pixels[std::size_t(y) * width + x]; }
    Bytes PackedRow(std::uint32_t y) const {
        Bytes row;
        for (std::uint32_t x = 0; x < width; ++x) row.insert(row.end(), At(x, y).begin(), At(x, y).end());
        return row;
    }
};

Picture NoisePicture(std::uint32_t width, std::uint32_t height, unsigned seed) {
    Picture picture{width, height, {}};
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i)
        picture.pixels.push_back({std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random())});
    return picture;
}

// Smooth colours, so that lossy encoders stay close to the input.
Picture GradientPicture(std::uint32_t width, std::uint32_t height) {
    Picture picture{width, height, {}};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            picture.pixels.push_back({std::uint8_t(x * 255 / width), std::uint8_t(y * 255 / height), 128});
    return picture;
}

// The 3 x 2 picture of the orientation cases: every pixel differs, so any mix-up of rows, columns or
// channels shows.
const Picture kSixPixels{3, 2, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}, {200, 100, 50}, {1, 2, 3}}};

// BMP file image built by hand. `rows` are the stored rows in file order, already padded.
struct BmpHeader {
    std::uint32_t infoSize = 40;  // 12 for the core header
    std::int32_t width = 0;
    std::int32_t height = 0;  // stored value: negative means top-down
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t paletteEntries = 0;
};

Bytes MakeBmp(const BmpHeader& h, const Bytes& rows) {
    const std::uint32_t paletteBytes = h.paletteEntries * (h.infoSize == 12 ? 3 : 4);
    const std::uint32_t offBits = 14 + h.infoSize + paletteBytes;
    Bytes file(offBits, 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, std::uint32_t(offBits + rows.size()));
    Put32(file, 10, offBits);
    Put32(file, 14, h.infoSize);
    if (h.infoSize == 12) {
        Put16(file, 18, std::uint32_t(h.width));
        Put16(file, 20, std::uint32_t(h.height));
        Put16(file, 22, 1);
        Put16(file, 24, h.bitCount);
    } else {
        Put32(file, 18, std::uint32_t(h.width));
        Put32(file, 22, std::uint32_t(h.height));
        Put16(file, 26, 1);
        Put16(file, 28, h.bitCount);
        Put32(file, 30, h.compression);
        Put32(file, 34, std::uint32_t(rows.size()));
        Put32(file, 46, h.paletteEntries);
    }
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

// A 24-bit BMP of the picture, bottom-up (rows stored last row first) unless topDown.
Bytes Bmp24(const Picture& picture, bool topDown = false, std::uint32_t infoSize = 40) {
    const std::size_t stride = (picture.width * 3 + 3) / 4 * 4;
    Bytes rows;
    for (std::uint32_t i = 0; i < picture.height; ++i) {
        const std::uint32_t y = topDown ? i : picture.height - 1 - i;
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const Rgb p = picture.At(x, y);
            rows.insert(rows.end(), {p[2], p[1], p[0]});
        }
        rows.resize(rows.size() + stride - picture.width * 3, 0);
    }
    BmpHeader header;
    header.infoSize = infoSize;
    header.width = std::int32_t(picture.width);
    header.height = topDown ? -std::int32_t(picture.height) : std::int32_t(picture.height);
    return MakeBmp(header, rows);
}

// An 8-bit paletted BMP whose pixel data is padded up to `minimumSize` bytes overall.
Bytes Bmp8(std::int32_t width, std::int32_t height, std::size_t minimumSize = 0) {
    BmpHeader header;
    header.width = width;
    header.height = height;
    header.bitCount = 8;
    header.paletteEntries = 256;
    const std::size_t stride = std::size_t(width + 3) / 4 * 4;
    Bytes rows(std::max(stride * std::size_t(height), minimumSize), 0x11);
    return MakeBmp(header, rows);
}

// Reading back what the converter wrote.

struct Decoded {
    std::uint32_t width = 0, height = 0;
    int components = 0;
    Bytes pixels;  // rows top first, `components` bytes per pixel
    int At(std::uint32_t x, std::uint32_t y, int c) const {
        return pixels[(std::size_t(y) * width + x) * components + c];
    }
};

struct TestJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
void TestJpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TestJpegError*>(cinfo->err)->jump, 1); }
void TestJpegSilence(j_common_ptr) {}

struct TestJpegDecode {
    jpeg_decompress_struct cinfo;
    TestJpegError error;
};

// No object with a destructor lives in this frame: libjpeg may longjmp back into it.
bool RunTestJpegDecode(TestJpegDecode& job, const Bytes& file, Decoded& out) {
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = TestJpegErrorExit;
    job.error.pub.output_message = TestJpegSilence;
    if (setjmp(job.error.jump)) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    jpeg_create_decompress(&job.cinfo);
    jpeg_mem_src(&job.cinfo, const_cast<std::uint8_t*>(file.data()), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&job.cinfo, TRUE);
    jpeg_start_decompress(&job.cinfo);
    out.width = job.cinfo.output_width;
    out.height = job.cinfo.output_height;
    out.components = job.cinfo.output_components;
    out.pixels.resize(std::size_t(out.width) * out.height * out.components);
    while (job.cinfo.output_scanline < job.cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + std::size_t(job.cinfo.output_scanline) * out.width * out.components;
        jpeg_read_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&job.cinfo);
    jpeg_destroy_decompress(&job.cinfo);
    return true;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool DecodeJpeg(const std::string& path, Decoded& out) {
    const Bytes file = ReadFile(path);
    TestJpegDecode job{};
    return !file.empty() && RunTestJpegDecode(job, file, out);
}

bool DecodePngRgb(const std::string& path, Decoded& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out.width = image.width;
    out.height = image.height;
    out.components = 3;
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
}

// The reference: libjpeg's own output for the same rows and the same settings.
struct TestJpegEncode {
    jpeg_compress_struct cinfo;
    TestJpegError error;
    unsigned char* buffer;
    unsigned long size;
};

bool RunTestJpegEncode(TestJpegEncode& job, const std::vector<Bytes>& rows, std::uint32_t width, bool grey, int quality,
                       bool optimise, int smoothing) {
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = TestJpegErrorExit;
    if (setjmp(job.error.jump)) {
        jpeg_destroy_compress(&job.cinfo);
        return false;
    }
    jpeg_create_compress(&job.cinfo);
    jpeg_mem_dest(&job.cinfo, &job.buffer, &job.size);
    job.cinfo.image_width = width;
    job.cinfo.image_height = JDIMENSION(rows.size());
    job.cinfo.input_components = grey ? 1 : 3;
    job.cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&job.cinfo);
    job.cinfo.optimize_coding = optimise ? TRUE : FALSE;
    job.cinfo.smoothing_factor = smoothing;
    jpeg_set_quality(&job.cinfo, quality, TRUE);
    jpeg_start_compress(&job.cinfo, TRUE);
    for (const Bytes& row : rows) {
        JSAMPROW pointer = const_cast<JSAMPROW>(row.data());
        jpeg_write_scanlines(&job.cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&job.cinfo);
    jpeg_destroy_compress(&job.cinfo);
    return true;
}

Bytes ReferenceJpeg(const std::vector<Bytes>& rows, std::uint32_t width, bool grey, int quality, bool optimise,
                    int smoothing) {
    TestJpegEncode job{};
    Bytes result;
    if (RunTestJpegEncode(job, rows, width, grey, quality, optimise, smoothing))
        result.assign(job.buffer, job.buffer + job.size);
    std::free(job.buffer);
    return result;
}

// Source files in the other formats, written with the libraries' own writers.

struct PngSource {
    std::uint32_t width, height;
    int bitDepth, colorType, interlace;
    std::vector<Bytes> rows;  // packed as the PNG stores them
    std::vector<png_color> palette;
};

struct TestPngWrite {
    png_structp png;
    png_infop info;
    FILE* file;
};

bool RunTestPngWrite(TestPngWrite& job, const PngSource& source) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_init_io(job.png, job.file);
    png_set_IHDR(job.png, job.info, source.width, source.height, source.bitDepth, source.colorType, source.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!source.palette.empty()) png_set_PLTE(job.png, job.info, source.palette.data(), int(source.palette.size()));
    png_write_info(job.png, job.info);
    const int passes = png_set_interlace_handling(job.png);
    for (int pass = 0; pass < passes; ++pass)
        for (const Bytes& row : source.rows) png_write_row(job.png, row.data());
    png_write_end(job.png, job.info);
    return true;
}

bool WritePngSource(const std::string& path, const PngSource& source) {
    TestPngWrite job{};
    job.file = std::fopen(path.c_str(), "wb");
    if (job.file == nullptr) return false;
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    job.info = png_create_info_struct(job.png);
    const bool ok = RunTestPngWrite(job, source);
    png_destroy_write_struct(&job.png, &job.info);
    return std::fclose(job.file) == 0 && ok;
}

bool WriteTiffSource(const std::string& path, const Picture& picture, bool grey) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr) return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, picture.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, picture.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, grey ? 1 : 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1);
    bool ok = true;
    for (std::uint32_t y = 0; y < picture.height && ok; ++y) {
        Bytes row = picture.PackedRow(y);
        if (grey) {
            for (std::uint32_t x = 0; x < picture.width; ++x) row[x] = row[3 * x];
            row.resize(picture.width);
        }
        ok = TIFFWriteScanline(tiff, row.data(), y, 0) == 1;
    }
    TIFFClose(tiff);
    return ok;
}

// PCX: 128-byte header, run-length coded lines (every byte as a run of one, the counted form for runs).
Bytes MakePcx(const Picture& picture, int planes, const std::vector<Rgb>& palette, const Bytes& indices = {}) {
    Bytes file(128, 0);
    const std::uint32_t bytesPerLine = (picture.width + 1) / 2 * 2;
    file[0] = 0x0A;
    file[1] = 5;
    file[2] = 1;
    file[3] = 8;
    Put16(file, 8, picture.width - 1);
    Put16(file, 10, picture.height - 1);
    file[65] = std::uint8_t(planes);
    Put16(file, 66, bytesPerLine);
    auto put = [&file](std::uint8_t value, unsigned count) {
        if (count == 1 && value < 0xC0) {
            file.push_back(value);
        } else {
            file.push_back(std::uint8_t(0xC0 | count));
            file.push_back(value);
        }
    };
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (int plane = 0; plane < planes; ++plane) {
            for (std::uint32_t x = 0; x < bytesPerLine; ++x) {
                std::uint8_t value = 0;
                if (x < picture.width) value = planes == 1 ? indices[y * picture.width + x] : picture.At(x, y)[plane];
                put(value, 1);
            }
        }
    }
    if (!palette.empty()) {
        file.push_back(0x0C);
        for (std::size_t i = 0; i < 256; ++i) {
            const Rgb entry = i < palette.size() ? palette[i] : Rgb{};
            file.insert(file.end(), entry.begin(), entry.end());
        }
    }
    return file;
}

// The top-level chunk types of a PNG file, in order.
std::vector<std::string> PngChunks(const Bytes& file) {
    std::vector<std::string> chunks;
    std::size_t at = 8;
    while (at + 8 <= file.size()) {
        const std::uint32_t length =
            (std::uint32_t(file[at]) << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        chunks.emplace_back(reinterpret_cast<const char*>(&file[at + 4]), 4);
        at += 12 + std::size_t(length);
    }
    return chunks;
}

// Each test works in a folder of its own and checks what is left in it.
class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "converter-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const std::string& name) const { return (fs::path(folder_) / name).string(); }

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = PathOf(name);
        WriteFile(path, bytes);
        return path;
    }

    // Names in the folder, sorted; the converter's temporary files would show up here.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string folder_;
};

// ---------------------------------------------------------------------------------------------------

TEST_F(ConverterTest, BmpRowOrderAndChannelsSurviveBothEncoders) {
    struct Case {
        const char* name;
        bool topDown;
        std::uint32_t infoSize;
        std::uint32_t width = 3, height = 2;
    } cases[] = {
        {"bottom-up", false, 40},
        {"top-down", true, 40},
        {"core header", false, 12},
        {"v5 header", false, 124},
        // Four pixels make a row of 12 bytes: no padding, which the decoder reads in one piece.
        {"unpadded bottom-up", false, 40, 4},
        {"unpadded top-down", true, 40, 4},
        {"unpadded, odd height", false, 40, 4, 5},
        // Wide enough for the eight-pixel groups, with pixels left over.
        {"unpadded 20 wide, bottom-up", false, 40, 20, 7},
        {"unpadded 20 wide, top-down", true, 40, 20, 7},
        {"padded 23 wide", false, 40, 23, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture picture = c.width == 3 ? kSixPixels : NoisePicture(c.width, c.height, 9);
        const std::string source = Write("source.bmp", Bmp24(picture, c.topDown, c.infoSize));

        // PNG is lossless: every pixel must be exactly where the picture has it.
        ASSERT_EQ(ConvertToPng(source.c_str(), PathOf("out.png").c_str(), 24), ConvertResult::ConvertOk);
        Decoded png;
        ASSERT_TRUE(DecodePngRgb(PathOf("out.png"), png));
        ASSERT_EQ(png.width, picture.width);
        ASSERT_EQ(png.height, picture.height);
        for (std::uint32_t y = 0; y < picture.height; ++y)
            for (std::uint32_t x = 0; x < picture.width; ++x)
                for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(png.At(x, y, ch), picture.At(x, y)[ch]) << x << "," << y;

        // And the JPEG has the same size and the same exact bytes libjpeg makes of these rows.
        ASSERT_EQ(ConvertToJpeg(source.c_str(), PathOf("out.jpg").c_str(), false, 90, false, 0),
                  ConvertResult::ConvertOk);
        std::vector<Bytes> rows;
        for (std::uint32_t y = 0; y < picture.height; ++y) rows.push_back(picture.PackedRow(y));
        EXPECT_EQ(ReadFile(PathOf("out.jpg")), ReferenceJpeg(rows, picture.width, false, 90, false, 0));
        EXPECT_EQ(Listing(), (std::vector<std::string>{"out.jpg", "out.png", "source.bmp"}));
    }
}

TEST_F(ConverterTest, BottomUpBmpGivesJpegWhoseTopRowIsTheLastStoredRow) {
    // Stored rows: first black, last white. Shown top-down that is white above black.
    const Bytes rows = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0};
    BmpHeader header;
    header.width = 3;
    header.height = 2;
    const std::string source = Write("source.bmp", MakeBmp(header, rows));
    ASSERT_EQ(ConvertToJpeg(source.c_str(), PathOf("out.jpg").c_str(), false, 100, true, 0), ConvertResult::ConvertOk);
    Decoded jpeg;
    ASSERT_TRUE(DecodeJpeg(PathOf("out.jpg"), jpeg));
    ASSERT_EQ(jpeg.width, 3u);
    ASSERT_EQ(jpeg.height, 2u);
    for (std::uint32_t x = 0; x < 3; ++x) {
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_GT(jpeg.At(x, 0, ch), 200) << "top row comes from the last stored row";
            EXPECT_LT(jpeg.At(x, 1, ch), 55);
        }
    }
}

TEST_F(ConverterTest, JpegEqualsLibjpegOutputForTheSameRowsAndSettings) {
    const Picture picture = GradientPicture(37, 21);  // not a multiple of the 8 x 8 / 16 x 16 blocks
    const std::string source = Write("source.bmp", Bmp24(picture));
    std::vector<Bytes> rgbRows, greyRows;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        rgbRows.push_back(picture.PackedRow(y));
        Bytes grey;
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const Rgb p = picture.At(x, y);
            grey.push_back(std::uint8_t((306 * p[0] + 601 * p[1] + 117 * p[2]) >> 10));
        }
        greyRows.push_back(grey);
    }
    struct Case {
        bool grey;
        int quality;
        bool optimise;
        int smoothing;
    } cases[] = {
        // clang-format off
        {false, 75, false, 0},
        {false, 1, false, 0},
        {false, 100, false, 0},
        {true, 75, false, 0},
        {false, 75, true, 0},
        {false, 75, false, 60},
        {true, 30, true, 100},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "grey " << c.grey << " quality " << c.quality << " optimise " << c.optimise
                                          << " smoothing " << c.smoothing);
        ASSERT_EQ(ConvertToJpeg(source.c_str(), PathOf("out.jpg").c_str(), c.grey, c.quality, c.optimise, c.smoothing),
                  ConvertResult::ConvertOk);
        const Bytes expected =
            ReferenceJpeg(c.grey ? greyRows : rgbRows, picture.width, c.grey, c.quality, c.optimise, c.smoothing);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(ReadFile(PathOf("out.jpg")), expected);
    }
    // The settings reach the encoder: optimised coding and smoothing each change the file.
    const Bytes plain = ReferenceJpeg(rgbRows, picture.width, false, 75, false, 0);
    EXPECT_NE(plain, ReferenceJpeg(rgbRows, picture.width, false, 75, true, 0));
    EXPECT_NE(plain, ReferenceJpeg(rgbRows, picture.width, false, 75, false, 60));
}

TEST_F(ConverterTest, PngIsRgb8Adam7WithOnlyTheThreeChunks) {
    const Picture picture = NoisePicture(33, 17, 7);
    const std::string source = Write("source.bmp", Bmp24(picture));
    const std::string target = PathOf("out.png");
    ASSERT_EQ(ConvertToPng(source.c_str(), target.c_str(), 24), ConvertResult::ConvertOk);

    const Bytes file = ReadFile(target);
    std::vector<std::string> chunks = PngChunks(file);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front(), "IHDR");
    EXPECT_EQ(chunks.back(), "IEND");
    for (std::size_t i = 1; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i], "IDAT") << "chunk " << i;
    // IHDR data: width, height, bit depth, colour type, compression, filter, interlace.
    ASSERT_GE(file.size(), 8u + 8 + 13);
    EXPECT_EQ(file[8 + 8 + 8], 8) << "bit depth";
    EXPECT_EQ(file[8 + 8 + 9], PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(file[8 + 8 + 12], PNG_INTERLACE_ADAM7);

    EXPECT_EQ(std::system(("pngcheck -q '" + target + "' >/dev/null").c_str()), 0) << "pngcheck rejects the file";

    Decoded png;
    ASSERT_TRUE(DecodePngRgb(target, png));
    ASSERT_EQ(png.width, picture.width);
    ASSERT_EQ(png.height, picture.height);
    Bytes expected;
    for (const Rgb& p : picture.pixels) expected.insert(expected.end(), p.begin(), p.end());
    EXPECT_EQ(png.pixels, expected);
}

TEST_F(ConverterTest, BadArgumentsAreRefusedBeforeAnyFileIsTouched) {
    const std::string source = Write("source.bmp", Bmp24(kSixPixels));
    const std::string missing = PathOf("missing.bmp");
    const std::string target = PathOf("out.file");
    const char* src = source.c_str();
    const char* tgt = target.c_str();
    struct Case {
        const char* name;
        std::function<ConvertResult()> run;
    } cases[] = {
        {"quality 0", [&] { return ConvertToJpeg(src, tgt, false, 0, false, 0); }},
        {"quality 101", [&] { return ConvertToJpeg(src, tgt, false, 101, false, 0); }},
        {"smoothing -1", [&] { return ConvertToJpeg(src, tgt, false, 75, false, -1); }},
        {"smoothing 101", [&] { return ConvertToJpeg(src, tgt, false, 75, false, 101); }},
        {"jpeg without source", [&] { return ConvertToJpeg(nullptr, tgt, false, 75, false, 0); }},
        {"jpeg without target", [&] { return ConvertToJpeg(src, "", false, 75, false, 0); }},
        {"missing source, bad quality", [&] { return ConvertToJpeg(missing.c_str(), tgt, false, 0, false, 0); }},
        {"png depth 16", [&] { return ConvertToPng(src, tgt, 16); }},
        {"png depth 32", [&] { return ConvertToPng(src, tgt, 32); }},
        {"png without source", [&] { return ConvertToPng("", tgt, 24); }},
        {"png without target", [&] { return ConvertToPng(src, nullptr, 24); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.run(), ConvertResult::BadArgument);
        EXPECT_EQ(Listing(), std::vector<std::string>{"source.bmp"});
    }
}

TEST_F(ConverterTest, MissingSourceIsReportedAsSuch) {
    const std::string missing = PathOf("nothing-here.bmp");
    EXPECT_EQ(ConvertToJpeg(missing.c_str(), PathOf("out.jpg").c_str(), false, 75, true, 0),
              ConvertResult::SourceMissing);
    EXPECT_EQ(ConvertToPng(missing.c_str(), PathOf("out.png").c_str(), 24), ConvertResult::SourceMissing);
    EXPECT_TRUE(Listing().empty());
}

TEST_F(ConverterTest, UnreadableSourcesFailCleanly) {
    Bytes truncated24 = Bmp24(NoisePicture(5, 4, 1));
    truncated24.pop_back();  // the last row is one byte short
    BmpHeader wide;
    wide.width = 65536;
    wide.height = 1;
    BmpHeader huge;  // each side allowed, the product is not
    huge.width = 65535;
    huge.height = 65535;
    BmpHeader rle8;
    rle8.bitCount = 8;
    rle8.compression = 1;
    rle8.width = 4;
    rle8.height = 4;
    BmpHeader bits16;
    bits16.bitCount = 16;
    bits16.width = 4;
    bits16.height = 4;
    const Bytes pngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    // Cut inside the coded data: libjpeg itself would only warn and make up the missing rows.
    const Picture noise = NoisePicture(64, 64, 2);
    std::vector<Bytes> noiseRows;
    for (std::uint32_t y = 0; y < 64; ++y) noiseRows.push_back(noise.PackedRow(y));
    const Bytes validJpeg = ReferenceJpeg(noiseRows, 64, false, 75, false, 0);
    const Bytes truncatedJpeg(validJpeg.begin(), validJpeg.begin() + std::ptrdiff_t(validJpeg.size() * 3 / 4));
    Bytes pcx1x8 = MakePcx(Picture{2, 1, {{0, 0, 0}, {0, 0, 0}}}, 1, {}, {0, 0});
    pcx1x8[3] = 1;  // 1 bit x 8 planes: taken by the PCX check, not a layout it reads
    pcx1x8[65] = 8;
    Bytes truncatedPcx = MakePcx(NoisePicture(6, 6, 3), 3, {});
    truncatedPcx.resize(truncatedPcx.size() - 5);

    struct Case {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"8-bit BMP under 1 MiB", Bmp8(16, 16)},
        {"16-bit BMP", MakeBmp(bits16, Bytes(32, 0))},
        {"RLE8 BMP", MakeBmp(rle8, Bytes{0, 1})},
        {"truncated 24-bit BMP", truncated24},
        {"BMP wider than 65535", MakeBmp(wide, Bytes(16, 0))},
        {"BMP over the pixel limit", MakeBmp(huge, Bytes(16, 0))},
        {"PNG cut after the signature", pngSignature},
        {"truncated JPEG", truncatedJpeg},
        {"PCX of 1-bit planes", pcx1x8},
        {"truncated PCX", truncatedPcx},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
        {"empty", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = Write("source.bin", c.bytes);
        EXPECT_EQ(ConvertToJpeg(source.c_str(), PathOf("out.jpg").c_str(), false, 75, true, 0),
                  ConvertResult::SourceUnreadable);
        EXPECT_EQ(ConvertToPng(source.c_str(), PathOf("out.png").c_str(), 24), ConvertResult::SourceUnreadable);
        EXPECT_EQ(Listing(), std::vector<std::string>{"source.bin"});
        RasterImage image;
        EXPECT_EQ(DecodeImageFile(source.c_str(), image), ConvertResult::SourceUnreadable);
        EXPECT_TRUE(image.Empty());
    }
    EXPECT_EQ(ConvertToPng(folder_.c_str(), PathOf("out.png").c_str(), 24), ConvertResult::SourceUnreadable)
        << "a folder as the source";
}

TEST_F(ConverterTest, RefusedFileOverOneMebibyteReachesThePhotoCdDecoder) {
    // The BMP decoder refuses 8 bits per pixel; nothing else claims the file until the PhotoCD decoder,
    // whose only check is the size.
    const std::string source = Write("source.bmp", Bmp8(1024, 1024, 0x100000));
    ASSERT_EQ(ConvertToPng(source.c_str(), PathOf("out.png").c_str(), 24), ConvertResult::ConvertOk);
    Decoded png;
    ASSERT_TRUE(DecodePngRgb(PathOf("out.png"), png));
    EXPECT_EQ(png.width, 768u);
    EXPECT_EQ(png.height, 512u);
}

TEST_F(ConverterTest, OtherSourceFormatsDecode) {
    const Picture picture = NoisePicture(7, 5, 11);
    const Picture smooth = GradientPicture(16, 16);
    std::vector<Rgb> palette;
    for (int i = 0; i < 256; ++i) palette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
    Bytes indices;
    Picture paletted{7, 5, {}};
    for (std::size_t i = 0; i < 35; ++i) {
        indices.push_back(std::uint8_t(i * 37));
        paletted.pixels.push_back(palette[indices.back()]);
    }
    auto greyOf = [](const Picture& p) {
        Picture grey = p;
        for (Rgb& px : grey.pixels) px[1] = px[2] = px[0];
        return grey;
    };

    auto rgbRows = [](const Picture& p, int depth) {
        std::vector<Bytes> rows;
        for (std::uint32_t y = 0; y < p.height; ++y) {
            Bytes row;
            for (std::uint32_t x = 0; x < p.width; ++x)
                for (std::uint8_t v : p.At(x, y)) {
                    row.push_back(v);
                    if (depth == 16) row.push_back(std::uint8_t(~v));  // low byte, cut away on reading
                }
            rows.push_back(row);
        }
        return rows;
    };
    auto alphaRows = [](const Picture& p, bool grey) {
        std::vector<Bytes> rows;
        for (std::uint32_t y = 0; y < p.height; ++y) {
            Bytes row;
            for (std::uint32_t x = 0; x < p.width; ++x) {
                if (grey) {
                    row.push_back(p.At(x, y)[0]);
                } else {
                    row.insert(row.end(), p.At(x, y).begin(), p.At(x, y).end());
                }
                row.push_back(std::uint8_t(x * 40));  // alpha, dropped on output
            }
            rows.push_back(row);
        }
        return rows;
    };
    // 2-bit grey: levels 0, 85, 170, 255, four pixels to a byte, high bits first.
    Picture grey2{8, 2, {}};
    std::vector<Bytes> grey2Rows;
    for (std::uint32_t y = 0; y < 2; ++y) {
        Bytes row(2, 0);
        for (std::uint32_t x = 0; x < 8; ++x) {
            const unsigned level = (x + y) % 4;
            row[x / 4] |= std::uint8_t(level << (6 - 2 * (x % 4)));
            grey2.pixels.push_back({std::uint8_t(85 * level), std::uint8_t(85 * level), std::uint8_t(85 * level)});
        }
        grey2Rows.push_back(row);
    }
    // 4-bit palette.
    std::vector<png_color> pngPalette;
    for (int i = 0; i < 16; ++i)
        pngPalette.push_back({std::uint8_t(i * 16), std::uint8_t(200 - i), std::uint8_t(i * 3)});
    Picture pal4{5, 3, {}};
    std::vector<Bytes> pal4Rows;
    for (std::uint32_t y = 0; y < 3; ++y) {
        Bytes row(3, 0);
        for (std::uint32_t x = 0; x < 5; ++x) {
            const unsigned index = (x * 3 + y * 5) % 16;
            row[x / 2] |= std::uint8_t(index << (x % 2 ? 0 : 4));
            pal4.pixels.push_back({pngPalette[index].red, pngPalette[index].green, pngPalette[index].blue});
        }
        pal4Rows.push_back(row);
    }

    // A grey ramp, one level per row.
    Picture ramp{16, 16, {}};
    std::vector<Bytes> rampRows;
    for (std::uint32_t y = 0; y < 16; ++y) {
        const std::uint8_t level = std::uint8_t(y * 16);
        rampRows.push_back(Bytes(16, level));
        ramp.pixels.insert(ramp.pixels.end(), 16, Rgb{level, level, level});
    }

    using Writer = std::function<bool(const std::string&)>;
    auto png = [](PngSource source) -> Writer {
        return [=](const std::string& p) { return WritePngSource(p, source); };
    };
    auto tiff = [](Picture p, bool grey) -> Writer {
        return [=](const std::string& path) { return WriteTiffSource(path, p, grey); };
    };
    auto bytes = [](Bytes b) -> Writer {
        return [=](const std::string& p) {
            WriteFile(p, b);
            return true;
        };
    };
    const int rgb = PNG_COLOR_TYPE_RGB, none = PNG_INTERLACE_NONE;

    struct Case {
        const char* name;
        Writer write;
        Picture expected;
        int tolerance;  // 0 for lossless sources
    } cases[] = {
        {"PNG RGB 8", png({7, 5, 8, rgb, none, rgbRows(picture, 8), {}}), picture, 0},
        {"PNG RGB 16 interlaced", png({7, 5, 16, rgb, PNG_INTERLACE_ADAM7, rgbRows(picture, 16), {}}), picture, 0},
        {"PNG RGBA", png({7, 5, 8, PNG_COLOR_TYPE_RGB_ALPHA, none, alphaRows(picture, false), {}}), picture, 0},
        {"PNG grey + alpha", png({7, 5, 8, PNG_COLOR_TYPE_GRAY_ALPHA, none, alphaRows(picture, true), {}}),
         greyOf(picture), 0},
        {"PNG grey 2-bit", png({8, 2, 2, PNG_COLOR_TYPE_GRAY, none, grey2Rows, {}}), grey2, 0},
        {"PNG palette 4-bit", png({5, 3, 4, PNG_COLOR_TYPE_PALETTE, none, pal4Rows, pngPalette}), pal4, 0},
        {"TIFF RGB", tiff(picture, false), picture, 0},
        {"TIFF grey", tiff(picture, true), greyOf(picture), 0},
        {"PCX RGB", bytes(MakePcx(picture, 3, {})), picture, 0},
        {"PCX palette", bytes(MakePcx(paletted, 1, palette, indices)), paletted, 0},
        {"JPEG colour", bytes(ReferenceJpeg(rgbRows(smooth, 8), 16, false, 100, false, 0)), smooth, 12},
        {"JPEG grey", bytes(ReferenceJpeg(rampRows, 16, true, 100, false, 0)), ramp, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = PathOf("source.bin");
        ASSERT_TRUE(c.write(source));
        ASSERT_EQ(ConvertToPng(source.c_str(), PathOf("out.png").c_str(), 24), ConvertResult::ConvertOk);
        Decoded png;
        ASSERT_TRUE(DecodePngRgb(PathOf("out.png"), png));
        ASSERT_EQ(png.width, c.expected.width);
        ASSERT_EQ(png.height, c.expected.height);
        int worst = 0;
        for (std::uint32_t y = 0; y < png.height; ++y)
            for (std::uint32_t x = 0; x < png.width; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    worst = std::max(worst, std::abs(png.At(x, y, ch) - c.expected.At(x, y)[ch]));
        EXPECT_LE(worst, c.tolerance);
        // The JPEG encoder takes the same decoded picture.
        EXPECT_EQ(ConvertToJpeg(source.c_str(), PathOf("out.jpg").c_str(), true, 80, true, 10),
                  ConvertResult::ConvertOk);
    }
}

TEST(RasterImageTest, RowsConvertToRgbAndGreyFromEveryDepth) {
    const PaletteEntry palette[2] = {{10, 20, 30}, {200, 100, 0}};
    struct Case {
        const char* name;
        int bits;
        bool paletted;
        Bytes row;  // two pixels as stored
        Bytes rgb;  // the two pixels as RGB
    } cases[] = {
        {"24", 24, false, {1, 2, 3, 250, 128, 0}, {1, 2, 3, 250, 128, 0}},
        {"32 alpha first", 32, false, {9, 1, 2, 3, 0, 250, 128, 0}, {1, 2, 3, 250, 128, 0}},
        // 0x7C00 red 31; 0x03E0 green 31 | 0x0001 blue 1
        {"16 as 5-5-5", 16, false, {0x00, 0x7C, 0xE1, 0x03}, {255, 0, 0, 0, 255, 8}},
        {"8 grey", 8, false, {0, 177}, {0, 0, 0, 177, 177, 177}},
        {"8 paletted, one index past the palette", 8, true, {1, 5}, {200, 100, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RasterImage image;
        ASSERT_TRUE(image.Create(2, 1, c.bits));
        ASSERT_EQ(image.RowBytes(), c.row.size());
        std::memcpy(image.Row(0), c.row.data(), c.row.size());
        if (c.paletted) image.SetPalette(palette, 2);

        Bytes rgb(6, 0xEE);
        image.RowToRgb(0, rgb.data());
        EXPECT_EQ(rgb, c.rgb);
        Bytes grey(2, 0xEE);
        image.RowToGrey(0, grey.data());
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(grey[x], (306 * c.rgb[3 * x] + 601 * c.rgb[3 * x + 1] + 117 * c.rgb[3 * x + 2]) >> 10) << x;
    }
}

TEST(RasterImageTest, SizeLimitsHoldBeforeAllocation) {
    struct Case {
        std::uint64_t width, height;
        int bits;
        bool allowed;
    } cases[] = {
        // clang-format off
        {1, 1, 24, true},
        {65535, 1, 24, true},
        {65536, 1, 8, false},
        {1, 65536, 8, false},
        {0, 5, 24, false},
        {5, 0, 24, false},
        {65535, 16384, 8, true},   // 1 GiB less 16 KiB
        {65535, 16385, 8, false},  // just over 1 GiB
        {16384, 16384, 32, true},  // exactly 1 GiB
        {16384, 16385, 32, false},
        {4, 4, 12, false},
        {UINT64_MAX, UINT64_MAX, 32, false},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " x " << c.bits);
        EXPECT_EQ(RasterImage::SizeAllowed(c.width, c.height, c.bits), c.allowed);
    }
    RasterImage image;
    EXPECT_FALSE(image.Create(65536, 1, 24));
    EXPECT_TRUE(image.Empty());
    EXPECT_FALSE(RasterImage::SizeAllowed(1024, 1024, 24, 1024 * 1024)) << "a caller's lower limit applies";
}

// ---------------------------------------------------------------------------------------------------
// Failures while writing: the old target stays as it was and no temporary file is left.

// Makes every file write past `bytes` fail (EFBIG), the way a full disk would, until destroyed.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    bool Active() const { return active_; }

private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
    bool active_ = false;
};

TEST_F(ConverterTest, FailedWriteKeepsTheOldTargetAndLeavesNoTemporaryFile) {
    const std::string source = Write("source.bmp", Bmp24(NoisePicture(160, 120, 5)));
    const Bytes oldContent = {'o', 'l', 'd'};
    struct Case {
        const char* name;
        bool png;
    } cases[] = {{"jpeg", false}, {"png", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = Write("target.out", oldContent);
        ConvertResult result;
        {
            FileSizeLimit limit(4096);  // the encoded picture is far larger
            ASSERT_TRUE(limit.Active());
            result = c.png ? ConvertToPng(source.c_str(), target.c_str(), 24)
                           : ConvertToJpeg(source.c_str(), target.c_str(), false, 75, true, 0);
        }
        EXPECT_EQ(result, ConvertResult::WriteFailed);
        EXPECT_EQ(ReadFile(target), oldContent);
        EXPECT_EQ(Listing(), (std::vector<std::string>{"source.bmp", "target.out"}));

        // Without the limit the same conversion replaces the old file.
        ASSERT_EQ(c.png ? ConvertToPng(source.c_str(), target.c_str(), 24)
                        : ConvertToJpeg(source.c_str(), target.c_str(), false, 75, true, 0),
                  ConvertResult::ConvertOk);
        EXPECT_GT(ReadFile(target).size(), 4096u);
        EXPECT_EQ(Listing(), (std::vector<std::string>{"source.bmp", "target.out"}));
    }
}

TEST_F(ConverterTest, TargetThatCannotBeCreatedGivesWriteFailed) {
    const std::string source = Write("source.bmp", Bmp24(kSixPixels));
    fs::create_directory(PathOf("taken"));
    WriteFile(PathOf("taken/inside"), {'k', 'e', 'e', 'p'});
    struct Case {
        const char* name;
        std::string target;
    } cases[] = {
        {"folder does not exist", PathOf("no-such-folder/out.file")},
        {"target is a folder", PathOf("taken")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConvertToJpeg(source.c_str(), c.target.c_str(), false, 75, true, 0), ConvertResult::WriteFailed);
        EXPECT_EQ(ConvertToPng(source.c_str(), c.target.c_str(), 24), ConvertResult::WriteFailed);
        EXPECT_EQ(Listing(), (std::vector<std::string>{"source.bmp", "taken"}));
        EXPECT_EQ(ReadFile(PathOf("taken/inside")), (Bytes{'k', 'e', 'e', 'p'}));
    }
}

TEST_F(ConverterTest, AtomicFileWriterReplacesOnlyOnCommit) {
    const std::string target = Write("target", {'o', 'l', 'd'});
    {
        AtomicFileWriter writer;
        FILE* file = writer.Open(target);
        ASSERT_NE(file, nullptr);
        std::fputs("abandoned", file);
        EXPECT_EQ(Listing().size(), 2u) << "the temporary file sits beside the target";
    }  // destroyed without Commit
    EXPECT_EQ(ReadFile(target), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Listing(), std::vector<std::string>{"target"});

    AtomicFileWriter writer;
    FILE* file = writer.Open(target);
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    EXPECT_EQ(ReadFile(target), (Bytes{'o', 'l', 'd'})) << "nothing changes before Commit";
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadFile(target), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(Listing(), std::vector<std::string>{"target"});
    EXPECT_FALSE(writer.Commit()) << "nothing left to commit";
}

}  // namespace
