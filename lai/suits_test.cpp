#include "lai/suits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

namespace suits = lai::suits;

// An empty grid as the reader leaves it, for the test to fill.
suits::Grid make_grid(int nz, int na) {
    suits::Grid grid;
    gapdata::set_shape(&grid, nz, na);
    return grid;
}

TEST(SuitsPoints, ClosedOpenAndPartlyNullAnnuli) {
    suits::Grid grid = make_grid(3, 4);
    const double mixed[] = {0.2, 0.4, 0, 0.6};  // windows of two average 0.3, 0.2, 0.3
    for (int c = 0; c < 4; ++c) {
        grid.fract_open[0][c] = mixed[c];
        grid.fract_open[1][c] = 0;  // closed: no point, 3 null windows of width 2
        grid.fract_open[2][c] = 1;  // open sky: y = 0
    }
    suits::Points p;
    EXPECT_EQ(suits::annulus_points(grid, 0, 0, 2, &p), 3);
    ASSERT_EQ(p.n, 2);
    EXPECT_NEAR(p.y[0], -(std::log(0.3) + std::log(0.2) + std::log(0.3)) / 3, 1e-15);
    EXPECT_EQ(p.zenangl[1], 75.0);  // the closed annulus is skipped, its angle still advances
    EXPECT_NEAR(p.x[1], std::tan(75 * 0.017453292519943295) * 0.6366197723675814, 1e-15);
    EXPECT_EQ(p.y[1], 0.0);
    EXPECT_EQ(p.average[1], 1.0);
}

TEST(SuitsChoice, LowestRatioBelowOneHundred) {
    const double nan = std::nan("");
    auto rows = [](std::initializer_list<double> nsr) {
        std::vector<suits::OptRow> r;
        for (double v : nsr) {
            r.emplace_back();
            r.back().nsr = v;
            r.back().m = 12 / double(r.size());
        }
        return r;
    };
    EXPECT_EQ(suits::choose_width(rows({30, 20, 25}), 12), 6);
    EXPECT_EQ(suits::choose_width(rows({30, 20, 20}), 12), 6);    // a tie keeps the wider
    EXPECT_EQ(suits::choose_width(rows({nan, 40, nan}), 12), 6);  // NaN never chosen
    EXPECT_EQ(suits::choose_width(rows({nan, nan}), 12), 12);
    EXPECT_EQ(suits::choose_width(rows({100, 150, 100}), 12), 12);  // none below 100
    EXPECT_EQ(suits::choose_width(rows({100, 99.9}), 12), 6);
}

TEST(SuitsFit, OneSectorIsTriedOnce) {
    const suits::Grid grid = make_grid(3, 1);
    const suits::SuitsFit fit = suits::fit_suits(grid, suits::Params{0, 0, 1});
    ASSERT_EQ(fit.opt_test.size(), 1u);
    EXPECT_EQ(fit.opt_test[0].m, 1.0);
}

// The gap fractions of Suits' model, -ln P = Lh + Lv (2/pi) tan(theta), for every cell of a
// 9 x 8 grid as counts of a million pixels, as the gap-fraction file holds them, fitted.
TEST(SuitsFit, RecoversTheGeneratingLeafAreaIndex) {
    gapdata::Counts counts;
    const int nz = 9, na = 8;
    counts.reset(nz, na);
    const double cases[][2] = {{1.2, 0.8}, {0.3, 2.1}, {2.5, 0.4}};
    for (const auto& lai : cases) {
        for (int i = 0; i < nz; ++i) {
            const double theta = (i + 0.5) * 10 * 0.017453292519943295;
            const double p = std::exp(-(lai[0] + lai[1] * 0.6366197723675814 * std::tan(theta)));
            for (int j = 0; j < na; ++j) {
                counts.pixel(i, j) = 1000000;
                counts.gap(i, j) = std::llround(p * 1e6);
            }
        }
        suits::Grid grid;
        gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &grid);

        // The two annuli nearest the horizon are left out: their gap fractions are too small
        // for six decimals.
        const suits::SuitsFit fit = suits::fit_suits(grid, suits::Params{0, 2, 0});
        ASSERT_EQ(fit.points.n, 7);
        // Four decimals: the file rounds each gap fraction to 5e-7.
        EXPECT_NEAR(fit.reg_lin.b0, lai[0], 5e-5);
        EXPECT_NEAR(fit.reg_lin.b1, lai[1], 5e-5);
        EXPECT_NEAR(fit.reg_lin.b0 + fit.reg_lin.b1, lai[0] + lai[1], 5e-5);
        EXPECT_NEAR(suits::leaf_angle(fit.reg_lin), 90 * lai[1] / (lai[0] + lai[1]), 1e-3);
        EXPECT_NEAR(fit.agreement.r, 1.0, 1e-6);
        EXPECT_LT(fit.agreement.rms, 1e-6);
    }
}

}  // namespace
