#include "lai/effective.h"

#include <cmath>
#include <string>

#include "internal.h"

namespace lai {

using internal::failure;
using internal::kNaN;

namespace {

EffectiveLai failed(EffectiveLai r, Status status) {
    r.status = std::move(status);
    r.lai = r.se = kNaN;
    r.se_segments = 0;
    return r;
}

// Copies the prepared rings and counts into the result.
EffectiveLai start(const internal::Prepared& p) {
    EffectiveLai r;
    r.rings = p.gaps;
    r.rings_used = p.rings_used;
    r.zero_segments = p.zero_segments;
    r.zero_rings = p.zero_rings;
    return r;
}

double minus_log(std::size_t, std::size_t, double p) { return -std::log(p); }

}  // namespace

EffectiveLai miller_lai(const std::vector<Ring>& rings, const GapSettings& settings) {
    const internal::Prepared p = internal::prepare(rings, settings);
    EffectiveLai r = start(p);
    if (!p.status.ok) return failed(r, p.status);
    r.weights = internal::miller_weights(p.gaps);
    if (r.weights.empty()) {
        r.weights.assign(rings.size(), 0.0);
        return failed(r, failure(p.rings_used == 0 ? "no ring has pixels"
                                                   : "the rings in use have no weight "
                                                     "(sin of every zenith angle is 0)"));
    }
    std::vector<double> cos_zen(rings.size(), 0.0);
    double sum = 0;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        if (!p.gaps[i].in_use) continue;
        cos_zen[i] = std::cos(p.gaps[i].zen_deg * kDegToRad);
        sum += r.weights[i] * p.gaps[i].contact;
    }
    r.lai = 2 * sum;
    const std::vector<double> values =
        internal::per_segment_values(rings, p.gaps, r.weights, cos_zen, settings, minus_log);
    r.se = standard_error(values);
    r.se_segments = std::isnan(r.se) ? 0 : int(values.size());
    return r;
}

EffectiveLai five_ring_lai(const std::vector<Ring>& rings, const GapSettings& settings) {
    const internal::Prepared p = internal::prepare(rings, settings);
    EffectiveLai r = start(p);
    if (!p.status.ok) return failed(r, p.status);
    if (rings.size() != 5)
        return failed(r, failure("the five-ring form needs exactly 5 rings, got " +
                                 std::to_string(rings.size())));
    std::vector<double> cos_zen(5);
    double sum = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        const RingGap& g = p.gaps[i];
        const double centre = kFiveRingCentreDeg[i];
        if (!(g.zen_low_deg <= centre && centre <= g.zen_high_deg))
            return failed(r, failure("ring " + std::to_string(i) + " does not contain its " +
                                     "nominal centre " + std::to_string(int(centre)) + " degrees"));
        if (!g.in_use) return failed(r, failure("ring " + std::to_string(i) + " has no pixels"));
        cos_zen[i] = std::cos(centre * kDegToRad);
        sum += kFiveRingWeight[i] * cos_zen[i] * -std::log(g.gap_fraction_used);
    }
    r.weights.assign(kFiveRingWeight, kFiveRingWeight + 5);
    r.lai = 2 * sum;
    const std::vector<double> values =
        internal::per_segment_values(rings, p.gaps, r.weights, cos_zen, settings, minus_log);
    r.se = standard_error(values);
    r.se_segments = std::isnan(r.se) ? 0 : int(values.size());
    return r;
}

EffectiveLai hinge_lai(const Ring& band, const GapSettings& settings) {
    const std::vector<Ring> rings{band};
    const internal::Prepared p = internal::prepare(rings, settings);
    EffectiveLai r = start(p);
    if (!p.status.ok) return failed(r, p.status);
    const RingGap& g = p.gaps[0];
    if (!(g.zen_low_deg <= kHingeDeg && kHingeDeg <= g.zen_high_deg))
        return failed(r, failure("the hinge band must contain 57.5 degrees"));
    if (!g.in_use) return failed(r, failure("the hinge band has no pixels"));
    const std::vector<double> cos_zen{std::cos(kHingeDeg * kDegToRad)};
    r.weights = {1.0};
    r.lai = 2 * cos_zen[0] * -std::log(g.gap_fraction_used);
    const std::vector<double> values =
        internal::per_segment_values(rings, p.gaps, r.weights, cos_zen, settings, minus_log);
    r.se = standard_error(values);
    r.se_segments = std::isnan(r.se) ? 0 : int(values.size());
    return r;
}

Difn difn(const std::vector<Ring>& rings, const GapSettings& settings) {
    Difn d;
    const internal::Prepared p = internal::prepare(rings, settings);
    d.rings_used = p.rings_used;
    if (!p.status.ok) {
        d.status = p.status;
        d.percent = kNaN;
        return d;
    }
    double num = 0;
    double den = 0;
    for (const RingGap& g : p.gaps) {
        if (!g.in_use) continue;
        const double z = g.zen_deg * kDegToRad;
        const double w = std::sin(z) * std::cos(z);
        num += w * g.gap_fraction;
        den += w;
    }
    if (!(den > 0)) {
        d.status = failure(p.rings_used == 0 ? "no ring has pixels"
                                             : "the rings in use have no weight "
                                               "(sin * cos of every zenith angle is 0)");
        d.percent = kNaN;
        return d;
    }
    d.percent = 100 * num / den;
    return d;
}

}  // namespace lai
