// The simulated canopy: leaf-angle distributions, leaf placement and ray tracing.
#include "canopysim/canopy.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace canopysim {

// ---------------------------------------------------------------------------------------------
// Random numbers.

namespace {

std::uint64_t splitmix64(std::uint64_t* state) {
    std::uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t v, int k) { return (v << k) | (v >> (64 - k)); }

}  // namespace

Rng::Rng(std::uint64_t seed) {
    std::uint64_t state = seed;
    for (auto& word : s_) word = splitmix64(&state);
}

std::uint64_t Rng::next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
}

double Rng::uniform() { return double(next() >> 11) * 0x1.0p-53; }

double Rng::gaussian() {
    const double u = 1.0 - uniform();  // (0, 1]: the logarithm stays finite
    const double v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * kPi * v);
}

// ---------------------------------------------------------------------------------------------
// Leaf angles.

double ellipsoid_lambda(double x) {
    if (std::fabs(x - 1.0) < 1e-9) return 2.0;
    if (x < 1.0) {
        const double e = std::sqrt(1.0 - x * x);
        return x + std::asin(e) / e;
    }
    const double e = std::sqrt(1.0 - 1.0 / (x * x));
    return x + std::log((1.0 + e) / (1.0 - e)) / (2.0 * e * x);
}

double ellipsoid_density(double incl_rad, double x) {
    const double c = std::cos(incl_rad);
    const double s = std::sin(incl_rad);
    const double d = c * c + x * x * s * s;
    return 2.0 * x * x * x * s / (ellipsoid_lambda(x) * d * d);
}

double leaf_projection(double theta_rad, double incl_rad) {
    const double cc = std::cos(theta_rad) * std::cos(incl_rad);
    if (theta_rad + incl_rad <= kHalfPi) return cc;
    // For part of the leaf azimuths the view meets the leaf's underside; cos p = cot(theta)
    // cot(incl). cc (1 + 2 (tan p - p) / pi) is written without tan p, which overflows for
    // upright leaves: cc tan p = sin(theta) sin(incl) sin p.
    const double ss = std::sin(theta_rad) * std::sin(incl_rad);
    const double p = std::acos(std::min(1.0, cc / ss));
    return 2.0 / kPi * (cc * (kHalfPi - p) + ss * std::sin(p));
}

double g_function(double theta_rad, const LeafAngles& angles) {
    if (angles.fixed) return leaf_projection(theta_rad, angles.fixed_deg * kDegToRad);
    const double c = std::cos(theta_rad);
    const double s = std::sin(theta_rad);
    return std::sqrt(angles.x * angles.x * c * c + s * s) / ellipsoid_lambda(angles.x);
}

double mean_leaf_angle_deg(const LeafAngles& angles) {
    if (angles.fixed) return angles.fixed_deg;
    // Simpson's rule; the density is smooth on the closed interval for x in 0.01 .. 100.
    const int n = 20000;
    const double h = kHalfPi / n;
    double sum = 0;
    for (int k = 0; k <= n; ++k) {
        const double a = k * h;
        const double wgt = (k == 0 || k == n) ? 1.0 : (k % 2 ? 4.0 : 2.0);
        sum += wgt * a * ellipsoid_density(a, angles.x);
    }
    return sum * h / 3.0 * kRadToDeg;
}

InclinationSampler::InclinationSampler(const LeafAngles& angles) : angles_(angles) {
    if (angles.fixed) return;
    const int n = 1 << 14;
    step_ = kHalfPi / n;
    cdf_.resize(n + 1);
    cdf_[0] = 0;
    double prev = ellipsoid_density(0, angles.x);
    for (int k = 1; k <= n; ++k) {
        const double cur = ellipsoid_density(k * step_, angles.x);
        cdf_[k] = cdf_[k - 1] + 0.5 * (prev + cur) * step_;
        prev = cur;
    }
    const double total = cdf_[n];  // 1 up to the quadrature error; normalise it away
    for (double& v : cdf_) v /= total;
}

double InclinationSampler::sample(Rng& rng) const {
    if (angles_.fixed) return angles_.fixed_deg * kDegToRad;
    const double u = rng.uniform();
    const auto it = std::upper_bound(cdf_.begin(), cdf_.end(), u);
    const std::size_t k = static_cast<std::size_t>(it - cdf_.begin());  // cdf_[k-1] <= u < cdf_[k]
    if (k >= cdf_.size()) return kHalfPi;
    const double lo = cdf_[k - 1], hi = cdf_[k];
    const double frac = hi > lo ? (u - lo) / (hi - lo) : 0.0;
    return (double(k - 1) + frac) * step_;
}

// ---------------------------------------------------------------------------------------------
// Placing the leaves.

double Canopy::leaves_needed(const CanopyParams& params) {
    const double leaf_area = kPi * params.leaf_radius * params.leaf_radius;
    return std::round(params.lai * params.period * params.period / leaf_area);
}

Canopy::Canopy(const CanopyParams& params) : params_(params) {
    place_leaves();
    build_grid();
}

double Canopy::realised_lai() const {
    const double r = params_.leaf_radius;
    return double(leaves_.size()) * kPi * r * r / (params_.period * params_.period);
}

void Canopy::place_leaves() {
    Rng rng(params_.seed);
    const InclinationSampler sampler(params_.angles);
    const double period = params_.period;
    const long count = static_cast<long>(leaves_needed(params_));
    leaves_.resize(static_cast<std::size_t>(count));

    // Crowns: spheres whose centres lie at random over the ground and at a random height that
    // keeps the sphere inside the layer when it fits.
    std::vector<double> crowns;
    if (params_.clumped) {
        const long n_crowns = std::max(1L, std::lround(params_.crown_density * period * period));
        const double rc = params_.crown_radius;
        const double lo = params_.bottom + rc, hi = params_.top - rc;
        for (long k = 0; k < n_crowns; ++k) {
            crowns.push_back(rng.uniform() * period);
            crowns.push_back(rng.uniform() * period);
            crowns.push_back(lo < hi ? lo + rng.uniform() * (hi - lo)
                                     : 0.5 * (params_.bottom + params_.top));
        }
    }
    for (Leaf& leaf : leaves_) {
        if (crowns.empty()) {
            leaf.cx = rng.uniform() * period;
            leaf.cy = rng.uniform() * period;
            leaf.cz = params_.bottom + rng.uniform() * (params_.top - params_.bottom);
        } else {
            const std::size_t k =
                3 * static_cast<std::size_t>(rng.uniform() * double(crowns.size() / 3));
            double px, py, pz;
            do {  // uniform in the unit ball
                px = 2 * rng.uniform() - 1;
                py = 2 * rng.uniform() - 1;
                pz = 2 * rng.uniform() - 1;
            } while (px * px + py * py + pz * pz > 1.0);
            const double rc = params_.crown_radius;
            leaf.cx = std::fmod(crowns[k] + rc * px + period, period);
            leaf.cy = std::fmod(crowns[k + 1] + rc * py + period, period);
            leaf.cz = crowns[k + 2] + rc * pz;
            // A crown wider than the layer is cut by the layer's bounds.
            leaf.cz = std::min(params_.top, std::max(params_.bottom, leaf.cz));
        }
        const double incl = sampler.sample(rng);
        const double azim = 2 * kPi * rng.uniform();
        leaf.nx = std::sin(incl) * std::cos(azim);
        leaf.ny = std::sin(incl) * std::sin(azim);
        leaf.nz = std::cos(incl);
        leaf.tone = rng.uniform();
    }
}

// ---------------------------------------------------------------------------------------------
// The grid.

namespace {

// Floor division for possibly negative cell numbers.
long floor_div(long a, long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void Canopy::build_grid() {
    const double r = params_.leaf_radius;
    const double period = params_.period;
    // Cells about one leaf across, but no more than about 16 million of them.
    double cell = 2 * r;
    const double height = (params_.top - params_.bottom) + 2 * r;
    while ((period / cell) * (period / cell) * (height / cell) > 1.6e7) cell *= 1.25;
    nx_ = std::max(1, static_cast<int>(period / cell));
    cell_ = period / nx_;  // a whole number of cells per period
    z_low_ = params_.bottom - r;
    nz_ = std::max(1, static_cast<int>(std::ceil(height / cell_)));

    const std::size_t n_cells = std::size_t(nx_) * std::size_t(nx_) * std::size_t(nz_);
    start_.assign(n_cells + 1, 0);
    // Two passes: count the entries per cell, then fill them.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::uint32_t> fill;
        if (pass == 1) {
            for (std::size_t c = 0; c < n_cells; ++c) start_[c + 1] += start_[c];
            entries_.resize(start_[n_cells]);
            fill.assign(start_.begin(), start_.end() - 1);
        }
        for (std::size_t k = 0; k < leaves_.size(); ++k) {
            const Leaf& leaf = leaves_[k];
            const long x0 = static_cast<long>(std::floor((leaf.cx - r) / cell_));
            const long x1 = static_cast<long>(std::floor((leaf.cx + r) / cell_));
            const long y0 = static_cast<long>(std::floor((leaf.cy - r) / cell_));
            const long y1 = static_cast<long>(std::floor((leaf.cy + r) / cell_));
            const long z0 = std::max(0L, static_cast<long>((leaf.cz - r - z_low_) / cell_));
            const long z1 = std::min(long(nz_) - 1, static_cast<long>((leaf.cz + r - z_low_) / cell_));
            for (long ix = x0; ix <= x1; ++ix) {
                const long sx = floor_div(ix, nx_);
                const long cx = ix - sx * nx_;
                for (long iy = y0; iy <= y1; ++iy) {
                    const long sy = floor_div(iy, nx_);
                    const long cy = iy - sy * nx_;
                    for (long iz = z0; iz <= z1; ++iz) {
                        const std::size_t c = (std::size_t(iz) * nx_ + cy) * nx_ + cx;
                        if (pass == 0) {
                            ++start_[c + 1];
                        } else {
                            entries_[fill[c]++] =
                                static_cast<std::uint32_t>(k * 9 + 3 * (sx + 1) + (sy + 1));
                        }
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Tracing (Amanatides and Woo 1987: the ray visits the cells it crosses in order).

long Canopy::trace(double dx, double dy, double dz) const {
    return trace_from(0.5 * params_.period, 0.5 * params_.period, 0.0, dx, dy, dz);
}

long Canopy::trace_from(double ox, double oy, double oz, double dx, double dy,
                        double dz) const {
    // A ray along the horizon (the rim of the picture, which the analysis leaves out) would
    // cross the layer without end.
    if (leaves_.empty() || dz < 1e-9) return -1;
    const double r2 = params_.leaf_radius * params_.leaf_radius;
    const double period = params_.period;
    const double inf = std::numeric_limits<double>::infinity();

    // Enter the grid where the ray crosses its lower face.
    const double t_enter = (z_low_ - oz) / dz;
    const double px = ox + t_enter * dx, py = oy + t_enter * dy;
    long ix = static_cast<long>(std::floor(px / cell_));
    long iy = static_cast<long>(std::floor(py / cell_));
    long iz = 0;
    const int step_x = dx > 0 ? 1 : -1, step_y = dy > 0 ? 1 : -1;
    const double delta_x = dx != 0 ? cell_ / std::fabs(dx) : inf;
    const double delta_y = dy != 0 ? cell_ / std::fabs(dy) : inf;
    const double delta_z = cell_ / dz;
    double next_x = dx != 0 ? ((ix + (dx > 0 ? 1 : 0)) * cell_ - ox) / dx : inf;
    double next_y = dy != 0 ? ((iy + (dy > 0 ? 1 : 0)) * cell_ - oy) / dy : inf;
    double next_z = (z_low_ + cell_ - oz) / dz;

    // A ray that grazes the horizon may cross very many cells; past this bound it is counted
    // as sky. Only rays within thousandths of a degree of the horizon, in a canopy of almost
    // no leaves, get so far.
    const long kMaxCells = 5000000;
    for (long visited = 0; visited < kMaxCells; ++visited) {
        const long sx = floor_div(ix, nx_), sy = floor_div(iy, nx_);
        const long cx = ix - sx * nx_, cy = iy - sy * nx_;
        // The ray's origin moved into the period the cell belongs to.
        const double rox = ox - double(sx) * period, roy = oy - double(sy) * period;
        const std::size_t c = (std::size_t(iz) * nx_ + cy) * nx_ + cx;
        const double t_exit = std::min(next_x, std::min(next_y, next_z));
        double best_t = inf;
        long best = -1;
        for (std::uint32_t e = start_[c]; e < start_[c + 1]; ++e) {
            const std::uint32_t code = entries_[e];
            const Leaf& leaf = leaves_[code / 9];
            const double lx = leaf.cx - double(int(code % 9 / 3) - 1) * period;
            const double ly = leaf.cy - double(int(code % 3) - 1) * period;
            const double denom = leaf.nx * dx + leaf.ny * dy + leaf.nz * dz;
            if (denom == 0) continue;  // ray in the leaf's plane
            const double t =
                (leaf.nx * (lx - rox) + leaf.ny * (ly - roy) + leaf.nz * (leaf.cz - oz)) / denom;
            if (t <= 0 || t >= best_t) continue;
            const double qx = rox + t * dx - lx, qy = roy + t * dy - ly, qz = oz + t * dz - leaf.cz;
            if (qx * qx + qy * qy + qz * qz <= r2) {
                best_t = t;
                best = long(code / 9);
            }
        }
        // A hit beyond this cell may hide behind a nearer leaf of a later cell.
        if (best >= 0 && best_t <= t_exit) return best;
        if (next_x <= next_y && next_x <= next_z) {
            ix += step_x;
            next_x += delta_x;
        } else if (next_y <= next_z) {
            iy += step_y;
            next_y += delta_y;
        } else {
            if (best >= 0) return best;  // leaving through the top: nothing nearer remains
            if (++iz >= nz_) return -1;
            next_z += delta_z;
        }
    }
    return -1;
}

}  // namespace canopysim
