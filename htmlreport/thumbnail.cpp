#include "htmlreport/thumbnail.h"

#include <algorithm>
#include <cmath>

#include "skyimage/bitmap.h"
#include "skyimage/cells.h"

namespace htmlreport {

void palette_rgb(int index, std::uint8_t rgb[3]) {
    auto set = [rgb](int r, int g, int b) {
        rgb[0] = std::uint8_t(r);
        rgb[1] = std::uint8_t(g);
        rgb[2] = std::uint8_t(b);
    };
    if (index >= kGreyFirst && index < kGreyFirst + kGreyLevels) {
        const int g = (index - kGreyFirst) * 255 / (kGreyLevels - 1);
        set(g, g, g);
    } else if (index >= kSkyFirst && index < kSkyFirst + kSkyLevels) {
        // Sky keeps its brightness under a cyan-blue tint.
        const int g = (index - kSkyFirst) * 255 / (kSkyLevels - 1);
        set(g * 45 / 100, std::min(255, g * 75 / 100 + 40), std::min(255, g * 55 / 100 + 115));
    } else if (index == kRimColour) {
        set(255, 48, 48);
    } else if (index == kGridColour) {
        set(255, 214, 0);
    } else if (index == kBeyondColour) {
        set(40, 44, 52);
    } else if (index == kMissingColour) {
        set(120, 40, 40);
    } else {
        set(0, 0, 0);
    }
}

std::int64_t source_column(const Thumbnail& t, int u) {
    return t.x0 + (2 * std::int64_t(u) + 1) * t.canvas_w / (2 * std::int64_t(t.width));
}

std::int64_t source_row(const Thumbnail& t, int v) {
    return t.y0 + (2 * std::int64_t(v) + 1) * t.canvas_h / (2 * std::int64_t(t.height));
}

namespace {

const char* input_problem(const Analysis& a) {
    if (a.grey == nullptr || a.width <= 0 || a.height <= 0) return "no photograph to draw";
    if (a.sky_rule == SkyRule::kMask && a.sky_mask == nullptr) return "no sky mask to draw";
    if (a.sky_rule == SkyRule::kAboveThreshold && a.threshold < 0)
        return "no threshold to tell the sky";
    if (a.nz < 1 || a.na < 1 || std::int64_t(a.nz) * a.na > 65535) return "no usable grid";
    if (const char* why = skyimage::lens_problem(a.lens)) return why;
    if (!(a.disc_radius > 0)) return "no sky disc";
    return nullptr;
}

}  // namespace

bool make_thumbnail(const Analysis& a, Thumbnail* t, std::string* why) {
    *t = Thumbnail{};
    if (const char* problem = input_problem(a)) {
        *why = problem;
        return false;
    }
    skyimage::Circle disc;
    disc.cx = a.disc_cx;
    disc.cy = a.disc_cy;
    disc.radius = a.disc_radius;
    skyimage::square_around(&disc);
    if (!disc.usable) {
        *why = "the sky disc is smaller than one pixel or too large";
        return false;
    }
    // The canvas: the photograph and the disc's square together.
    const std::int64_t cx0 = std::min<std::int64_t>(0, disc.x0);
    const std::int64_t cy0 = std::min<std::int64_t>(0, disc.y0);
    const std::int64_t cw = std::max<std::int64_t>(a.width, disc.x0 + disc.w) - cx0;
    const std::int64_t ch = std::max<std::int64_t>(a.height, disc.y0 + disc.h) - cy0;
    const std::int64_t longer = std::max(cw, ch);
    int tw = int(cw), th = int(ch);
    if (longer > kMaxThumbnail) {
        tw = int(std::max<std::int64_t>(1, (cw * kMaxThumbnail + longer / 2) / longer));
        th = int(std::max<std::int64_t>(1, (ch * kMaxThumbnail + longer / 2) / longer));
    }
    t->width = tw;
    t->height = th;
    t->x0 = cx0;
    t->y0 = cy0;
    t->canvas_w = cw;
    t->canvas_h = ch;

    // The cell of every thumbnail pixel (-1: in none), from the working-image geometry of the
    // analysis: square column j = x - x0, row i = y - y0, centre (w/2, h/2), radius w/2.
    const int half_w = int(disc.w / 2), half_h = int(disc.h / 2);
    const double R = half_w;
    const double turn = skyimage::azimuth_turn(a.declination_deg);
    std::vector<int> cell(std::size_t(tw) * std::size_t(th), -1);
    for (int v = 0; v < th; ++v) {
        const std::int64_t dy = half_h - (source_row(*t, v) - disc.y0);
        for (int u = 0; u < tw; ++u) {
            const std::int64_t dx = (source_column(*t, u) - disc.x0) - half_w;
            if (dx > half_w || dx < -half_w || dy > half_w || dy < -half_w) continue;
            const int iz =
                skyimage::ring_index(a.lens, a.nz, std::hypot(double(dx), double(dy)), R);
            if (iz >= a.nz) continue;
            cell[std::size_t(v) * std::size_t(tw) + std::size_t(u)] =
                iz * a.na + skyimage::sector_index(int(dx), int(dy), a.na, turn);
        }
    }

    // Block sums over the photograph: grey, sky and pixel counts per thumbnail pixel.
    auto block_start_x = [&](std::int64_t u) { return cx0 + u * cw / tw; };
    auto block_start_y = [&](std::int64_t v) { return cy0 + v * ch / th; };
    std::vector<int> column_of(std::size_t(a.width));
    for (int u = 0; u < tw; ++u) {
        const std::int64_t lo = std::max<std::int64_t>(0, block_start_x(u));
        const std::int64_t hi = std::min<std::int64_t>(a.width, block_start_x(u + 1));
        for (std::int64_t x = lo; x < hi; ++x) column_of[std::size_t(x)] = u;
    }
    const std::size_t columns = std::size_t(tw);
    std::vector<std::uint64_t> grey_sum(columns), sky(columns), n(columns);
    t->pixels.assign(std::size_t(tw) * std::size_t(th), std::uint8_t(kBeyondColour));
    for (int v = 0; v < th; ++v) {
        std::fill(grey_sum.begin(), grey_sum.end(), 0);
        std::fill(sky.begin(), sky.end(), 0);
        std::fill(n.begin(), n.end(), 0);
        const std::int64_t y_lo = std::max<std::int64_t>(0, block_start_y(v));
        const std::int64_t y_hi = std::min<std::int64_t>(a.height, block_start_y(v + 1));
        for (std::int64_t y = y_lo; y < y_hi; ++y) {
            const std::size_t row = std::size_t(y) * std::size_t(a.width);
            const std::uint8_t* g = a.grey + row;
            for (int x = 0; x < a.width; ++x) {
                const std::size_t u = std::size_t(column_of[std::size_t(x)]);
                grey_sum[u] += g[x];
                ++n[u];
                bool is_sky = false;
                switch (a.sky_rule) {
                    case SkyRule::kAboveThreshold:
                        is_sky = g[x] > a.threshold;
                        break;
                    case SkyRule::kNonZero:
                        is_sky = g[x] != 0;
                        break;
                    case SkyRule::kMask:
                        is_sky = a.sky_mask[row + std::size_t(x)] != 0;
                        break;
                }
                sky[u] += is_sky;
            }
        }
        const std::int64_t block_h = block_start_y(v + 1) - block_start_y(v);
        for (int u = 0; u < tw; ++u) {
            const std::size_t k = std::size_t(v) * std::size_t(tw) + std::size_t(u);
            const bool counted = cell[k] >= 0;
            const std::int64_t sx = source_column(*t, u), sy = source_row(*t, v);
            const bool in_photo = sx >= 0 && sx < a.width && sy >= 0 && sy < a.height;
            if (!in_photo || n[std::size_t(u)] == 0) {
                t->pixels[k] = std::uint8_t(counted ? kMissingColour : kBeyondColour);
                continue;
            }
            const int mean = int(grey_sum[std::size_t(u)] / n[std::size_t(u)]);
            const std::uint64_t block =
                std::uint64_t(block_h) * std::uint64_t(block_start_x(u + 1) - block_start_x(u));
            if (!counted) {
                t->pixels[k] = std::uint8_t(grey_index(mean / 2));
            } else if (sky[std::size_t(u)] > 0 && 2 * sky[std::size_t(u)] >= block) {
                t->pixels[k] = std::uint8_t(sky_index(mean));
            } else {
                t->pixels[k] = std::uint8_t(grey_index(mean));
            }
        }
    }

    // Lines: ring and sector boundaries, then the rim on both sides, which wins.
    auto at = [&](int u, int v) { return cell[std::size_t(v) * std::size_t(tw) + std::size_t(u)]; };
    for (int v = 0; v < th; ++v) {
        for (int u = 0; u < tw; ++u) {
            const int c = at(u, v);
            if (c < 0) continue;
            if ((u + 1 < tw && at(u + 1, v) >= 0 && at(u + 1, v) != c) ||
                (v + 1 < th && at(u, v + 1) >= 0 && at(u, v + 1) != c))
                t->pixels[std::size_t(v) * std::size_t(tw) + std::size_t(u)] = kGridColour;
        }
    }
    for (int v = 0; v < th; ++v) {
        for (int u = 0; u < tw; ++u) {
            const bool in = at(u, v) >= 0;
            const bool edge =
                (u > 0 && (at(u - 1, v) >= 0) != in) || (u + 1 < tw && (at(u + 1, v) >= 0) != in) ||
                (v > 0 && (at(u, v - 1) >= 0) != in) || (v + 1 < th && (at(u, v + 1) >= 0) != in) ||
                (in && (u == 0 || v == 0 || u + 1 == tw || v + 1 == th));
            if (edge) t->pixels[std::size_t(v) * std::size_t(tw) + std::size_t(u)] = kRimColour;
        }
    }
    return true;
}

}  // namespace htmlreport
