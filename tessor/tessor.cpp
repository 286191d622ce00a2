// tessor: leaf area index and the distribution of leaf inclination angles from a gap-fraction
// file, after Norman and Campbell (1989), with a smoothness constraint chosen at the console.
//
//   tessor [parameter file] [data file] [output file]
//
// The parameter file holds five values: slope and aspect of the ground (degrees), the
// path-length mode (1 is refused: only fixed path lengths exist), and the numbers of zenith
// and horizon rings discarded. The console asks the number of leaf-angle classes, then
// constraint weights until a negative one; the last solution is appended to the output file
// with the terrain, the rings used, the clumping index and the openness of the site, as one
// whole written under a lock. Either input may be "-", standard input, which then also carries
// the answers after it.
#include "tessor.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "lai/norman_campbell.h"

namespace {

namespace nc = lai::norman_campbell;
using nc::ContactNumbers;
using nc::Solution;
using TessorGrid = nc::Grid;

constexpr gapdata::Reading kReading{20, 40, false};

// What --help shows.
constexpr char kHelp[] =
    "Usage: tessor PARAMETER_FILE DATA_FILE OUTPUT_FILE\n"
    "       tessor --help | --version\n"
    "\n"
    "Leaf area index and the distribution of leaf inclination angles after Norman\n"
    "and Campbell (1989), by a least-squares inversion with a smoothness\n"
    "constraint chosen at the console.\n"
    "\n"
    "PARAMETER_FILE holds five values, one a line (or separated by blanks):\n"
    "  line 1  slope of the ground, degrees (0 for level ground)\n"
    "  line 2  aspect of the slope, degrees\n"
    "  line 3  path-length mode: 0 (fixed path lengths; 1 is refused)\n"
    "  line 4  zenith rings discarded next to the zenith (0 or more)\n"
    "  line 5  horizon rings discarded next to the horizon (0 or more)\n"
    "  Lines 4 and 5 together must be less than the number of zenith rings of\n"
    "  DATA_FILE, so that at least one ring is used. Example (a slope of 20\n"
    "  degrees, aspect 0, every ring): 20 0 0 0 0, one value a line.\n"
    "\n"
    "DATA_FILE is a gap-fraction file as gapimage and gapbatch write it: the\n"
    "numbers of zenith rings and azimuth sectors (at most 20 and 40), then one\n"
    "line per cell with its zenith angle, azimuth, gap fraction and pixel count:\n"
    "    9   8\n"
    "    5.000000   337.500000   0.412000   1310\n"
    "\n"
    "Then tessor asks, on standard input, the number of leaf-angle classes (3 to\n"
    "20) and one constraint weight after another (0: plain least squares; larger\n"
    "weights smooth), showing each solution on standard output, until a negative\n"
    "weight. Example: printf '6\\n0.5\\n2\\n-1\\n' | tessor par.txt gapfract.txt lai.txt\n"
    "\n"
    "OUTPUT_FILE receives the last solution at its end (created when missing), so\n"
    "one file collects many runs. A report begins:\n"
    "    ==================================================\n"
    "    < Program TESSOR > --- DATA_FILE\n"
    "\n"
    "Exit status: 0 when the report was appended; 1 for a wrong number of\n"
    "arguments (usage on standard error), an input that cannot be opened or is\n"
    "refused (one line on standard error; OUTPUT_FILE is left as it was), an input\n"
    "that ends or a weight that is no number, no weight solved before the negative\n"
    "one, or a report that cannot be written completely.\n";

struct Params {
    float slope_deg = 0;
    float aspect_deg = 0;
    int path_mode = 0;
    int zr = 0;  // zenith rings discarded
    int hr = 0;  // horizon rings discarded
};

bool read_params(const char* path, Params* par, const cli::Io& io) {
    fileio::InputFile file = gapdata::open_input(path, fileio::Dash::kStandardInput);
    if (!file) {
        std::fprintf(io.err, "Cannot open the file %s\n", path);
        return false;
    }
    // A value that cannot be read stops the reading: every later one would fail too.
    std::FILE* in = file.get();
    int got = 0;
    if (std::fscanf(in, "%f", &par->slope_deg) == 1) ++got;
    if (got == 1 && std::fscanf(in, "%f", &par->aspect_deg) == 1) ++got;
    if (got == 2 && std::fscanf(in, "%d", &par->path_mode) == 1) ++got;
    if (got == 3 && std::fscanf(in, "%d", &par->zr) == 1) ++got;
    if (got == 4 && std::fscanf(in, "%d", &par->hr) == 1) ++got;
    file.close();
    if (got != 5) {
        cli::refuse(io, path,
                    "holds %d readable values of the five needed (slope, aspect, path-length "
                    "mode, zenith and horizon rings discarded)",
                    got);
        return false;
    }
    if (par->path_mode == 1) {
        std::fprintf(io.err, "\n\n~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n");
        std::fprintf(io.err, "Verify the parameter file!\n");
        std::fprintf(io.err, "Set 3rd line to ZERO (0): use fixed path lengths only\n\n");
        std::fprintf(io.err, "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n");
        return false;
    }
    std::string why;
    if (gapdata::check_discards(path, par->zr, par->hr, kReading.max_annuli, &why) !=
        gapdata::Status::kOk) {
        cli::refuse(io, why);
        return false;
    }
    return true;
}

// Reads the number of leaf-angle classes, asking again while it lies outside the tables.
// False, after a line on standard error, at end of input or on an answer that is no number.
bool ask_classes(int b, int* classes, const cli::Io& io) {
    std::fprintf(io.out, "*******************************************************\n");
    std::fprintf(io.out, "The Nbr of Sun Elevation Angles is: %d\n", b);
    for (;;) {
        std::fprintf(io.out, "Enter the Nbr of Leaf Angle Classes (>=3): \n");
        std::fflush(io.out);
        if (std::fscanf(io.in, "%d", classes) != 1) {
            std::fprintf(io.err,
                         "tessor: end of input, or no number, where the number of leaf "
                         "angle classes was asked; nothing is written\n");
            return false;
        }
        if (*classes >= nc::kMinClasses && *classes <= nc::kMaxClasses) return true;
        std::fprintf(io.out, "The number of leaf angle classes must lie between %d and %d.\n",
                     nc::kMinClasses, nc::kMaxClasses);
    }
}

// One line per leaf-angle class: mid-angle, leaf area, fraction of the LAI and distribution
// function, as both the console table and the report show them.
void write_class_rows(std::FILE* out, const Solution& sol) {
    for (int c = 0; c < sol.classes; ++c) {
        const nc::ClassRow r = nc::class_row(sol, c);
        std::fprintf(out, "%4.1f%13.4f%13.4f%13.4f\n", double(r.mid_deg), double(r.area),
                     double(r.fraction), double(r.ladf));
    }
}

void write_solution_table(std::FILE* out, const Solution& sol) {
    std::fprintf(out, "-------------------------------------------------\n");
    std::fprintf(out, "Angle       Leaf      Fractional    Leaf Angle   \n");
    std::fprintf(out, "Class       Area         Area      Distr. Funct.\n");
    std::fprintf(out, "-------------------------------------------------\n");
    write_class_rows(out, sol);
    std::fprintf(out, "-------------------------------------------------\n");
    std::fprintf(out, "    LAI = %7.4f\n", double(sol.lai));
}

// Solves for one constraint weight after another until a negative one, showing each solution;
// *sol keeps the last. False, after a line on standard error, at end of input, on an answer
// that is no number, or when no weight was solved for.
bool constraint_loop(const nc::NormalEquations& ne, Solution* sol, const cli::Io& io) {
    bool solved = false;
    for (;;) {
        std::fprintf(io.out, "\nAdd constraint: ");
        std::fflush(io.out);
        float lambda = 0;
        const int got = std::fscanf(io.in, "%f", &lambda);
        std::fprintf(io.out, "\n");
        if (got != 1) {
            std::fprintf(io.err,
                         "tessor: end of input, or no number, where a constraint weight "
                         "was asked; nothing is written\n");
            return false;
        }
        if (lambda < 0) break;
        if (!std::isfinite(lambda)) {
            std::fprintf(io.out, "The constraint weight must be a finite number.\n");
            continue;
        }
        const int pivot = nc::solve_constrained(ne, lambda, sol);
        if (pivot >= 0) {
            std::fprintf(io.out,
                "No unique solution with this constraint (pivot %d vanishes); try a larger "
                "weight.\n",
                pivot + 1);
            continue;
        }
        solved = true;
        write_solution_table(io.out, *sol);
    }
    std::fprintf(io.out, "        \tDONE...");
    std::fprintf(io.out, "\n*******************************************************\n");
    if (!solved) {
        std::fprintf(
            io.err,
            "tessor: no solution was computed before the negative weight; nothing is written\n");
        return false;
    }
    return true;
}

void write_report(std::FILE* out, const char* data_path, const TessorGrid& grid, const Params& par,
                  const gapdata::Terrain<float>& terrain, const ContactNumbers& cn,
                  const Solution& sol, const gapdata::Openness<float>& open) {
    const bool sloping = par.slope_deg != 0;
    std::fprintf(out, "==================================================\n");
    std::fprintf(out, "< Program TESSOR > --- %s\n", data_path);
    std::fprintf(out, "LEAF AREA INDEX after NORMAN and CAMPBELL, 1989\n");
    std::fprintf(out, "%s\n", gapreport::kBanner);
    gapreport::write_grid_lines(out, gapreport::BlockStyle::kTessor, grid.nz, grid.na, grid.w, grid.s);
    if (sloping) {
        std::fprintf(out, "Slope = %4.1f   Aspect = %5.1f\n",
                     double(float(terrain.slope_rad * gapdata::kRadToDeg)),
                     double(float(terrain.aspect_rad * gapdata::kRadToDeg)));
        std::fprintf(out, "Orographic Mask Calculated\n\n");
    } else {
        std::fprintf(out, "Horizontal Terrain\n\n");
    }
    gapreport::write_ring_lines(out, gapreport::BlockStyle::kTessor, grid.w, par.zr, par.hr);
    std::fprintf(out, "\nNbr of Zenith Annuli (Gap > 0.0) = %d\n", cn.b);
    std::fprintf(out, "Nbr of Leaf Angle Classes = %d\n", sol.classes);
    std::fprintf(out, "Constraint = %g\n", double(sol.lambda));
    std::fprintf(out, "FRACTIONAL AREA OF LEAVES\n");
    std::fprintf(out, "--------------------------------------------------\n");
    std::fprintf(out, "Angle      Leaf         Fractional   Leaf Angle  \n");
    std::fprintf(out, "Class      Area         Area         Distr. Funct.\n");
    std::fprintf(out, "--------------------------------------------------\n");
    write_class_rows(out, sol);
    std::fprintf(out, "--------------------------------------------------\n");
    std::fprintf(out, "    LAIe   = %7.4f\n", double(sol.lai));
    std::fprintf(out, "    CIlx   = %7.4f\n\n", double(nc::clumping_index(cn)));
    std::fprintf(out, "Hemispherical\n");
    std::fprintf(out, "\tTotal Gap       = %5.3f\n", double(open.total_gap));
    if (sloping) std::fprintf(out, "\tSite openness   = %5.3f\n", double(open.site_openness));
    std::fprintf(out, "\tCanopy openness = %5.3f\n", double(open.canopy_openness));
    std::fprintf(out, "\tCanopy Closure  = %5.3f\n", double(open.canopy_closure));
    std::fprintf(out, "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n");
}

}  // namespace

int run_tessor(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    if (argc != 4) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(io.err, "\nUsage: %s [parameter file] [data file] [output file]\n", argv[0]);
        return 1;
    }
    const char* data_path = argv[2];
    const char* out_path = argv[3];
    if (!cli::check_files(io, {argv[1], data_path}, out_path, fileio::Dash::kStandardInput))
        return 1;

    Params par;
    if (!read_params(argv[1], &par, io)) return 1;
    TessorGrid grid;
    std::string why;
    gapdata::Status st =
        gapdata::load_grid(data_path, kReading, &grid, &why, fileio::Dash::kStandardInput);
    if (st != gapdata::Status::kOk) return gapreport::write_input_failure(io.err, st, data_path, why);
    st = gapdata::check_rings_used(argv[1], par.zr, par.hr, data_path, grid.nz, &why);
    if (st != gapdata::Status::kOk) return cli::refuse(io, why);
    const gapdata::Terrain<float> terrain = gapdata::make_terrain(par.slope_deg, par.aspect_deg);
    const ContactNumbers cn = nc::contact_numbers(grid, terrain, par.zr, par.hr);
    if (cn.b == 0) {
        return cli::refuse(io, data_path,
                           "no used zenith annulus shows any gap above the ground, so there is "
                           "nothing to invert");
    }

    int classes = 0;
    if (!ask_classes(cn.b, &classes, io)) return 1;
    nc::NormalEquations ne;
    nc::build_normal_equations(cn, classes, &ne);
    Solution sol;
    if (!constraint_loop(ne, &sol, io)) return 1;

    const gapdata::Openness<float> open =
        gapdata::openness_summary(grid, gapdata::OpennessStyle::kTessor, terrain);
    fileio::MemoryReport report;  // appended only now: a failed dialogue writes nothing
    if (report.file() == nullptr) throw std::bad_alloc();
    write_report(report.file(), data_path, grid, par, terrain, cn, sol, open);
    if (cli::append_report(io, out_path, &report,
                           "Can't open the file " + std::string(out_path) + "...") != 0)
        return 1;
    const std::string warning = gapdata::short_data_warning(data_path, grid);
    if (!warning.empty()) std::fprintf(io.err, "%s\n", warning.c_str());
    return 0;
}
