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

RingWalker::RingWalker(const t_Bitmap& working) : RingWalker(WorkingView::of(working)) {}

RingWalker::RingWalker(const WorkingView& working) : view_(working) {
    const std::int64_t cx = working.w / 2, cy = working.h / 2;
    const std::int64_t far_x = std::max<std::int64_t>(cx, working.w - 1 - cx);
    const std::int64_t far_y = std::max<std::int64_t>(cy, working.h - 1 - cy);
    reach_ = int(std::ceil(std::sqrt(double(far_x * far_x + far_y * far_y)))) + kWalkSlack;
    const int cap = reach_ + 2;  // an octant of radius l holds at most l / sqrt(2) + 2 points
    for (Trace* t : {&full_, &shifted_}) {
        t->x.assign(std::size_t(cap), 0);
        t->y.assign(std::size_t(cap), 0);
    }
    values_.assign(8 * std::size_t(cap), 0);
}

void RingWalker::trace(int l, bool shifted, Trace* t) {
    int d = 3 - 2 * l;
    int x = 0, y = l;
    if (shifted) {  // the decision value is not advanced by this first step
        x = 1;
        y = d < 0 ? l : l - 1;
    }
    int n = 0;
    while (x <= y) {
        t->x[std::size_t(n)] = x;
        t->y[std::size_t(n)] = y;
        ++n;
        if (d < 0) {
            d += 4 * x + 6;
            ++x;
        } else {
            d += 4 * (x - y) + 10;
            ++x;
            --y;
        }
    }
    t->n = n;
}

namespace {

// The values of list LIST on the walk: its first N trace points placed in their octant, even
// lists (1, 3, 5, 7 as numbered from 1) in trace order, odd lists reversed. A position off the
// working image reads 0.
template <int kList>
std::uint8_t* walk_list(const WorkingView& view, const int* xs, const int* ys, int n,
                        std::uint8_t* out) {
    const std::int64_t cx = view.w / 2, cy = view.h / 2;
    for (int k = 0; k < n; ++k) {
        const int m = kList % 2 == 0 ? k : n - 1 - k;
        int row = 0, col = 0;
        place(kList, xs[m], ys[m], &row, &col);
        const std::int64_t i = cy + row, j = cx + col;
        *out++ = i >= 0 && i < view.h && j >= 0 && j < view.w ? view.value(int(j), int(i)) : 0;
    }
    return out;
}

}  // namespace

void RingWalker::walk(int l) {
    n_ = 0;
    if (l > reach_) return;  // every pixel off the image: value 0, one run, nothing recorded
    // Every list is the full trace or the shifted one: two traces make the eight lists.
    trace(l, false, &full_);
    trace(l, true, &shifted_);
    int kept_row = 0, kept_col = 0;
    for (int list = 0; list < 8; ++list) {
        const Trace& t = kShifted[list] ? shifted_ : full_;
        list_n_[list] = t.n;
        if (t.n > 0) {  // a trace without points leaves the last point of the one before
            last_x_ = t.x[std::size_t(t.n) - 1];
            last_y_ = t.y[std::size_t(t.n) - 1];
        }
        int row = 0, col = 0;
        place(list, last_x_, last_y_, &row, &col);
        if (list % 2 == 0) {
            kept_row = row;
            kept_col = col;
        } else if (row == kept_row && col == kept_col && list_n_[list] > 0) {
            --list_n_[list];  // the diagonal pixel that the list before already ends with
        }
    }
    std::uint8_t* out = values_.data();
    const int* fx = full_.x.data();
    const int* fy = full_.y.data();
    const int* sx = shifted_.x.data();
    const int* sy = shifted_.y.data();
    out = walk_list<0>(view_, fx, fy, list_n_[0], out);
    out = walk_list<1>(view_, fx, fy, list_n_[1], out);
    out = walk_list<2>(view_, sx, sy, list_n_[2], out);
    out = walk_list<3>(view_, fx, fy, list_n_[3], out);
    out = walk_list<4>(view_, sx, sy, list_n_[4], out);
    out = walk_list<5>(view_, fx, fy, list_n_[5], out);
    out = walk_list<6>(view_, sx, sy, list_n_[6], out);
    out = walk_list<7>(view_, sx, sy, list_n_[7], out);
    n_ = int(out - values_.data());
}

void RingWalker::position(int k, int* row, int* col) const {
    int list = 0;
    while (k >= list_n_[list]) k -= list_n_[list++];
    const Trace& t = kShifted[list] ? shifted_ : full_;
    const int m = list % 2 == 0 ? k : list_n_[list] - 1 - k;
    place(list, t.x[std::size_t(m)], t.y[std::size_t(m)], row, col);
}

int RingWalker::row(int k) const {
    int r = 0, c = 0;
    position(k, &r, &c);
    return r;
}

int RingWalker::col(int k) const {
    int r = 0, c = 0;
    position(k, &r, &c);
    return c;
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
    if (!(l > -1.0)) return -1;  // also NaN: no circle
    return int(l);
}

// Writes V and one space as "%i " does.
char* put_int(char* p, int v) {
    unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
    if (v < 0) *p++ = '-';
    char digits[10];
    int n = 0;
    do {
        digits[n++] = char('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (n > 0) *p++ = digits[--n];
    *p++ = ' ';
    return p;
}

}  // namespace

void write_gap_sizes(std::FILE* out, const t_Bitmap& working, bool orthographic, double minimum,
                     double maximum, double step) {
    write_gap_sizes(out, WorkingView::of(working), orthographic, minimum, maximum, step);
}

void write_gap_sizes(std::FILE* out, const WorkingView& working, bool orthographic, double minimum,
                     double maximum, double step) {
    constexpr double pi = angles::kPi;
    const int R = working.w / 2;
    const double min_rad = minimum * pi / 180;
    const double max_rad = maximum * pi / 180;
    if (!orthographic && step == 0) step = 90.0 / R;  // one pixel
    const double step_rad = step * pi / 180;

    RingWalker walker(working);
    std::vector<int> gaps(std::size_t(8) * std::size_t(walker.reach() + 2));
    std::vector<int> canopy(gaps.size());
    // One block of text per circle: at most 11 characters a run length, and the two line ends.
    std::vector<char> text(12 * gaps.size() + 2);
    char angle[400];  // "%2.1lf" of any double
    for (double theta = min_rad; theta <= max_rad + (pi / 2) / R; theta += step_rad) {
        const double l = !orthographic ? (R * theta) / (pi / 2) : std::sin(theta) * R;
        walker.walk(circle_radius(l, walker.reach()));
        int n_gaps = 0, n_canopy = 0;
        cut_runs(walker.values(), walker.size(), gaps.data(), &n_gaps, canopy.data(), &n_canopy);
        const int length = std::snprintf(angle, sizeof angle, "%2.1lf\n", theta * 180 / pi);
        std::fwrite(angle, 1, std::size_t(std::min<int>(length, int(sizeof angle) - 1)), out);
        char* p = text.data();
        for (int k = 0; k < n_gaps; ++k) p = put_int(p, gaps[std::size_t(k)]);
        *p++ = '\n';
        for (int k = 0; k < n_canopy; ++k) p = put_int(p, canopy[std::size_t(k)]);
        *p++ = '\n';
        std::fwrite(text.data(), 1, std::size_t(p - text.data()), out);
    }
}

}  // namespace skyimage
