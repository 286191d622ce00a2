#include "lai/ellipsoid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace zephor = lai::ellipsoid;
using zephor::f;

int g_calls = 0;  // shape calls the model twice per observation and pass
double counting_f(double t, double x) { return ++g_calls, f(t, x); }

// Fits y_i = -lai K(t_i, x) at the zenith angles 5, 15, ..., 75 degrees; returns the passes.
int fit_model(double x_true, double lai_true, double* x, double* lai) {
    double t[8], y[8];
    for (int i = 0; i < 8; ++i) {
        t[i] = std::tan((5 + 10 * i) * gapdata::kDegToRad);
        y[i] = -lai_true * f(t[i], x_true);
    }
    g_calls = 0;
    zephor::shape(counting_f, t, y, 8, x, lai);
    return g_calls / 16;
}

TEST(ZephorModel, ExtinctionAndMeanLeafAngle) {
    EXPECT_DOUBLE_EQ(f(0, 1), 1 / (1 + 1.744 * std::pow(2.182, -0.733)));
    // Spherical leaves (x = 1): K near the classic 0.5 / cos at 57.5 degrees.
    const double z = 57.5 * gapdata::kDegToRad;
    EXPECT_NEAR(f(std::tan(z), 1) * std::cos(z), 0.5, 0.005);
    EXPECT_NEAR(zephor::alpha(0.01), 89.746, 0.0005);  // published to three decimals
    EXPECT_NEAR(zephor::alpha(1), 56.137, 0.0005);
    EXPECT_NEAR(zephor::alpha(100), 0.264, 0.0005);
}

// Tolerances: x within h/2 = 0.0005 (bisection); LAI exact at the last trial x, so off by the
// slope of LAI(x) times at most 0.001.
TEST(ZephorShape, RecoversModelParametersInTheExpectedPasses) {
    double x = 0, lai = 0;
    EXPECT_EQ(fit_model(3.7, 2, &x, &lai), 18);  // trial x = 1 too small: bracket 1 .. 100
    EXPECT_NEAR(x, 3.7, 0.0005);
    EXPECT_NEAR(lai, 2, 0.001);
    EXPECT_EQ(fit_model(0.5, 3, &x, &lai), 11);  // bracket 0.01 .. 1
    EXPECT_NEAR(x, 0.5, 0.0005);
    EXPECT_NEAR(lai, 3, 0.002);
    zephor::shape(f, nullptr, nullptr, 0, &x, &lai);  // no observations: NaN, no failure
    EXPECT_TRUE(std::isnan(lai));
    EXPECT_NEAR(x, 0.0105, 0.0005);
}

TEST(ZephorSteps, OneRowPerDivisor) {
    zephor::Grid grid;
    gapdata::set_shape(&grid, 4, 36);
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 36; ++c) grid.fract_open[i][c] = 0.3;
    const std::vector<zephor::StepResult> rows = zephor::averaging_steps(grid, 0, 0);
    ASSERT_EQ(rows.size(), std::size_t(gapdata::count_divisors(36)));
    EXPECT_EQ(rows.front().stp, 36);
    EXPECT_EQ(rows.back().stp, 1);
}

// A gap-fraction file drawn from the model (a million pixels per cell) gives back x and LAI.
TEST(ZephorSteps, ModelFileRecoversParameters) {
    gapdata::Counts counts;
    counts.reset(9, 12);
    const double x_true = 2.2, lai_true = 1.6;
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 12; ++j) {
            const double t = std::tan((5 + 10 * i) * gapdata::kDegToRad);
            counts.pixel(i, j) = 1000000;
            counts.gap(i, j) = std::llround(std::exp(-f(t, x_true) * lai_true) * 1e6);
        }
    zephor::Grid grid;
    gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid);

    const std::vector<zephor::StepResult> rows = zephor::averaging_steps(grid, 1, 1);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].azm, 360);
    EXPECT_NEAR(rows[0].eladp, x_true, 0.0005);
    EXPECT_NEAR(rows[0].lai, lai_true, 0.001);  // plus the file's six decimals
    EXPECT_NEAR(rows[0].err, 0, 1e-6);
    EXPECT_EQ(rows[5].stp, 1);  // uniform annuli: every width gives the same fit
    EXPECT_NEAR(rows[5].lai, rows[0].lai, 1e-9);
}

// An annulus without gap gives no fit point but counts its windows as null; of the two points
// left, the one nearest the horizon is not fitted.
TEST(ZephorSteps, GaplessAnnulusAndTheUnfittedLastPoint) {
    zephor::Grid grid;
    gapdata::set_shape(&grid, 3, 4);
    for (int c = 0; c < 4; ++c) grid.fract_open[0][c] = 0.5, grid.fract_open[2][c] = 0.2;
    const std::vector<zephor::StepResult> rows = zephor::averaging_steps(grid, 0, 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].null_gp, 1);  // widths 4, 2, 1: 1, 3 and 4 windows
    EXPECT_EQ(rows[1].null_gp, 3);
    EXPECT_EQ(rows[2].null_gp, 4);
    // The zenith annulus alone: LAI K(tan 15 deg, x) = -ln 0.5, whatever x.
    EXPECT_NEAR(rows[0].lai * f(std::tan(15 * gapdata::kDegToRad), rows[0].eladp), std::log(2.0),
                0.002);
}

}  // namespace
