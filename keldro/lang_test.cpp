#include "lang.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using gapdata::OpennessStyle;
using keldro::Grid;

// nz x na grid, every cell with gap fraction g and 400 pixels.
void fill(Grid* grid, int nz, int na, float g) {
    grid->nz = nz;
    grid->na = na;
    grid->w = float(90.0 / nz);
    grid->half_w = grid->w / 2;
    grid->s = float(360.0 / na);
    grid->half_s = grid->s / 2;
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) {
            grid->fract_open[i][c] = g;
            grid->pixel_nbr[i][c] = 400;
        }
}

bool all_finite(const keldro::Points& p) {
    for (int k = 0; k < p.count; ++k)
        if (!std::isfinite(p.x[k]) || !std::isfinite(p.y[k])) return false;
    return true;
}

TEST(KeldroSubstitution, OnePixelGap) {
    const float cos45 = float(std::sin(gapdata::kHalfPi - float(45 * gapdata::kDegToRad)));
    // Without a binding cap the cell gets the gap of one pixel in 400.
    EXPECT_NEAR(keldro::one_pixel_gap(400, cos45, 1000, true), 1.0f / 400, 1e-8f);  // float ln/exp
    EXPECT_NEAR(keldro::one_pixel_gap(400, cos45, 0, false), 1.0f / 400, 1e-8f);
    // With L capped at 1: exp(-0.5 / cos 45 deg), about 0.493.
    EXPECT_FLOAT_EQ(keldro::one_pixel_gap(400, cos45, 1, true), float(std::exp(-0.5 / cos45)));
    EXPECT_NEAR(keldro::one_pixel_gap(400, cos45, 1, true), 0.4931, 0.0001);
}

TEST(KeldroSubstitution, RunSpreadingGoesRoundTheAnnulus) {
    const float run[] = {0, 0, 0.3f, 0.5f};
    EXPECT_FLOAT_EQ(keldro::spread_gap(run, 4, 0), 0.3f / 3);  // 0.1
    EXPECT_FLOAT_EQ(keldro::spread_gap(run, 4, 1), 0.3f / 2);  // 0.15
    const float tail[] = {0.4f, 0.2f, 0, 0};
    EXPECT_FLOAT_EQ(keldro::spread_gap(tail, 4, 2), 0.4f / 3);  // past the last column to 0
    EXPECT_FLOAT_EQ(keldro::spread_gap(tail, 4, 3), 0.4f / 2);
    const float none[] = {0, 0, 0};
    EXPECT_EQ(keldro::spread_gap(none, 3, 1), 0.0f);
}

TEST(KeldroPoints, LevelGroundModeZero) {
    static Grid grid;
    fill(&grid, 9, 8, 0.25f);
    keldro::Params par;
    par.zr = 2;
    par.hr = 1;
    static keldro::Points p;
    keldro::lang_points(grid, par, gapdata::make_terrain(0.0f, 0.0f), &p);
    ASSERT_EQ(p.count, (9 - 2 - 1) * 8);
    for (int k = 0; k < p.count; ++k) {
        const int i = 2 + k / 8;  // annulus of the point
        EXPECT_FLOAT_EQ(p.x[k], float((5 + 10 * i) * gapdata::kDegToRad));
        EXPECT_NEAR(p.y[k], std::log(4.0) * std::cos(p.x[k]), 2e-6);  // float storage
    }
    EXPECT_FLOAT_EQ(p.ratio, 1);  // all gaps equal: ln(mean) = mean(ln)

    const auto o = gapdata::openness_summary(grid, OpennessStyle::kKeldro,
                                             gapdata::make_terrain(0.0f, 0.0f));
    EXPECT_FLOAT_EQ(o.total_gap, 0.25f);
    EXPECT_FLOAT_EQ(o.canopy_openness, o.site_openness);
    EXPECT_NEAR(o.site_openness, 0.25, 1e-6);  // weights add up to 1 in float
}

// On a 20 degree slope with aspect 0, cells of the two outermost annuli (centres 75 and 85
// degrees) on the side opposite the aspect are below the ground.
TEST(KeldroPoints, SlopeMasksOutermostAnnuliOppositeTheAspect) {
    static Grid grid;
    fill(&grid, 9, 8, 0.5f);
    const auto terrain = gapdata::make_terrain(20.0f, 0.0f);
    keldro::Params par;
    par.mode = 1;
    static keldro::Points p;
    keldro::lang_points(grid, par, terrain, &p);
    // Annulus 8 (85 deg): columns at 112.5 ... 247.5 masked (4); annulus 7 (75 deg): 157.5 and
    // 202.5 (2). cos I = cos 20 cos z + sin 20 sin z cos(phi).
    EXPECT_EQ(p.count, 72 - 6);
    for (int k = 0; k < p.count; ++k) {
        EXPECT_GE(p.x[k], 0);
        EXPECT_LE(p.x[k], float(gapdata::kHalfPi));
    }
    // Mode 1 on the first point: zenith annulus, column 0 at 22.5 degrees.
    const double z = 5 * gapdata::kDegToRad;
    const double cos_i = std::cos(20 * gapdata::kDegToRad) * std::cos(z) +
                         std::sin(20 * gapdata::kDegToRad) * std::sin(z) *
                             std::cos(22.5 * gapdata::kDegToRad);
    EXPECT_NEAR(p.x[0], std::acos(cos_i), 1e-6);
    EXPECT_NEAR(p.y[0], std::log(2.0) * cos_i / std::cos(20 * gapdata::kDegToRad), 1e-6);

    // Canopy openness is taken over the visible weight only; site openness over all.
    const auto o = gapdata::openness_summary(grid, OpennessStyle::kKeldro, terrain);
    EXPECT_FLOAT_EQ(o.total_gap, 0.5f);
    EXPECT_NEAR(o.canopy_openness, 0.5, 1e-6);
    EXPECT_NEAR(o.site_openness, 0.5, 1e-6);

    // Tilted past the vertical (100 degrees), the ground hides the whole zenith annulus: it
    // yields no point, and the ratio of no points is NaN.
    par.hr = 8;
    keldro::lang_points(grid, par, gapdata::make_terrain(100.0f, 0.0f), &p);
    EXPECT_EQ(p.count, 0);
    EXPECT_TRUE(std::isnan(p.ratio));
}

TEST(KeldroPoints, EmptyCellsNeverGiveInfiniteOrNaNPoints) {
    static Grid grid;
    fill(&grid, 3, 4, 0.2f);
    grid.fract_open[1][1] = 0;  // no gap among 400 pixels
    grid.fract_open[1][2] = 0;
    grid.pixel_nbr[1][2] = 0;  // no image at all
    for (int c = 0; c < 4; ++c) grid.fract_open[2][c] = 0;  // annulus without any gap
    keldro::Params par;
    static keldro::Points p;
    for (const float l_max : {0.0f, 1.0f, 1000.0f}) {
        par.l_max = l_max;
        keldro::lang_points(grid, par, gapdata::make_terrain(0.0f, 0.0f), &p);
        EXPECT_EQ(p.count, 11) << l_max;  // the cell without pixels yields no point
        EXPECT_TRUE(all_finite(p)) << l_max;
        EXPECT_TRUE(std::isfinite(p.ratio)) << l_max;
    }
    // Run spreading: the zero at column 1 takes the 0.2 of column 3 (column 2 has no gap) / 3;
    // the gapless annulus falls back to one pixel in 400.
    par.l_max = 0;
    keldro::lang_points(grid, par, gapdata::make_terrain(0.0f, 0.0f), &p);
    EXPECT_NEAR(p.y[5], -std::log(0.2f / 3) * std::cos(p.x[5]), 1e-6);
    EXPECT_NEAR(p.y[7], std::log(400.0) * std::cos(p.x[7]), 2e-5);
    // The grid is left as read.
    EXPECT_EQ(grid.fract_open[1][1], 0.0f);
}

}  // namespace
