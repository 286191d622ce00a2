// canopylight: understorey light (site factors, transmitted direct, diffuse and global
// radiation) from a gap-fraction file, for a site and a period.
//
//   canopylight --lat DEG --lon DEG [options] GAPFILE      (canopylight --help lists them)
#include "canopylight.h"

#include <cstdio>
#include <string>
#include <vector>

#include "fileio/fileio.h"
#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "gapreport/light_columns.h"
#include "light/light.h"
#include "options.h"

namespace {

// Any grid the suite writes: up to 90 rings by 360 sectors.
constexpr gapdata::Reading kReading{gapdata::kMaxWriteAnnuli, gapdata::kMaxWriteSectors,
                                    false};

// Reads the whole gap-fraction file from IN into GRID. Besides the header and grid checks of
// every reader, refuses a file that ends before its header's nz * na records, or that holds
// more than them: either way the cells would not be the photograph's.
bool read_grid(std::FILE* in, const char* path, gapdata::Grid<double>* grid, std::string* why) {
    int nz = 0, na = 0;
    if (gapdata::read_header(in, path, kReading, &nz, &na, why) != gapdata::Status::kOk ||
        gapdata::check_grid(path, kReading, nz, na, why) != gapdata::Status::kOk ||
        gapdata::read_records(in, path, kReading, nz, na, grid, why) != gapdata::Status::kOk)
        return false;
    const int want = nz * na;
    if (grid->records_read < want) {
        *why = std::string(path) + ": holds " + std::to_string(grid->records_read) + " of the " +
               std::to_string(want) + " readable cell records its header announces (" +
               std::to_string(nz) + " x " + std::to_string(na) + ")";
        return false;
    }
    char extra = 0;
    if (std::fscanf(in, " %c", &extra) == 1) {
        *why = std::string(path) + ": holds more than the " + std::to_string(want) +
               " cell records its header announces (" + std::to_string(nz) + " x " +
               std::to_string(na) + ")";
        return false;
    }
    if (std::ferror(in)) {
        *why = std::string(path) + ": cannot be read to its end";
        return false;
    }
    return true;
}

const char* sky_name(light::SkyModel model) {
    return model == light::SkyModel::kStandardOvercast ? "soc (standard overcast)"
                                                       : "uoc (uniform overcast)";
}

void write_block(std::FILE* out, const canopylight::Options& opt, const char* path,
                 const light::Sky& sky, const light::Result& r) {
    using gapreport::light_number;
    const light::Settings& s = opt.settings;
    const int days = light::days_in_period(s);
    std::fprintf(out, "canopylight: understorey light under the canopy of %s\n", path);
    std::fprintf(out, "Sky grid          %d zenith rings x %d azimuth sectors\n", sky.nz, sky.na);
    std::fprintf(out, "Site              latitude %.10g, longitude %.10g deg, elevation %.10g m\n",
                 s.latitude_deg, opt.longitude_deg, s.elevation_m);
    if (s.first_day == s.last_day)
        std::fprintf(out, "Period            day %d", s.first_day);
    else
        std::fprintf(out, "Period            days %d-%d", s.first_day, s.last_day);
    if (s.day_step > 1) std::fprintf(out, " every %d days", s.day_step);
    std::fprintf(out, " (%d day%s), ", days, days == 1 ? "" : "s");
    std::fprintf(out, "a sun position every %d min of solar time\n", s.step_min);
    std::fprintf(out, "Atmosphere        tau %.10g, Kt %.10g, solar constant %.10g W m-2\n", s.tau,
                 s.kt, s.solar_constant);
    std::fprintf(out, "Diffuse sky       %s\n\n", sky_name(s.sky_model));

    std::fprintf(out, "Sun positions     %lld\n", static_cast<long long>(r.sun_positions));
    std::fprintf(out, "Beam weights      %s (sum of Rb)\n", light_number(r.sum_rb).c_str());
    std::fprintf(out, "Extraterrestrial  Ho %s W m-2 (24-h mean), %s MJ m-2 d-1\n",
                 light_number(r.ho_w).c_str(), light_number(r.ho_mj).c_str());
    std::fprintf(out, "Diffuse fraction  Kd %s\n\n", light_number(r.kd).c_str());
    if (!(r.sum_rb > 0))
        std::fprintf(out,
                     "No direct beam: the sun stays below the horizon throughout the period, "
                     "and DSF is given as 0.\n\n");

    std::fprintf(out, "Site factors      ISF %s   DSF %s   GSF %s\n", light_number(r.isf).c_str(),
                 light_number(r.dsf).c_str(), light_number(r.gsf).c_str());
    std::fprintf(out, "Canopy openness   %s\n\n", light_number(r.canopy_openness).c_str());

    std::fprintf(out, "MJ m-2 d-1        above canopy  below canopy  transmitted %%\n");
    const struct {
        const char* name;
        double above, below, pct;
    } rows[] = {{"Global", r.global_above, r.global_below, r.global_pct},
                {"Diffuse", r.diffuse_above, r.diffuse_below, r.diffuse_pct},
                {"Direct", r.direct_above, r.direct_below, r.direct_pct}};
    for (const auto& row : rows)
        std::fprintf(out, "%-17s %-13s %-13s %s\n", row.name, light_number(row.above).c_str(),
                     light_number(row.below).c_str(), light_number(row.pct).c_str());
    if (opt.par) {
        std::fprintf(out, "\nPAR mol m-2 d-1   %-13s %-13s (%.10g mol per MJ)\n",
                     light_number(r.par_above).c_str(), light_number(r.par_below).c_str(),
                     s.par_mol_per_mj);
    }
}

void write_csv(std::FILE* out, const canopylight::Options& opt, const light::Result& r) {
    gapreport::LightColumns columns;
    columns.par = opt.par;
    std::vector<std::string> header = {"file"};
    for (const std::string& name : gapreport::light_csv_header(columns)) header.push_back(name);
    std::vector<std::string> row = {gapreport::csv_field(opt.gap_file)};
    for (const std::string& field : gapreport::light_csv_fields(r, columns)) row.push_back(field);
    std::fprintf(out, "%s\n%s\n", gapreport::join_csv(header).c_str(),
                 gapreport::join_csv(row).c_str());
}

}  // namespace

int run_canopylight(int argc, char** argv, const cli::Io& io) {
    canopylight::Options opt;
    std::string error;
    if (argc < 2)
        return cli::refuse(io,
                           "canopylight: usage: canopylight --lat DEG --lon DEG [options] "
                           "GAPFILE (try --help)");
    if (!canopylight::parse_options(std::vector<std::string>(argv + 1, argv + argc), &opt, &error))
        return cli::refuse(io, "canopylight: " + error);
    if (opt.help) {
        canopylight::write_help(io.out);
        return std::fflush(io.out) == 0 && !std::ferror(io.out) ? 0 : 1;
    }
    if (opt.version) {
        std::fprintf(io.out, "canopylight - %s\n", gapreport::kBanner);
        return std::fflush(io.out) == 0 && !std::ferror(io.out) ? 0 : 1;
    }

    const bool from_stdin = opt.gap_file == "-";
    const char* path = from_stdin ? "standard input" : opt.gap_file.c_str();
    fileio::InputFile file;
    std::FILE* in = io.in;
    if (!from_stdin) {
        file = fileio::open_input(opt.gap_file.c_str());
        if (!file) return cli::refuse(io, file.message());
        in = file.get();
    }
    gapdata::Grid<double> grid;
    std::string why;
    if (!read_grid(in, path, &grid, &why)) return cli::refuse(io, why);
    file.close();

    const light::Sky sky = gapreport::light_sky(grid);
    const std::string sky_problem = light::check_sky(sky);
    if (!sky_problem.empty()) return cli::refuse(io, std::string(path) + ": " + sky_problem);
    const light::Result result = light::compute_light(opt.settings, sky);
    if (!result.ok) return cli::refuse(io, "canopylight: " + result.message);

    if (opt.csv)
        write_csv(io.out, opt, result);
    else
        write_block(io.out, opt, path, sky, result);
    if (std::fflush(io.out) != 0 || std::ferror(io.out))
        return cli::refuse(io, "canopylight: cannot write the results to standard output");
    return 0;
}
