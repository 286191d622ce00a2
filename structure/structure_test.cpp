// The sampling of a photograph for the ring methods, and the whole analysis on pictures whose
// answer is known.
#include "structure/structure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "skyimage/cells.h"

namespace structure {
namespace {

// A W x W classified working image whose pixel (x, y) is SKY(x, y) ? 255 : 0.
template <typename Sky>
skyimage::t_Bitmap picture(int w, Sky sky) {
    skyimage::t_Bitmap bmp{};
    std::uint8_t* data = new std::uint8_t[std::size_t(w) * std::size_t(w)];
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < w; ++x)
            data[std::size_t(y) * std::size_t(w) + std::size_t(x)] = sky(x, y) ? 255 : 0;
    skyimage::adopt_pixels(&bmp, data, w, w);
    return bmp;
}

TEST(Rings, InUseWithinTheZenithRangeAndTheDiscards) {
    Settings s;
    int first = 0, end = 0;
    rings_in_use(s, &first, &end);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(end, 9);
    s.max_zenith_deg = 70;  // 90 / 9 * 7 = 70: ring 6 ends exactly there
    rings_in_use(s, &first, &end);
    EXPECT_EQ(end, 7);
    s.max_zenith_deg = 75;
    rings_in_use(s, &first, &end);
    EXPECT_EQ(end, 7);
    s.zenith_rings_discarded = 1;
    s.horizon_rings_discarded = 3;
    rings_in_use(s, &first, &end);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(end, 6);

    EXPECT_EQ(settings_problem(Settings{}), "");
    Settings bad;
    bad.zenith_rings_discarded = 5;
    bad.horizon_rings_discarded = 4;
    EXPECT_NE(settings_problem(bad), "");  // no ring left
    bad = Settings{};
    bad.max_zenith_deg = 5;  // within the first ring of 10 degrees
    EXPECT_NE(settings_problem(bad), "");
    bad = Settings{};
    bad.tessor_classes = 2;
    EXPECT_NE(settings_problem(bad), "");
}

// Sky over the left half of the picture: azimuths 0 to 180 with no declination (azimuth 0 at
// the top, growing counter-clockwise). Of 8 segments, 0 to 3 are sky, 4 to 7 canopy, but for
// the pixels of the vertical diameter, whose azimuth is 0 or 180 exactly.
TEST(Samples, SegmentsAndCirclePiecesFollowTheAzimuth) {
    const int w = 201;
    skyimage::t_Bitmap bmp = picture(w, [](int x, int) { return x < 100; });
    skyimage::Lens lens;
    Settings s;
    const Samples samples = sample_photo(bmp, lens, 0, s);
    ASSERT_EQ(samples.rings.size(), 9u);
    std::int64_t ring_pixels = 0, degree_pixels = 0;
    for (const lai::Ring& r : samples.rings) {
        ASSERT_EQ(r.segments.size(), 8u);
        for (int k = 0; k < 8; ++k) {
            const lai::Segment& seg = r.segments[std::size_t(k)];
            ring_pixels += std::int64_t(seg.pixels);
            if (seg.pixels == 0) continue;
            if (k == 1 || k == 2) {
                EXPECT_EQ(seg.gap_fraction, 1.0) << k;
            }
            if (k == 5 || k == 6) {
                EXPECT_EQ(seg.gap_fraction, 0.0) << k;
            }
        }
    }
    for (const lai::Ring& r : samples.degree_rings)
        for (const lai::Segment& seg : r.segments) degree_pixels += std::int64_t(seg.pixels);
    EXPECT_EQ(ring_pixels, degree_pixels);  // the same disc, cut two ways

    ASSERT_EQ(samples.runs.size(), 9u);
    for (const lai::RingRuns& runs : samples.runs) {
        ASSERT_FALSE(runs.circles.empty());
        ASSERT_EQ(runs.segments.size(), 8u);
        for (const lai::Transect& t : runs.circles) {
            // One sky run: the left half, joined across the start of the closed walk.
            ASSERT_EQ(t.gaps.size(), 1u);
            EXPECT_NEAR(double(t.gaps[0]), t.length / 2.0, 3);
        }
        for (int k : {1, 2}) {
            for (const lai::Transect& t : runs.segments[std::size_t(k)]) {
                ASSERT_EQ(t.gaps.size(), 1u);
                EXPECT_EQ(t.gaps[0], t.length);  // all sky
            }
        }
        for (int k : {5, 6})
            for (const lai::Transect& t : runs.segments[std::size_t(k)]) EXPECT_TRUE(t.gaps.empty());
    }
    skyimage::release(&bmp);
}

TEST(Analyse, OpenSkyHasNoFoliageAndNoClumping) {
    skyimage::t_Bitmap bmp = picture(151, [](int, int) { return true; });
    skyimage::Lens lens;
    Settings s;
    gapdata::Counts counts;
    skyimage::count_cells(bmp, lens, s.nz, s.na, 0, &counts);
    const Result r = analyse(counts, sample_photo(bmp, lens, 0, s), s);
    EXPECT_EQ(r.sky_fraction, 1.0);
    EXPECT_NEAR(r.difn_percent, 100, 1e-9);  // weights normalised: rounding only
    EXPECT_NEAR(r.openness.canopy_openness, 1, 1e-12);
    for (const lai::EffectiveLai* e : {&r.miller, &r.five_ring, &r.hinge}) {
        EXPECT_TRUE(e->status.ok) << e->status.message;
        EXPECT_EQ(e->lai, 0.0);
    }
    for (const lai::Clumping* c : {&r.lx, &r.cc, &r.clx}) {
        EXPECT_TRUE(c->status.ok) << c->status.message;
        EXPECT_EQ(c->lai, 0.0);
        EXPECT_EQ(c->omega, 1.0);
    }
    EXPECT_NEAR(r.bravik_lai, 0, 1e-12);
    EXPECT_NEAR(r.keldro_lai, 0, 1e-6);
    skyimage::release(&bmp);
}

// A uniform speckle (every 7th pixel sky, in a pattern without direction): every ring has the
// same gap fraction in every segment, so Lang and Xiang see no clumping, and the classic
// methods agree with Miller on a canopy whose contact number follows the ring gap fractions.
TEST(Analyse, UniformSpeckleIsNotClumped) {
    skyimage::t_Bitmap bmp =
        picture(401, [](int x, int y) { return (x * 3 + y * 5) % 7 == 0; });
    skyimage::Lens lens;
    Settings s;
    s.max_zenith_deg = 80;
    gapdata::Counts counts;
    skyimage::count_cells(bmp, lens, s.nz, s.na, 0, &counts);
    const Result r = analyse(counts, sample_photo(bmp, lens, 0, s), s);
    EXPECT_NEAR(r.sky_fraction, 1.0 / 7, 0.005);
    // One gap fraction everywhere: P = 1/7, Le = 2 ln 7 sum w cos over the rings in use.
    EXPECT_NEAR(r.lx.omega, 1, 0.01);  // pixel sampling of the pattern per segment
    EXPECT_GT(r.miller.lai, 0);
    EXPECT_EQ(r.miller.rings_used, 8);
    EXPECT_EQ(r.lx.zero_segments, 0);
    skyimage::release(&bmp);
}

}  // namespace
}  // namespace structure
