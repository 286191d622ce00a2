// bravik: leaf area index and mean leaf angle after Suits from one gap-fraction file.
//
//   bravik [parameter file] [gap-fraction file] [output file]
//
// The parameter file holds three integers: the zenith rings and horizon rings to discard, and
// whether to search the azimuthal averaging window of lowest noise-to-signal ratio (non-zero)
// or to average each annulus over 360 degrees (0). The report is appended to the output file.
#include <cstdio>

#include "gapdata/gapdata.h"
#include "suits.h"

namespace {

// Reads the three integers; refuses a file that holds fewer, negative discard counts and
// counts beyond the annuli any grid can hold.
bool read_params(const char* path, suits::Params* par) {
    int values[3] = {};
    if (!gapdata::read_discard_params(path, 3, values,
                                      "zenith rings discarded, horizon rings discarded, optimize",
                                      suits::Grid::kMaxAnnuli))
        return false;
    par->zenith_rings_discarded = values[0];
    par->horizon_rings_discarded = values[1];
    par->optimize = values[2];
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "%s\n", gapdata::kBanner);
        std::fprintf(stderr, "\nUsage: %s [data file] [output file] ...\n", argv[0]);
        return 1;
    }
    const char* param_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];

    suits::Params par;
    if (!read_params(param_path, &par)) return 1;
    static suits::Grid grid;  // fixed tables, zero at start
    if (!gapdata::load_grid(data_path, suits::kReading, &grid)) return 1;
    static suits::SuitsFit fit;
    suits::fit_suits(grid, par, &fit);

    std::FILE* out = std::fopen(out_path, "a+");  // only after both inputs are read
    if (out == nullptr) {
        std::fprintf(stderr, "Cannot open the file %s...\n", out_path);
        return 1;
    }
    suits::write_report(out, data_path, grid, par, fit);
    return gapdata::close_report(out, out_path);
}
