#include "lai/rings.h"

#include <cmath>
#include <string>

#include "internal.h"

namespace lai {

using internal::failure;
using internal::kNaN;

Status check_ring(const Ring& ring, const GapSettings& settings) {
    const double s = settings.zero_gap_substitute;
    if (!(s > 0 && s <= 1)) return failure("the zero-gap substitute must lie in (0, 1]");
    if (!(ring.zen_low_deg >= 0 && ring.zen_low_deg <= ring.zen_deg &&
          ring.zen_deg <= ring.zen_high_deg && ring.zen_high_deg <= 90))
        return failure("zenith angles must satisfy 0 <= low <= zenith <= high <= 90 degrees");
    for (std::size_t k = 0; k < ring.segments.size(); ++k) {
        const Segment& seg = ring.segments[k];
        if (!(seg.pixels >= 0 && std::isfinite(seg.pixels)))
            return failure("segment " + std::to_string(k) +
                           ": pixel count must be finite and >= 0");
        if (seg.pixels > 0 && !(seg.gap_fraction >= 0 && seg.gap_fraction <= 1))
            return failure("segment " + std::to_string(k) + ": gap fraction must lie in [0, 1]");
    }
    return Status{};
}

RingGap summarize_ring(const Ring& ring, const GapSettings& settings) {
    RingGap g;
    g.zen_low_deg = ring.zen_low_deg;
    g.zen_high_deg = ring.zen_high_deg;
    g.zen_deg = ring.zen_deg;
    double sum_p = 0;
    double sum_p_used = 0;
    double sum_pn = 0;
    double sum_log = 0;
    for (const Segment& seg : ring.segments) {
        if (!(seg.pixels > 0)) continue;
        ++g.segments;
        g.pixels += seg.pixels;
        if (seg.gap_fraction == 0) ++g.zero_segments;
        const double used = substituted(seg.gap_fraction, settings);
        sum_p += seg.gap_fraction;
        sum_p_used += used;
        sum_pn += seg.gap_fraction * seg.pixels;
        sum_log += std::log(used);
    }
    g.in_use = g.segments > 0;
    if (!g.in_use) {
        g.gap_fraction = g.gap_fraction_used = g.log_gap_mean = g.contact = kNaN;
        return g;
    }
    g.zero_ring = g.zero_segments == g.segments;
    if (settings.ring_mean == RingMean::kSegments) {
        g.gap_fraction = sum_p / g.segments;
        g.gap_fraction_used = sum_p_used / g.segments;
    } else {
        g.gap_fraction = sum_pn / g.pixels;
        g.gap_fraction_used = substituted(g.gap_fraction, settings);
    }
    g.log_gap_mean = sum_log / g.segments;
    g.contact = -std::log(g.gap_fraction_used) * std::cos(ring.zen_deg * kDegToRad);
    return g;
}

double standard_error(const std::vector<double>& values) {
    const std::size_t n = values.size();
    if (n < 2) return kNaN;
    double mean = 0;
    for (double v : values) mean += v;
    mean /= double(n);
    double ss = 0;
    for (double v : values) ss += (v - mean) * (v - mean);
    return std::sqrt(ss / double(n - 1)) / std::sqrt(double(n));
}

namespace internal {

Prepared prepare(const std::vector<Ring>& rings, const GapSettings& settings) {
    Prepared p;
    p.gaps.reserve(rings.size());
    for (std::size_t i = 0; i < rings.size(); ++i) {
        const Status s = check_ring(rings[i], settings);
        if (!s.ok) {
            p.status = failure("ring " + std::to_string(i) + ": " + s.message);
            return p;
        }
        p.gaps.push_back(summarize_ring(rings[i], settings));
        const RingGap& g = p.gaps.back();
        if (!g.in_use) continue;
        ++p.rings_used;
        p.zero_segments += g.zero_segments;
        if (g.zero_ring) ++p.zero_rings;
    }
    return p;
}

std::vector<double> miller_weights(const std::vector<RingGap>& gaps) {
    std::vector<double> w(gaps.size(), 0.0);
    double sum = 0;
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        if (!gaps[i].in_use) continue;
        w[i] = std::sin(gaps[i].zen_deg * kDegToRad);
        sum += w[i];
    }
    if (!(sum > 0)) return {};
    for (double& x : w) x /= sum;
    return w;
}

}  // namespace internal
}  // namespace lai
