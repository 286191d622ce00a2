#include "batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gapbatch {

namespace {


// A CSV field, quoted when it holds a comma, a quote or a line end.
void write_field(std::FILE* out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        std::fputs(text.c_str(), out);
        return;
    }
    std::fputc('"', out);
    for (char ch : text) {
        if (ch == '"') std::fputc('"', out);
        std::fputc(ch, out);
    }
    std::fputc('"', out);
}

}  // namespace

const char* disc_for(const Options& o, int width, int height, Disc* d) {
    if (o.has_points) {
        const int* p = o.points;
        *d = gapimage::circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
    } else {
        *d = Disc{};
        if (o.has_circle) {
            d->cx = o.circle_cx;
            d->cy = o.circle_cy;
            d->radius = o.circle_radius;
        } else {
            d->cx = width / 2;
            d->cy = height / 2;
            d->radius = std::min(width, height) / 2;
        }
        gapimage::square_around(d);
    }
    if (d->cx < 0 || d->cx >= width || d->cy < 0 || d->cy >= height)
        return "the centre of the sky disc lies outside the photograph";
    if (!d->usable)
        return "the sky disc is smaller than one pixel or larger than 16384 pixels of radius";
    return nullptr;
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
    const double turn = gapimage::azimuth_turn(declination);
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
            row[j] = std::uint16_t(iz * na + gapimage::sector_index(dx, dy, na, turn));
        }
    }
}

void disc_histogram(const t_Bitmap& working, const Disc& d, int source_w, int source_h,
                    const CellMap& map, Histogram& hist, std::int64_t* outside) {
    std::fill(hist, hist + 256, 0);
    *outside = 0;
    for (int j = 0; j < map.h; ++j) {
        const std::int64_t sy = d.y0 + j;
        const std::size_t row = std::size_t(j) * std::size_t(map.w);
        for (int i = 0; i < map.w; ++i) {
            if (map.cell[row + std::size_t(i)] == kOutside) continue;
            const std::int64_t sx = d.x0 + i;
            if (sx < 0 || sx >= source_w || sy < 0 || sy >= source_h) {
                ++*outside;
            } else {
                ++hist[working.data[row + std::size_t(i)]];
            }
        }
    }
}

void count_with_map(const t_Bitmap& working, const CellMap& map, gapdata::CountTable& pixels,
                    gapdata::CountTable& gaps) {
    static std::int64_t all[gapdata::kMaxWriteAnnuli * gapdata::kMaxWriteSectors];
    static std::int64_t sky[gapdata::kMaxWriteAnnuli * gapdata::kMaxWriteSectors];
    const int cells = map.nz * map.na;
    std::fill(all, all + cells, 0);
    std::fill(sky, sky + cells, 0);
    const std::size_t n = map.cell.size();
    const std::uint16_t* cell = map.cell.data();
    const std::uint8_t* value = working.data;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint16_t c = cell[k];
        if (c == kOutside) continue;
        ++all[c];
        sky[c] += value[k] != 0;
    }
    for (int iz = 0; iz < map.nz; ++iz) {
        for (int ia = 0; ia < map.na; ++ia) {
            pixels[iz][ia] = all[iz * map.na + ia];
            gaps[iz][ia] = sky[iz * map.na + ia];
        }
    }
}

gapdata::Openness<double> summarise(int nz, int na, const gapdata::CountTable& pixels,
                                    const gapdata::CountTable& gaps) {
    static gapdata::Grid<double, gapdata::kMaxWriteAnnuli, gapdata::kMaxWriteSectors> grid;
    gapdata::set_shape(&grid, nz, na);
    for (int iz = 0; iz < nz; ++iz) {
        for (int c = 0; c < na; ++c) {  // column c holds the writer's sector na - 1 - c
            const std::int64_t n = pixels[iz][na - 1 - c];
            grid.fract_open[iz][c] = n == 0 ? 0.0 : double(gaps[iz][na - 1 - c]) / double(n);
        }
    }
    return gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits,
                                     gapdata::Terrain<double>{});
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

bool make_folder(const char* path) {
    if (mkdir(path, 0777) == 0) return true;
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string output_path(const char* photo, const char* dir, const char* suffix) {
    const std::string path = photo;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    if (dir == nullptr) return folder + name + suffix;
    std::string out = dir;
    if (!out.empty() && out.back() != '/') out += '/';
    return out + name + suffix;
}

void write_summary_header(std::FILE* out) {
    std::fprintf(out,
                 "photo,width,height,centre_x,centre_y,radius,lens,threshold_method,threshold,"
                 "rings,sectors,total_gap,canopy_openness,sky_pixels,disc_pixels,status\n");
}

void write_summary_row(std::FILE* out, const Row& row) {
    write_field(out, row.photo);
    if (!row.ok) {
        std::fprintf(out, ",,,,,,,,,,,,,,,failed\n");
        return;
    }
    std::fprintf(out, ",%d,%d,%d,%d,%g,", row.width, row.height, row.disc.cx, row.disc.cy,
                 row.disc.radius);
    write_field(out, row.lens);
    std::fprintf(out, ",%s,", row.method);
    if (row.has_threshold) std::fprintf(out, "%d", row.threshold);
    std::fprintf(out, ",%d,%d,%.6f,%.6f,%lld,%lld,ok\n", row.nz, row.na, row.openness.total_gap,
                 row.openness.canopy_openness, static_cast<long long>(row.sky_pixels),
                 static_cast<long long>(row.disc_pixels));
}

bool process_photo(const Options& o, const char* path, Workspace* work, Row* row,
                   char (&problem)[kMessageSize], char (&warning)[kMessageSize]) {
    *row = Row{};
    row->photo = path;
    warning[0] = '\0';
    char reason[kProblemSize];
    t_Bitmap& bmp = work->photo.bmp;
    if (!read_photo(path, o.channel, &work->photo, reason)) {
        std::snprintf(problem, kMessageSize, "%s", reason);
        return false;
    }
    const int source_w = bmp.width, source_h = bmp.height;
    Disc disc;
    if (const char* why = disc_for(o, source_w, source_h, &disc)) {
        std::snprintf(problem, kMessageSize, "%s (centre %d,%d, radius %g, photograph %d x %d)",
                      why, disc.cx, disc.cy, disc.radius, source_w, source_h);
        return false;
    }
    const std::string gap_path = output_path(path, o.out_dir, ".gapfract.txt");
    const std::string overlay_path = o.overlay != nullptr ? std::string(o.overlay)
                                     : o.overlay_dir != nullptr
                                         ? output_path(path, o.overlay_dir, ".overlay.bmp")
                                         : std::string();
    for (const std::string& out : {gap_path, overlay_path}) {
        if (out.empty()) continue;
        if (out == path || overlay_path == gap_path || work->written.count(out) != 0) {
            std::snprintf(problem, kMessageSize,
                          "%s was already written for another photograph of this batch, or is "
                          "the photograph itself; not overwritten",
                          out.c_str());
            return false;
        }
    }

    if (!gapimage::crop(&bmp, disc.x0, disc.y0, int(disc.w), int(disc.h))) {
        std::snprintf(problem, kMessageSize, "no memory for a working image of %lld x %lld",
                      static_cast<long long>(disc.w), static_cast<long long>(disc.h));
        return false;
    }
    build_cell_map(bmp.width, bmp.height, o.lens, o.nz, o.na, o.declination, &work->map);
    Histogram hist;
    std::int64_t outside = 0;
    disc_histogram(bmp, disc, source_w, source_h, work->map, hist, &outside);
    row->method = method_name(o.method);
    if (o.method == ThresholdMethod::kFixed) {
        row->has_threshold = true;
        row->threshold = o.threshold;
    } else if (o.method != ThresholdMethod::kClassified) {
        const AutoThreshold t = auto_threshold(o.method, hist);
        if (t.failure != ThresholdFailure::kNone) {
            std::snprintf(problem, kMessageSize, "%s", failure_text(t.failure));
            return false;
        }
        row->has_threshold = true;
        row->threshold = t.t;
    }
    if (row->has_threshold) gapimage::threshold_pixels(&bmp, row->threshold);

    static gapdata::CountTable pixels, gaps;
    count_with_map(bmp, work->map, pixels, gaps);
    if (!gapdata::write_gap_fraction_file(gap_path.c_str(), o.nz, o.na, pixels, gaps)) {
        std::snprintf(problem, kMessageSize, "cannot write %s", gap_path.c_str());
        return false;
    }
    work->written.insert(gap_path);
    if (!overlay_path.empty()) {
        draw_overlay(work->map, bmp.data);
        if (!write_grey_bmp(overlay_path.c_str(), bmp.width, bmp.height, bmp.data)) {
            std::snprintf(problem, kMessageSize, "cannot write the overlay %s",
                          overlay_path.c_str());
            return false;
        }
        work->written.insert(overlay_path);
    }
    if (outside > 0) {
        std::snprintf(warning, kMessageSize,
                      "%lld pixels of the sky disc lie beyond the photograph and count as canopy",
                      static_cast<long long>(outside));
    }

    row->ok = true;
    row->width = source_w;
    row->height = source_h;
    row->disc = disc;
    char lens_text[120];
    describe_lens(o.lens, lens_text, sizeof lens_text);
    row->lens = lens_text;
    row->nz = o.nz;
    row->na = o.na;
    row->openness = summarise(o.nz, o.na, pixels, gaps);
    for (int iz = 0; iz < o.nz; ++iz) {
        for (int ia = 0; ia < o.na; ++ia) {
            row->disc_pixels += pixels[iz][ia];
            row->sky_pixels += gaps[iz][ia];
        }
    }
    return true;
}

}  // namespace gapbatch
