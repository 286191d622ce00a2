#include "regress/regress.h"

#include <cmath>

namespace regress {

void regress(const double* x, const double* y, int n, t_Regression* result) {
    double sum_x = 0, sum_y = 0, sum_x2 = 0, sum_y2 = 0, sum_xy = 0;
    for (int i = 0; i < n; ++i) {
        sum_x += x[i];
        sum_y += y[i];
        sum_x2 += x[i] * x[i];
        sum_y2 += y[i] * y[i];
        sum_xy += x[i] * y[i];
    }
    const double dn = n;
    const double mean_x = sum_x / dn;
    const double mean_y = sum_y / dn;
    const double sxx = sum_x2 - sum_x * sum_x / dn;
    const double syy = sum_y2 - sum_y * sum_y / dn;
    const double sxy = sum_xy - sum_x * sum_y / dn;
    const double var_x = sxx / double(n - 1);
    const double var_y = syy / double(n - 1);

    const double b1 = sxy / sxx;
    const double b0 = mean_y - b1 * mean_x;
    double ss_res = 0;
    for (int i = 0; i < n; ++i) {
        const double e = (y[i] - b0) - b1 * x[i];
        ss_res += e * e;
    }
    const double ss_reg = syy - ss_res;
    const double d = double(n - 2);  // degrees of freedom
    const double f_ratio = (syy - ss_res) * d / ss_res;
    const double se = std::sqrt(ss_res / d);
    const double se_b1 = se / std::sqrt(sxx);
    const double se_b0 = se * std::sqrt(1.0 / dn + mean_x * mean_x / sxx);

    t_Regression& r = *result;
    r.mean_x = mean_x;
    r.mean_y = mean_y;
    r.sxx = sxx;
    r.syy = syy;
    r.sd_x = std::sqrt(var_x);
    r.sd_y = std::sqrt(var_y);
    r.spare_a = sxy;
    r.ss_reg = ss_reg;
    r.ss_total = ss_reg + ss_res;
    r.ss_res = ss_res;
    r.sum_x2 = sum_x2;
    r.se = se;
    r.f_ratio = f_ratio;
    r.b0 = b0;
    r.se_b0 = se_b0;
    r.b1 = b1;
    r.se_b1 = se_b1;
    r.spare_b = b1 / se_b1;
    r.corr_b0_b1 = (-mean_x * std::sqrt(dn)) / std::sqrt(sum_x2);
    r.r = sxy / std::sqrt(sxx * syy);
}

}  // namespace regress
