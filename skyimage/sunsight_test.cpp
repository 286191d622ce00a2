// Following the sun across a photograph: the lens inverted, the pixel of a direction counted in
// the cell holding that direction, and a photograph open only to the east.
#include "skyimage/sunsight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "light/light.h"
#include "skyimage/cells.h"
#include "skyimage/lens.h"

namespace {

using skyimage::Lens;
using skyimage::LensKind;

Lens lens_of(const char* text, double fov = 90) {
    Lens lens;
    EXPECT_TRUE(skyimage::parse_lens(text, &lens)) << text;
    lens.fov_deg = fov;
    EXPECT_EQ(skyimage::lens_problem(lens), nullptr) << text;
    return lens;
}

// Every lens kind, the classic ones with their own ring expressions and the others through the
// lens mapping, two of them with a rim beyond the horizon.
std::vector<Lens> all_lenses() {
    return {lens_of("equidistant"),       lens_of("orthographic"),     lens_of("equisolid", 100),
            lens_of("stereographic", 95), lens_of("equidistant", 110), lens_of("poly:80,15,-5")};
}

// Deterministic uniform numbers in [0, 1).
struct Lcg {
    std::uint64_t x = 88172645463325252ull;
    double next() {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return double(x >> 11) / 9007199254740992.0;
    }
};

// A working image W x W, canopy everywhere.
struct Working {
    int w;
    std::vector<std::uint8_t> data;
    explicit Working(int size) : w(size), data(std::size_t(size) * std::size_t(size), 0) {}
    skyimage::t_Bitmap bitmap() {
        skyimage::t_Bitmap b{};
        b.width = w;
        b.height = w;
        b.data = data.data();
        return b;
    }
};

TEST(RadiusOfZenith, InvertsEveryLens) {
    for (const Lens& lens : all_lenses()) {
        for (int k = 0; k <= 1000; ++k) {
            const double rho = k / 1000.0;
            const double z = skyimage::zenith_deg(lens, rho);
            // Bisection to 2^-60, and the rounding of z (1e-14 degrees) magnified by the
            // steepest inverse of these lenses (under 0.02 per degree): far below 1e-12.
            EXPECT_NEAR(skyimage::radius_of_zenith(lens, z), rho, 1e-12) << int(lens.kind);
        }
        EXPECT_EQ(skyimage::radius_of_zenith(lens, -0.001), -1);
        EXPECT_EQ(skyimage::radius_of_zenith(lens, std::nan("")), -1);
        EXPECT_EQ(skyimage::radius_of_zenith(lens, skyimage::rim_zenith_deg(lens) + 0.001), -1);
    }
    // A field of view narrower than the hemisphere leaves the low sky out of the picture.
    const Lens narrow = lens_of("equidistant", 80);
    EXPECT_EQ(skyimage::radius_of_zenith(narrow, 85), -1);
    EXPECT_FALSE(skyimage::direction_pixel(narrow, 200, 0, 85, 10).in_disc);
}

// The pixel picked for a direction is counted by count_cells in the cell that holds the
// direction, for every lens, declination, image size and grid tried. Directions closer than one
// pixel to a cell boundary may round to either side and are left out (the nearest pixel centre
// lies within 0.71 pixel of the direction's point). Directions are checked in batches that hold
// distinct cells: one count of the marked pixels then finds each in its own cell.
TEST(DirectionPixel, CountedInTheCellHoldingTheDirection) {
    struct Grid {
        int nz, na;
    };
    struct Marked {
        std::size_t at;
        light::Cell cell;
        double z, az;
    };
    Lcg random;
    int checked = 0, skipped = 0;
    for (const Lens& lens : all_lenses()) {
        for (const int w : {201, 600}) {
            for (const double declination : {0.0, 12.5, -7.25}) {
                for (const Grid g : {Grid{9, 36}, Grid{18, 8}}) {
                    Working img(w);
                    const double R = w / 2;
                    std::vector<Marked> batch;
                    auto check_batch = [&] {
                        gapdata::Counts counts;
                        skyimage::count_cells(img.bitmap(), lens, g.nz, g.na, declination, &counts);
                        std::int64_t total = 0;
                        for (const std::int64_t n : counts.gaps) total += n;
                        EXPECT_EQ(total, std::int64_t(batch.size()));
                        for (const Marked& m : batch) {
                            EXPECT_EQ(counts.gap(m.cell.ring, m.cell.sector), 1)
                                << "lens " << int(lens.kind) << " w " << w << " decl "
                                << declination << " z " << m.z << " az " << m.az;
                            img.data[m.at] = 0;
                        }
                        checked += int(batch.size());
                        batch.clear();
                    };
                    for (int n = 0; n < 200; ++n) {
                        const double z = 89.5 * random.next();
                        const double az = 360 * random.next();
                        const double r = skyimage::radius_of_zenith(lens, z) * R;
                        // Pixel distance to the nearest ring edge (the rim included) and sector
                        // edge.
                        double ring_gap = R - r;
                        for (int k = 1; k < g.nz; ++k) {
                            const double rb = skyimage::radius_of_zenith(lens, 90.0 * k / g.nz);
                            if (rb >= 0) ring_gap = std::fmin(ring_gap, std::fabs(r - rb * R));
                        }
                        const double s = 360.0 / g.na;
                        const double off = std::fmod(az, s);
                        const double turn_deg = std::fmin(off, s - off);
                        const double sector_gap =
                            turn_deg >= 90 ? r : r * std::sin(turn_deg * angles::kDegToRad);
                        if (ring_gap < 1 || sector_gap < 1) {
                            ++skipped;
                            continue;
                        }
                        const skyimage::DiscPixel p =
                            skyimage::direction_pixel(lens, w, declination, z, az);
                        ASSERT_TRUE(p.in_disc) << z << " " << az;
                        const light::Cell cell = light::sun_cell(z, az, g.nz, g.na);
                        for (const Marked& m : batch)
                            if (m.cell.ring == cell.ring && m.cell.sector == cell.sector) {
                                check_batch();
                                break;
                            }
                        const std::size_t at =
                            std::size_t(w / 2 - p.dy) * std::size_t(w) + std::size_t(w / 2 + p.dx);
                        img.data[at] = 255;
                        batch.push_back({at, cell, z, az});
                    }
                    check_batch();
                }
            }
        }
    }
    // A third of the random directions lie within a pixel of a boundary (measured 9470
    // checked, 4930 left out), most on the small image with 18 rings or 36 sectors.
    EXPECT_GT(checked, 8000);
    EXPECT_GT(checked, skipped);
}

TEST(DirectionPixel, RimHorizonAndNonsense) {
    const Lens lens = lens_of("equidistant");
    // Just inside the rim the nearest pixel may lie on it; the one picked is still counted.
    for (const int w : {101, 400}) {
        for (int k = 0; k < 360; ++k) {
            const skyimage::DiscPixel p = skyimage::direction_pixel(lens, w, 0, 89.999, k);
            ASSERT_TRUE(p.in_disc);
            EXPECT_LT(std::hypot(p.dx, p.dy), w / 2);
        }
    }
    EXPECT_FALSE(skyimage::direction_pixel(lens, 400, 0, 90, 10).in_disc);
    EXPECT_FALSE(skyimage::direction_pixel(lens, 400, 0, 120, 10).in_disc);
    EXPECT_FALSE(skyimage::direction_pixel(lens, 400, 0, 30, std::nan("")).in_disc);
    EXPECT_FALSE(skyimage::direction_pixel(lens, 400, INFINITY, 30, 10).in_disc);
    EXPECT_FALSE(skyimage::direction_pixel(lens, 1, 0, 30, 10).in_disc);
    // The zenith is the centre pixel.
    const skyimage::DiscPixel centre = skyimage::direction_pixel(lens, 400, 5, 0, 123);
    EXPECT_TRUE(centre.in_disc);
    EXPECT_EQ(centre.dx, 0);
    EXPECT_EQ(centre.dy, 0);
    // Azimuth 0 at the top, 90 (east) to the left; an East declination turns them
    // counter-clockwise: north toward the left, east toward the bottom.
    const skyimage::DiscPixel north = skyimage::direction_pixel(lens, 400, 0, 45, 0);
    const skyimage::DiscPixel east = skyimage::direction_pixel(lens, 400, 0, 45, 90);
    EXPECT_EQ(north.dx, 0);
    EXPECT_EQ(north.dy, 100);
    EXPECT_EQ(east.dx, -100);
    EXPECT_EQ(east.dy, 0);
    const skyimage::DiscPixel turned = skyimage::direction_pixel(lens, 400, 90, 45, 0);
    EXPECT_EQ(turned.dx, -100);
    EXPECT_EQ(turned.dy, 0);
}

TEST(SunSight, ReadsThePhotographThroughTheSquare) {
    // A 40 x 30 photograph whose disc square (20 x 20) starts at column 25, row -5: partly
    // beyond the photograph on the right and at the top.
    std::vector<std::uint8_t> photo(40 * 30, 0);
    skyimage::ImageView v;
    v.pixels = photo.data();
    v.width = 40;
    v.height = 30;
    v.x0 = 25;
    v.y0 = -5;
    v.w = 20;
    v.h = 20;
    v.test = skyimage::SkyTest::kAboveThreshold;
    v.threshold = 100;
    const Lens lens = lens_of("equidistant");
    // The zenith: working pixel (10, 10), photograph column 35, row 5.
    photo[5 * 40 + 35] = 101;
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 0, 0), skyimage::Sight::kSky);
    photo[5 * 40 + 35] = 100;  // not above the threshold
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 0, 0), skyimage::Sight::kCanopy);
    v.test = skyimage::SkyTest::kNonZero;
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 0, 0), skyimage::Sight::kSky);
    // West (to the right, column 35 + 5 = 40) lies beyond the photograph: canopy, even though
    // the photograph's next row starts there.
    photo[6 * 40 + 0] = 255;
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 45, 270), skyimage::Sight::kCanopy);
    // North (up 5 rows, row 0) is inside; the top of the square (row -5) is not.
    photo[0 * 40 + 35] = 255;
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 45, 0), skyimage::Sight::kSky);
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 91, 0), skyimage::Sight::kOutside);
    v.pixels = nullptr;
    EXPECT_EQ(skyimage::sun_sight(v, lens, 0, 0, 0), skyimage::Sight::kOutside);
}

// A photograph open only to the east: the sky fills the left half of the picture (azimuths 0 to
// 180 with no declination). Followed minute by minute through a year at a northern site, the
// sun is seen in the morning only, and nearly every morning minute.
TEST(SunSight, PhotographOpenToTheEastSeesTheMorningSun) {
    const int w = 401;
    Working img(w);
    for (int row = 0; row < w; ++row)
        for (int col = 0; col < w / 2; ++col) img.data[std::size_t(row) * w + col] = 255;
    skyimage::ImageView v;
    v.pixels = img.data.data();
    v.width = v.w = w;
    v.height = v.h = w;
    const Lens lens = lens_of("equidistant");

    light::Settings s;
    s.latitude_deg = 50.1876;
    s.step_min = 1;
    std::vector<light::TrackPoint> track;
    int morning = 0, afternoon_seen = 0, morning_missed = 0;
    light::walk_sun(s, [&](const light::SunPosition& sun) {
        const bool seen = skyimage::sun_sight(v, lens, 0, sun.zenith_deg, sun.azimuth_deg) ==
                          skyimage::Sight::kSky;
        track.push_back({sun.day, sun.minute, seen});
        if (sun.minute >= 720) {
            afternoon_seen += seen;
        } else {
            ++morning;
            morning_missed += !seen;
        }
    });
    EXPECT_EQ(afternoon_seen, 0);
    // At most a minute a day may be missed, when the sun passes within half a pixel of the
    // meridian's pixel column just before noon (none is missed here: the sun near the rim at
    // sunrise takes the pixel just inside it).
    EXPECT_LE(morning_missed, 365) << morning_missed << " of " << morning;

    const light::Sunflecks f = light::summarise_sunflecks(s, track);
    // Half the daylight: the minute of solar noon itself belongs to the afternoon, half a
    // minute less for the morning, and a missed minute a day at most.
    EXPECT_NEAR(f.sun_minutes, f.daylight_minutes / 2, 1.5);
    // The longest fleck is the longest morning (sunrise to noon near midsummer: at 50.19 N
    // some 485 minutes), less a minute possibly missed at the meridian.
    light::Settings midsummer = s;
    midsummer.first_day = midsummer.last_day = 172;
    int longest_morning = 0;
    light::walk_sun(midsummer,
                    [&](const light::SunPosition& sun) { longest_morning += sun.minute < 720; });
    EXPECT_LE(f.longest_sunfleck_min, longest_morning + 2);  // a neighbouring day may be longer
    EXPECT_GE(f.longest_sunfleck_min, longest_morning - 1);
    EXPECT_GT(longest_morning, 480);
}

// The sun followed pixel by pixel and the sun's beam shared over the photograph's cells give
// the same direct site factor: the two paths agree on where every direction lies.
TEST(SunSight, TrackAgreesWithTheCellsDirectSiteFactor) {
    const int w = 601;
    Working img(w);
    // A canopy with holes: sky where a smooth pattern of the picture position is high.
    for (int row = 0; row < w; ++row)
        for (int col = 0; col < w; ++col)
            img.data[std::size_t(row) * w + col] =
                std::sin(col * 0.05) + std::cos(row * 0.037) > 0.6 ? 255 : 0;
    const Lens lens = lens_of("equisolid", 90);
    const double declination = -9;
    light::Settings s;
    s.latitude_deg = -33.5;

    // Through the cells: every cell's gap fraction weighted by the beam falling into it.
    gapdata::Counts counts;
    skyimage::count_cells(img.bitmap(), lens, 90, 360, declination, &counts);
    light::Sky sky;
    sky.nz = counts.nz;
    sky.na = counts.na;
    for (std::size_t c = 0; c < counts.pixels.size(); ++c)
        sky.gap.push_back(counts.pixels[c] > 0 ? double(counts.gaps[c]) / counts.pixels[c] : 0);
    const light::Result cells = light::compute_light(s, sky);
    ASSERT_TRUE(cells.ok) << cells.message;

    skyimage::ImageView v;
    v.pixels = img.data.data();
    v.width = v.w = w;
    v.height = v.h = w;
    const double p = light::pressure_ratio(s.elevation_m);
    double seen = 0, all = 0;
    light::walk_sun(s, [&](const light::SunPosition& sun) {
        const double cos_z = std::fmax(0, sun.cos_zenith);
        const double rb =
            light::beam_weight(sun.e0, s.tau, light::air_mass(sun.zenith_deg, cos_z), p, cos_z);
        all += rb;
        if (skyimage::sun_sight(v, lens, declination, sun.zenith_deg, sun.azimuth_deg) ==
            skyimage::Sight::kSky)
            seen += rb;
    });
    // One sun pixel against the mean of a cell's 5 to 30 pixels where the track crosses an
    // edge of the pattern: measured 0.0005 here, on a factor of 0.21.
    EXPECT_NEAR(seen / all, cells.dsf, 0.005);
    EXPECT_GT(cells.dsf, 0.1);
}

}  // namespace
