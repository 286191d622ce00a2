// Tests of the picture: projection geometry, rim points, truth table, options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "canopysim/render.h"
#include "options.h"
#include "skyimage/find_disc.h"
#include "skyimage/photo.h"

namespace canopysim {
namespace {

Lens lens_of(bool orthographic) {
    Lens lens;
    lens.kind = orthographic ? skyimage::LensKind::kOrthographic : skyimage::LensKind::kEquidistant;
    return lens;
}

TEST(Projection, DirectionsOfThePicture) {
    double d[3];
    ASSERT_TRUE(pixel_direction(0, 0, 100, lens_of(false), d));
    EXPECT_EQ(d[2], 1.0);
    ASSERT_TRUE(pixel_direction(0, 100, 100, lens_of(false), d));  // top: north horizon
    EXPECT_NEAR(d[1], 1.0, 1e-15);
    EXPECT_NEAR(d[2], 0.0, 1e-15);
    ASSERT_TRUE(pixel_direction(-100, 0, 100, lens_of(true), d));  // left: east
    EXPECT_NEAR(d[0], 1.0, 1e-15);
    ASSERT_TRUE(pixel_direction(0, -50, 100, lens_of(true), d));  // r = R/2: 30 degrees
    EXPECT_NEAR(std::acos(d[2]), 30 * kDegToRad, 1e-15);
    EXPECT_NEAR(d[1], -0.5, 1e-15);
    ASSERT_TRUE(pixel_direction(0, -50, 100, lens_of(false), d));  // r = R/2: 45 degrees
    EXPECT_NEAR(std::acos(d[2]), 45 * kDegToRad, 1e-15);
    EXPECT_FALSE(pixel_direction(71, 71, 100, lens_of(false), d));
}

TEST(RimPoints, CircleThroughThemIsTheDiscExactly) {
    // The circle through three points from the perpendicular bisectors, in the integer and
    // double steps the gap-fraction analysis takes.
    for (int size : {600, 801, 1000}) {
        PictureParams params;
        params.size = size;
        params.radius = size / 2 - 1;
        const RimPoints p = rim_points(params);
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(p.x[k], 0);
            EXPECT_LT(p.x[k], size);
            EXPECT_GE(p.y[k], 0);
            EXPECT_LT(p.y[k], size);
        }
        const int a1 = p.x[0] - p.x[1], b1 = p.y[0] - p.y[1];
        const int a2 = p.x[0] - p.x[2], b2 = p.y[0] - p.y[2];
        const double c1 = (p.x[1] * p.x[1] - p.x[0] * p.x[0] + p.y[1] * p.y[1] - p.y[0] * p.y[0]) / 2.0;
        const double c2 = (p.x[2] * p.x[2] - p.x[0] * p.x[0] + p.y[2] * p.y[2] - p.y[0] * p.y[0]) / 2.0;
        const double det = a1 * b2 - b1 * a2;
        const int cx = int((b1 * c2 - c1 * b2) / det), cy = int((c1 * a2 - a1 * c2) / det);
        EXPECT_EQ(cx, size / 2);
        EXPECT_EQ(cy, size / 2);
        const int dx = p.x[2] - cx, dy = p.y[2] - cy;
        EXPECT_EQ(std::sqrt(double(dx * dx + dy * dy)), double(params.radius));
    }
}

TEST(Tones, AnyThresholdBetweenLeavesAndSkySeparatesThem) {
    EXPECT_GT(sky_grey(kHalfPi, -100), kSuggestedThreshold + 20);
    EXPECT_LT(leaf_grey(1.0, 100), kSuggestedThreshold - 20);
    EXPECT_GT(sky_grey(0, 0), sky_grey(1.2, 0));  // brighter towards the zenith
}

TEST(Render, BinaryPictureAndTruthAgree) {
    CanopyParams cs;
    cs.lai = 1.0;
    const Canopy canopy(cs);
    std::int64_t zenith_ring_pixels[2] = {0, 0};
    for (const Lens& lens : {lens_of(false), lens_of(true)}) {
        PictureParams ps;
        ps.size = 201;
        ps.radius = 99;
        ps.lens = lens;
        ps.binary = true;
        const Picture pic = render(canopy, ps);
        const Picture again = render(canopy, ps);
        EXPECT_EQ(pic.pixels, again.pixels);
        ps.binary = false;
        const Picture toned = render(canopy, ps);
        std::int64_t disc = 0;
        for (int y = 0; y < 201; ++y) {
            for (int x = 0; x < 201; ++x) {
                const std::uint8_t v = pic.pixels[std::size_t(y) * 201 + x];
                ASSERT_TRUE(v == 0 || v == 255);
                // The toned picture thresholded gives the binary one.
                ASSERT_EQ(v == 255, toned.pixels[std::size_t(y) * 201 + x] > kSuggestedThreshold);
                disc += std::hypot(x - 100.0, 100.0 - y) < 99;
            }
        }
        const std::vector<RingTruth> rings = ring_truth(pic, ps, cs.angles, 1.0, 9);
        std::int64_t counted = 0;
        for (const RingTruth& t : rings) counted += t.pixels;
        EXPECT_EQ(counted, disc);  // every pixel inside the rim, once
        EXPECT_NEAR(rings[0].p_centre, std::exp(-0.5 / std::cos(5 * kDegToRad)), 1e-12);
        zenith_ring_pixels[lens.kind == skyimage::LensKind::kOrthographic] = rings[0].pixels;
    }
    // Radius under 99 * 10/90 = 11 px against 99 * sin 10 deg = 17.2 px.
    EXPECT_NEAR(zenith_ring_pixels[0], kPi * 11 * 11, 25);
    EXPECT_NEAR(zenith_ring_pixels[1], kPi * 17.2 * 17.2, 40);
}

TEST(Options, DefaultsAndRefusals) {
    Options opt;
    std::string err;
    ASSERT_TRUE(parse_options({"--size", "600", "--lai", "3", "--angles", "planophile",
                               "--lens", "orthographic", "out.bmp"}, &opt, &err)) << err;
    EXPECT_EQ(opt.picture.radius, 299);
    EXPECT_EQ(opt.canopy.angles.x, kPlanophileX);
    EXPECT_EQ(opt.picture.lens.kind, skyimage::LensKind::kOrthographic);
    const std::vector<std::vector<std::string>> bad = {
        {},                                   // no output file
        {"--lai", "abc", "o.bmp"},            // not a number
        {"--lai", "-1", "o.bmp"},             // out of range
        {"--lai", "nan", "o.bmp"},
        {"--size", "600", "--radius", "300", "o.bmp"},  // rim point outside the picture
        {"--angles", "round", "o.bmp"},
        {"--frobnicate", "o.bmp"},
        {"a.bmp", "b.bmp"},
        {"--seed", "-3", "o.bmp"},
        {"--bottom", "5", "o.bmp"},           // layer upside down (top 4)
        {"--lai", "12", "--leaf-radius", "0.001", "o.bmp"},  // billions of leaves
        {"o.bmp", "--size"},                  // value missing
        {"--lens", "fisheye", "o.bmp"},
        {"--lens", "poly-r:0.4,0,0", "o.bmp"},  // never reaches the rim within 180 degrees
        {"--frame", "900,700,170", "o.bmp"},
        {"--frame", "900,700,170,45,1", "o.bmp"},
        {"--size", "600", "--frame", "700,700,170,45", "o.bmp"},  // the square does not fit
    };
    for (const auto& args : bad) {
        Options o;
        std::string e;
        EXPECT_FALSE(parse_options(args, &o, &e)) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(e.empty());
    }
}

TEST(Options, LensesAndFrame) {
    Options opt;
    std::string err;
    ASSERT_TRUE(parse_options(
        {"--lens", "poly-r:1.06,0.00498,-0.0639", "--frame", "1200,1100,100,50", "o.bmp"}, &opt,
        &err))
        << err;
    EXPECT_EQ(opt.picture.lens.kind, skyimage::LensKind::kRadiusPoly);
    EXPECT_TRUE(opt.picture.black_frame);
    EXPECT_EQ(opt.frame.w, 1200);
    EXPECT_EQ(opt.frame.y, 50);
    Options polar;
    ASSERT_TRUE(parse_options({"--lens", "polar", "o.bmp"}, &polar, &err)) << err;
    EXPECT_EQ(polar.picture.lens.kind, skyimage::LensKind::kEquidistant);
    Options preset;
    ASSERT_TRUE(parse_options({"--lens", "fc-e9", "o.bmp"}, &preset, &err)) << err;
    EXPECT_EQ(preset.picture.lens.kind, skyimage::LensKind::kRadiusPolyRad);
}

// A photograph of the disc inside a larger black frame, off its centre, as a camera takes it.
skyimage::Photo* framed_photo(const Lens& lens, bool frame_dark, double lai) {
    CanopyParams cs;
    cs.lai = lai;
    const Canopy canopy(cs);
    PictureParams ps;
    ps.size = 400;
    ps.radius = 180;
    ps.lens = lens;
    ps.black_frame = frame_dark;
    const Picture square = render(canopy, ps);
    const Picture pic = framed(square, FrameParams{560, 430, 97, 12}, false, 3);
    skyimage::Photo* photo = new skyimage::Photo();
    std::uint8_t* data = new std::uint8_t[pic.pixels.size()];
    std::copy(pic.pixels.begin(), pic.pixels.end(), data);
    skyimage::adopt_pixels(&photo->bmp, data, pic.width, pic.height);
    return photo;
}

TEST(Frame, TheDiscIsFoundFromTheFrame) {
    skyimage::Lens e8;
    ASSERT_TRUE(skyimage::parse_lens("fc-e8", &e8));
    for (const Lens& lens : {lens_of(false), lens_of(true), e8}) {
        for (double lai : {1.0, 4.0}) {
            std::unique_ptr<skyimage::Photo> photo(framed_photo(lens, true, lai));
            skyimage::DiscFit fit;
            const char* why = skyimage::find_disc(*photo, &fit);
            ASSERT_EQ(why, nullptr) << why;
            // The disc: centre (97 + 200, 12 + 200), radius 180. Within one pixel.
            EXPECT_NEAR(fit.cx, 297, 1.0);
            EXPECT_NEAR(fit.cy, 212, 1.0);
            EXPECT_NEAR(fit.radius, 180, 1.0);
        }
    }
    // The framed photograph holds the square as rendered, the rest frame (0 to 4).
    std::unique_ptr<skyimage::Photo> photo(framed_photo(lens_of(false), true, 1.0));
    int brightest_frame = 0;
    for (int x = 0; x < 97; ++x)
        brightest_frame = std::max<int>(brightest_frame, photo->bmp.data[200 * 560 + x]);
    EXPECT_LE(brightest_frame, 4);
}

TEST(Frame, APictureWithoutFrameIsRefused) {
    // The middle of a rendered disc, cut inside its rim: sky and leaves to every corner.
    CanopyParams cs;
    cs.lai = 1;
    const Canopy canopy(cs);
    PictureParams ps;
    ps.size = 400;
    ps.radius = 199;
    const Picture pic = render(canopy, ps);
    const int side = 240, at = 80;
    std::uint8_t* data = new std::uint8_t[std::size_t(side) * side];
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            data[y * side + x] = pic.pixels[std::size_t(y + at) * 400 + std::size_t(x + at)];
    skyimage::Photo photo;
    skyimage::adopt_pixels(&photo.bmp, data, side, side);
    skyimage::DiscFit fit;
    const char* why = skyimage::find_disc(photo, &fit);
    ASSERT_NE(why, nullptr);
    EXPECT_NE(std::string(why).find("corners are not black"), std::string::npos) << why;
}

}  // namespace
}  // namespace canopysim
