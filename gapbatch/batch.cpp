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

std::string overlay_path_of(const char* path, const Options& o) {
    return o.overlay != nullptr       ? std::string(o.overlay)
           : o.overlay_dir != nullptr ? output_path(path, o.overlay_dir, ".overlay.bmp")
                                      : std::string();
}

// Writes a whole file; false when it cannot be created or completely written.
template <typename Write>
bool write_file(const std::string& path, Write write) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = write(f);
    ok = std::fflush(f) == 0 && ok && std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

gapdata::Openness<double> summarise(const gapdata::Counts& counts) {
    gapdata::Grid<double> grid;
    gapdata::grid_from_counts(counts, gapdata::Precision::kExact, &grid);
    return gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits,
                                     gapdata::Terrain<double>{});
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

Row make_row(const char* path, const Options& o, const skyimage::PhotoResult& r) {
    Row row;
    row.photo = path;
    row.ok = true;
    row.width = r.width;
    row.height = r.height;
    row.disc = r.disc;
    char lens_text[120];
    skyimage::describe_lens(o.photo.lens, lens_text, sizeof lens_text);
    row.lens = lens_text;
    row.method = skyimage::method_name(o.photo.method);
    row.has_threshold = r.has_threshold;
    row.threshold = r.threshold;
    row.nz = o.photo.nz;
    row.na = o.photo.na;
    row.openness = summarise(r.counts);
    row.sky_pixels = r.sky_pixels;
    row.disc_pixels = r.disc_pixels;
    return row;
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

std::string output_conflict(const char* path, const Options& o,
                            const std::set<std::string>& written) {
    const std::string gap_path = output_path(path, o.out_dir, ".gapfract.txt");
    const std::string overlay_path = overlay_path_of(path, o);
    for (const std::string& out : {gap_path, overlay_path}) {
        if (out.empty()) continue;
        if (out == path || overlay_path == gap_path || written.count(out) != 0) {
            return out +
                   " was already written for another photograph of this batch, or is the "
                   "photograph itself; not overwritten";
        }
    }
    return std::string();
}

bool write_outputs(const char* path, const Options& o, const skyimage::PhotoResult& r,
                   std::set<std::string>* written, std::string* problem) {
    const std::string gap_path = output_path(path, o.out_dir, ".gapfract.txt");
    if (!write_file(gap_path, [&](std::FILE* f) {
            gapdata::write_gap_fraction(f, r.counts);
            return true;
        })) {
        *problem = "cannot write " + gap_path;
        return false;
    }
    written->insert(gap_path);
    const std::string overlay_path = overlay_path_of(path, o);
    if (!overlay_path.empty()) {
        if (!write_file(overlay_path, [&](std::FILE* f) {
                return skyimage::write_grey_bmp(f, r.overlay_w, r.overlay_h, r.overlay.data());
            })) {
            *problem = "cannot write the overlay " + overlay_path;
            return false;
        }
        written->insert(overlay_path);
    }
    return true;
}

}  // namespace gapbatch
