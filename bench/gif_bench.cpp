// GIF encoding of a screen-sized capture without GDI+: EncodeImage(bmp, kEncodeGif) on a 24-bit BMP,
// timed per call, with the output size and its PSNR against the source as counters.
//
// The picture is bench/data/screen-1920x1080.bmp (made by bench/make_bench_data.sh) unless
// LANYING_GIF_BENCH_BMP names another file. LANYING_GIF_BENCH_OUT, when set, receives the GIF, so that
// bench/gif_vs_imagemagick.sh can measure it with the same tool it uses on ImageMagick's output.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "bench_data.h"
#include "imaging/cdib.h"
#include "output/encode_image.h"
#include "tests/gif_memory_reader.h"

namespace {

ByteArray ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteArray(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// PSNR over the red, green and blue samples, as ImageMagick's `compare -metric PSNR` reports it;
// negative when the GIF does not decode to the source's size.
double PsnrAgainst(const ByteArray& bmp, const ByteArray& gif) {
    CDIB source;
    source.LoadBmpData(bmp);
    const CDIB rgb = source.ChangeBitDepth(24);
    GifReadCursor cursor{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&cursor, ReadGifFromArray, &error);
    if (file == nullptr) return -1;
    double result = -1;
    if (DGifSlurp(file) == GIF_OK && file->ImageCount >= 1 && file->SWidth == rgb.Width() &&
        file->SHeight == rgb.Height() && file->SavedImages[0].ImageDesc.Width == rgb.Width() &&
        file->SavedImages[0].ImageDesc.Height == rgb.Height() && file->SColorMap != nullptr) {
        const GifByteType* indices = file->SavedImages[0].RasterBits;
        double squares = 0;
        for (int y = 0; y < rgb.Height(); ++y) {
            const std::uint8_t* row = rgb.Row(y);
            for (int x = 0; x < rgb.Width(); ++x, row += 3) {
                const GifColorType c = file->SColorMap->Colors[*indices++];
                const double db = row[0] - c.Blue, dg = row[1] - c.Green, dr = row[2] - c.Red;
                squares += dr * dr + dg * dg + db * db;
            }
        }
        const double mse = squares / (3.0 * rgb.Width() * rgb.Height());
        result = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    }
    DGifCloseFile(file, &error);
    return result;
}

void BM_EncodeGifFromBmp(benchmark::State& state) {
    const char* other = std::getenv("LANYING_GIF_BENCH_BMP");
    const ByteArray bmp = other ? ReadFile(other) : LoadBenchData("screen-1920x1080.bmp");
    if (bmp.empty()) {
        state.SkipWithError("no picture to encode");
        return;
    }
    ByteArray gif;
    for (auto _ : state) {
        gif = EncodeImage(bmp, kEncodeGif);
        benchmark::DoNotOptimize(gif.data());
    }
    if (gif.empty()) {
        state.SkipWithError("EncodeImage gave no GIF");
        return;
    }
    state.counters["gif_bytes"] = double(gif.size());
    state.counters["psnr_db"] = PsnrAgainst(bmp, gif);
    if (const char* out = std::getenv("LANYING_GIF_BENCH_OUT"))
        std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
}
BENCHMARK(BM_EncodeGifFromBmp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
