// lai: foliage clumping, three ways, and the clumping-corrected LAI.
//
// Every method gives each ring in use a clumping index Omega_i (in (0, 1] when the ring mean is
// the plain segment mean) and corrects the ring's contact number K_i = -ln(P_i) cos(theta_i)
// (P_i the ring mean, see rings.h) to K_i / Omega_i.
// The clumping-corrected LAI is Miller's integral over the corrected contact numbers,
//     L = 2 * sum_i w_i K_i / Omega_i,      w_i = sin(theta_i) / sum_j sin(theta_j),
// and the overall index is Omega = Le / L, with Le Miller's effective LAI over the same rings.
// Where there is no foliage (L = 0) Omega is 1.
//
// Lang and Xiang (1986, Agric. For. Meteorol. 37:229), per ring over its azimuth segments:
//     Omega_LX = ln(P_i) / mean_k ln(P_ik)
// so that K_i / Omega_LX = -mean_k ln(P_ik) cos(theta_i): L_LX is Miller's integral over the
// log-averaged rings. Omega_LX is 1 in a ring whose segments are all open.
//
// Chen and Cihlar (1995, Appl. Opt. 34:6211; corrected index Leblanc 2002, Appl. Opt.
// 41:7667), from the sky runs along circles of constant zenith angle (a "transect" here, its
// length L_t and gap sizes lambda in pixels):
//   - F_m(lambda): the fraction of the transect length in gaps of size >= lambda (accumulated
//     from the largest gap down), so F_m(0) is the gap fraction; L_p = -ln F_m(0).
//   - A random canopy of elements of projected width W_p gives
//         F(lambda) = (1 + L_p lambda / W_p) exp(-L_p (1 + lambda / W_p))
//     and, over a transect of length L_t, an expected number of gaps of size >= lambda
//         N(lambda) = L_t (L_p / W_p) F(lambda) / (1 + L_p lambda / W_p)
//                   = L_t (L_p / W_p) exp(-L_p) exp(-L_p lambda / W_p).
//   - Gap removal: the method removes the gaps a random canopy of the same L_p and W_p would
//     not produce; the test here states that as a significance level. A gap of size lambda is
//     too large when N(lambda) is below removal_significance (default 0.05: a random canopy
//     would show such a gap on the transect with probability below about 5 %. On 1000
//     simulated random circles per setting the index stayed exactly 1 in 95 to 99 % of them;
//     its mean was >= 0.998, its lowest 0.97 at L_p 1.5 on 3000 pixels and 0.85 at L_p 4 on
//     3000 pixels or L_p 1.5 on 500). Such gaps are removed, L_p is
//     re-estimated from the reduced F_mr(0) (remaining gap length over the unchanged L_t), and
//     the test is repeated until no gap is removed. A pass that would remove every remaining
//     gap is not applied (that would leave F_mr(0) = 0); the result says so.
//   - Omega_CC = [ln F_m(0) / ln F_mr(0)] * [(1 - F_mr(0)) / (1 - F_m(0))].
//   - Element width, unless given: Leblanc et al. (2005, Agric. For. Meteorol. 129:187) take
//     W_p = -ln P(0) / |d ln P(l) / dl| at l = 0 from the probe probability P(l), the chance
//     that a probe of length l lies wholly in a gap, P(l) = (1 / L_t) sum_i max(lambda_i - l, 0);
//     P(0) = F_m(0), so -ln P(0) = L_p. On the pixel grid the slope at the start is taken over
//     the first pixel, ln(P(1) / P(0)) = ln(1 - N / sum lambda_i) for N gaps:
//         W_p = L_p / -ln(1 - 1 / mean gap size).
//     A rasterised random canopy has geometric sky runs with exactly that slope, -L_p / W_p;
//     the continuous slope -1 / mean would overstate W_p by 13 % at W_p = 6 px, L_p = 1.5. When
//     every gap is one pixel the slope cannot be measured: W_p is NaN, nothing is removed.
//   A ring's Omega_CC comes from its circles pooled as one transect. A transect without any gap
//   or without any canopy leaves Omega = 1 (counted as not assessed when it has no gap).
//
// CLX, Leblanc et al. (2005): Chen-Cihlar within each azimuth segment k of a ring, with the
// ring's element width, then log-averaged across the segments as Lang and Xiang do:
//     Omega_CLX,i = ln(P_i) / mean_k [ ln(P_ik) / Omega_CC,ik ]
// so that K_i / Omega_CLX = -mean_k [ln(P_ik) / Omega_CC,ik] cos(theta_i). With every
// Omega_CC,ik = 1 it equals Omega_LX.
//
// Standard errors, as in effective.h, over azimuth segments: value_k is Miller's integral of
// segment k's own corrected contact numbers across the rings in use,
//     LX:  2 sum_i w_i (-ln P_ik) cos(theta_i)              (L_LX is the mean of these)
//     CC:  2 sum_i w_i (-ln P_ik) cos(theta_i) / Omega_CC,i  (the ring's index, segment's P)
//     CLX: 2 sum_i w_i (-ln P_ik) cos(theta_i) / Omega_CC,ik (L_CLX is the mean of these)
// and se = sd(value_k) / sqrt(n); NaN when fewer than two segments have pixels in every ring.
#pragma once

#include <cstdint>
#include <vector>

#include "lai/rings.h"

namespace lai {

// One walk along a circle (or an arc of it): its length and the lengths of its sky runs, in
// pixels, in walk order. A run that wraps round the start of a closed circle is one run.
struct Transect {
    std::int64_t length = 0;         // pixels walked, >= 0
    std::vector<std::int64_t> gaps;  // each >= 1; their sum <= length
};

// F_m(lambda) over the transects pooled (total gap length in runs >= lambda over the total
// length). 0 for transects of no length.
double accumulated_gap_fraction(const std::vector<Transect>& transects, double lambda_px);

// The random canopy's F(lambda) for projected LAI lp and element width wp (pixels).
double random_accumulated_gap_fraction(double lp, double wp, double lambda_px);

// P(l) = (1 / L_t) sum_i max(lambda_i - l, 0) over the transects pooled, l a continuous length
// in pixels; the probe of m whole pixels is P(m - 1).
double probe_probability(const std::vector<Transect>& transects, double l_px);

struct ElementWidth {
    double wp = 0;        // W_p, pixels; NaN with no gap, no canopy or only one-pixel gaps
    double lp = 0;        // -ln F_m(0)
    double mean_gap = 0;  // pixels; NaN without gaps
};

// W_p from the transects pooled (Leblanc et al. 2005, as above).
ElementWidth estimate_element_width(const std::vector<Transect>& transects);

struct GapSize {
    Status status;
    std::int64_t length = 0;      // L_t
    std::int64_t gap_pixels = 0;  // sum of the gaps
    int gaps = 0;
    double mean_gap = 0;  // pixels, NaN without gaps
    double wp = 0;        // element width used, pixels (NaN when not needed)
    double fm0 = 0;       // F_m(0) (NaN for no length)
    double fmr0 = 0;      // F_mr(0)
    double lp = 0;        // -ln F_mr(0) at the end
    int gaps_removed = 0;
    std::int64_t removed_pixels = 0;
    int passes = 0;                // removal passes that removed something
    bool removal_stopped = false;  // a pass would have removed every gap and was not applied
    bool assessed = false;         // false: no length, no gap or no canopy; omega is then 1
    double omega = 1;
};

// Chen-Cihlar over the transects pooled. wp_px > 0 is the element width; wp_px == 0 estimates
// it from the same transects. Fails on invalid runs (a gap < 1, a sum beyond the length, a
// negative length) or settings (wp_px < 0 or NaN, removal_significance not > 0).
GapSize chen_cihlar_gaps(const std::vector<Transect>& transects, double wp_px,
                         double removal_significance);

struct ClumpingSettings {
    GapSettings gaps;
    double element_width_px = 0;  // W_p for every ring; 0 = estimate per ring
    double removal_significance = 0.05;
};

// The sky runs of one ring: its whole circles (Chen-Cihlar) and, for CLX, the pieces of those
// circles in each azimuth segment (segments.size() equal to the ring's segment count, or empty
// when CLX is not wanted).
struct RingRuns {
    std::vector<Transect> circles;
    std::vector<std::vector<Transect>> segments;
};

struct RingClumping {
    RingGap gap;                   // the ring, as in effective.h
    double weight = 0;             // w_i (0 when not in use)
    double omega = 1;              // Omega_i (NaN when not in use)
    double contact_corrected = 0;  // K_i / Omega_i (NaN when not in use)
    GapSize runs;                  // Chen-Cihlar: the ring's circles; CLX: the ring's W_p only
    int segments_unassessed = 0;   // CLX: segments with pixels whose runs had no gap
};

struct Clumping {
    Status status;     // not ok: invalid input; the numbers are then NaN
    double le = 0;     // Miller's effective LAI over the same rings
    double lai = 0;    // clumping-corrected LAI
    double omega = 1;  // le / lai (1 when lai is 0)
    double se = 0;     // standard error of lai over segments (see above)
    int se_segments = 0;
    std::vector<RingClumping> rings;  // every ring given, in input order
    int rings_used = 0;
    int zero_segments = 0;
    int zero_rings = 0;
    int rings_unassessed = 0;     // CC: rings in use whose circles had no gap (omega 1)
    int segments_unassessed = 0;  // CLX: segments with pixels whose runs had no gap (omega 1)
};

Clumping clumping_lang_xiang(const std::vector<Ring>& rings, const GapSettings& settings);

// RUNS has one entry per ring.
Clumping clumping_chen_cihlar(const std::vector<Ring>& rings, const std::vector<RingRuns>& runs,
                     const ClumpingSettings& settings);

// RUNS has one entry per ring; a ring in use needs its segments' runs. The element width of a
// ring is the given one, or estimated from its circles, or (no circles) from its segment runs.
Clumping clumping_clx(const std::vector<Ring>& rings, const std::vector<RingRuns>& runs,
             const ClumpingSettings& settings);

}  // namespace lai
