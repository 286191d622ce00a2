// A synthetic hemispherical photograph for timing: a 6000 x 4000 8-bit image whose sky disc
// (centre (3000, 2000), radius 2000) holds blocky sky and canopy patches of varied grey, on a
// black background.
#pragma once

#include "skyimage/bitmap.h"

namespace bench {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int kCentreX = 3000, kCentreY = 2000, kRadius = 2000;

// Fills the record (header fields of a classic 8-bit file with a 256-entry grey palette).
void make_photo(skyimage::t_Bitmap* bmp);

}  // namespace bench
