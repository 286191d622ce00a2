// skyimage: the sky cell of every pixel of a working image, and the counts per cell.
//
// The working image (see bitmap.h) holds the sky disc centred on column W/2, row H/2 with a
// radius of W/2 pixels. A pixel at DX columns right of and DY rows above the centre lies at
// distance r = hypot(DX, DY); its zenith ring follows from r through the lens (lens.h), its
// azimuth sector from its picture angle: azimuth 0 points to the top of the picture turned
// counter-clockwise by the magnetic declination (degrees, East positive) and grows
// counter-clockwise on the displayed picture. A pixel on the rim (r = R), or beyond the lens's
// horizon, is counted in no cell.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "angles/angles.h"
#include "gapdata/gapdata.h"
#include "skyimage/bitmap.h"
#include "skyimage/lens.h"

namespace skyimage {

// The angle subtracted from a pixel's picture angle to give its azimuth.
inline double azimuth_turn(double declination) {
    return angles::kPi * declination / 180 + angles::kPi / 2;
}

// Sector of the pixel at DX columns right of and DY rows above the disc centre, for na sectors
// and the TURN of azimuth_turn.
inline int sector_index(int dx, int dy, int na, double turn) {
    const double two_pi = 2 * angles::kPi;
    double phi = 0;  // the centre pixel has picture angle 0
    if (dx != 0 || dy != 0) {
        phi = std::atan2(double(dy), double(dx));
        if (phi < 0) phi += two_pi;
    }
    phi = phi - turn;
    if (phi < 0) phi += two_pi;
    if (phi >= two_pi) phi -= two_pi;
    const int ia = int(na * (phi / two_pi));
    return ia < na ? ia : na - 1;  // guard for the table; phi < 2 pi keeps it below na
}

// Counts all pixels and sky (non-zero) pixels of the working image per cell of nz rings by na
// sectors into COUNTS, which it resets to that shape.
void count_cells(const t_Bitmap& working, const Lens& lens, int nz, int na, double declination,
                 gapdata::Counts* counts);

// The cell (ring * na + sector) of every pixel of a W x H working image, or kOutside.
constexpr std::uint16_t kOutside = 0xFFFF;
struct CellMap {
    int w = -1, h = -1, nz = 0, na = 0;
    Lens lens;
    double declination = 0;
    std::vector<std::uint16_t> cell;
};

// Rebuilds MAP unless it already holds this geometry.
void build_cell_map(int w, int h, const Lens& lens, int nz, int na, double declination,
                    CellMap* map);

// Histogram of the grey levels of the working image's pixels that fall in a cell and come from
// the photograph (SOURCE_W x SOURCE_H, cut by the square whose top-left corner is source column
// X0, row Y0); counts in OUTSIDE the cell pixels that lie beyond the photograph.
void disc_histogram(const t_Bitmap& working, std::int64_t x0, std::int64_t y0, int source_w,
                    int source_h, const CellMap& map, std::uint64_t (&hist)[256],
                    std::int64_t* outside);

// Counts all pixels and sky (non-zero) pixels per cell of the map into COUNTS.
void count_with_map(const t_Bitmap& working, const CellMap& map, gapdata::Counts* counts);

// Sets to mid-grey (128) the pixels of IMAGE (the map's size) on the rim of the counted disc
// and on the ring and sector boundaries; lines thicken with the image so that they show on a
// whole large photograph.
void draw_overlay(const CellMap& map, std::uint8_t* image);

}  // namespace skyimage
