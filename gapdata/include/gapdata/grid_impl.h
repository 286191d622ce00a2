// Template definitions for gapdata.h; include that header, not this one.
#pragma once

namespace gapdata {
namespace detail {

inline bool scan_number(std::FILE* in, double* v) { return std::fscanf(in, "%lf", v) == 1; }
inline bool scan_number(std::FILE* in, float* v) { return std::fscanf(in, "%f", v) == 1; }

}  // namespace detail

template <typename T, int A, int S>
void set_shape(Grid<T, A, S>* grid, int nz, int na) {
    grid->nz = nz;
    grid->na = na;
    grid->w = T(90.0 / nz);
    grid->half_w = grid->w / 2;
    grid->s = T(360.0 / na);
    grid->half_s = grid->s / 2;
}

template <typename T, int A, int S>
void read_records(std::FILE* in, const Reading& reading, int nz, int na, Grid<T, A, S>* grid) {
    // Every record the table holds is read, whatever nz * na is; the first failed read ends
    // the reading, as every later one would fail too.
    bool readable = true;
    for (int k = 0; k < Grid<T, A, S>::kMaxRecords && readable; ++k)
        for (int f = 0; f < 4 && readable; ++f) readable = detail::scan_number(in, &grid->tableau[k][f]);

    set_shape(grid, nz, na);
    int k = 0;
    for (int i = 0; i < nz; ++i) {
        for (int c = 0; c < na; ++c, ++k) {
            grid->fract_open[i][c] = grid->tableau[k][2];
            if (reading.want_pixels) grid->pixel_nbr[i][c] = grid->tableau[k][3];
        }
    }
}

template <typename T, int A, int S>
bool load_grid(const char* path, const Reading& reading, Grid<T, A, S>* grid) {
    std::FILE* in = open_input(path);
    if (in == nullptr) return false;
    int nz = 0, na = 0;
    const bool ok = read_header(in, path, reading, &nz, &na) && check_grid(path, reading, nz, na);
    if (ok) read_records(in, reading, nz, na, grid);
    std::fclose(in);
    return ok;
}

template <typename T, int A, int S>
Openness<T> openness_summary(const Grid<T, A, S>& grid, OpennessStyle style,
                             const Terrain<T>& terrain) {
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
