#include "structure/structure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "lai/ellipsoid.h"
#include "lai/lang.h"
#include "lai/lang_xiang.h"
#include "lai/norman_campbell.h"
#include "lai/suits.h"
#include "skyimage/cells.h"
#include "skyimage/gapsize.h"
#include "skyimage/stretches.h"

namespace structure {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Zenith rings as bands of ZEN_STEP degrees from FIRST to END - 1, with their segments, from
// the counts of a grid of rings by segments (cell ia of ring iz covers azimuth
// [360 ia / S, 360 (ia + 1) / S)).
std::vector<lai::Ring> rings_of(const gapdata::Counts& c, double zen_step, int first, int end) {
    std::vector<lai::Ring> rings;
    for (int iz = first; iz < end; ++iz) {
        lai::Ring r;
        r.zen_low_deg = zen_step * iz;
        r.zen_high_deg = zen_step * (iz + 1);
        r.zen_deg = zen_step * iz + zen_step / 2;
        for (int ia = 0; ia < c.na; ++ia) {
            lai::Segment s;
            s.pixels = double(c.pixel(iz, ia));
            s.gap_fraction = s.pixels > 0 ? double(c.gap(iz, ia)) / s.pixels : 0;
            r.segments.push_back(s);
        }
        rings.push_back(r);
    }
    return rings;
}

// The band [LOW, HIGH) degrees summed from one-degree rings, assigned the zenith angle CENTRE.
lai::Ring band_of(const std::vector<lai::Ring>& degree_rings, int low, int high, double centre) {
    lai::Ring band;
    band.zen_low_deg = low;
    band.zen_high_deg = high;
    band.zen_deg = centre;
    const std::size_t segments = degree_rings.empty() ? 0 : degree_rings[0].segments.size();
    for (std::size_t k = 0; k < segments; ++k) {
        double pixels = 0, sky = 0;
        for (int d = low; d < high; ++d) {
            const lai::Segment& s = degree_rings[std::size_t(d)].segments[k];
            pixels += s.pixels;
            sky += s.gap_fraction * s.pixels;
        }
        band.segments.push_back({pixels > 0 ? sky / pixels : 0, pixels});
    }
    return band;
}

// The sky runs of one piece of a walk (not closed), from BEGIN to END (exclusive).
lai::Transect piece(const std::uint8_t* values, int begin, int end) {
    lai::Transect t;
    t.length = end - begin;
    std::int64_t run = 0;
    for (int k = begin; k < end; ++k) {
        if (values[k] != 0) {
            ++run;
        } else if (run > 0) {
            t.gaps.push_back(run);
            run = 0;
        }
    }
    if (run > 0) t.gaps.push_back(run);
    return t;
}

// The circles of ring IZ: up to COUNT integer radii spread over the radii whose pixel on the
// horizontal axis lies in the ring, each walked as gapimage walks its circles.
void circle_runs(const skyimage::WorkingView& working, const skyimage::Lens& lens, double turn,
                 int iz, const Settings& set, skyimage::RingWalker* walker,
                 lai::RingRuns* out) {
    const int R = working.w / 2;
    int lo = -1, hi = -1;
    for (int l = 1; l < R; ++l) {
        if (skyimage::ring_index(lens, set.nz, double(l), double(R)) != iz) continue;
        if (lo < 0) lo = l;
        hi = l;
    }
    out->segments.assign(std::size_t(set.segments), {});
    if (lo < 0) return;
    const int available = hi - lo + 1;
    const int count = std::min(available, set.circles_per_ring);
    std::vector<int> gaps, canopy, sector;
    for (int j = 0; j < count; ++j) {
        const int l = lo + int((j + 0.5) * available / count);
        walker->walk(l);
        const int n = walker->size();
        if (n == 0) continue;
        // Sky is any value but 0: a classified image may mark sky with several values, which
        // the gap-size file keeps apart but a gap size must not.
        std::vector<std::uint8_t> binary(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) binary[std::size_t(k)] = walker->value(k) != 0;
        gaps.assign(std::size_t(n), 0);
        canopy.assign(std::size_t(n), 0);
        int n_gaps = 0, n_canopy = 0;
        skyimage::cut_runs(binary.data(), n, gaps.data(), &n_gaps, canopy.data(), &n_canopy);
        lai::Transect whole;
        whole.length = n;
        whole.gaps.assign(gaps.begin(), gaps.begin() + n_gaps);
        out->circles.push_back(whole);

        // The pieces of the circle in each segment: the walk from a segment boundary on.
        // The sector rises around the circle, so each is one piece of the walk (the first
        // also ends it): its ends are found by probing sector_index near the predicted ones
        // (skyimage::detail::next_change) rather than at every pixel.
        sector.assign(std::size_t(n), 0);
        auto sector_at = [&](int k) {
            return skyimage::sector_index(walker->col(k), -walker->row(k), set.segments, turn);
        };
        const int first_sector = sector_at(0);
        int wrap = n;  // the walk's last piece, in the first pixel's sector, begins here
        if (n > 1 && sector_at(n - 1) == first_sector) {
            int changed = 0;
            const auto from_end = [&](int x) { return sector_at(n - 1 - x); };
            wrap = n - skyimage::detail::next_change(from_end, 0, n, first_sector,
                                                     n / set.segments, &changed);
        }
        for (int k = wrap; k < n; ++k) sector[std::size_t(k)] = first_sector;
        for (int b = 0, v = first_sector; b < wrap;) {
            int next = 0;
            const int e = skyimage::detail::next_change(sector_at, b, wrap, v,
                                                        b + std::max(1, n / set.segments), &next);
            for (int k = b; k < e; ++k) sector[std::size_t(k)] = v;
            b = e;
            v = next;
        }
        int start = 0;
        for (int k = 1; k < n; ++k) {
            if (sector[std::size_t(k)] != sector[std::size_t(k - 1)]) {
                start = k;
                break;
            }
        }
        std::vector<std::uint8_t> values(static_cast<std::size_t>(n));
        std::vector<int> sectors(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            values[std::size_t(k)] = binary[std::size_t((start + k) % n)];
            sectors[std::size_t(k)] = sector[std::size_t((start + k) % n)];
        }
        for (int b = 0; b < n;) {
            int e = b + 1;
            while (e < n && sectors[std::size_t(e)] == sectors[std::size_t(b)]) ++e;
            out->segments[std::size_t(sectors[std::size_t(b)])].push_back(
                piece(values.data(), b, e));
            b = e;
        }
    }
}

bool strictly_inside(double alpha) { return alpha > 0 && alpha < 90; }

// The horizon rings the classic methods leave out: those discarded and those beyond the
// largest zenith angle.
int horizon_rings_left_out(const Settings& set) {
    int first = 0, end = 0;
    rings_in_use(set, &first, &end);
    return std::max(set.horizon_rings_discarded, set.nz - std::max(end, first));
}

void classic_methods(const gapdata::Counts& counts, const Settings& set, Result* r) {
    gapdata::Grid<double> grid;
    gapdata::Grid<float> grid_float;
    gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid);
    gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid_float);
    const int zr = set.zenith_rings_discarded;
    const int hr = horizon_rings_left_out(set);

    namespace nc = lai::norman_campbell;
    r->tessor_lai = r->tessor_ala = kNaN;
    const nc::ContactNumbers cn = nc::contact_numbers(grid_float, gapdata::Terrain<float>{}, zr, hr);
    if (cn.b > 0) {
        nc::NormalEquations ne;
        nc::build_normal_equations(cn, set.tessor_classes, &ne);
        nc::Solution sol;
        if (nc::solve_constrained(ne, float(set.tessor_weight), &sol) < 0) {
            r->tessor_lai = sol.lai;
            double angle = 0;
            for (int c = 0; c < sol.classes; ++c) {
                const nc::ClassRow row = nc::class_row(sol, c);
                angle += double(row.fraction) * double(row.mid_deg);
                r->tessor_negative_classes += sol.solution[c] < 0;
            }
            r->tessor_ala = angle;
        }
    }

    const lai::suits::SuitsFit linear = lai::suits::fit_suits(grid, {zr, hr, 0});
    r->bravik_lai = linear.reg_lin.b0 + linear.reg_lin.b1;
    r->bravik_se = linear.reg_lin.se_b0 + linear.reg_lin.se_b1;
    const double alpha = lai::suits::leaf_angle(linear.reg_lin);
    r->bravik_ala = strictly_inside(alpha) ? alpha : kNaN;
    const lai::suits::SuitsFit searched = lai::suits::fit_suits(grid, {zr, hr, 1});
    r->bravik_opt_lai = searched.reg_lin.b0 + searched.reg_lin.b1;
    r->bravik_opt_se = searched.reg_lin.se_b0 + searched.reg_lin.se_b1;
    const double opt_alpha = lai::suits::leaf_angle(searched.reg_lin);
    r->bravik_opt_ala = strictly_inside(opt_alpha) ? opt_alpha : kNaN;
    r->bravik_opt_window_deg = searched.m * grid.s;

    const lai::lang_xiang::StepTable table = lai::lang_xiang::compute_table(grid, zr, hr);
    const lai::lang_xiang::Step& first = table.result.front();
    const lai::lang_xiang::Step& last = table.result.back();
    const auto failed = [](const lai::lang_xiang::Step& s) { return s.lai <= 0 || s.kappa <= 0; };
    r->quinda_lai_lin = failed(first) ? kNaN : first.lai;
    r->quinda_se = failed(first) ? kNaN : first.se_lai;
    r->quinda_ala = !failed(first) && strictly_inside(first.alpha_deg) ? first.alpha_deg : kNaN;
    r->quinda_lai_log = failed(last) ? kNaN : last.lai;
    r->quinda_lin_log = failed(last) ? kNaN : first.lai / last.lai;

    const lai::ellipsoid::StepResult zephor = lai::ellipsoid::averaging_steps(grid, zr, hr).front();
    r->zephor_lai = zephor.lai;
    r->zephor_x = zephor.eladp;
    r->zephor_ala = zephor.alpha;

    lai::lang::Params par;
    par.zr = zr;
    par.hr = hr;
    par.l_max = set.keldro_lmax;
    const lai::lang::Points points = lai::lang::lang_points(grid_float, par, gapdata::Terrain<float>{});
    const lai::lang::LineFit line = lai::lang::fit_line(points);
    r->keldro_points = points.count;
    r->keldro_lai = line.lai;
    // The LAI is 2 (a + b): its standard error from those of a and b and their correlation.
    const regress::t_Regression& g = line.reg;
    r->keldro_se = 2 * std::sqrt(g.se_b0 * g.se_b0 + g.se_b1 * g.se_b1 +
                                 2 * g.corr_b0_b1 * g.se_b0 * g.se_b1);
    r->keldro_r2 = g.r * g.r;
}

}  // namespace

std::string settings_problem(const Settings& s) {
    char text[200];
    if (s.nz < 1 || s.nz > gapdata::kMaxWriteAnnuli || s.na < 1 || s.na > gapdata::kMaxWriteSectors)
        return "the grid must have 1 to 90 rings and 1 to 360 sectors";
    if (s.zenith_rings_discarded < 0 || s.horizon_rings_discarded < 0 ||
        s.zenith_rings_discarded + s.horizon_rings_discarded >= s.nz) {
        std::snprintf(text, sizeof text,
                      "the rings discarded (%d at the zenith, %d at the horizon) leave none of "
                      "the %d rings",
                      s.zenith_rings_discarded, s.horizon_rings_discarded, s.nz);
        return text;
    }
    if (!(s.max_zenith_deg > 0 && s.max_zenith_deg <= 90))
        return "the largest zenith angle in use must lie above 0 and up to 90 degrees";
    int first = 0, end = 0;
    rings_in_use(s, &first, &end);
    if (end <= first) return "no ring lies within the zenith angles in use";
    if (s.segments < 1 || s.segments > gapdata::kMaxWriteSectors)
        return "the azimuth segments must number 1 to 360";
    if (s.circles_per_ring < 1) return "at least one circle per ring is needed";
    if (s.tessor_classes < lai::norman_campbell::kMinClasses ||
        s.tessor_classes > lai::norman_campbell::kMaxClasses)
        return "the leaf-angle classes must number 3 to 20";
    if (!(s.tessor_weight >= 0) || !std::isfinite(s.tessor_weight))
        return "the constraint weight must be a number of at least 0";
    if (!(s.gaps.zero_gap_substitute > 0 && s.gaps.zero_gap_substitute <= 1))
        return "the gap fraction put in place of no gap must lie above 0 and up to 1";
    return std::string();
}

void rings_in_use(const Settings& s, int* first, int* end) {
    *first = s.zenith_rings_discarded;
    *end = s.nz - s.horizon_rings_discarded;
    // A ring is in use when its outer edge, 90 (i + 1) / nz, is at most the largest zenith
    // angle; computed in whole multiples so that 90 / 9 * 7 = 70 counts at 70.
    while (*end > *first && 90.0 * *end > s.max_zenith_deg * s.nz + 1e-9) --*end;
}

Samples sample_photo(const skyimage::t_Bitmap& working, const skyimage::Lens& lens,
                     double declination, const Settings& s) {
    return sample_photo(skyimage::WorkingView::of(working), lens, declination, s);
}

Samples sample_photo(const skyimage::WorkingView& working, const skyimage::Lens& lens,
                     double declination, const Settings& s, const gapdata::Counts* grid_counts) {
    Samples out;
    int first = 0, end = 0;
    rings_in_use(s, &first, &end);
    gapdata::Counts counts;
    if (grid_counts != nullptr && grid_counts->nz == s.nz && grid_counts->na == s.segments) {
        out.rings = rings_of(*grid_counts, 90.0 / s.nz, first, end);
    } else {
        skyimage::count_by_stretches(working, lens, s.nz, s.segments, declination, &counts);
        out.rings = rings_of(counts, 90.0 / s.nz, first, end);
    }
    skyimage::count_by_stretches(working, lens, 90, s.segments, declination, &counts);
    out.degree_rings = rings_of(counts, 1.0, 0, 90);

    skyimage::RingWalker walker(working);
    const double turn = skyimage::azimuth_turn(declination);
    for (int iz = first; iz < end; ++iz) {
        out.runs.emplace_back();
        circle_runs(working, lens, turn, iz, s, &walker, &out.runs.back());
    }
    return out;
}

Result analyse(const gapdata::Counts& counts, const Samples& samples, const Settings& s) {
    Result r;
    std::int64_t sky = 0, pixels = 0;
    for (std::size_t k = 0; k < counts.pixels.size(); ++k) {
        pixels += counts.pixels[k];
        sky += counts.gaps[k];
    }
    r.sky_fraction = pixels > 0 ? double(sky) / double(pixels) : kNaN;
    gapdata::Grid<double> exact;
    gapdata::grid_from_counts(counts, gapdata::Precision::kExact, &exact);
    r.openness =
        gapdata::openness_summary(exact, gapdata::OpennessStyle::kSuits, gapdata::Terrain<double>{});

    const lai::Difn difn = lai::difn(samples.rings, s.gaps);
    r.difn_percent = difn.percent;
    r.miller = lai::miller_lai(samples.rings, s.gaps);
    std::vector<lai::Ring> five;
    for (int k = 0; k < 5; ++k) {
        const double c = lai::kFiveRingCentreDeg[k];
        five.push_back(band_of(samples.degree_rings, int(c - lai::kFiveRingHalfWidthDeg),
                               int(c + lai::kFiveRingHalfWidthDeg), c));
    }
    r.five_ring = lai::five_ring_lai(five, s.gaps);
    r.hinge = lai::hinge_lai(band_of(samples.degree_rings, int(lai::kHingeLowDeg),
                                     int(lai::kHingeHighDeg), lai::kHingeDeg),
                             s.gaps);

    lai::ClumpingSettings clumping;
    clumping.gaps = s.gaps;
    clumping.removal_significance = s.removal_significance;
    r.lx = lai::clumping_lang_xiang(samples.rings, s.gaps);
    r.cc = lai::clumping_chen_cihlar(samples.rings, samples.runs, clumping);
    r.clx = lai::clumping_clx(samples.rings, samples.runs, clumping);

    classic_methods(counts, s, &r);
    return r;
}

}  // namespace structure
