// bravik: leaf area index and mean leaf angle after Suits from one gap-fraction file.
//
//   bravik [parameter file] [gap-fraction file] [output file]
//
// The parameter file holds three integers: the zenith rings and horizon rings to discard, and
// whether to search the azimuthal averaging window of lowest noise-to-signal ratio (non-zero)
// or to average each annulus over 360 degrees (0). The report is appended to the output file as
// one whole written under a lock. Either input may be "-", standard input.
#include "bravik.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "lai/suits.h"

namespace {

using lai::suits::Grid;
using lai::suits::SuitsFit;

constexpr gapdata::Reading kReading{40, 150, false};

// What --help shows.
constexpr char kHelp[] =
    "Usage: bravik PARAMETER_FILE DATA_FILE OUTPUT_FILE\n"
    "       bravik --help | --version\n"
    "\n"
    "Leaf area index and mean leaf inclination after Suits: fits\n"
    "-ln P = Lh + Lv (2/pi) tan(zenith) to one gap value per zenith ring of a\n"
    "gap-fraction file and appends the report to OUTPUT_FILE.\n"
    "\n"
    "PARAMETER_FILE holds three whole numbers, one a line (or separated by blanks):\n"
    "  line 1  zenith rings discarded next to the zenith (0 or more)\n"
    "  line 2  horizon rings discarded next to the horizon (0 or more)\n"
    "  line 3  1: search the azimuthal averaging window of lowest\n"
    "          noise-to-signal ratio; 0: average each ring over 360 degrees\n"
    "  Lines 1 and 2 must leave at least one ring: their sum must be less than\n"
    "  the number of zenith rings of DATA_FILE. Example (every ring, window\n"
    "  searched):\n"
    "    0\n"
    "    0\n"
    "    1\n"
    "\n"
    "DATA_FILE is a gap-fraction file as gapimage and gapbatch write it: the\n"
    "numbers of zenith rings and azimuth sectors (at most 40 and 150), then one\n"
    "line per cell with its zenith angle, azimuth, gap fraction and pixel count:\n"
    "    9   8\n"
    "    5.000000   337.500000   0.412000   1310\n"
    "\n"
    "OUTPUT_FILE receives the report at its end (created when missing), so one\n"
    "file collects many runs. A report begins:\n"
    "    < PROGRAM BRAVIK >\n"
    "    LEAF AREA INDEX after SUITS\n"
    "Nothing is written on standard output; messages go to standard error.\n"
    "\n"
    "Exit status: 0 when the report was appended; 1 for a wrong number of\n"
    "arguments (usage on standard error), an input that cannot be opened or is\n"
    "refused (one line on standard error; OUTPUT_FILE is left as it was), or a\n"
    "report that cannot be written completely.\n";

bool strictly_inside(double alpha) { return alpha > 0 && alpha < 90; }

// Reads the three integers; refuses a file that holds fewer, negative discard counts and
// counts beyond the annuli the grid can hold.
gapdata::Status read_params(const char* path, lai::suits::Params* par, std::string* why) {
    int values[3] = {};
    const gapdata::Status st = gapdata::read_discard_params(
        path, 3, values, "zenith rings discarded, horizon rings discarded, optimize",
        kReading.max_annuli, why, fileio::Dash::kStandardInput);
    par->zenith_rings_discarded = values[0];
    par->horizon_rings_discarded = values[1];
    par->optimize = values[2];
    return st;
}

void write_rule(std::FILE* out, int dashes) {
    for (int k = 0; k < dashes; ++k) std::fputc('-', out);
    std::fputc('\n', out);
}

void write_optimisation(std::FILE* out, const SuitsFit& fit) {
    std::fprintf(out, "\nOPTIMIZATION PROCEDURE\n");
    write_rule(out, 60);
    std::fprintf(out, "STEP    FOV deg    NSR perc    LAI     ALPHA deg   NullGap \n");
    write_rule(out, 60);
    for (const lai::suits::OptRow& row : fit.opt_test) {
        std::fprintf(out, "%-10.5g%-10.5g%-10.5g%-10.5g%-10.5g  %d\n", row.m, row.fov_deg, row.nsr,
                     row.lai, row.alpha_deg, row.null_windows);
    }
    write_rule(out, 60);
}

void write_final_fit(std::FILE* out, const Grid& grid, const SuitsFit& fit) {
    const regress::t_Regression& reg = fit.reg_lin;
    if (fit.m == grid.na) {
        std::fprintf(out, "Linear azimuthal averaging (FOV= 360 deg)\n\n");
        std::fprintf(out, "REGRESSION STATISTICS\n");
    } else {
        std::fprintf(out, "Logarithmic azimuthal averaging");
        std::fprintf(out, " (FOV= %3.0f deg)\n\n", fit.m * grid.s);
        std::fprintf(out, "OPTIMAL SPATIAL AVERAGING: REGRESSION STATISTICS\n");
    }
    std::fprintf(out, "#Zenith annuli with average gap > 0 n = %3d\n", fit.points.n);
    std::fprintf(out, "SE= %-10.6lf\t\t", reg.se);
    std::fprintf(out, "F= %-10.6lf\n", reg.f_ratio);
    std::fprintf(out, "b(0)= %-10.6lf\t", reg.b0);
    std::fprintf(out, "SE b(0)= %-10.6lf\n", reg.se_b0);
    std::fprintf(out, "b(1)= %-10.6lf\t", reg.b1);
    std::fprintf(out, "SE b(1)= %-10.6lf\n", reg.se_b1);
    std::fprintf(out, "R^2= %-10.6lf\n", reg.r * reg.r);
    std::fprintf(out, "\nNoise to signal ratio, perc.= %7.4lf\n", 100 / std::sqrt(reg.f_ratio));
    std::fprintf(out, "(if NSR > 60, the fit is inacceptable)\n");
    std::fprintf(out, "\nLEAF AREA INDEX\n");
    std::fprintf(out, "Horizontal LAI= %7.4lf +- %7.4lf\n", reg.b0, reg.se_b0);
    std::fprintf(out, "Vertical   LAI= %7.4lf +- %7.4lf\n", reg.b1, reg.se_b1);
    write_rule(out, 34);
    std::fprintf(out, "Total      LAI= %7.4lf +- %7.4lf\n", reg.b0 + reg.b1, reg.se_b0 + reg.se_b1);
    std::fprintf(out, "s.e. about regression parameters\n");
    const double alpha = lai::suits::leaf_angle(reg);
    if (strictly_inside(alpha)) {
        std::fprintf(out, "\nAVERAGE LEAF INCLINATION ANGLE\n");
        std::fprintf(out, "ALPHA= %7.2lf ", alpha);
        std::fprintf(out, "degrees above horizon\n");
    } else {
        std::fprintf(out, "ALPHA undetermined\n");
    }
}

void write_gaps(std::FILE* out, const SuitsFit& fit) {
    std::fprintf(out, "\nOBSERVED AND PREDICTED GAP FREQUENCIES\n");
    write_rule(out, 43);
    std::fprintf(out, "Zenith angle   Measured gap   Predicted gap\n");
    write_rule(out, 43);
    const regress::t_Regression& reg = fit.reg_lin;
    for (int k = 0; k < fit.points.n; ++k) {
        const double predicted = lai::suits::predicted_gap(reg, fit.points.zenangl[k]);
        std::fprintf(out, "%-15.5g%-15.5g%-15.5g\n", fit.points.zenangl[k], fit.points.average[k],
                     predicted);
    }
    write_rule(out, 48);
    std::fprintf(out, "r= %7.4lf     RMS= %7.4lf   RMS perc= %7.4lf\n\n", fit.agreement.r,
                 fit.agreement.rms, fit.agreement.rms_perc);
}


void write_report(std::FILE* out, const char* photosite, const Grid& grid,
                  const lai::suits::Params& par, const SuitsFit& fit) {
    std::fprintf(out, "< PROGRAM BRAVIK >\n");
    std::fprintf(out, "LEAF AREA INDEX after SUITS\n");
    std::fprintf(out, "%s\n", gapreport::kBanner);
    std::fprintf(out, "\nPhotosite: %s\n", photosite);
    gapreport::write_selection_block(out, gapreport::BlockStyle::kSuits, grid.nz, grid.na,
                                     par.zenith_rings_discarded, par.horizon_rings_discarded);
    if (par.optimize != 0) write_optimisation(out, fit);
    write_final_fit(out, grid, fit);
    write_gaps(out, fit);
    gapreport::write_openness(out, fit.openness);
    for (int k = 0; k < 50; ++k) std::fputc('*', out);
    std::fprintf(out, "\n\n");
}

}  // namespace

int run_bravik(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    if (argc != 4) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(io.err, "\nUsage: %s [parameter file] [data file] [output file]\n", argv[0]);
        return 1;
    }
    const char* param_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];
    if (!cli::check_files(io, {param_path, data_path}, out_path, fileio::Dash::kStandardInput))
        return 1;

    std::string why;
    lai::suits::Params par;
    gapdata::Status st = read_params(param_path, &par, &why);
    if (st != gapdata::Status::kOk)
        return gapreport::write_input_failure(io.err, st, param_path, why);
    Grid grid;
    st = gapdata::load_grid(data_path, kReading, &grid, &why, fileio::Dash::kStandardInput);
    if (st != gapdata::Status::kOk)
        return gapreport::write_input_failure(io.err, st, data_path, why);
    st = gapdata::check_rings_used(param_path, par.zenith_rings_discarded,
                                   par.horizon_rings_discarded, data_path, grid.nz, &why);
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);
    const SuitsFit fit = lai::suits::fit_suits(grid, par);

    fileio::MemoryReport report;  // appended only after both inputs are read
    if (report.file() == nullptr) throw std::bad_alloc();
    write_report(report.file(), data_path, grid, par, fit);
    if (cli::append_report(io, out_path, &report,
                           "Cannot open the file " + std::string(out_path) + "...") != 0)
        return 1;
    const std::string warning = gapdata::short_data_warning(data_path, grid);
    if (!warning.empty()) std::fprintf(io.err, "%s\n", warning.c_str());
    return 0;
}
