#pragma once
// The image-format converter: an image file in, a JPEG or PNG file out.
//
// The source is offered to the decoders in a fixed order (JPEG, BMP, TIFF, PNG, PCX, PhotoCD); the
// first whose header check accepts it reads it into a RasterImage, and no later one is tried. The
// picture is then encoded into a temporary file beside the target, which replaces the target only when
// the encoder finished: a failed conversion never leaves a partial target nor costs an existing one.
//
// Paths are narrow strings in the system's ANSI code page (GBK on the target desktop).
#include <cstdint>

#include "imaging/raster_image.h"

enum class ConvertResult : std::int32_t {
    ConvertOk = 1,
    SourceMissing = -1,     // the source file does not exist
    SourceUnreadable = -3,  // no decoder accepted the source, or its pixels could not be read
    WriteFailed = -4,       // the encoder could not create or write the target
    BadArgument = -7,       // an argument is missing or out of range
};

// grey: one-component output. quality 1-100, smoothing 0-100, optimise: optimised Huffman coding.
ConvertResult ConvertToJpeg(const char* source, const char* target, bool grey, int quality, bool optimise,
                            int smoothing);
// bitsPerPixel must be 24: the output is always 8-bit RGB, Adam7-interlaced.
ConvertResult ConvertToPng(const char* source, const char* target, int bitsPerPixel);

// The two halves of a conversion, for callers that hold the picture themselves (fuzzer, benchmarks).

struct JpegOptions {
    bool grey = false;
    int quality = 75;
    bool optimise = false;
    int smoothing = 0;
};

// Runs the decoder chain over the file. ConvertOk, or SourceUnreadable when it cannot be opened, no
// decoder accepts it, its size is beyond RasterImage's limits or maxPixelBytes, or its pixels cannot be
// read. `image` is empty unless ConvertOk.
ConvertResult DecodeImageFile(const char* path, RasterImage& image,
                              std::uint64_t maxPixelBytes = RasterImage::kMaxPixelBytes);

// Encode `image` (not empty) to `target`: ConvertOk or WriteFailed. The options are not range-checked.
ConvertResult WriteJpegFile(const RasterImage& image, const char* target, const JpegOptions& options);
ConvertResult WritePngFile(const RasterImage& image, const char* target);
