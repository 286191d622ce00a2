#include "skyimage/lens.h"

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

}  // namespace

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
            return true;
        }
    }
    if (std::strncmp(text, "poly:", 5) != 0) return false;
    const char* p = text + 5;
    double a[3];
    if (!read_number(&p, ',', &a[0]) || !read_number(&p, ',', &a[1]) ||
        !read_number(&p, '\0', &a[2]))
        return false;
    lens->kind = LensKind::kPolynomial;
    for (int k = 0; k < 3; ++k) lens->a[k] = a[k];
    return true;
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
    }
    return 0;
}

double rim_zenith_deg(const Lens& lens) {
    if (lens.kind == LensKind::kPolynomial) return lens.a[0] + lens.a[1] + lens.a[2];
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
            return nullptr;
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
    if (lens.kind == LensKind::kPolynomial) {
        std::snprintf(text, size_t(size), "poly:%g,%g,%g", lens.a[0], lens.a[1], lens.a[2]);
    } else if (lens.fov_deg == 90) {
        std::snprintf(text, size_t(size), "%s", kNames[int(lens.kind)]);
    } else {
        std::snprintf(text, size_t(size), "%s fov %g", kNames[int(lens.kind)], lens.fov_deg);
    }
}

}  // namespace skyimage
