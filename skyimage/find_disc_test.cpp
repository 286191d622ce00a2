// Finding the sky disc from the frame: drawn discs with a known circle, canopy as dark as the
// frame along much of the rim, stray bright pixels in the frame, and photographs without frame.
#include "skyimage/find_disc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "angles/angles.h"
#include "photo_readers.h"

namespace skyimage {
namespace {

struct Drawing {
    int w = 320, h = 240;
    double cx = 150.3, cy = 110.6, radius = 90;
    double dark_rim = 0;     // fraction of the circumference where the canopy at the rim is black
    int wedges = 6;          // in so many wedges
    int hot_pixels = 0;      // pairs of bright pixels scattered in the frame
    bool frameless = false;  // the picture fills the photograph
};

// Frame 0 to 3; inside the disc sky (170 to 250) and leaves (30 to 80) in patches, and black
// canopy (0 to 3, like the frame) at the rim in DARK_RIM of the directions, in WEDGES wedges,
// reaching in a ragged way (as crowns do) from 15 to 40 % of the radius inward.
std::vector<std::uint8_t> draw(const Drawing& d) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> frame(0, 3), sky(170, 250), leaf(30, 80);
    std::vector<std::uint8_t> v(std::size_t(d.w) * std::size_t(d.h));
    for (int y = 0; y < d.h; ++y) {
        for (int x = 0; x < d.w; ++x) {
            const double dx = x - d.cx, dy = y - d.cy, r = std::hypot(dx, dy);
            const double turn = (std::atan2(dy, dx) + angles::kPi) / angles::kTwoPi;  // 0..1
            const bool wedge = std::fmod(turn * d.wedges, 1.0) < d.dark_rim;
            std::uint8_t& out = v[std::size_t(y * d.w + x)];
            if (!d.frameless && r > d.radius) {
                out = std::uint8_t(frame(rng));
            } else if (wedge &&
                       r > (0.6 + 0.25 * ((int(turn * 360) * 7919) % 101) / 100.0) * d.radius) {
                out = std::uint8_t(frame(rng));
            } else {
                out = std::uint8_t((x / 9 + y / 13) % 3 == 0 ? leaf(rng) : sky(rng));
            }
        }
    }
    std::uniform_int_distribution<int> px(0, d.w - 2), py(0, d.h - 1);
    for (int k = 0; k < d.hot_pixels;) {
        const int x = px(rng), y = py(rng);
        if (std::hypot(x - d.cx, y - d.cy) < d.radius + 5) continue;
        v[std::size_t(y * d.w + x)] = v[std::size_t(y * d.w + x + 1)] = 255;
        ++k;
    }
    return v;
}

void as_photo(const std::vector<std::uint8_t>& v, int w, int h, bool sixteen, Photo* p) {
    if (sixteen) {
        std::vector<std::uint16_t> wide(v.size());
        for (std::size_t k = 0; k < v.size(); ++k) wide[k] = std::uint16_t(257 * v[k]);
        detail::adopt_wide(p, std::move(wide), w, h, PhotoInfo{});
        return;
    }
    std::unique_ptr<std::uint8_t[]> grey(new std::uint8_t[v.size()]);
    std::memcpy(grey.get(), v.data(), v.size());
    detail::adopt_grey(p, std::move(grey), w, h, PhotoInfo{});
}

TEST(FindDisc, RecoversTheCircleDespiteDarkCanopyAtTheRim) {
    for (double dark : {0.0, 0.5, 0.8}) {
        for (int hot : {0, 40}) {
            for (bool sixteen : {false, true}) {
                Drawing d;
                d.dark_rim = dark;
                d.hot_pixels = hot;
                Photo photo;
                as_photo(draw(d), d.w, d.h, sixteen, &photo);
                DiscFit fit;
                const char* why = find_disc(photo, &fit);
                ASSERT_EQ(why, nullptr) << why << " dark " << dark << " hot " << hot;
                // Edge points are placed to half a pixel: the fit lies well within one.
                EXPECT_NEAR(fit.cx, d.cx, 0.5) << "dark " << dark << " hot " << hot;
                EXPECT_NEAR(fit.cy, d.cy, 0.5) << "dark " << dark << " hot " << hot;
                EXPECT_NEAR(fit.radius, d.radius, 0.5) << "dark " << dark << " hot " << hot;
                EXPECT_LT(fit.rms, 0.6);  // half-pixel placement: about 0.3
                EXPECT_LT(fit.on_circle, fit.edge_points + 1);
                EXPECT_LE(fit.frame_level, sixteen ? 3 * 257 : 3);
            }
        }
    }
}

TEST(FindDisc, RefusesWhatShowsNoFrame) {
    Drawing d;
    d.frameless = true;
    Photo photo;
    as_photo(draw(d), d.w, d.h, false, &photo);
    DiscFit fit;
    const char* why = find_disc(photo, &fit);
    ASSERT_NE(why, nullptr);
    EXPECT_NE(std::strstr(why, "corners are not black"), nullptr) << why;

    // Black canopy all round the rim but for one arc of 72 degrees: too little of a circle to
    // fix it, and the inner edge of the black canopy is no border with the frame.
    d = Drawing{};
    d.dark_rim = 0.8;
    d.wedges = 1;
    as_photo(draw(d), d.w, d.h, false, &photo);
    why = find_disc(photo, &fit);
    EXPECT_NE(why, nullptr) << fit.cx << " " << fit.cy << " " << fit.radius << " " << fit.on_circle
                            << "/" << fit.edge_points;

    // Nothing but frame.
    std::vector<std::uint8_t> black(std::size_t(d.w) * std::size_t(d.h), 2);
    as_photo(black, d.w, d.h, false, &photo);
    why = find_disc(photo, &fit);
    ASSERT_NE(why, nullptr);
    EXPECT_NE(std::strstr(why, "shows nowhere"), nullptr) << why;
}

}  // namespace
}  // namespace skyimage
