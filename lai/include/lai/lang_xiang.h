// Leaf area index, contact number at 55 degrees and mean leaf angle after Lang and Xiang (1986).
//
// For each used zenith annulus the contact number K(theta) = -cos(theta) ln P(theta) is formed
// from the log-averaged gap fraction P of the annulus, and the straight line K = a + b theta
// (theta in radians) is fitted. Miller's integral LAI = 2 * integral of K sin(theta) over
// 0..pi/2 then gives LAI = 2 (a + b) (Lang 1986). The slope of K / LAI against theta gives the
// mean leaf inclination through a calibration polynomial. This is done for every averaging
// window width that divides the number of azimuth sectors.
#pragma once

#include <vector>

#include "gapdata/gapdata.h"
#include "regress/regress.h"

namespace lai {
namespace lang_xiang {

using Grid = gapdata::Grid<double>;
constexpr double kKappaZenithRad = 0.9599310885968813;  // 55 degrees

// Mean leaf inclination in degrees from the slope q of the normalised contact number against
// the zenith angle in radians (Lang and Xiang 1986 calibration, fifth degree, Horner form).
double fn_slope(double q);

// The regression points of one window width, in increasing zenith angle.
struct Points {
    int n = 0;
    std::vector<double> x;  // annulus centre, radians
    std::vector<double> y;  // contact number -mu cos(zenith)
    std::vector<double> g;  // y / LAI
};

// One row of the step table, all doubles as reported.
struct Step {
    double m = 0;        // window width, sectors
    double azm_deg = 0;  // window angle m * s
    double nsr = 0;      // noise-to-signal ratio, percent
    double lai = 0;
    double se_lai = 0;
    double kappa = 0;  // fitted contact number at 55 degrees
    double se_kappa = 0;
    double alpha_deg = 0;  // mean leaf angle, 0 unless strictly between 0 and 90
    double ci_alpha = 0;   // half-width of the leaf-angle interval
    double null_windows = 0;
};

struct StepTable {
    std::vector<Step> result;  // one row per window width, widest first
    gapdata::Openness<double> openness;
};

// Points of the used annuli zr .. nz - hr - 1 for window width m (a divisor of na); returns the
// number of null windows over those annuli. zr, hr >= 0.
int annulus_points(const Grid& grid, int zr, int hr, int m, Points* points);

// Fits one window width: both regressions and the row built from them. points->g is filled.
Step fit_step(const Grid& grid, int m, int null_windows, Points* points,
              regress::t_Regression* reg_lin);

// Every divisor of na from na down to 1, then the openness summary. Discard counts must not be
// negative.
StepTable compute_table(const Grid& grid, int zr, int hr);

}  // namespace lang_xiang
}  // namespace lai
