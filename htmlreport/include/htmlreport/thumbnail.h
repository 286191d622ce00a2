// htmlreport: the thumbnail of a photograph, drawn with the cells that were counted.
//
// The thumbnail covers the photograph and the bounding square of its sky disc (a disc that
// reaches beyond the photograph shows whole), shrunk so that its longer side is at most
// kMaxThumbnail pixels; it is never enlarged. Each thumbnail pixel stands for a block of
// photograph pixels:
//   - its grey level is the block's mean;
//   - its cell is the cell of the photograph pixel at the block's centre, found with the very
//     geometry of the analysis: the disc's bounding square (skyimage::square_around), centre on
//     its column w/2 and row h/2, radius w/2, ring by skyimage::ring_index, sector by
//     skyimage::sector_index with skyimage::azimuth_turn;
//   - outside every cell it is dimmed to half its grey; inside, it is tinted as sky when at
//     least half of the block is sky (a pixel beyond the photograph counts as canopy, as the
//     analysis counts it);
//   - the rim of the counted disc is drawn on both sides of the boundary between counted and
//     uncounted pixels; ring and sector lines on a counted pixel whose right or lower
//     neighbour lies in another cell.
// The image is held as indices into one fixed palette of 256 colours, so that it is written
// as an 8-bit palette PNG or BMP.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "htmlreport/htmlreport.h"

namespace htmlreport {

constexpr int kMaxThumbnail = 320;

// Palette: 32 grey levels, then (from 64) 32 sky-tinted levels, then the drawing colours.
// 32 levels at 320 pixels show what was counted and keep a detailed photograph's thumbnail
// near 45 kB, so that the page of 1 000 photographs with its thumbnails stays under 50 MB.
constexpr int kGreyFirst = 0;
constexpr int kGreyLevels = 32;
constexpr int kSkyFirst = 64;
constexpr int kSkyLevels = 32;
constexpr int kRimColour = 240;      // the rim of the counted disc
constexpr int kGridColour = 241;     // ring and sector boundaries
constexpr int kBeyondColour = 242;   // beyond the photograph, in no cell
constexpr int kMissingColour = 243;  // beyond the photograph but in a cell (counted as canopy)
constexpr int kPaletteSize = 256;

// The RGB colour of palette entry INDEX (0..255).
void palette_rgb(int index, std::uint8_t rgb[3]);

// The palette index of grey level G (0..255) shown plainly, and tinted as sky.
inline int grey_index(int g) { return kGreyFirst + g * (kGreyLevels - 1) / 255; }
inline int sky_index(int g) { return kSkyFirst + g * (kSkyLevels - 1) / 255; }

struct Thumbnail {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // palette indices, top row first
    // Photograph coordinates of the thumbnail's top-left corner and photograph pixels per
    // thumbnail pixel (the canvas width over the thumbnail width).
    std::int64_t x0 = 0, y0 = 0;
    std::int64_t canvas_w = 0, canvas_h = 0;
};

// The photograph pixel at the centre of thumbnail pixel (u, v): its column and row.
std::int64_t source_column(const Thumbnail& t, int u);
std::int64_t source_row(const Thumbnail& t, int v);

// Draws the thumbnail of A's photograph. Returns false, leaving T empty, with the reason in
// WHY when there is nothing to draw (no pixels, a null mask, a grid of no cells or with more
// than 65535, a lens that cannot be used, an unusable disc).
bool make_thumbnail(const Analysis& a, Thumbnail* t, std::string* why);

// Writes T as an 8-bit palette BMP (40-byte info header, bottom-up rows padded to 4 bytes).
// False when a write fails.
bool write_palette_bmp(std::FILE* out, const Thumbnail& t);

// Writes T as an 8-bit palette PNG. False when a write fails or the build has no libpng.
bool write_palette_png(std::FILE* out, const Thumbnail& t);

}  // namespace htmlreport
