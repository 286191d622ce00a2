// Lens mappings: the ends of each mapping, the published relations between image radius and
// zenith angle, and the refusal of mappings that do not rise steadily.
#include "skyimage/lens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

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
        // Usable: rising, with its rim within 180 degrees of the zenith.
        EXPECT_EQ(lens_problem(l) == nullptr, worst > 0 && rim_zenith_deg(l) <= 180) << text;
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

// r/R = A1 t + A2 t^2 + A3 t^3, evaluated here independently of the library.
double radius_of(const double a[3], double t) { return a[0] * t + a[1] * t * t + a[2] * t * t * t; }

// The published form, inverted: on a grid of radii the zenith angle must give back the radius,
// to 1e-9 degrees of zenith angle (the residual in r/R divided by the slope dr/dtheta).
TEST(RadiusPolynomial, InversionExactOnAGridOfRadii) {
    for (const char* name : {"fc-e8", "fc-e9", "nikkor-10.5", "poly-r:2,0,-1", "poly-r:0.5,0,0",
                             "poly-r-rad:0.6366197723675814,0,0"}) {
        Lens l;
        ASSERT_TRUE(parse_lens(name, &l)) << name;
        ASSERT_EQ(lens_problem(l), nullptr) << name;
        const double unit = l.kind == LensKind::kRadiusPoly ? 90.0 : 1 / kDeg;  // deg per t
        for (int k = 0; k <= 2000; ++k) {
            const double rho = k / 2000.0;
            const double zen = zenith_deg(l, rho);
            const double t = zen / unit;
            const double slope = (l.a[0] + 2 * l.a[1] * t + 3 * l.a[2] * t * t) / unit;
            EXPECT_LT(std::fabs(radius_of(l.a, t) - rho) / slope, 1e-9) << name << " rho " << rho;
            // And back through the forward mapping: a few roundings of the cubic only.
            EXPECT_NEAR(rho_of_zenith(l, zen), rho, 1e-14) << name;
        }
        EXPECT_EQ(zenith_deg(l, 0), 0);
        EXPECT_NEAR(radius_of(l.a, rim_zenith_deg(l) / unit), 1, 1e-15) << name;  // roundings
    }
}

TEST(RadiusPolynomial, RimAndRefusals) {
    Lens l;
    // 2t - t^3 = 1: (t - 1)(t^2 + t - 1) = 0, first root t = (sqrt 5 - 1) / 2 = 0.6180339887...
    ASSERT_TRUE(parse_lens("poly-r:2,0,-1", &l));
    EXPECT_NEAR(rim_zenith_deg(l), 90 * (std::sqrt(5.0) - 1) / 2, 1e-12);  // solver tolerance
    // Equidistant in both units: the rim at 90 degrees.
    ASSERT_TRUE(parse_lens("poly-r:1,0,0", &l));
    EXPECT_NEAR(rim_zenith_deg(l), 90, 1e-12);
    ASSERT_TRUE(parse_lens("poly-r-rad:0.6366197723675814,0,0", &l));  // 2 / pi
    EXPECT_NEAR(rim_zenith_deg(l), 90, 1e-12);
    ASSERT_TRUE(parse_lens("poly-r:0.5,0,0", &l));  // reaches the rim at 180 exactly: allowed
    EXPECT_NEAR(rim_zenith_deg(l), 180, 1e-12);
    EXPECT_EQ(lens_problem(l), nullptr);

    ASSERT_TRUE(parse_lens("poly-r:0.4,0,0", &l));  // r/R = 0.8 at 180 degrees
    EXPECT_NE(lens_problem(l), nullptr);
    EXPECT_TRUE(std::isnan(rim_zenith_deg(l)));
    EXPECT_TRUE(std::isnan(zenith_deg(l, 0.5)));  // no ring for any pixel of such a lens
    EXPECT_EQ(ring_index(l, 9, 50, 100), 9);
    // Turns back at t = 1/sqrt 2, where r/R = 0.707, short of the rim.
    ASSERT_TRUE(parse_lens("poly-r:1.5,0,-1", &l));
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly-r-rad:-0.1,1,0", &l));  // falls at first
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly-r:0,0,0", &l));
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly-r:0,1,0", &l));  // slope 0 at the centre only: rises
    EXPECT_EQ(lens_problem(l), nullptr);
    EXPECT_NEAR(zenith_deg(l, 0.25), 45, 1e-12);  // t^2 = 1/4

    // The old form keeps its meaning, now bounded at 180 degrees.
    ASSERT_TRUE(parse_lens("poly:200,0,0", &l));
    EXPECT_NE(lens_problem(l), nullptr);
    ASSERT_TRUE(parse_lens("poly:180,0,0", &l));
    EXPECT_EQ(lens_problem(l), nullptr);
}

// The published lenses of the shared photographs: FC-E8 r/R = 1.06 t + 0.00498 t^2 - 0.0639 t^3
// (t = zenith / 90) puts the rim just inside 90 degrees (r/R = 1.00108 at t = 1); FC-E9
// 0.6427 t + 0.0346 t^2 - 0.024491 t^3 (t in radians) gives r/R = 1.0000 at pi/2.
TEST(RadiusPolynomial, PresetsAndTheirForms) {
    int n = 0;
    const LensPreset* presets = lens_presets(&n);
    ASSERT_GE(n, 3);
    for (int k = 0; k < n; ++k) {
        Lens l;
        ASSERT_TRUE(parse_lens(presets[k].name, &l));
        EXPECT_EQ(lens_problem(l), nullptr) << presets[k].name;
        EXPECT_GT(std::strlen(presets[k].source), 10u);
        char text[64];
        describe_lens(l, text, sizeof text);
        EXPECT_STREQ(text, presets[k].name);
        EXPECT_TRUE(has_own_rim(l));
    }
    Lens e8, e8_form;
    ASSERT_TRUE(parse_lens("FC-E8", &e8));  // names in any letter case
    ASSERT_TRUE(parse_lens("poly-r:1.06,0.00498,-0.0639", &e8_form));
    EXPECT_EQ(e8.kind, LensKind::kRadiusPoly);
    for (double rho : {0.1, 0.5, 0.9, 0.999})
        EXPECT_EQ(zenith_deg(e8, rho), zenith_deg(e8_form, rho));
    EXPECT_GT(rim_zenith_deg(e8), 89.8);  // solved from the cubic: about 89.91
    EXPECT_LT(rim_zenith_deg(e8), 90.0);
    char text[64];
    describe_lens(e8_form, text, sizeof text);
    EXPECT_STREQ(text, "poly-r:1.06,0.00498,-0.0639");
    Lens e9;
    ASSERT_TRUE(parse_lens("fc-e9", &e9));
    EXPECT_EQ(e9.kind, LensKind::kRadiusPolyRad);
    EXPECT_NEAR(rim_zenith_deg(e9), 90, 0.01);  // the published cubic is 1.00002 at pi/2
    EXPECT_NEAR(rho_of_zenith(e9, 90), 1, 1e-4);
    Lens rad;
    ASSERT_TRUE(parse_lens("poly-r-rad:1,0,0", &rad));
    describe_lens(rad, text, sizeof text);
    EXPECT_STREQ(text, "poly-r-rad:1,0,0");
}

// rho_of_zenith inverts zenith_deg for every classical projection and for poly:.
TEST(Lens, RadiusOfZenithInvertsEveryKind) {
    std::vector<Lens> lenses;
    for (LensKind kind : {LensKind::kEquidistant, LensKind::kOrthographic, LensKind::kEquisolid,
                          LensKind::kStereographic})
        lenses.push_back(make(kind, kind == LensKind::kOrthographic ? 90 : 100));
    Lens poly;
    ASSERT_TRUE(parse_lens("poly:100,-12.5,2.5", &poly));
    lenses.push_back(poly);
    for (const Lens& l : lenses) {
        for (int k = 0; k <= 100; ++k) {
            const double rho = k / 100.0;
            EXPECT_NEAR(rho_of_zenith(l, zenith_deg(l, rho)), rho, 1e-12)  // roundings only
                << int(l.kind) << " rho " << rho;
        }
    }
}

TEST(Lens, ParseRefusals) {
    Lens l;
    EXPECT_FALSE(parse_lens("fisheye", &l));
    EXPECT_FALSE(parse_lens("poly:1,2", &l));
    EXPECT_FALSE(parse_lens("poly:1,2,3x", &l));
    EXPECT_FALSE(parse_lens("poly:1,2,nan", &l));
    EXPECT_FALSE(parse_lens("poly-r:1,2", &l));
    EXPECT_FALSE(parse_lens("poly-r-rad:1,2,3,4", &l));
    EXPECT_FALSE(parse_lens("poly-r:", &l));
    EXPECT_FALSE(parse_lens("fc-e10", &l));
    EXPECT_EQ(l.kind, LensKind::kEquidistant);  // a refusal leaves the lens as it was
}

}  // namespace
}  // namespace skyimage
