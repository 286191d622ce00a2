// Gap sizes: the lengths of sky and canopy runs along digital circles of constant zenith angle,
// traced with the midpoint circle rule (Bresenham 1977) and walked clockwise from the top.
#include "skyimage/gapsize.h"

#include <algorithm>
#include <cmath>

#include "angles/angles.h"

namespace skyimage {
namespace {

// Octant lists 1..8 (here 0..7): which start their trace at x = 1 (the "shifted" start), and
// where a trace point (x, y), 0 <= x <= y, lands as (row, column) offsets from the centre.
constexpr bool kShifted[8] = {false, false, true, false, true, false, true, true};

void place(int list, int x, int y, int* row, int* col) {
    switch (list) {
        case 0: *row = -y; *col = x; break;
        case 1: *row = -x; *col = y; break;
        case 2: *row = x; *col = y; break;
        case 3: *row = y; *col = x; break;
        case 4: *row = y; *col = -x; break;
        case 5: *row = x; *col = -y; break;
        case 6: *row = -x; *col = -y; break;
        default: *row = -y; *col = -x; break;
    }
}

// Pixels further than this from the centre of every image pixel: a circle of radius L keeps
// its walk within 2 pixels of L (checked by the tests), so beyond the farthest corner plus this
// margin no walk pixel lies on the image.
constexpr int kWalkSlack = 3;

}  // namespace

RingWalker::RingWalker(const t_Bitmap& working) : bmp_(working) {
    const std::int64_t cx = working.width / 2, cy = working.height / 2;
    const std::int64_t far_x = std::max<std::int64_t>(cx, working.width - 1 - cx);
    const std::int64_t far_y = std::max<std::int64_t>(cy, working.height - 1 - cy);
    reach_ = int(std::ceil(std::sqrt(double(far_x * far_x + far_y * far_y)))) + kWalkSlack;
    cap_ = reach_ + 2;  // an octant of radius l holds at most l / sqrt(2) + 2 points
    for (int k = 0; k < 8; ++k) {
        oct_rows_[k].assign(std::size_t(cap_), 0);
        oct_cols_[k].assign(std::size_t(cap_), 0);
    }
    rows_.assign(8 * std::size_t(cap_), 0);
    cols_.assign(8 * std::size_t(cap_), 0);
    values_.assign(8 * std::size_t(cap_), 0);
}

void RingWalker::trace(int l, bool shifted, int list) {
    int d = 3 - 2 * l;
    int x = 0, y = l;
    if (shifted) {  // the decision value is not advanced by this first step
        x = 1;
        y = d < 0 ? l : l - 1;
    }
    int n = 0;
    while (x <= y) {
        place(list, x, y, &oct_rows_[list][std::size_t(n)], &oct_cols_[list][std::size_t(n)]);
        ++n;
        last_x_ = x;
        last_y_ = y;
        if (d < 0) {
            d += 4 * x + 6;
            ++x;
        } else {
            d += 4 * (x - y) + 10;
            ++x;
            --y;
        }
    }
    oct_n_[list] = n;
}

void RingWalker::walk(int l) {
    n_ = 0;
    if (l > reach_) return;  // every pixel off the image: value 0, one run, nothing recorded
    int kept_row = 0, kept_col = 0;
    for (int list = 0; list < 8; ++list) {
        trace(l, kShifted[list], list);
        int row = 0, col = 0;
        place(list, last_x_, last_y_, &row, &col);
        if (list % 2 == 0) {
            kept_row = row;
            kept_col = col;
        } else if (row == kept_row && col == kept_col && oct_n_[list] > 0) {
            --oct_n_[list];  // the diagonal pixel that the list before already ends with
        }
    }
    const int width = bmp_.width, height = bmp_.height;
    const int cx = width / 2, cy = height / 2;
    for (int list = 0; list < 8; ++list) {
        const int n = oct_n_[list];
        for (int k = 0; k < n; ++k) {
            const int m = list % 2 == 0 ? k : n - 1 - k;  // even lists reversed
            const int r = oct_rows_[list][std::size_t(m)], c = oct_cols_[list][std::size_t(m)];
            rows_[std::size_t(n_)] = r;
            cols_[std::size_t(n_)] = c;
            const std::int64_t y = std::int64_t(cy) + r, x = std::int64_t(cx) + c;
            values_[std::size_t(n_)] = (y >= 0 && y < height && x >= 0 && x < width)
                                           ? bmp_.data[y * width + x]
                                           : 0;  // off the image: canopy, as the extraction fills it
            ++n_;
        }
    }
}

void cut_runs(const std::uint8_t* values, int n, int* gaps, int* n_gaps, int* canopy,
              int* n_canopy) {
    *n_gaps = 0;
    *n_canopy = 0;
    if (n == 0) return;
    std::uint8_t c = values[0];
    int k = 1;
    for (int i = 1; i < n; ++i) {
        if (values[i] == c) {
            ++k;
            continue;
        }
        if (c != 0) {
            gaps[(*n_gaps)++] = k;
        } else {
            canopy[(*n_canopy)++] = k;
        }
        c = values[i];
        k = 1;
    }
    if (values[0] == c) {  // the walk ends in the run it began with
        if (c != 0 && *n_gaps > 0) gaps[0] += k;
        if (c == 0 && *n_canopy > 0) canopy[0] += k;
    } else if (c != 0) {
        gaps[(*n_gaps)++] = k;
    } else {
        canopy[(*n_canopy)++] = k;
    }
}

const char* gapsize_step_problem(int lensType, double minimum, double maximum, double step,
                                 int width) {
    if (lensType != 1 && lensType != 2) return nullptr;  // nothing is computed
    if (lensType == 1 && !(step >= 0)) return "The step must be positive, or 0 for one pixel";
    if (lensType == 2 && !(step > 0)) return "The step must be positive";
    constexpr double kMaxAngle = 1e6, kMaxCircles = 1e6;
    if (!(std::fabs(minimum) <= kMaxAngle && std::fabs(maximum) <= kMaxAngle))
        return "The zenith angles must lie between -1000000 and 1000000 degrees";
    const int radius = width / 2;
    const double step_deg = step == 0 ? 90.0 / radius : step;
    if (!((maximum + 90.0 / radius - minimum) / step_deg <= kMaxCircles))
        return "The step is too small: it would trace more than 1000000 circles";
    return nullptr;
}

namespace {

// The circle radius L in pixels truncated toward zero, clamped to one beyond the walker's reach
// (and to -1 below 0) so that it fits an int without changing the walk.
int circle_radius(double l, int reach) {
    if (l >= reach + 1.0) return reach + 1;
    if (l <= -1.0) return -1;
    return int(l);
}

}  // namespace

void write_gap_sizes(std::FILE* out, const t_Bitmap& working, bool orthographic, double minimum,
                     double maximum, double step) {
    constexpr double pi = angles::kPi;
    const int R = working.width / 2;
    const double min_rad = minimum * pi / 180;
    const double max_rad = maximum * pi / 180;
    if (!orthographic && step == 0) step = 90.0 / R;  // one pixel
    const double step_rad = step * pi / 180;

    RingWalker walker(working);
    std::vector<int> gaps(std::size_t(8) * std::size_t(walker.reach() + 2));
    std::vector<int> canopy(gaps.size());
    for (double theta = min_rad; theta <= max_rad + (pi / 2) / R; theta += step_rad) {
        const double l = !orthographic ? (R * theta) / (pi / 2) : std::sin(theta) * R;
        walker.walk(circle_radius(l, walker.reach()));
        int n_gaps = 0, n_canopy = 0;
        cut_runs(walker.values(), walker.size(), gaps.data(), &n_gaps, canopy.data(), &n_canopy);
        std::fprintf(out, "%2.1lf\n", theta * 180 / pi);
        for (int k = 0; k < n_gaps; ++k) std::fprintf(out, "%i ", gaps[std::size_t(k)]);
        std::fprintf(out, "\n");
        for (int k = 0; k < n_canopy; ++k) std::fprintf(out, "%i ", canopy[std::size_t(k)]);
        std::fprintf(out, "\n");
    }
}


}  // namespace skyimage
