#include "imaging/converter.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "imaging/safe_file_write.h"

// libjpeg and libpng report fatal errors by calling back into us, and we longjmp out of them. The
// functions that call setjmp below therefore keep all their state in plain structs owned by the caller
// (no object with a destructor may be jumped over), and every C++ resource lives a frame further out.

namespace {

// Header bytes every decoder's check may look at without reading the file again.
constexpr std::size_t kHeadBytes = 128;

// Unpadded BMP rows are read in blocks of about this size.
constexpr std::size_t kBmpBlockBytes = 256 * 1024;

// libjpeg's own working memory (coefficient buffers of a progressive file can be far larger than the
// picture): past this it fails cleanly instead of allocating.
constexpr long kJpegWorkingMemory = 512L * 1024 * 1024;

// libtiff refuses any single allocation above this.
constexpr tmsize_t kTiffMaxSingleAlloc = tmsize_t(256) * 1024 * 1024;

// The PhotoCD base image: 768 x 512, luma at full resolution, both chroma channels at half resolution
// in each direction, stored as pairs of rows: Y row, Y row, C1 half row, C2 half row.
constexpr std::int64_t kPhotoCdMinSize = 0x100000;  // more than 0xFFFFF bytes
constexpr std::int64_t kPhotoCdBaseOffset = 0x30000;
constexpr std::uint32_t kPhotoCdWidth = 768;
constexpr std::uint32_t kPhotoCdHeight = 512;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::uint16_t ReadLe16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

std::int64_t FileSize(FILE* file) {
    if (SeekFile(file, 0, SEEK_END) != 0) return -1;
    return TellFile(file);
}

// The source as the decoders see it: the open file, its first bytes and its length (-1 when unknown).
struct SourceFile {
    FILE* file = nullptr;
    std::uint8_t head[kHeadBytes] = {};
    std::size_t headLength = 0;
    std::int64_t size = -1;
    std::uint64_t maxPixelBytes = RasterImage::kMaxPixelBytes;
};

// A decoder either refuses the file at its header check, so the next one is asked, or takes it and
// then reads it or fails; a taken file is never offered to a later decoder.
enum class DecodeOutcome { NotMine, Decoded, Failed };

// ---------------------------------------------------------------------------------------------------
// libjpeg glue

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// The converter shows no messages.
void JpegSilence(j_common_ptr) {}

// While decoding, a warning means corrupt or missing data; libjpeg would carry on and make up pixels
// (for a truncated file, a whole picture of grey), so it counts as a read failure.
void JpegFailOnWarning(j_common_ptr cinfo, int level) {
    if (level < 0) JpegErrorExit(cinfo);
}

void InstallJpegErrors(JpegErrorManager& manager, bool warningsAreFatal) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = JpegErrorExit;
    manager.pub.output_message = JpegSilence;
    if (warningsAreFatal) manager.pub.emit_message = JpegFailOnWarning;
    manager.message[0] = '\0';
}

struct JpegDecodeJob {
    FILE* file;
    RasterImage* image;
    std::uint64_t maxPixelBytes;
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
};

bool RunJpegDecode(JpegDecodeJob& job) {
    job.cinfo.err = &job.error.pub;
    InstallJpegErrors(job.error, true);
    if (setjmp(job.error.jump)) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    jpeg_create_decompress(&job.cinfo);
    jpeg_stdio_src(&job.cinfo, job.file);
    jpeg_read_header(&job.cinfo, TRUE);
    job.cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    // One component decodes to grey, three to RGB; libjpeg refuses anything it cannot turn into those.
    if (job.cinfo.num_components == 1) {
        job.cinfo.out_color_space = JCS_GRAYSCALE;
    } else {
        job.cinfo.out_color_space = JCS_RGB;
    }
    if (!job.image->Create(job.cinfo.image_width, job.cinfo.image_height,
                           job.cinfo.out_color_space == JCS_GRAYSCALE ? 8 : 24, job.maxPixelBytes)) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    jpeg_start_decompress(&job.cinfo);
    if (job.cinfo.output_width != job.image->Width() || job.cinfo.output_height != job.image->Height() ||
        std::size_t(job.cinfo.output_components) * job.cinfo.output_width != job.image->RowBytes()) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    while (job.cinfo.output_scanline < job.cinfo.output_height) {
        JSAMPROW row = job.image->Row(job.cinfo.output_scanline);
        jpeg_read_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&job.cinfo);
    jpeg_destroy_decompress(&job.cinfo);
    return true;
}

struct JpegEncodeJob {
    const RasterImage* image;
    FILE* file;
    JpegOptions options;
    std::uint8_t* rowBuffer;  // width x 3 bytes, for rows that need converting
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
};

bool RunJpegEncode(JpegEncodeJob& job) {
    job.cinfo.err = &job.error.pub;
    InstallJpegErrors(job.error, false);
    if (setjmp(job.error.jump)) {
        jpeg_destroy_compress(&job.cinfo);
        return false;
    }
    jpeg_create_compress(&job.cinfo);
    jpeg_stdio_dest(&job.cinfo, job.file);
    job.cinfo.image_width = job.image->Width();
    job.cinfo.image_height = job.image->Height();
    if (job.options.grey) {
        job.cinfo.input_components = 1;
        job.cinfo.in_color_space = JCS_GRAYSCALE;
    } else {
        job.cinfo.input_components = 3;
        job.cinfo.in_color_space = JCS_RGB;
    }
    jpeg_set_defaults(&job.cinfo);
    job.cinfo.optimize_coding = job.options.optimise ? TRUE : FALSE;
    job.cinfo.smoothing_factor = job.options.smoothing;
    jpeg_set_quality(&job.cinfo, job.options.quality, TRUE);
    jpeg_start_compress(&job.cinfo, TRUE);
    // Rows already in the wanted layout go to libjpeg as they are (it only reads them).
    const bool asStored = job.options.grey ? job.image->BitsPerPixel() == 8 && job.image->PaletteSize() == 0
                                           : job.image->BitsPerPixel() == 24;
    while (job.cinfo.next_scanline < job.cinfo.image_height) {
        const std::uint32_t y = job.cinfo.next_scanline;
        JSAMPROW row = job.rowBuffer;
        if (asStored) {
            row = const_cast<JSAMPROW>(job.image->Row(y));
        } else if (job.options.grey) {
            job.image->RowToGrey(y, job.rowBuffer);
        } else {
            job.image->RowToRgb(y, job.rowBuffer);
        }
        jpeg_write_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_compress(&job.cinfo);
    jpeg_destroy_compress(&job.cinfo);
    return true;
}

// ---------------------------------------------------------------------------------------------------
// libpng glue

void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngIgnoreWarning(png_structp, png_const_charp) {}

void PngWriteData(png_structp png, png_bytep data, png_size_t length) {
    // A short write is as fatal as none: the rest of the file would be missing.
    if (std::fwrite(data, 1, length, static_cast<FILE*>(png_get_io_ptr(png))) != length)
        png_error(png, "write png image error");
}

void PngFlushData(png_structp png) {
    if (std::fflush(static_cast<FILE*>(png_get_io_ptr(png))) != 0) png_error(png, "fulsh file error");
}

struct PngDecodeJob {
    FILE* file;
    RasterImage* image;
    std::uint64_t maxPixelBytes;
    png_structp png;
    png_infop info;
};

bool RunPngDecode(PngDecodeJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_init_io(job.png, job.file);
    png_set_user_limits(job.png, RasterImage::kMaxSide, RasterImage::kMaxSide);
    png_read_info(job.png, job.info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(job.png, job.info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    if (bitDepth == 16) png_set_strip_16(job.png);
    if (bitDepth < 8) {
        if (colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_packing(job.png);
        } else {
            png_set_expand_gray_1_2_4_to_8(job.png);
        }
    }
    double fileGamma = 0;
    png_set_gamma(job.png, 2.2, png_get_gAMA(job.png, job.info, &fileGamma) ? fileGamma : 0.45455);

    int bitsPerPixel = 24;
    switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE:
    case PNG_COLOR_TYPE_GRAY:
        bitsPerPixel = 8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(job.png);
        png_set_swap_alpha(job.png);
        bitsPerPixel = 32;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        png_set_swap_alpha(job.png);
        bitsPerPixel = 32;
        break;
    default:
        break;
    }
    const int passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);

    if (!job.image->Create(width, height, bitsPerPixel, job.maxPixelBytes)) return false;
    if (png_get_rowbytes(job.png, job.info) != job.image->RowBytes()) return false;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (!png_get_PLTE(job.png, job.info, &entries, &count)) return false;
        PaletteEntry palette[256];
        if (count > 256) count = 256;
        for (int i = 0; i < count; ++i) palette[i] = {entries[i].red, entries[i].green, entries[i].blue};
        job.image->SetPalette(palette, count);
    }
    // Interlaced files come in several passes over the same rows; libpng merges each pass into them.
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < height; ++y) png_read_row(job.png, job.image->Row(y), nullptr);
    }
    return true;
}

struct PngEncodeJob {
    const RasterImage* image;
    FILE* file;
    std::uint8_t* rowBuffer;  // width x 3 bytes, for rows that need converting
    png_structp png;
    png_infop info;
};

bool RunPngEncode(PngEncodeJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_set_write_fn(job.png, job.file, PngWriteData, PngFlushData);
    png_set_IHDR(job.png, job.info, job.image->Width(), job.image->Height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job.png, job.info);
    const int passes = png_set_interlace_handling(job.png);
    const bool asStored = job.image->BitsPerPixel() == 24;
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < job.image->Height(); ++y) {
            png_bytep row = job.rowBuffer;
            if (asStored) {
                row = const_cast<png_bytep>(job.image->Row(y));  // libpng copies it before filtering
            } else {
                job.image->RowToRgb(y, job.rowBuffer);
            }
            png_write_rows(job.png, &row, 1);
        }
    }
    png_write_end(job.png, job.info);
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Decoders, in the order they are asked

DecodeOutcome DecodeJpeg(SourceFile& source, RasterImage& image) {
    if (source.headLength < 2 || source.head[0] != 0xFF || source.head[1] != 0xD8) return DecodeOutcome::NotMine;
    auto job = std::make_unique<JpegDecodeJob>();
    job->file = source.file;
    job->image = &image;
    job->maxPixelBytes = source.maxPixelBytes;
    return RunJpegDecode(*job) ? DecodeOutcome::Decoded : DecodeOutcome::Failed;
}

// BGR to RGB, eight pixels (24 bytes, three little-endian words) at a time: in each pixel the bytes at
// offsets 0 and 2 trade places, which for the whole group is a shift by two bytes each way under masks.
// Byte-by-byte swapping was the largest cost of reading a screen-sized BMP.
static_assert(std::endian::native == std::endian::little, "the word masks assume little-endian words");

struct PixelGroup {
    std::uint64_t w0, w1, w2;
};

inline PixelGroup LoadSwappingRedBlue(const std::uint8_t* p) {
    std::uint64_t w0, w1, w2;
    std::memcpy(&w0, p, 8);
    std::memcpy(&w1, p + 8, 8);
    std::memcpy(&w2, p + 16, 8);
    // Masks of the bytes that are the first, middle and last byte of a pixel, in each of the three words.
    constexpr std::uint64_t first0 = 0x00FF0000FF0000FFull, first1 = 0xFF0000FF0000FF00ull,
                            first2 = 0x0000FF0000FF0000ull;
    constexpr std::uint64_t middle0 = first1, middle1 = first2, middle2 = first0;
    constexpr std::uint64_t last0 = first2, last1 = first0, last2 = first1;
    return {
        (w0 & middle0) | (((w0 >> 16) | (w1 << 48)) & first0) | ((w0 << 16) & last0),
        (w1 & middle1) | (((w1 >> 16) | (w2 << 48)) & first1) | (((w1 << 16) | (w0 >> 48)) & last1),
        (w2 & middle2) | ((w2 >> 16) & first2) | (((w2 << 16) | (w1 >> 48)) & last2),
    };
}

inline void Store(std::uint8_t* p, const PixelGroup& group) {
    std::memcpy(p, &group.w0, 8);
    std::memcpy(p + 8, &group.w1, 8);
    std::memcpy(p + 16, &group.w2, 8);
}

void SwapRedBlue(std::uint8_t* row, std::size_t bytes) {
    std::size_t i = 0;
    for (; i + 24 <= bytes; i += 24) Store(row + i, LoadSwappingRedBlue(row + i));
    for (; i < bytes; i += 3) std::swap(row[i], row[i + 2]);
}

// Reverses the order of `rows` rows of `bytes` bytes each, converting them from BGR to RGB on the way.
void ReverseRowsSwappingRedBlue(std::uint8_t* block, std::uint32_t rows, std::size_t bytes) {
    std::uint32_t top = 0, bottom = rows - 1;
    for (; top < bottom; ++top, --bottom) {
        std::uint8_t* a = block + top * bytes;
        std::uint8_t* b = block + bottom * bytes;
        std::size_t i = 0;
        for (; i + 24 <= bytes; i += 24) {
            const PixelGroup fromA = LoadSwappingRedBlue(a + i), fromB = LoadSwappingRedBlue(b + i);
            Store(a + i, fromB);
            Store(b + i, fromA);
        }
        for (; i < bytes; i += 3) {
            const std::uint8_t a0 = a[i], a1 = a[i + 1], a2 = a[i + 2];
            a[i] = b[i + 2];
            a[i + 1] = b[i + 1];
            a[i + 2] = b[i];
            b[i] = a2;
            b[i + 1] = a1;
            b[i + 2] = a0;
        }
    }
    if (top == bottom) SwapRedBlue(block + top * bytes, bytes);
}

DecodeOutcome DecodeBmp(SourceFile& source, RasterImage& image) {
    const std::uint8_t* head = source.head;
    if (source.headLength < 18 || head[0] != 'B' || (head[1] != 'M' && head[1] != 'A')) return DecodeOutcome::NotMine;
    const std::uint32_t offBits = ReadLe32(head + 10);
    const std::uint32_t infoSize = ReadLe32(head + 14);

    std::uint64_t width = 0, height = 0;
    unsigned bitCount = 0;
    bool bottomUp = true;
    if (infoSize == 12) {
        // BITMAPCOREHEADER: 16-bit fields, always bottom-up.
        if (offBits < 14 + 12 || source.headLength < 14 + 12) return DecodeOutcome::NotMine;
        width = ReadLe16(head + 18);
        height = ReadLe16(head + 20);
        bitCount = ReadLe16(head + 24);
    } else if (infoSize >= 40) {
        // BITMAPINFOHEADER, or a later version that begins with it.
        if (offBits < 14 + 40 || source.headLength < 14 + 40) return DecodeOutcome::NotMine;
        const std::int32_t storedWidth = std::int32_t(ReadLe32(head + 18));
        const std::int32_t storedHeight = std::int32_t(ReadLe32(head + 22));
        bitCount = ReadLe16(head + 28);
        const std::uint32_t compression = ReadLe32(head + 30);
        if (storedWidth <= 0 || storedHeight == 0 || compression > 3) return DecodeOutcome::NotMine;
        width = std::uint64_t(storedWidth);
        height = storedHeight > 0 ? std::uint64_t(storedHeight) : std::uint64_t(-std::int64_t(storedHeight));
        bottomUp = storedHeight > 0;
    } else {
        return DecodeOutcome::NotMine;
    }
    if (bitCount != 24) return DecodeOutcome::NotMine;

    // Taken: from here on any problem is a read failure. Size limits and the file length are checked
    // before anything is allocated.
    if (!RasterImage::SizeAllowed(width, height, 24, source.maxPixelBytes)) return DecodeOutcome::Failed;
    const std::uint64_t stride = 4 * ((24 * width + 31) / 32);
    const std::uint64_t end = std::uint64_t(offBits) + stride * height;
    if (source.size >= 0 && std::uint64_t(source.size) < end) return DecodeOutcome::Failed;
    if (!image.Create(std::uint32_t(width), std::uint32_t(height), 24, source.maxPixelBytes))
        return DecodeOutcome::Failed;
    if (SeekFile(source.file, offBits, SEEK_SET) != 0) return DecodeOutcome::Failed;

    const std::size_t rowBytes = image.RowBytes();
    const std::size_t padding = std::size_t(stride) - rowBytes;
    if (padding == 0) {
        // Unpadded rows (the width a multiple of 4, as every common screen width is) are read in blocks
        // of whole rows straight into place: consecutive rows of the file are consecutive rows of the
        // image, in reverse order when bottom-up. Each block is then put in order and turned from
        // blue-green-red into red-green-blue while it is still in the cache.
        const std::uint32_t rowsPerBlock = std::uint32_t(std::max<std::size_t>(1, kBmpBlockBytes / rowBytes));
        for (std::uint32_t done = 0; done < height;) {
            const std::uint32_t count = std::min(rowsPerBlock, std::uint32_t(height) - done);
            std::uint8_t* block = image.Row(bottomUp ? std::uint32_t(height) - done - count : done);
            const std::size_t bytes = rowBytes * count;
            if (std::fread(block, 1, bytes, source.file) != bytes) return DecodeOutcome::Failed;
            if (bottomUp) {
                ReverseRowsSwappingRedBlue(block, count, rowBytes);
            } else {
                SwapRedBlue(block, bytes);
            }
            done += count;
        }
        return DecodeOutcome::Decoded;
    }
    // Otherwise row by row, each into its place, the 0-3 padding bytes read aside.
    std::uint8_t pad[4];
    for (std::uint32_t i = 0; i < height; ++i) {
        std::uint8_t* row = image.Row(bottomUp ? std::uint32_t(height) - 1 - i : i);
        if (std::fread(row, 1, rowBytes, source.file) != rowBytes) return DecodeOutcome::Failed;
        if (std::fread(pad, 1, padding, source.file) != padding) return DecodeOutcome::Failed;
        SwapRedBlue(row, rowBytes);
    }
    return DecodeOutcome::Decoded;
}

// libtiff reads through the already open FILE, so paths never reach it.
tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    return tmsize_t(std::fread(buffer, 1, std::size_t(size), static_cast<FILE*>(handle)));
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t TiffSeek(thandle_t handle, toff_t offset, int origin) {
    FILE* file = static_cast<FILE*>(handle);
    if (SeekFile(file, std::int64_t(offset), origin) != 0) return toff_t(-1);
    return toff_t(TellFile(file));
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) {
    FILE* file = static_cast<FILE*>(handle);
    const std::int64_t position = TellFile(file);
    const std::int64_t size = FileSize(file);
    SeekFile(file, position, SEEK_SET);
    return size < 0 ? 0 : toff_t(size);
}
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct TiffOptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

DecodeOutcome DecodeTiff(SourceFile& source, RasterImage& image) {
    const std::uint8_t* head = source.head;
    const bool little =
        source.headLength >= 4 && head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0;
    const bool big =
        source.headLength >= 4 && head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
    if (!little && !big) return DecodeOutcome::NotMine;

    std::unique_ptr<TIFFOpenOptions, TiffOptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) return DecodeOutcome::NotMine;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TiffQuiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TiffQuiet, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kTiffMaxSingleAlloc);
    // "m": no memory mapping; TiffMap declines it anyway.
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt("source", "rm", source.file, TiffRead, TiffWrite, TiffSeek,
                                                             TiffClose, TiffSize, TiffMap, TiffUnmap, options.get()));
    if (!tiff) return DecodeOutcome::NotMine;
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
        return DecodeOutcome::NotMine;

    // libtiff renders every supported kind of TIFF as 32-bit RGBA words; the image is sized to take
    // them directly and each word is then rearranged into alpha, red, green, blue bytes in place.
    if (!image.Create(width, height, 32, source.maxPixelBytes)) return DecodeOutcome::Failed;
    auto* raster = reinterpret_cast<std::uint32_t*>(image.Row(0));
    if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, raster, ORIENTATION_TOPLEFT, 1))
        return DecodeOutcome::Failed;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* p = image.Row(y);
        for (std::uint32_t x = 0; x < width; ++x, p += 4) {
            std::uint32_t word;
            std::memcpy(&word, p, 4);
            p[0] = std::uint8_t(TIFFGetA(word));
            p[1] = std::uint8_t(TIFFGetR(word));
            p[2] = std::uint8_t(TIFFGetG(word));
            p[3] = std::uint8_t(TIFFGetB(word));
        }
    }
    return DecodeOutcome::Decoded;
}

DecodeOutcome DecodePng(SourceFile& source, RasterImage& image) {
    if (source.headLength < 8 || png_sig_cmp(source.head, 0, 8) != 0) return DecodeOutcome::NotMine;
    PngDecodeJob job{source.file, &image, source.maxPixelBytes, nullptr, nullptr};
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngIgnoreWarning);
    if (job.png == nullptr) return DecodeOutcome::Failed;
    job.info = png_create_info_struct(job.png);
    const bool ok = job.info != nullptr && RunPngDecode(job);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    return ok ? DecodeOutcome::Decoded : DecodeOutcome::Failed;
}

DecodeOutcome DecodePcx(SourceFile& source, RasterImage& image) {
    const std::uint8_t* head = source.head;
    if (source.headLength < 128 || head[0] != 0x0A) return DecodeOutcome::NotMine;
    const unsigned bits = head[3];
    const unsigned planes = head[65];
    if (bits * planes != 8 && bits * planes != 24) return DecodeOutcome::NotMine;

    // Taken. Of the layouts the check lets through, 8-bit single-plane (paletted) and 8-bit three-plane
    // (RGB) files are read.
    if (bits != 8 || (planes != 1 && planes != 3)) return DecodeOutcome::Failed;
    const bool runLength = head[2] == 1;
    const unsigned xMin = ReadLe16(head + 4), yMin = ReadLe16(head + 6);
    const unsigned xMax = ReadLe16(head + 8), yMax = ReadLe16(head + 10);
    const unsigned bytesPerLine = ReadLe16(head + 66);
    if (xMax < xMin || yMax < yMin) return DecodeOutcome::Failed;
    const std::uint32_t width = xMax - xMin + 1, height = yMax - yMin + 1;
    if (bytesPerLine < width) return DecodeOutcome::Failed;
    if (!image.Create(width, height, planes == 1 ? 8 : 24, source.maxPixelBytes)) return DecodeOutcome::Failed;

    if (planes == 1) {
        // A 256-colour palette may follow the pixels: the marker 0x0C and 768 bytes at the very end.
        // Without it the levels are grey.
        std::uint8_t tail[769];
        if (source.size >= 128 + 769 && SeekFile(source.file, source.size - 769, SEEK_SET) == 0 &&
            std::fread(tail, 1, sizeof tail, source.file) == sizeof tail && tail[0] == 0x0C) {
            PaletteEntry palette[256];
            for (int i = 0; i < 256; ++i) palette[i] = {tail[1 + 3 * i], tail[2 + 3 * i], tail[3 + 3 * i]};
            image.SetPalette(palette, 256);
        }
    }
    if (SeekFile(source.file, 128, SEEK_SET) != 0) return DecodeOutcome::Failed;

    std::vector<std::uint8_t> line(std::size_t(planes) * bytesPerLine);
    unsigned runLeft = 0;  // runs may carry over from one line into the next
    int runValue = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < line.size();) {
            if (runLeft == 0) {
                const int c = std::getc(source.file);
                if (c == EOF) return DecodeOutcome::Failed;
                if (runLength && (c & 0xC0) == 0xC0) {
                    runLeft = unsigned(c & 0x3F);
                    runValue = std::getc(source.file);
                    if (runValue == EOF) return DecodeOutcome::Failed;
                    continue;  // a zero-length run is skipped
                }
                runLeft = 1;
                runValue = c;
            }
            line[i++] = std::uint8_t(runValue);
            --runLeft;
        }
        std::uint8_t* out = image.Row(y);
        if (planes == 1) {
            std::memcpy(out, line.data(), width);
        } else {
            for (std::uint32_t x = 0; x < width; ++x, out += 3) {
                out[0] = line[x];
                out[1] = line[bytesPerLine + x];
                out[2] = line[2 * bytesPerLine + x];
            }
        }
    }
    return DecodeOutcome::Decoded;
}

std::uint8_t ClampToByte(double value) { return value <= 0 ? 0 : value >= 255 ? 255 : std::uint8_t(value + 0.5); }

DecodeOutcome DecodePhotoCd(SourceFile& source, RasterImage& image) {
    // The format has no signature this chain looks for; the size is the whole check.
    if (source.size < kPhotoCdMinSize) return DecodeOutcome::NotMine;
    if (!image.Create(kPhotoCdWidth, kPhotoCdHeight, 24, source.maxPixelBytes)) return DecodeOutcome::Failed;
    if (SeekFile(source.file, kPhotoCdBaseOffset, SEEK_SET) != 0) return DecodeOutcome::Failed;

    std::vector<std::uint8_t> pair(kPhotoCdWidth * 3);  // two luma rows, then the two chroma half rows
    for (std::uint32_t y = 0; y < kPhotoCdHeight; y += 2) {
        if (std::fread(pair.data(), 1, pair.size(), source.file) != pair.size()) return DecodeOutcome::Failed;
        const std::uint8_t* chroma1 = pair.data() + 2 * kPhotoCdWidth;
        const std::uint8_t* chroma2 = chroma1 + kPhotoCdWidth / 2;
        for (std::uint32_t half = 0; half < 2; ++half) {
            const std::uint8_t* luma = pair.data() + half * kPhotoCdWidth;
            std::uint8_t* out = image.Row(y + half);
            for (std::uint32_t x = 0; x < kPhotoCdWidth; ++x, out += 3) {
                // PhotoYCC to RGB.
                const double l = 1.3584 * luma[x];
                const double c1 = 2.2179 * (chroma1[x / 2] - 156.0);
                const double c2 = 1.8215 * (chroma2[x / 2] - 137.0);
                out[0] = ClampToByte(l + c2);
                out[1] = ClampToByte(l - 0.194 * c1 - 0.509 * c2);
                out[2] = ClampToByte(l + c1);
            }
        }
    }
    return DecodeOutcome::Decoded;
}

using Decoder = DecodeOutcome (*)(SourceFile&, RasterImage&);
constexpr Decoder kDecoderChain[] = {DecodeJpeg, DecodeBmp, DecodeTiff, DecodePng, DecodePcx, DecodePhotoCd};

// ---------------------------------------------------------------------------------------------------

bool Present(const char* path) { return path != nullptr && path[0] != '\0'; }

bool JpegOptionsValid(const JpegOptions& options) {
    return options.quality >= 1 && options.quality <= 100 && options.smoothing >= 0 && options.smoothing <= 100;
}

}  // namespace

ConvertResult DecodeImageFile(const char* path, RasterImage& image, std::uint64_t maxPixelBytes) {
    image.Release();
    if (!Present(path)) return ConvertResult::SourceUnreadable;
    FilePtr file(std::fopen(path, "rb"));
    if (!file) return ConvertResult::SourceUnreadable;

    SourceFile source;
    source.file = file.get();
    source.headLength = std::fread(source.head, 1, kHeadBytes, source.file);
    source.size = FileSize(source.file);
    source.maxPixelBytes = maxPixelBytes;
    for (Decoder decoder : kDecoderChain) {
        std::clearerr(source.file);
        if (SeekFile(source.file, 0, SEEK_SET) != 0) break;
        const DecodeOutcome outcome = decoder(source, image);
        if (outcome == DecodeOutcome::Decoded) return ConvertResult::ConvertOk;
        if (outcome == DecodeOutcome::Failed) break;
        image.Release();
    }
    image.Release();
    return ConvertResult::SourceUnreadable;
}

ConvertResult WriteJpegFile(const RasterImage& image, const char* target, const JpegOptions& options) {
    if (image.Empty() || !Present(target) || !JpegOptionsValid(options)) return ConvertResult::BadArgument;
    AtomicFileWriter writer;
    FILE* file = writer.Open(target);
    if (file == nullptr) return ConvertResult::WriteFailed;
    std::vector<std::uint8_t> rowBuffer(std::size_t(image.Width()) * 3);
    auto job = std::make_unique<JpegEncodeJob>();
    job->image = &image;
    job->file = file;
    job->options = options;
    job->rowBuffer = rowBuffer.data();
    if (!RunJpegEncode(*job)) return ConvertResult::WriteFailed;  // the writer deletes the temporary file
    return writer.Commit() ? ConvertResult::ConvertOk : ConvertResult::WriteFailed;
}

ConvertResult WritePngFile(const RasterImage& image, const char* target) {
    if (image.Empty() || !Present(target)) return ConvertResult::BadArgument;
    AtomicFileWriter writer;
    FILE* file = writer.Open(target);
    if (file == nullptr) return ConvertResult::WriteFailed;
    std::vector<std::uint8_t> rowBuffer(std::size_t(image.Width()) * 3);
    // libpng 1.6 refuses to work for a caller that names a 1.0.x interface, so the headers' own version
    // is passed; the calls below exist unchanged since 1.0.
    PngEncodeJob job{&image, file, rowBuffer.data(), nullptr, nullptr};
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngIgnoreWarning);
    if (job.png == nullptr) return ConvertResult::WriteFailed;
    job.info = png_create_info_struct(job.png);
    const bool ok = job.info != nullptr && RunPngEncode(job);
    png_destroy_write_struct(&job.png, &job.info);
    if (!ok) return ConvertResult::WriteFailed;
    return writer.Commit() ? ConvertResult::ConvertOk : ConvertResult::WriteFailed;
}

ConvertResult ConvertToJpeg(const char* source, const char* target, bool grey, int quality, bool optimise,
                            int smoothing) {
    const JpegOptions options{grey, quality, optimise, smoothing};
    if (!Present(source) || !Present(target) || !JpegOptionsValid(options)) return ConvertResult::BadArgument;
    if (!FileExists(source)) return ConvertResult::SourceMissing;
    RasterImage image;
    const ConvertResult decoded = DecodeImageFile(source, image);
    if (decoded != ConvertResult::ConvertOk) return decoded;
    return WriteJpegFile(image, target, options);
}

ConvertResult ConvertToPng(const char* source, const char* target, int bitsPerPixel) {
    if (!Present(source) || !Present(target) || bitsPerPixel != 24) return ConvertResult::BadArgument;
    if (!FileExists(source)) return ConvertResult::SourceMissing;
    RasterImage image;
    const ConvertResult decoded = DecodeImageFile(source, image);
    if (decoded != ConvertResult::ConvertOk) return decoded;
    return WritePngFile(image, target);
}
