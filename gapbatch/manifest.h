// gapbatch: the manifest, a CSV file naming the photographs and the settings of each.
//
// A header row, then one row per photograph. The column `photo` holds its path, relative to the
// manifest's folder unless absolute; any other column is a per-photo setting named as its flag
// without dashes (points, circle, lens, fov, threshold, auto, classified, channel, declination,
// lat, lon, elev, days), its cells written as on the command line (quoted where they hold
// commas). An empty cell takes the value the flags give.
#pragma once

#include <string>
#include <vector>

#include "settings.h"

namespace gapbatch {

// Reads the manifest PATH; every photograph starts from DEFAULTS. False, with one line
// "PATH: problem" naming the row and column, for an unknown column, a bad cell, a row whose
// settings conflict, or a manifest without photographs. Nothing is read of any photograph.
bool read_manifest(const char* path, const PhotoJob& defaults, std::vector<PhotoJob>* jobs,
                   std::string* why);

}  // namespace gapbatch
