// Gap fraction per sky cell: every pixel of the sky disc is counted in the zenith ring and the
// azimuth sector that its position on the image maps to under the lens model.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bitmap.h"

namespace gapimage {

void count_cells(const t_Bitmap* bmp, Lens lens, int nz, int na, double declination,
                 gapdata::CountTable& pixels, gapdata::CountTable& gaps) {
    for (int iz = 0; iz < nz; ++iz) {
        std::memset(pixels[iz], 0, sizeof(pixels[iz][0]) * std::size_t(na));
        std::memset(gaps[iz], 0, sizeof(gaps[iz][0]) * std::size_t(na));
    }
    const int width = bmp->width, height = bmp->height;
    const int cx = width / 2, cy = height / 2, radius = width / 2;
    const double R = radius;
    const double turn = azimuth_turn(declination);

    // The ring of a pixel depends on |dx| and dy only: one row's rings are computed once for
    // dx >= 0 and read for both halves. nz marks pixels outside the disc or on its rim.
    int* ring_of = new int[std::size_t(radius) + 2];
    for (int i = 0; i < height; ++i) {
        const int dy = cy - i;
        if (dy > radius || dy < -radius) continue;
        // reach: one more than the largest |dx| with dx^2 + dy^2 <= R^2 (exact integer test)
        const std::int64_t room = std::int64_t(radius) * radius - std::int64_t(dy) * dy;
        std::int64_t reach = std::int64_t(std::sqrt(double(room)));
        while (reach * reach > room) --reach;
        while ((reach + 1) * (reach + 1) <= room) ++reach;
        ++reach;
        for (int a = 0; a < reach; ++a) {
            const double r = std::hypot(double(a), double(dy));
            int iz = nz;
            if (!(r > R)) {
                iz = ring_index(lens, nz, r, R);
            }
            ring_of[a] = iz;
        }
        const int j_begin = int(std::max<std::int64_t>(0, cx - (reach - 1)));
        const int j_end = int(std::min<std::int64_t>(width, cx + reach));
        const std::uint8_t* row = bmp->data + std::size_t(i) * std::size_t(width);
        for (int j = j_begin; j < j_end; ++j) {
            const int dx = j - cx;
            const int iz = ring_of[dx < 0 ? -dx : dx];
            if (iz >= nz) continue;  // on the rim (r = R): in no cell
            const int ia = sector_index(dx, dy, na, turn);
            ++pixels[iz][ia];
            if (row[j] != 0) ++gaps[iz][ia];
        }
    }
    delete[] ring_of;
}

}  // namespace gapimage

namespace {

int project(const t_Bitmap* bmp, gapimage::Lens lens, int nz, int na, double declination,
            const char* fileName) {
    const bool polar = lens == gapimage::Lens::kEquidistant;
    if (polar) {
        std::printf("Polar Projection: %d %d begins...\n", nz, na);
    } else {
        std::printf("Orthographic Projection: %d %d begins...\n", nz, na);
    }
    static gapdata::CountTable pixels, gaps;
    gapimage::count_cells(bmp, lens, nz, na, declination, pixels, gaps);
    if (!gapdata::write_gap_fraction_file(fileName, nz, na, pixels, gaps)) {
        std::fflush(stdout);
        std::fprintf(stderr, "Cannot write the file %s...\n", fileName);
        return 1;
    }
    if (polar) {
        std::printf("Polar Projection finished\n");
    } else {
        std::printf("Orthographic Projection finished\n");
    }
    return 0;
}

}  // namespace

int BMPPolarProjection(const t_Bitmap* bmp, int nz, int na, double declination,
                       const char* fileName) {
    return project(bmp, gapimage::Lens::kEquidistant, nz, na, declination, fileName);
}

int BMPOrthographicProjection(const t_Bitmap* bmp, int nz, int na, double declination,
                              const char* fileName) {
    return project(bmp, gapimage::Lens::kOrthographic, nz, na, declination, fileName);
}
