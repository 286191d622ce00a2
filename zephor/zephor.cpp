// zephor: leaf area index and leaf inclination after Campbell's ellipsoidal model, with
// logarithmic azimuthal gap averaging over every window width that divides the sectors.
//
//   zephor [parameter file] [gap fraction file] [output file]
//
// The parameter file holds two integers: the annuli discarded next to the zenith and next to
// the horizon. The report is appended to the output file.
#include <cstdio>

#include "ellipsoid.h"
#include "gapdata/gapdata.h"

namespace {

constexpr gapdata::Reading kReading{false, 40, 150, false};

void write_report(std::FILE* out, const char* out_path, const char* photosite,
                  const zephor::Grid& grid, int zr, int hr, const zephor::StepResult* result,
                  int rows, const gapdata::Openness<double>& open) {
    std::fprintf(out, "< Program ZEPHOR > --- %s", out_path);
    std::fprintf(out, "\n");
    std::fprintf(out, "LEAF AREA INDEX after CAMPBELL\n");
    std::fprintf(out, "%s\n", gapdata::kBanner);
    std::fprintf(out, "\nPhotosite: %s\n\n", photosite);
    gapdata::write_selection_block(out, gapdata::BlockStyle::kZephor, grid.nz, grid.na, zr, hr);
    std::fprintf(out, "\nLOGARITHMIC AZIMUTHAL GAP AVERAGING");
    std::fprintf(out, "\n-----------------------------------\n");
    std::fprintf(
        out,
        "STP  AZM  H_prj   V_prj   LAI     err     ELADP   ALPHA   Ke      Kde     gnd.cov fr.soil Lin/Log  Nullgp\n");
    for (int k = 0; k < 106; ++k) std::fputc('-', out);
    std::fprintf(out, "\n");
    for (int r = 0; r < rows; ++r) {
        const zephor::StepResult& p = result[r];
        std::fprintf(
            out,
            "%-5.0lf%-5.0lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-8.3lf%-8.4lf%-8.4lf%-8.4lf%-8.4lf%-9.3lf%-8.0lf\n",
            p.stp, p.azm, p.h_prj, p.v_prj, p.lai, p.err, p.eladp, p.alpha, p.ke, p.kde, p.gnd_cov,
            p.fr_soil, result[0].lai / p.lai, p.null_gp);
    }
    for (int k = 0; k < 106; ++k) std::fputc('-', out);
    std::fprintf(out, "\n");
    gapdata::write_openness(out, open);
    std::fprintf(out, "====================================\n\n\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "%s\n", gapdata::kBanner);
        std::fprintf(stderr,
                     "\n--->Usage:\n %s [parameter file] [gap fraction file] [output file]<---\n\n",
                     argv[0]);
        return 1;
    }
    const char* par_path = argv[1];
    const char* data_path = argv[2];
    const char* out_path = argv[3];

    int discards[2] = {};
    if (!gapdata::read_discard_params(par_path, 2, discards,
                                      "zenith rings discarded, horizon rings discarded",
                                      zephor::Grid::kMaxAnnuli))
        return 1;
    const int zr = discards[0], hr = discards[1];

    static zephor::Grid grid;
    if (!gapdata::load_grid(data_path, kReading, &grid)) return 1;
    if (gapdata::count_divisors(grid.na) > zephor::kMaxSteps) {
        gapdata::refuse(data_path, "%d azimuth sectors give more than %d averaging widths", grid.na,
                        zephor::kMaxSteps);
        return 1;
    }

    zephor::StepResult result[zephor::kMaxSteps];
    const int rows = zephor::averaging_steps(grid, zr, hr, result);
    const gapdata::Openness<double> open = gapdata::openness_summary(
        grid, gapdata::OpennessStyle::kZephor, gapdata::Terrain<double>{});

    std::FILE* out = std::fopen(out_path, "a+");
    if (out == nullptr) {
        std::fprintf(stderr, "Can't open the file %s...\n", out_path);
        return 1;
    }
    write_report(out, out_path, data_path, grid, zr, hr, result, rows, open);
    return gapdata::close_report(out, out_path);
}
