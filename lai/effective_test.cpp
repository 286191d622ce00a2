#include "lai/effective.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using lai::GapSettings;
using lai::Ring;

Ring make_ring(double low, double zen, double high, const std::vector<double>& gap_fractions,
               double pixels = 100) {
    Ring r;
    r.zen_low_deg = low;
    r.zen_deg = zen;
    r.zen_high_deg = high;
    for (double p : gap_fractions) r.segments.push_back({p, pixels});
    return r;
}

std::vector<Ring> five_rings(double p) {
    std::vector<Ring> rings;
    for (double c : lai::kFiveRingCentreDeg) rings.push_back(make_ring(c - 6, c, c + 6, {p, p}));
    return rings;
}

double cos_deg(double deg) { return std::cos(deg * lai::kDegToRad); }

TEST(EffectiveLai, HandWorkedValues) {
    const GapSettings s;
    // Five-ring form with every P = 0.1: 2 * ln 10 * sum W_i cos(theta_i) = 2.6332921578.
    const lai::EffectiveLai five = lai::five_ring_lai(five_rings(0.1), s);
    ASSERT_TRUE(five.status.ok) << five.status.message;
    EXPECT_NEAR(five.lai, 2.6332921578, 1e-9);  // closed form: rounding only

    // Miller over rings at 30 and 60 degrees with P = 0.5 and 0.2 (each ring the mean of two
    // segments): weights sin / (sin 30 + sin 60); Le = 1.4597804546 (worked by hand).
    const std::vector<Ring> two{make_ring(20, 30, 40, {0.4, 0.6}),
                                make_ring(50, 60, 70, {0.2, 0.2})};
    const lai::EffectiveLai miller = lai::miller_lai(two, s);
    ASSERT_TRUE(miller.status.ok) << miller.status.message;
    EXPECT_NEAR(miller.lai, 1.4597804546, 1e-9);  // closed form: rounding only
    EXPECT_NEAR(miller.weights[0] + miller.weights[1], 1.0, 1e-15);
    EXPECT_NEAR(miller.rings[0].contact, -std::log(0.5) * cos_deg(30), 1e-15);
    EXPECT_EQ(miller.rings_used, 2);

    // sin cos is the same at 30 and 60 degrees, so DIFN is the plain mean: 35 %.
    const lai::Difn d = lai::difn(two, s);
    ASSERT_TRUE(d.status.ok);
    EXPECT_NEAR(d.percent, 35.0, 1e-12);  // exact weights: rounding only

    // Hinge band 55..60 with segments 0.1, 0.2, 0.4, 0.8: mean 0.375, Le = 2 cos 57.5 (-ln 0.375)
    // = 1.0539983470; per-segment values 2 cos 57.5 (-ln P_k) give se = sd / 2 = 0.4808021044.
    const lai::EffectiveLai hinge =
        lai::hinge_lai(make_ring(55, 57.5, 60, {0.1, 0.2, 0.4, 0.8}), s);
    ASSERT_TRUE(hinge.status.ok);
    EXPECT_NEAR(hinge.lai, 1.0539983470, 1e-9);  // closed form: rounding only
    EXPECT_NEAR(hinge.se, 0.4808021044, 1e-9);   // closed form: rounding only
    EXPECT_EQ(hinge.se_segments, 4);
}

TEST(EffectiveLai, OpenSkyGivesZero) {
    const GapSettings s;
    const std::vector<Ring> open{make_ring(0, 10, 20, {1, 1, 1}), make_ring(40, 50, 60, {1, 1, 1})};
    EXPECT_EQ(lai::miller_lai(open, s).lai, 0.0);
    EXPECT_EQ(lai::miller_lai(open, s).se, 0.0);
    EXPECT_EQ(lai::five_ring_lai(five_rings(1.0), s).lai, 0.0);
    EXPECT_EQ(lai::hinge_lai(make_ring(55, 57.5, 60, {1, 1}), s).lai, 0.0);
    EXPECT_NEAR(lai::difn(open, s).percent, 100.0, 1e-12);  // weights normalised: rounding only
}

TEST(EffectiveLai, SegmentWithoutPixelsIsIgnored) {
    const GapSettings s;
    Ring with_empty = make_ring(50, 60, 70, {0.2, 0.3, 0.4});
    with_empty.segments.push_back({std::nan(""), 0});  // no pixels: the value is never read
    const lai::EffectiveLai a = lai::miller_lai({with_empty}, s);
    const lai::EffectiveLai b = lai::miller_lai({make_ring(50, 60, 70, {0.2, 0.3, 0.4})}, s);
    ASSERT_TRUE(a.status.ok) << a.status.message;
    EXPECT_EQ(a.lai, b.lai);
    EXPECT_EQ(a.rings[0].segments, 3);
    // se needs segments with pixels in every ring: the empty one is left out, not NaN.
    EXPECT_EQ(a.se_segments, 3);
    EXPECT_EQ(a.se, b.se);

    // A ring without any pixels drops out and the weights renormalise over the others.
    const lai::EffectiveLai c =
        lai::miller_lai({make_ring(20, 30, 40, {0.5, 0.5}, 0), make_ring(50, 60, 70, {0.2})}, s);
    ASSERT_TRUE(c.status.ok);
    EXPECT_EQ(c.rings_used, 1);
    EXPECT_EQ(c.weights[0], 0.0);
    EXPECT_NEAR(c.lai, 2 * -std::log(0.2) * cos_deg(60), 1e-15);  // one ring, weight 1
    EXPECT_TRUE(std::isnan(c.se));                                // one segment: no spread
}

TEST(EffectiveLai, ZeroGapIsSubstitutedAndCounted) {
    GapSettings s;
    // One closed ring: P = 4.53e-5, Le = 2 (-ln 4.53e-5) cos 40 = 15.32426486.
    const lai::EffectiveLai closed = lai::miller_lai({make_ring(30, 40, 50, {0, 0})}, s);
    ASSERT_TRUE(closed.status.ok);
    EXPECT_NEAR(closed.lai, 15.32426486, 1e-8);  // closed form: rounding only
    EXPECT_EQ(closed.zero_segments, 2);
    EXPECT_EQ(closed.zero_rings, 1);
    EXPECT_EQ(lai::difn({make_ring(30, 40, 50, {0, 0})}, s).percent, 0.0);  // no made-up sky

    // One zero among two segments: the mean of the substituted segments, one substitution.
    s.zero_gap_substitute = 1e-3;
    const lai::EffectiveLai half = lai::miller_lai({make_ring(30, 40, 50, {0, 0.5})}, s);
    EXPECT_NEAR(half.rings[0].gap_fraction_used, (0.5 + 1e-3) / 2, 1e-15);
    EXPECT_EQ(half.rings[0].gap_fraction, 0.25);
    EXPECT_EQ(half.zero_segments, 1);
    EXPECT_EQ(half.zero_rings, 0);
}

TEST(EffectiveLai, PooledRingMeanWeighsByPixels) {
    GapSettings s;
    Ring r = make_ring(30, 40, 50, {0.2, 0.6});
    r.segments[1].pixels = 300;
    EXPECT_NEAR(lai::miller_lai({r}, s).rings[0].gap_fraction, 0.4, 1e-15);
    s.ring_mean = lai::RingMean::kPixels;
    EXPECT_NEAR(lai::miller_lai({r}, s).rings[0].gap_fraction, 0.5, 1e-15);  // (20 + 180) / 400
}

TEST(EffectiveLai, DegenerateInputFailsWithAReason) {
    const GapSettings s;
    const lai::EffectiveLai none = lai::miller_lai({}, s);
    EXPECT_FALSE(none.status.ok);
    EXPECT_TRUE(std::isnan(none.lai));
    EXPECT_FALSE(lai::difn({}, s).status.ok);
    // Only the zenith ring: sin 0 gives it no weight.
    EXPECT_FALSE(lai::miller_lai({make_ring(0, 0, 5, {0.5})}, s).status.ok);

    EXPECT_FALSE(lai::miller_lai({make_ring(30, 40, 50, {1.5})}, s).status.ok);
    EXPECT_FALSE(lai::miller_lai({make_ring(30, 40, 50, {std::nan("")})}, s).status.ok);
    EXPECT_FALSE(lai::miller_lai({make_ring(30, 40, 50, {0.5}, -1)}, s).status.ok);
    EXPECT_FALSE(lai::miller_lai({make_ring(50, 40, 30, {0.5})}, s).status.ok);
    EXPECT_FALSE(lai::miller_lai({make_ring(80, 95, 100, {0.5})}, s).status.ok);
    GapSettings bad;
    bad.zero_gap_substitute = 0;
    const lai::EffectiveLai b = lai::miller_lai({make_ring(30, 40, 50, {0.5})}, bad);
    EXPECT_FALSE(b.status.ok);
    EXPECT_NE(b.status.message.find("substitute"), std::string::npos);

    std::vector<Ring> four = five_rings(0.5);
    four.pop_back();
    EXPECT_FALSE(lai::five_ring_lai(four, s).status.ok);
    std::vector<Ring> missing = five_rings(0.5);
    missing[4].segments.assign(2, {0.5, 0});
    const lai::EffectiveLai m = lai::five_ring_lai(missing, s);
    EXPECT_FALSE(m.status.ok);
    EXPECT_TRUE(std::isnan(m.lai));
    std::vector<Ring> shifted = five_rings(0.5);
    shifted[2] = make_ring(40, 45, 50, {0.5});  // does not contain 38 degrees
    EXPECT_FALSE(lai::five_ring_lai(shifted, s).status.ok);

    EXPECT_FALSE(lai::hinge_lai(make_ring(40, 45, 50, {0.5}), s).status.ok);
    EXPECT_FALSE(lai::hinge_lai(make_ring(55, 57.5, 60, {0.5}, 0), s).status.ok);
}

TEST(EffectiveLai, StandardErrorNeedsAlignedSegments) {
    const GapSettings s;
    // Two segments whose Miller values differ: se = |a - b| / 2.
    const std::vector<Ring> rings{make_ring(20, 30, 40, {0.5, 0.25}),
                                  make_ring(50, 60, 70, {0.5, 0.25})};
    const lai::EffectiveLai r = lai::miller_lai(rings, s);
    const double a =
        lai::miller_lai({make_ring(20, 30, 40, {0.5}), make_ring(50, 60, 70, {0.5})}, s).lai;
    const double b =
        lai::miller_lai({make_ring(20, 30, 40, {0.25}), make_ring(50, 60, 70, {0.25})}, s).lai;
    EXPECT_NEAR(r.se, std::fabs(a - b) / 2, 1e-12);  // same sums in another order: rounding only
    // Rings cut into different segment counts have no common segments: se is NaN, Le stands.
    const lai::EffectiveLai odd =
        lai::miller_lai({make_ring(20, 30, 40, {0.5, 0.25}), make_ring(50, 60, 70, {0.5})}, s);
    EXPECT_TRUE(odd.status.ok);
    EXPECT_TRUE(std::isnan(odd.se));
    EXPECT_FALSE(std::isnan(odd.lai));
}

}  // namespace
