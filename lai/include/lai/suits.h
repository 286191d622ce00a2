// Leaf area index after Suits' two-component canopy: minus the logarithm of the gap fraction at
// view zenith angle theta is linear in (2/pi) tan(theta),
//     -ln P(theta) = L_h + L_v (2/pi) tan(theta),
// with the horizontal foliage L_h as intercept and the vertical foliage L_v as slope. One point
// per used zenith annulus; the gap fraction of an annulus is log-averaged over azimuthal windows
// of m adjacent sectors (Lang and Xiang 1986), and the window width may be chosen as the one
// whose fit has the lowest noise-to-signal ratio.
#pragma once

#include <vector>

#include "gapdata/gapdata.h"
#include "regress/regress.h"

namespace lai {
namespace suits {

using Grid = gapdata::Grid<double>;
constexpr double kTwoOverPi = 0.6366197723675814;

struct Params {
    int zenith_rings_discarded = 0;
    int horizon_rings_discarded = 0;
    int optimize = 0;  // non-zero: try the window widths first and keep the best
};

// One regression point per used annulus that has a gap somewhere, in increasing zenith angle.
struct Points {
    int n = 0;
    std::vector<double> x;        // (2/pi) tan(zenith)
    std::vector<double> y;        // minus the mean log gap fraction
    std::vector<double> zenangl;  // annulus centre, degrees
    std::vector<double> average;  // log-averaged gap fraction, exp(mean log)
};

// One window width tried by the optimisation.
struct OptRow {
    double nsr = 0;        // noise-to-signal ratio, percent
    double m = 0;          // window width, sectors
    double fov_deg = 0;    // window angle m * s
    double lai = 0;        // b0 + b1
    double alpha_deg = 0;  // mean leaf angle, 0 unless strictly between 0 and 90
    int null_windows = 0;  // windows without any gap, over the used annuli
};

// Agreement of the observed and predicted gap fractions of the final fit.
struct Agreement {
    double r = 0;         // correlation
    double rms = 0;       // root mean square difference
    double rms_perc = 0;  // 100 * sum (o - p)^2 / sum p^2 / n, no root taken
};

struct SuitsFit {
    std::vector<OptRow> opt_test;  // one row per window width tried, in the order tried
    int m = 0;                     // window width of the final fit
    Points points;
    regress::t_Regression reg_lin{};
    Agreement agreement;
    gapdata::Openness<double> openness;
};

// Computes the points of the used annuli zr .. nz - hr - 1 for window width m (a divisor of
// na). Returns the number of null windows over those annuli. zr, hr >= 0.
int annulus_points(const Grid& grid, int zr, int hr, int m, Points* points);

// Mean leaf inclination 90 b1 / (b0 + b1), degrees above the horizon.
double leaf_angle(const regress::t_Regression& fit);

// Gap fraction the fitted line predicts at a zenith angle in degrees.
double predicted_gap(const regress::t_Regression& fit, double zenith_deg);

// Correlation and differences of the observed and the predicted gap fractions.
Agreement agreement(const Points& points, const regress::t_Regression& fit);

// The width of the lowest noise-to-signal ratio under 100 percent among the rows, in the order
// tried; na when none lies below 100. A tie keeps the earlier (wider) window; a NaN ratio is
// never chosen.
int choose_width(const std::vector<OptRow>& opt_test, int na);

// The whole computation: the optimisation (when asked for), the final fit, the agreement and the
// openness summary. Discard counts must not be negative.
SuitsFit fit_suits(const Grid& grid, const Params& par);

}  // namespace suits
}  // namespace lai
