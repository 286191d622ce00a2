// quinda: leaf area index, contact number at 55 degrees and mean leaf angle after Lang and
// Xiang (1986), for every azimuthal averaging window that divides the sector count.
//
//   quinda [parameter file] [gap fraction file] [output file]
//
// The parameter file holds two integers: the zenith rings and the horizon rings to discard.
// The report is appended to the output file.
#include <cstdio>

#include "gapdata/gapdata.h"
#include "lang_xiang.h"

namespace {

// Reads the two discard counts; refuses a file that holds fewer integers, negative counts and
// counts beyond the annuli any grid can hold.
bool read_params(const char* path, int* zr, int* hr) {
    int values[2] = {};
    if (!gapdata::read_discard_params(path, 2, values,
                                      "zenith rings discarded, horizon rings discarded",
                                      lang_xiang::Grid::kMaxAnnuli))
        return false;
    *zr = values[0];
    *hr = values[1];
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "%s\n", gapdata::kBanner);
        std::fprintf(stderr,
                     "\n--->Usage: \n%s [parameter file] [gap fraction file] [output file]<---\n\n",
                     argv[0]);
        return 1;
    }
    const char* param_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];

    int zr = 0, hr = 0;
    if (!read_params(param_path, &zr, &hr)) return 1;
    static lang_xiang::Grid grid;  // fixed tables, zero at start
    if (!gapdata::load_grid(data_path, lang_xiang::kReading, &grid)) return 1;
    const int widths = gapdata::count_divisors(grid.na);
    if (widths > lang_xiang::kMaxSteps) {
        gapdata::refuse(data_path,
                        "%d azimuth sectors have %d window widths, more than the %d "
                        "this program tabulates",
                        grid.na, widths, lang_xiang::kMaxSteps);
        return 1;
    }
    static lang_xiang::StepTable table;
    lang_xiang::compute_table(grid, zr, hr, &table);

    std::FILE* out = std::fopen(out_path, "a+");
    if (out == nullptr) {
        std::fprintf(stderr, "Can't open the file %s...\n", out_path);
        return 1;
    }
    lang_xiang::write_report(out, out_path, data_path, grid, zr, hr, table);
    return gapdata::close_report(out, out_path);
}
