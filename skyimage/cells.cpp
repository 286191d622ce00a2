// Gap fraction per sky cell: every pixel of the sky disc is counted in the zenith ring and the
// azimuth sector that its position on the image maps to under the lens model.
#include "skyimage/cells.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace skyimage {

void count_cells(const t_Bitmap& working, const Lens& lens, int nz, int na, double declination,
                 gapdata::Counts* counts) {
    counts->reset(nz, na);
    const t_Bitmap* bmp = &working;
    const int width = bmp->width, height = bmp->height;
    const int cx = width / 2, cy = height / 2, radius = width / 2;
    const double R = radius;
    const double turn = azimuth_turn(declination);
    const bool classic = is_classic(lens);
    const bool orthographic = lens.kind == LensKind::kOrthographic;
    std::int64_t* pixels = counts->pixels.data();
    std::int64_t* gaps = counts->gaps.data();
    // A disc of radius 0 (an image 1 pixel wide) holds only its rim pixel, in no cell; r / R
    // would be 0 / 0 there.
    if (radius == 0) return;

    // The ring of a pixel depends on |dx| and dy only: one row's rings are computed once for
    // dx >= 0 and read for both halves. nz marks pixels outside the disc or on its rim.
    std::vector<int> ring_of(std::size_t(radius) + 2);
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
                iz = classic ? classic_ring_index(orthographic, nz, r, R) : ring_index(lens, nz, r, R);
            }
            ring_of[std::size_t(a)] = iz;
        }
        const int j_begin = int(std::max<std::int64_t>(0, cx - (reach - 1)));
        const int j_end = int(std::min<std::int64_t>(width, cx + reach));
        const std::uint8_t* row = bmp->data + std::size_t(i) * std::size_t(width);
        for (int j = j_begin; j < j_end; ++j) {
            const int dx = j - cx;
            const int iz = ring_of[std::size_t(dx < 0 ? -dx : dx)];
            if (iz >= nz) continue;  // on the rim (r = R): in no cell
            const std::size_t cell = std::size_t(iz) * std::size_t(na) + std::size_t(sector_index(dx, dy, na, turn));
            ++pixels[cell];
            gaps[cell] += row[j] != 0;
        }
    }
}

void build_cell_map(int w, int h, const Lens& lens, int nz, int na, double declination,
                    CellMap* map) {
    if (map->w == w && map->h == h && map->nz == nz && map->na == na &&
        map->declination == declination && map->lens.kind == lens.kind &&
        map->lens.fov_deg == lens.fov_deg && std::equal(lens.a, lens.a + 3, map->lens.a))
        return;
    map->w = w;
    map->h = h;
    map->nz = nz;
    map->na = na;
    map->lens = lens;
    map->declination = declination;
    map->cell.assign(std::size_t(w) * std::size_t(h), kOutside);
    // The disc geometry and azimuth of the interactive analysis, in its very expressions.
    const int cx = w / 2, cy = h / 2, radius = w / 2;
    const double R = radius;
    const double turn = azimuth_turn(declination);
    if (radius == 0) return;  // only the rim pixel: no cell
    for (int i = 0; i < h; ++i) {
        const int dy = cy - i;
        if (dy > radius || dy < -radius) continue;
        std::uint16_t* row = map->cell.data() + std::size_t(i) * std::size_t(w);
        for (int j = 0; j < w; ++j) {
            const int dx = j - cx;
            if (dx > radius || dx < -radius) continue;
            const double r = std::hypot(double(dx), double(dy));
            const int iz = ring_index(lens, nz, r, R);
            if (iz >= nz) continue;  // outside, on the rim, or below the horizon
            row[j] = std::uint16_t(iz * na + sector_index(dx, dy, na, turn));
        }
    }
}

void disc_histogram(const t_Bitmap& working, std::int64_t x0, std::int64_t y0, int source_w,
                    int source_h, const CellMap& map, std::uint64_t (&hist)[256],
                    std::int64_t* outside) {
    std::fill(hist, hist + 256, 0);
    *outside = 0;
    for (int j = 0; j < map.h; ++j) {
        const std::int64_t sy = y0 + j;
        const std::size_t row = std::size_t(j) * std::size_t(map.w);
        for (int i = 0; i < map.w; ++i) {
            if (map.cell[row + std::size_t(i)] == kOutside) continue;
            const std::int64_t sx = x0 + i;
            if (sx < 0 || sx >= source_w || sy < 0 || sy >= source_h) {
                ++*outside;
            } else {
                ++hist[working.data[row + std::size_t(i)]];
            }
        }
    }
}

void count_with_map(const t_Bitmap& working, const CellMap& map, gapdata::Counts* counts) {
    counts->reset(map.nz, map.na);
    const int cells = map.nz * map.na;
    std::vector<std::int64_t> all(std::size_t(cells), 0), sky(std::size_t(cells), 0);
    const std::size_t n = map.cell.size();
    const std::uint16_t* cell = map.cell.data();
    const std::uint8_t* value = working.data;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint16_t c = cell[k];
        if (c == kOutside) continue;
        ++all[c];
        sky[c] += value[k] != 0;
    }
    counts->pixels = all;
    counts->gaps = sky;
}

void draw_overlay(const CellMap& map, std::uint8_t* image) {
    const int w = map.w, h = map.h;
    const std::uint16_t* cell = map.cell.data();
    // Lines one pixel wide on small images, thicker on large ones so that they still show when
    // the whole picture is seen on a screen.
    const int thick = 1 + w / 600;
    std::vector<std::uint8_t> line(std::size_t(w) * std::size_t(h), 0);
    for (int i = 0; i < h; ++i) {
        for (int j = 0; j < w; ++j) {
            const std::size_t k = std::size_t(i) * std::size_t(w) + std::size_t(j);
            const std::uint16_t c = cell[k];
            if (c == kOutside) continue;
            // A boundary pixel: its right or lower neighbour lies in another cell, or its left
            // or upper neighbour lies outside the counted disc (the rim on those sides).
            const bool boundary =
                j + 1 == w || cell[k + 1] != c || i + 1 == h || cell[k + std::size_t(w)] != c ||
                j == 0 || cell[k - 1] == kOutside || i == 0 || cell[k - std::size_t(w)] == kOutside;
            if (!boundary) continue;
            for (int di = 0; di < thick && i + di < h; ++di)
                for (int dj = 0; dj < thick && j + dj < w; ++dj)
                    line[k + std::size_t(di) * std::size_t(w) + std::size_t(dj)] = 1;
        }
    }
    for (std::size_t k = 0; k < line.size(); ++k)
        if (line[k] != 0) image[k] = 128;
}

}  // namespace skyimage
