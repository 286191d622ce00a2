// canopysim: a geometric canopy of known structure, for checking the whole skygap chain.
//
// The canopy is a horizontal layer of flat circular leaves between two heights above a camera
// that looks straight up. Leaf centres are spread either at random over the layer (a Poisson
// canopy) or inside spherical crowns that are themselves spread at random (a clumped canopy).
// Leaf inclinations follow Campbell's ellipsoidal distribution or one fixed angle; leaf azimuths
// are uniform. The layer repeats periodically in both horizontal directions, so rays towards
// the horizon never leave the canopy. A uniform three-dimensional grid over one period makes
// tracing a ray cost in proportion to the cells it crosses.
//
// For a Poisson canopy of leaf area index L the probability that a ray at zenith angle theta
// passes the layer is P = exp(-G(theta) L / cos theta) (Nilson 1971), G being the mean
// projection of unit leaf area onto the plane normal to the ray (Ross 1981).
#pragma once

#include <cstdint>
#include <vector>

#include "angles/angles.h"

namespace canopysim {

using angles::kDegToRad;
using angles::kHalfPi;
using angles::kPi;
using angles::kRadToDeg;

// ---------------------------------------------------------------------------------------------
// Random numbers: xoshiro256** (Blackman and Vigna 2018) seeded through splitmix64. Written out
// here rather than taken from <random> so that a seed gives the same canopy with any library.
class Rng {
   public:
    explicit Rng(std::uint64_t seed);
    std::uint64_t next();
    double uniform();   // in [0, 1), 53 random bits
    double gaussian();  // standard normal, Box-Muller

   private:
    std::uint64_t s_[4];
};

// ---------------------------------------------------------------------------------------------
// Leaf inclination: the angle between the leaf's normal and the vertical, which equals the
// angle between the leaf blade and the horizontal.

struct LeafAngles {
    bool fixed = false;      // every leaf at fixed_deg; otherwise ellipsoidal with parameter x
    double x = 1.0;          // ratio of horizontal to vertical semi-axis: 1 spherical,
                             // > 1 planophile (flat leaves), < 1 erectophile (upright leaves)
    double fixed_deg = 0.0;  // 0 horizontal leaves, 90 vertical leaves
};

// Presets for --angles: mean leaf angles 57.30, 28.18 and 75.51 degrees.
constexpr double kSphericalX = 1.0;
constexpr double kPlanophileX = 3.0;
constexpr double kErectophileX = 0.4;

// Exact normalising factor of the ellipsoidal distribution, the ellipsoid's surface area over
// pi times the square of its vertical semi-axis, divided by 2 (Campbell 1986, eq. 8): 2 for the
// sphere.
double ellipsoid_lambda(double x);

// Probability density of the inclination (per radian, 0 .. pi/2) of the ellipsoidal
// distribution (Campbell 1990, eq. 4): 2 x^3 sin a / (Lambda (cos^2 a + x^2 sin^2 a)^2).
double ellipsoid_density(double incl_rad, double x);

// G(theta): mean projection of unit leaf area onto the plane normal to the view at zenith
// angle theta (radians). Ellipsoidal: sqrt(x^2 cos^2 theta + sin^2 theta) / Lambda (Campbell
// 1986), so 0.5 for spherical leaves; fixed angle a: cos theta cos a (1 + 2 (tan p - p) / pi)
// with cos p = cot theta cot a where theta + a > pi/2, otherwise cos theta cos a (Ross 1981).
double g_function(double theta_rad, const LeafAngles& angles);

// The same projection for one inclination (Ross 1981); g_function integrates it.
double leaf_projection(double theta_rad, double incl_rad);

// Mean inclination in degrees (57.30 for spherical leaves).
double mean_leaf_angle_deg(const LeafAngles& angles);

// Draws inclinations by inverting the cumulative distribution, tabulated on a fine grid.
class InclinationSampler {
   public:
    explicit InclinationSampler(const LeafAngles& angles);
    double sample(Rng& rng) const;  // radians

   private:
    LeafAngles angles_;
    std::vector<double> cdf_;  // cdf_[k] = P(inclination <= k * step)
    double step_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The canopy.

struct CanopyParams {
    double lai = 2.0;
    LeafAngles angles;
    double leaf_radius = 0.025;
    double bottom = 2.0;  // height of the layer's lower and upper bounds (leaf centres)
    double top = 4.0;
    double period = 10.0;  // horizontal period of the layer, both directions
    bool clumped = false;
    double crown_radius = 0.25;
    double crown_density = 3.0;  // crowns per unit ground area
    std::uint64_t seed = 1;
};

struct Leaf {
    double cx, cy, cz;  // centre
    double nx, ny, nz;  // unit normal, nz >= 0
    double tone;        // 0..1, picks the grey level of this leaf in a toned picture
};

class Canopy {
   public:
    // Places the leaves and builds the grid. The number of leaves is L period^2 / (pi r^2)
    // rounded; leaf_count() and realised_lai() tell what was placed.
    explicit Canopy(const CanopyParams& params);

    // Traces the ray from (period/2, period/2, 0) in the direction (dx, dy, dz), a unit vector
    // with x east, y north, z up. Returns the index of the nearest leaf it meets, or -1 when it
    // reaches the sky.
    long trace(double dx, double dy, double dz) const;
    // As trace, from any origin below the layer (oz < bottom - leaf radius).
    long trace_from(double ox, double oy, double oz, double dx, double dy, double dz) const;

    long leaf_count() const { return static_cast<long>(leaves_.size()); }
    double realised_lai() const;
    const Leaf& leaf(long k) const { return leaves_[static_cast<std::size_t>(k)]; }
    const CanopyParams& params() const { return params_; }

    // What the parameters would need; checked by the caller before building.
    static double leaves_needed(const CanopyParams& params);

   private:
    CanopyParams params_;
    std::vector<Leaf> leaves_;
    // Grid over one period: cells of size cell_ in x, y and z from z_low_ upwards. Each cell
    // lists the leaves whose bounding box meets it, as leaf * 9 + 3 * (sx + 1) + (sy + 1),
    // (sx, sy) being the period shift that brings the leaf next to the cell.
    double cell_ = 0;
    double z_low_ = 0;
    int nx_ = 0, nz_ = 0;  // cells across one period (both directions) and in height
    std::vector<std::uint32_t> start_;
    std::vector<std::uint32_t> entries_;

    void place_leaves();
    void build_grid();
};

// Most leaves a canopy may hold; more would exhaust memory.
constexpr double kMaxLeaves = 2.0e7;

}  // namespace canopysim
