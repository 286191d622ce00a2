// Leaf-angle inversion after Norman and Campbell (1989): the contact number -ln(g) of each
// zenith annulus is modelled as the sum over leaf-inclination classes of the extinction kernel
// times the leaf area of the class, and the class areas are found by least squares with a
// first-difference smoothness constraint (Twomey 1977) of a weight chosen by the user.
//
// Single precision throughout: the tables and results are float, the library functions are
// called in double and their results rounded to float where stored.
#pragma once

#include "gapdata/gapdata.h"

namespace lai {
namespace norman_campbell {

// Stored annuli (rows of the kernel matrix): one per annulus of any grid the suite writes.
constexpr int kMaxStored = gapdata::kMaxWriteAnnuli;
constexpr int kMaxClasses = 20;  // leaf-angle classes: columns of the kernel matrix
constexpr int kMinClasses = 3;

using Grid = gapdata::Grid<float>;

// Extinction kernel: the mean projection, over all leaf azimuths, of a unit leaf area of
// inclination alpha onto the plane normal to a view of zenith angle theta, divided by
// cos(theta) (Warren Wilson 1960; Norman and Campbell 1989). Angles in radians. Where alpha is
// within 0.01 rad of pi/2 - theta or below it the leaf is never seen edge-on and K = cos(alpha).
float kern(float cos_alpha, float alpha, float theta);

// The used annuli reduced to one contact number each. An annulus whose visible cells hold no
// gap, or whose cells are all below the ground, is left out.
struct ContactNumbers {
    int b = 0;                        // number of stored annuli
    float alt_angl[kMaxStored] = {};  // elevation of the annulus centre, radians
    float log_open[kMaxStored] = {};  // -ln of the mean gap fraction of its visible cells
};

// Walks the used annuli zr .. nz - hr - 1 from the zenith outward (zr, hr not negative), by
// elevation starting at (90 - w/2) - zr*w and falling by w; a cell is averaged only when it
// lies above the sloping ground. Column c has azimuth (c + 0.5)*s.
ContactNumbers contact_numbers(const Grid& grid, const gapdata::Terrain<float>& terrain,
                               int zr, int hr);

// Clumping index: the mean of -ln(g) over the stored annuli divided by the logarithm of the
// mean of 1/g (Lang and Xiang 1986). NaN when every stored annulus has g = 1.
float clumping_index(const ContactNumbers& cn);

// Kernel matrix A (stored annuli by classes) and the normal equations A'A x = A'y, built once.
struct NormalEquations {
    int b = 0;
    int classes = 0;
    float mat_xtnct[kMaxStored][kMaxClasses] = {};
    float prod_xtnct[kMaxClasses][kMaxClasses] = {};
    float prod_trans[kMaxClasses] = {};
};

// classes must lie in kMinClasses .. kMaxClasses. Class c has the mid-angle (c + 0.5)*(pi/2)/I.
void build_normal_equations(const ContactNumbers& cn, int classes, NormalEquations* ne);

struct Solution {
    int classes = 0;
    float lambda = 0;                  // constraint weight of this solve
    float solution[kMaxClasses] = {};  // leaf area of each class
    float lai = 0;                     // sum of the class areas
};

// Solves (A'A + lambda*H) x = A'y, H the first-difference smoothing matrix, by Gaussian
// elimination without pivoting in the natural order. Returns -1 and fills *out on success;
// when a pivot vanishes (zero, or lost in rounding against its row's diagonal) returns that
// pivot's index and leaves *out untouched.
int solve_constrained(const NormalEquations& ne, float lambda, Solution* out);

// One row of the class table: mid-angle in degrees, leaf area, fraction of the LAI, and the
// leaf angle distribution function (density per radian).
struct ClassRow {
    float mid_deg;
    float area;
    float fraction;
    float ladf;
};
ClassRow class_row(const Solution& sol, int c);

}  // namespace norman_campbell
}  // namespace lai
