// keldro: prepares a gap-fraction file for the leaf area index method after Lang: one point per
// visible sky cell of the used zenith range, with the ratio of the log of the mean gap to the
// mean log gap, total gap, canopy openness and site openness.
//
//   keldro [parameter file] [gap fraction file] [output file]
//
// The parameter file holds slope and aspect of the ground (degrees), the point mode (0 or 1),
// the annuli discarded next to the zenith and next to the horizon, and the largest LAI given to
// a cell without gap (0: spread the next gap over the run instead). The report is appended as
// one whole written under a lock. Either input may be "-", standard input.
#include "keldro.h"

#include <cstdio>
#include <new>
#include <string>

#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "lai/lang.h"

namespace {

using lai::lang::Grid;
using lai::lang::Params;
using lai::lang::Points;

constexpr gapdata::Reading kReading{40, 150, true};

// What --help shows.
constexpr char kHelp[] =
    "Usage: keldro PARAMETER_FILE DATA_FILE OUTPUT_FILE\n"
    "       keldro --help | --version\n"
    "\n"
    "Points for the leaf area index method after Lang: one point per visible sky\n"
    "cell of the rings used, with the ratio of the log of the mean gap to the mean\n"
    "log gap, total gap, canopy openness and site openness, appended to\n"
    "OUTPUT_FILE.\n"
    "\n"
    "PARAMETER_FILE holds six values, one a line (or separated by blanks):\n"
    "  line 1  slope of the ground, degrees (0 for level ground)\n"
    "  line 2  aspect of the slope, degrees\n"
    "  line 3  point mode: 0, x is the view zenith angle; 1, x is the angle to\n"
    "          the normal of the sloping ground\n"
    "  line 4  zenith rings discarded next to the zenith (0 or more)\n"
    "  line 5  horizon rings discarded next to the horizon (0 or more)\n"
    "  line 6  largest LAI given to a cell without gap; 0 spreads the next gap\n"
    "          along the run of empty cells instead\n"
    "  Lines 4 and 5 together must be less than the number of zenith rings of\n"
    "  DATA_FILE, so that at least one ring is used. Example (level ground, every\n"
    "  ring, at most LAI 5 per cell): 0 0 0 0 0 5, one value a line.\n"
    "\n"
    "DATA_FILE is a gap-fraction file as gapimage and gapbatch write it: the\n"
    "numbers of zenith rings and azimuth sectors (at most 40 and 150), then one\n"
    "line per cell with its zenith angle, azimuth, gap fraction and pixel count:\n"
    "    9   8\n"
    "    5.000000   337.500000   0.412000   1310\n"
    "\n"
    "OUTPUT_FILE receives at its end (created when missing) a line naming the\n"
    "program and both files, the suite's banner, the result line (the zenith\n"
    "range used from and to in degrees, the ratio, total gap, canopy and site\n"
    "openness), the number of points, and one line per point (x in radians,\n"
    "y = -ln(gap) times a cosine), separated by tabs:\n"
    "     0.0  90.0  0.723  0.315  0.215  0.215\n"
    "    12\n"
    "Nothing is written on standard output; messages go to standard error.\n"
    "\n"
    "Exit status: 0 when the points were appended; 1 for a wrong number of\n"
    "arguments (usage on standard error), an input that cannot be opened or is\n"
    "refused (one line on standard error; OUTPUT_FILE is left as it was), or a\n"
    "file that cannot be written completely.\n";

bool read_params(std::FILE* in, Params* par) {
    return std::fscanf(in, "%f", &par->slope_deg) == 1 &&
           std::fscanf(in, "%f", &par->aspect_deg) == 1 && std::fscanf(in, "%d", &par->mode) == 1 &&
           std::fscanf(in, "%d", &par->zr) == 1 && std::fscanf(in, "%d", &par->hr) == 1 &&
           std::fscanf(in, "%f", &par->l_max) == 1;
}

void write_report(std::FILE* out, const char* program, const char* par_path, const char* data_path,
                  const Grid& grid, const Params& par, const Points& points,
                  const gapdata::Openness<float>& open) {
    std::fprintf(out, "PROGRAM %s - LAI after LANG - %s - %s\n", program, par_path, data_path);
    std::fprintf(out, "%s\n", gapreport::kBanner);
    const float first = par.zr * grid.w;
    const float last = 90 - par.hr * grid.w;
    std::fprintf(out, "%4.1f\t%4.1f\t%5.3f\t%5.3f\t%5.3f\t%5.3f\n", double(first), double(last),
                 double(points.ratio), double(open.total_gap), double(open.canopy_openness),
                 double(open.site_openness));
    std::fprintf(out, "%d\n", points.count);
    for (int k = 0; k < points.count; ++k)
        std::fprintf(out, "%5.3f\t%5.3f\n", double(points.x[k]), double(points.y[k]));
    std::fprintf(out, "\n");
}

}  // namespace

int run_keldro(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    if (argc != 4) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(
            io.err,
            "\n--->Usage:  \n%s [parameter file] [gap fraction file] [output file]<---\n\n",
            argv[0]);
        return 1;
    }
    const char* par_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];
    if (!cli::check_files(io, {par_path, data_path}, out_path, fileio::Dash::kStandardInput))
        return 1;

    fileio::InputFile in = gapdata::open_input(par_path, fileio::Dash::kStandardInput);
    if (!in) {
        std::fprintf(io.err, "Cannot open the file %s...\n", par_path);
        return 1;
    }
    Params par;
    const bool got = read_params(in.get(), &par);
    in.close();
    if (!got) {
        return cli::refuse(io, par_path,
                           "expected six values: slope, aspect, point mode, zenith and horizon "
                           "rings discarded, largest LAI");
    }
    if (par.mode != 0 && par.mode != 1)
        return cli::refuse(io, par_path, "the point mode is %d; it must be 0 or 1", par.mode);
    std::string why;
    gapdata::Status st = gapdata::check_discards(par_path, par.zr, par.hr, kReading.max_annuli, &why);
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);

    Grid grid;
    st = gapdata::load_grid(data_path, kReading, &grid, &why, fileio::Dash::kStandardInput);
    if (st != gapdata::Status::kOk) return gapreport::write_input_failure(io.err, st, data_path, why);
    st = gapdata::check_rings_used(par_path, par.zr, par.hr, data_path, grid.nz, &why);
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);
    const gapdata::Terrain<float> terrain = gapdata::make_terrain(par.slope_deg, par.aspect_deg);

    const Points points = lai::lang::lang_points(grid, par, terrain);
    const gapdata::Openness<float> open =
        gapdata::openness_summary(grid, gapdata::OpennessStyle::kKeldro, terrain);

    fileio::MemoryReport report;
    if (report.file() == nullptr) throw std::bad_alloc();
    write_report(report.file(), argv[0], par_path, data_path, grid, par, points, open);
    if (cli::append_report(io, out_path, &report,
                           "Can't open the file " + std::string(out_path) + "...") != 0)
        return 1;
    const std::string warning = gapdata::short_data_warning(data_path, grid);
    if (!warning.empty()) std::fprintf(io.err, "%s\n", warning.c_str());
    return 0;
}
