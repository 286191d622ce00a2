// With three points, an equidistant or orthographic lens and a fixed threshold, gapbatch must
// write the very bytes that gapimage writes for the same answers. Each case runs gapimage's own
// steps (read, circle through the points, crop, threshold, projection) and gapbatch's, on
// photographs of several sizes and patterns, and compares the two gap-fraction files.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>

#include "batch.h"
#include "bmp_dialogue.h"
#include "test_images.h"

namespace gapbatch {
namespace {

using gapbatch_test::Rgb;
using gapbatch_test::ScratchDir;

struct Case {
    int w, h;
    int points[6];
    int nz, na;
    double declination;
    int threshold;
};

// Sky blobs and leaf-like streaks over a noisy grey ramp, fixed seed.
void write_photo(const std::string& path, int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-40, 40);
    std::vector<std::uint8_t> v(std::size_t(w) * std::size_t(h));
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const double blob = std::sin(c * 0.05 + seed) * std::cos(r * 0.07) * 110;
            const int value = 128 + int(blob) + noise(rng) + ((c + 2 * r) % 17 == 0 ? -90 : 0);
            v[std::size_t(r) * std::size_t(w) + std::size_t(c)] =
                std::uint8_t(value < 0     ? 0
                             : value > 255 ? 255
                                           : value);
        }
    }
    gapbatch_test::write_bmp(path, w, h, 8, false, [&](int c, int r) {
        const std::uint8_t g = v[std::size_t(r) * std::size_t(w) + std::size_t(c)];
        return Rgb{g, g, g};
    });
}

std::string run_gapimage(const std::string& photo, const Case& k, bool polar,
                         const std::string& out) {
    t_Bitmap bmp{};
    char problem[skyimage::kProblemSize];
    EXPECT_EQ(skyimage::read_bmp(&bmp, photo.c_str(), problem), skyimage::LoadStatus::kOk);
    const int* p = k.points;
    const skyimage::Circle c = skyimage::circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
    EXPECT_TRUE(skyimage::crop(&bmp, c.x0, c.y0, int(c.w), int(c.h)));
    std::FILE* screen = std::fopen("/dev/null", "w");
    const cli::Io io{stdin, screen, stderr};
    BMPThreshold(io, &bmp, k.threshold);
    if (polar) {
        BMPPolarProjection(io, &bmp, k.nz, k.na, k.declination, out.c_str());
    } else {
        BMPOrthographicProjection(io, &bmp, k.nz, k.na, k.declination, out.c_str());
    }
    std::fclose(screen);
    skyimage::release(&bmp);
    return gapbatch_test::read_file(out);
}

TEST(Identity, SameFileAsGapimage) {
    const Case cases[] = {
        {200, 200, {100, 0, 0, 100, 200, 100}, 9, 8, 0, 128},
        {640, 480, {320, 10, 90, 240, 550, 240}, 18, 36, -12.5, 100},
        {301, 257, {150, 3, 20, 128, 280, 128}, 7, 13, 33.3, 140},
        {500, 400, {250, -30, 10, 200, 490, 200}, 90, 360, 180, 90},  // reaches beyond the top
        {257, 300, {128, 20, 30, 150, 226, 150}, 1, 1, -180, 127},
        {999, 701, {500, 5, 160, 350, 840, 350}, 45, 72, 7, 110},
    };
    ScratchDir dir;
    unsigned seed = 1;
    for (const Case& k : cases) {
        const std::string photo = dir / ("p" + std::to_string(seed) + ".bmp");
        write_photo(photo, k.w, k.h, seed++);
        for (bool polar : {true, false}) {
            const std::string expected = run_gapimage(photo, k, polar, dir / "gapfract.txt");
            ASSERT_FALSE(expected.empty());
            skyimage::PhotoSettings s;
            s.disc.source = skyimage::DiscSource::kPoints;
            std::copy(k.points, k.points + 6, s.disc.points);
            s.lens.kind =
                polar ? skyimage::LensKind::kEquidistant : skyimage::LensKind::kOrthographic;
            s.method = skyimage::ThresholdMethod::kFixed;
            s.threshold = k.threshold;
            s.nz = k.nz;
            s.na = k.na;
            s.declination = k.declination;
            skyimage::Workspace work;
            skyimage::PhotoResult result;
            std::string problem;
            ASSERT_TRUE(skyimage::process_photo(photo.c_str(), s, &work, &result, &problem))
                << problem;
            PlannedOutputs target;
            target.gap = output_path(photo.c_str(), dir.path().c_str(), ".gapfract.txt");
            ASSERT_TRUE(write_outputs(target, result, nullptr, &problem)) << problem;
            const std::string stem = "p" + std::to_string(seed - 1);
            EXPECT_EQ(gapbatch_test::read_file(dir / (stem + ".gapfract.txt")), expected)
                << k.w << "x" << k.h << (polar ? " equidistant" : " orthographic");
        }
    }
}

}  // namespace
}  // namespace gapbatch
