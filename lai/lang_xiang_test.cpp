#include "lai/lang_xiang.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

namespace lang_xiang = lai::lang_xiang;

lang_xiang::Grid make_grid(int nz, int na) {
    lang_xiang::Grid grid;
    gapdata::set_shape(&grid, nz, na);
    return grid;
}

TEST(FnSlope, CalibrationPolynomial) {
    EXPECT_EQ(lang_xiang::fn_slope(0), 56.81964);  // a flat contact number
    for (double q : {-0.4, -0.1, 0.2, 0.37}) {
        const double powers = 56.81964 + 46.84833 * q - 64.62133 * q * q - 158.6914 * q * q * q +
                              522.0626 * q * q * q * q + 1008.149 * q * q * q * q * q;
        EXPECT_NEAR(lang_xiang::fn_slope(q), powers, 1e-10) << q;  // rounding only
    }
}

TEST(StepTable, OneRowPerDivisorWidestFirst) {
    EXPECT_EQ(gapdata::count_divisors(1), 1);
    EXPECT_EQ(gapdata::count_divisors(12), 6);
    EXPECT_EQ(gapdata::count_divisors(120), 16);
    lang_xiang::Grid grid = make_grid(3, 12);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 12; ++c) grid.fract_open[i][c] = 0.1 * (i + 1);
    const lang_xiang::StepTable table = lang_xiang::compute_table(grid, 0, 0);
    ASSERT_EQ(table.result.size(), 6u);
    const double widths[] = {12, 6, 4, 3, 2, 1};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(table.result[std::size_t(k)].m, widths[k]);
}

TEST(LangPoints, ContactNumbers) {
    lang_xiang::Grid grid = make_grid(3, 4);
    const double mixed[] = {0.5, 0, 0, 0.5};
    for (int c = 0; c < 4; ++c) {
        grid.fract_open[0][c] = mixed[c];  // width 1: two null windows, mean log ln 0.5
        grid.fract_open[1][c] = 0;         // closed: no point, four null windows
        grid.fract_open[2][c] = 1;         // open: contact number 0
    }
    lang_xiang::Points p;
    EXPECT_EQ(lang_xiang::annulus_points(grid, 0, 0, 1, &p), 6);
    ASSERT_EQ(p.n, 2);
    EXPECT_EQ(p.x[0], 15 * 0.017453292519943295);
    EXPECT_NEAR(p.y[0], -std::log(0.5) * std::cos(p.x[0]), 1e-15);
    EXPECT_EQ(p.x[1], 75 * 0.017453292519943295);
    EXPECT_EQ(p.y[1], 0.0);
}

// Gap fractions of a canopy whose contact number is linear in the zenith angle,
// K = a + b theta, so P = exp(-K / cos theta); counts of a million pixels as the gap-fraction
// file holds them, inverted. Miller's integral gives LAI = 2 (a + b).
TEST(StepTable, RecoversTheGeneratingLeafAreaIndex) {
    gapdata::Counts counts;
    const int nz = 9, na = 6;
    counts.reset(nz, na);
    const double cases[][2] = {{0.9, 0.1}, {0.5, 0.3}, {1.4, -0.2}};
    for (const auto& ab : cases) {
        for (int i = 0; i < nz; ++i) {
            const double theta = (i + 0.5) * 10 * 0.017453292519943295;
            const double p = std::exp(-(ab[0] + ab[1] * theta) / std::cos(theta));
            for (int j = 0; j < na; ++j) {
                counts.pixel(i, j) = 1000000;
                counts.gap(i, j) = std::llround(p * 1e6);
            }
        }
        lang_xiang::Grid grid;
        gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid);

        // horizon annuli: too few decimals
        const lang_xiang::StepTable table = lang_xiang::compute_table(grid, 0, 2);
        ASSERT_EQ(table.result.size(), 4u);
        for (const lang_xiang::Step& row : table.result) {
            // Four decimals: the file rounds each gap fraction to 5e-7.
            EXPECT_NEAR(row.lai, 2 * (ab[0] + ab[1]), 5e-5);
            EXPECT_NEAR(row.kappa, ab[0] + ab[1] * 0.9599310885968813, 5e-5);
        }
    }
}

}  // namespace
