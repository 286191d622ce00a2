// quinda: leaf area index, contact number at 55 degrees and mean leaf angle after Lang and
// Xiang (1986), for every azimuthal averaging window that divides the sector count.
//
//   quinda [parameter file] [gap fraction file] [output file]
//
// The parameter file holds two integers: the zenith rings and the horizon rings to discard.
// The report is appended to the output file as one whole written under a lock. Either input may
// be "-", standard input.
#include "quinda.h"

#include <cstdio>
#include <new>
#include <string>

#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "lai/lang_xiang.h"

namespace {

using lai::lang_xiang::Grid;
using lai::lang_xiang::Step;

constexpr gapdata::Reading kReading{40, 150, false};
constexpr int kMaxSteps = 15;  // rows of the step table

// What --help shows.
constexpr char kHelp[] =
    "Usage: quinda PARAMETER_FILE DATA_FILE OUTPUT_FILE\n"
    "       quinda --help | --version\n"
    "\n"
    "Leaf area index, contact number at 55 degrees and mean leaf angle after Lang\n"
    "and Xiang (1986), one row for every azimuthal averaging window whose width\n"
    "divides the number of sectors, appended to OUTPUT_FILE.\n"
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
    "15 window widths: 120 sectors are refused), then one line per cell with its\n"
    "zenith angle, azimuth, gap fraction and pixel count:\n"
    "    9   8\n"
    "    5.000000   337.500000   0.412000   1310\n"
    "\n"
    "OUTPUT_FILE receives the report at its end (created when missing), so one\n"
    "file collects many runs. A report begins:\n"
    "    < Program QUINDA > --- OUTPUT_FILE\n"
    "    LEAF AREA INDEX after LANG & XIANG (1986)\n"
    "Nothing is written on standard output; messages go to standard error.\n"
    "\n"
    "Exit status: 0 when the report was appended; 1 for a wrong number of\n"
    "arguments (usage on standard error), an input that cannot be opened or is\n"
    "refused (one line on standard error; OUTPUT_FILE is left as it was), or a\n"
    "report that cannot be written completely.\n";

// Reads the two discard counts; refuses a file that holds fewer integers, negative counts and
// counts beyond the annuli the grid can hold.
gapdata::Status read_params(const char* path, int* zr, int* hr, std::string* why) {
    int values[2] = {};
    const gapdata::Status st = gapdata::read_discard_params(
        path, 2, values, "zenith rings discarded, horizon rings discarded", kReading.max_annuli,
        why, fileio::Dash::kStandardInput);
    *zr = values[0];
    *hr = values[1];
    return st;
}

void write_dashes(std::FILE* out, int count) {
    for (int k = 0; k < count; ++k) std::fputc('-', out);
}

void write_row(std::FILE* out, const Step& row, double first_lai) {
    if (row.lai <= 0 || row.kappa <= 0) {
        std::fprintf(
            out, "Miller-Lang model failed - Gap frequency distribution too far from Poisson\n");
        return;
    }
    const double lin_log = first_lai / row.lai;
    if (!(row.alpha_deg > 0 && row.alpha_deg < 90)) {
        std::fprintf(out,
                     "%-5.0lf%-5.0lf%-8.3lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf   -       -       "
                     "%-9.3lf%-8.0lf\n",
                     row.m, row.azm_deg, row.nsr, row.lai, row.se_lai, row.kappa, row.se_kappa,
                     lin_log, row.null_windows);
        return;
    }
    std::fprintf(out,
                 "%-5.0lf%-5.0lf%-8.3lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-8.3lf%-8.3lf%-9.3lf%-8.0lf\n",
                 row.m, row.azm_deg, row.nsr, row.lai, row.se_lai, row.kappa, row.se_kappa,
                 row.alpha_deg, row.ci_alpha, lin_log, row.null_windows);
}

void write_report(std::FILE* out, const char* out_name, const char* photosite, const Grid& grid,
                  int zr, int hr, const lai::lang_xiang::StepTable& table) {
    std::fprintf(out, "< Program QUINDA > --- %s\n", out_name);
    std::fprintf(out, "LEAF AREA INDEX after LANG & XIANG (1986)\n");
    std::fprintf(out, "%s\n", gapreport::kBanner);
    std::fprintf(out, "Photosite: %s\n\n", photosite);
    gapreport::write_selection_block(out, gapreport::BlockStyle::kSuits, grid.nz, grid.na, zr, hr);

    std::fprintf(out, "\nLOGARITHMIC AZIMUTHAL GAP AVERAGING");
    std::fprintf(out, "\n");
    write_dashes(out, 46);
    write_dashes(out, 34);
    std::fprintf(out, "\n");
    std::fprintf(out, "STP  AZM    NSR    LAI    SE_LAI  KAPPA   SE_KAP");
    std::fprintf(out, "  ALPHA   CI_ALP  Lin/Log  Nullgap\n");
    write_dashes(out, 46);
    write_dashes(out, 34);
    std::fprintf(out, "\n");

    for (const Step& row : table.result) write_row(out, row, table.result[0].lai);

    write_dashes(out, 47);
    write_dashes(out, 35);
    std::fprintf(out, "\n");
    gapreport::write_openness(out, table.openness);
    write_dashes(out, 34);
    std::fprintf(out, "\n\n\n");
}

}  // namespace

int run_quinda(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    if (argc != 4) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(io.err,
                     "\n--->Usage: \n%s [parameter file] [gap fraction file] [output file]<---\n\n",
                     argv[0]);
        return 1;
    }
    const char* param_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];
    if (!cli::check_files(io, {param_path, data_path}, out_path, fileio::Dash::kStandardInput))
        return 1;

    std::string why;
    int zr = 0, hr = 0;
    gapdata::Status st = read_params(param_path, &zr, &hr, &why);
    if (st != gapdata::Status::kOk)
        return gapreport::write_input_failure(io.err, st, param_path, why);
    Grid grid;
    st = gapdata::load_grid(data_path, kReading, &grid, &why, fileio::Dash::kStandardInput);
    if (st != gapdata::Status::kOk)
        return gapreport::write_input_failure(io.err, st, data_path, why);
    st = gapdata::check_rings_used(param_path, zr, hr, data_path, grid.nz, &why);
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);
    const int widths = gapdata::count_divisors(grid.na);
    if (widths > kMaxSteps) {
        return cli::refuse(io, data_path,
                           "%d azimuth sectors have %d window widths, more than the %d this "
                           "program tabulates",
                           grid.na, widths, kMaxSteps);
    }
    const lai::lang_xiang::StepTable table = lai::lang_xiang::compute_table(grid, zr, hr);

    fileio::MemoryReport report;
    if (report.file() == nullptr) throw std::bad_alloc();
    write_report(report.file(), out_path, data_path, grid, zr, hr, table);
    if (cli::append_report(io, out_path, &report,
                           "Can't open the file " + std::string(out_path) + "...") != 0)
        return 1;
    const std::string warning = gapdata::short_data_warning(data_path, grid);
    if (!warning.empty()) std::fprintf(io.err, "%s\n", warning.c_str());
    return 0;
}
