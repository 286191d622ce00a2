#include "skyimage/depth.h"

#include <algorithm>

namespace skyimage {

void disc_levels(const Photo& photo, std::int64_t x0, std::int64_t y0, const CellMap& map,
                 std::vector<std::uint64_t>* hist, std::int64_t* outside) {
    hist->assign(std::size_t(sample_levels(photo)), 0);
    *outside = 0;
    const std::int64_t source_w = photo.bmp.width, source_h = photo.bmp.height;
    const bool wide = photo.depth() == 16;
    std::uint64_t* count = hist->data();
    for (int j = 0; j < map.h; ++j) {
        const std::int64_t sy = y0 + j;
        const std::size_t row = std::size_t(j) * std::size_t(map.w);
        for (int i = 0; i < map.w; ++i) {
            if (map.cell[row + std::size_t(i)] == kOutside) continue;
            const std::int64_t sx = x0 + i;
            if (sx < 0 || sx >= source_w || sy < 0 || sy >= source_h) {
                ++*outside;
                continue;
            }
            const std::size_t k = std::size_t(sy * source_w + sx);
            ++count[wide ? photo.wide[k] : photo.bmp.data[k]];
        }
    }
}

void classify_photo(Photo* photo, int threshold) {
    if (photo->depth() != 16) {
        threshold_pixels(&photo->bmp, threshold);
        return;
    }
    std::uint8_t* out = photo->bmp.data;
    const std::uint16_t* in = photo->wide.data();
    const std::size_t n = photo->wide.size();
    for (std::size_t k = 0; k < n; ++k) out[k] = in[k] > threshold ? 255 : 0;
}

}  // namespace skyimage
