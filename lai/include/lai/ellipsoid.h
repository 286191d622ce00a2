// Campbell's ellipsoidal leaf-angle model and its fit to mean log gap fractions.
//
// The leaf inclinations of the canopy are taken to follow the distribution of the surface
// elements of an ellipsoid of revolution whose horizontal to vertical semi-axis ratio is x
// (Campbell 1986, 1990): large x means mostly horizontal leaves, small x mostly vertical ones.
// For a view zenith angle theta with t = tan(theta), the extinction coefficient is K(t, x), and
// a canopy of leaf area index LAI lets through the gap fraction exp(-K(t, x) * LAI).
#pragma once

#include <vector>

#include "gapdata/gapdata.h"

namespace lai {
namespace ellipsoid {

// Extinction coefficient K(t, x) = sqrt(x^2 + t^2) / A(x), with the normalising leaf-area ratio
// A(x) = x + 1.744 (x + 1.182)^-0.733 (after Campbell 1990, whose approximation has 1.774; the
// suite's reports have always been computed with 1.744, so it stays). t is the tangent of the
// zenith angle; K(0, x) = |x| / A(x).
double f(double t, double x);

// Least-squares fit of x and LAI to observations y_i ~ -LAI * model(t_i, x) (y_i the mean of
// ln(gap fraction) at tangent t_i), over the first `count` entries of t and y.
// For a trial x the best LAI is the slope through the origin, -sum(y m) / sum(m m), m the model;
// x is bracketed in [0.01, 100] and the bracket halved, starting from the trial x = 1, on the
// sign of the derivative of the residual sum (one-sided difference of step 0.001) until it is
// narrower than 0.001. The LAI is the one of the last trial; the x returned is the midpoint of
// the final bracket, within 0.0005 of that trial. A count of 0 or less gives a NaN LAI and
// x near 0.0105.
void shape(double (*model)(double, double), const double* t, const double* y, int count, double* x,
           double* lai);

// Mean leaf inclination in degrees for the distribution parameter x:
// 9.65 (x + 3)^-1.65 radians (Campbell 1990).
double alpha(double x);

// One averaging step of the program: the fit with windows of m adjacent sectors.
struct StepResult {
    double stp;    // window width m, in sectors
    double azm;    // window width m * s, degrees
    double h_prj;  // LAI / (x + 1), the part seen from above
    double v_prj;  // LAI - h_prj
    double lai;
    double err;      // solid-angle weighted squared misfit of the gap fractions
    double eladp;    // fitted x
    double alpha;    // mean leaf angle, degrees
    double ke;       // K(0, x), extinction at the zenith
    double kde;      // ke * sqrt(0.8)
    double gnd_cov;  // 1 - exp(-ke LAI)
    double fr_soil;  // 1 - gnd_cov
    double null_gp;  // windows without any gap, over all used annuli
};

using Grid = gapdata::Grid<double>;

// For every window width m = na / k (k = 1 ... na dividing na), averages the used annuli
// zr ... nz - hr - 1 logarithmically (Lang and Xiang 1986), fits the ellipsoidal model to the
// annuli that have a gap (all but the one nearest the horizon), and rates the fit against the
// gap fraction of every cell of the used annuli. One row per width, widest first.
std::vector<StepResult> averaging_steps(const Grid& grid, int zr, int hr);

}  // namespace ellipsoid
}  // namespace lai
