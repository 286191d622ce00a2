#include "lang_xiang.h"

#include <cmath>

namespace lang_xiang {

double fn_slope(double q) {
    return ((((1008.149 * q + 522.0626) * q - 158.6914) * q - 64.62133) * q + 46.84833) * q +
           56.81964;
}

int annulus_points(const Grid& grid, int zr, int hr, int m, Points* points) {
    int n = 0;
    const int null_windows =
        gapdata::average_used_annuli(grid, zr, hr, m, [&](double zenith, double mu) {
            const double c = std::cos(zenith * gapdata::kDegToRad);
            points->x[n] = zenith * gapdata::kDegToRad;
            points->y[n] = -mu * c;
            ++n;
        });
    points->n = n;
    return null_windows;
}

Step fit_step(const Grid& grid, int m, int null_windows, Points* points, t_Regression* reg_lin) {
    const int n = points->n;
    regress(points->x, points->y, n, reg_lin);
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
    regress(points->x, points->g, n, reg_lin);
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

void compute_table(const Grid& grid, int zr, int hr, StepTable* table) {
    static Points points;
    static t_Regression reg_lin;
    table->n = 0;
    for (int d = 1; d <= grid.na; ++d) {
        if (grid.na % d != 0) continue;
        const int m = grid.na / d;
        const int null_windows = annulus_points(grid, zr, hr, m, &points);
        table->result[table->n++] = fit_step(grid, m, null_windows, &points, &reg_lin);
    }
    table->openness =
        gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits, gapdata::Terrain<double>{});
}

namespace {

void write_dashes(std::FILE* out, int count) {
    for (int k = 0; k < count; ++k) std::fputc('-', out);
}

void write_row(std::FILE* out, const Step& row, double first_lai) {
    if (row.lai <= 0 || row.kappa <= 0) {
        std::fprintf(
            out, "Miller-Lang model failed - Gap frequency distribution too far from Poisson\n");
        return;
    }
    const double lin_log = first_lai / row.lai;
    if (!(row.alpha_deg > 0 && row.alpha_deg < 90)) {
        std::fprintf(out,
                     "%-5.0lf%-5.0lf%-8.3lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf   -       -       "
                     "%-9.3lf%-8.0lf\n",
                     row.m, row.azm_deg, row.nsr, row.lai, row.se_lai, row.kappa, row.se_kappa,
                     lin_log, row.null_windows);
        return;
    }
    std::fprintf(out,
                 "%-5.0lf%-5.0lf%-8.3lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-8.3lf%-8.3lf%-9.3lf%-8.0lf\n",
                 row.m, row.azm_deg, row.nsr, row.lai, row.se_lai, row.kappa, row.se_kappa,
                 row.alpha_deg, row.ci_alpha, lin_log, row.null_windows);
}

}  // namespace

void write_report(std::FILE* out, const char* out_name, const char* photosite, const Grid& grid,
                  int zr, int hr, const StepTable& table) {
    std::fprintf(out, "< Program QUINDA > --- %s\n", out_name);
    std::fprintf(out, "LEAF AREA INDEX after LANG & XIANG (1986)\n");
    std::fprintf(out, "%s\n", gapdata::kBanner);
    std::fprintf(out, "Photosite: %s\n\n", photosite);
    gapdata::write_selection_block(out, gapdata::BlockStyle::kSuits, grid.nz, grid.na, zr, hr);

    std::fprintf(out, "\nLOGARITHMIC AZIMUTHAL GAP AVERAGING");
    std::fprintf(out, "\n");
    write_dashes(out, 46);
    write_dashes(out, 34);
    std::fprintf(out, "\n");
    std::fprintf(out, "STP  AZM    NSR    LAI    SE_LAI  KAPPA   SE_KAP");
    std::fprintf(out, "  ALPHA   CI_ALP  Lin/Log  Nullgap\n");
    write_dashes(out, 46);
    write_dashes(out, 34);
    std::fprintf(out, "\n");

    for (int k = 0; k < table.n; ++k) write_row(out, table.result[k], table.result[0].lai);

    write_dashes(out, 47);
    write_dashes(out, 35);
    std::fprintf(out, "\n");
    gapdata::write_openness(out, table.openness);
    write_dashes(out, 34);
    std::fprintf(out, "\n\n\n");
}

}  // namespace lang_xiang
