#include "lai/norman_campbell.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lai {
namespace norman_campbell {
namespace {

using TessorGrid = Grid;

constexpr double kDeg = gapdata::kDegToRad;

float rad(double deg) { return float(deg * kDeg); }

TEST(Kern, WorkedValuesOfBothBranches) {
    // theta 30, alpha 45: 45 < 60 deg + 0.01 rad, the leaf is never seen edge-on: K = cos(alpha)
    const float a45 = rad(45);
    const float cos45 = float(std::cos(double(a45)));
    EXPECT_EQ(kern(cos45, a45, rad(30)), cos45);
    // theta 60, alpha 75: tan(a) tan(t) = 6.464, x = 6.386, K = 0.2588 (1 + 2 (x - atan x) / pi)
    const float a75 = rad(75);
    EXPECT_NEAR(kern(float(std::cos(double(a75))), a75, rad(60)), 1.077856,
                2e-6);  // float rounding
    // horizontal leaves project fully whatever the view
    EXPECT_EQ(kern(1, 0, rad(80)), 1.0f);
    // vertical leaves: K tends to (2/pi) tan(theta) (Warren Wilson 1960)
    const float a = rad(89.9);
    EXPECT_NEAR(kern(float(std::cos(double(a))), a, rad(60)), 2 / M_PI * std::tan(60 * kDeg), 1e-5);
}

// Contact numbers of views at 5 .. 85 degrees zenith angle for a canopy of leaf areas x.
ContactNumbers forward(const float* x, int classes) {
    ContactNumbers cn;
    cn.b = 9;
    NormalEquations ne;
    for (int k = 0; k < cn.b; ++k) cn.alt_angl[k] = rad(85 - 10 * k);
    build_normal_equations(cn, classes, &ne);
    for (int k = 0; k < cn.b; ++k) {
        double y = 0;
        for (int c = 0; c < classes; ++c) y += double(ne.mat_xtnct[k][c]) * x[c];
        cn.log_open[k] = float(y);
    }
    return cn;
}

Solution invert(const ContactNumbers& cn, int classes, float lambda) {
    NormalEquations ne;
    build_normal_equations(cn, classes, &ne);
    Solution sol;
    EXPECT_EQ(solve_constrained(ne, lambda, &sol), -1) << "lambda " << lambda;
    return sol;
}

TEST(Inversion, RecoversLeafAreaInOneClass) {
    const float x[5] = {0, 0, 0, 3, 0};
    const ContactNumbers cn = forward(x, 5);
    const Solution exact = invert(cn, 5, 0);
    EXPECT_NEAR(exact.lai, 3, 0.03);  // 1 %
    EXPECT_NEAR(exact.solution[3], 3, 0.03);
    EXPECT_NEAR(invert(cn, 5, 0.01f).lai, 3, 0.03);
}

TEST(Inversion, RecoversASphericalCanopy) {
    // Spherical leaf angles: G = 0.5 in every direction, contact number 0.5 L / cos(theta)
    // (Ross 1981), with L = 2.5.
    ContactNumbers cn;
    cn.b = 9;
    for (int k = 0; k < cn.b; ++k) {
        const double e = 85 - 10 * k;
        cn.alt_angl[k] = rad(e);
        cn.log_open[k] = float(0.5 * 2.5 / std::sin(e * kDeg));
    }
    for (const float lambda : {0.0f, 0.05f}) {
        const Solution sol = invert(cn, 6, lambda);
        EXPECT_NEAR(sol.lai, 2.5, 0.025) << "lambda " << lambda;  // 1 %
        // more leaf area at steep angles, as sin(alpha) has it
        EXPECT_GT(sol.solution[5], sol.solution[0]) << "lambda " << lambda;
    }
}

TEST(Inversion, SmoothingSparesUniformAndFlattensRoughAreas) {
    const float uniform[6] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    const Solution flat = invert(forward(uniform, 6), 6, 10);
    for (int c = 0; c < 6; ++c) EXPECT_NEAR(flat.solution[c], 0.5, 1e-3) << c;

    const float rough[6] = {0, 2, 0, 2, 0, 2};
    const ContactNumbers cn = forward(rough, 6);
    const auto roughness = [](const Solution& s) {
        double r = 0;
        for (int c = 1; c < s.classes; ++c) r += std::fabs(s.solution[c] - s.solution[c - 1]);
        return r;
    };
    const Solution loose = invert(cn, 6, 0.01f);
    const Solution stiff = invert(cn, 6, 5);
    EXPECT_LT(roughness(stiff), roughness(loose));
    EXPECT_NEAR(stiff.lai, 6, 0.3);  // the fit keeps the total
}

TEST(Inversion, SolvesTheConstrainedNormalEquations) {
    const float x[4] = {1, 0.2f, 0.7f, 1.5f};
    const ContactNumbers cn = forward(x, 4);
    NormalEquations ne;
    build_normal_equations(cn, 4, &ne);
    const float lambda = 0.5f;
    Solution sol;
    ASSERT_EQ(solve_constrained(ne, lambda, &sol), -1);
    // residual of (A'A + lambda H) x = A'y, H = D'D for first differences D
    const double h[4][4] = {{1, -1, 0, 0}, {-1, 2, -1, 0}, {0, -1, 2, -1}, {0, 0, -1, 1}};
    for (int r = 0; r < 4; ++r) {
        double lhs = 0;
        for (int c = 0; c < 4; ++c)
            lhs += (ne.prod_xtnct[r][c] + lambda * h[r][c]) * sol.solution[c];
        EXPECT_NEAR(lhs, ne.prod_trans[r], 1e-4 * std::fabs(ne.prod_trans[r])) << r;  // float
    }
}

TEST(Inversion, VanishingPivotLeavesTheLastSolution) {
    // Two views cannot separate five classes without the constraint.
    ContactNumbers cn;
    cn.b = 2;
    cn.alt_angl[0] = rad(60);
    cn.alt_angl[1] = rad(20);
    cn.log_open[0] = 1;
    cn.log_open[1] = 2;
    NormalEquations ne;
    build_normal_equations(cn, 5, &ne);
    Solution sol;
    ASSERT_EQ(solve_constrained(ne, 1, &sol), -1);
    const Solution kept = sol;
    EXPECT_GE(solve_constrained(ne, 0, &sol), 0);
    EXPECT_EQ(sol.lambda, kept.lambda);
    for (int c = 0; c < 5; ++c) EXPECT_EQ(sol.solution[c], kept.solution[c]);

    // Views near the zenith see every leaf flatter than 90 - theta alike (K = cos alpha), so
    // the lowest classes are indistinguishable: singular without the constraint.
    ContactNumbers zenith;
    zenith.b = 3;
    for (int k = 0; k < 3; ++k) {
        zenith.alt_angl[k] = rad(85 - 10 * k);
        zenith.log_open[k] = 1;
    }
    build_normal_equations(zenith, 3, &ne);
    EXPECT_GE(solve_constrained(ne, 0, &sol), 0);
}

TEST(ClassRow, OneClassHoldsAllLeafArea) {
    Solution sol;
    sol.classes = 5;
    sol.solution[2] = 1.7f;
    sol.lai = 1.7f;
    for (int c = 0; c < 5; ++c) {
        const ClassRow r = class_row(sol, c);
        EXPECT_FLOAT_EQ(r.mid_deg, float(9 + 18 * c));
        EXPECT_FLOAT_EQ(r.fraction, c == 2 ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ(r.ladf, c == 2 ? float(5 * 2 / M_PI) : 0.0f);  // I 2/pi per radian
    }
}

// Fills a grid of nz x na cells with gap fraction g.
void fill(TessorGrid* grid, int nz, int na, float g) {
    gapdata::set_shape(grid, nz, na);
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) grid->fract_open[i][c] = g;
}

TEST(ContactNumbers, UsedAnnuliFromTheZenithOutward) {
    TessorGrid grid;
    fill(&grid, 10, 6, 0.25f);
    for (int c = 0; c < 6; ++c) grid.fract_open[4][c] = 0;  // no gap: skipped
    const ContactNumbers cn = contact_numbers(grid, gapdata::make_terrain(0.0f, 0.0f), 1, 1);
    ASSERT_EQ(cn.b, 7);  // annuli 1 .. 8, less annulus 4
    EXPECT_FLOAT_EQ(cn.alt_angl[0], rad(76.5));
    EXPECT_FLOAT_EQ(cn.alt_angl[3], rad(40.5));  // annulus 5
    EXPECT_FLOAT_EQ(cn.log_open[0], float(-std::log(0.25)));
    EXPECT_FLOAT_EQ(clumping_index(cn), 1);  // one gap fraction everywhere
}

TEST(ContactNumbers, MaskedCellsLeaveTheMean) {
    TessorGrid grid;
    fill(&grid, 9, 8, 0.5f);
    // ground sloping 20 deg toward azimuth 180: the cells near azimuth 0 of the two outer
    // annuli lie below it, and carry a gap fraction that must not count
    for (int c = 0; c < 8; ++c) grid.fract_open[7][c] = grid.fract_open[8][c] = 0.5f;
    grid.fract_open[8][0] = grid.fract_open[8][7] = 1;
    grid.fract_open[7][0] = grid.fract_open[7][7] = 1;
    const auto terrain = gapdata::make_terrain(20.0f, 180.0f);
    const ContactNumbers cn = contact_numbers(grid, terrain, 0, 0);
    ASSERT_EQ(cn.b, 9);
    for (int k = 0; k < 9; ++k) EXPECT_FLOAT_EQ(cn.log_open[k], float(-std::log(0.5))) << k;

    // A slope of 100 deg buries the annuli nearer the zenith than 10 deg: skipped, not 0/0.
    const ContactNumbers steep = contact_numbers(grid, gapdata::make_terrain(100.0f, 0.0f), 0, 0);
    EXPECT_EQ(steep.b, 8);
    EXPECT_FLOAT_EQ(steep.alt_angl[0], rad(75));
}

TEST(ContactNumbers, CellInThePlaneOfTheGroundIsJudgedAlikeByTheOpennessSummary) {
    // Slope 31.5 toward 225 deg: the cell at azimuth 45 of the annulus at 58.5 deg zenith angle
    // lies in the ground plane (cos I = 0 but for rounding). Whichever side rounding puts it,
    // the inversion and the openness summary must put it on the same side.
    TessorGrid grid;
    fill(&grid, 10, 4, 0.5f);
    grid.fract_open[6][0] = 1;
    const auto terrain = gapdata::make_terrain(31.5f, 225.0f);
    const ContactNumbers cn = contact_numbers(grid, terrain, 6, 3);
    ASSERT_EQ(cn.b, 1);
    const bool visible = cn.log_open[0] == float(-std::log(0.625));  // (1 + 3 * 0.5) / 4
    if (!visible) {
        EXPECT_FLOAT_EQ(cn.log_open[0], float(-std::log(0.5)));
    }
    const auto open = gapdata::openness_summary(grid, gapdata::OpennessStyle::kTessor, terrain);
    // one cell opposite the aspect is masked in each of the three outer annuli
    EXPECT_FLOAT_EQ(open.total_gap, visible ? (36 * 0.5f + 1) / 37 : 0.5f) << visible;
}

}  // namespace
}  // namespace norman_campbell
}  // namespace lai
