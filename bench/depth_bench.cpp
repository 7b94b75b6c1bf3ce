// Colour-depth conversion of real screenshots (bench/make_bench_data.sh), measured against a plain
// memcpy of the same 24-bit frame and against the per-pixel loop of reference_depth.h.
//
// After the usual table it prints, per screen, each conversion's time as a multiple of the memcpy
// and the reference loop's time as a multiple of the conversion (processor time, best run of each
// when --benchmark_repetitions asks for several).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"
#include "imaging/cdib.h"
#include "reference_depth.h"

namespace {

struct Screen {
    std::string size;
    CDIB at[33];  // indexed by bit count: 16, 24 and 32 are filled
};

struct Pair {
    int from, to;
};
// The conversions the program performs: captures to 24 bits, saves from 24 to 16, 8 or 4.
constexpr Pair kPairs[] = {{32, 24}, {16, 24}, {24, 16}, {24, 8}, {24, 4}};

std::string PairName(const Pair& p) { return std::to_string(p.from) + "->" + std::to_string(p.to); }

void BM_Memcpy(benchmark::State& state, const CDIB* frame) {
    const std::size_t bytes = frame->Stride() * std::size_t(frame->Height());
    const std::uint8_t* src = frame->Row(frame->Height() - 1);  // rows are stored bottom-up
    std::vector<std::uint8_t> dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src, bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}

void BM_ChangeBitDepth(benchmark::State& state, const CDIB* source, int to) {
    for (auto _ : state) {
        CDIB out = source->ChangeBitDepth(std::int16_t(to));
        if (out.IsEmpty()) state.SkipWithError(source->LastError().c_str());
        benchmark::DoNotOptimize(out.Row(0));
    }
}

void BM_Reference(benchmark::State& state, const CDIB* source, int to) {
    for (auto _ : state) {
        CDIB out = ReferenceChangeBitDepth(*source, to);
        benchmark::DoNotOptimize(out.Row(0));
    }
}

// The console table, plus the best time of every benchmark for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            // Processor time: the machine may be shared, and the work is single-threaded.
            const double seconds = run.cpu_accumulated_time / double(run.iterations);
            auto [it, added] = best_.emplace(run.run_name.function_name, seconds);
            if (!added) it->second = std::min(it->second, seconds);
        }
    }

    void PrintRatios(const std::vector<std::string>& sizes) const {
        std::printf("\n%-10s %-7s %12s %12s %14s %14s\n", "screen", "pair", "ms", "x memcpy", "reference ms",
                    "speed-up");
        for (const std::string& size : sizes) {
            const double copy = Best("Memcpy/" + size);
            std::printf("%-10s %-7s %12.3f %12s %14s %14s\n", size.c_str(), "memcpy", copy * 1e3, "1.00", "", "");
            for (const Pair& p : kPairs) {
                const double fast = Best("ChangeBitDepth/" + size + "/" + PairName(p));
                const double plain = Best("Reference/" + size + "/" + PairName(p));
                char ref[32] = "", gain[32] = "";
                if (plain > 0) {
                    std::snprintf(ref, sizeof ref, "%.1f", plain * 1e3);
                    std::snprintf(gain, sizeof gain, "%.1fx", plain / fast);
                }
                std::printf("%-10s %-7s %12.3f %11.2fx %14s %14s\n", size.c_str(), PairName(p).c_str(), fast * 1e3,
                            fast / copy, ref, gain);
            }
        }
    }

private:
    double Best(const std::string& name) const {
        const auto it = best_.find(name);
        return it == best_.end() ? 0 : it->second;
    }
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::vector<std::unique_ptr<Screen>> screens;
    for (const char* size : {"1920x1080", "3840x2160"}) {
        auto screen = std::make_unique<Screen>();
        screen->size = size;
        const ByteArray file = LoadBenchData(std::string("screen-") + size + ".bmp");
        if (file.empty()) return 1;
        CDIB& rgb = screen->at[24];
        if (!rgb.LoadBmpData(file) || rgb.BitCount() != 24) {
            std::fprintf(stderr, "screen-%s.bmp is not a 24-bit BMP: run bench/make_bench_data.sh --force\n", size);
            return 1;
        }
        screen->at[32] = rgb.ChangeBitDepth(32);
        screen->at[16] = rgb.ChangeBitDepth(16);
        screens.push_back(std::move(screen));
    }

    std::vector<std::string> sizes;
    for (const auto& screen : screens) {
        const std::string& size = screen->size;
        sizes.push_back(size);
        benchmark::RegisterBenchmark(("Memcpy/" + size).c_str(), BM_Memcpy, &screen->at[24])
            ->Unit(benchmark::kMillisecond);
        for (const Pair& p : kPairs)
            benchmark::RegisterBenchmark(("ChangeBitDepth/" + size + "/" + PairName(p)).c_str(), BM_ChangeBitDepth,
                                         &screen->at[p.from], p.to)
                ->Unit(benchmark::kMillisecond);
        for (const Pair& p : kPairs)
            benchmark::RegisterBenchmark(("Reference/" + size + "/" + PairName(p)).c_str(), BM_Reference,
                                         &screen->at[p.from], p.to)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.1);
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(sizes);
    benchmark::Shutdown();
    return 0;
}
