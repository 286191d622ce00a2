#include "synthetic.h"

#include <cstdint>

namespace bench {

void make_photo(skyimage::t_Bitmap* bmp) {
    *bmp = skyimage::t_Bitmap{};
    bmp->fileType = 0x4D42;
    bmp->pixelOffset = 54 + 1024;
    bmp->headerSize = 40;
    bmp->width = kWidth;
    bmp->height = kHeight;
    bmp->planes = 1;
    bmp->bitCount = 8;
    bmp->imageSize = std::uint32_t(kWidth) * kHeight;  // 6000 is a multiple of 4: no fill
    bmp->fileSize = bmp->imageSize + bmp->pixelOffset;
    bmp->coloursUsed = 256;
    bmp->palette = new std::uint32_t[256];
    for (std::uint32_t i = 0; i < 256; ++i) bmp->palette[i] = i * 0x010101u;
    bmp->data = new std::uint8_t[std::size_t(kWidth) * kHeight];
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::int64_t dx = x - kCentreX, dy = y - kCentreY;
            std::uint8_t v = 0;
            if (dx * dx + dy * dy <= std::int64_t(kRadius) * kRadius) {
                const std::uint32_t patch = std::uint32_t(x / 37 + 1000 * (y / 23)) * 2654435761u;
                v = std::uint8_t((patch >> 13) ^ (x & 7));
            }
            bmp->data[std::size_t(y) * kWidth + x] = v;
        }
}

}  // namespace bench
