// lai: effective leaf area index from ring gap fractions, three classic ways, and the diffuse
// non-interceptance (DIFN).
//
// Miller (1967, Aust. J. Bot. 15:141) integral, discretised over the rings in use:
//     Le = 2 * sum_i  -ln(P_i) * cos(theta_i) * w_i,    w_i = sin(theta_i) / sum_j sin(theta_j)
// where P_i is the ring's mean gap fraction (zero gap substituted, see rings.h) and theta_i its
// zenith angle. -ln(P_i) * cos(theta_i) is the ring's contact number. The rings in use are those
// with at least one segment with pixels; the weights are normalised over them.
//
// Five-ring form of the plant-canopy analysers (Welles and Norman 1991, Agron. J. 83:818):
// rings centred at 7, 23, 38, 53 and 68 degrees, each +-6 degrees, with the fixed weights
// 0.034, 0.104, 0.160, 0.218, 0.494:
//     Le = 2 * sum_i -ln(P_i) * cos(theta_i) * W_i with theta_i the nominal centres.
//
// Hinge angle (Wilson 1963, Aust. J. Bot. 11:95): near 57.5 degrees the extinction of every
// leaf-angle distribution is close to 0.5, so
//     Le = 2 * cos(57.5 deg) * (-ln P)
// with P the mean gap fraction of the band 55..60 degrees (kHingeLowDeg..kHingeHighDeg).
//
// DIFN (Welles and Norman 1991): the rings' mean gap fractions weighted by sin(theta) cos(theta),
// normalised over the rings in use, in percent. It uses the measured gap fractions; the zero-gap
// substitute is for logarithms only and never enters it.
//
// Standard error (every function here): the method applied to each azimuth segment's own gap
// fractions across the rings in use, value_k for segment k, then sd(value_k) / sqrt(n) with the
// sample sd (n - 1). Only segments with pixels in every ring in use count, and only when every
// ring in use has the same number of segments; se is NaN when fewer than two segments count.
#pragma once

#include <vector>

#include "lai/rings.h"

namespace lai {

constexpr double kFiveRingCentreDeg[5] = {7, 23, 38, 53, 68};
constexpr double kFiveRingHalfWidthDeg = 6;
constexpr double kFiveRingWeight[5] = {0.034, 0.104, 0.160, 0.218, 0.494};

constexpr double kHingeDeg = 57.5;
constexpr double kHingeLowDeg = 55;
constexpr double kHingeHighDeg = 60;

struct EffectiveLai {
    Status status;                // not ok: invalid input; the numbers are then NaN
    double lai = 0;               // effective LAI (NaN on failure)
    double se = 0;                // standard error over segments (NaN when undefined, see above)
    int se_segments = 0;          // segments that entered se
    std::vector<RingGap> rings;   // every ring given, in input order
    std::vector<double> weights;  // the weight each ring received (0 for a ring not in use)
    int rings_used = 0;
    int zero_segments = 0;  // segments of the rings in use whose 0 gap was substituted
    int zero_rings = 0;     // rings in use without any gap
};

// Miller's integral over the rings given (any number, any bands in 0..90 degrees). Fails when no
// ring is in use or the weights sum to 0 (only a ring centred at the zenith).
EffectiveLai miller_lai(const std::vector<Ring>& rings, const GapSettings& settings);

// The five-ring form. RINGS holds exactly the five bands, in order, each with its nominal
// centre inside the band given; the band limits are the caller's (kFiveRing* constants). Fails
// (NaN) when a ring has no pixels: the fixed weights have no meaning without all five.
EffectiveLai five_ring_lai(const std::vector<Ring>& rings, const GapSettings& settings);

// The hinge-angle estimate from BAND, whose zenith range must contain 57.5 degrees. Fails when
// the band has no pixels.
EffectiveLai hinge_lai(const Ring& band, const GapSettings& settings);

struct Difn {
    Status status;
    double percent = 0;  // NaN on failure
    int rings_used = 0;
};

// DIFN over the rings in use. Fails when no ring is in use or sum sin cos is 0.
Difn difn(const std::vector<Ring>& rings, const GapSettings& settings);

}  // namespace lai
