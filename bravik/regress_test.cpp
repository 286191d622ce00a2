#include "regress/regress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

constexpr int kFields = 20;
static_assert(sizeof(t_Regression) == kFields * sizeof(double), "twenty doubles, no padding");

// A record filled with a value no fit produces, to see that every field is written.
t_Regression sentinel_record() {
    double f[kFields];
    for (double& v : f) v = 12345.0;
    t_Regression r;
    std::memcpy(&r, f, sizeof r);
    return r;
}

void expect_all_written(const t_Regression& r) {
    double f[kFields];
    std::memcpy(f, &r, sizeof f);
    for (int k = 0; k < kFields; ++k) EXPECT_NE(f[k], 12345.0) << "field " << k;
}

TEST(Regress, FieldsKeepTheirPositions) {
    // Callers read the record by position.
    EXPECT_EQ(offsetof(t_Regression, mean_x), 0 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, sum_x2), 10 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, se), 11 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, f_ratio), 12 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, b0), 13 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, b1), 15 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, se_b1), 16 * sizeof(double));
    EXPECT_EQ(offsetof(t_Regression, r), 19 * sizeof(double));
}

TEST(Regress, ExactLine) {
    // (1,1), (2,2), (3,3): every sum is a small integer, so the fit is exact.
    const double x[] = {1, 2, 3}, y[] = {1, 2, 3};
    t_Regression r = sentinel_record();
    regress(x, y, 3, &r);
    EXPECT_EQ(r.b1, 1.0);
    EXPECT_EQ(r.b0, 0.0);
    EXPECT_EQ(r.ss_res, 0.0);
    EXPECT_EQ(r.se, 0.0);
    EXPECT_EQ(r.se_b0, 0.0);
    EXPECT_EQ(r.se_b1, 0.0);
    EXPECT_TRUE(std::isinf(r.f_ratio) && r.f_ratio > 0);
    EXPECT_EQ(100 / std::sqrt(r.f_ratio), 0.0);  // the noise-to-signal ratio bravik prints
    EXPECT_EQ(r.r, 1.0);
    expect_all_written(r);
}

TEST(Regress, ScatteredPointsFieldByField) {
    // (1,2), (2,4), (3,5), worked by hand: sums 6, 11, 14, 45, 25; sxx = 2, syy = 14/3,
    // sxy = 3. Tolerance 1e-12: only rounding of a few operations separates the fields from the
    // fractions below.
    const double x[] = {1, 2, 3}, y[] = {2, 4, 5};
    t_Regression r = sentinel_record();
    regress(x, y, 3, &r);
    const double tol = 1e-12;
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
    EXPECT_NEAR(r.se, std::sqrt(1.0 / 6), tol);
    EXPECT_NEAR(r.f_ratio, 27.0, 1e-10);  // divides by the small ss_res
    EXPECT_NEAR(r.b0, 2.0 / 3, tol);
    EXPECT_NEAR(r.se_b0, std::sqrt(1.0 / 6) * std::sqrt(1.0 / 3 + 2.0), tol);
    EXPECT_NEAR(r.b1, 1.5, tol);
    EXPECT_NEAR(r.se_b1, std::sqrt(1.0 / 12), tol);
    EXPECT_NEAR(r.corr_b0_b1, -2 * std::sqrt(3.0) / std::sqrt(14.0), tol);
    EXPECT_NEAR(r.r, 3 / std::sqrt(28.0 / 3), tol);
    // The published rounding of the same example, four places.
    EXPECT_NEAR(r.b0, 0.6667, 5e-5);
    EXPECT_NEAR(r.se, 0.4082, 5e-5);
    EXPECT_NEAR(r.se_b1, 0.2887, 5e-5);
    EXPECT_NEAR(r.se_b0, 0.6236, 5e-5);
    EXPECT_NEAR(r.corr_b0_b1, -0.9258, 5e-5);
    EXPECT_NEAR(r.r, 0.9820, 5e-5);
    expect_all_written(r);
}

TEST(Regress, NoPoints) {
    t_Regression r = sentinel_record();
    regress(nullptr, nullptr, 0, &r);
    EXPECT_TRUE(std::isnan(r.mean_x));
    EXPECT_TRUE(std::isnan(r.mean_y));
    EXPECT_TRUE(std::isnan(r.b0));
    EXPECT_TRUE(std::isnan(r.b1));
    EXPECT_TRUE(std::isnan(r.f_ratio));
    EXPECT_TRUE(std::isnan(r.r));
    EXPECT_EQ(r.ss_res, 0.0);
    EXPECT_EQ(r.sum_x2, 0.0);
    EXPECT_EQ(r.se, 0.0);
    EXPECT_TRUE(std::signbit(r.se));  // the root of 0 / -2
}

TEST(Regress, OnePoint) {
    const double x[] = {0.5}, y[] = {2.0};
    t_Regression r = sentinel_record();
    regress(x, y, 1, &r);
    EXPECT_EQ(r.mean_x, 0.5);
    EXPECT_EQ(r.sxx, 0.0);
    EXPECT_EQ(r.syy, 0.0);
    EXPECT_TRUE(std::isnan(r.sd_x));
    EXPECT_TRUE(std::isnan(r.sd_y));
    EXPECT_TRUE(std::isnan(r.b1));
    EXPECT_TRUE(std::isnan(r.b0));
    EXPECT_TRUE(std::isnan(r.se_b1));
    expect_all_written(r);
}

TEST(Regress, TwoPointsLeaveNoDegreeOfFreedom) {
    const double x[] = {0, 1}, y[] = {1, 3};
    t_Regression r = sentinel_record();
    regress(x, y, 2, &r);
    EXPECT_EQ(r.b1, 2.0);  // the line through both points
    EXPECT_EQ(r.b0, 1.0);
    EXPECT_EQ(r.ss_res, 0.0);
    EXPECT_TRUE(std::isnan(r.se));  // 0 / 0
    EXPECT_TRUE(std::isnan(r.f_ratio));
    expect_all_written(r);
}

TEST(Regress, EqualAbscissaeAndEqualOrdinates) {
    const double same[] = {2, 2, 2}, rising[] = {1, 2, 4};
    t_Regression r;
    regress(same, rising, 3, &r);  // all x equal: sxx = 0
    EXPECT_FALSE(std::isfinite(r.b1));
    EXPECT_FALSE(std::isfinite(r.b0));
    regress(rising, same, 3, &r);  // all y equal: flat line, no correlation
    EXPECT_EQ(r.b1, 0.0);
    EXPECT_EQ(r.syy, 0.0);
    EXPECT_TRUE(std::isnan(r.r));
}

TEST(Regress, SecondCallLeavesNoTraceOfTheFirst) {
    const double x1[] = {1, 2, 3}, y1[] = {2, 4, 5};
    const double x2[] = {0.1, 0.7, 1.3, 2.9}, y2[] = {-1, 0.5, 0.25, 3};
    t_Regression reused, fresh;
    std::memset(&fresh, 0, sizeof fresh);
    regress(x1, y1, 3, &reused);
    regress(x2, y2, 4, &reused);
    regress(x2, y2, 4, &fresh);
    EXPECT_EQ(std::memcmp(&reused, &fresh, sizeof fresh), 0);
    // Also after a degenerate call that leaves NaNs behind.
    regress(x1, y1, 0, &reused);
    regress(x2, y2, 4, &reused);
    EXPECT_EQ(std::memcmp(&reused, &fresh, sizeof fresh), 0);
}

}  // namespace
