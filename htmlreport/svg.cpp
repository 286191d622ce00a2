// The page's text escaping and its inline SVG figures. The figures take their look from the
// page's style sheet (classes), so that each carries geometry only.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

#include "angles/angles.h"
#include "htmlreport/pieces.h"

namespace htmlreport {

std::string escape_html(const std::string& text) {
    static constexpr char kReplacement[] = "&#65533;";
    std::string out;
    out.reserve(text.size() + 16);
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&#39;";
                    break;
                default:
                    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F)
                        out += kReplacement;
                    else
                        out += char(c);
            }
            ++i;
            continue;
        }
        // A multi-byte sequence: its length from the lead byte, then every continuation byte
        // and the ranges that exclude overlong forms, surrogates and values above U+10FFFF.
        int len = 0;
        unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        }
        bool valid = len > 0 && i + std::size_t(len) <= n;
        for (int k = 1; valid && k < len; ++k) {
            const unsigned b = static_cast<unsigned char>(text[i + std::size_t(k)]);
            valid = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
        }
        // C1 control characters (U+0080..U+009F) are as unwelcome as C0 ones.
        if (valid && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) valid = false;
        if (valid) {
            out.append(text, i, std::size_t(len));
            i += std::size_t(len);
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

std::string svg_number(double v) {
    if (!std::isfinite(v)) return "0";
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", v);
    std::string s = text;
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.erase(s.size() - 2);
    if (s == "-0") s = "0";
    return s;
}

double nice_ceiling(double v) {
    if (!(v > 0) || !std::isfinite(v)) return 1;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        // A relative slack so that 0.3 / 0.1 = 2.9999999999999996 still gives 3 steps' worth.
        if (m * p >= v * (1 - 1e-12)) return m * p;
    }
    return 10 * p;
}

std::vector<double> nice_ticks(double lo, double hi, int max_ticks) {
    std::vector<double> ticks;
    if (!(hi > lo) || max_ticks < 1 || !std::isfinite(lo) || !std::isfinite(hi)) return ticks;
    const double step = nice_ceiling((hi - lo) / max_ticks);
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first;; k += 1) {
        const double v = k * step;
        if (v > hi + step * 1e-9) break;
        ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
    }
    return ticks;
}

void PolarMap::point(double zen_deg, double az_deg, double* x, double* y) const {
    const double r = radius * zen_deg / max_zen_deg;
    const double a = az_deg * angles::kDegToRad;
    *x = cx - r * std::sin(a);
    *y = cy - r * std::cos(a);
}

namespace {

std::string hex_grey(double p) {
    const double c = std::min(1.0, std::max(0.0, p));
    const int g = int(std::lround(255 * c));
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", g, g, g);
    return text;
}

std::string label(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

void text_at(std::string* s, double x, double y, const char* anchor, const std::string& body,
             const char* cls = "lb") {
    *s += "<text class=\"" + std::string(cls) + "\" x=\"" + svg_number(x) + "\" y=\"" +
          svg_number(y) + "\"";
    if (anchor != nullptr) *s += " text-anchor=\"" + std::string(anchor) + "\"";
    *s += ">" + body + "</text>";
}

void line(std::string* s, double x1, double y1, double x2, double y2, const char* cls) {
    *s += "<path class=\"" + std::string(cls) + "\" d=\"M" + svg_number(x1) + " " + svg_number(y1) +
          "L" + svg_number(x2) + " " + svg_number(y2) + "\"/>";
}

}  // namespace

std::string histogram_svg(const std::vector<std::uint64_t>& histogram, int threshold) {
    constexpr double kW = 320, kH = 170, kLeft = 14, kRight = 310, kTop = 12, kBottom = 140;
    std::string s =
        "<svg class=\"fig\" viewBox=\"0 0 320 170\" width=\"320\" height=\"170\" "
        "role=\"img\" aria-label=\"grey-level histogram\">";
    const std::size_t levels = histogram.size();
    if (levels == 0) {
        text_at(&s, kW / 2, kH / 2, "middle", "no histogram");
        return s + "</svg>";
    }
    const std::size_t group = (levels + 255) / 256;
    const std::size_t bars = (levels + group - 1) / group;
    std::vector<std::uint64_t> bar(bars, 0);
    for (std::size_t k = 0; k < levels; ++k) bar[k / group] += histogram[k];
    const std::uint64_t top = *std::max_element(bar.begin(), bar.end());
    const LinearScale x{0, double(levels), kLeft, kRight};
    const LinearScale y{0, top > 0 ? double(top) : 1.0, kBottom, kTop};
    // The bars as one outline: up and across each bar, down at the end.
    std::string d = "M" + svg_number(kLeft) + " " + svg_number(kBottom);
    std::string last_y;
    for (std::size_t b = 0; b < bars; ++b) {
        const std::string yb = svg_number(y(double(bar[b])));
        if (yb != last_y) d += "V" + yb;
        d += "H" + svg_number(x(double(std::min(levels, (b + 1) * group))));
        last_y = yb;
    }
    d += "V" + svg_number(kBottom) + "Z";
    s += "<path class=\"bars\" d=\"" + d + "\"/>";
    std::string axis =
        "M" + svg_number(kLeft) + " " + svg_number(kBottom) + "H" + svg_number(kRight);
    for (int k = 0; k <= 4; ++k) {
        const double level = double(levels) * k / 4;
        const double xv = x(level);
        axis += "M" + svg_number(xv) + " " + svg_number(kBottom) + "v4";
        text_at(&s, xv, kBottom + 15, "middle",
                label(k == 4 ? double(levels - 1) : std::floor(level)));
    }
    s += "<path class=\"ax\" d=\"" + axis + "\"/>";
    text_at(&s, kLeft, kTop - 2, nullptr, "peak " + label(double(top)) + " pixels");
    if (threshold >= 0) {
        // Sky is above the threshold: the line sits between levels t and t + 1.
        const double xt = x(std::min(double(levels), double(threshold) + 1));
        line(&s, xt, kTop, xt, kBottom, "thr");
        const bool right_half = xt > (kLeft + kRight) / 2;
        text_at(&s, right_half ? xt - 3 : xt + 3, kTop + 10, right_half ? "end" : nullptr,
                "threshold " + label(threshold), "lb thl");
    } else {
        text_at(&s, kRight, kTop - 2, "end", "no threshold");
    }
    text_at(&s, (kLeft + kRight) / 2, kH - 2, "middle", "grey level");
    return s + "</svg>";
}

namespace {

// The shade of a cell's gap fraction: 0..kMapShades, or kMapShades + 1 without pixels.
int map_shade(double p) {
    if (!std::isfinite(p)) return kMapShades + 1;
    return int(std::lround(kMapShades * std::min(1.0, std::max(0.0, p))));
}

std::string shade_colour(int k) { return hex_grey(double(k) / kMapShades); }

// The annular sector between zenith angles z0, z1 and azimuths a0 < a1 (span below 360).
std::string sector_path(const PolarMap& m, double z0, double z1, double a0, double a1) {
    double x[4], y[4];
    m.point(z1, a0, &x[0], &y[0]);
    m.point(z1, a1, &x[1], &y[1]);
    m.point(z0, a1, &x[2], &y[2]);
    m.point(z0, a0, &x[3], &y[3]);
    const double r1 = m.radius * z1 / m.max_zen_deg, r0 = m.radius * z0 / m.max_zen_deg;
    const char* large = a1 - a0 > 180 ? "1" : "0";
    // Azimuth grows counter-clockwise on the map (east left of north): sweep flag 0.
    std::string d = "M" + svg_number(x[0]) + " " + svg_number(y[0]) + "A" + svg_number(r1) + " " +
                    svg_number(r1) + " 0 " + large + " 0 " + svg_number(x[1]) + " " +
                    svg_number(y[1]);
    if (r0 > 0) {
        d += "L" + svg_number(x[2]) + " " + svg_number(y[2]) + "A" + svg_number(r0) + " " +
             svg_number(r0) + " 0 " + large + " 1 " + svg_number(x[3]) + " " + svg_number(y[3]);
    } else {
        d += "L" + svg_number(m.cx) + " " + svg_number(m.cy);
    }
    return d + "Z";
}

}  // namespace

std::string sky_map_svg(const std::vector<CellGap>& cells, const std::vector<SunSample>& sun) {
    constexpr double kSize = 300;
    PolarMap m;
    m.cx = kSize / 2;
    m.cy = 150;
    m.radius = 125;
    m.max_zen_deg = 90;
    for (const CellGap& c : cells)
        if (std::isfinite(c.zen_to_deg)) m.max_zen_deg = std::max(m.max_zen_deg, c.zen_to_deg);
    std::string s =
        "<svg class=\"fig\" viewBox=\"0 0 300 300\" width=\"300\" height=\"300\" "
        "role=\"img\" aria-label=\"gap fraction of every sky cell\">";
    // The cells grouped by their shade (kMapShades + 1 greys, and no pixels): one path
    // element per shade keeps a page of many maps light.
    std::vector<std::string> shade(kMapShades + 2);
    for (const CellGap& c : cells) {
        if (!std::isfinite(c.zen_from_deg) || !std::isfinite(c.zen_to_deg) ||
            !std::isfinite(c.az_from_deg) || !std::isfinite(c.az_to_deg))
            continue;
        const double z0 = std::max(0.0, c.zen_from_deg);
        const double z1 = std::min(m.max_zen_deg, c.zen_to_deg);
        double a0 = c.az_from_deg, a1 = c.az_to_deg;
        if (!(z1 > z0)) continue;
        if (a1 < a0) a1 += 360;
        std::string& d = shade[std::size_t(map_shade(c.gap_fraction))];
        if (a1 - a0 >= 360) {  // a whole ring: two halves
            d += sector_path(m, z0, z1, a0, a0 + 180) + sector_path(m, z0, z1, a0 + 180, a0 + 360);
        } else {
            d += sector_path(m, z0, z1, a0, a1);
        }
    }
    for (int k = 0; k <= kMapShades + 1; ++k) {
        const std::string& d = shade[std::size_t(k)];
        if (d.empty()) continue;
        s += k > kMapShades ? "<path class=\"cell nopix\""
                            : "<path class=\"cell\" fill=\"" + shade_colour(k) + "\"";
        s += " d=\"" + d + "\"/>";
    }
    // Zenith circles every 30 degrees, one path, and the compass points.
    std::string circles;
    for (double z = 30; z <= m.max_zen_deg + 1e-9; z += 30) {
        const double r = m.radius * z / m.max_zen_deg;
        const std::string rs = svg_number(r);
        circles += "M" + svg_number(m.cx - r) + " " + svg_number(m.cy) + "a" + rs + " " + rs +
                   " 0 1 0 " + svg_number(2 * r) + " 0a" + rs + " " + rs + " 0 1 0 " +
                   svg_number(-2 * r) + " 0";
        text_at(&s, m.cx + r * 0.7071 + 2, m.cy + r * 0.7071 + 9, nullptr, label(z) + "&#176;",
                "lb zl");
    }
    s += "<path class=\"zc\" d=\"" + circles + "\"/>";
    const struct {
        const char* name;
        double az;
    } kPoints[] = {{"N", 0}, {"E", 90}, {"S", 180}, {"W", 270}};
    for (const auto& p : kPoints) {
        double x, y;
        m.point(m.max_zen_deg * 1.07, p.az, &x, &y);
        text_at(&s, x, y + 4, "middle", p.name, "lb cp");
    }

    // The sun track: paths split where the sun sets or jumps, in whole units, thinned to
    // vertices at least 3 units apart; sunflecks as dots, one per 3-unit square.
    struct Vertex {
        int x, y;
    };
    std::vector<std::vector<Vertex>> paths;
    std::set<std::pair<int, int>> dots;
    std::vector<Vertex> dot_list;
    bool open = false;
    Vertex last{0, 0};
    for (const SunSample& q : sun) {
        if (!std::isfinite(q.zenith_deg) || !std::isfinite(q.azimuth_deg) || q.zenith_deg < 0 ||
            q.zenith_deg >= m.max_zen_deg) {
            open = false;
            continue;
        }
        double x, y;
        m.point(q.zenith_deg, q.azimuth_deg, &x, &y);
        const Vertex v{int(std::lround(x)), int(std::lround(y))};
        const double jump = std::hypot(v.x - last.x, v.y - last.y);
        if (!open || jump > 20) {
            paths.push_back({v});
            open = true;
            last = v;
        } else if (jump >= 3) {
            paths.back().push_back(v);
            last = v;
        }
        if (q.visible && dots.insert({int(std::floor(x / 3)), int(std::floor(y / 3))}).second)
            dot_list.push_back(v);
    }
    std::size_t vertices = 0;
    for (const auto& p : paths) vertices += p.size();
    const std::size_t keep_every = vertices > std::size_t(kMaxSunVertices)
                                       ? (vertices + kMaxSunVertices - 1) / kMaxSunVertices
                                       : 1;
    if (!paths.empty()) {
        std::string d;
        for (std::size_t k = 0; k < paths.size(); k += keep_every) {
            const auto& p = paths[k];
            d += "M" + std::to_string(p[0].x) + " " + std::to_string(p[0].y);
            if (p.size() > 1) d += "l";
            for (std::size_t j = 1; j < p.size(); ++j) {
                const int dx = p[j].x - p[j - 1].x, dy = p[j].y - p[j - 1].y;
                if (j > 1 && dx >= 0) d += " ";
                d += std::to_string(dx);
                if (dy >= 0) d += " ";
                d += std::to_string(dy);
            }
        }
        s += "<path class=\"sun\" d=\"" + d + "\"/>";
    }
    if (!dot_list.empty()) {
        std::string d;
        for (const Vertex& v : dot_list)
            d += "M" + std::to_string(v.x) + " " + std::to_string(v.y) + "h0";
        s += "<path class=\"fleck\" d=\"" + d + "\"/>";
    }
    if (keep_every > 1)
        text_at(&s, 296, 296, "end",
                "sun: 1 path in " + label(double(keep_every)) + " of " +
                    label(double(paths.size())) + " drawn");
    return s + "</svg>";
}

std::string sky_map_legend_svg() {
    std::string s =
        "<svg class=\"fig\" viewBox=\"0 0 330 24\" width=\"330\" height=\"24\" "
        "role=\"img\" aria-label=\"legend of the sky maps\">";
    for (int k = 0; k <= 4; ++k) {
        s += "<rect class=\"cell\" x=\"" + std::to_string(6 + 18 * k) +
             "\" y=\"2\" width=\"18\" height=\"10\" fill=\"" + shade_colour(k * kMapShades / 4) +
             "\"/>";
    }
    text_at(&s, 6, 22, nullptr, "0");
    text_at(&s, 96, 22, "end", "1 gap fraction");
    s += "<rect class=\"cell nopix\" x=\"130\" y=\"2\" width=\"10\" height=\"10\"/>";
    text_at(&s, 144, 11, nullptr, "no pixels");
    line(&s, 200, 7, 216, 7, "sun");
    text_at(&s, 219, 11, nullptr, "sun track");
    s += "<path class=\"fleck\" d=\"M275 7h0\"/>";
    text_at(&s, 281, 11, nullptr, "sunfleck");
    return s + "</svg>";
}

std::string profile_svg(Quantity quantity, const std::vector<RingValue>& rings,
                        const std::vector<Curve>& curves) {
    constexpr double kLeft = 40, kRight = 310, kTop = 14, kBottom = 160;
    const bool gap = quantity == Quantity::kGapFraction;
    auto value_of = [gap](const RingValue& r) { return gap ? r.gap_fraction : r.contact_number; };
    // The value axis: 0..1 for the gap fraction; for the contact number from 0 (or the lowest
    // value) to a round number above the rings, curves allowed up to three times their top.
    double lo = 0, hi = 1;
    if (!gap) {
        double ring_top = 0, curve_top = 0;
        for (const RingValue& r : rings)
            if (std::isfinite(r.contact_number)) {
                ring_top = std::max(ring_top, r.contact_number);
                lo = std::min(lo, r.contact_number);
            }
        for (const Curve& c : curves)
            if (c.quantity == quantity)
                for (const auto& p : c.points)
                    if (std::isfinite(p.second)) curve_top = std::max(curve_top, p.second);
        double top =
            ring_top > 0 ? std::max(ring_top, std::min(curve_top, 3 * ring_top)) : curve_top;
        hi = nice_ceiling(top * 1.05);
        if (lo < 0) lo = -nice_ceiling(-lo);
    }
    const LinearScale x{0, 90, kLeft, kRight};
    const LinearScale y{lo, hi, kBottom, kTop};
    std::string s =
        "<svg class=\"fig\" viewBox=\"0 0 320 200\" width=\"320\" height=\"200\" "
        "role=\"img\" aria-label=\"";
    s += gap ? "gap fraction" : "contact number";
    s += " against the zenith angle\">";
    std::string grid, axes = "M" + svg_number(kLeft) + " " + svg_number(kTop) + "V" +
                             svg_number(kBottom) + "H" + svg_number(kRight);
    for (double t : nice_ticks(lo, hi, 5)) {
        grid += "M" + svg_number(kLeft) + " " + svg_number(y(t)) + "H" + svg_number(kRight);
        text_at(&s, kLeft - 4, y(t) + 4, "end", label(t));
    }
    for (int z = 0; z <= 90; z += 15) {
        axes += "M" + svg_number(x(z)) + " " + svg_number(kBottom) + "v4";
        if (z % 30 == 0) text_at(&s, x(z), kBottom + 15, "middle", label(z));
    }
    s += "<path class=\"grid\" d=\"" + grid + "\"/><path class=\"ax\" d=\"" + axes + "\"/>";
    text_at(&s, (kLeft + kRight) / 2, 196, "middle", "zenith angle (degrees)");
    text_at(&s, kLeft, kTop - 4, nullptr,
            gap ? "gap fraction P" : "contact number &#8722;ln(P) cos&#952;");
    // The plot area clips curves that leave it (an inner svg element clips by default).
    s += "<svg x=\"" + svg_number(kLeft) + "\" y=\"" + svg_number(kTop) + "\" width=\"" +
         svg_number(kRight - kLeft) + "\" height=\"" + svg_number(kBottom - kTop) +
         "\" viewBox=\"" + svg_number(kLeft) + " " + svg_number(kTop) + " " +
         svg_number(kRight - kLeft) + " " + svg_number(kBottom - kTop) + "\">";
    int index = 0;
    std::string legend;
    for (const Curve& c : curves) {
        if (c.quantity != quantity) continue;
        const std::string cls = "c" + std::to_string(index % 6);
        std::string d;
        bool pen_down = false;
        for (const auto& p : c.points) {
            if (!std::isfinite(p.first) || !std::isfinite(p.second)) {
                pen_down = false;
                continue;
            }
            d += (pen_down ? "L" : "M") + svg_number(x(p.first)) + " " +
                 svg_number(y(std::max(lo - (hi - lo), std::min(p.second, hi + (hi - lo)))));
            pen_down = true;
        }
        if (!d.empty()) s += "<path class=\"curve " + cls + "\" d=\"" + d + "\"/>";
        const double ly = kTop + 10 + 12 * index;
        line(&legend, kRight - 96, ly - 4, kRight - 82, ly - 4, ("curve " + cls).c_str());
        text_at(&legend, kRight - 79, ly, nullptr, escape_html(c.method), "lb lg");
        ++index;
    }
    for (const RingValue& r : rings) {
        const double v = value_of(r);
        if (!std::isfinite(v) || !std::isfinite(r.zenith_deg)) continue;
        s += "<circle class=\"pt\" cx=\"" + svg_number(x(r.zenith_deg)) + "\" cy=\"" +
             svg_number(y(v)) + "\" r=\"3\"/>";
    }
    s += "</svg>" + legend;
    return s + "</svg>";
}

}  // namespace htmlreport
