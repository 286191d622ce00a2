// gapbatch's stages on one photograph, in milliseconds: reading, the analysis to counts
// (disc, histogram, automatic threshold, counting), the samples the methods need (segment
// counts, one-degree rings, the circles of the gap sizes), the methods themselves, and the
// light under the canopy with its sun track. The photograph is the synthetic 24 Mpx one
// (6000 x 4000, disc of radius 2000) or, scaled by half, 6 Mpx (3000 x 2000, radius 1000).
//
//   build/bench-bin/gapbatch_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "skyimage/analysis.h"
#include "structure/structure.h"
#include "sunfleck/sunfleck.h"
#include "synthetic.h"

namespace {

// The synthetic photograph at full size (SCALE 1) or half (SCALE 2), written once.
const std::string& photo_file(int scale) {
    static std::string paths[3];
    std::string& p = paths[scale];
    if (p.empty()) {
        skyimage::t_Bitmap full{};
        bench::make_photo(&full);
        skyimage::t_Bitmap b = full;
        std::vector<std::uint8_t> half;
        if (scale == 2) {
            b.width = full.width / 2;
            b.height = full.height / 2;
            half.resize(std::size_t(b.width) * std::size_t(b.height));
            for (int y = 0; y < b.height; ++y)
                for (int x = 0; x < b.width; ++x)
                    half[std::size_t(y) * std::size_t(b.width) + std::size_t(x)] =
                        full.data[std::size_t(2 * y) * std::size_t(full.width) + std::size_t(2 * x)];
            b.data = half.data();
        }
        p = "/tmp/gapbatch-bench-" + std::to_string(getpid()) + "-" + std::to_string(scale) + ".bmp";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f != nullptr) {
            skyimage::write_grey_bmp(f, b.width, b.height, b.data);
            std::fclose(f);
        }
        skyimage::release(&full);
    }
    return p;
}

skyimage::PhotoSettings settings(int scale) {
    skyimage::PhotoSettings s;
    s.disc.source = skyimage::DiscSource::kCircle;
    s.disc.cx = bench::kCentreX / scale;
    s.disc.cy = bench::kCentreY / scale;
    s.disc.radius = bench::kRadius / scale;
    s.method = skyimage::ThresholdMethod::kRidler;
    return s;
}

void read_photo(benchmark::State& state) {
    const int scale = int(state.range(0));
    skyimage::Photo photo;
    char problem[skyimage::kPhotoProblemSize];
    for (auto _ : state) {
        skyimage::release(&photo.bmp);
        if (!skyimage::read_photo(photo_file(scale).c_str(), skyimage::Channel::kBlue, &photo,
                                  problem))
            state.SkipWithError(problem);
    }
}

void to_counts(benchmark::State& state) {
    const int scale = int(state.range(0));
    skyimage::Workspace work;
    skyimage::PhotoResult r;
    std::string why;
    for (auto _ : state)
        if (!skyimage::process_photo(photo_file(scale).c_str(), settings(scale), &work, &r, &why))
            state.SkipWithError(why.c_str());
}

void samples(benchmark::State& state) {
    const int scale = int(state.range(0));
    skyimage::Workspace work;
    skyimage::PhotoResult r;
    std::string why;
    skyimage::process_photo(photo_file(scale).c_str(), settings(scale), &work, &r, &why);
    structure::Settings s;
    for (auto _ : state)
        benchmark::DoNotOptimize(structure::sample_photo(r.view, settings(scale).lens, 0, s, &r.counts));
}

void methods(benchmark::State& state) {
    const int scale = int(state.range(0));
    skyimage::Workspace work;
    skyimage::PhotoResult r;
    std::string why;
    skyimage::process_photo(photo_file(scale).c_str(), settings(scale), &work, &r, &why);
    structure::Settings s;
    const structure::Samples sm = structure::sample_photo(r.view, settings(scale).lens, 0, s, &r.counts);
    for (auto _ : state) benchmark::DoNotOptimize(structure::analyse(r.counts, sm, s));
}

// A year at 43.5 N: the tables made once (first photograph), then each further photograph.
void light_per_photo(benchmark::State& state) {
    const int scale = int(state.range(0));
    skyimage::Workspace work;
    skyimage::PhotoResult r;
    std::string why;
    skyimage::process_photo(photo_file(scale).c_str(), settings(scale), &work, &r, &why);
    const skyimage::ImageView v = skyimage::image_view_of(r.view);
    light::Settings ls;
    ls.latitude_deg = 43.5;
    sunfleck::Tables tables;
    const skyimage::Lens lens = settings(scale).lens;
    if (state.range(1) == 1) {  // every photograph pays for the tables
        for (auto _ : state) {
            sunfleck::Tables fresh;
            benchmark::DoNotOptimize(sunfleck::photo_light(ls, r.counts, v, lens, 0, false, &fresh));
        }
    } else {
        sunfleck::photo_light(ls, r.counts, v, lens, 0, false, &tables);
        for (auto _ : state)
            benchmark::DoNotOptimize(sunfleck::photo_light(ls, r.counts, v, lens, 0, false, &tables));
    }
}

}  // namespace

BENCHMARK(read_photo)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(to_counts)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(samples)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(methods)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(light_per_photo)->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
