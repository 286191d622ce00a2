#include "lai/suits.h"

#include <cmath>

namespace lai {
namespace suits {

int annulus_points(const Grid& grid, int zr, int hr, int m, Points* points) {
    points->x.clear();
    points->y.clear();
    points->zenangl.clear();
    points->average.clear();
    const int null_windows =
        gapdata::average_used_annuli(grid, zr, hr, m, [&](double zenith, double mu) {
            const double t = std::tan(zenith * gapdata::kDegToRad);
            points->x.push_back(t * kTwoOverPi);
            points->y.push_back(-mu);
            points->zenangl.push_back(zenith);
            points->average.push_back(std::exp(mu));
        });
    points->n = int(points->x.size());
    return null_windows;
}

double leaf_angle(const regress::t_Regression& fit) { return 90 * fit.b1 / (fit.b0 + fit.b1); }

double predicted_gap(const regress::t_Regression& fit, double zenith_deg) {
    return std::exp(-(fit.b0 + fit.b1 * kTwoOverPi * std::tan(zenith_deg * gapdata::kDegToRad)));
}

Agreement agreement(const Points& points, const regress::t_Regression& fit) {
    double sum_o = 0, sum_p = 0, sum_o2 = 0, sum_p2 = 0, sum_op = 0, sum_d2 = 0;
    for (int k = 0; k < points.n; ++k) {
        const double o = points.average[k];
        const double p = predicted_gap(fit, points.zenangl[k]);
        sum_o += o;
        sum_p += p;
        sum_o2 += o * o;
        sum_p2 += p * p;
        sum_op += o * p;
        sum_d2 += (o - p) * (o - p);
    }
    const double n = points.n;
    Agreement a;
    a.r = (sum_op - sum_o * sum_p / n) /
          std::sqrt((sum_o2 - sum_o * sum_o / n) * (sum_p2 - sum_p * sum_p / n));
    a.rms = std::sqrt(sum_d2 / n);
    a.rms_perc = 100 * sum_d2 / sum_p2 / n;
    return a;
}

int choose_width(const std::vector<OptRow>& opt_test, int na) {
    double best_nsr = 100;
    int best_m = na;
    for (const OptRow& row : opt_test) {
        if (row.nsr < best_nsr) {
            best_nsr = row.nsr;
            best_m = int(row.m);
        }
    }
    return best_m;
}

namespace {

bool strictly_inside(double alpha) { return alpha > 0 && alpha < 90; }

// Tries the widths na / d for d = 1, 2, ... below na (d = 1 always), wide windows first, fills
// their rows of opt_test and returns the chosen width.
int optimise_window(const Grid& grid, const Params& par, SuitsFit* fit) {
    fit->opt_test.clear();
    for (int d = 1; d == 1 || d < grid.na; ++d) {
        if (grid.na % d != 0) continue;
        const int m = grid.na / d;
        fit->opt_test.emplace_back();
        OptRow& row = fit->opt_test.back();
        row.null_windows = annulus_points(grid, par.zenith_rings_discarded,
                                          par.horizon_rings_discarded, m, &fit->points);
        regress::regress(fit->points.x.data(), fit->points.y.data(), fit->points.n,
                         &fit->reg_lin);
        row.nsr = 100 / std::sqrt(fit->reg_lin.f_ratio);
        row.m = m;
        row.fov_deg = m * grid.s;
        row.lai = fit->reg_lin.b0 + fit->reg_lin.b1;
        const double alpha = leaf_angle(fit->reg_lin);
        row.alpha_deg = strictly_inside(alpha) ? alpha : 0;
    }
    return choose_width(fit->opt_test, grid.na);
}

}  // namespace

SuitsFit fit_suits(const Grid& grid, const Params& par) {
    SuitsFit fit;
    fit.m = par.optimize != 0 ? optimise_window(grid, par, &fit) : grid.na;
    annulus_points(grid, par.zenith_rings_discarded, par.horizon_rings_discarded, fit.m,
                   &fit.points);
    regress::regress(fit.points.x.data(), fit.points.y.data(), fit.points.n, &fit.reg_lin);
    fit.agreement = agreement(fit.points, fit.reg_lin);
    fit.openness =
        gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits, gapdata::Terrain<double>{});
    return fit;
}

}  // namespace suits
}  // namespace lai
