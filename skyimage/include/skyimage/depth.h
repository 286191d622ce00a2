// skyimage: a photograph at its full depth, 8 or 16 bits, on its way to the working image.
//
// A 16-bit photograph is separated into sky and canopy on its 16-bit samples: the histogram of
// its disc has 65536 levels (threshold.h chooses on it) and a fixed threshold is a 16-bit value.
// The order of the steps for any photograph:
//   locate the disc (analysis.h), build_cell_map for the working image of the disc's bounding
//   square (cells.h), disc_levels for the histogram, choose the threshold, classify_photo, crop
//   to the square (bitmap.h), count_with_map.
// For an 8-bit photograph these are the very steps of the interactive analysis. Crop cuts the
// 8-bit image only: `wide` keeps the whole photograph's samples.
#pragma once

#include <cstdint>
#include <vector>

#include "skyimage/cells.h"
#include "skyimage/photo.h"

namespace skyimage {

// Number of levels of the photograph's samples: 256 or 65536.
inline int sample_levels(const Photo& photo) { return photo.depth() == 16 ? 65536 : 256; }

// Histogram of the samples of the photograph (not yet cut) that fall in a cell of MAP, the cell
// map of the working image whose top-left corner is source column X0, row Y0. HIST is resized
// to sample_levels(photo); OUTSIDE counts the cell pixels that lie beyond the photograph.
void disc_levels(const Photo& photo, std::int64_t x0, std::int64_t y0, const CellMap& map,
                 std::vector<std::uint64_t>* hist, std::int64_t* outside);

// Makes the photograph's 8-bit image the sky (255) and canopy (0) image of THRESHOLD on its
// samples: 255 where a sample exceeds THRESHOLD, otherwise 0, at full depth (the 16-bit
// samples of a 16-bit photograph are left as they were). Then crop as usual.
void classify_photo(Photo* photo, int threshold);

}  // namespace skyimage
