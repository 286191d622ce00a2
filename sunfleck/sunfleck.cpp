#include "sunfleck/sunfleck.h"

#include <cstring>

#include "gapreport/light_columns.h"

namespace sunfleck {

std::vector<Sample> minute_track(const light::Settings& settings) {
    light::Settings s = settings;
    s.step_min = 1;
    std::vector<Sample> track;
    light::walk_sun(s, [&](const light::SunPosition& sun) {
        track.push_back({std::int16_t(sun.day), std::int16_t(sun.minute), float(sun.zenith_deg),
                         float(sun.azimuth_deg)});
    });
    return track;
}

std::vector<skyimage::DiscPixel> track_pixels(const std::vector<Sample>& track,
                                              const skyimage::Lens& lens, int w,
                                              double declination) {
    std::vector<skyimage::DiscPixel> pixels;
    pixels.reserve(track.size());
    for (const Sample& s : track)
        pixels.push_back(
            skyimage::direction_pixel(lens, w, declination, s.zenith_deg, s.azimuth_deg));
    return pixels;
}

light::Sunflecks follow(const skyimage::ImageView& view, const std::vector<Sample>& track,
                        const std::vector<skyimage::DiscPixel>& pixels,
                        const light::Settings& settings, std::vector<light::TrackPoint>* points) {
    light::Settings s = settings;
    s.step_min = 1;
    if (pixels.size() != track.size()) return light::Sunflecks{};
    std::vector<light::TrackPoint> own;
    std::vector<light::TrackPoint>& seen = points != nullptr ? *points : own;
    seen.clear();
    seen.reserve(track.size());
    for (std::size_t k = 0; k < track.size(); ++k)
        seen.push_back({track[k].day, track[k].minute,
                        skyimage::sight_at(view, pixels[k]) == skyimage::Sight::kSky});
    return light::summarise_sunflecks(s, seen);
}

namespace {

bool same_sun(const light::Settings& a, const light::Settings& b) {
    return a.latitude_deg == b.latitude_deg && a.first_day == b.first_day &&
           a.last_day == b.last_day && a.day_step == b.day_step;
}

bool same_model(const light::Settings& a, const light::Settings& b) {
    return same_sun(a, b) && a.elevation_m == b.elevation_m && a.step_min == b.step_min &&
           a.tau == b.tau && a.kt == b.kt && a.solar_constant == b.solar_constant &&
           a.sky_model == b.sky_model && a.par_mol_per_mj == b.par_mol_per_mj;
}

bool same_lens(const skyimage::Lens& a, const skyimage::Lens& b) {
    return a.kind == b.kind && a.fov_deg == b.fov_deg && a.a[0] == b.a[0] && a.a[1] == b.a[1] &&
           a.a[2] == b.a[2];
}

}  // namespace

const light::SunTable& Tables::sun_table(const light::Settings& settings, int nz, int na) {
    if (!table_.ok || nz != table_nz_ || na != table_na_ || !same_model(settings, table_settings_)) {
        table_ = light::build_sun_table(settings, nz, na);
        table_settings_ = settings;
        table_nz_ = nz;
        table_na_ = na;
    }
    return table_;
}

std::shared_ptr<const std::vector<Sample>> Tables::track(const light::Settings& settings) {
    if (track_ == nullptr || !same_sun(settings, track_settings_)) {
        track_ = std::make_shared<const std::vector<Sample>>(minute_track(settings));
        track_settings_ = settings;
    }
    return track_;
}

const std::vector<skyimage::DiscPixel>& Tables::pixels(const light::Settings& settings,
                                                       const skyimage::Lens& lens, int w,
                                                       double declination) {
    std::shared_ptr<const std::vector<Sample>> t = track(settings);
    if (t != pixels_track_ || w != w_ || declination != declination_ || !same_lens(lens, lens_)) {
        pixels_ = track_pixels(*t, lens, w, declination);
        pixels_track_ = t;
        lens_ = lens;
        w_ = w;
        declination_ = declination;
    }
    return pixels_;
}

PhotoLight photo_light(const light::Settings& settings, const gapdata::Counts& counts,
                       const skyimage::ImageView& view, const skyimage::Lens& lens,
                       double declination, bool keep_track, Tables* tables) {
    PhotoLight out;
    gapdata::Grid<double> grid;
    gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid);
    const light::Sky sky = gapreport::light_sky(grid);
    out.light = light::light_from_table(settings, tables->sun_table(settings, sky.nz, sky.na), sky);
    if (!out.light.ok) return out;

    std::shared_ptr<const std::vector<Sample>> track = tables->track(settings);
    const std::vector<skyimage::DiscPixel>& pixels =
        tables->pixels(settings, lens, view.w, declination);
    std::vector<light::TrackPoint> points;
    out.flecks = follow(view, *track, pixels, settings, keep_track ? &points : nullptr);
    if (keep_track) {
        out.track = track;
        out.visible.reserve(points.size());
        for (const light::TrackPoint& p : points) out.visible.push_back(p.visible ? 1 : 0);
    }
    return out;
}

}  // namespace sunfleck
