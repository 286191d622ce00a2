#include "lai/lang_xiang.h"

#include <cmath>

namespace lai {
namespace lang_xiang {

double fn_slope(double q) {
    return ((((1008.149 * q + 522.0626) * q - 158.6914) * q - 64.62133) * q + 46.84833) * q +
           56.81964;
}

int annulus_points(const Grid& grid, int zr, int hr, int m, Points* points) {
    points->x.clear();
    points->y.clear();
    const int null_windows =
        gapdata::average_used_annuli(grid, zr, hr, m, [&](double zenith, double mu) {
            const double c = std::cos(zenith * gapdata::kDegToRad);
            points->x.push_back(zenith * gapdata::kDegToRad);
            points->y.push_back(-mu * c);
        });
    points->n = int(points->x.size());
    points->g.assign(points->x.size(), 0.0);
    return null_windows;
}

Step fit_step(const Grid& grid, int m, int null_windows, Points* points,
              regress::t_Regression* reg_lin) {
    const int n = points->n;
    regress::regress(points->x.data(), points->y.data(), n, reg_lin);
    const double a = reg_lin->b0;
    const double b = reg_lin->b1;
    const double f = reg_lin->f_ratio;
    const double se = reg_lin->se;
    const double mean_x = reg_lin->mean_x;
    const double sum_x2 = reg_lin->sum_x2;

    Step row;
    row.lai = 2 * (a + b);
    row.kappa = a + b * 55 * gapdata::kDegToRad;
    const double dx = kKappaZenithRad - mean_x;
    row.se_kappa = std::sqrt(se * (1.0 / n + dx * dx / sum_x2));
    row.se_lai = row.se_kappa / (row.kappa / row.lai);

    for (int k = 0; k < n; ++k) points->g[k] = points->y[k] / row.lai;
    regress::regress(points->x.data(), points->g.data(), n, reg_lin);
    const double slope = reg_lin->b1;
    const double alpha = fn_slope(slope);
    row.ci_alpha = std::fabs(fn_slope(slope + reg_lin->se_b1) - alpha);
    row.alpha_deg = alpha > 0 && alpha < 90 ? alpha : 0;

    row.nsr = 100 / std::sqrt(f);
    row.m = m;
    row.azm_deg = m * grid.s;
    row.null_windows = null_windows;
    return row;
}

StepTable compute_table(const Grid& grid, int zr, int hr) {
    StepTable table;
    Points points;
    regress::t_Regression reg_lin{};
    for (int d = 1; d <= grid.na; ++d) {
        if (grid.na % d != 0) continue;
        const int m = grid.na / d;
        const int null_windows = annulus_points(grid, zr, hr, m, &points);
        table.result.push_back(fit_step(grid, m, null_windows, &points, &reg_lin));
    }
    table.openness =
        gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits, gapdata::Terrain<double>{});
    return table;
}

}  // namespace lang_xiang
}  // namespace lai
