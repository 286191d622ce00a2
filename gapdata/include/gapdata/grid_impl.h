// Template definitions for gapdata.h; include that header, not this one.
#pragma once

namespace gapdata {
namespace detail {

inline bool scan_number(std::FILE* in, double* v) { return std::fscanf(in, "%lf", v) == 1; }
inline bool scan_number(std::FILE* in, float* v) { return std::fscanf(in, "%f", v) == 1; }

// "PATH: problem" into *why.
void describe(std::string* why, const char* path, const char* problem);

// What follows a number just read: more to read, a decimal comma ("," and a digit: refused),
// or a comma that ends the reading as an unreadable token would. Reads one character ahead and
// puts it back unless it is a comma.
enum class AfterNumber { kGoOn, kDecimalComma, kEnd };
AfterNumber look_after_number(std::FILE* in);

// The refusal of a decimal comma in record RECORD (from 1).
void decimal_comma(std::string* why, const char* path, int record);

}  // namespace detail

template <typename T>
void set_shape(Grid<T>* grid, int nz, int na, bool with_pixels) {
    grid->nz = nz;
    grid->na = na;
    grid->w = T(90.0 / nz);
    grid->half_w = grid->w / 2;
    grid->s = T(360.0 / na);
    grid->half_s = grid->s / 2;
    grid->fract_open.assign(nz, na);
    if (with_pixels)
        grid->pixel_nbr.assign(nz, na);
    else
        grid->pixel_nbr.assign(0, 0);
    grid->records_read = 0;
}

template <typename T>
Status read_records(std::FILE* in, const char* path, const Reading& reading, int nz, int na,
                    Grid<T>* grid, std::string* why) {
    set_shape(grid, nz, na, reading.want_pixels);
    // The first failed read ends the reading, as every later one would fail too.
    T record[4];
    const int n = nz * na;
    for (int k = 0; k < n; ++k) {
        bool ends = false;
        for (int f = 0; f < 4; ++f) {
            if (ends || !detail::scan_number(in, &record[f])) return Status::kOk;
            if (k + 1 == n && f == 3) break;  // the last number: nothing more is read
            switch (detail::look_after_number(in)) {
                case detail::AfterNumber::kGoOn:
                    break;
                case detail::AfterNumber::kDecimalComma:
                    detail::decimal_comma(why, path, k + 1);
                    return Status::kRefused;
                case detail::AfterNumber::kEnd:
                    ends = true;  // this record is whole only if this was its last field
                    break;
            }
        }
        grid->fract_open[k / na][k % na] = record[2];
        if (reading.want_pixels) grid->pixel_nbr[k / na][k % na] = record[3];
        ++grid->records_read;
        if (ends) return Status::kOk;
    }
    return Status::kOk;
}

template <typename T>
Status load_grid(const char* path, const Reading& reading, Grid<T>* grid, std::string* why,
                 fileio::Dash dash) {
    fileio::InputFile in = gapdata::open_input(path, dash);
    if (!in) return Status::kCannotOpen;
    int nz = 0, na = 0;
    Status st = read_header(in.get(), path, reading, &nz, &na, why);
    if (st == Status::kOk) st = check_grid(path, reading, nz, na, why);
    if (st == Status::kOk) st = read_records(in.get(), path, reading, nz, na, grid, why);
    return st;
}

template <typename T>
Openness<T> openness_summary(const Grid<T>& grid, OpennessStyle style, const Terrain<T>& terrain) {
    const bool masking = style == OpennessStyle::kTessor || style == OpennessStyle::kKeldro;
    T gap_sum = 0;
    int visible = 0;
    T open_sum = 0;       // weighted gap over the visible cells
    T site_sum = 0;       // weighted gap over every cell
    T masked_weight = 0;  // weight of the cells below the ground
    T z = grid.half_w;
    T outer_edge = 0;
    for (int i = 0; i < grid.nz; ++i) {
        const T omega = (std::cos(double(z - grid.half_w) * kDegToRad) -
                         std::cos(double(z + grid.half_w) * kDegToRad)) /
                        grid.na;
        // The angle stays double: rounded to T it would tip cells lying in the ground plane
        // (cos I = 0) to the other side than tessor's own mask, which takes cos and sin of
        // the elevation from the double angle.
        const double z_rad = double(z) * kDegToRad;
        const T cos_z = std::sin(kHalfPi - z_rad);
        const T sin_z = std::cos(kHalfPi - z_rad);
        T phi = grid.half_s;
        for (int c = 0; c < grid.na; ++c) {
            const T g = grid.fract_open[i][c];
            site_sum += omega * g;
            if (masking && cos_incidence(terrain, cos_z, sin_z, phi) < 0) {
                masked_weight += omega;
            } else {
                gap_sum += g;
                ++visible;
                if (style != OpennessStyle::kKeldro || g > 0) open_sum += omega * g;
            }
            phi += grid.s;
        }
        outer_edge = z + grid.half_w;
        z += grid.w;
    }
    const T hemisphere = 1 - std::cos(double(outer_edge) * kDegToRad);

    Openness<T> o;
    o.total_gap = gap_sum / visible;
    switch (style) {
        case OpennessStyle::kSuits:
            o.canopy_openness = open_sum / hemisphere;
            break;
        case OpennessStyle::kZephor:
            o.canopy_openness = open_sum;
            break;
        case OpennessStyle::kTessor:
        case OpennessStyle::kKeldro:
            o.canopy_openness = open_sum / (hemisphere - masked_weight);
            break;
    }
    o.site_openness = site_sum / hemisphere;
    o.canopy_closure = 1 - o.canopy_openness;
    return o;
}

}  // namespace gapdata
