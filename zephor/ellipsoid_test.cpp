#include "ellipsoid.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using zephor::f;

// A model that counts its calls: shape calls it twice per observation and pass.
int g_calls = 0;
double counting_f(double t, double x) {
    ++g_calls;
    return f(t, x);
}

struct Fit {
    double x;
    double lai;
    int passes;
};

// Observations y_i = -lai K(t_i, x) at the zenith angles 5, 15, ..., 75 degrees.
Fit fit_model(double x_true, double lai_true) {
    double t[8], y[8];
    for (int i = 0; i < 8; ++i) {
        t[i] = std::tan((5 + 10 * i) * gapdata::kDegToRad);
        y[i] = -lai_true * f(t[i], x_true);
    }
    Fit fit{};
    g_calls = 0;
    zephor::shape(counting_f, t, y, 8, &fit.x, &fit.lai);
    fit.passes = g_calls / 16;
    return fit;
}

TEST(ZephorExtinction, ClosedForms) {
    const double a1 = 1 + 1.744 * std::pow(2.182, -0.733);
    EXPECT_DOUBLE_EQ(f(0, 1), 1 / a1);
    EXPECT_DOUBLE_EQ(f(0, 3.7), 3.7 / (3.7 + 1.744 * std::pow(4.882, -0.733)));
    // K(t, 1) grows as sqrt(1 + t^2): at 60 degrees, twice the zenith value.
    EXPECT_NEAR(f(std::tan(60 * gapdata::kDegToRad), 1), 2 / a1, 1e-15);  // tan rounding
    // Spherical leaves (x = 1): K at 57.5 degrees is close to the classic 0.5 / cos.
    const double t = std::tan(57.5 * gapdata::kDegToRad);
    EXPECT_NEAR(f(t, 1) * std::cos(57.5 * gapdata::kDegToRad), 0.5, 0.005);
}

TEST(ZephorMeanLeafAngle, AcrossTheBracket) {
    EXPECT_NEAR(zephor::alpha(0.01), 89.746, 0.0005);  // printed to three decimals
    EXPECT_NEAR(zephor::alpha(1), 56.137, 0.0005);
    EXPECT_NEAR(zephor::alpha(100), 0.264, 0.0005);
}

// Tolerances: the returned x lies within h/2 = 0.0005 of the last trial, which lies within the
// final bracket (< 0.001) of the true x; the LAI is exact at the trial, so off by the slope of
// LAI(x) times at most 0.001.
TEST(ZephorShape, RecoversPlanophileCanopyIn18Passes) {
    const Fit fit = fit_model(3.7, 2);
    EXPECT_NEAR(fit.x, 3.7, 0.0005);
    EXPECT_NEAR(fit.lai, 2, 0.001);
    EXPECT_EQ(fit.passes, 18);
    EXPECT_EQ(g_calls % 16, 0);
}

TEST(ZephorShape, RecoversErectophileCanopyIn11Passes) {
    const Fit fit = fit_model(0.5, 3);
    EXPECT_NEAR(fit.x, 0.5, 0.0005);
    EXPECT_NEAR(fit.lai, 3, 0.002);
    EXPECT_EQ(fit.passes, 11);
}

TEST(ZephorShape, NoObservationsGiveNaNWithoutFailing) {
    double x = 0, lai = 0;
    zephor::shape(f, nullptr, nullptr, 0, &x, &lai);
    EXPECT_TRUE(std::isnan(lai));
    EXPECT_NEAR(x, 0.0105, 0.0005);
    zephor::shape(f, nullptr, nullptr, -1, &x, &lai);  // what one annulus with a gap passes
    EXPECT_TRUE(std::isnan(lai));
}

TEST(ZephorSteps, DivisorCounts) {
    EXPECT_EQ(zephor::divisor_count(36), 9);
    EXPECT_EQ(zephor::divisor_count(1), 1);
    EXPECT_EQ(zephor::divisor_count(144), 15);
    EXPECT_EQ(zephor::divisor_count(120), 16);
    int widest = 0;
    for (int na = 1; na <= 150; ++na)
        if (na != 120 && na != 144 && zephor::divisor_count(na) > widest)
            widest = zephor::divisor_count(na);
    EXPECT_LE(widest, zephor::kMaxSteps);  // the table fits every other sector count
}

// A grid drawn from the model, g = exp(-K(tan z, x) LAI) in every cell, gives back x and LAI.
TEST(ZephorSteps, ModelGridRecoversParameters) {
    static zephor::Grid grid;
    grid.nz = 9;
    grid.na = 12;
    grid.w = 10;
    grid.half_w = 5;
    grid.s = 30;
    grid.half_s = 15;
    const double x_true = 2.2, lai_true = 1.6;
    for (int i = 0; i < grid.nz; ++i)
        for (int c = 0; c < grid.na; ++c)
            grid.fract_open[i][c] =
                std::exp(-f(std::tan((5 + 10 * i) * gapdata::kDegToRad), x_true) * lai_true);
    zephor::StepResult rows[zephor::kMaxSteps];
    ASSERT_EQ(zephor::averaging_steps(grid, 1, 1, rows), 6);
    EXPECT_EQ(rows[0].stp, 12);
    EXPECT_EQ(rows[0].azm, 360);
    EXPECT_EQ(rows[5].stp, 1);
    EXPECT_NEAR(rows[0].eladp, x_true, 0.0005);
    EXPECT_NEAR(rows[0].lai, lai_true, 0.001);
    EXPECT_NEAR(rows[0].h_prj + rows[0].v_prj, rows[0].lai, 1e-15);
    EXPECT_NEAR(rows[0].err, 0, 1e-6);  // only the residual of the fitted x
    EXPECT_EQ(rows[0].null_gp, 0);
    // Uniform annuli: every width sees the same mean logarithm, so the same fit.
    for (int r = 1; r < 6; ++r) EXPECT_NEAR(rows[r].lai, rows[0].lai, 1e-12);
}

// Annuli without gap give no fit point but count their windows as null.
TEST(ZephorSteps, GaplessAnnulusCountsNullWindows) {
    static zephor::Grid grid;
    grid.nz = 3;
    grid.na = 4;
    grid.w = 30;
    grid.half_w = 15;
    grid.s = 90;
    grid.half_s = 45;
    for (int c = 0; c < 4; ++c) {
        grid.fract_open[0][c] = 0.5;
        grid.fract_open[1][c] = 0;
        grid.fract_open[2][c] = 0.2;
    }
    zephor::StepResult rows[zephor::kMaxSteps];
    ASSERT_EQ(zephor::averaging_steps(grid, 0, 0, rows), 3);
    EXPECT_EQ(rows[0].null_gp, 1);  // m = 4: one window
    EXPECT_EQ(rows[1].null_gp, 3);  // m = 2: three windows
    EXPECT_EQ(rows[2].null_gp, 4);  // m = 1
    // Two points, of which the fit uses the first only: LAI = -ln 0.5 / K(tan 15 deg, x).
    const double x = rows[0].eladp;
    EXPECT_NEAR(rows[0].lai * f(std::tan(15 * gapdata::kDegToRad), x), std::log(2.0), 0.002);
}

}  // namespace
