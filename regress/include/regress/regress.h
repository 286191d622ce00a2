// regress: ordinary least-squares fit of a straight line y = b0 + b1 x, with the statistics of
// the fit, shared by the LAI programs that fit a line to one point per zenith annulus.
#pragma once

namespace regress {

// The statistics of one fit, twenty doubles. Callers read the fields by position, so the order
// is fixed. Sums run over the n points; "corrected" sums are taken about the mean.
struct t_Regression {
    double mean_x;      // 0  sum x / n
    double mean_y;      // 1  sum y / n
    double sxx;         // 2  corrected sum of squares of x
    double syy;         // 3  corrected sum of squares of y
    double sd_x;        // 4  sqrt(sxx / (n - 1))
    double sd_y;        // 5  sqrt(syy / (n - 1))
    double spare_a;     // 6  corrected sum of cross products sxy
    double ss_reg;      // 7  regression sum of squares, syy - ss_res
    double ss_total;    // 8  ss_reg + ss_res
    double ss_res;      // 9  residual sum of squares
    double sum_x2;      // 10 raw sum of squares of x
    double se;          // 11 standard error of estimate, sqrt(ss_res / (n - 2))
    double f_ratio;     // 12 F statistic, ss_reg (n - 2) / ss_res
    double b0;          // 13 intercept
    double se_b0;       // 14 standard error of the intercept
    double b1;          // 15 slope
    double se_b1;       // 16 standard error of the slope
    double spare_b;     // 17 t statistic of the slope, b1 / se_b1
    double corr_b0_b1;  // 18 correlation of the intercept and slope estimates
    double r;           // 19 correlation coefficient of x and y
};

// Fits y = b0 + b1 x to the n points (x[i], y[i]) and overwrites every field of *result. Nothing
// is checked: degenerate input (n < 3, all x equal, all y equal) gives the infinities and NaNs
// that IEEE arithmetic makes of it; with n = 0 the means are NaN, ss_res and sum_x2 are 0 and se
// is -0.
void regress(const double* x, const double* y, int n, t_Regression* result);

}  // namespace regress
