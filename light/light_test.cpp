#include "light/light.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using light::Settings;
using light::Sky;
using light::SkyModel;

// The site of the model's published reference values (a coastal forest at 50.19 N): elevation
// 238.44 m, tau 0.65, 2-minute step, the whole year.
Settings reference_site() {
    Settings s;
    s.latitude_deg = 50.1876;
    s.elevation_m = 238.44;
    return s;
}

Sky uniform_sky(int nz, int na, double gap) {
    return Sky{nz, na, std::vector<double>(std::size_t(nz) * na, gap)};
}

// Rings 0 .. open_rings - 1 open, the rest closed.
Sky zenith_cap(int nz, int na, int open_rings) {
    Sky sky = uniform_sky(nz, na, 0);
    for (int i = 0; i < open_rings; ++i)
        for (int k = 0; k < na; ++k) sky.gap[std::size_t(i) * na + k] = 1;
    return sky;
}

// Sectors whose azimuth range lies in [from_deg, to_deg) open in every ring.
Sky open_sectors(int nz, int na, double from_deg, double to_deg) {
    Sky sky = uniform_sky(nz, na, 0);
    for (int k = 0; k < na; ++k) {
        const double start = 360.0 * k / na;
        if (start >= from_deg && start < to_deg)
            for (int i = 0; i < nz; ++i) sky.gap[std::size_t(i) * na + k] = 1;
    }
    return sky;
}

// Share of the period's beam weight carried by the sun positions `pick` selects, summed sample by
// sample from the building blocks, independently of the per-cell table.
template <typename Pick>
double beam_share(const Settings& s, Pick pick) {
    const double p = light::pressure_ratio(s.elevation_m);
    double picked = 0, all = 0;
    light::walk_sun(s, [&](const light::SunPosition& sun) {
        const double cos_z = std::max(0.0, sun.cos_zenith);
        const double rb =
            light::beam_weight(sun.e0, s.tau, light::air_mass(sun.zenith_deg, cos_z), p, cos_z);
        all += rb;
        if (pick(sun)) picked += rb;
    });
    return picked / all;
}

void expect_all_finite(const light::Result& r) {
    for (const double v :
         {r.sum_rb, r.ho_w, r.ho_mj, r.kd, r.global_above, r.diffuse_above, r.direct_above, r.isf,
          r.dsf, r.gsf, r.canopy_openness, r.global_below, r.diffuse_below, r.direct_below,
          r.global_pct, r.diffuse_pct, r.direct_pct, r.par_above, r.par_below})
        EXPECT_TRUE(std::isfinite(v));
}

// ---------------------------------------------------------------------------------------------
// The model's published reference values, to the digits given; each tolerance is half a unit
// of the last digit shown.

TEST(ReferenceSite, WholeYear) {
    const Settings s = reference_site();
    const light::Result r = light::compute_light(s, uniform_sky(9, 8, 1));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.sun_positions, 132145);
    EXPECT_NEAR(r.sum_rb, 24284.55, 0.005);
    EXPECT_NEAR(r.ho_w, 284.5328, 0.00005);
    EXPECT_NEAR(r.kd, 0.6301739, 1e-15);  // a table node: no interpolation error
    EXPECT_NEAR(r.global_above, 11.06264, 0.000005);
    EXPECT_NEAR(r.diffuse_above, 6.971384, 0.0000005);
    EXPECT_NEAR(r.direct_above, 4.091251, 0.0000005);
}

TEST(ReferenceSite, FirstSunPositionOfTheYear) {
    const Settings s = reference_site();
    bool seen = false;
    light::walk_sun(s, [&](const light::SunPosition& p) {
        if (seen) return;
        seen = true;
        EXPECT_EQ(p.day, 1);
        EXPECT_LT(p.minute, 720);  // sunrise, before solar noon
        EXPECT_NEAR(p.zenith_deg, 89.85343, 0.000005);
        const double io = s.solar_constant * p.e0 * p.cos_zenith;
        EXPECT_NEAR(io, 3.619521, 0.0000005);
        const double rb =
            light::beam_weight(p.e0, s.tau, light::air_mass(p.zenith_deg, p.cos_zenith),
                               light::pressure_ratio(s.elevation_m), p.cos_zenith);
        EXPECT_NEAR(rb, 8.559583e-10, 0.0000005e-10);
    });
    EXPECT_TRUE(seen);
}

TEST(ReferenceSite, FirstTwoDays) {
    Settings s = reference_site();
    s.last_day = 2;
    const light::Result r = light::compute_light(s, uniform_sky(9, 8, 1));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_NEAR(r.ho_w, 88.19772, 0.000005);
    EXPECT_NEAR(r.global_above, 3.429128, 0.0000005);
}

// ---------------------------------------------------------------------------------------------
// Site factors.

TEST(SiteFactors, OpenSkyTransmitsEverything) {
    for (const SkyModel model : {SkyModel::kUniformOvercast, SkyModel::kStandardOvercast}) {
        Settings s = reference_site();
        s.sky_model = model;
        const light::Result r = light::compute_light(s, uniform_sky(9, 36, 1));
        ASSERT_TRUE(r.ok) << r.message;
        // The weights are divided by their own sum, so an open sky is 1 up to one rounding.
        EXPECT_NEAR(r.isf, 1, 1e-15);
        EXPECT_NEAR(r.dsf, 1, 1e-15);
        EXPECT_NEAR(r.gsf, 1, 1e-15);
        EXPECT_NEAR(r.canopy_openness, 1, 1e-15);
        EXPECT_NEAR(r.global_pct, 100, 1e-12);
        EXPECT_NEAR(r.diffuse_pct, 100, 1e-12);
        EXPECT_NEAR(r.direct_pct, 100, 1e-12);
        EXPECT_NEAR(r.global_below, r.global_above, 1e-12);
        EXPECT_NEAR(r.par_below, r.par_above, 1e-12);
    }
}

TEST(SiteFactors, SkyOpenOnlyWithinThirtyDegreesOfTheZenith) {
    // Exact ring integrals over 0..30 degrees (cos 30 = sqrt(3)/2):
    //   uoc 1 - 3/4 = 0.25;  soc (0.25/2 + 2/3 (1 - 0.6495190528)) / (1/2 + 2/3) = 0.3074177;
    //   openness 1 - cos 30 = 0.1339746.
    // Nine rings with three open, and three rings with one, cover the same cap.
    const double cap_beam =
        beam_share(reference_site(), [](const light::SunPosition& p) { return p.zenith_deg < 30; });
    EXPECT_GT(cap_beam, 0.01);
    for (const Sky& sky : {zenith_cap(9, 8, 3), zenith_cap(3, 4, 1), zenith_cap(90, 1, 30)}) {
        Settings s = reference_site();
        const light::Result uoc = light::compute_light(s, sky);
        s.sky_model = SkyModel::kStandardOvercast;
        const light::Result soc = light::compute_light(s, sky);
        ASSERT_TRUE(uoc.ok && soc.ok);
        EXPECT_NEAR(uoc.isf, 0.25, 1e-14);  // closed form; rounding only
        EXPECT_NEAR(soc.isf, 0.3074177, 0.00000005);
        EXPECT_NEAR(uoc.canopy_openness, 0.1339746, 0.00000005);
        EXPECT_NEAR(soc.canopy_openness, uoc.canopy_openness, 1e-15);
        // Around midsummer the noon sun climbs to 63.25 degrees (zenith 26.75): the cap takes
        // the beam of those positions only, whichever grid holds it.
        EXPECT_NEAR(uoc.dsf, cap_beam, 1e-12);  // same sums in another order
        EXPECT_NEAR(uoc.gsf, uoc.kd * uoc.isf + (1 - uoc.kd) * uoc.dsf, 1e-15);
    }
}

TEST(SiteFactors, SkyOpenToTheEastSeesOnlyTheMorningSun) {
    const Settings s = reference_site();
    const int nz = 9, na = 36;
    const light::Result east = light::compute_light(s, open_sectors(nz, na, 0, 180));
    const light::Result west = light::compute_light(s, open_sectors(nz, na, 180, 360));
    ASSERT_TRUE(east.ok && west.ok);

    // East of the meridian before noon, west after (noon itself lies due south).
    int mislaid = 0;
    light::walk_sun(s, [&](const light::SunPosition& sun) {
        if ((sun.minute < 720) != (sun.azimuth_deg < 180)) ++mislaid;
    });
    EXPECT_EQ(mislaid, 0);
    // The beam of the samples before solar noon over the beam of all; the same sums in another
    // order, a few roundings of 1e-16 each.
    const double morning =
        beam_share(s, [](const light::SunPosition& p) { return p.minute < 720; });
    EXPECT_NEAR(east.dsf, morning, 1e-12);
    EXPECT_GT(east.dsf, 0.4);
    EXPECT_NEAR(east.dsf + west.dsf, 1, 1e-12);
    // Half the sky either way, so the diffuse factors agree.
    EXPECT_NEAR(east.isf, 0.5, 1e-15);
    EXPECT_NEAR(west.isf, 0.5, 1e-15);
}

TEST(SiteFactors, OneTableServesManySkiesOfItsShape) {
    const Settings s = reference_site();
    const light::SunTable table = light::build_sun_table(s, 9, 8);
    ASSERT_TRUE(table.ok);
    const Sky half = uniform_sky(9, 8, 0.5);
    const light::Result a = light::light_from_table(s, table, half);
    const light::Result b = light::compute_light(s, half);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.global_below, b.global_below);
    EXPECT_NEAR(a.gsf, 0.5, 1e-15);  // every cell half open

    const light::Result wrong = light::light_from_table(s, table, uniform_sky(9, 36, 1));
    EXPECT_FALSE(wrong.ok);
    EXPECT_NE(wrong.message, "");
}

// ---------------------------------------------------------------------------------------------
// Building blocks.

TEST(BuildingBlocks, DiffuseFractionTable) {
    EXPECT_EQ(light::diffuse_fraction(0), 0.9956545);
    EXPECT_EQ(light::diffuse_fraction(0.45), 0.6301739);
    EXPECT_EQ(light::diffuse_fraction(0.8), 0.1658167);
    EXPECT_EQ(light::diffuse_fraction(1), 0.1658167);  // constant above 0.80
    // Halfway between the 0.45 and 0.50 nodes; rounding only.
    EXPECT_NEAR(light::diffuse_fraction(0.475), (0.6301739 + 0.5463198) / 2, 1e-15);
    EXPECT_NEAR(light::diffuse_fraction(0.01), 0.9956545 + 0.2 * (0.9891128 - 0.9956545), 1e-15);
}

TEST(BuildingBlocks, RingWeights) {
    // Two rings split at 45 degrees: cos^2 45 = 1/2 and cos^3 45 = 0.3535534.
    const std::vector<double> uoc = light::diffuse_ring_weights(2, SkyModel::kUniformOvercast);
    ASSERT_EQ(uoc.size(), 2u);
    EXPECT_NEAR(uoc[0], 0.5, 1e-15);
    EXPECT_NEAR(uoc[1], 0.5, 1e-15);
    const std::vector<double> soc = light::diffuse_ring_weights(2, SkyModel::kStandardOvercast);
    const double inner = 0.25 + 2 * (1 - std::pow(0.5, 1.5)) / 3;
    EXPECT_NEAR(soc[0], inner / (7.0 / 6), 1e-15);
    EXPECT_NEAR(soc[0] + soc[1], 1, 1e-15);
    const std::vector<double> omega = light::solid_angle_ring_weights(2);
    EXPECT_NEAR(omega[0], 1 - std::sqrt(0.5), 1e-15);
    EXPECT_TRUE(light::diffuse_ring_weights(0, SkyModel::kUniformOvercast).empty());
}

TEST(BuildingBlocks, CellOfTheSun) {
    EXPECT_EQ(light::sun_cell(0, 0, 9, 8).ring, 0);
    EXPECT_EQ(light::sun_cell(30, 0, 3, 8).ring, 1);  // an edge opens the outer ring
    EXPECT_EQ(light::sun_cell(90, 0, 9, 8).ring, 8);  // the horizon: outermost ring
    EXPECT_EQ(light::sun_cell(90.5, 0, 9, 8).ring, 8);
    EXPECT_EQ(light::sun_cell(89.99, 0, 9, 8).ring, 8);
    EXPECT_EQ(light::sun_cell(45, 360, 9, 8).sector, 0);  // 360 is north
    EXPECT_EQ(light::sun_cell(45, 90, 9, 4).sector, 1);   // an edge opens the next sector
    EXPECT_EQ(light::sun_cell(45, 359.999, 9, 4).sector, 3);
    EXPECT_EQ(light::sun_cell(45, -90, 9, 4).sector, 3);  // west
    EXPECT_EQ(light::sun_cell(45, 179.9, 9, 2).sector, 0);
    EXPECT_EQ(light::sun_cell(45, 180, 9, 2).sector, 1);
    EXPECT_EQ(light::sun_cell(45, 180, 0, 0).ring, 0);  // no grid: no index outside it
}

TEST(BuildingBlocks, SunPositions) {
    // Day 80 (declination 0.0 degrees within 0.3): the sun rises near east, culminates due
    // south at 90 - latitude, sets near west.
    const double lat = 50;
    const light::SunPosition noon = light::sun_position(lat, 80, 720);
    EXPECT_NEAR(noon.azimuth_deg, 180, 1e-9);  // acos near 1: error grows as sqrt(rounding)
    EXPECT_NEAR(noon.altitude_deg, 40, 0.3);
    const light::SunPosition rise = light::sun_position(lat, 80, 6 * 60);
    EXPECT_NEAR(rise.azimuth_deg, 90, 0.5);
    EXPECT_NEAR(rise.altitude_deg, 0, 0.3);
    EXPECT_NEAR(light::sun_position(lat, 80, 18 * 60).azimuth_deg, 270, 0.5);

    // In the south the noon sun stands to the north.
    const double south_noon = light::sun_position(-30, 172, 720).azimuth_deg;
    EXPECT_TRUE(south_noon < 1e-6 || south_noon > 360 - 1e-6) << south_noon;

    // At the north pole the azimuth follows the hour angle: 180 - omega.
    const light::SunPosition pole = light::sun_position(90, 172, 9 * 60);
    EXPECT_NEAR(pole.azimuth_deg, 180 - 45, 1e-6);
    EXPECT_NEAR(pole.altitude_deg, 23.44, 0.02);  // the declination at midsummer
    const light::SunPosition south_pole = light::sun_position(-90, 355, 9 * 60);
    EXPECT_NEAR(south_pole.azimuth_deg, 45, 1e-6);

    // Sunrise hour angle: half a day at the equator, none in polar night, all day under a
    // midnight sun.
    EXPECT_NEAR(*light::sunrise_hour_angle_rad(0, 0.4), light::kPi / 2, 1e-15);
    EXPECT_FALSE(light::sunrise_hour_angle_rad(80, light::day_terms(355).decl_rad));
    EXPECT_EQ(*light::sunrise_hour_angle_rad(80, light::day_terms(172).decl_rad), light::kPi);
    EXPECT_EQ(*light::sunrise_hour_angle_rad(90, light::day_terms(172).decl_rad), light::kPi);
    EXPECT_FALSE(light::sunrise_hour_angle_rad(-90, light::day_terms(172).decl_rad));

    // Standard atmosphere at 5000 m: 54.05 kPa of 101.325 (ISO 2533); the formula's rounded
    // coefficients differ by 5e-4.
    EXPECT_EQ(light::pressure_ratio(0), 1);
    EXPECT_NEAR(light::pressure_ratio(5000), 54.05 / 101.325, 1e-3);
}

// ---------------------------------------------------------------------------------------------
// Polar night, midnight sun, the poles.

TEST(HighLatitudes, PolarNightAndMidnightSun) {
    Settings s;
    s.latitude_deg = 80;
    s.first_day = 330;
    s.last_day = 365;
    const light::Result night = light::compute_light(s, uniform_sky(9, 8, 1));
    ASSERT_TRUE(night.ok) << night.message;
    expect_all_finite(night);
    EXPECT_EQ(night.sun_positions, 0);
    EXPECT_EQ(night.ho_w, 0);
    EXPECT_EQ(night.dsf, 0);  // no beam to transmit
    EXPECT_EQ(night.global_below, 0);
    EXPECT_NEAR(night.isf, 1, 1e-15);  // one rounding

    s.first_day = 160;
    s.last_day = 180;
    const light::Result day = light::compute_light(s, uniform_sky(9, 8, 1));
    ASSERT_TRUE(day.ok) << day.message;
    expect_all_finite(day);
    EXPECT_EQ(day.sun_positions, 21 * 720);  // every sample of every day
    EXPECT_NEAR(day.dsf, 1, 1e-15);
}

TEST(HighLatitudes, PolesAndEquatorOverAYear) {
    for (const double lat : {-90.0, -66.56, 0.0, 66.56, 90.0}) {
        Settings s;
        s.latitude_deg = lat;
        const light::Result r = light::compute_light(s, uniform_sky(9, 8, 0.3));
        ASSERT_TRUE(r.ok) << r.message;
        expect_all_finite(r);
        EXPECT_GT(r.sun_positions, 0);
        EXPECT_NEAR(r.dsf, 0.3, 1e-14);
        bool in_range = true;
        light::walk_sun(s, [&](const light::SunPosition& p) {
            in_range = in_range && p.azimuth_deg >= 0 && p.azimuth_deg < 360 && p.zenith_deg >= 0 &&
                       p.zenith_deg <= 90 + 1e-9;
        });
        EXPECT_TRUE(in_range) << lat;
    }
}

// ---------------------------------------------------------------------------------------------
// Sun track and sunflecks.

TEST(SunTrack, CoarserStepIsASubsetAndKeptSamplesAreContiguous) {
    Settings s = reference_site();
    s.first_day = s.last_day = 100;
    s.step_min = 1;
    std::vector<int> fine;
    light::walk_sun(s, [&](const light::SunPosition& p) { fine.push_back(p.minute); });
    ASSERT_FALSE(fine.empty());
    for (std::size_t i = 1; i < fine.size(); ++i) EXPECT_EQ(fine[i] - fine[i - 1], 1);
    s.step_min = 2;
    int coarse = 0;
    light::walk_sun(s, [&](const light::SunPosition& p) {
        ++coarse;
        EXPECT_EQ(p.minute % 2, 0);
        EXPECT_GE(p.minute, fine.front());
        EXPECT_LE(p.minute, fine.back());
    });
    EXPECT_NEAR(coarse, fine.size() / 2.0, 1);
}

TEST(SunTrack, SunflecksArePerDayRunsAtTheStep) {
    Settings s;
    s.first_day = 1;
    s.last_day = 5;  // five days; the track covers four of them
    s.step_min = 1;
    std::vector<light::TrackPoint> track;
    auto add = [&](int day, int from, int to, bool visible) {
        for (int m = from; m <= to; ++m) track.push_back({day, m, visible});
    };
    add(1, 300, 302, true);  // 3 minutes
    add(1, 303, 303, false);
    add(1, 304, 308, true);    // 5 minutes
    add(1, 315, 318, true);    // 4 minutes, after a gap in the samples: a new run
    add(1, 1439, 1439, true);  // runs into the next day ...
    add(2, 0, 5, true);        // ... but counts per day: 6 minutes
    add(3, 700, 706, true);    // 7 minutes; the next day's samples that follow in time of day
    add(4, 707, 712, true);    // do not extend it: 6 minutes
    const light::Sunflecks f = light::summarise_sunflecks(s, track);
    EXPECT_EQ(f.longest_sunfleck_min, 7);
    EXPECT_DOUBLE_EQ(f.sun_minutes, (3 + 5 + 4 + 1 + 6 + 7 + 6) / 5.0);
    EXPECT_DOUBLE_EQ(f.daylight_minutes, double(track.size()) / 5.0);

    // At a 2-minute step each sample stands for two minutes.
    s.step_min = 2;
    const std::vector<light::TrackPoint> coarse = {{1, 600, true}, {1, 602, true}, {1, 604, false}};
    const light::Sunflecks c = light::summarise_sunflecks(s, coarse);
    EXPECT_EQ(c.longest_sunfleck_min, 4);
    EXPECT_DOUBLE_EQ(c.sun_minutes, 4 / 5.0);
}

// ---------------------------------------------------------------------------------------------
// Refused input.

TEST(Refusals, SettingsOutOfRange) {
    EXPECT_EQ(light::check_settings(Settings{}), "");
    auto problem = [](void (*change)(Settings&)) {
        Settings s;
        change(s);
        return light::check_settings(s);
    };
    EXPECT_NE(problem([](Settings& s) { s.latitude_deg = 90.5; }), "");
    EXPECT_NE(problem([](Settings& s) { s.latitude_deg = std::nan(""); }), "");
    EXPECT_NE(problem([](Settings& s) { s.elevation_m = 50000; }), "");
    EXPECT_NE(problem([](Settings& s) { s.elevation_m = INFINITY; }), "");
    EXPECT_NE(problem([](Settings& s) { s.first_day = 0; }), "");
    EXPECT_NE(problem([](Settings& s) { s.last_day = 366; }), "");
    EXPECT_NE(problem([](Settings& s) { s.first_day = 200, s.last_day = 100; }), "");
    EXPECT_NE(problem([](Settings& s) { s.day_step = 0; }), "");
    EXPECT_NE(problem([](Settings& s) { s.step_min = 0; }), "");
    EXPECT_NE(problem([](Settings& s) { s.step_min = 7; }), "");  // does not divide 1440
    EXPECT_EQ(problem([](Settings& s) { s.step_min = 1440; }), "");
    EXPECT_NE(problem([](Settings& s) { s.tau = 0; }), "");
    EXPECT_NE(problem([](Settings& s) { s.tau = 1.01; }), "");
    EXPECT_NE(problem([](Settings& s) { s.kt = -0.1; }), "");
    EXPECT_NE(problem([](Settings& s) { s.solar_constant = 0; }), "");
    EXPECT_NE(problem([](Settings& s) { s.sky_model = static_cast<SkyModel>(7); }), "");
    EXPECT_NE(problem([](Settings& s) { s.par_mol_per_mj = -1; }), "");

    Settings bad;
    bad.tau = 2;
    const light::Result r = light::compute_light(bad, uniform_sky(9, 8, 1));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, light::check_settings(bad));
    EXPECT_FALSE(light::build_sun_table(bad, 9, 8).ok);
    // The walk refuses too, rather than divide by a zero step or loop on a zero day step.
    bad = Settings{};
    bad.step_min = 0;
    int visits = 0;
    EXPECT_FALSE(light::walk_sun(bad, [&](const light::SunPosition&) { ++visits; }));
    EXPECT_EQ(visits, 0);
}

TEST(Refusals, SkiesThatCannotBeRead) {
    EXPECT_NE(light::check_sky(Sky{}), "");
    EXPECT_NE(light::check_sky(Sky{9, 8, std::vector<double>(71, 1)}), "");
    Sky sky = uniform_sky(9, 8, 1);
    sky.gap[5] = 1.5;
    EXPECT_NE(light::check_sky(sky), "");
    sky.gap[5] = std::nan("");
    EXPECT_NE(light::check_sky(sky), "");
    const light::Result r = light::compute_light(Settings{}, sky);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message, "");
    EXPECT_FALSE(light::build_sun_table(Settings{}, 0, 8).ok);
}

}  // namespace

namespace {

// The settings read from words: each name takes its own range, a refused value leaves the
// settings as they were and says what was wanted, and the longitude goes to its own place.
TEST(ApplySetting, EachNameItsRangeAndNothingChangedOnRefusal) {
    light::Settings s;
    double lon = 0;
    EXPECT_EQ(light::apply_setting("lat", "-33.5", &s, &lon), "");
    EXPECT_EQ(s.latitude_deg, -33.5);
    EXPECT_EQ(light::apply_setting("lon", "151.2", &s, &lon), "");
    EXPECT_EQ(lon, 151.2);
    EXPECT_EQ(light::apply_setting("days", "100-120", &s, &lon), "");
    EXPECT_EQ(s.first_day, 100);
    EXPECT_EQ(s.last_day, 120);
    EXPECT_EQ(light::apply_setting("days", "7", &s, &lon), "");
    EXPECT_EQ(s.first_day, 7);
    EXPECT_EQ(s.last_day, 7);
    EXPECT_EQ(light::apply_setting("step", "15", &s, &lon), "");
    EXPECT_EQ(s.step_min, 15);
    EXPECT_EQ(light::apply_setting("sky", "soc", &s, &lon), "");
    EXPECT_EQ(s.sky_model, light::SkyModel::kStandardOvercast);

    const light::Settings before = s;
    const std::pair<const char*, const char*> refused[] = {
        {"lat", "91"},           {"lat", "1e400"},   {"lon", "-180.5"},     {"elev", "10001"},
        {"days", "200-100"},     {"days", "0-10"},   {"days", "5-366"},     {"days", "1-"},
        {"day-step", "0"},       {"step", "7"},      {"step", "2880"},      {"tau", "0"},
        {"tau", "1.01"},         {"kt", "-0.1"},     {"solar-constant", "900"},
        {"sky", "clear"},        {"par-conversion", "0"}, {"lat", ""},      {"lat", "12x"},
        {"colour", "blue"}};
    for (const auto& r : refused) {
        EXPECT_NE(light::apply_setting(r.first, r.second, &s, &lon), "") << r.first << " " << r.second;
        EXPECT_EQ(s.latitude_deg, before.latitude_deg);
        EXPECT_EQ(s.first_day, before.first_day);
        EXPECT_EQ(s.last_day, before.last_day);
        EXPECT_EQ(s.step_min, before.step_min);
        EXPECT_EQ(s.sky_model, before.sky_model);
        EXPECT_EQ(lon, 151.2);
    }
    EXPECT_EQ(light::apply_setting("colour", "blue", &s, &lon), "a setting of the light model");
}

}  // namespace
