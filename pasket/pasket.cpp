// pasket: prints a gap-fraction file as a table of zenith annuli by azimuth sectors.
//
//   pasket [data file] [output file]
//
// The data file "-" is standard input. The output file is replaced as a whole: the table goes
// to a temporary file beside it, renamed over it once complete, so that a failed or interrupted
// run leaves the earlier file as it was. Rows run from the zenith outward, labelled with the
// annulus centre; columns are labelled underneath with the sector-centre azimuth of the file's
// records.
#include "pasket.h"

#include <cstdio>
#include <string>

#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"

namespace {

using Grid = gapdata::Grid<double>;
constexpr gapdata::Reading kReading{20, 40, false};
constexpr int kMaxPrintedSectors = 24;  // what fits across a printed page

// What --help shows.
constexpr char kHelp[] =
    "Usage: pasket DATA_FILE OUTPUT_FILE\n"
    "       pasket --help | --version\n"
    "\n"
    "Prints a gap-fraction file as a table of zenith rings (rows, labelled with\n"
    "their centre zenith angle) by azimuth sectors (columns, labelled underneath\n"
    "with their centre azimuth).\n"
    "\n"
    "DATA_FILE is a gap-fraction file as gapimage and gapbatch write it: the\n"
    "numbers of zenith rings and azimuth sectors (at most 20 and 24, which fit a\n"
    "printed page), then one line per cell with its zenith angle, azimuth, gap\n"
    "fraction and pixel count:\n"
    "    9   8\n"
    "    5.000000   337.500000   0.412000   1310\n"
    "\n"
    "OUTPUT_FILE is replaced by the table, which ends with a form feed. It\n"
    "begins:\n"
    "    < PASKET > skygap version 9 - canopy gap fraction analysis suite\n"
    "    GAP FRACTION DATA --- Photosite: DATA_FILE\n"
    "Nothing is written on standard output; messages go to standard error.\n"
    "\n"
    "Exit status: 0 when the table was written; 1 for a wrong number of arguments\n"
    "(usage on standard error), a file that cannot be opened or is refused (one\n"
    "line on standard error), or a table that cannot be written completely.\n";

void write_table(std::FILE* out, const char* photosite, const Grid& grid) {
    std::fprintf(out, "< PASKET > ");
    std::fprintf(out, "%s\n", gapreport::kBanner);
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

int run_pasket(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    if (argc != 3) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(io.err, "\n--->Usage: %s [data file][output file]<---\n\n", argv[0]);
        return 1;
    }
    const char* data_path = argv[1];
    const char* out_path = argv[2];

    if (!cli::check_files(io, {data_path}, out_path, fileio::Dash::kStandardInput)) return 1;

    Grid grid;
    fileio::InputFile in = gapdata::open_input(data_path, fileio::Dash::kStandardInput);
    if (!in) {
        std::fprintf(io.err, "Cannot open the file %s...\n", data_path);
        return 1;
    }
    std::string why;
    int nz = 0, na = 0;
    gapdata::Status st = gapdata::read_header(in.get(), data_path, kReading, &nz, &na, &why);
    if (st == gapdata::Status::kOk && na > kMaxPrintedSectors) {
        std::fprintf(io.err, "\n\n===>> The number of azimuth sectors should not be > 24 <<==\n\n");
        return 1;
    }
    if (st == gapdata::Status::kOk) st = gapdata::check_grid(data_path, kReading, nz, na, &why);
    if (st == gapdata::Status::kOk)
        st = gapdata::read_records(in.get(), data_path, kReading, nz, na, &grid, &why);
    in.close();
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);

    fileio::AtomicFile out(out_path, io.cleanup);
    if (!out.ok()) {
        std::fprintf(io.err, "Cannot open the file %s...", out_path);
        return 1;
    }
    write_table(out.file(), data_path, grid);
    if (cli::commit(io, &out) != 0) return 1;
    const std::string warning = gapdata::short_data_warning(data_path, grid);
    if (!warning.empty()) std::fprintf(io.err, "%s\n", warning.c_str());
    return 0;
}
