// Lens mappings: the ends of each mapping, the published relations between image radius and
// zenith angle, and the refusal of mappings that do not rise steadily.
#include "skyimage/lens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace skyimage {
namespace {

constexpr double kDeg = 0.017453292519943295;

Lens make(LensKind kind, double fov = 90) {
    Lens l;
    l.kind = kind;
    l.fov_deg = fov;
    return l;
}

TEST(Lens, CentreIsZenithAndRimIsFieldOfView) {
    for (LensKind kind : {LensKind::kEquidistant, LensKind::kOrthographic, LensKind::kEquisolid,
                          LensKind::kStereographic}) {
        for (double fov : {60.0, 90.0}) {
            const Lens l = make(kind, fov);
            EXPECT_EQ(zenith_deg(l, 0), 0);
            EXPECT_NEAR(zenith_deg(l, 1), fov, 1e-12);  // a few roundings of asin/atan only
        }
    }
    const Lens wide = make(LensKind::kEquisolid, 95.5);  // a lens that sees below the horizon
    EXPECT_NEAR(zenith_deg(wide, 1), 95.5, 1e-12);
    Lens poly;
    ASSERT_TRUE(parse_lens("poly:100,-12.5,2.5", &poly));
    EXPECT_EQ(zenith_deg(poly, 0), 0);
    EXPECT_DOUBLE_EQ(zenith_deg(poly, 1), 90);
    EXPECT_DOUBLE_EQ(rim_zenith_deg(poly), 90);
    EXPECT_DOUBLE_EQ(zenith_deg(poly, 0.5), 50 - 3.125 + 0.3125);
}

// The image radius of each projection, r = f g(theta), normalised by its value at the rim,
// must map back to theta: equisolid r = 2f sin(theta/2), stereographic r = 2f tan(theta/2),
// orthographic r = f sin(theta), equidistant r = f theta.
TEST(Lens, PublishedRadiusRelations) {
    for (double fov : {80.0, 90.0, 100.0}) {
        for (double theta = 1; theta < fov; theta += 7.5) {
            const double t = theta * kDeg, f = fov * kDeg;
            EXPECT_NEAR(zenith_deg(make(LensKind::kEquisolid, fov),
                                   2 * std::sin(t / 2) / (2 * std::sin(f / 2))),
                        theta, 1e-9);
            EXPECT_NEAR(zenith_deg(make(LensKind::kStereographic, fov),
                                   2 * std::tan(t / 2) / (2 * std::tan(f / 2))),
                        theta, 1e-9);
            EXPECT_NEAR(zenith_deg(make(LensKind::kEquidistant, fov), t / f), theta, 1e-9);
            if (fov <= 90) {
                EXPECT_NEAR(
                    zenith_deg(make(LensKind::kOrthographic, fov), std::sin(t) / std::sin(f)),
                    theta, 1e-9);
            }
        }
    }
}

// The two projections that turn back: sin beyond 90 degrees, tan at 90 (a field of 180).
TEST(Lens, FieldOfViewWhereTheMappingTurnsBack) {
    EXPECT_EQ(lens_problem(make(LensKind::kOrthographic, 90)), nullptr);
    EXPECT_NE(lens_problem(make(LensKind::kOrthographic, 91)), nullptr);
    EXPECT_EQ(lens_problem(make(LensKind::kStereographic, 179)), nullptr);
    EXPECT_NE(lens_problem(make(LensKind::kStereographic, 180)), nullptr);
}

TEST(Lens, PolynomialMonotonicity) {
    Lens l;
    ASSERT_TRUE(parse_lens("poly:120,0,-40", &l));  // slope 120 - 120 rho^2: 0 only at the rim
    EXPECT_EQ(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly:120,0,-50", &l));  // slope -30 at the rim
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly:10,-30,25", &l));  // slope -2 at rho 0.4, positive at both ends
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly:-5,60,0", &l));  // falls at first
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly:0,0,0", &l));
    EXPECT_NE(lens_problem(l), nullptr);

    // Against a dense sampling of random cubics (fixed seed): the analytic test must agree
    // wherever the sampled curve falls clearly or rises clearly everywhere.
    std::mt19937 rng(20261207);
    std::uniform_real_distribution<double> coef(-120, 160);
    int checked = 0;
    for (int n = 0; n < 2000; ++n) {
        char text[100];
        std::snprintf(text, sizeof text, "poly:%.3f,%.3f,%.3f", coef(rng), coef(rng), coef(rng));
        ASSERT_TRUE(parse_lens(text, &l));
        double worst = 1e300;
        for (int k = 0; k < 4000; ++k)
            worst = std::fmin(worst, zenith_deg(l, (k + 1) / 4000.0) - zenith_deg(l, k / 4000.0));
        if (std::fabs(worst) < 1e-6) continue;  // too close to call by sampling
        EXPECT_EQ(lens_problem(l) == nullptr, worst > 0) << text;
        ++checked;
    }
    EXPECT_GT(checked, 1900);
}

TEST(Lens, RingIndexAndWhatIsNotCounted) {
    const Lens eq = make(LensKind::kEquidistant);
    EXPECT_EQ(ring_index(eq, 9, 0, 100), 0);
    EXPECT_EQ(ring_index(eq, 9, 50, 100), 4);
    EXPECT_EQ(ring_index(eq, 9, 99.99, 100), 8);
    EXPECT_EQ(ring_index(eq, 9, 100, 100), 9);  // rim: no cell
    EXPECT_EQ(ring_index(eq, 9, 100.5, 100), 9);
    const Lens ortho = make(LensKind::kOrthographic);
    EXPECT_EQ(ring_index(ortho, 9, 50, 100), 3);  // asin(0.5) = 30 degrees
    EXPECT_EQ(ring_index(ortho, 9, 100, 100), 9);
    // A narrower lens leaves the outer rings empty; a wider one loses what lies below 90.
    const Lens narrow = make(LensKind::kEquidistant, 60);
    EXPECT_EQ(ring_index(narrow, 9, 50, 100), 3);
    EXPECT_EQ(ring_index(narrow, 9, 99.9, 100), 5);
    EXPECT_EQ(ring_index(narrow, 9, 100, 100), 9);  // the rim is never counted
    const Lens wide = make(LensKind::kEquidistant, 100);
    EXPECT_EQ(ring_index(wide, 9, 89.9, 100), 8);
    EXPECT_EQ(ring_index(wide, 9, 90, 100), 9);
}

TEST(Lens, ParseRefusals) {
    Lens l;
    EXPECT_FALSE(parse_lens("fisheye", &l));
    EXPECT_FALSE(parse_lens("poly:1,2", &l));
    EXPECT_FALSE(parse_lens("poly:1,2,3x", &l));
    EXPECT_FALSE(parse_lens("poly:1,2,nan", &l));
}

}  // namespace
}  // namespace skyimage
