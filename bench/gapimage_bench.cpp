// Throughput of gapimage's stages on the synthetic 24 Mpx photograph, in Mpixel/s of the image
// each stage walks (the photograph for loading and extraction, the 4000 x 4000 working image
// for the rest).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/gapsize.h"
#include "synthetic.h"

namespace {

using skyimage::t_Bitmap;

const t_Bitmap& photo() {
    static t_Bitmap bmp = [] {
        t_Bitmap b;
        bench::make_photo(&b);
        return b;
    }();
    return bmp;
}

const std::string& photo_file() {
    static const std::string path = [] {
        std::string p = "/tmp/gapimage-bench-" + std::to_string(getpid()) + ".bmp";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f != nullptr) {
            skyimage::write_bmp(f, photo());
            std::fclose(f);
        }
        return p;
    }();
    return path;
}

// The working image that BMPExtract cuts from the photograph with the rim points
// (3000, 0), (1000, 2000), (5000, 2000).
const t_Bitmap& working() {
    static t_Bitmap bmp = [] {
        t_Bitmap b = photo();
        b.name = nullptr;
        b.palette = nullptr;
        const std::size_t n = std::size_t(b.width) * std::size_t(b.height);
        b.data = new std::uint8_t[n];
        std::copy(photo().data, photo().data + n, b.data);
        skyimage::crop(&b, 1000, 0, 4000, 4000);
        skyimage::threshold_pixels(&b, 127);
        return b;
    }();
    return bmp;
}

void set_rate(benchmark::State& state, double pixels) {
    state.counters["Mpx/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Load(benchmark::State& state) {
    const std::string& path = photo_file();
    for (auto _ : state) {
        t_Bitmap b{};
        char problem[skyimage::kProblemSize];
        if (skyimage::read_bmp(&b, path.c_str(), problem) != skyimage::LoadStatus::kOk)
            state.SkipWithError("cannot read the photograph");
        skyimage::release(&b);
    }
    set_rate(state, double(bench::kWidth) * bench::kHeight);
}

void BM_Extract(benchmark::State& state) {
    const std::size_t n = std::size_t(bench::kWidth) * bench::kHeight;
    for (auto _ : state) {
        state.PauseTiming();
        t_Bitmap b = photo();
        b.data = new std::uint8_t[n];
        std::copy(photo().data, photo().data + n, b.data);  // BMPExtract owns and replaces data
        state.ResumeTiming();
        skyimage::crop(&b, 1000, 0, 4000, 4000);
        benchmark::DoNotOptimize(b.data);
        delete[] b.data;
    }
    set_rate(state, double(n));
}

void BM_Threshold(benchmark::State& state) {
    t_Bitmap b = working();
    const std::size_t n = std::size_t(b.width) * std::size_t(b.height);
    b.data = new std::uint8_t[n];
    for (auto _ : state) {
        std::copy(working().data, working().data + n, b.data);
        skyimage::threshold_pixels(&b, 128);
        benchmark::DoNotOptimize(b.data);
    }
    delete[] b.data;
    set_rate(state, double(n));
}

void BM_Projection(benchmark::State& state) {
    skyimage::Lens lens;
    lens.kind = state.range(0) == 1 ? skyimage::LensKind::kEquidistant
                                    : skyimage::LensKind::kOrthographic;
    const int nz = int(state.range(1)), na = int(state.range(2));
    gapdata::Counts counts;
    for (auto _ : state) {
        skyimage::count_cells(working(), lens, nz, na, 0, &counts);
        benchmark::DoNotOptimize(counts.pixels.data());
    }
    set_rate(state, double(working().width) * working().height);
}

void BM_GapSizes(benchmark::State& state) {
    const std::string out = "/tmp/gapimage-bench-" + std::to_string(getpid()) + ".txt";
    for (auto _ : state) {
        std::FILE* f = std::fopen(out.c_str(), "w");
        if (f == nullptr) state.SkipWithError("cannot write the gap sizes");
        skyimage::write_gap_sizes(f, working(), false, 0, 80, 0);
        std::fclose(f);
    }
    std::remove(out.c_str());
    set_rate(state, double(working().width) * working().height);
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Threshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Projection)
    ->ArgNames({"lens", "nz", "na"})
    ->Args({1, 9, 8})
    ->Args({1, 90, 360})
    ->Args({2, 9, 8})
    ->Args({2, 90, 360})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GapSizes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(photo_file().c_str());
    return 0;
}
