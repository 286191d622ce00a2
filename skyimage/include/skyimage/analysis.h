// skyimage: one photograph from file to counts per sky cell, without a question asked.
//
// The photograph is read (photo.h), its sky disc located (given by three rim points, by centre
// and radius, found from the border of the black frame, or assumed as the image centre with half
// the shorter side), seen through the disc's bounding square as the working image, separated
// into sky and canopy (a fixed threshold, an automatic one from the histogram of the disc, or an
// image classified already) and counted per cell of the grid by stretches of pixels
// (stretches.h). Every pixel lands in the cell and class the interactive analysis gives it, so
// that a photograph gives the same gap-fraction file either way; no working copy is cut and no
// threshold pass made. A 16-bit photograph is separated on its 16-bit samples (depth.h). Nothing
// is written: the caller writes the counts, the overlay and its table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/find_disc.h"
#include "skyimage/lens.h"
#include "skyimage/photo.h"
#include "skyimage/stretches.h"
#include "skyimage/threshold.h"

namespace skyimage {

// Where the sky disc of a photograph comes from.
enum class DiscSource { kPoints, kCircle, kFound, kAssumed };

struct DiscSetting {
    DiscSource source = DiscSource::kAssumed;
    int points[6] = {0, 0, 0, 0, 0, 0};  // kPoints: x1, y1, x2, y2, x3, y3
    int cx = 0, cy = 0;                  // kCircle: centre column and row
    double radius = 0;                   // kCircle: radius in pixels
};

// The disc that GIVEN sets for a WIDTH x HEIGHT photograph, with its bounding square. Returns null
// or the reason the disc cannot be used with this photograph. (kFound: the caller finds the
// disc and passes it as kCircle.)
const char* locate_disc(const DiscSetting& given, int width, int height, Circle* disc);

// The disc found in PHOTO (find_disc) as a circle of whole-pixel centre and its radius, with its
// bounding square; FIT receives the fit. Null, or the reason no disc was found or it cannot be
// used.
const char* found_disc(const Photo& photo, Circle* disc, DiscFit* fit);

struct PhotoSettings {
    DiscSetting disc;
    Lens lens;
    ThresholdMethod method = ThresholdMethod::kRidler;
    int threshold = 0;  // kFixed
    Channel channel = Channel::kBlue;
    int nz = 9;
    int na = 8;
    double declination = 0;  // degrees, East positive
    bool overlay = false;    // keep the working image with the grid drawn in
    bool histogram = false;  // the disc's histogram also where the threshold needs none
};

// What one photograph gave.
struct PhotoResult {
    int width = 0, height = 0;  // the photograph
    PhotoInfo info;             // its format and depth: a threshold is on its depth's scale
    Circle disc;
    bool disc_found = false;  // found by find_disc: FIT holds the fit
    DiscFit fit;
    bool has_threshold = false;
    int threshold = 0;  // on the photograph's scale: 0..255, or 0..65535 at 16 bits
    gapdata::Counts counts;
    std::int64_t sky_pixels = 0, disc_pixels = 0;  // over every cell
    std::int64_t outside = 0;  // cell pixels beyond the photograph, counted as canopy
    // Levels of the disc pixels from the photograph (a 16-bit photograph's in 256 bins of 256
    // levels); filled for the automatic thresholds, when asked, and when the disc reaches
    // beyond the photograph.
    bool has_histogram = false;
    std::uint64_t histogram[256] = {};
    // The working image as the counts saw it: the photograph in the workspace through the
    // disc's square, binarised by the threshold or taken as classified (sky non-zero). Valid
    // while the workspace holds this photograph.
    WorkingView view;
    // The working image, sky 255 and canopy 0 (as classified), with the grid in mid-grey;
    // filled when the settings ask for an overlay.
    std::vector<std::uint8_t> overlay;
    int overlay_w = 0, overlay_h = 0;
};

// Buffers worth keeping from one photograph to the next: the photograph and the cell map of
// the last geometry (for overlays and 16-bit histograms). One per thread. After process_photo
// the photograph's record holds the photograph as read, but for a 16-bit one, whose 8-bit image
// is then classified (sky 255, canopy 0).
struct Workspace {
    Photo photo;
    CellMap map;
    std::vector<std::uint64_t> levels;  // a 16-bit photograph's histogram
};

// Analyses the photograph PATH. Returns false with a one-line reason in PROBLEM (read failure,
// unusable disc, no memory for the working image, no automatic threshold).
bool process_photo(const char* path, const PhotoSettings& settings, Workspace* work,
                   PhotoResult* result, std::string* problem);

}  // namespace skyimage
