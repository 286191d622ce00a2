// skyimage: whether the sun is seen from under the canopy, pixel by pixel along its track.
//
// A direction of the sky (zenith angle, compass azimuth) falls on one pixel of the working image
// (cells.h): the inverse of the mapping count_cells uses. Its distance from the disc centre is
// r = rho R, rho the normalised radius whose lens zenith angle is the direction's (the lens
// mapping inverted numerically by bisection, so that it serves every lens kind); its picture
// angle is the azimuth plus azimuth_turn(declination), i.e. azimuth 0 points to the top of the
// picture turned counter-clockwise by the declination (East positive) and azimuth grows
// counter-clockwise on the displayed picture. The pixel is the one whose centre lies nearest
// that point, so a direction more than a pixel from every cell boundary falls on a pixel that
// count_cells counts in the cell holding that direction.
#pragma once

#include <cstdint>

#include "skyimage/lens.h"
#include "skyimage/stretches.h"

namespace skyimage {

// Normalised radius rho in [0, 1] at which the lens sees zenith angle ZENITH_DEG: the root of
// zenith_deg(lens, rho) = ZENITH_DEG found by bisection (60 halvings of [0, 1]; zenith_deg
// rises with rho for every lens that lens_problem accepts). -1 when the angle is negative, not a
// number, or beyond the rim (rim_zenith_deg).
double radius_of_zenith(const Lens& lens, double zenith_deg);

// A pixel of the working image, as offsets from the disc centre (column W/2, row H/2): DX
// columns to the right, DY rows up, i.e. column W/2 + DX, row H/2 - DY.
struct DiscPixel {
    bool in_disc = false;  // false: the direction lies in no cell of the disc
    int dx = 0;
    int dy = 0;
};

// The pixel of a working image W pixels wide (disc radius R = W/2) that the direction (zenith
// ZENITH_DEG, compass azimuth AZIMUTH_DEG, degrees) falls on, under LENS and DECLINATION
// (degrees, East positive). Not in the disc when the zenith angle is 90 degrees or more, beyond
// the lens's rim, or not a number, or when W < 2. A direction just inside the rim whose nearest
// pixel lies on or beyond it takes the neighbour toward the centre, which count_cells counts.
DiscPixel direction_pixel(const Lens& lens, int w, double declination, double zenith_deg,
                          double azimuth_deg);

// How a pixel value tells sky from canopy.
enum class SkyTest {
    kAboveThreshold,  // the photograph's grey level: sky when value > threshold
    kNonZero,         // a thresholded or classified image: sky when value != 0
};

// Where the working image's pixels come from: the photograph (or the working image itself, with
// X0 = Y0 = 0 and W x H its size) and the disc's bounding square in it. Pixels of the square
// beyond the photograph are canopy, as cutting the working image makes them.
struct ImageView {
    const std::uint8_t* pixels = nullptr;  // WIDTH x HEIGHT grey levels, the top row first
    int width = 0;
    int height = 0;
    std::int64_t x0 = 0;  // column of the square's top-left corner in the photograph
    std::int64_t y0 = 0;  // row of that corner
    int w = 0;            // the square: width and height of the working image
    int h = 0;
    SkyTest test = SkyTest::kNonZero;
    int threshold = 0;  // kAboveThreshold only
};

// The view of the working image WORKING stands for: its photograph, square and sky rule (above
// the threshold when binarised, otherwise non-zero).
ImageView image_view_of(const WorkingView& working);

// What the pixel a direction falls on shows.
enum class Sight {
    kSky,      // the sun there is seen
    kCanopy,   // hidden by the canopy, or beyond the edge of the photograph
    kNoCell,  // the direction lies in no cell (below the horizon, beyond the lens's rim)
};

// What the pixel P of the working image shows in VIEW (P from direction_pixel for a working
// image VIEW.w wide). kNoCell when P is not in the disc or the view has no pixels.
Sight sight_at(const ImageView& view, const DiscPixel& p);

// The sight of the direction (zenith, compass azimuth) in the photograph VIEW taken through
// LENS with DECLINATION: sight_at of its direction_pixel. kNoCell also for a view without
// pixels.
Sight sun_sight(const ImageView& view, const Lens& lens, double declination, double zenith_deg,
                double azimuth_deg);

}  // namespace skyimage
