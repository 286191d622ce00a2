// Makes a synthetic hemispherical photograph for benchmarks and examples: a sky disc in the
// middle of a black frame, bright blue sky behind dark leaves and branches.
//
//   bench_photo OUT WIDTH HEIGHT grey|colour|jpeg [SEED]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "test_images.h"

namespace {

// Deterministic value noise in 0..1.
double hash01(int x, int y, unsigned seed) {
    unsigned h = unsigned(x) * 374761393u + unsigned(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double((h ^ (h >> 16)) & 0xFFFFu) / 65535.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "Usage: %s OUT WIDTH HEIGHT grey|colour|jpeg [SEED]\n", argv[0]);
        return 1;
    }
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    const unsigned seed = argc > 5 ? unsigned(std::atoi(argv[5])) : 1;
    if (w <= 0 || h <= 0) return 1;
    const double cx = w / 2, cy = h / 2, radius = (w < h ? w : h) / 2;
    auto pixel = [&](int c, int r) {
        const double dx = c - cx, dy = r - cy;
        if (dx * dx + dy * dy >= radius * radius) return gapbatch_test::Rgb{0, 0, 0};
        // Leaves: coarse blobs, denser towards the horizon; fine noise on top.
        const double rho = std::sqrt(dx * dx + dy * dy) / radius;
        const double blob =
            hash01(c / 24, r / 24, seed) * 0.6 + hash01(c / 7, r / 7, seed + 1) * 0.4;
        const bool leaf = blob < 0.35 + 0.45 * rho;
        const int n = int(hash01(c, r, seed + 2) * 20);
        if (leaf)
            return gapbatch_test::Rgb{std::uint8_t(30 + n), std::uint8_t(60 + n),
                                      std::uint8_t(25 + n)};
        return gapbatch_test::Rgb{std::uint8_t(150 + n), std::uint8_t(185 + n),
                                  std::uint8_t(225 + n)};
    };
    if (std::strcmp(argv[4], "grey") == 0) {
        gapbatch_test::write_bmp(argv[1], w, h, 8, false, [&](int c, int r) {
            const gapbatch_test::Rgb p = pixel(c, r);
            return gapbatch_test::Rgb{p.b, p.b, p.b};  // the blue channel as grey levels
        });
    } else if (std::strcmp(argv[4], "colour") == 0) {
        gapbatch_test::write_bmp(argv[1], w, h, 24, false, pixel);
#ifdef SKYGAP_HAVE_JPEG
    } else if (std::strcmp(argv[4], "jpeg") == 0) {
        gapbatch_test::write_jpeg(argv[1], w, h, 3, 90, pixel);
#endif
    } else {
        std::fprintf(stderr, "%s: unknown kind %s\n", argv[0], argv[4]);
        return 1;
    }
    return 0;
}
