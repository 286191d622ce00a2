// skyimage: one photograph from file to counts per sky cell, without a question asked.
//
// The photograph is read (photo.h), its sky disc located (given by three rim points, by centre
// and radius, or assumed as the image centre with half the shorter side), cut to the working
// image, separated into sky and canopy (a fixed threshold, an automatic one from the histogram
// of the disc, or an image classified already) and counted per cell of the grid (cells.h). Every
// step is the interactive analysis's own, so that a photograph gives the same gap-fraction file
// either way. Nothing is written: the caller writes the counts, the overlay and its table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/lens.h"
#include "skyimage/photo.h"
#include "skyimage/threshold.h"

namespace skyimage {

// Where the sky disc of a photograph comes from.
enum class DiscSource { kPoints, kCircle, kAssumed };

struct DiscSpec {
    DiscSource source = DiscSource::kAssumed;
    int points[6] = {0, 0, 0, 0, 0, 0};  // kPoints: x1, y1, x2, y2, x3, y3
    int cx = 0, cy = 0;                  // kCircle: centre column and row
    double radius = 0;                   // kCircle: radius in pixels
};

// The disc SPEC gives for a WIDTH x HEIGHT photograph, with its bounding square. Returns null
// or the reason the disc cannot be used with this photograph.
const char* locate_disc(const DiscSpec& spec, int width, int height, Circle* disc);

struct PhotoSettings {
    DiscSpec disc;
    Lens lens;
    ThresholdMethod method = ThresholdMethod::kRidler;
    int threshold = 0;  // kFixed
    Channel channel = Channel::kBlue;
    int nz = 9;
    int na = 8;
    double declination = 0;  // degrees, East positive
    bool overlay = false;    // keep the working image with the grid drawn in
};

// What one photograph gave.
struct PhotoResult {
    int width = 0, height = 0;  // the photograph
    Circle disc;
    bool has_threshold = false;
    int threshold = 0;
    gapdata::Counts counts;
    std::int64_t sky_pixels = 0, disc_pixels = 0;  // over every cell
    std::int64_t outside = 0;  // cell pixels beyond the photograph, counted as canopy
    std::uint64_t histogram[256] = {};  // grey levels of the disc pixels from the photograph
    // The working image, sky 255 and canopy 0 (as classified), with the grid in mid-grey;
    // filled when the settings ask for an overlay.
    std::vector<std::uint8_t> overlay;
    int overlay_w = 0, overlay_h = 0;
};

// Buffers worth keeping from one photograph to the next: the photograph and the cell map of
// the last geometry. One per thread. After process_photo the photograph's record holds the
// working image, classified (sky non-zero, canopy 0).
struct Workspace {
    Photo photo;
    CellMap map;
};

// Analyses the photograph PATH. Returns false with a one-line reason in PROBLEM (read failure,
// unusable disc, no memory for the working image, no automatic threshold).
bool process_photo(const char* path, const PhotoSettings& settings, Workspace* work,
                   PhotoResult* result, std::string* problem);

}  // namespace skyimage
