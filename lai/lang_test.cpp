#include "lai/lang.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

namespace keldro = lai::lang;
using keldro::Grid;

// nz x na grid, every cell with gap fraction g and 400 pixels.
void fill(Grid* grid, int nz, int na, float g) {
    gapdata::set_shape(grid, nz, na, true);
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) grid->fract_open[i][c] = g, grid->pixel_nbr[i][c] = 400;
}

TEST(KeldroSubstitution, OnePixelGapAndRunSpreading) {
    const float cos45 = float(std::cos(45 * gapdata::kDegToRad));
    EXPECT_NEAR(keldro::one_pixel_gap(400, cos45, 1000, true), 1.0f / 400, 1e-8f);  // float
    EXPECT_NEAR(keldro::one_pixel_gap(400, cos45, 1, true), 0.4931, 0.0001);  // exp(-.5/cos 45)
    const float run[] = {0, 0, 0.3f, 0.5f};
    EXPECT_FLOAT_EQ(keldro::spread_gap(run, 4, 0), 0.3f / 3);
    EXPECT_FLOAT_EQ(keldro::spread_gap(run, 4, 1), 0.3f / 2);
    const float tail[] = {0.4f, 0.2f, 0, 0};  // the search goes on past the last column
    EXPECT_FLOAT_EQ(keldro::spread_gap(tail, 4, 2), 0.4f / 3);
    const float none[] = {0, 0, 0};
    EXPECT_EQ(keldro::spread_gap(none, 3, 1), 0.0f);
}

// On a 20 degree slope with aspect 0, cells of the two outermost annuli (centres 75 and 85
// degrees) opposite the aspect are below the ground: 4 of annulus 8, 2 of annulus 7.
TEST(KeldroPoints, MaskedCellsGiveNoPoint) {
    Grid grid;
    fill(&grid, 9, 8, 0.25f);
    keldro::Params par;
    keldro::Points p;
    p = keldro::lang_points(grid, par, gapdata::make_terrain(0.0f, 0.0f));
    EXPECT_EQ(p.count, 72);
    EXPECT_NEAR(p.ratio, 1, 1e-5);  // equal gaps: ln(mean) = mean(ln), up to float sums
    p = keldro::lang_points(grid, par, gapdata::make_terrain(20.0f, 0.0f));
    EXPECT_EQ(p.count, 72 - 6);
    // Tilted past the vertical, the ground hides the whole zenith annulus.
    par.hr = 8;
    p = keldro::lang_points(grid, par, gapdata::make_terrain(100.0f, 0.0f));
    EXPECT_EQ(p.count, 0);
}

TEST(KeldroPoints, EmptyCellsNeverGiveInfiniteOrNaNPoints) {
    Grid grid;
    fill(&grid, 3, 4, 0.2f);
    grid.fract_open[1][1] = grid.fract_open[1][2] = 0;
    grid.pixel_nbr[1][2] = 0;                               // no image at all: no point
    for (int c = 0; c < 4; ++c) grid.fract_open[2][c] = 0;  // annulus without gap
    keldro::Params par;
    keldro::Points p;
    for (const float l_max : {1000.0f, 1.0f, 0.0f}) {
        par.l_max = l_max;
        p = keldro::lang_points(grid, par, gapdata::make_terrain(0.0f, 0.0f));
        ASSERT_EQ(p.count, 11) << l_max;
        for (int k = 0; k < p.count; ++k) EXPECT_TRUE(std::isfinite(p.y[std::size_t(k)])) << l_max << k;
        EXPECT_TRUE(std::isfinite(p.ratio)) << l_max;
    }
    // Run spreading: column 1 takes 0.2 of column 3 over 3; the gapless annulus 1 in 400.
    EXPECT_NEAR(p.y[5], -std::log(0.2f / 3) * std::cos(p.x[5]), 1e-6);
    EXPECT_NEAR(p.y[7], std::log(400.0) * std::cos(p.x[7]), 2e-5);
    EXPECT_EQ(grid.fract_open[1][1], 0.0f);  // the grid is left as read
}

}  // namespace
