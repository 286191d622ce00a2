// Lens mappings of fish-eye photographs: the zenith angle seen by a pixel at normalised radius
// rho = r / R (0 at the centre of the sky disc, 1 on its rim), and the ring a pixel falls in.
//
// With f the focal length and F the zenith angle at the rim (the field of view, 90 degrees by
// default), the classical projections give r as a function of theta:
//   equidistant   r = f * theta          theta = F * rho
//   orthographic  r = f * sin(theta)     theta = asin(rho * sin F)
//   equisolid     r = 2f * sin(theta/2)  theta = 2 asin(rho * sin(F/2))
//   stereographic r = 2f * tan(theta/2)  theta = 2 atan(rho * tan(F/2))
// A calibrated lens is given by a cubic in one of two directions:
//   poly:a1,a2,a3        theta in degrees = a1 rho + a2 rho^2 + a3 rho^3
//   poly-r:A1,A2,A3      rho = A1 t + A2 t^2 + A3 t^3 with t = theta / 90 degrees
//   poly-r-rad:A1,A2,A3  the same with t = theta in radians
// The last two are the form in which lens calibrations are published (Pekin and Macfarlane
// 2009, Remote Sensing 1:1298): the image radius as a function of the zenith angle. They are
// inverted numerically: the rim of the disc lies where rho reaches 1, and the cubic must rise
// steadily from t = 0 up to there.
#pragma once

#include <cmath>

#include "angles/angles.h"

namespace skyimage {

enum class LensKind {
    kEquidistant,
    kOrthographic,
    kEquisolid,
    kStereographic,
    kPolynomial,     // poly: theta (degrees) of rho
    kRadiusPoly,     // poly-r: rho of t = theta / 90 degrees
    kRadiusPolyRad,  // poly-r-rad: rho of t = theta in radians
};

struct Lens {
    LensKind kind = LensKind::kEquidistant;
    double fov_deg = 90;           // zenith angle at the rim; the three polynomials set their own
    double a[3] = {0, 0, 0};       // polynomial coefficients (poly: degrees)
    const char* preset = nullptr;  // name of the built-in lens these coefficients came from
};

// A built-in calibrated lens: its name, form and coefficients, and where they were published.
struct LensPreset {
    const char* name;  // as given to --lens: "fc-e8"
    LensKind kind;     // kRadiusPoly or kRadiusPolyRad
    double a[3];
    const char* camera;  // the camera and lens the calibration is for
    const char* source;  // the publication
};

// The built-in lenses, COUNT of them, in a constant table.
const LensPreset* lens_presets(int* count);

// Parses "equidistant", "orthographic", "equisolid", "stereographic", "poly:a1,a2,a3",
// "poly-r:A1,A2,A3", "poly-r-rad:A1,A2,A3" or a preset's name (any letter case). Returns false
// for anything else, leaving the lens as it was. A polynomial or a preset leaves fov_deg as it
// was (it does not apply to them).
bool parse_lens(const char* text, Lens* lens);

// True for the three polynomial forms, whose rim angle follows from their coefficients.
bool has_own_rim(const Lens& lens);

// Zenith angle in degrees at normalised radius rho (0..1). For poly-r and poly-r-rad the cubic
// is inverted to within a few units in the last place; NaN when such a lens has a problem
// (lens_problem), so that such a pixel falls in no ring.
double zenith_deg(const Lens& lens, double rho);

// The inverse: the normalised radius at which the lens images zenith angle ZEN_DEG, for
// 0 <= ZEN_DEG <= rim_zenith_deg (beyond the rim the formula is continued as it goes). For
// poly: the cubic is inverted numerically; NaN when the lens has a problem.
double rho_of_zenith(const Lens& lens, double zen_deg);

// Zenith angle at the rim: F, a1 + a2 + a3 for poly:, the angle where rho reaches 1 for
// poly-r and poly-r-rad (NaN when it reaches 1 nowhere before the cubic turns back or 180
// degrees).
double rim_zenith_deg(const Lens& lens);

// Why the lens cannot be used, or null when it can: a field of view outside the projection's
// range, a mapping that does not rise strictly from the centre to the rim, or a rim zenith
// angle outside (0, 180] degrees.
const char* lens_problem(const Lens& lens);

// Zenith angle in radians at normalised radius rho (0..1). The two classic lenses use the
// expressions of the simulated photographs, (pi/2) rho and asin(min(1, rho)); the others their
// angle in degrees converted.
double zenith_rad(const Lens& lens, double rho);

// True when the mapping is the equidistant or orthographic one with a 90 degree rim, which the
// interactive analysis also offers; their rings are then computed with its very expressions.
bool is_classic(const Lens& lens);

// Ring of a pixel at distance r <= R from the centre of a disc of radius R through a classic
// lens: equidistant nz * (r / R), orthographic nz * (arcsine(r / R) / (pi / 2)), truncated; nz on
// the rim. These very expressions decide every pixel of the interactive analysis.
inline int classic_ring_index(bool orthographic, int nz, double r, double R) {
    return orthographic ? int(nz * (std::asin(r / R) / (angles::kPi / 2))) : int(nz * (r / R));
}

// Ring of a pixel at distance r from the centre of a disc of radius R, for nz rings of 90/nz
// degrees; nz when the pixel is counted in no ring (on or beyond the rim, or at a zenith angle
// of 90 degrees or more).
int ring_index(const Lens& lens, int nz, double r, double R);

// Short text for the summary: "equisolid", "stereographic fov 100", "poly:1.2,0,-0.3",
// "poly-r:1.06,0.00498,-0.0639", or a preset's name ("fc-e8").
void describe_lens(const Lens& lens, char* text, int size);

}  // namespace skyimage
