// htmlreport: the pieces of the page: escaped text, compact SVG numbers, linear scales and
// the inline SVG figures (histogram, polar sky map with the sun track, ring profiles).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "htmlreport/htmlreport.h"

namespace htmlreport {

// TEXT for HTML text or a quoted attribute value: & < > " ' as character references; bytes
// that are not valid UTF-8, and control characters other than tab and line feed, as U+FFFD.
std::string escape_html(const std::string& text);

// V with at most one decimal and no trailing ".0" ("12.3", "-4", "0"); "0" for anything not
// finite. SVG coordinates of a figure a few hundred units wide need no more.
std::string svg_number(double v);

// The affine map from the domain [d0, d1] onto the range [r0, r1]; r0 for an empty domain.
struct LinearScale {
    double d0 = 0, d1 = 1, r0 = 0, r1 = 1;
    double operator()(double v) const {
        return d1 == d0 ? r0 : r0 + (v - d0) * (r1 - r0) / (d1 - d0);
    }
};

// The smallest of 1, 2, 2.5, 5 times a power of ten that is >= V (V > 0); 1 otherwise.
double nice_ceiling(double v);

// Tick values k * step from LO to HI inclusive (within rounding), STEP the nice ceiling of
// (hi - lo) / max_ticks. Empty when hi <= lo or max_ticks < 1.
std::vector<double> nice_ticks(double lo, double hi, int max_ticks);

// The sky map's projection: the point of zenith angle ZEN and compass azimuth AZ (degrees) on
// a map centred at (cx, cy) whose rim (radius) is the zenith angle max_zen_deg, seen from
// below: north up, east left. x = cx - r sin(az), y = cy - r cos(az), r = radius zen / max.
struct PolarMap {
    double cx = 0, cy = 0, radius = 1, max_zen_deg = 90;
    void point(double zen_deg, double az_deg, double* x, double* y) const;
};

// The figures, each a complete <svg> element.
// Histogram of the grey levels (256 or 65536 levels; drawn in at most 256 bars) with the
// threshold (on the histogram's scale; < 0 for none) marked.
std::string histogram_svg(const std::vector<std::uint64_t>& histogram, int threshold);
// The gap fraction of every cell in kMapShades + 1 greys (black 0, white 1; a colour of its own
// where a cell has no pixel), with the sun track: its path thin, the samples where the sun is
// visible as sunflecks. The legend is drawn once for the page by sky_map_legend_svg.
constexpr int kMapShades = 32;
std::string sky_map_svg(const std::vector<CellGap>& cells, const std::vector<SunSample>& sun);
std::string sky_map_legend_svg();
// The ring values of QUANTITY against the zenith angle, with the curves of that quantity.
std::string profile_svg(Quantity quantity, const std::vector<RingValue>& rings,
                        const std::vector<Curve>& curves);

// The most sun-track vertices a sky map draws; a longer track is thinned to whole paths.
constexpr int kMaxSunVertices = 2500;

}  // namespace htmlreport
