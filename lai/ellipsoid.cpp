#include "lai/ellipsoid.h"

#include <cmath>

namespace lai {
namespace ellipsoid {

double f(double t, double x) {
    return std::sqrt(x * x + t * t) / (x + 1.744 * std::pow(x + 1.182, -0.733));
}

void shape(double (*model)(double, double), const double* t, const double* y, int count, double* x,
           double* lai) {
    constexpr double h = 0.001;  // difference step in x and final bracket width
    double lo = 0.01;
    double hi = 100;
    double trial = 1.0;
    double s_ym, s_mm;
    bool narrow = false;
    do {
        s_ym = 0;
        s_mm = 0;
        double s_md = 0;
        double s_yd = 0;
        for (int i = 0; i < count; ++i) {
            const double m = model(t[i], trial);
            const double d = model(t[i], trial + h) - m;
            s_ym += y[i] * m;
            s_mm += m * m;
            s_md += m * d;
            s_yd += y[i] * d;
        }
        // Sign of the derivative of the residual sum at the best LAI for this x.
        const double v = s_mm * s_yd - s_ym * s_md;
        if (v < 0)
            lo = trial;
        else  // also when v is NaN
            hi = trial;
        trial = (hi + lo) / 2;
        narrow = !(hi - lo > h);  // a NaN width stops the search too
    } while (!narrow);
    *lai = -(s_ym / s_mm);
    *x = trial;
}

double alpha(double x) { return 9.65 * std::pow(x + 3, -1.65) * 57.29577951308232; }

namespace {

// Sum over the used annuli and all their cells of the cell's solid angle (steradians) times
// the squared difference between its gap fraction and the model gap at the annulus centre.
double fit_error(const Grid& grid, int zr, int hr, double x, double lai) {
    double err = 0;
    double z = zr * grid.w + grid.half_w;
    for (int i = zr; i <= grid.nz - hr - 1; ++i) {
        const double model_gap = std::exp(-f(std::tan(z * gapdata::kDegToRad), x) * lai);
        const double omega = gapdata::kTwoPi *
                             (std::cos((z - grid.half_w) * gapdata::kDegToRad) -
                              std::cos((z + grid.half_w) * gapdata::kDegToRad)) /
                             grid.na;
        for (int c = 0; c < grid.na; ++c) {
            const double d = grid.fract_open[i][c] - model_gap;
            err += omega * (d * d);
        }
        z += grid.w;
    }
    return err;
}

}  // namespace

std::vector<StepResult> averaging_steps(const Grid& grid, int zr, int hr) {
    // tangent of the zenith angle and mean log gap of each fit point
    std::vector<double> zen_ang(std::size_t(grid.nz > 0 ? grid.nz : 0));
    std::vector<double> log_opn(zen_ang.size());
    const int na = grid.na;
    std::vector<StepResult> result;
    for (int k = 1; k <= na; ++k) {
        if (na % k != 0) continue;
        const int m = na / k;
        int points = 0;
        const int null_gp =
            gapdata::average_used_annuli(grid, zr, hr, m, [&](double zenith, double mu) {
                zen_ang[points] = std::tan(zenith * gapdata::kDegToRad);
                log_opn[points] = mu;
                ++points;
            });
        // The point nearest the horizon is left out of the fit.
        double x = 0;
        double lai = 0;
        shape(f, zen_ang.data(), log_opn.data(), points - 1, &x, &lai);

        result.emplace_back();
        StepResult& r = result.back();
        r.stp = m;
        r.azm = m * grid.s;
        r.h_prj = lai / (x + 1);
        r.v_prj = lai - r.h_prj;
        r.lai = lai;
        r.err = fit_error(grid, zr, hr, x, lai);
        r.eladp = x;
        r.alpha = alpha(x);
        r.ke = f(0, x);
        r.kde = r.ke * 0.8944271909999159;  // sqrt(0.8)
        r.gnd_cov = 1 - std::exp(-r.ke * lai);
        r.fr_soil = 1 - r.gnd_cov;
        r.null_gp = null_gp;
    }
    return result;
}

}  // namespace ellipsoid
}  // namespace lai
