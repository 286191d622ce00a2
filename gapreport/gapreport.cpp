#include "gapreport/gapreport.h"

namespace gapreport {

const char kBanner[] = "skygap version 9 - canopy gap fraction analysis suite";

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

void write_openness(std::FILE* out, const gapdata::Openness<double>& o) {
    std::fprintf(out, "Hemispherical\n");
    std::fprintf(out, "\tTotal Gap       = %5.3lf\n", o.total_gap);
    std::fprintf(out, "\tCanopy Openness = %5.3lf\n", o.canopy_openness);
    std::fprintf(out, "\tCanopy Closure  = %5.3lf\n", o.canopy_closure);
}

int write_input_failure(std::FILE* err, gapdata::Status status, const char* path,
                        const std::string& why) {
    if (status == gapdata::Status::kCannotOpen)
        std::fprintf(err, "Cannot open the file %s...\n", path);
    else
        std::fprintf(err, "%s\n", why.c_str());
    return 1;
}

}  // namespace gapreport
