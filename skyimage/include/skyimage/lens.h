// Lens mappings of fish-eye photographs: the zenith angle seen by a pixel at normalised radius
// rho = r / R (0 at the centre of the sky disc, 1 on its rim), and the ring a pixel falls in.
//
// With f the focal length and F the zenith angle at the rim (the field of view, 90 degrees by
// default), the classical projections give r as a function of theta:
//   equidistant   r = f * theta          theta = F * rho
//   orthographic  r = f * sin(theta)     theta = asin(rho * sin F)
//   equisolid     r = 2f * sin(theta/2)  theta = 2 asin(rho * sin(F/2))
//   stereographic r = 2f * tan(theta/2)  theta = 2 atan(rho * tan(F/2))
// and a calibrated lens gives theta in degrees as a1*rho + a2*rho^2 + a3*rho^3, the form in
// which fish-eye calibrations are usually published.
#pragma once

#include <cmath>

#include "angles/angles.h"

namespace skyimage {

enum class LensKind { kEquidistant, kOrthographic, kEquisolid, kStereographic, kPolynomial };

struct Lens {
    LensKind kind = LensKind::kEquidistant;
    double fov_deg = 90;      // zenith angle at the rim; the polynomial sets its own
    double a[3] = {0, 0, 0};  // polynomial coefficients, degrees
};

// Parses "equidistant", "orthographic", "equisolid", "stereographic" or "poly:a1,a2,a3".
// Returns false for anything else.
bool parse_lens(const char* text, Lens* lens);

// Zenith angle in degrees at normalised radius rho (0..1).
double zenith_deg(const Lens& lens, double rho);

// Zenith angle at the rim: F, or a1 + a2 + a3 for the polynomial.
double rim_zenith_deg(const Lens& lens);

// Why the lens cannot be used (a field of view outside the projection's range, or a mapping
// that does not rise strictly from rho = 0 to rho = 1), or null when it can.
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

// Short text for the summary: "equisolid", "stereographic fov 100", "poly:1.2,0,-0.3".
void describe_lens(const Lens& lens, char* text, int size);

}  // namespace skyimage
