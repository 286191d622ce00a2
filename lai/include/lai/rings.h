// lai: the zenith rings of a hemispherical photograph as the canopy-structure methods read them.
//
// A ring is a band of zenith angles [zen_low_deg, zen_high_deg] with the zenith angle assigned to
// it (normally its centre), divided into azimuth segments. Each segment carries its gap fraction
// and its pixel count, so that a ring's mean gap fraction can be the plain mean over segments or
// the pixel-weighted (pooled) one. A segment with no pixels is ignored everywhere; its gap
// fraction is not read.
//
// A segment or ring with no gap at all has no finite logarithm. The methods replace such a gap
// fraction by a stated substitute before taking logarithms (default 4.53e-5, a contact number of
// 10, the value an R package widely used for fish-eye photographs gives a segment without gap,
// so that results stay comparable with it). The substitute never enters the linear openness
// (DIFN), and every result counts the segments and rings it replaced.
#pragma once

#include <string>
#include <vector>

#include "angles/angles.h"

namespace lai {

using angles::kDegToRad;
using angles::kPi;

constexpr double kDefaultZeroGapSubstitute = 4.53e-5;

// One azimuth segment of a ring.
struct Segment {
    double gap_fraction = 0;  // sky pixels / pixels, in [0, 1]; not read when pixels == 0
    double pixels = 0;        // pixel count (>= 0); 0 marks a segment without pixels
};

struct Ring {
    double zen_low_deg = 0;  // band of zenith angles, degrees, 0 <= low <= high <= 90
    double zen_high_deg = 0;
    double zen_deg = 0;             // zenith angle assigned to the ring, low <= zen_deg <= high
    std::vector<Segment> segments;  // in azimuth order, the same count in every ring
};

enum class RingMean {
    kSegments,  // plain mean of the segments' gap fractions (segments with pixels)
    kPixels,    // pooled: sum(P_k * n_k) / sum(n_k)
};

struct GapSettings {
    double zero_gap_substitute = kDefaultZeroGapSubstitute;  // in (0, 1]
    RingMean ring_mean = RingMean::kSegments;
};

// Success, or the reason for failure in words a caller may print.
struct Status {
    bool ok = true;
    std::string message;
};

// A ring as the methods see it.
struct RingGap {
    double zen_low_deg = 0;
    double zen_high_deg = 0;
    double zen_deg = 0;
    double pixels = 0;             // over the segments
    int segments = 0;              // segments with pixels
    int zero_segments = 0;         // segments with pixels and gap fraction 0 (substituted)
    bool in_use = false;           // true when at least one segment has pixels
    bool zero_ring = false;        // in use and no segment shows any gap
    double gap_fraction = 0;       // ring mean as measured (linear), NaN when not in use
    double gap_fraction_used = 0;  // ring mean fed to the logarithm: the mean of the
                                   // substituted segments (kSegments) or the pooled mean,
                                   // replaced by the substitute when 0 (kPixels)
    double log_gap_mean = 0;       // mean over segments of ln P_k, zero gaps substituted
    double contact = 0;            // -ln(gap_fraction_used) * cos(zen): effective contact number
};

// Checks one ring and the settings: angles in range and ordered, counts >= 0 and finite, gap
// fractions in [0, 1] where there are pixels, substitute in (0, 1].
Status check_ring(const Ring& ring, const GapSettings& settings);

// The ring as the methods see it. The ring must pass check_ring.
RingGap summarize_ring(const Ring& ring, const GapSettings& settings);

// A segment's gap fraction with a 0 replaced by the substitute.
inline double substituted(double gap_fraction, const GapSettings& settings) {
    return gap_fraction > 0 ? gap_fraction : settings.zero_gap_substitute;
}

// Standard error over azimuth segments: sd / sqrt(n) of the values (sd with n - 1). NaN when
// fewer than two values.
double standard_error(const std::vector<double>& values);

}  // namespace lai
