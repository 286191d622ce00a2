// Points for the leaf area index method after Lang (1986, 1987): for every visible sky cell of
// the used zenith range, the view angle and the contact value -ln(gap) scaled by a cosine.
// A straight line through these points gives the LAI; this unit prepares them, it does not fit.
//
// Everything is single precision, as the suite's published point files were computed so; the
// mathematics functions are the double ones applied to the floats.
#pragma once

#include <vector>

#include "gapdata/gapdata.h"
#include "regress/regress.h"

namespace lai {
namespace lang {

using Grid = gapdata::Grid<float>;

struct Params {
    float slope_deg = 0;   // slope of the ground, degrees
    float aspect_deg = 0;  // aspect of the slope, degrees, on the azimuth scale of the columns
    int mode = 0;          // 0: x = view zenith angle; 1: x = angle to the ground normal
    int zr = 0;            // annuli discarded next to the zenith
    int hr = 0;            // annuli discarded next to the horizon
    float l_max = 0;       // largest LAI given to a cell without gap; 0 selects run spreading
};

struct Points {
    int count = 0;
    std::vector<float> x;  // radians
    std::vector<float> y;
    float ratio = 0;  // ln(mean gap) / mean(ln gap) over the points
};

// Gap fraction at which exactly one of the cell's p pixels would be sky: the LAI
// L = -2 cos z ln(1/p) that this implies is capped at l_max when `capped`, and the gap fraction
// exp(-(L/2) / cos z) returned (1/p without the cap).
float one_pixel_gap(float pixels, float cos_z, float l_max, bool capped);

// Run spreading: the gap fraction of the nearest later column of the annulus (going round the
// annulus past its last column) that has a gap, divided by the distance to it plus one. Returns
// 0 when no column of the annulus has a gap.
float spread_gap(const float* row, int na, int c);

// Computes the points of the used annuli zr ... nz - hr - 1 over the visible cells, column by
// column. A cell without gap is given a small gap fraction (l_max != 0: one_pixel_gap with the
// cap; l_max = 0: spread_gap, or one_pixel_gap without the cap in an annulus without any gap).
// A cell without pixels and without gap holds no image and, like a masked cell, yields no
// point. The grid itself is not changed; it must hold the pixel counts.
Points lang_points(const Grid& grid, const Params& par, const gapdata::Terrain<float>& terrain);

// The straight line y = a + b x through the points by least squares (regress, in double
// precision) and the leaf area index 2 (a + b) that Miller's integral gives for a contact number
// linear in the view angle (Lang 1987).
struct LineFit {
    double lai = 0;
    regress::t_Regression reg{};
};
LineFit fit_line(const Points& points);

}  // namespace lang
}  // namespace lai
