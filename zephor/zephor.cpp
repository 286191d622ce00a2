// zephor: leaf area index and leaf inclination after Campbell's ellipsoidal model, with
// logarithmic azimuthal gap averaging over every window width that divides the sectors.
//
//   zephor [parameter file] [gap fraction file] [output file]
//
// The parameter file holds two integers: the annuli discarded next to the zenith and next to
// the horizon. The report is appended to the output file as one whole written under a lock.
// Either input may be "-", standard input.
#include "zephor.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "lai/ellipsoid.h"

namespace {

using lai::ellipsoid::Grid;
using lai::ellipsoid::StepResult;

constexpr gapdata::Reading kReading{40, 150, false};
// At most 14 window widths: the number of divisors of any sector count this program accepts.
constexpr int kMaxSteps = 14;

// What --help shows.
constexpr char kHelp[] =
    "Usage: zephor PARAMETER_FILE DATA_FILE OUTPUT_FILE\n"
    "       zephor --help | --version\n"
    "\n"
    "Leaf area index and leaf inclination after Campbell's ellipsoidal model, one\n"
    "row for every azimuthal averaging window whose width divides the number of\n"
    "sectors, appended to OUTPUT_FILE.\n"
    "\n"
    "PARAMETER_FILE holds two whole numbers, one a line (or separated by blanks):\n"
    "  line 1  zenith rings discarded next to the zenith (0 or more)\n"
    "  line 2  horizon rings discarded next to the horizon (0 or more)\n"
    "  Their sum must be less than the number of zenith rings of DATA_FILE, so\n"
    "  that at least one ring is used. Example (every ring used):\n"
    "    0\n"
    "    0\n"
    "\n"
    "DATA_FILE is a gap-fraction file as gapimage and gapbatch write it: the\n"
    "numbers of zenith rings and azimuth sectors (at most 40 and 150, with at most\n"
    "14 window widths: 120 and 144 sectors are refused), then one line per cell\n"
    "with its zenith angle, azimuth, gap fraction and pixel count:\n"
    "    9   8\n"
    "    5.000000   337.500000   0.412000   1310\n"
    "\n"
    "OUTPUT_FILE receives the report at its end (created when missing), so one\n"
    "file collects many runs. A report begins:\n"
    "    < Program ZEPHOR > --- OUTPUT_FILE\n"
    "    LEAF AREA INDEX after CAMPBELL\n"
    "Nothing is written on standard output; messages go to standard error.\n"
    "\n"
    "Exit status: 0 when the report was appended; 1 for a wrong number of\n"
    "arguments (usage on standard error), an input that cannot be opened or is\n"
    "refused (one line on standard error; OUTPUT_FILE is left as it was), or a\n"
    "report that cannot be written completely.\n";

void write_report(std::FILE* out, const char* out_path, const char* photosite, const Grid& grid,
                  int zr, int hr, const std::vector<StepResult>& result,
                  const gapdata::Openness<double>& open) {
    std::fprintf(out, "< Program ZEPHOR > --- %s", out_path);
    std::fprintf(out, "\n");
    std::fprintf(out, "LEAF AREA INDEX after CAMPBELL\n");
    std::fprintf(out, "%s\n", gapreport::kBanner);
    std::fprintf(out, "\nPhotosite: %s\n\n", photosite);
    gapreport::write_selection_block(out, gapreport::BlockStyle::kZephor, grid.nz, grid.na, zr, hr);
    std::fprintf(out, "\nLOGARITHMIC AZIMUTHAL GAP AVERAGING");
    std::fprintf(out, "\n-----------------------------------\n");
    std::fprintf(
        out,
        "STP  AZM  H_prj   V_prj   LAI     err     ELADP   ALPHA   Ke      Kde     gnd.cov fr.soil Lin/Log  Nullgp\n");
    for (int k = 0; k < 106; ++k) std::fputc('-', out);
    std::fprintf(out, "\n");
    for (const StepResult& p : result) {
        std::fprintf(
            out,
            "%-5.0lf%-5.0lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-8.3lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-9.3lf%-8.0lf\n",
            p.stp, p.azm, p.h_prj, p.v_prj, p.lai, p.err, p.eladp, p.alpha, p.ke, p.kde, p.gnd_cov,
            p.fr_soil, result[0].lai / p.lai, p.null_gp);
    }
    for (int k = 0; k < 106; ++k) std::fputc('-', out);
    std::fprintf(out, "\n");
    gapreport::write_openness(out, open);
    std::fprintf(out, "====================================\n\n\n");
}

}  // namespace

int run_zephor(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    if (argc != 4) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(io.err,
                     "\n--->Usage:\n %s [parameter file] [gap fraction file] [output file]<---\n\n",
                     argv[0]);
        return 1;
    }
    const char* par_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];
    if (!cli::check_files(io, {par_path, data_path}, out_path, fileio::Dash::kStandardInput))
        return 1;

    std::string why;
    int discards[2] = {};
    gapdata::Status st = gapdata::read_discard_params(
        par_path, 2, discards, "zenith rings discarded, horizon rings discarded",
        kReading.max_annuli, &why, fileio::Dash::kStandardInput);
    if (st != gapdata::Status::kOk) return gapreport::write_input_failure(io.err, st, par_path, why);
    const int zr = discards[0], hr = discards[1];

    Grid grid;
    st = gapdata::load_grid(data_path, kReading, &grid, &why, fileio::Dash::kStandardInput);
    if (st != gapdata::Status::kOk) return gapreport::write_input_failure(io.err, st, data_path, why);
    st = gapdata::check_rings_used(par_path, zr, hr, data_path, grid.nz, &why);
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);
    if (gapdata::count_divisors(grid.na) > kMaxSteps) {
        return cli::refuse(io, data_path, "%d azimuth sectors give more than %d averaging widths",
                           grid.na, kMaxSteps);
    }

    const std::vector<StepResult> result = lai::ellipsoid::averaging_steps(grid, zr, hr);
    const gapdata::Openness<double> open = gapdata::openness_summary(
        grid, gapdata::OpennessStyle::kZephor, gapdata::Terrain<double>{});

    fileio::MemoryReport report;
    if (report.file() == nullptr) throw std::bad_alloc();
    write_report(report.file(), out_path, data_path, grid, zr, hr, result, open);
    if (cli::append_report(io, out_path, &report,
                           "Can't open the file " + std::string(out_path) + "...") != 0)
        return 1;
    const std::string warning = gapdata::short_data_warning(data_path, grid);
    if (!warning.empty()) std::fprintf(io.err, "%s\n", warning.c_str());
    return 0;
}
