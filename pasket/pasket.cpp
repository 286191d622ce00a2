// pasket: prints a gap-fraction file as a table of zenith annuli by azimuth sectors.
//
//   pasket [data file] [output file]
//
// The output file is replaced. Rows run from the zenith outward, labelled with the annulus
// centre; columns are labelled underneath with the sector-centre azimuth of the file's records.
#include <cstdio>

#include "gapdata/gapdata.h"

namespace {

using Grid = gapdata::Grid<double, 20, 40>;
constexpr gapdata::Reading kReading{false, 20, 40, false};
constexpr int kMaxPrintedSectors = 24;  // what fits across a printed page

void write_table(std::FILE* out, const char* photosite, const Grid& grid) {
    std::fprintf(out, "< PASKET > ");
    std::fprintf(out, "%s\n", gapdata::kBanner);
    std::fprintf(out, "GAP FRACTION DATA --- Photosite: %s\n\n", photosite);
    std::fprintf(out, "____________________\n");
    std::fprintf(out, "Zenith, degrees\n");
    double zenith = grid.half_w;
    for (int i = 0; i < grid.nz; ++i) {
        std::fprintf(out, "%4.1lf  ", zenith);
        for (int c = 0; c < grid.na; ++c) std::fprintf(out, "%5.3lf ", grid.fract_open[i][c]);
        std::fprintf(out, "\n");
        zenith += grid.w;
    }
    std::fprintf(out, "\n      ");
    double azimuth = 360 - grid.half_s;
    for (int c = 0; c < grid.na; ++c) {
        std::fprintf(out, "%5.1lf ", azimuth);
        azimuth -= grid.s;
    }
    if (grid.na == 24) {  // compass letters under the 360, 270, 180 and 90 degree boundaries
        std::fprintf(out, "\n     N");
        std::fprintf(out, "                                   W");
        std::fprintf(out, "                                   S");
        std::fprintf(out, "                                   E");
    }
    std::fprintf(out, "\nAzimuth, degrees\n");
    std::fprintf(out, "____________________\f");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "%s\n", gapdata::kBanner);
        std::fprintf(stderr, "\n--->Usage: %s [data file][output file]<---\n\n", argv[0]);
        return 1;
    }
    const char* data_path = argv[1];
    const char* out_path = argv[2];

    static Grid grid;
    std::FILE* in = gapdata::open_input(data_path);
    if (in == nullptr) return 1;
    int nz = 0, na = 0;
    bool ok = gapdata::read_header(in, data_path, kReading, &nz, &na);
    if (ok && na > kMaxPrintedSectors) {
        std::fprintf(stderr, "\n\n===>> The number of azimuth sectors should not be > 24 <<==\n\n");
        ok = false;
    }
    ok = ok && gapdata::check_grid(data_path, kReading, nz, na);
    if (ok) gapdata::read_records(in, kReading, nz, na, &grid);
    std::fclose(in);
    if (!ok) return 1;

    std::FILE* out = std::fopen(out_path, "w+");
    if (out == nullptr) {
        std::fprintf(stderr, "Cannot open the file %s...", out_path);
        return 1;
    }
    write_table(out, data_path, grid);
    return gapdata::close_report(out, out_path);
}
