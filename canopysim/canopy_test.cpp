// Tests of the simulated canopy: the leaf-angle distributions against their closed forms, and
// ray tracing against the gap probability of a random canopy.
#include <gtest/gtest.h>

#include <cmath>

#include "canopysim/canopy.h"

namespace canopysim {
namespace {

// Simpson's rule over [0, pi/2] with n (even) intervals.
template <typename F>
double integrate(F f, int n = 20000) {
    const double h = kHalfPi / n;
    double sum = f(0.0) + f(kHalfPi);
    for (int k = 1; k < n; ++k) sum += (k % 2 ? 4.0 : 2.0) * f(k * h);
    return sum * h / 3.0;
}

TEST(LeafAngles, EllipsoidDensityIsNormalisedByItsExactLambda) {
    EXPECT_DOUBLE_EQ(ellipsoid_lambda(1.0), 2.0);
    // Campbell's (1990) approximation x + 1.774 (x + 1.182)^-0.733 is within 0.2 % of it.
    for (double x : {0.1, 0.4, 1.0, 3.0, 10.0}) {
        const double approx = x + 1.774 * std::pow(x + 1.182, -0.733);
        EXPECT_NEAR(ellipsoid_lambda(x) / approx, 1.0, 2e-3) << "x = " << x;
        // Simpson's error for this smooth density is far below 1e-6.
        EXPECT_NEAR(integrate([x](double a) { return ellipsoid_density(a, x); }), 1.0, 1e-6)
            << "x = " << x;
    }
}

TEST(LeafAngles, SphericalLeavesHaveGOneHalfAndMeanAngleOneRadian) {
    const LeafAngles sph{false, 1.0, 0};
    for (double deg = 0; deg < 90; deg += 7.5) {
        EXPECT_NEAR(g_function(deg * kDegToRad, sph), 0.5, 1e-15) << deg;  // closed form
    }
    // Density sin(a): mean angle 1 radian = 57.2958 degrees (quadrature error only). The
    // presets lie either side of it.
    EXPECT_NEAR(mean_leaf_angle_deg(sph), kRadToDeg, 1e-6);
    EXPECT_NEAR(mean_leaf_angle_deg({false, kPlanophileX, 0}), 28.18, 0.01);
    EXPECT_NEAR(mean_leaf_angle_deg({false, kErectophileX, 0}), 75.51, 0.01);
}

TEST(LeafAngles, ClosedFormGAgreesWithTheProjectionIntegral) {
    // G(theta) = integral of density(a) * projection(theta, a) da. The projection has a kink
    // at a = pi/2 - theta, so Simpson converges slowly there: 1e-4 with 20000 intervals.
    for (double x : {0.4, 3.0}) {
        for (double deg : {5.0, 30.0, 57.5, 80.0}) {
            const double theta = deg * kDegToRad;
            const double numeric = integrate(
                [&](double a) { return ellipsoid_density(a, x) * leaf_projection(theta, a); });
            EXPECT_NEAR(numeric, g_function(theta, {false, x, 0}), 1e-4) << x << " " << deg;
        }
    }
}

TEST(LeafAngles, EveryDistributionProjectsOneHalfOverTheHemisphere) {
    // Ross (1981): the mean of G over the hemisphere, weighted by sin(theta), is 1/2.
    const LeafAngles cases[] = {{true, 1, 0}, {true, 1, 30}, {true, 1, 90},
                                {false, 0.4, 0}, {false, 3.0, 0}};
    for (const LeafAngles& la : cases) {
        const double mean = integrate([&](double t) { return g_function(t, la) * std::sin(t); });
        EXPECT_NEAR(mean, 0.5, 1e-4) << la.fixed << " " << la.x << " " << la.fixed_deg;
    }
    // Flat leaves project cos(theta); upright ones 2 sin(theta) / pi.
    EXPECT_NEAR(g_function(1.0, {true, 1, 0}), std::cos(1.0), 1e-15);
    EXPECT_NEAR(g_function(1.0, {true, 1, 90}), 2 * std::sin(1.0) / kPi, 1e-12);
}

TEST(LeafAngles, SampledInclinationsFollowTheDensity) {
    for (double x : {kErectophileX, kSphericalX, kPlanophileX}) {
        const LeafAngles la{false, x, 0};
        const InclinationSampler sampler(la);
        Rng rng(7);
        const int n = 200000;
        double sum = 0;
        int below_30 = 0;
        for (int k = 0; k < n; ++k) {
            const double a = sampler.sample(rng);
            ASSERT_GE(a, 0.0);
            ASSERT_LE(a, kHalfPi);
            sum += a;
            below_30 += a < 30 * kDegToRad;
        }
        // Standard error of the mean angle is under 0.05 degree: 0.2 is four of them.
        EXPECT_NEAR(sum / n * kRadToDeg, mean_leaf_angle_deg(la), 0.2) << x;
        const double p30 =
            integrate([x](double a) { return a < 30 * kDegToRad ? ellipsoid_density(a, x) : 0; });
        EXPECT_NEAR(double(below_30) / n, p30, 0.006) << x;  // binomial sd <= 0.0011, and the
                                                             // step integrand costs ~1e-4
    }
}

// Fraction of rays at zenith angle theta, from random places below the canopy and in random
// azimuths, that reach the sky.
double traced_gap(const Canopy& canopy, double theta_deg, int rays, std::uint64_t seed) {
    Rng rng(seed);
    const double p = canopy.params().period;
    const double theta = theta_deg * kDegToRad;
    int sky = 0;
    for (int k = 0; k < rays; ++k) {
        const double az = 2 * kPi * rng.uniform();
        sky += canopy.trace_from(p * rng.uniform(), p * rng.uniform(), 0.0,
                                 std::sin(theta) * std::cos(az), std::sin(theta) * std::sin(az),
                                 std::cos(theta)) < 0;
    }
    return double(sky) / rays;
}

struct TraceCase {
    LeafAngles angles;
    double lai;
};

TEST(Canopy, TracedGapFractionOfARandomCanopyIsExpMinusGLOverCos) {
    // Rays from different places meet different leaves, so the count is close to binomial:
    // with 20000 rays its standard deviation is at most 0.0036; 0.015 leaves room for the
    // residual correlation of rays that share leaves.
    const TraceCase cases[] = {{{false, 1.0, 0}, 1.0},  {{false, 1.0, 0}, 3.0},
                               {{false, 3.0, 0}, 2.0},  {{false, 0.4, 0}, 2.0},
                               {{true, 1.0, 0}, 1.5},   {{true, 1.0, 90}, 1.5}};
    std::uint64_t seed = 11;
    for (const TraceCase& tc : cases) {
        CanopyParams params;
        params.lai = tc.lai;
        params.angles = tc.angles;
        params.seed = seed++;
        const Canopy canopy(params);
        EXPECT_NEAR(canopy.realised_lai(), tc.lai, 1e-4);
        for (double deg : {0.0, 30.0, 60.0, 75.0}) {
            const double theta = deg * kDegToRad;
            const double expected =
                std::exp(-g_function(theta, tc.angles) * canopy.realised_lai() / std::cos(theta));
            EXPECT_NEAR(traced_gap(canopy, deg, 20000, seed++), expected, 0.015)
                << "x " << tc.angles.x << " fixed " << tc.angles.fixed_deg << " L " << tc.lai
                << " at " << deg << " deg";
        }
    }
}

TEST(Canopy, RaysAcrossTheRepeatingBorderMeetTheSameLeaves) {
    // A ray from one place and a ray shifted by whole periods see the same leaf.
    CanopyParams params;
    params.lai = 1.0;
    const Canopy canopy(params);
    Rng rng(3);
    int checked = 0;
    for (int k = 0; k < 2000; ++k) {
        const double ox = params.period * rng.uniform(), oy = params.period * rng.uniform();
        const double t = 80 * kDegToRad * rng.uniform(), az = 2 * kPi * rng.uniform();
        const double d[3] = {std::sin(t) * std::cos(az), std::sin(t) * std::sin(az), std::cos(t)};
        const long a = canopy.trace_from(ox, oy, 0, d[0], d[1], d[2]);
        const long b = canopy.trace_from(ox + 3 * params.period, oy - 2 * params.period, 0, d[0],
                                         d[1], d[2]);
        ASSERT_EQ(a, b);
        checked += a >= 0;
    }
    EXPECT_GT(checked, 500);
}

TEST(Canopy, SameSeedSameCanopyOtherSeedOtherCanopy) {
    CanopyParams params;
    params.lai = 0.5;
    const Canopy a(params), b(params);
    params.seed = 2;
    const Canopy c(params);
    ASSERT_EQ(a.leaf_count(), b.leaf_count());
    for (long k = 0; k < a.leaf_count(); k += 997) {
        EXPECT_EQ(a.leaf(k).cx, b.leaf(k).cx);
        EXPECT_EQ(a.leaf(k).nz, b.leaf(k).nz);
    }
    EXPECT_NE(a.leaf(0).cx, c.leaf(0).cx);
}

TEST(Canopy, CrownsLeaveMoreSkyThanRandomLeavesOfTheSameArea) {
    CanopyParams params;
    params.lai = 3.0;
    const Canopy random(params);
    params.clumped = true;
    const Canopy crowns(params);
    for (const Leaf* l = &crowns.leaf(0); l != &crowns.leaf(0) + crowns.leaf_count(); ++l) {
        ASSERT_GE(l->cz, params.bottom);
        ASSERT_LE(l->cz, params.top);
    }
    // Poisson: exp(-1.5) = 0.22 at the zenith; crowns leave the ground between them open.
    const double p_random = traced_gap(random, 0, 20000, 5);
    const double p_crowns = traced_gap(crowns, 0, 20000, 5);
    EXPECT_NEAR(p_random, std::exp(-1.5), 0.015);
    EXPECT_GT(p_crowns, p_random + 0.1);
}

}  // namespace
}  // namespace canopysim
