#include "lai/norman_campbell.h"

#include <cfloat>
#include <cmath>

namespace lai {
namespace norman_campbell {

namespace {

using gapdata::kHalfPi;
using gapdata::kPi;

// A pivot whose size is within this many rounding units of its row's original diagonal is
// indistinguishable from zero: the system is singular for all practical purposes.
constexpr float kVanishing = 64 * FLT_EPSILON;

}  // namespace

float kern(float cos_alpha, float alpha, float theta) {
    if (alpha < (kHalfPi - theta) + 0.01) return cos_alpha;
    const double tan_a = std::tan(double(alpha));
    const double tan_t = std::tan(double(theta));
    // x = tan(psi), psi the leaf azimuth (from the view plane) at which the leaf is edge-on
    const float x = float(std::sqrt((tan_a * tan_t) * (tan_t * tan_a) - 1));
    const float atan_x = float(std::atan(double(x)));
    return float(cos_alpha * (1 + 2 * (x - atan_x) / kPi));
}

ContactNumbers contact_numbers(const Grid& grid, const gapdata::Terrain<float>& terrain,
                               int zr, int hr) {
    ContactNumbers cn;
    if (zr < 0 || hr < 0) return cn;  // would reach outside the grid
    float e = (90 - grid.half_w) - float(zr) * grid.w;  // elevation of the annulus centre, deg
    for (int i = zr; i < grid.nz - hr && cn.b < kMaxStored; ++i) {
        // cos e and sin e from the double angle, as the openness summary takes cos z and sin z:
        // a cell lying exactly in the plane of the ground is then judged alike by both
        const double e_rad = double(e) * gapdata::kDegToRad;
        const float cos_e = float(std::cos(e_rad));
        const float sin_e = float(std::sin(e_rad));
        int visible = grid.na;
        float sum = 0;
        float phi = grid.half_s;
        for (int c = 0; c < grid.na; ++c) {
            // cos z = sin e and sin z = cos e
            if (gapdata::cos_incidence(terrain, sin_e, cos_e, phi) < 0)
                --visible;
            else
                sum += grid.fract_open[i][c];
            phi += grid.s;
        }
        e -= grid.w;
        if (visible == 0) continue;  // the whole annulus lies below the ground
        const float mean = sum / float(visible);
        if (mean == 0) continue;  // no gap: the contact number is infinite
        cn.log_open[cn.b] = float(-std::log(double(mean)));
        cn.alt_angl[cn.b] = float(e_rad);
        ++cn.b;
    }
    return cn;
}

float clumping_index(const ContactNumbers& cn) {
    float sum_log = 0;
    float sum_inverse = 0;
    for (int k = 0; k < cn.b; ++k) {
        sum_log += cn.log_open[k];
        sum_inverse += float(std::exp(double(cn.log_open[k])));
    }
    sum_log /= float(cn.b);
    sum_inverse /= float(cn.b);
    return sum_log / float(std::log(double(sum_inverse)));
}

void build_normal_equations(const ContactNumbers& cn, int classes, NormalEquations* ne) {
    *ne = NormalEquations{};
    ne->b = cn.b;
    ne->classes = classes;
    for (int c = 0; c < classes; ++c) {
        const float alpha = float((c + 0.5) * kHalfPi / classes);
        const float cos_alpha = float(std::cos(double(alpha)));
        for (int k = 0; k < cn.b; ++k) {
            const float theta = float(kHalfPi - cn.alt_angl[k]);
            ne->mat_xtnct[k][c] = kern(cos_alpha, alpha, theta);
        }
    }
    for (int c = 0; c < classes; ++c) {
        for (int d = c; d < classes; ++d) {
            for (int k = 0; k < cn.b; ++k)
                ne->prod_xtnct[c][d] += ne->mat_xtnct[k][c] * ne->mat_xtnct[k][d];
            ne->prod_xtnct[d][c] = ne->prod_xtnct[c][d];
        }
    }
    for (int c = 0; c < classes; ++c)
        for (int k = 0; k < cn.b; ++k) ne->prod_trans[c] += ne->mat_xtnct[k][c] * cn.log_open[k];
}

int solve_constrained(const NormalEquations& ne, float lambda, Solution* out) {
    const int n = ne.classes;
    float constraint[kMaxClasses][kMaxClasses] = {};
    float cp_prod_trans[kMaxClasses] = {};
    for (int c = 0; c < n; ++c) {
        for (int d = 0; d < n; ++d) constraint[c][d] = ne.prod_xtnct[c][d];
        cp_prod_trans[c] = ne.prod_trans[c];
    }
    // lambda * D'D, D the first differences of neighbouring classes
    for (int c = 1; c < n - 1; ++c) {
        constraint[c][c] += 2 * lambda;
        constraint[c][c - 1] -= lambda;
        constraint[c][c + 1] -= lambda;
    }
    constraint[0][0] += lambda;
    constraint[0][1] -= lambda;
    constraint[n - 1][n - 2] -= lambda;
    constraint[n - 1][n - 1] += lambda;

    float diagonal[kMaxClasses];
    for (int c = 0; c < n; ++c) diagonal[c] = std::fabs(constraint[c][c]);
    const auto vanishes = [&](int t) {
        return !(std::fabs(constraint[t][t]) > kVanishing * diagonal[t]);
    };

    for (int t = 0; t < n - 1; ++t) {
        if (vanishes(t)) return t;
        const float p = constraint[t][t];
        for (int o = t + 1; o < n; ++o) {
            const float f = constraint[o][t] / p;
            for (int j = t + 1; j < n; ++j) constraint[o][j] -= f * constraint[t][j];
            cp_prod_trans[o] -= f * cp_prod_trans[t];
        }
    }
    if (vanishes(n - 1)) return n - 1;

    float x[kMaxClasses];
    x[n - 1] = cp_prod_trans[n - 1] / constraint[n - 1][n - 1];
    for (int o = n - 1; o >= 0; --o) {
        float sum = 0;
        for (int j = o + 1; j < n; ++j) sum += constraint[o][j] * x[j];
        x[o] = (cp_prod_trans[o] - sum) / constraint[o][o];
    }
    out->classes = n;
    out->lambda = lambda;
    out->lai = 0;
    for (int c = 0; c < n; ++c) {
        out->solution[c] = x[c];
        out->lai += x[c];
    }
    return -1;
}

ClassRow class_row(const Solution& sol, int c) {
    const int n = sol.classes;
    ClassRow row;
    row.mid_deg = float((c + 0.5) * 90 / n);
    row.area = sol.solution[c];
    row.fraction = sol.solution[c] / sol.lai;
    row.ladf = float(sol.solution[c] / (sol.lai * kHalfPi / n));
    return row;
}

}  // namespace norman_campbell
}  // namespace lai
