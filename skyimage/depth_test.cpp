// 16-bit photographs: a picture scaled by 257 into 16 bits must be separated into sky and canopy
// exactly as the 8-bit picture, at the scaled threshold and by every automatic method.
#include "skyimage/depth.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "photo_readers.h"
#include "skyimage/threshold.h"
#include "test_images.h"

namespace skyimage {
namespace {

// A bimodal picture: dark canopy (20 to 90) and bright sky (150 to 250) in patches.
std::vector<std::uint8_t> canopy_picture(int w, int h) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> leaf(20, 90), sky(150, 250);
    std::vector<std::uint8_t> v(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            v[std::size_t(y * w + x)] =
                std::uint8_t(((x / 7 + y / 5) % 3 == 0) ? sky(rng) : leaf(rng));
    return v;
}

void make_photos(const std::vector<std::uint8_t>& v, int w, int h, Photo* p8, Photo* p16) {
    std::unique_ptr<std::uint8_t[]> grey(new std::uint8_t[v.size()]);
    std::memcpy(grey.get(), v.data(), v.size());
    detail::adopt_grey(p8, std::move(grey), w, h, PhotoInfo{});
    std::vector<std::uint16_t> wide(v.size());
    for (std::size_t k = 0; k < v.size(); ++k) wide[k] = std::uint16_t(257 * v[k]);
    detail::adopt_wide(p16, std::move(wide), w, h, PhotoInfo{});
}

std::vector<std::uint8_t> pixels_of(const Photo& p) {
    return std::vector<std::uint8_t>(
        p.bmp.data, p.bmp.data + std::size_t(p.bmp.width) * std::size_t(p.bmp.height));
}

TEST(Depth, ScaledPhotographClassifiesAsTheEightBitOneAtTheScaledThreshold) {
    const int w = 61, h = 47;
    const std::vector<std::uint8_t> v = canopy_picture(w, h);
    for (int t : {0, 50, 128, 200, 254, 255}) {
        // v > t  <=>  257 v > 257 t + j for every j from 0 to 256.
        for (int j : {0, 128, 256}) {
            Photo p8, p16;
            make_photos(v, w, h, &p8, &p16);
            EXPECT_EQ(p16.depth(), 16);
            EXPECT_EQ(pixels_of(p16), v);  // the 8-bit view of v * 257 is v
            classify_photo(&p8, t);
            classify_photo(&p16, 257 * t + j);
            EXPECT_EQ(pixels_of(p16), pixels_of(p8)) << "t " << t << " j " << j;
            EXPECT_EQ(p16.wide[5], 257 * v[5]);  // the samples stay as they were
        }
    }
}

TEST(Depth, DiscHistogramAtFullDepthAndTheAutomaticMethods) {
    const int w = 80, h = 64;
    const std::vector<std::uint8_t> v = canopy_picture(w, h);
    Photo p8, p16;
    make_photos(v, w, h, &p8, &p16);
    // A working square reaching beyond the photograph on the left and top.
    const std::int64_t x0 = -6, y0 = -4;
    const int side = 70;
    CellMap map;
    Lens lens;
    build_cell_map(side, side, lens, 9, 8, 0, &map);
    std::vector<std::uint64_t> h8, h16;
    std::int64_t out8 = 0, out16 = 0;
    disc_levels(p8, x0, y0, map, &h8, &out8);
    disc_levels(p16, x0, y0, map, &h16, &out16);
    ASSERT_EQ(h8.size(), 256u);
    ASSERT_EQ(h16.size(), 65536u);
    EXPECT_EQ(out8, out16);
    EXPECT_GT(out8, 0);
    for (int level = 0; level < 65536; ++level)
        ASSERT_EQ(h16[std::size_t(level)], level % 257 == 0 ? h8[std::size_t(level / 257)] : 0u);

    // The 8-bit path of the interactive analysis: crop first, then the histogram of the cut.
    Photo cut, unused;
    make_photos(v, w, h, &cut, &unused);
    ASSERT_TRUE(crop(&cut.bmp, x0, y0, side, side));
    std::uint64_t classic[256];
    std::int64_t classic_out = 0;
    disc_histogram(cut.bmp, x0, y0, w, h, map, classic, &classic_out);
    EXPECT_EQ(std::vector<std::uint64_t>(classic, classic + 256), h8);
    EXPECT_EQ(classic_out, out8);

    // Every automatic method splits the levels of the scaled histogram as the 8-bit one.
    for (ThresholdMethod m :
         {ThresholdMethod::kRidler, ThresholdMethod::kOtsu, ThresholdMethod::kMinimum}) {
        const AutoThreshold t8 = auto_threshold(m, h8.data(), 256);
        const AutoThreshold t16 = auto_threshold(m, h16.data(), 65536);
        ASSERT_EQ(t8.failure, ThresholdFailure::kNone) << method_name(m);
        ASSERT_EQ(t16.failure, ThresholdFailure::kNone) << method_name(m);
        EXPECT_GT(t8.t, 90) << method_name(m);  // between the canopy and the sky
        EXPECT_LT(t8.t, 150) << method_name(m);
        for (int level = 0; level < 256; ++level)
            EXPECT_EQ(level > t8.t, 257 * level > t16.t) << method_name(m) << " level " << level;
    }
}

#ifdef SKYGAP_HAVE_TIFF
// The same picture as an 8-bit BMP and a 16-bit TIFF (samples x 257), read from files, cut and
// counted: the same counts at the threshold 128 and 128 x 257.
TEST(Depth, SixteenBitTiffCountsAsTheBmp) {
    gapbatch_test::ScratchDir dir;
    const int w = 90, h = 70;
    const std::vector<std::uint8_t> v = canopy_picture(w, h);
    auto pixel = [&](int c, int r) {
        const std::uint8_t g = v[std::size_t(r * w + c)];
        return gapbatch_test::Rgb{std::uint8_t(g / 2), std::uint8_t(255 - g), g};  // blue is v
    };
    gapbatch_test::write_bmp(dir / "p.bmp", w, h, 24, false, pixel);
    gapbatch_test::Layout l;
    l.bits = 16;
    gapbatch_test::write_tiff(dir / "p.tif", w, h, l, pixel);
    gapdata::Counts counts[2];
    const char* names[2] = {"p.bmp", "p.tif"};
    for (int k = 0; k < 2; ++k) {
        Photo p;
        char problem[kPhotoProblemSize];
        ASSERT_TRUE(read_photo((dir / names[k]).c_str(), Channel::kBlue, &p, problem)) << problem;
        EXPECT_EQ(p.depth(), k == 0 ? 8 : 16);
        const Circle disc = [] {
            Circle c;
            c.cx = 44;
            c.cy = 35;
            c.radius = 33;
            square_around(&c);
            return c;
        }();
        CellMap map;
        build_cell_map(int(disc.w), int(disc.h), Lens{}, 9, 8, 0, &map);
        classify_photo(&p, k == 0 ? 128 : 128 * 257);
        ASSERT_TRUE(crop(&p.bmp, disc.x0, disc.y0, int(disc.w), int(disc.h)));
        count_with_map(p.bmp, map, &counts[k]);
    }
    EXPECT_EQ(counts[0].pixels, counts[1].pixels);
    EXPECT_EQ(counts[0].gaps, counts[1].gaps);
    std::int64_t sky = 0;
    for (std::int64_t g : counts[0].gaps) sky += g;
    EXPECT_GT(sky, 0);
}
#endif

}  // namespace
}  // namespace skyimage
