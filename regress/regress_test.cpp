#include "regress/regress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

using regress::t_Regression;

constexpr int kFields = 20;
// Callers read the record by position.
static_assert(sizeof(t_Regression) == kFields * sizeof(double), "twenty doubles, no padding");
static_assert(offsetof(t_Regression, sum_x2) == 10 * sizeof(double), "field 10");
static_assert(offsetof(t_Regression, b0) == 13 * sizeof(double), "field 13");
static_assert(offsetof(t_Regression, r) == 19 * sizeof(double), "field 19");

// Fits into a record first filled with a value no fit produces, and checks every field was
// written.
t_Regression fit(const double* x, const double* y, int n) {
    double f[kFields];
    for (double& v : f) v = 12345.0;
    t_Regression r;
    std::memcpy(&r, f, sizeof r);
    regress::regress(x, y, n, &r);
    std::memcpy(f, &r, sizeof f);
    for (int k = 0; k < kFields; ++k) EXPECT_NE(f[k], 12345.0) << "field " << k;
    return r;
}

TEST(Regress, ExactLine) {
    // (1,1), (2,2), (3,3): every sum is a small integer, so the fit is exact.
    const double x[] = {1, 2, 3};
    const t_Regression r = fit(x, x, 3);
    EXPECT_EQ(r.b1, 1.0);
    EXPECT_EQ(r.b0, 0.0);
    EXPECT_EQ(r.ss_res, 0.0);
    EXPECT_EQ(r.se_b0, 0.0);
    EXPECT_EQ(r.se_b1, 0.0);
    EXPECT_EQ(100 / std::sqrt(r.f_ratio), 0.0);  // F is +inf: bravik's noise-to-signal ratio 0
    EXPECT_EQ(r.r, 1.0);
}

TEST(Regress, ScatteredPointsFieldByField) {
    // (1,2), (2,4), (3,5), worked by hand: sums 6, 11, 14, 45, 25; sxx = 2, syy = 14/3,
    // sxy = 3, ss_res = 1/6. Tolerance 1e-12: rounding of a few operations only.
    const double x[] = {1, 2, 3}, y[] = {2, 4, 5};
    const t_Regression r = fit(x, y, 3);
    const double tol = 1e-12, se = std::sqrt(1.0 / 6);
    EXPECT_NEAR(r.mean_x, 2.0, tol);
    EXPECT_NEAR(r.mean_y, 11.0 / 3, tol);
    EXPECT_NEAR(r.sxx, 2.0, tol);
    EXPECT_NEAR(r.syy, 14.0 / 3, tol);
    EXPECT_NEAR(r.sd_x, 1.0, tol);
    EXPECT_NEAR(r.sd_y, std::sqrt(7.0 / 3), tol);
    EXPECT_NEAR(r.ss_reg, 4.5, tol);
    EXPECT_NEAR(r.ss_total, 14.0 / 3, tol);
    EXPECT_NEAR(r.ss_res, 1.0 / 6, tol);
    EXPECT_NEAR(r.sum_x2, 14.0, tol);
    EXPECT_NEAR(r.se, se, tol);
    EXPECT_NEAR(r.f_ratio, 27.0, 1e-10);  // divides by the small ss_res
    EXPECT_NEAR(r.b0, 2.0 / 3, tol);
    EXPECT_NEAR(r.se_b0, se * std::sqrt(1.0 / 3 + 2.0), tol);  // 0.6236
    EXPECT_NEAR(r.b1, 1.5, tol);
    EXPECT_NEAR(r.se_b1, se / std::sqrt(2.0), tol);                         // 0.2887
    EXPECT_NEAR(r.corr_b0_b1, -2 * std::sqrt(3.0) / std::sqrt(14.0), tol);  // -0.9258
    EXPECT_NEAR(r.r, 3 / std::sqrt(28.0 / 3), tol);                         // 0.9820
}

TEST(Regress, TooFewPoints) {
    const t_Regression none = fit(nullptr, nullptr, 0);
    EXPECT_TRUE(std::isnan(none.mean_x) && std::isnan(none.b1) && std::isnan(none.f_ratio));
    EXPECT_EQ(none.ss_res, 0.0);
    EXPECT_EQ(none.sum_x2, 0.0);
    EXPECT_TRUE(none.se == 0 && std::signbit(none.se));  // the root of 0 / -2

    const double x1[] = {0.5}, y1[] = {2.0};
    const t_Regression one = fit(x1, y1, 1);
    EXPECT_EQ(one.mean_x, 0.5);
    EXPECT_EQ(one.sxx, 0.0);
    EXPECT_TRUE(std::isnan(one.sd_x) && std::isnan(one.b1) && std::isnan(one.b0));

    const double x2[] = {0, 1}, y2[] = {1, 3};
    const t_Regression two = fit(x2, y2, 2);
    EXPECT_EQ(two.b1, 2.0);  // the line through both points
    EXPECT_EQ(two.b0, 1.0);
    EXPECT_TRUE(std::isnan(two.se) && std::isnan(two.f_ratio));  // no degree of freedom: 0 / 0
}

TEST(Regress, SecondCallLeavesNoTraceOfTheFirst) {
    const double x1[] = {1, 2, 3}, y1[] = {2, 4, 5};
    const double x2[] = {0.1, 0.7, 1.3, 2.9}, y2[] = {-1, 0.5, 0.25, 3};
    t_Regression reused, fresh;
    std::memset(&fresh, 0, sizeof fresh);
    regress::regress(x2, y2, 4, &fresh);
    regress::regress(x1, y1, 3, &reused);
    regress::regress(x2, y2, 4, &reused);
    EXPECT_EQ(std::memcmp(&reused, &fresh, sizeof fresh), 0);
    regress::regress(x1, y1, 0, &reused);  // a degenerate call leaves NaNs behind
    regress::regress(x2, y2, 4, &reused);
    EXPECT_EQ(std::memcmp(&reused, &fresh, sizeof fresh), 0);
}

}  // namespace
