// canopysim: the fish-eye picture of a simulated canopy, its BMP file and its truth table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "canopysim/canopy.h"
#include "skyimage/lens.h"

namespace canopysim {

using skyimage::Lens;

// The picture: a square of size x size pixels holding the sky disc of the given radius around
// the pixel (size/2, size/2). Pixel (x, y) is column x from the left and row y from the top; it
// lies at distance hypot(x - cx, cy - y) from the centre, the same integer geometry that the
// gap-fraction analysis applies after cropping the picture to the disc's bounding square.
// The top of the picture is north and east is on the left, as seen looking up.
struct PictureParams {
    int size = 1000;
    int radius = 499;
    Lens lens;  // equidistant unless set
    bool binary = false;
    std::uint64_t seed = 1;  // for the tone noise
    // Outside the disc of a toned picture: a black frame (levels 0 to 4, darker than any leaf)
    // as in a real photograph, instead of the dark background (0 to 12).
    bool black_frame = false;
};

// The square picture placed with its top-left corner at column X, row Y of a W x H photograph
// whose other pixels are frame (for photographs whose disc is off their centre).
struct FrameParams {
    int w = 0, h = 0;  // 0: no frame beyond the square
    int x = 0, y = 0;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // row by row, top row first
};

// Zenith angle (radians) of a point at distance r from the centre of a disc of radius R.
double zenith_of_radius(double r, double radius, const Lens& lens);

// The unit view direction (x east, y north, z up) of the pixel at (dx, dy) from the centre
// (dy up), or false when the pixel lies outside the disc.
bool pixel_direction(int dx, int dy, int radius, const Lens& lens, double dir[3]);

// Grey levels of a toned picture. Sky brightens towards the zenith; leaves are dark, each with
// its own shade; both carry mild noise. Any threshold between the brightest leaf (about 100)
// and the darkest sky (about 150) separates them; kSuggestedThreshold lies between.
constexpr int kSuggestedThreshold = 128;
std::uint8_t sky_grey(double zenith_rad, double noise);
std::uint8_t leaf_grey(double leaf_tone, double noise);
std::uint8_t frame_grey(double noise);  // 0 .. 4

// Renders the picture: one ray through every pixel inside the disc; sky 255 and leaves 0 in
// a binary picture; 0 outside the disc (dark background with noise in a toned one).
Picture render(const Canopy& canopy, const PictureParams& params);

// The square PICTURE inside a W x H frame (FRAME), the frame's pixels black with noise of their
// own (SEED), or 0 in a binary picture.
Picture framed(const Picture& picture, const FrameParams& frame, bool binary, std::uint64_t seed);

// Three points on the rim of the disc, from which the circle's centre and radius come out
// exactly: top, left and right of the disc.
struct RimPoints {
    int x[3], y[3];
};
RimPoints rim_points(const PictureParams& params);

// The truth of one zenith ring of the analysis grid: ring i of nz covers zenith angles from
// 90 i / nz to 90 (i + 1) / nz degrees, with the pixels assigned as the analysis assigns them.
struct RingTruth {
    double from_deg, to_deg, centre_deg;
    double g_centre;      // G at the ring centre
    double p_centre;      // exp(-G L / cos) at the ring centre, Poisson canopy
    double p_mean;        // the same, averaged over the ring's pixels
    double p_rendered;    // fraction of the ring's pixels that show sky in the picture
    std::int64_t pixels;  // pixels of the ring
};

// The expected gap fraction of every ring for a Poisson canopy of leaf area index lai (the
// realised one), and what the picture shows.
std::vector<RingTruth> ring_truth(const Picture& picture, const PictureParams& params,
                                  const LeafAngles& angles, double lai, int rings);

}  // namespace canopysim
