#include "suits.h"

#include <cmath>

namespace suits {

int annulus_points(const Grid& grid, int zr, int hr, int m, Points* points) {
    int n = 0;
    const int null_windows =
        gapdata::average_used_annuli(grid, zr, hr, m, [&](double zenith, double mu) {
            const double t = std::tan(zenith * gapdata::kDegToRad);
            points->x[n] = t * kTwoOverPi;
            points->y[n] = -mu;
            points->zenangl[n] = zenith;
            points->average[n] = std::exp(mu);
            ++n;
        });
    points->n = n;
    return null_windows;
}

double leaf_angle(const t_Regression& fit) { return 90 * fit.b1 / (fit.b0 + fit.b1); }

double predicted_gap(const t_Regression& fit, double zenith_deg) {
    return std::exp(-(fit.b0 + fit.b1 * kTwoOverPi * std::tan(zenith_deg * gapdata::kDegToRad)));
}

Agreement agreement(const Points& points, const t_Regression& fit) {
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

int choose_width(const OptRow* opt_test, int n_opt, int na) {
    double best_nsr = 100;
    int best_m = na;
    for (int k = 0; k < n_opt; ++k) {
        if (opt_test[k].nsr < best_nsr) {
            best_nsr = opt_test[k].nsr;
            best_m = int(opt_test[k].m);
        }
    }
    return best_m;
}

namespace {

bool strictly_inside(double alpha) { return alpha > 0 && alpha < 90; }

// Tries the widths na / d for d = 1, 2, ... below na (d = 1 always), wide windows first, fills
// their rows of opt_test and returns the chosen width.
int optimise_window(const Grid& grid, const Params& par, SuitsFit* fit) {
    fit->n_opt = 0;
    for (int d = 1; d == 1 || d < grid.na; ++d) {
        if (grid.na % d != 0) continue;
        const int m = grid.na / d;
        OptRow& row = fit->opt_test[fit->n_opt++];
        row.null_windows = annulus_points(grid, par.zenith_rings_discarded,
                                          par.horizon_rings_discarded, m, &fit->points);
        regress(fit->points.x, fit->points.y, fit->points.n, &fit->reg_lin);
        row.nsr = 100 / std::sqrt(fit->reg_lin.f_ratio);
        row.m = m;
        row.fov_deg = m * grid.s;
        row.lai = fit->reg_lin.b0 + fit->reg_lin.b1;
        const double alpha = leaf_angle(fit->reg_lin);
        row.alpha_deg = strictly_inside(alpha) ? alpha : 0;
    }
    return choose_width(fit->opt_test, fit->n_opt, grid.na);
}

void write_rule(std::FILE* out, int dashes) {
    for (int k = 0; k < dashes; ++k) std::fputc('-', out);
    std::fputc('\n', out);
}

void write_optimisation(std::FILE* out, const SuitsFit& fit) {
    std::fprintf(out, "\nOPTIMIZATION PROCEDURE\n");
    write_rule(out, 60);
    std::fprintf(out, "STEP    FOV deg    NSR perc    LAI     ALPHA deg   NullGap \n");
    write_rule(out, 60);
    for (int k = 0; k < fit.n_opt; ++k) {
        const OptRow& row = fit.opt_test[k];
        std::fprintf(out, "%-10.5g%-10.5g%-10.5g%-10.5g%-10.5g  %d\n", row.m, row.fov_deg, row.nsr,
                     row.lai, row.alpha_deg, row.null_windows);
    }
    write_rule(out, 60);
}

void write_final_fit(std::FILE* out, const Grid& grid, const SuitsFit& fit) {
    const t_Regression& reg = fit.reg_lin;
    if (fit.m == grid.na) {
        std::fprintf(out, "Linear azimuthal averaging (FOV= 360 deg)\n\n");
        std::fprintf(out, "REGRESSION STATISTICS\n");
    } else {
        std::fprintf(out, "Logarithmic azimuthal averaging");
        std::fprintf(out, " (FOV= %3.0f deg)\n\n", fit.m * grid.s);
        std::fprintf(out, "OPTIMAL SPATIAL AVERAGING: REGRESSION STATISTICS\n");
    }
    std::fprintf(out, "#Zenith annuli with average gap > 0 n = %3d\n", fit.points.n);
    std::fprintf(out, "SE= %-10.6lf\t\t", reg.se);
    std::fprintf(out, "F= %-10.6lf\n", reg.f_ratio);
    std::fprintf(out, "b(0)= %-10.6lf\t", reg.b0);
    std::fprintf(out, "SE b(0)= %-10.6lf\n", reg.se_b0);
    std::fprintf(out, "b(1)= %-10.6lf\t", reg.b1);
    std::fprintf(out, "SE b(1)= %-10.6lf\n", reg.se_b1);
    std::fprintf(out, "R^2= %-10.6lf\n", reg.r * reg.r);
    std::fprintf(out, "\nNoise to signal ratio, perc.= %7.4lf\n", 100 / std::sqrt(reg.f_ratio));
    std::fprintf(out, "(if NSR > 60, the fit is inacceptable)\n");
    std::fprintf(out, "\nLEAF AREA INDEX\n");
    std::fprintf(out, "Horizontal LAI= %7.4lf +- %7.4lf\n", reg.b0, reg.se_b0);
    std::fprintf(out, "Vertical   LAI= %7.4lf +- %7.4lf\n", reg.b1, reg.se_b1);
    write_rule(out, 34);
    std::fprintf(out, "Total      LAI= %7.4lf +- %7.4lf\n", reg.b0 + reg.b1, reg.se_b0 + reg.se_b1);
    std::fprintf(out, "s.e. about regression parameters\n");
    const double alpha = leaf_angle(reg);
    if (strictly_inside(alpha)) {
        std::fprintf(out, "\nAVERAGE LEAF INCLINATION ANGLE\n");
        std::fprintf(out, "ALPHA= %7.2lf ", alpha);
        std::fprintf(out, "degrees above horizon\n");
    } else {
        std::fprintf(out, "ALPHA undetermined\n");
    }
}

void write_gaps(std::FILE* out, const SuitsFit& fit) {
    std::fprintf(out, "\nOBSERVED AND PREDICTED GAP FREQUENCIES\n");
    write_rule(out, 43);
    std::fprintf(out, "Zenith angle   Measured gap   Predicted gap\n");
    write_rule(out, 43);
    const t_Regression& reg = fit.reg_lin;
    for (int k = 0; k < fit.points.n; ++k) {
        const double predicted = predicted_gap(reg, fit.points.zenangl[k]);
        std::fprintf(out, "%-15.5g%-15.5g%-15.5g\n", fit.points.zenangl[k], fit.points.average[k],
                     predicted);
    }
    write_rule(out, 48);
    std::fprintf(out, "r= %7.4lf     RMS= %7.4lf   RMS perc= %7.4lf\n\n", fit.agreement.r,
                 fit.agreement.rms, fit.agreement.rms_perc);
}

}  // namespace

void fit_suits(const Grid& grid, const Params& par, SuitsFit* fit) {
    fit->m = par.optimize != 0 ? optimise_window(grid, par, fit) : grid.na;
    annulus_points(grid, par.zenith_rings_discarded, par.horizon_rings_discarded, fit->m,
                   &fit->points);
    regress(fit->points.x, fit->points.y, fit->points.n, &fit->reg_lin);
    fit->agreement = agreement(fit->points, fit->reg_lin);
    fit->openness =
        gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits, gapdata::Terrain<double>{});
}

void write_report(std::FILE* out, const char* photosite, const Grid& grid, const Params& par,
                  const SuitsFit& fit) {
    std::fprintf(out, "< PROGRAM BRAVIK >\n");
    std::fprintf(out, "LEAF AREA INDEX after SUITS\n");
    std::fprintf(out, "%s\n", gapdata::kBanner);
    std::fprintf(out, "\nPhotosite: %s\n", photosite);
    gapdata::write_selection_block(out, gapdata::BlockStyle::kSuits, grid.nz, grid.na,
                                   par.zenith_rings_discarded, par.horizon_rings_discarded);
    if (par.optimize != 0) write_optimisation(out, fit);
    write_final_fit(out, grid, fit);
    write_gaps(out, fit);
    gapdata::write_openness(out, fit.openness);
    for (int k = 0; k < 50; ++k) std::fputc('*', out);
    std::fprintf(out, "\n\n");
}

}  // namespace suits
