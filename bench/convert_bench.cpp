// The converter, file to file, against a bare encode of the same rows into memory with the same settings
// (libjpeg: quality 75, optimised coding, no smoothing; libpng: 8-bit RGB, Adam7, default compression).
// The difference is what the converter adds: reading and decoding the BMP, scratch storage, the file
// output and its replacement of the target. After the runs the ratios of the best times are printed
// against their targets (JPEG <= 1.25, PNG <= 1.2).
//
// Inputs: bench/data/screen-1920x1080.bmp and screen-3840x2160.bmp (bench/make_bench_data.sh), or the
// same names in the folder given by LANYING_BENCH_DATA.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "imaging/converter.h"

namespace {

constexpr int kQuality = 75;

std::string DataFolder() {
    if (const char* folder = std::getenv("LANYING_BENCH_DATA")) return folder;
    return std::string(LANYING_SOURCE_DIR) + "/bench/data";
}

// Output files go to a private folder that is removed at exit.
class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/convert-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) folder_ = pattern;
    }
    ~Scratch() {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

private:
    std::string folder_;
};

Scratch& Output() {
    static Scratch scratch;
    return scratch;
}

// The same RGB rows the converter encodes, decoded once outside the timed loops.
const RasterImage& Rows(const std::string& path) {
    static std::map<std::string, RasterImage> cache;
    RasterImage& image = cache[path];
    if (image.Empty()) DecodeImageFile(path.c_str(), image);
    return image;
}

// libjpeg into memory, with the converter's settings and one row per call.
std::size_t BareJpeg(const RasterImage& image) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);  // the input is known good: libjpeg's exit-on-error is fine here
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = image.Width();
    cinfo.image_height = image.Height();
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.optimize_coding = TRUE;
    cinfo.smoothing_factor = 0;
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return size;
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

// libpng into memory: 8-bit RGB, Adam7, default compression and filters, rows one at a time per pass.
std::size_t BarePng(const RasterImage& image) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, image.Width(), image.Height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < image.Height(); ++y) {
            png_bytep row = const_cast<png_bytep>(image.Row(y));
            png_write_rows(png, &row, 1);
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

struct Input {
    const char* size;  // "1920x1080"
    std::string path;
};

void ConvertJpeg(benchmark::State& state, const Input& input) {
    const std::string target = Output().Path("out.jpg");
    for (auto _ : state) {
        if (ConvertToJpeg(input.path.c_str(), target.c_str(), false, kQuality, true, 0) != ConvertResult::ConvertOk) {
            state.SkipWithError("ConvertToJpeg failed");
            break;
        }
    }
    state.counters["output_bytes"] = double(std::filesystem::file_size(target));
}

void ConvertPng(benchmark::State& state, const Input& input) {
    const std::string target = Output().Path("out.png");
    for (auto _ : state) {
        if (ConvertToPng(input.path.c_str(), target.c_str(), 24) != ConvertResult::ConvertOk) {
            state.SkipWithError("ConvertToPng failed");
            break;
        }
    }
    state.counters["output_bytes"] = double(std::filesystem::file_size(target));
}

void LibjpegToMemory(benchmark::State& state, const Input& input) {
    const RasterImage& image = Rows(input.path);
    std::size_t bytes = 0;
    for (auto _ : state) bytes = BareJpeg(image);
    state.counters["output_bytes"] = double(bytes);
}

void LibpngToMemory(benchmark::State& state, const Input& input) {
    const RasterImage& image = Rows(input.path);
    std::size_t bytes = 0;
    for (auto _ : state) bytes = BarePng(image);
    state.counters["output_bytes"] = double(bytes);
}

void Missing(benchmark::State& state, const std::string& path) {
    const std::string message = path + " is missing: run bench/make_bench_data.sh (or set LANYING_BENCH_DATA)";
    for (auto _ : state) state.SkipWithError(message.c_str());
}

// Keeps the best (minimum) times of each benchmark for the ratios. The target applies to wall-clock
// time; the CPU-time ratio is printed beside it because it is the steadier one on a busy machine.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate || run.aggregate_name != "min") continue;
            best_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio(const std::string& ours, const std::string& baseline, double target) const {
        const auto a = best_.find(ours), b = best_.find(baseline);
        if (a == best_.end() || b == best_.end() || b->second.real <= 0 || b->second.cpu <= 0) return;
        const double real = a->second.real / b->second.real;
        const double cpu = a->second.cpu / b->second.cpu;
        std::printf("ratio %-24s / %-26s real %6.3f  cpu %6.3f  (target <= %.2f: %s)\n", ours.c_str(), baseline.c_str(),
                    real, cpu, target, real <= target ? "met" : "MISSED");
    }

private:
    struct Times {
        double real = 0, cpu = 0;
    };
    std::map<std::string, Times> best_;
};

}  // namespace

int main(int argc, char** argv) {
    static std::vector<Input> inputs;
    for (const char* size : {"1920x1080", "3840x2160"})
        inputs.push_back({size, DataFolder() + "/screen-" + size + ".bmp"});

    for (const Input& input : inputs) {
        const std::string suffix = std::string("/") + input.size;
        if (!std::filesystem::exists(input.path)) {
            benchmark::RegisterBenchmark(("MissingInput" + suffix).c_str(), Missing, input.path)->Iterations(1);
            continue;
        }
        auto configure = [](benchmark::internal::Benchmark* b) {
            b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->DisplayAggregatesOnly(true);
            b->ComputeStatistics("min",
                                 [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
        };
        configure(benchmark::RegisterBenchmark(("ConvertToJpeg" + suffix).c_str(), ConvertJpeg, input));
        configure(benchmark::RegisterBenchmark(("LibjpegToMemory" + suffix).c_str(), LibjpegToMemory, input));
        configure(benchmark::RegisterBenchmark(("ConvertToPng" + suffix).c_str(), ConvertPng, input));
        configure(benchmark::RegisterBenchmark(("LibpngToMemory" + suffix).c_str(), LibpngToMemory, input));
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const Input& input : inputs) {
        const std::string suffix = std::string("/") + input.size;
        reporter.PrintRatio("ConvertToJpeg" + suffix, "LibjpegToMemory" + suffix, 1.25);
        reporter.PrintRatio("ConvertToPng" + suffix, "LibpngToMemory" + suffix, 1.2);
    }
    return 0;
}
