// Stretches of pixels that share a cell, found with the per-pixel functions of count_cells, and
// the counts and histogram taken stretch by stretch.
#include "skyimage/stretches.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "angles/angles.h"
#include "skyimage/cells.h"

namespace skyimage {

namespace {

// The predicted first position X of the next piece (a whole number; END or beyond for none)
// as a guess in [lo + 1, end].
int guess_from(double x, int lo, int end) {
    if (!(x < end)) return end;
    if (!(x > lo)) return lo + 1;
    return int(x);
}

}  // namespace

StretchScanner::StretchScanner(const DiscGrid& grid) : grid_(grid) {
    classic_ = is_classic(grid.lens);
    orthographic_ = grid.lens.kind == LensKind::kOrthographic;
    cx_ = grid.w / 2;
    cy_ = grid.h / 2;
    radius_ = grid.w / 2;
    turn_ = azimuth_turn(grid.declination);
    // A disc of radius 0 holds only its rim: no pixel in a cell.
    if (grid.w <= 0 || grid.h <= 0 || radius_ == 0 || grid.nz < 1 || grid.na < 1) return;
    last_pair_ = std::min(radius_, std::max(cy_, grid.h - 1 - cy_));

    // Radii where the rings begin, for the predictions only (every boundary is verified).
    const int nz = grid.nz;
    const double R = radius_;
    ring_start_.assign(std::size_t(nz) + 1, 0.0);
    for (int j = 1; j <= nz; ++j) {
        const double target_deg = 90.0 * j / nz;
        double rho = 1;
        if (classic_) {
            rho = orthographic_ ? std::sin(angles::kHalfPi * j / nz) : double(j) / nz;
        } else if (zenith_deg(grid.lens, 1) >= target_deg) {
            double lo = 0, hi = 1;
            for (int it = 0; it < 60; ++it) {
                const double mid = (lo + hi) / 2;
                (zenith_deg(grid.lens, mid) >= target_deg ? hi : lo) = mid;
            }
            rho = hi;
        }
        ring_start_[std::size_t(j)] = rho * R;
    }
    // Picture angles of the sector edges, edge e at azimuth 2 pi e / na.
    for (int e = 0; e <= grid.na; ++e) {
        const double psi = turn_ + 2 * angles::kPi * e / grid.na;
        const double sin_psi = std::sin(psi);
        edge_sin_.push_back(sin_psi);
        edge_cot_.push_back(sin_psi != 0 ? std::cos(psi) / sin_psi : 0);  // 0: meets no row
    }
}

// The ring of the pixel |dx| = A columns from the centre on a row DY from it, as count_cells
// decides it: nz beyond the disc, on its rim or beyond the horizon.
int StretchScanner::ring_of(int a, double dy) const {
    const double r = std::hypot(double(a), dy);
    const double R = radius_;
    if (r > R) return grid_.nz;
    return classic_ ? classic_ring_index(orthographic_, grid_.nz, r, R)
                    : ring_index(grid_.lens, grid_.nz, r, R);
}

int StretchScanner::sector_of(int dx, int dy) const {
    return sector_index(dx, dy, grid_.na, turn_);
}

void StretchScanner::ring_profile(int k, std::int64_t reach) {
    ring_begin_.clear();
    ring_value_.clear();
    ring_end_ = 0;
    const int nz = grid_.nz;
    const double dy = k;
    auto value = [&](int a) { return ring_of(a, dy); };
    int a = 0, v = value(0);
    while (v < nz) {
        ring_begin_.push_back(a);
        ring_value_.push_back(v);
        // First |dx| at or beyond the radius where ring v + 1 begins.
        const double start = ring_start_[std::size_t(v) + 1];
        const double room = start * start - dy * dy;
        const double predicted = room > 0 ? std::ceil(std::sqrt(room)) : a;
        int u = nz;
        const int b =
            detail::next_change(value, a, int(reach), v, guess_from(predicted, a, int(reach)), &u);
        a = b;
        if (b >= reach) break;
        v = u;
    }
    ring_end_ = a;
}

void StretchScanner::sector_profile(int dy, int dx_lo, int dx_hi) {
    sector_begin_.clear();
    sector_value_.clear();
    const int end = dx_hi + 1;
    auto value = [&](int dx) { return sector_of(dx, dy); };
    int x = dx_lo, s = value(x);
    for (;;) {
        sector_begin_.push_back(x);
        sector_value_.push_back(s);
        // Moving right, a row above the centre turns clockwise (azimuth falling) and leaves
        // sector s through its edge at azimuth 2 pi s / na; a row below turns counter-clockwise
        // and leaves through 2 pi (s + 1) / na. That edge, a ray at picture angle psi, meets
        // row dy at dx = dy cos(psi) / sin(psi) when it points towards the row.
        double predicted = end;
        if (dy == 0) {
            predicted = x < 0 ? 0 : end;  // the left half, then the centre and the right half
        } else {
            const std::size_t edge = std::size_t(dy > 0 ? s : s + 1);
            const double sin_psi = edge_sin_[edge];
            if (dy > 0 ? sin_psi > 0 : sin_psi < 0)
                predicted = std::floor(dy * edge_cot_[edge]) + 1;
        }
        int u = 0;
        const int b = detail::next_change(value, x, end, s, guess_from(predicted, x, end), &u);
        if (b >= end) break;
        x = b;
        s = u;
    }
}

void StretchScanner::merge(int row, int dx_lo, int dx_hi, std::vector<Stretch>* out) const {
    const int rings = int(ring_begin_.size()), sectors = int(sector_begin_.size());
    int m = rings - 1, p = 0;
    for (int dx = dx_lo; dx <= dx_hi;) {
        const int a = dx < 0 ? -dx : dx;
        while (m > 0 && a < ring_begin_[std::size_t(m)]) --m;
        while (m + 1 < rings && a >= ring_begin_[std::size_t(m) + 1]) ++m;
        // Ring piece m covers |dx| in [begin, next begin): on the left it ends where |dx|
        // falls below its begin; the innermost piece runs on through dx = 0.
        const int ring_stop = dx < 0 && m > 0 ? 1 - ring_begin_[std::size_t(m)]
                              : m + 1 < rings ? ring_begin_[std::size_t(m) + 1]
                                              : ring_end_;
        while (p + 1 < sectors && sector_begin_[std::size_t(p) + 1] <= dx) ++p;
        const int sector_stop = p + 1 < sectors ? sector_begin_[std::size_t(p) + 1] : dx_hi + 1;
        const int stop = std::min({ring_stop, sector_stop, dx_hi + 1});
        out->push_back(Stretch{row, cx_ + dx, cx_ + stop, ring_value_[std::size_t(m)],
                               sector_value_[std::size_t(p)]});
        dx = stop;
    }
}

void StretchScanner::rows_at(int k, std::vector<Stretch>* out) {
    out->clear();
    if (k < 0 || k > last_pair_) return;
    // reach: one more than the largest |dx| with dx^2 + k^2 <= R^2 (exact integer test)
    const std::int64_t room = std::int64_t(radius_) * radius_ - std::int64_t(k) * k;
    std::int64_t reach = std::int64_t(std::sqrt(double(room)));
    while (reach * reach > room) --reach;
    while ((reach + 1) * (reach + 1) <= room) ++reach;
    ++reach;
    ring_profile(k, reach);
    if (ring_end_ == 0) return;
    const int dx_lo = std::max(1 - ring_end_, -cx_);
    const int dx_hi = std::min(ring_end_ - 1, grid_.w - 1 - cx_);
    if (dx_lo > dx_hi) return;
    for (const int dy : {k, -k}) {
        const int i = cy_ - dy;
        if (i >= 0 && i < grid_.h) {
            sector_profile(dy, dx_lo, dx_hi);
            merge(i, dx_lo, dx_hi, out);
        }
        if (k == 0) break;
    }
}

WorkingView WorkingView::of(const t_Bitmap& working) {
    WorkingView v;
    v.photo = working.data;
    v.photo_w = v.w = working.width;
    v.photo_h = v.h = working.height;
    return v;
}

namespace {

// Sum of the 16 byte counters in LANE.
std::int64_t lane_sum(const std::uint8_t (&lane)[16]) {
    std::uint64_t half[2];
    std::memcpy(half, lane, sizeof half);
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
    // Neighbouring bytes added into four 16-bit sums per half (each at most 510), then the
    // eight sums gathered in the top 16 bits by one multiplication.
    const std::uint64_t pairs = (half[0] & kEvenBytes) + ((half[0] >> 8) & kEvenBytes) +
                                (half[1] & kEvenBytes) + ((half[1] >> 8) & kEvenBytes);
    return std::int64_t((pairs * 0x0001000100010001ull) >> 48);
}

// count_above for a level of 0 to 254.
std::int64_t count_above_level(const std::uint8_t* p, std::size_t n, std::uint8_t level) {
    std::int64_t total = 0;
    std::size_t k = 0;
    // Sixteen byte counters, emptied before they can overflow.
    while (n - k >= 16) {
        const std::size_t blocks = std::min<std::size_t>((n - k) / 16, 255);
        std::uint8_t lane[16] = {};
        for (std::size_t b = 0; b < blocks; ++b, k += 16)
            for (int l = 0; l < 16; ++l) lane[l] = std::uint8_t(lane[l] + (p[k + l] > level));
        total += lane_sum(lane);
    }
    for (; k < n; ++k) total += p[k] > level;
    return total;
}

// Sum of the first N (0 to 16) of the 0-or-1 flags at P, of which 16 can be read.
int flag_sum16(const std::uint8_t* p, int n) {
    // Eight bytes of 0xFF, then eight of 0: the 8 bytes from kOnes + 8 - k keep k bytes.
    static constexpr std::uint8_t kOnes[16] = {255, 255, 255, 255, 255, 255, 255, 255,
                                               0,   0,   0,   0,   0,   0,   0,   0};
    const int first = n < 8 ? n : 8, second = n - first;
    std::uint64_t w1, w2, m1, m2;
    std::memcpy(&w1, p, 8);
    std::memcpy(&w2, p + 8, 8);
    std::memcpy(&m1, kOnes + 8 - first, 8);
    std::memcpy(&m2, kOnes + 8 - second, 8);
    // Each byte of the sum is at most 2; one multiplication gathers all eight in the top byte.
    return int((((w1 & m1) + (w2 & m2)) * 0x0101010101010101ull) >> 56);
}

}  // namespace

std::int64_t count_above(const std::uint8_t* p, std::size_t n, int t) {
    if (t < 0) return std::int64_t(n);
    if (t >= 255) return 0;
    return count_above_level(p, n, std::uint8_t(t));
}

namespace {

// The part of working row I, columns [J0, J1), that lies inside the photograph: its first
// pixel (null when none) and length.
const std::uint8_t* inside_part(const WorkingView& v, int i, int j0, int j1, std::int64_t* n) {
    *n = 0;
    const std::int64_t y = v.y0 + i;
    if (y < 0 || y >= v.photo_h) return nullptr;
    const std::int64_t x_begin = std::max<std::int64_t>(v.x0 + j0, 0);
    const std::int64_t x_end = std::min<std::int64_t>(v.x0 + j1, v.photo_w);
    if (x_end <= x_begin) return nullptr;
    *n = x_end - x_begin;
    return v.photo + std::size_t(y) * std::size_t(v.photo_w) + std::size_t(x_begin);
}

}  // namespace

namespace {

// The grid laid over the working image VIEW stands for.
DiscGrid grid_of(const WorkingView& view, const Lens& lens, int nz, int na, double declination) {
    DiscGrid grid;
    grid.w = view.w;
    grid.h = view.h;
    grid.lens = lens;
    grid.nz = nz;
    grid.na = na;
    grid.declination = declination;
    return grid;
}

}  // namespace

void count_by_stretches(const WorkingView& view, const Lens& lens, int nz, int na,
                        double declination, gapdata::Counts* counts) {
    counts->reset(nz, na);
    std::int64_t* pixels = counts->pixels.data();
    std::int64_t* gaps = counts->gaps.data();
    const int t = view.sky_above();
    const bool zero_is_sky = 0 > t;  // a binarised image with a negative threshold
    const bool none_is_sky = t >= 255;
    const std::uint8_t level = std::uint8_t(zero_is_sky || none_is_sky ? 0 : t);
    const DiscGrid grid = grid_of(view, lens, nz, na, declination);
    StretchScanner scanner(grid);
    std::vector<Stretch> rows;
    // Rows of many short stretches: one byte compare along the row gives a sky flag (0 or 1)
    // per pixel, and a stretch of up to 16 pixels sums its flags as two 8-byte words, the
    // bytes beyond it masked off; 16 zero flags follow the row.
    std::vector<std::uint8_t> flags(std::size_t(std::max(view.w, 0)) + 32, 0);
    for (int k = 0; k <= scanner.last_pair(); ++k) {
        scanner.rows_at(k, &rows);
        for (std::size_t a = 0, b = 0; a < rows.size(); a = b) {
            // The stretches [a, b) of one row lie side by side, left to right.
            while (b < rows.size() && rows[b].row == rows[a].row) ++b;
            const int i = rows[a].row, j_lo = rows[a].j_begin, j_hi = rows[b - 1].j_end;
            std::int64_t in = 0;
            const std::uint8_t* p = inside_part(view, i, j_lo, j_hi, &in);
            const bool dense = std::int64_t(b - a) * 16 > j_hi - j_lo;
            if (dense && p != nullptr && !zero_is_sky && !none_is_sky) {
                // The photograph covers the row's flags [lead, lead + in); 0 is not sky here.
                const std::size_t lead = std::size_t(std::max<std::int64_t>(j_lo, -view.x0) - j_lo);
                const std::size_t n_row = std::size_t(j_hi - j_lo);
                std::uint8_t* f = flags.data();
                std::memset(f, 0, lead);
                for (std::int64_t m = 0; m < in; ++m) f[lead + std::size_t(m)] = p[m] > level;
                std::memset(f + lead + std::size_t(in), 0, n_row + 16 - lead - std::size_t(in));
                for (std::size_t s = a; s < b; ++s) {
                    const Stretch& st = rows[s];
                    const std::size_t cell =
                        std::size_t(st.ring) * std::size_t(na) + std::size_t(st.sector);
                    const int n = st.j_end - st.j_begin;
                    pixels[cell] += n;
                    const std::uint8_t* q = f + (st.j_begin - j_lo);
                    if (n <= 16) {
                        gaps[cell] += flag_sum16(q, n);
                    } else {
                        std::int64_t sky = 0;
                        int m = 0;
                        for (; m + 16 <= n; m += 16) sky += flag_sum16(q + m, 16);
                        gaps[cell] += sky + flag_sum16(q + m, n - m);
                    }
                }
                continue;
            }
            for (std::size_t s = a; s < b; ++s) {
                const Stretch& st = rows[s];
                const std::size_t cell =
                    std::size_t(st.ring) * std::size_t(na) + std::size_t(st.sector);
                pixels[cell] += st.j_end - st.j_begin;
                if (zero_is_sky) {
                    gaps[cell] += st.j_end - st.j_begin;
                } else if (!none_is_sky) {
                    const std::uint8_t* q = inside_part(view, i, st.j_begin, st.j_end, &in);
                    if (q != nullptr) gaps[cell] += count_above_level(q, std::size_t(in), level);
                }
            }
        }
    }
}

void histogram_by_stretches(const WorkingView& view, const Lens& lens, int nz, int na,
                            double declination, std::uint64_t (&hist)[256], std::int64_t* outside) {
    // Four interleaved histograms, so that neighbouring equal values do not wait on each other.
    std::vector<std::uint64_t> part(4 * 256, 0);
    std::int64_t beyond = 0;
    const DiscGrid grid = grid_of(view, lens, nz, na, declination);
    for_each_stretch(grid, [&](int i, int j0, int j1, int, int) {
        std::int64_t in = 0;
        const std::uint8_t* p = inside_part(view, i, j0, j1, &in);
        beyond += (j1 - j0) - in;
        std::int64_t k = 0;
        for (; k + 4 <= in; k += 4) {
            ++part[p[k]];
            ++part[256 + p[k + 1]];
            ++part[512 + p[k + 2]];
            ++part[768 + p[k + 3]];
        }
        for (; k < in; ++k) ++part[p[k]];
    });
    for (int v = 0; v < 256; ++v)
        hist[v] = part[std::size_t(v)] + part[256 + std::size_t(v)] + part[512 + std::size_t(v)] +
                  part[768 + std::size_t(v)];
    *outside = beyond;
}

}  // namespace skyimage
