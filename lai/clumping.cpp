#include "lai/clumping.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "internal.h"

namespace lai {

using internal::failure;
using internal::kNaN;

namespace {

struct Totals {
    std::int64_t length = 0;
    std::int64_t gap_pixels = 0;
    int gaps = 0;
};

Totals totals(const std::vector<Transect>& transects) {
    Totals t;
    for (const Transect& tr : transects) {
        t.length += tr.length;
        for (std::int64_t g : tr.gaps) t.gap_pixels += g;
        t.gaps += int(tr.gaps.size());
    }
    return t;
}

Status check_transects(const std::vector<Transect>& transects) {
    for (std::size_t j = 0; j < transects.size(); ++j) {
        const Transect& tr = transects[j];
        const std::string which = "transect " + std::to_string(j) + ": ";
        if (tr.length < 0) return failure(which + "negative length");
        std::int64_t sum = 0;
        for (std::int64_t g : tr.gaps) {
            if (g < 1) return failure(which + "a gap run shorter than one pixel");
            if (g > tr.length - sum) return failure(which + "gap runs longer than the transect");
            sum += g;
        }
    }
    return Status{};
}

}  // namespace

double accumulated_gap_fraction(const std::vector<Transect>& transects, double lambda_px) {
    std::int64_t length = 0;
    std::int64_t in_gaps = 0;
    for (const Transect& tr : transects) {
        length += tr.length;
        for (std::int64_t g : tr.gaps)
            if (double(g) >= lambda_px) in_gaps += g;
    }
    return length > 0 ? double(in_gaps) / double(length) : 0.0;
}

double random_accumulated_gap_fraction(double lp, double wp, double lambda_px) {
    return (1 + lp * lambda_px / wp) * std::exp(-lp * (1 + lambda_px / wp));
}

double probe_probability(const std::vector<Transect>& transects, double l_px) {
    std::int64_t length = 0;
    double sum = 0;
    for (const Transect& tr : transects) {
        length += tr.length;
        for (std::int64_t g : tr.gaps) sum += std::max(double(g) - l_px, 0.0);
    }
    return length > 0 ? sum / double(length) : 0.0;
}

ElementWidth estimate_element_width(const std::vector<Transect>& transects) {
    const Totals t = totals(transects);
    ElementWidth e;
    e.lp = t.length > 0 && t.gap_pixels > 0 ? -std::log(double(t.gap_pixels) / double(t.length))
                                            : kNaN;
    e.mean_gap = t.gaps > 0 ? double(t.gap_pixels) / t.gaps : kNaN;
    // No canopy (lp == 0) or only one-pixel gaps (mean 1) gives no width.
    e.wp = e.lp > 0 && e.mean_gap > 1 ? e.lp / -std::log1p(-1 / e.mean_gap) : kNaN;
    return e;
}

GapSize chen_cihlar_gaps(const std::vector<Transect>& transects, double wp_px,
                         double removal_significance) {
    GapSize r;
    r.status = check_transects(transects);
    if (r.status.ok && !(wp_px >= 0 && std::isfinite(wp_px)))
        r.status = failure("the element width must be finite and >= 0 (0: estimate it)");
    if (r.status.ok && !(removal_significance > 0 && std::isfinite(removal_significance)))
        r.status = failure("the removal significance must be finite and > 0");
    if (!r.status.ok) {
        r.mean_gap = r.wp = r.fm0 = r.fmr0 = r.lp = r.omega = kNaN;
        return r;
    }
    const Totals t = totals(transects);
    r.length = t.length;
    r.gap_pixels = t.gap_pixels;
    r.gaps = t.gaps;
    r.mean_gap = t.gaps > 0 ? double(t.gap_pixels) / t.gaps : kNaN;
    r.wp = kNaN;
    if (t.length == 0) {
        r.fm0 = r.fmr0 = r.lp = kNaN;
        return r;
    }
    const double length = double(t.length);
    r.fm0 = r.fmr0 = double(t.gap_pixels) / length;
    if (t.gaps == 0) {
        r.lp = kNaN;  // no gap: no finite L_p
        return r;
    }
    r.assessed = true;
    r.lp = -std::log(r.fm0);
    if (t.gap_pixels == t.length) return r;  // no canopy: nothing to remove, omega 1

    r.wp = wp_px > 0 ? wp_px : estimate_element_width(transects).wp;
    if (std::isnan(r.wp)) return r;  // only one-pixel gaps: none is too large
    std::vector<std::int64_t> sorted;
    sorted.reserve(std::size_t(t.gaps));
    for (const Transect& tr : transects)
        sorted.insert(sorted.end(), tr.gaps.begin(), tr.gaps.end());
    std::sort(sorted.begin(), sorted.end(), std::greater<std::int64_t>());

    // sorted[kept..] are the gaps still in; the largest come first.
    std::size_t kept = 0;
    std::int64_t kept_sum = t.gap_pixels;
    for (;;) {
        const double fmr = double(kept_sum) / length;
        const double lp = -std::log(fmr);
        const double rho = lp / r.wp;
        // Expected number of gaps >= lambda in a random canopy over the same length.
        const double all_gaps = length * rho * fmr;
        std::size_t end = kept;
        while (end < sorted.size() &&
               all_gaps * std::exp(-rho * double(sorted[end])) < removal_significance)
            ++end;
        if (end == kept) break;
        if (end == sorted.size()) {
            r.removal_stopped = true;
            break;
        }
        for (std::size_t j = kept; j < end; ++j) {
            kept_sum -= sorted[j];
            r.removed_pixels += sorted[j];
        }
        r.gaps_removed += int(end - kept);
        kept = end;
        ++r.passes;
    }
    r.fmr0 = double(kept_sum) / length;
    r.lp = -std::log(r.fmr0);
    r.omega = std::log(r.fm0) / std::log(r.fmr0) * ((1 - r.fmr0) / (1 - r.fm0));
    return r;
}

// ---------------------------------------------------------------------------------------------
// Ring methods.

namespace {

Clumping failed(Clumping c, Status status) {
    c.status = std::move(status);
    c.le = c.lai = c.omega = c.se = kNaN;
    c.se_segments = 0;
    return c;
}

// The rings checked and weighted; the per-ring entries filled up to omega.
Clumping start(const std::vector<Ring>& rings, const GapSettings& settings,
               std::vector<double>* cos_zen) {
    const internal::Prepared p = internal::prepare(rings, settings);
    Clumping c;
    c.rings_used = p.rings_used;
    c.zero_segments = p.zero_segments;
    c.zero_rings = p.zero_rings;
    c.rings.resize(p.gaps.size());
    for (std::size_t i = 0; i < p.gaps.size(); ++i) {
        c.rings[i].gap = p.gaps[i];
        c.rings[i].omega = c.rings[i].contact_corrected = kNaN;
        c.rings[i].runs.mean_gap = c.rings[i].runs.wp = c.rings[i].runs.fm0 = kNaN;
        c.rings[i].runs.fmr0 = c.rings[i].runs.lp = kNaN;
    }
    if (!p.status.ok) return failed(c, p.status);
    const std::vector<double> w = internal::miller_weights(p.gaps);
    if (w.empty())
        return failed(c, failure(p.rings_used == 0 ? "no ring has pixels"
                                                   : "the rings in use have no weight "
                                                     "(sin of every zenith angle is 0)"));
    cos_zen->assign(rings.size(), 0.0);
    for (std::size_t i = 0; i < rings.size(); ++i) {
        c.rings[i].weight = w[i];
        if (p.gaps[i].in_use) (*cos_zen)[i] = std::cos(p.gaps[i].zen_deg * kDegToRad);
    }
    return c;
}

// Le, L and Omega from the per-ring contact numbers; the standard error from VALUES.
void finish(Clumping* c, const std::vector<double>& values) {
    double le = 0;
    double l = 0;
    for (const RingClumping& r : c->rings) {
        if (!r.gap.in_use) continue;
        le += r.weight * r.gap.contact;
        l += r.weight * r.contact_corrected;
    }
    c->le = 2 * le;
    c->lai = 2 * l;
    c->omega = c->lai > 0 ? c->le / c->lai : 1.0;
    c->se = standard_error(values);
    c->se_segments = std::isnan(c->se) ? 0 : int(values.size());
}

std::vector<double> weights_of(const Clumping& c) {
    std::vector<double> w;
    for (const RingClumping& r : c.rings) w.push_back(r.weight);
    return w;
}

std::vector<RingGap> gaps_of(const Clumping& c) {
    std::vector<RingGap> g;
    for (const RingClumping& r : c.rings) g.push_back(r.gap);
    return g;
}

// Omega of a ring from the mean over its segments of ln(P) (or ln(P) / Omega_k).
double ring_omega(double gap_fraction_used, double mean_depth) {
    return mean_depth < 0 ? std::log(gap_fraction_used) / mean_depth : 1.0;
}

Status check_runs(const std::vector<Ring>& rings, const std::vector<RingRuns>& runs) {
    if (runs.size() != rings.size())
        return failure("gap runs are needed for every ring: " + std::to_string(runs.size()) +
                       " given for " + std::to_string(rings.size()) + " rings");
    return Status{};
}

}  // namespace

Clumping clumping_lang_xiang(const std::vector<Ring>& rings, const GapSettings& settings) {
    std::vector<double> cos_zen;
    Clumping c = start(rings, settings, &cos_zen);
    if (!c.status.ok) return c;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        RingClumping& r = c.rings[i];
        if (!r.gap.in_use) continue;
        r.omega = ring_omega(r.gap.gap_fraction_used, r.gap.log_gap_mean);
        r.contact_corrected = -r.gap.log_gap_mean * cos_zen[i];
    }
    const std::vector<double> values = internal::per_segment_values(
        rings, gaps_of(c), weights_of(c), cos_zen, settings,
        [](std::size_t, std::size_t, double p) { return -std::log(p); });
    finish(&c, values);
    return c;
}

Clumping clumping_chen_cihlar(const std::vector<Ring>& rings, const std::vector<RingRuns>& runs,
                     const ClumpingSettings& settings) {
    std::vector<double> cos_zen;
    Clumping c = start(rings, settings.gaps, &cos_zen);
    if (!c.status.ok) return c;
    const Status runs_ok = check_runs(rings, runs);
    if (!runs_ok.ok) return failed(c, runs_ok);
    for (std::size_t i = 0; i < rings.size(); ++i) {
        RingClumping& r = c.rings[i];
        if (!r.gap.in_use) continue;
        r.runs = chen_cihlar_gaps(runs[i].circles, settings.element_width_px,
                                  settings.removal_significance);
        if (!r.runs.status.ok)
            return failed(c, failure("ring " + std::to_string(i) + ": " + r.runs.status.message));
        if (!r.runs.assessed) ++c.rings_unassessed;
        r.omega = r.runs.omega;
        r.contact_corrected = r.gap.contact / r.omega;
    }
    const std::vector<double> values = internal::per_segment_values(
        rings, gaps_of(c), weights_of(c), cos_zen, settings.gaps,
        [&c](std::size_t i, std::size_t, double p) { return -std::log(p) / c.rings[i].omega; });
    finish(&c, values);
    return c;
}

Clumping clumping_clx(const std::vector<Ring>& rings, const std::vector<RingRuns>& runs,
             const ClumpingSettings& settings) {
    std::vector<double> cos_zen;
    Clumping c = start(rings, settings.gaps, &cos_zen);
    if (!c.status.ok) return c;
    const Status runs_ok = check_runs(rings, runs);
    if (!runs_ok.ok) return failed(c, runs_ok);
    if (!(settings.element_width_px >= 0 && std::isfinite(settings.element_width_px)))
        return failed(c, failure("the element width must be finite and >= 0 (0: estimate it)"));

    // Omega_CC of every segment, 1 where it cannot be assessed.
    std::vector<std::vector<double>> seg_omega(rings.size());
    for (std::size_t i = 0; i < rings.size(); ++i) {
        RingClumping& r = c.rings[i];
        if (!r.gap.in_use) continue;
        const std::string which = "ring " + std::to_string(i) + ": ";
        const RingRuns& rr = runs[i];
        if (rr.segments.size() != rings[i].segments.size())
            return failed(c, failure(which + "CLX needs the runs of each of its " +
                                     std::to_string(rings[i].segments.size()) + " segments, got " +
                                     std::to_string(rr.segments.size())));
        double wp = settings.element_width_px;
        if (!(wp > 0)) {
            const Status circles_ok = check_transects(rr.circles);
            if (!circles_ok.ok) return failed(c, failure(which + circles_ok.message));
            wp = estimate_element_width(rr.circles).wp;
            if (std::isnan(wp)) {
                std::vector<Transect> pooled;
                for (const std::vector<Transect>& s : rr.segments)
                    pooled.insert(pooled.end(), s.begin(), s.end());
                wp = estimate_element_width(pooled).wp;
            }
        }
        r.runs.wp = wp;
        seg_omega[i].assign(rings[i].segments.size(), 1.0);
        double sum = 0;
        for (std::size_t k = 0; k < rings[i].segments.size(); ++k) {
            const Segment& seg = rings[i].segments[k];
            if (!(seg.pixels > 0)) continue;
            // No width from the ring means no gap or no canopy in any of its runs; each
            // segment's own runs then show the same and leave its index at 1.
            const GapSize g = chen_cihlar_gaps(rr.segments[k], std::isnan(wp) ? 0.0 : wp,
                                               settings.removal_significance);
            if (!g.status.ok)
                return failed(
                    c, failure(which + "segment " + std::to_string(k) + ": " + g.status.message));
            if (!g.assessed) ++r.segments_unassessed;
            seg_omega[i][k] = g.omega;
            sum += std::log(substituted(seg.gap_fraction, settings.gaps)) / g.omega;
        }
        c.segments_unassessed += r.segments_unassessed;
        const double mean_depth = sum / r.gap.segments;
        r.omega = ring_omega(r.gap.gap_fraction_used, mean_depth);
        r.contact_corrected = -mean_depth * cos_zen[i];
    }
    const std::vector<double> values =
        internal::per_segment_values(rings, gaps_of(c), weights_of(c), cos_zen, settings.gaps,
                                     [&seg_omega](std::size_t i, std::size_t k, double p) {
                                         return -std::log(p) / seg_omega[i][k];
                                     });
    finish(&c, values);
    return c;
}

}  // namespace lai
