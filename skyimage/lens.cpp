#include "skyimage/lens.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace skyimage {

namespace {

using angles::kDegToRad;
using angles::kRadToDeg;

// Reads one finite number from TEXT up to END_CHAR ('\0' or ','); advances TEXT past it.
bool read_number(const char** text, char end_char, double* value) {
    char* end = nullptr;
    *value = std::strtod(*text, &end);
    if (end == *text || *end != end_char || !std::isfinite(*value)) return false;
    *text = end_char == '\0' ? end : end + 1;
    return true;
}

// Reads "a1,a2,a3" (three finite numbers and nothing else) into A.
bool read_three(const char* p, double a[3]) {
    return read_number(&p, ',', &a[0]) && read_number(&p, ',', &a[1]) &&
           read_number(&p, '\0', &a[2]);
}

// The cubic c1 x + c2 x^2 + c3 x^3 and its slope.
double cubic(const double c[3], double x) { return ((c[2] * x + c[1]) * x + c[0]) * x; }
double cubic_slope(const double c[3], double x) { return (3 * c[2] * x + 2 * c[1]) * x + c[0]; }

// The end of the first stretch of (0, LIMIT] on which the cubic rises: the first zero of its
// slope after which the slope is negative, or LIMIT. A slope that only touches zero does not end
// the stretch. Returns -1 when the cubic does not rise at first (falls, or is flat).
double rising_end(const double c[3], double limit) {
    // 0, the zeros of the slope 3 c3 x^2 + 2 c2 x + c1 inside (0, limit) ascending, and limit.
    double points[4];
    int n = 0;
    points[n++] = 0;
    double zeros[2];
    int nz = 0;
    const double qa = 3 * c[2], qb = 2 * c[1], qc = c[0];
    if (qa != 0) {
        const double disc = qb * qb - 4 * qa * qc;
        if (disc >= 0) {
            // The numerically stable pair: q = -(b + sign(b) sqrt(disc)) / 2, roots q/a, c/q.
            const double q = -0.5 * (qb + std::copysign(std::sqrt(disc), qb));
            const double r1 = q / qa, r2 = q != 0 ? qc / q : r1;
            zeros[nz++] = std::min(r1, r2);
            zeros[nz++] = std::max(r1, r2);
        }
    } else if (qb != 0) {
        zeros[nz++] = -qc / qb;
    }
    for (int k = 0; k < nz; ++k)
        if (zeros[k] > 0 && zeros[k] < limit) points[n++] = zeros[k];
    points[n++] = limit;
    bool rose = false;
    for (int k = 0; k + 1 < n; ++k) {
        if (!(points[k + 1] > points[k])) continue;  // a double zero
        if (!(cubic_slope(c, points[k] + (points[k + 1] - points[k]) / 2) > 0))
            return rose ? points[k] : -1;
        rose = true;
    }
    return rose ? limit : -1;
}

// The x in [0, HI] at which the cubic, rising on [0, HI] from 0, equals Y (0 <= Y <= its value
// at HI): Newton's steps kept inside a shrinking bracket, halving it when a step leaves it.
double solve_rising(const double c[3], double y, double hi) {
    double lo = 0;
    double x = c[0] > 0 ? std::min(hi, y / c[0]) : hi / 2;
    for (int k = 0; k < 200; ++k) {
        const double f = cubic(c, x) - y;
        if (f == 0) return x;
        if (f < 0) {
            lo = x;
        } else {
            hi = x;
        }
        const double d = cubic_slope(c, x);
        double next = d > 0 ? x - f / d : lo + (hi - lo) / 2;
        if (!(next > lo && next < hi)) next = lo + (hi - lo) / 2;
        if (std::fabs(next - x) <= 1e-15 * std::fabs(next)) return next;
        x = next;
    }
    return x;
}

// Degrees per unit of t for the two radius forms.
double degrees_per_t(const Lens& lens) {
    return lens.kind == LensKind::kRadiusPoly ? 90.0 : kRadToDeg;
}

// The t at 180 degrees: the furthest any lens may see.
double t_of_180(const Lens& lens) { return lens.kind == LensKind::kRadiusPoly ? 2.0 : angles::kPi; }

// For poly-r and poly-r-rad: the end of the rising stretch within 180 degrees (END) and the t of
// the rim, where rho = 1 (RIM_T). Returns the reason the lens is unusable, or null.
const char* radius_poly_rim(const Lens& lens, double* end, double* rim_t) {
    *end = rising_end(lens.a, t_of_180(lens));
    if (*end < 0) return "the polynomial radius does not rise from the centre of the disc";
    if (!(cubic(lens.a, *end) >= 1))
        return "the polynomial radius does not reach the rim (r/R = 1) while it rises, within "
               "180 degrees of the zenith";
    *rim_t = solve_rising(lens.a, 1.0, *end);
    return nullptr;
}

const LensPreset kPresets[] = {
    {"fc-e8",
     LensKind::kRadiusPoly,
     {1.06, 0.00498, -0.0639},
     "Nikon FC-E8 converter on a Coolpix camera",
     "Pekin and Macfarlane 2009, Remote Sensing 1:1298, doi:10.3390/rs1041298"},
    {"fc-e9",
     LensKind::kRadiusPolyRad,
     {0.6427, 0.0346, -0.024491},
     "Nikon FC-E9 converter on a Coolpix 5700",
     "the lens table of the caiman R package by G. M. Diaz (lensPolyCoef, Coolpix 5700 with "
     "FC-E9); also rcaiman's Nikon_FCE9"},
    {"nikkor-10.5",
     LensKind::kRadiusPoly,
     {1.13, 0.00798, -0.138},
     "AF DX Fisheye-Nikkor 10.5 mm f/2.8G ED (full-frame fish-eye)",
     "Pekin and Macfarlane 2009, Remote Sensing 1:1298, doi:10.3390/rs1041298"},
};

}  // namespace

const LensPreset* lens_presets(int* count) {
    *count = int(sizeof kPresets / sizeof kPresets[0]);
    return kPresets;
}

bool has_own_rim(const Lens& lens) {
    return lens.kind == LensKind::kPolynomial || lens.kind == LensKind::kRadiusPoly ||
           lens.kind == LensKind::kRadiusPolyRad;
}

bool parse_lens(const char* text, Lens* lens) {
    static const struct {
        const char* name;
        LensKind kind;
    } kNames[] = {{"equidistant", LensKind::kEquidistant},
                  {"orthographic", LensKind::kOrthographic},
                  {"equisolid", LensKind::kEquisolid},
                  {"stereographic", LensKind::kStereographic}};
    for (const auto& n : kNames) {
        if (std::strcmp(text, n.name) == 0) {
            lens->kind = n.kind;
            lens->preset = nullptr;
            return true;
        }
    }
    for (const LensPreset& p : kPresets) {
        if (strcasecmp(text, p.name) == 0) {
            lens->kind = p.kind;
            std::copy(p.a, p.a + 3, lens->a);
            lens->preset = p.name;
            return true;
        }
    }
    static const struct {
        const char* prefix;
        LensKind kind;
    } kForms[] = {{"poly:", LensKind::kPolynomial},
                  {"poly-r:", LensKind::kRadiusPoly},
                  {"poly-r-rad:", LensKind::kRadiusPolyRad}};
    for (const auto& f : kForms) {
        const std::size_t n = std::strlen(f.prefix);
        if (std::strncmp(text, f.prefix, n) != 0) continue;
        double a[3];
        if (!read_three(text + n, a)) return false;
        lens->kind = f.kind;
        std::copy(a, a + 3, lens->a);
        lens->preset = nullptr;
        return true;
    }
    return false;
}

double zenith_deg(const Lens& lens, double rho) {
    const double f_rad = lens.fov_deg * kDegToRad;
    switch (lens.kind) {
        case LensKind::kEquidistant:
            return lens.fov_deg * rho;
        case LensKind::kOrthographic:
            return std::asin(rho * std::sin(f_rad)) * kRadToDeg;
        case LensKind::kEquisolid:
            return 2 * std::asin(rho * std::sin(f_rad / 2)) * kRadToDeg;
        case LensKind::kStereographic:
            return 2 * std::atan(rho * std::tan(f_rad / 2)) * kRadToDeg;
        case LensKind::kPolynomial:
            return ((lens.a[2] * rho + lens.a[1]) * rho + lens.a[0]) * rho;
        case LensKind::kRadiusPoly:
        case LensKind::kRadiusPolyRad: {
            double end = 0, rim_t = 0;
            if (radius_poly_rim(lens, &end, &rim_t) != nullptr || !(rho >= 0)) return std::nan("");
            if (rho == 0) return 0;
            if (rho == 1) return rim_t * degrees_per_t(lens);
            // Beyond the rim the cubic is followed while it still rises.
            if (rho > 1 && !(rho <= cubic(lens.a, end))) return std::nan("");
            return solve_rising(lens.a, rho, rho < 1 ? rim_t : end) * degrees_per_t(lens);
        }
    }
    return 0;
}

double rho_of_zenith(const Lens& lens, double zen_deg) {
    const double f_rad = lens.fov_deg * kDegToRad, z_rad = zen_deg * kDegToRad;
    switch (lens.kind) {
        case LensKind::kEquidistant:
            return zen_deg / lens.fov_deg;
        case LensKind::kOrthographic:
            return std::sin(z_rad) / std::sin(f_rad);
        case LensKind::kEquisolid:
            return std::sin(z_rad / 2) / std::sin(f_rad / 2);
        case LensKind::kStereographic:
            return std::tan(z_rad / 2) / std::tan(f_rad / 2);
        case LensKind::kPolynomial: {
            const double rim = rim_zenith_deg(lens);
            if (lens_problem(lens) != nullptr || !(zen_deg >= 0 && zen_deg <= rim))
                return std::nan("");
            if (zen_deg == rim) return 1;
            return solve_rising(lens.a, zen_deg, 1.0);
        }
        case LensKind::kRadiusPoly:
        case LensKind::kRadiusPolyRad: {
            double end = 0, rim_t = 0;
            if (radius_poly_rim(lens, &end, &rim_t) != nullptr) return std::nan("");
            const double t =
                lens.kind == LensKind::kRadiusPoly ? zen_deg / 90.0 : zen_deg * kDegToRad;
            return cubic(lens.a, t);
        }
    }
    return std::nan("");
}

double rim_zenith_deg(const Lens& lens) {
    if (lens.kind == LensKind::kPolynomial) return lens.a[0] + lens.a[1] + lens.a[2];
    if (lens.kind == LensKind::kRadiusPoly || lens.kind == LensKind::kRadiusPolyRad) {
        double end = 0, rim_t = 0;
        if (radius_poly_rim(lens, &end, &rim_t) != nullptr) return std::nan("");
        return rim_t * degrees_per_t(lens);
    }
    return lens.fov_deg;
}

const char* lens_problem(const Lens& lens) {
    const double f = lens.fov_deg;
    switch (lens.kind) {
        case LensKind::kEquidistant:
        case LensKind::kEquisolid:
            if (!(f > 0 && f <= 180)) return "the field of view must lie above 0 and up to 180";
            return nullptr;
        case LensKind::kOrthographic:
            // r = f sin(theta) turns back beyond 90 degrees.
            if (!(f > 0 && f <= 90)) return "the field of view must lie above 0 and up to 90";
            return nullptr;
        case LensKind::kStereographic:
            if (!(f > 0 && f < 180)) return "the field of view must lie above 0 and below 180";
            return nullptr;
        case LensKind::kPolynomial: {
            // theta rises strictly on 0..1 when its derivative a1 + 2 a2 rho + 3 a3 rho^2 is
            // nowhere negative there (its zeros are then isolated) and theta(1) > 0.
            const double a1 = lens.a[0], a2 = lens.a[1], a3 = lens.a[2];
            double lowest = std::fmin(a1, a1 + 2 * a2 + 3 * a3);
            if (a3 != 0) {
                const double vertex = -a2 / (3 * a3);
                if (vertex > 0 && vertex < 1) lowest = std::fmin(lowest, a1 - a2 * a2 / (3 * a3));
            }
            if (lowest < 0 || !(a1 + a2 + a3 > 0))
                return "the polynomial zenith angle does not rise steadily from the centre to "
                       "the rim";
            if (!(a1 + a2 + a3 <= 180))
                return "the rim zenith angle a1 + a2 + a3 lies beyond 180 degrees";
            return nullptr;
        }
        case LensKind::kRadiusPoly:
        case LensKind::kRadiusPolyRad: {
            double end = 0, rim_t = 0;
            return radius_poly_rim(lens, &end, &rim_t);
        }
    }
    return "unknown lens";
}

double zenith_rad(const Lens& lens, double rho) {
    if (is_classic(lens)) {
        return lens.kind == LensKind::kEquidistant ? angles::kHalfPi * rho
                                                   : std::asin(std::min(1.0, rho));
    }
    return zenith_deg(lens, rho) * kDegToRad;
}

bool is_classic(const Lens& lens) {
    return (lens.kind == LensKind::kEquidistant || lens.kind == LensKind::kOrthographic) &&
           lens.fov_deg == 90;
}

int ring_index(const Lens& lens, int nz, double r, double R) {
    if (!(r <= R)) return nz;  // outside the sky disc
    if (is_classic(lens)) {
        // The expressions of the interactive analysis, so that both count the same pixels.
        return classic_ring_index(lens.kind == LensKind::kOrthographic, nz, r, R);
    }
    if (!(r < R)) return nz;  // rim pixels are counted in no ring, as with the classic lenses
    const double theta = zenith_deg(lens, r / R);
    if (!(theta < 90)) return nz;  // below the horizon
    const int iz = int(nz * (theta / 90));
    return iz < nz ? iz : nz - 1;
}

void describe_lens(const Lens& lens, char* text, int size) {
    static const char* const kNames[] = {"equidistant", "orthographic", "equisolid",
                                         "stereographic"};
    if (lens.preset != nullptr &&
        (lens.kind == LensKind::kRadiusPoly || lens.kind == LensKind::kRadiusPolyRad)) {
        std::snprintf(text, size_t(size), "%s", lens.preset);
    } else if (has_own_rim(lens)) {
        const char* form = lens.kind == LensKind::kPolynomial   ? "poly"
                           : lens.kind == LensKind::kRadiusPoly ? "poly-r"
                                                                : "poly-r-rad";
        std::snprintf(text, size_t(size), "%s:%g,%g,%g", form, lens.a[0], lens.a[1], lens.a[2]);
    } else if (lens.fov_deg == 90) {
        std::snprintf(text, size_t(size), "%s", kNames[int(lens.kind)]);
    } else {
        std::snprintf(text, size_t(size), "%s fov %g", kNames[int(lens.kind)], lens.fov_deg);
    }
}

}  // namespace skyimage
