// Throughput of gapimage's stages on the synthetic 24 Mpx photograph, in Mpixel/s of the image
// each stage walks (the photograph for loading and extraction, the 4000 x 4000 working image
// for the rest). The stages of the working image cut and thresholded in memory build against
// any version of the library, so that one source times an earlier build beside this one; the
// stages of counting straight from the photograph build where the library has them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gapdata/gapdata.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/gapsize.h"
#include "synthetic.h"
#if __has_include("skyimage/stretches.h")
#include "skyimage/stretches.h"
#define SKYGAP_BENCH_STRETCHES 1
#endif

namespace {

using skyimage::t_Bitmap;

// The rim points (3000, 0), (1000, 2000), (5000, 2000) give this square; the threshold of the
// whole-run figures is 127.
constexpr int kX0 = 1000, kY0 = 0, kSide = 4000, kThreshold = 127;

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

// The working image that BMPExtract cut from the photograph, thresholded.
const t_Bitmap& working() {
    static t_Bitmap bmp = [] {
        t_Bitmap b = photo();
        b.name = nullptr;
        b.palette = nullptr;
        const std::size_t n = std::size_t(b.width) * std::size_t(b.height);
        b.data = new std::uint8_t[n];
        std::copy(photo().data, photo().data + n, b.data);
        skyimage::crop(&b, kX0, kY0, kSide, kSide);
        skyimage::threshold_pixels(&b, kThreshold);
        return b;
    }();
    return bmp;
}

skyimage::Lens lens_of(std::int64_t code) {
    skyimage::Lens lens;
    lens.kind = code == 1 ? skyimage::LensKind::kEquidistant : skyimage::LensKind::kOrthographic;
    return lens;
}

void set_rate(benchmark::State& state, double pixels) {
    state.counters["Mpx/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
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
        skyimage::crop(&b, kX0, kY0, kSide, kSide);
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
        state.PauseTiming();
        std::copy(photo().data, photo().data + n, b.data);  // grey values to threshold
        state.ResumeTiming();
        skyimage::threshold_pixels(&b, kThreshold);
        benchmark::DoNotOptimize(b.data);
    }
    delete[] b.data;
    set_rate(state, double(n));
}

// Counting pixel by pixel on the working image (count_cells).
void BM_Projection(benchmark::State& state) {
    const skyimage::Lens lens = lens_of(state.range(0));
    const int nz = int(state.range(1)), na = int(state.range(2));
    gapdata::Counts counts;
    for (auto _ : state) {
        skyimage::count_cells(working(), lens, nz, na, 0, &counts);
        benchmark::DoNotOptimize(counts.pixels.data());
    }
    set_rate(state, double(working().width) * working().height);
}

gapdata::Counts counts_of(int nz, int na) {
    gapdata::Counts counts;
    skyimage::count_cells(working(), lens_of(1), nz, na, 0, &counts);
    return counts;
}

void BM_WriteGapFraction(benchmark::State& state) {
    const gapdata::Counts counts = counts_of(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        std::FILE* f = std::fopen("/dev/null", "w");
        if (f == nullptr) state.SkipWithError("cannot write to /dev/null");
        gapdata::write_gap_fraction(f, counts);
        std::fclose(f);
    }
}

// Gap sizes of 2001 circles (0 to 90 degrees, one pixel of radius apart) on the working image.
void BM_GapSizes(benchmark::State& state) {
    for (auto _ : state) {
        std::FILE* f = std::fopen("/dev/null", "w");
        if (f == nullptr) state.SkipWithError("cannot write to /dev/null");
        skyimage::write_gap_sizes(f, working(), false, 0, 90, 0);
        std::fclose(f);
    }
    set_rate(state, double(working().width) * working().height);
}

#ifdef SKYGAP_BENCH_STRETCHES
// The working image as gapimage now holds it: the photograph seen through the disc's square.
skyimage::WorkingView view() {
    skyimage::WorkingView v;
    v.photo = photo().data;
    v.photo_w = photo().width;
    v.photo_h = photo().height;
    v.x0 = kX0;
    v.y0 = kY0;
    v.w = v.h = kSide;
    v.binarised = true;
    v.threshold = kThreshold;
    return v;
}

// Finding the stretches alone.
void BM_Stretches(benchmark::State& state) {
    skyimage::DiscGrid grid;
    grid.w = grid.h = kSide;
    grid.lens = lens_of(state.range(0));
    grid.nz = int(state.range(1));
    grid.na = int(state.range(2));
    std::int64_t n = 0;
    for (auto _ : state) {
        n = 0;
        skyimage::for_each_stretch(grid, [&](int, int, int, int, int) { ++n; });
        benchmark::DoNotOptimize(n);
    }
    state.SetLabel(std::to_string(n) + " stretches");
    set_rate(state, double(kSide) * kSide);
}

// Counting by stretches straight from the photograph, the threshold applied on the way.
void BM_CountFromPhoto(benchmark::State& state) {
    const skyimage::Lens lens = lens_of(state.range(0));
    const int nz = int(state.range(1)), na = int(state.range(2));
    gapdata::Counts counts;
    for (auto _ : state) {
        skyimage::count_by_stretches(view(), lens, nz, na, 0, &counts);
        benchmark::DoNotOptimize(counts.pixels.data());
    }
    set_rate(state, double(kSide) * kSide);
}

void BM_HistogramFromPhoto(benchmark::State& state) {
    std::uint64_t hist[256];
    std::int64_t outside = 0;
    for (auto _ : state) {
        skyimage::histogram_by_stretches(view(), lens_of(1), 9, 8, 0, hist, &outside);
        benchmark::DoNotOptimize(hist);
    }
    set_rate(state, double(kSide) * kSide);
}

void BM_GapSizesFromPhoto(benchmark::State& state) {
    for (auto _ : state) {
        std::FILE* f = std::fopen("/dev/null", "w");
        if (f == nullptr) state.SkipWithError("cannot write to /dev/null");
        skyimage::write_gap_sizes(f, view(), false, 0, 90, 0);
        std::fclose(f);
    }
    set_rate(state, double(kSide) * kSide);
}
#endif

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Threshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Projection)
    ->ArgNames({"lens", "nz", "na"})
    ->Args({1, 9, 8})
    ->Args({2, 90, 360})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteGapFraction)
    ->ArgNames({"nz", "na"})
    ->Args({9, 8})
    ->Args({90, 360})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GapSizes)->Unit(benchmark::kMillisecond);
#ifdef SKYGAP_BENCH_STRETCHES
BENCHMARK(BM_Stretches)
    ->ArgNames({"lens", "nz", "na"})
    ->Args({1, 9, 8})
    ->Args({2, 90, 360})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountFromPhoto)
    ->ArgNames({"lens", "nz", "na"})
    ->Args({1, 9, 8})
    ->Args({2, 90, 360})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistogramFromPhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GapSizesFromPhoto)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(photo_file().c_str());
    return 0;
}
