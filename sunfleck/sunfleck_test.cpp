// The sun followed across a photograph through tables made once: the same minutes as following
// it direction by direction, and the sums of an open sky, a closed one, polar night and a
// midnight sun worked by hand.
#include "sunfleck/sunfleck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "gapreport/light_columns.h"
#include "skyimage/cells.h"

namespace {

skyimage::Lens equidistant() {
    skyimage::Lens lens;
    EXPECT_TRUE(skyimage::parse_lens("equidistant", &lens));
    return lens;
}

// A W x W working image filled with VALUE.
struct Image {
    int w;
    std::vector<std::uint8_t> data;
    Image(int size, std::uint8_t value) : w(size), data(std::size_t(size) * size, value) {}
    skyimage::ImageView view() const {
        skyimage::ImageView v;
        v.pixels = data.data();
        v.width = v.w = w;
        v.height = v.h = w;
        return v;
    }
};

light::Settings site(double lat, int first, int last) {
    light::Settings s;
    s.latitude_deg = lat;
    s.first_day = first;
    s.last_day = last;
    s.step_min = 7;  // ignored: the track is a minute series
    return s;
}

// The tables give what following the sun direction by direction gives, minute for minute.
TEST(Sunfleck, TablesFollowTheSunAsEachDirectionDoes) {
    Image img(301, 0);
    for (int row = 0; row < img.w; ++row)
        for (int col = 0; col < img.w; ++col)
            img.data[std::size_t(row) * img.w + col] =
                std::sin(col * 0.07) * std::cos(row * 0.05) > 0.3 ? 255 : 0;
    const skyimage::Lens lens = equidistant();
    const double declination = 7.5;
    const light::Settings s = site(47.3, 150, 200);

    const std::vector<sunfleck::Sample> track = sunfleck::minute_track(s);
    const auto pixels = sunfleck::track_pixels(track, lens, img.w, declination);
    std::vector<light::TrackPoint> points;
    const light::Sunflecks got = sunfleck::follow(img.view(), track, pixels, s, &points);

    light::Settings minute = s;
    minute.step_min = 1;
    std::vector<light::TrackPoint> want_points;
    light::walk_sun(minute, [&](const light::SunPosition& sun) {
        // The track keeps its angles as floats: the same pixels, but the direction must be the
        // float one to compare pixel for pixel.
        const float z = float(sun.zenith_deg), a = float(sun.azimuth_deg);
        want_points.push_back({sun.day, sun.minute,
                               skyimage::sun_sight(img.view(), lens, declination, z, a) ==
                                   skyimage::Sight::kSky});
    });
    const light::Sunflecks want = light::summarise_sunflecks(minute, want_points);

    ASSERT_EQ(points.size(), want_points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        ASSERT_EQ(points[k].day, want_points[k].day) << k;
        ASSERT_EQ(points[k].minute, want_points[k].minute) << k;
        ASSERT_EQ(points[k].visible, want_points[k].visible) << k;
    }
    EXPECT_DOUBLE_EQ(got.sun_minutes, want.sun_minutes);
    EXPECT_DOUBLE_EQ(got.daylight_minutes, want.daylight_minutes);
    EXPECT_EQ(got.longest_sunfleck_min, want.longest_sunfleck_min);
    EXPECT_GT(got.sun_minutes, 10);
    EXPECT_LT(got.sun_minutes, got.daylight_minutes - 10);
}

// Open sky sees every minute the sun is above the horizon except the sunrise and sunset
// samples on it; a closed canopy sees none; the sunless days of polar night count in the mean.
TEST(Sunfleck, OpenClosedPolarNightAndMidnightSun) {
    const skyimage::Lens lens = equidistant();
    const Image open(201, 255), closed(201, 0);

    // The equator: tan 0 = 0 makes the sunrise hour angle pi/2 on every day, so the sun is up
    // from 06:00 to 18:00 solar time, 721 minute samples; open sky sees one fleck from rise to
    // set, less the samples lying on the horizon.
    const light::Settings equinox = site(0, 80, 80);
    const auto track = sunfleck::minute_track(equinox);
    const auto pixels = sunfleck::track_pixels(track, lens, open.w, 0);
    int above = 0;
    for (const sunfleck::Sample& t : track) above += t.zenith_deg < 90;
    EXPECT_EQ(track.size(), 721u);
    EXPECT_GE(above, 719);
    const light::Sunflecks o = sunfleck::follow(open.view(), track, pixels, equinox, nullptr);
    EXPECT_EQ(o.sun_minutes, above);
    EXPECT_EQ(o.longest_sunfleck_min, above);
    EXPECT_EQ(o.daylight_minutes, double(track.size()));
    const light::Sunflecks c = sunfleck::follow(closed.view(), track, pixels, equinox, nullptr);
    EXPECT_EQ(c.sun_minutes, 0);
    EXPECT_EQ(c.longest_sunfleck_min, 0);

    // 80 N: the sun never sets at midsummer (1440 minutes, one fleck of a whole day) and never
    // rises at midwinter; over both days the mean is half a day.
    const light::Settings both = [] {
        light::Settings s = site(80, 172, 355);
        s.day_step = 183;
        return s;
    }();
    const auto polar = sunfleck::minute_track(both);
    EXPECT_EQ(polar.size(), 1440u);
    const auto polar_pixels = sunfleck::track_pixels(polar, lens, open.w, 0);
    const light::Sunflecks p = sunfleck::follow(open.view(), polar, polar_pixels, both, nullptr);
    EXPECT_EQ(p.sun_minutes, 720);
    EXPECT_EQ(p.longest_sunfleck_min, 1440);
}

// Tables made for another image width or another track are not read.
TEST(Sunfleck, MismatchedTablesGiveNothing) {
    const Image open(101, 255);
    const light::Settings s = site(30, 1, 1);
    const auto track = sunfleck::minute_track(s);
    std::vector<skyimage::DiscPixel> pixels(track.size() / 2);
    const light::Sunflecks f = sunfleck::follow(open.view(), track, pixels, s, nullptr);
    EXPECT_EQ(f.sun_minutes, 0);
    EXPECT_EQ(f.daylight_minutes, 0);
    light::Settings bad = s;
    bad.latitude_deg = 123;
    EXPECT_TRUE(sunfleck::minute_track(bad).empty());
}

// One photograph among many: the model's numbers are those of its gap-fraction file read back,
// and the tables kept for one site and camera serve the next photograph of another site only
// after they are made again.
TEST(Sunfleck, PhotoLightIsTheFilesLightAndTheTablesFollowTheSite) {
    Image img(241, 0);
    for (int row = 0; row < img.w; ++row)
        for (int col = 0; col < img.w; ++col)
            img.data[std::size_t(row) * img.w + col] = (row / 9 + col / 13) % 3 == 0 ? 255 : 0;
    skyimage::t_Bitmap bmp{};
    bmp.width = bmp.height = img.w;
    bmp.data = img.data.data();
    const skyimage::Lens lens = equidistant();
    gapdata::Counts counts;
    skyimage::count_cells(bmp, lens, 9, 8, -4, &counts);

    sunfleck::Tables tables;
    for (double lat : {52.0, -12.5, 52.0}) {
        light::Settings s = site(lat, 100, 160);
        s.step_min = 2;
        const sunfleck::PhotoLight got =
            sunfleck::photo_light(s, counts, img.view(), lens, -4, true, &tables);
        ASSERT_TRUE(got.light.ok) << got.light.message;

        gapdata::Grid<double> grid;
        gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid);
        const light::Result want = light::compute_light(s, gapreport::light_sky(grid));
        EXPECT_EQ(got.light.sun_positions, want.sun_positions) << lat;
        EXPECT_EQ(got.light.isf, want.isf) << lat;
        EXPECT_EQ(got.light.dsf, want.dsf) << lat;
        EXPECT_EQ(got.light.gsf, want.gsf) << lat;

        const auto track = sunfleck::minute_track(s);
        const auto pixels = sunfleck::track_pixels(track, lens, img.w, -4);
        const light::Sunflecks flecks = sunfleck::follow(img.view(), track, pixels, s, nullptr);
        EXPECT_EQ(got.flecks.sun_minutes, flecks.sun_minutes) << lat;
        EXPECT_EQ(got.flecks.longest_sunfleck_min, flecks.longest_sunfleck_min) << lat;
        ASSERT_NE(got.track, nullptr);
        EXPECT_EQ(got.track->size(), track.size());
        EXPECT_EQ(got.visible.size(), track.size());
    }
}

}  // namespace
