// Shared steps of the lai methods; not part of the unit's interface.
#pragma once

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lai/rings.h"

namespace lai {
namespace internal {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The rings checked and summarised, with the counts over the rings in use.
struct Prepared {
    Status status;
    std::vector<RingGap> gaps;  // one per ring given
    int rings_used = 0;
    int zero_segments = 0;
    int zero_rings = 0;
};

Prepared prepare(const std::vector<Ring>& rings, const GapSettings& settings);

// Miller's weights sin(zen) / sum sin(zen) over the rings in use, 0 for the others. Empty when
// the rings in use have no weight at all (none in use, or only a ring at the zenith).
std::vector<double> miller_weights(const std::vector<RingGap>& gaps);

// For every segment index k with pixels in each ring in use (all of which must have the same
// segment count), value_k = 2 * sum_i weight_i * cos_i * depth(i, k, P_ik), P_ik the segment's
// gap fraction with a zero substituted. Empty when the segment counts differ.
template <typename Depth>
std::vector<double> per_segment_values(const std::vector<Ring>& rings,
                                       const std::vector<RingGap>& gaps,
                                       const std::vector<double>& weights,
                                       const std::vector<double>& cos_zen,
                                       const GapSettings& settings, Depth depth) {
    std::vector<double> values;
    std::vector<std::size_t> used;
    for (std::size_t i = 0; i < gaps.size(); ++i)
        if (gaps[i].in_use) used.push_back(i);
    if (used.empty()) return values;
    const std::size_t nseg = rings[used[0]].segments.size();
    for (std::size_t i : used)
        if (rings[i].segments.size() != nseg) return values;
    for (std::size_t k = 0; k < nseg; ++k) {
        bool complete = true;
        for (std::size_t i : used) complete = complete && rings[i].segments[k].pixels > 0;
        if (!complete) continue;
        double sum = 0;
        for (std::size_t i : used) {
            const double p = substituted(rings[i].segments[k].gap_fraction, settings);
            sum += weights[i] * cos_zen[i] * depth(i, k, p);
        }
        values.push_back(2 * sum);
    }
    return values;
}

inline Status failure(std::string message) { return Status{false, std::move(message)}; }

}  // namespace internal
}  // namespace lai
