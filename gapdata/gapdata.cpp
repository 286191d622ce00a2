#include "gapdata/gapdata.h"

#include <cstdarg>

namespace gapdata {

const char kBanner[] = "skygap version 9 - canopy gap fraction analysis suite";

void refuse(const char* path, const char* problem_format, ...) {
    std::fprintf(stderr, "%s: ", path);
    va_list args;
    va_start(args, problem_format);
    std::vfprintf(stderr, problem_format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

int close_report(std::FILE* out, const char* path) {
    const bool write_failed = std::fflush(out) != 0 || std::ferror(out) != 0;
    const bool close_failed = std::fclose(out) != 0;
    if (write_failed || close_failed) {
        std::fprintf(stderr, "Cannot write the file %s...\n", path);
        return 1;
    }
    return 0;
}

bool write_gap_fraction_file(const char* path, int nz, int na, const CountTable& pixels,
                             const CountTable& gaps) {
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) return false;
    std::fprintf(out, "%i   %i\n", nz, na);
    for (int iz = 0; iz < nz; ++iz) {
        const double zenith = 90.0 * iz / nz + 45.0 / nz;
        for (int ia = na - 1; ia >= 0; --ia) {
            const double azimuth = 360.0 * ia / na + 180.0 / na;
            const std::int64_t n = pixels[iz][ia];
            const double fraction = n == 0 ? 0.0 : double(gaps[iz][ia]) / double(n);
            std::fprintf(out, "%lf   %lf   %lf   %li\n", zenith, azimuth, fraction, long(n));
        }
    }
    const bool write_failed = std::fflush(out) != 0 || std::ferror(out) != 0;
    return (std::fclose(out) == 0) && !write_failed;
}

std::FILE* open_input(const char* path) {
    std::FILE* in = std::fopen(path, "r+");
    if (in == nullptr) std::fprintf(stderr, "Cannot open the file %s...\n", path);
    return in;
}

bool read_header(std::FILE* in, const char* path, const Reading& reading, int* nz, int* na) {
    const int got = reading.header_spaced ? std::fscanf(in, "%d %d", nz, na)
                                          : std::fscanf(in, "%d%d", nz, na);
    if (got != 2) {
        refuse(path, "the header line does not hold the numbers of zenith annuli and azimuth "
                     "sectors");
        return false;
    }
    return true;
}

bool check_grid(const char* path, const Reading& reading, int nz, int na) {
    if (nz <= 0 || na <= 0) {
        refuse(path, "the numbers of zenith annuli and azimuth sectors (%d, %d) must be positive",
               nz, na);
        return false;
    }
    const long records = long(nz) * long(na);
    if (nz > reading.max_annuli || na > reading.max_sectors ||
        records > long(reading.max_annuli) * reading.max_sectors) {
        refuse(path,
               "the grid of %d zenith annuli by %d azimuth sectors exceeds this program's "
               "capacity of %d annuli, %d sectors and %d cells",
               nz, na, reading.max_annuli, reading.max_sectors,
               reading.max_annuli * reading.max_sectors);
        return false;
    }
    return true;
}

bool read_int_params(const char* path, int n, int* values, const char* names) {
    std::FILE* in = open_input(path);
    if (in == nullptr) return false;
    int got = 0;
    while (got < n && std::fscanf(in, "%d", &values[got]) == 1) ++got;
    std::fclose(in);
    if (got < n) {
        refuse(path, "found %d of the %d integers needed (%s)", got, n, names);
        return false;
    }
    return true;
}

bool read_discard_params(const char* path, int n, int* values, const char* names,
                         int max_annuli) {
    return read_int_params(path, n, values, names) &&
           check_discards(path, values[0], values[1], max_annuli);
}

bool check_discards(const char* path, int zr, int hr, int max_annuli) {
    if (zr < 0 || hr < 0) {
        refuse(path, "the numbers of zenith and horizon rings discarded (%d, %d) must not be "
                     "negative", zr, hr);
        return false;
    }
    if (zr > max_annuli || hr > max_annuli) {
        refuse(path, "the numbers of zenith and horizon rings discarded (%d, %d) exceed the %d "
                     "annuli a grid can hold", zr, hr, max_annuli);
        return false;
    }
    return true;
}

template <typename T>
void write_grid_lines(std::FILE* out, BlockStyle style, int nz, int na, T w, T s) {
    if (style == BlockStyle::kTessor) {
        std::fprintf(out, "\nNbr of Zenith Rings = %d (Width = %4.1f deg)", nz, double(w));
        std::fprintf(out, "\nNbr of Azimuth Sectors = %d (Width = %4.1f deg)\n", na, double(s));
        return;
    }
    std::fprintf(out, "Zenith Annuli:   %d (width: %4.1f deg)\n", nz, 90.0 / nz);
    std::fprintf(out, "Azimuth Sectors: %d (width: %4.1f deg)\n", na, 360.0 / na);
    std::fprintf(out, "Sky Divisions:   %d\n\n", nz * na);
}

template <typename T>
void write_ring_lines(std::FILE* out, BlockStyle style, T w, int zr, int hr) {
    const int whole_w = int(w);  // whole degrees, truncated toward zero
    if (zr == 0 && hr >= 0) {
        if (style == BlockStyle::kTessor) {
            std::fprintf(out, "%d Horizon Ring(s) Discarded = %d deg\n", hr, hr * whole_w);
            std::fprintf(out, "Zenith Viewing Angle (FOV) = %3d deg\n", 180 - 2 * hr * whole_w);
        } else {
            std::fprintf(out, "%d Horizon Ring(s) Discarded = %4.1f deg\n", hr, double(hr * w));
            std::fprintf(out, "Zenith Viewing Angle (FOV) = %4.1f deg\n", double(180 - 2 * hr * w));
        }
        return;
    }
    if (zr <= 0 || hr < 0) return;
    if (hr == 0)
        std::fprintf(out, "%d Zenith Ring(s) Discarded\n", zr);
    else
        std::fprintf(out, "%d Zenith Ring(s) + %d Horizon Ring(s) Discarded\n", zr, hr);
    if (style == BlockStyle::kSuits)
        std::fprintf(out, "Angular Range about Zenith = %2.1f -> %2.1f deg\n", double(zr * w),
                     double(90 - hr * w));
    else
        std::fprintf(out, "Angular Range about Zenith = %2d -> %2d deg\n", zr * whole_w,
                     90 - hr * whole_w);
}

template void write_grid_lines<float>(std::FILE*, BlockStyle, int, int, float, float);
template void write_grid_lines<double>(std::FILE*, BlockStyle, int, int, double, double);
template void write_ring_lines<float>(std::FILE*, BlockStyle, float, int, int);
template void write_ring_lines<double>(std::FILE*, BlockStyle, double, int, int);

void write_selection_block(std::FILE* out, BlockStyle style, int nz, int na, int zr, int hr) {
    const double w = 90.0 / nz;
    write_grid_lines(out, style, nz, na, w, 360.0 / na);
    write_ring_lines(out, style, w, zr, hr);
    std::fprintf(out, "Sky Divisions Used:   %d\n\n", (nz - zr - hr) * na);
}

void write_openness(std::FILE* out, const Openness<double>& o) {
    std::fprintf(out, "Hemispherical\n");
    std::fprintf(out, "\tTotal Gap       = %5.3lf\n", o.total_gap);
    std::fprintf(out, "\tCanopy Openness = %5.3lf\n", o.canopy_openness);
    std::fprintf(out, "\tCanopy Closure  = %5.3lf\n", o.canopy_closure);
}

int count_divisors(int na) {
    int count = 0;
    for (int d = 1; d <= na; ++d)
        if (na % d == 0) ++count;
    return count;
}

AnnulusMean average_annulus(const double* row, int na, int m) {
    AnnulusMean r;
    double total = 0;
    double log_sum = 0;
    for (int j = 0; j + m <= na; ++j) {
        double window = 0;
        for (int c = j; c < j + m; ++c) window += row[c];
        total += window;
        if (window != 0)  // a NaN window is not null
            log_sum += std::log(window / m);
        else
            ++r.null_windows;
    }
    if (total == 0) return r;
    r.has_value = true;
    r.mu = log_sum == 0 ? 0.0 : log_sum / (na - m + 1 - r.null_windows);
    return r;
}

}  // namespace gapdata
