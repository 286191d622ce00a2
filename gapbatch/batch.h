// gapbatch's work on one photograph and on a whole batch: options, the sky disc, the cell of
// every pixel, the threshold, the counts, the gap-fraction file, the overlay and the summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bitmap.h"
#include "gapdata/gapdata.h"
#include "lens.h"
#include "photo.h"
#include "threshold.h"

namespace gapbatch {

struct Options {
    bool has_points = false;
    int points[6] = {0, 0, 0, 0, 0, 0};  // x1, y1, x2, y2, x3, y3
    bool has_circle = false;
    int circle_cx = 0, circle_cy = 0;
    double circle_radius = 0;
    Lens lens;
    bool fov_given = false;
    ThresholdMethod method = ThresholdMethod::kRidler;
    int threshold = 0;  // with kFixed
    Channel channel = Channel::kBlue;
    int nz = 9;
    int na = 8;
    double declination = 0;  // degrees, East positive
    const char* out_dir = nullptr;
    const char* summary = nullptr;
    const char* overlay = nullptr;
    const char* overlay_dir = nullptr;
    bool quiet = false;
    bool help = false;
    std::vector<const char*> photos;
};

constexpr int kMessageSize = 400;

// Reads the command line. Returns false with a one-line reason in PROBLEM when it cannot be
// used (an unknown option, a value out of range, conflicting options, no photograph).
bool parse_options(int argc, char** argv, Options* options, char (&problem)[kMessageSize]);

void write_usage(std::FILE* out, const char* argv0);
void write_help(std::FILE* out, const char* argv0);

// The sky disc of one photograph in its own coordinates and its bounding square, which
// becomes the working image: gapimage's circle and crop (bounds truncated toward zero).
using Disc = gapimage::Circle;

// The disc the options give for a WIDTH x HEIGHT photograph: the circle through the three
// points, the given circle, or the image centre with radius min(width, height) / 2. Returns
// null or the reason the disc cannot be used with this photograph.
const char* disc_for(const Options& options, int width, int height, Disc* disc);

// The cell (ring * na + sector) of every pixel of a W x H working image, or kOutside. The
// sky disc is centred on column W/2, row H/2 with radius W/2; azimuth 0 points to the top of
// the picture turned counter-clockwise by the declination and grows counter-clockwise.
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

// Histogram of the working image's pixels that fall in a cell and come from the photograph
// (SOURCE_W x SOURCE_H, cropped by DISC); counts in OUTSIDE the cell pixels that lie beyond
// the photograph (filled with 0 by the crop).
void disc_histogram(const t_Bitmap& working, const Disc& disc, int source_w, int source_h,
                    const CellMap& map, Histogram& hist, std::int64_t* outside);

// Counts all pixels and sky (non-zero) pixels per cell.
void count_with_map(const t_Bitmap& working, const CellMap& map, gapdata::CountTable& pixels,
                    gapdata::CountTable& gaps);

// Total gap (mean cell gap fraction) and canopy openness (cells weighted by solid angle), as
// the LAI programs compute them on flat ground, from the unrounded cell fractions.
gapdata::Openness<double> summarise(int nz, int na, const gapdata::CountTable& pixels,
                                    const gapdata::CountTable& gaps);

// The working image with the rim of the counted disc and the ring and sector boundaries set
// to mid-grey (128).
void draw_overlay(const CellMap& map, std::uint8_t* image);

// Makes folder PATH (one level) unless it exists. Returns false when it neither exists as a
// folder nor can be made.
bool make_folder(const char* path);

// "<stem>.gapfract.txt" (or another suffix) in DIR, or beside the photograph when DIR is null.
std::string output_path(const char* photo, const char* dir, const char* suffix);

// One summary row. A failed photograph has only its name.
struct Row {
    std::string photo;
    bool ok = false;
    int width = 0, height = 0;
    Disc disc;
    std::string lens;
    const char* method = "";
    bool has_threshold = false;
    int threshold = 0;
    int nz = 0, na = 0;
    gapdata::Openness<double> openness;
    std::int64_t sky_pixels = 0, disc_pixels = 0;
};
void write_summary_header(std::FILE* out);
void write_summary_row(std::FILE* out, const Row& row);

// Everything one photograph needs that is worth keeping from one photograph to the next.
struct Workspace {
    Photo photo;  // the photograph, then its working image
    CellMap map;
    std::set<std::string> written;  // output files of this run, so none is overwritten
};

// Analyses one photograph: writes its gap-fraction file (and overlay) and fills ROW. Returns
// false with the reason in PROBLEM. WARNING receives a note that does not fail the photograph
// (disc pixels beyond the picture), or stays empty.
bool process_photo(const Options& options, const char* path, Workspace* work, Row* row,
                   char (&problem)[kMessageSize], char (&warning)[kMessageSize]);

}  // namespace gapbatch
