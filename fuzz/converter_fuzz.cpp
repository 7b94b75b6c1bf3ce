// The converter on arbitrary file contents: the bytes become a source file, the decoder chain reads it,
// and a picture it accepts goes through both encoders. Besides the sanitizers' findings, it stops on a
// decoded picture that an encoder cannot write and on anything left behind in its working folder.
//
//   TMPDIR=/dev/shm build/<dir>/fuzz/converter_fuzz -dict=fuzz/converter.dict <work corpus> fuzz/corpus/converter
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/converter.h"

namespace {

// Keeps each input fast; the real limits are covered by the unit tests.
constexpr std::uint64_t kFuzzPixelBytes = 3 * 1024 * 1024;

// Where the pixel sum goes, so that the reads are not optimised away.
volatile unsigned pixelSum;

// libjpeg's largest side; a wider picture legitimately fails to encode.
constexpr std::uint32_t kJpegMaxSide = 65500;

class Workspace {
public:
    Workspace() {
        // TMPDIR may point at a memory file system, which keeps the file traffic of every run cheap.
        std::string pattern = (std::filesystem::temp_directory_path() / "converter-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder_ = pattern;
    }
    ~Workspace() { std::filesystem::remove_all(folder_); }
    std::string Path(const char* name) const { return folder_ + "/" + name; }
    int Entries() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            (void)entry;
            ++count;
        }
        return count;
    }

private:
    std::string folder_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Workspace workspace;
    const std::string source = workspace.Path("source");
    const std::string jpeg = workspace.Path("out.jpg");
    const std::string png = workspace.Path("out.png");

    FILE* file = std::fopen(source.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();

    RasterImage image;
    if (DecodeImageFile(source.c_str(), image, kFuzzPixelBytes) == ConvertResult::ConvertOk) {
        // Read every byte the decoder claims to have filled.
        unsigned sum = 0;
        for (std::uint32_t y = 0; y < image.Height(); ++y)
            for (std::size_t i = 0; i < image.RowBytes(); ++i) sum += image.Row(y)[i];
        pixelSum = sum;

        // The options vary with the input so that every encoder setting gets exercised.
        JpegOptions options;
        options.grey = (size & 1) != 0;
        options.optimise = (size & 2) != 0;
        options.quality = 1 + int(size % 100);
        options.smoothing = int((size / 3) % 101);
        const bool jpegFits = image.Width() <= kJpegMaxSide && image.Height() <= kJpegMaxSide;
        const ConvertResult jpegResult = WriteJpegFile(image, jpeg.c_str(), options);
        if (jpegResult != (jpegFits ? ConvertResult::ConvertOk : ConvertResult::WriteFailed)) std::abort();
        if (WritePngFile(image, png.c_str()) != ConvertResult::ConvertOk) std::abort();
    } else if (!image.Empty()) {
        std::abort();
    }
    std::remove(jpeg.c_str());
    std::remove(png.c_str());
    // Only the source itself may remain: no temporary file of a writer.
    if (workspace.Entries() != 1) std::abort();
    return 0;
}
