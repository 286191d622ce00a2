#include "skyimage/find_disc.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "angles/angles.h"

namespace skyimage {

namespace {

struct Point {
    double x, y;
};

struct Circle3 {
    double cx, cy, r;
};

// The photograph's grey levels as one type, whatever its depth.
template <typename T>
struct Grey {
    const T* v;
    std::int64_t w, h;
    T at(std::int64_t x, std::int64_t y) const { return v[y * w + x]; }
};

// The level below which a fraction Q of the values lie.
int quantile(std::vector<int>* values, double q) {
    const std::size_t k = std::min(values->size() - 1, std::size_t(q * double(values->size())));
    std::nth_element(values->begin(), values->begin() + std::ptrdiff_t(k), values->end());
    return (*values)[k];
}

// Edge points: from each end of every row and column, the first of three pixels in a row above
// CUT (so that a stray bright pixel or two in the frame counts for nothing), placed half a pixel
// outward, between it and the frame pixel before it. A line whose picture reaches the border of
// the photograph gives no point at that end.
template <typename T>
std::vector<Point> edge_points(const Grey<T>& g, int cut) {
    std::vector<Point> points;
    auto bright = [&](std::int64_t x, std::int64_t y) { return int(g.at(x, y)) > cut; };
    auto run_x = [&](std::int64_t x, std::int64_t y, int step) {
        return bright(x, y) && bright(x + step, y) && bright(x + 2 * step, y);
    };
    auto run_y = [&](std::int64_t x, std::int64_t y, int step) {
        return bright(x, y) && bright(x, y + step) && bright(x, y + 2 * step);
    };
    for (std::int64_t y = 0; y < g.h; ++y) {
        std::int64_t x = 0;
        while (x + 2 < g.w && !run_x(x, y, 1)) ++x;
        if (x + 2 >= g.w) continue;  // no picture on this row
        if (x > 0) points.push_back({double(x) - 0.5, double(y)});
        std::int64_t e = g.w - 1;
        while (e > 1 && !run_x(e, y, -1)) --e;
        if (e < g.w - 1) points.push_back({double(e) + 0.5, double(y)});
    }
    for (std::int64_t x = 0; x < g.w; ++x) {
        std::int64_t y = 0;
        while (y + 2 < g.h && !run_y(x, y, 1)) ++y;
        if (y + 2 >= g.h) continue;
        if (y > 0) points.push_back({double(x), double(y) - 0.5});
        std::int64_t e = g.h - 1;
        while (e > 1 && !run_y(x, e, -1)) --e;
        if (e < g.h - 1) points.push_back({double(x), double(e) + 0.5});
    }
    return points;
}

bool circle_of(const Point& a, const Point& b, const Point& c, Circle3* out) {
    const double bx = b.x - a.x, by = b.y - a.y, cx = c.x - a.x, cy = c.y - a.y;
    const double d = 2 * (bx * cy - by * cx);
    if (std::fabs(d) < 1e-9) return false;
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double ux = (cy * b2 - by * c2) / d, uy = (bx * c2 - cx * b2) / d;
    *out = {a.x + ux, a.y + uy, std::hypot(ux, uy)};
    return true;
}

// Least squares of the geometric distances over POINTS, from START (Gauss-Newton, a few steps).
Circle3 refine(const std::vector<Point>& points, Circle3 c) {
    for (int iteration = 0; iteration < 20; ++iteration) {
        // Normal equations of the residuals d_i - r in (cx, cy, r).
        double a[3][3] = {}, g[3] = {};
        for (const Point& p : points) {
            const double dx = p.x - c.cx, dy = p.y - c.cy, d = std::hypot(dx, dy);
            if (d == 0) continue;
            const double j[3] = {-dx / d, -dy / d, -1}, res = d - c.r;
            for (int u = 0; u < 3; ++u) {
                g[u] += j[u] * res;
                for (int v = 0; v < 3; ++v) a[u][v] += j[u] * j[v];
            }
        }
        // Solve a * step = -g by Cramer's rule.
        auto det3 = [](const double m[3][3]) {
            return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                   m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                   m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        };
        const double det = det3(a);
        if (!(std::fabs(det) > 1e-12)) break;
        double step[3];
        for (int k = 0; k < 3; ++k) {
            double m[3][3];
            for (int u = 0; u < 3; ++u)
                for (int v = 0; v < 3; ++v) m[u][v] = v == k ? -g[u] : a[u][v];
            step[k] = det3(m) / det;
        }
        c.cx += step[0];
        c.cy += step[1];
        c.r += step[2];
        if (std::fabs(step[0]) + std::fabs(step[1]) + std::fabs(step[2]) < 1e-9) break;
    }
    return c;
}

// A small generator with its state in the caller's hands.
std::uint64_t next_random(std::uint64_t* state) {
    std::uint64_t z = (*state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

template <typename T>
const char* find(const Grey<T>& g, int full_scale, DiscFit* fit) {
    *fit = DiscFit{};
    if (g.w < 16 || g.h < 16) return "the photograph is too small to find its sky disc";
    // The frame: each corner of the picture must be dark.
    const std::int64_t side = std::max<std::int64_t>(2, std::min(g.w, g.h) / 20);
    int level = 0;
    for (int corner = 0; corner < 4; ++corner) {
        const std::int64_t x0 = corner % 2 == 0 ? 0 : g.w - side;
        const std::int64_t y0 = corner / 2 == 0 ? 0 : g.h - side;
        std::vector<int> values;
        values.reserve(std::size_t(side * side));
        for (std::int64_t y = y0; y < y0 + side; ++y)
            for (std::int64_t x = x0; x < x0 + side; ++x) values.push_back(int(g.at(x, y)));
        // The brightest level but for a few stray pixels (one in a thousand).
        const int corner_level = quantile(&values, 0.999);
        if (corner_level > full_scale / 8)
            return "no dark frame around the picture (its corners are not black), so the edge "
                   "of the sky disc cannot be seen: give the disc by its circle or rim points";
        level = std::max(level, corner_level);
    }
    fit->frame_level = level;
    const int cut = level + std::max(full_scale / 64, level / 2);
    const std::vector<Point> points = edge_points(g, cut);
    fit->edge_points = int(points.size());
    if (points.size() < 12)
        return "the border between the black frame and the picture shows nowhere";

    // Random sample consensus: circles through three points, scored on a sample of the points.
    const double smallest = std::min(g.w, g.h) / 20.0, largest = 2.0 * double(std::max(g.w, g.h));
    const std::size_t stride = std::max<std::size_t>(1, points.size() / 3000);
    auto score = [&](const Circle3& c, double tol) {
        long on = 0, out = 0;
        for (std::size_t k = 0; k < points.size(); k += stride) {
            const double d = std::hypot(points[k].x - c.cx, points[k].y - c.cy) - c.r;
            if (std::fabs(d) <= tol) {
                ++on;
            } else if (d > tol) {
                ++out;  // a bright pixel in the frame beyond the circle contradicts it
            }
        }
        // Points inside are canopy as dark as the frame at the rim, and cost nothing; a point
        // outside costs five on the circle, so that the inner edge of dark canopy all round
        // does not outweigh the true border where it shows.
        return on - 5 * out;
    };
    std::uint64_t state = 0x5EED0D15C0FFEEULL;
    const std::uint64_t n = points.size();
    Circle3 best{0, 0, 0};
    long best_score = -1;
    for (int trial = 0; trial < 1500; ++trial) {
        const Point& a = points[next_random(&state) % n];
        const Point& b = points[next_random(&state) % n];
        const Point& c = points[next_random(&state) % n];
        Circle3 circle;
        if (!circle_of(a, b, c, &circle) || circle.r < smallest || circle.r > largest) continue;
        const long s = score(circle, 1.5 + 0.002 * circle.r);
        if (s > best_score) {
            best_score = s;
            best = circle;
        }
    }
    if (best_score <= 0)
        return "the border between the black frame and the picture is no circle (is the canopy "
               "at the rim as dark as the frame?)";

    // Least squares over the points on the circle, twice (the set of points may change once).
    std::vector<Point> on;
    for (int round = 0; round < 3; ++round) {
        const double tol = 1.5 + 0.002 * best.r;
        on.clear();
        for (const Point& p : points)
            if (std::fabs(std::hypot(p.x - best.cx, p.y - best.cy) - best.r) <= tol)
                on.push_back(p);
        if (on.size() < 3) break;
        best = refine(on, best);
    }
    fit->cx = best.cx;
    fit->cy = best.cy;
    fit->radius = best.r;
    fit->on_circle = int(on.size());
    double sum = 0;
    // Where the border shows: 72 bins of 5 degrees round the centre, a bin counting when it holds
    // a third of the points a fully visible border gives there (rows and columns cross 5 degrees
    // of a circle of radius R at least 0.087 R times), so that stray points on a wrong circle
    // (the ragged inner edge of dark canopy) do not count as border.
    int bins[72] = {};
    for (const Point& p : on) {
        const double d = std::hypot(p.x - best.cx, p.y - best.cy) - best.r;
        sum += d * d;
        const double turn =
            (std::atan2(p.y - best.cy, p.x - best.cx) + angles::kPi) / angles::kTwoPi;
        ++bins[std::min(71, int(turn * 72))];
    }
    fit->rms = on.empty() ? 0 : std::sqrt(sum / double(on.size()));
    if (on.size() < 12)
        return "the border between the black frame and the picture shows on too few points";
    std::size_t outside = 0;
    for (const Point& p : points)
        outside += std::hypot(p.x - best.cx, p.y - best.cy) - best.r > 1.5 + 0.002 * best.r;
    if (outside * 10 > on.size())
        return "the border between the black frame and the picture is no circle: many bright "
               "pixels lie outside the best one";
    // The border must show round more than half the circle, or the centre is not fixed.
    const double enough = std::max(3.0, 0.3 * 0.087 * best.r);
    int first = -1, last = -1, gap = 0;
    for (int k = 0; k < 72; ++k) {
        if (bins[k] < enough) continue;
        if (first < 0) first = k;
        if (last >= 0) gap = std::max(gap, k - last);
        last = k;
    }
    if (first >= 0) gap = std::max(gap, first + 72 - last);
    if (first < 0 || gap > 36)
        return "the border between the black frame and the picture shows on less than half a "
               "circle";
    return nullptr;
}

}  // namespace

const char* find_disc(const Photo& photo, DiscFit* fit) {
    if (photo.depth() == 16) {
        const Grey<std::uint16_t> g{photo.wide.data(), photo.bmp.width, photo.bmp.height};
        return find(g, 65535, fit);
    }
    const Grey<std::uint8_t> g{photo.bmp.data, photo.bmp.width, photo.bmp.height};
    return find(g, 255, fit);
}

}  // namespace skyimage
