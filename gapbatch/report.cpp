#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "angles/angles.h"
#include "gapreport/gapreport.h"
#include "htmlreport/thumbnail.h"
#include "lai/ellipsoid.h"
#include "skyimage/photo.h"

namespace gapbatch {

namespace {

constexpr int kTrackStep = 10;  // every tenth minute of the sun's track is drawn
constexpr int kTrackDays = 8;   // of about this many days

// The first and last of the 256 levels of a histogram that hold any pixel.
void used_levels(const std::uint64_t (&h)[256], int* first, int* last) {
    *first = 0;
    *last = 255;
    while (*first < *last && h[*first] == 0) ++*first;
    while (*last > *first && h[*last] == 0) --*last;
}

}  // namespace

htmlreport::Analysis report_analysis(const PhotoJob& job, const skyimage::Photo& photo,
                                     const skyimage::PhotoResult& r,
                                     const structure::Result& m,
                                     const sunfleck::PhotoLight* light) {
    htmlreport::Analysis a;
    const skyimage::PhotoSettings& s = job.photo;
    const bool wide = r.info.depth == 16;
    a.grey = photo.bmp.data;
    a.width = photo.bmp.width;
    a.height = photo.bmp.height;
    // A 16-bit photograph's 8-bit image holds its classes by now.
    a.sky_rule = r.has_threshold && !wide ? htmlreport::SkyRule::kAboveThreshold
                                          : htmlreport::SkyRule::kNonZero;
    a.threshold = !r.has_threshold ? -1 : wide ? r.threshold / 256 : r.threshold;
    a.disc_cx = r.disc.cx;
    a.disc_cy = r.disc.cy;
    a.disc_radius = r.disc.radius;
    a.lens = s.lens;
    a.nz = s.nz;
    a.na = s.na;
    a.declination_deg = s.declination;
    if (r.has_histogram) a.histogram.assign(r.histogram, r.histogram + 256);

    for (int iz = 0; iz < s.nz; ++iz) {
        for (int k = 0; k < s.na; ++k) {
            const std::int64_t px = r.counts.pixel(iz, k);
            a.cells.push_back({90.0 * iz / s.nz, 90.0 * (iz + 1) / s.nz, 360.0 * k / s.na,
                               360.0 * (k + 1) / s.na,
                               px > 0 ? double(r.counts.gap(iz, k)) / double(px) : std::nan("")});
        }
    }
    for (const lai::RingClumping& ring : m.lx.rings) {
        const lai::RingGap& g = ring.gap;
        if (!g.in_use) continue;
        a.rings.push_back({g.zen_deg, g.gap_fraction,
                           -std::log(g.gap_fraction) * std::cos(g.zen_deg * angles::kDegToRad)});
    }
    // Miller's integral read as a spherical canopy (contact number Le / 2 at every angle) and
    // the ellipsoidal fit (extinction K(tan theta, x), gap fraction exp(-K L)).
    htmlreport::Curve sp{"spherical (Miller)", htmlreport::Quantity::kGapFraction, {}};
    htmlreport::Curve sk{"spherical (Miller)", htmlreport::Quantity::kContactNumber, {}};
    htmlreport::Curve ep{"ellipsoid", htmlreport::Quantity::kGapFraction, {}};
    htmlreport::Curve ek{"ellipsoid", htmlreport::Quantity::kContactNumber, {}};
    const bool ellipsoid = std::isfinite(m.zephor_lai) && std::isfinite(m.zephor_x) &&
                           m.zephor_x > 0;
    for (double zen = 0; zen <= 88; zen += 2) {
        const double c = std::cos(zen * angles::kDegToRad);
        if (std::isfinite(m.miller.lai)) {
            sp.points.push_back({zen, std::exp(-0.5 * m.miller.lai / c)});
            sk.points.push_back({zen, 0.5 * m.miller.lai});
        }
        if (ellipsoid) {
            const double k = lai::ellipsoid::f(std::tan(zen * angles::kDegToRad), m.zephor_x);
            ep.points.push_back({zen, std::exp(-k * m.zephor_lai)});
            ek.points.push_back({zen, k * m.zephor_lai * c});
        }
    }
    for (htmlreport::Curve* curve : {&sp, &sk, &ep, &ek})
        if (!curve->points.empty()) a.curves.push_back(std::move(*curve));

    if (light != nullptr && light->track != nullptr) {
        // About a dozen days of the period, so that the cells show between the paths.
        const int days = light::days_in_period(job.light);
        const int every = std::max(1, days / kTrackDays) * job.light.day_step;
        const std::vector<sunfleck::Sample>& track = *light->track;
        for (std::size_t k = 0; k < track.size() && k < light->visible.size(); k += kTrackStep) {
            if ((track[k].day - job.light.first_day) % every != 0) continue;
            a.sun_track.push_back({track[k].zenith_deg, track[k].azimuth_deg,
                                   light->visible[k] != 0});
        }
    }

    auto thumb = std::make_shared<htmlreport::Thumbnail>();
    std::string why;
    if (htmlreport::make_thumbnail(a, thumb.get(), &why)) a.thumbnail = std::move(thumb);
    a.grey = nullptr;  // the photograph is not kept
    return a;
}

std::vector<std::string> report_warnings(const Row& row, const skyimage::PhotoResult* r) {
    std::vector<std::string> out;
    if (row.job != nullptr && row.job->photo.disc.source == skyimage::DiscSource::kAssumed)
        out.push_back("disc assumed");
    if (r == nullptr || !row.ok) return out;
    if (r->outside > 0) out.push_back("disc beyond the photograph");
    if (r->has_threshold && r->has_histogram) {
        int first = 0, last = 0;
        used_levels(r->histogram, &first, &last);
        const int t = r->info.depth == 16 ? r->threshold / 256 : r->threshold;
        if (t <= first || t >= last) out.push_back("threshold at a histogram edge");
    }
    if (row.result.tessor_negative_classes > 0) out.push_back("negative leaf-area fractions");
    if (row.result.lx.zero_rings > 0) out.push_back("rings with no gap");
    return out;
}

htmlreport::BatchInfo report_info(const Options& o, int argc, char** argv,
                                  std::size_t photographs) {
    htmlreport::BatchInfo info;
    info.title = "gapbatch: " + std::to_string(photographs) + " photograph" +
                 (photographs == 1 ? "" : "s");
    info.version = std::string("gapbatch - ") + gapreport::kBanner + "; photographs read: " +
                   skyimage::compiled_readers();
    std::string line;
    for (int k = 0; k < argc; ++k) line += (k > 0 ? " " : "") + std::string(argv[k]);
    info.settings.emplace_back("command line", line);
    const skyimage::PhotoSettings& p = o.defaults.photo;
    char lens[120];
    skyimage::describe_lens(p.lens, lens, sizeof lens);
    info.settings.emplace_back("lens (unless a manifest row says otherwise)", lens);
    info.settings.emplace_back("threshold method", skyimage::method_name(p.method));
    info.settings.emplace_back("grid", std::to_string(p.nz) + " rings x " + std::to_string(p.na) +
                                           " sectors");
    char zenith[40];
    std::snprintf(zenith, sizeof zenith, "%g degrees", o.analysis.max_zenith_deg);
    info.settings.emplace_back("rings in use up to", zenith);
    info.settings.emplace_back("segments", std::to_string(o.analysis.segments));
    if (o.light_columns)
        info.settings.emplace_back("sun track on the sky maps",
                                   "about 8 days of the period, every tenth minute");
    for (const auto& [name, definition] : summary_columns(o))
        info.columns.push_back({name, definition});
    return info;
}

}  // namespace gapbatch
