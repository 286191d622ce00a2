#include "suits.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>  // mkstemp
#include <initializer_list>

namespace {

// An empty grid as the reader leaves it, for the test to fill.
suits::Grid& make_grid(int nz, int na) {
    static suits::Grid grid;
    grid = suits::Grid{};
    gapdata::set_shape(&grid, nz, na);
    return grid;
}

TEST(SuitsPoints, ClosedOpenAndPartlyNullAnnuli) {
    suits::Grid& grid = make_grid(3, 4);
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
        static suits::OptRow r[suits::kMaxSteps];
        int k = 0;
        for (double v : nsr) {
            r[k].nsr = v;
            r[k].m = 12 / (k + 1);
            ++k;
        }
        return r;
    };
    EXPECT_EQ(suits::choose_width(rows({30, 20, 25}), 3, 12), 6);
    EXPECT_EQ(suits::choose_width(rows({30, 20, 20}), 3, 12), 6);    // a tie keeps the wider
    EXPECT_EQ(suits::choose_width(rows({nan, 40, nan}), 3, 12), 6);  // NaN never chosen
    EXPECT_EQ(suits::choose_width(rows({nan, nan}), 2, 12), 12);
    EXPECT_EQ(suits::choose_width(rows({100, 150, 100}), 3, 12), 12);  // none below 100
    EXPECT_EQ(suits::choose_width(rows({100, 99.9}), 2, 12), 6);
}

TEST(SuitsFit, OneSectorIsTriedOnce) {
    suits::Grid& grid = make_grid(3, 1);
    static suits::SuitsFit fit;
    suits::fit_suits(grid, suits::Params{0, 0, 1}, &fit);
    ASSERT_EQ(fit.n_opt, 1);
    EXPECT_EQ(fit.opt_test[0].m, 1.0);
}

// Writes the gap fractions of Suits' model, -ln P = Lh + Lv (2/pi) tan(theta), for every cell
// of a 9 x 8 grid as counts of a million pixels, reads the file back and fits it.
TEST(SuitsFit, RecoversTheGeneratingLeafAreaIndex) {
    static gapdata::CountTable pixels, gaps;
    const int nz = 9, na = 8;
    const double cases[][2] = {{1.2, 0.8}, {0.3, 2.1}, {2.5, 0.4}};
    for (const auto& lai : cases) {
        for (int i = 0; i < nz; ++i) {
            const double theta = (i + 0.5) * 10 * 0.017453292519943295;
            const double p = std::exp(-(lai[0] + lai[1] * 0.6366197723675814 * std::tan(theta)));
            for (int j = 0; j < na; ++j) {
                pixels[i][j] = 1000000;
                gaps[i][j] = std::llround(p * 1e6);
            }
        }
        char path[] = "/tmp/suits_test_XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        ASSERT_TRUE(gapdata::write_gap_fraction_file(path, nz, na, pixels, gaps));
        static suits::Grid grid;
        ASSERT_TRUE(gapdata::load_grid(path, suits::kReading, &grid));
        std::remove(path);

        static suits::SuitsFit fit;
        // The two annuli nearest the horizon are left out: their gap fractions are too small
        // for six decimals.
        suits::fit_suits(grid, suits::Params{0, 2, 0}, &fit);
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
