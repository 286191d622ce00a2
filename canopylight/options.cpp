// canopylight: the command line and the help text.
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace canopylight {

namespace {

bool parse_double(const std::string& text, double lo, double hi, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parse_int(const std::string& text, long lo, long hi, int* out) {
    if (text.empty() || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

// "FIRST-LAST" or one day "D", each 1..365, FIRST not after LAST.
bool parse_days(const std::string& text, int* first, int* last) {
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string::npos) {
        if (!parse_int(text, 1, 365, first)) return false;
        *last = *first;
        return true;
    }
    return parse_int(text.substr(0, dash), 1, 365, first) &&
           parse_int(text.substr(dash + 1), 1, 365, last) && *first <= *last;
}

}  // namespace

bool parse_options(const std::vector<std::string>& args, Options* opt, std::string* error) {
    light::Settings& s = opt->settings;
    bool lat_given = false, lon_given = false;
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            opt->help = true;
            return true;
        }
        if (a == "--version") {
            opt->version = true;
            return true;
        }
    }
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--csv") {
            opt->csv = true;
            continue;
        }
        if (a == "--par") {
            opt->par = true;
            continue;
        }
        if (a == "-" || a.empty() || a[0] != '-') {  // the gap-fraction file
            if (a.empty()) {
                *error = "an empty gap-fraction file name";
                return false;
            }
            if (!opt->gap_file.empty()) {
                *error = "more than one gap-fraction file: '" + opt->gap_file + "' and '" + a + "'";
                return false;
            }
            opt->gap_file = a;
            continue;
        }
        // --name=value or --name value
        std::string name = a, v;
        const std::size_t eq = a.find('=');
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            v = a.substr(eq + 1);
        }
        static const char* const kWithValue[] = {
            "--lat", "--lon", "--elev",           "--days", "--day-step",      "--step",
            "--tau", "--kt",  "--solar-constant", "--sky",  "--par-conversion"};
        bool known = false;
        for (const char* n : kWithValue) known = known || name == n;
        if (name == "--csv" || name == "--par") {
            *error = name + " takes no value";
            return false;
        }
        if (!known) {
            *error = "unknown option '" + name + "' (try --help)";
            return false;
        }
        if (eq == std::string::npos) {
            if (k + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            v = args[++k];
        }
        bool ok = true;
        const char* want = "";
        if (name == "--lat") {
            want = "a latitude in degrees from -90 to 90, north positive";
            ok = parse_double(v, -90, 90, &s.latitude_deg);
            lat_given = true;
        } else if (name == "--lon") {
            want = "a longitude in degrees from -180 to 180, east positive";
            ok = parse_double(v, -180, 180, &opt->longitude_deg);
            lon_given = true;
        } else if (name == "--elev") {
            want = "an elevation in metres from -1000 to 10000";
            ok = parse_double(v, -1000, 10000, &s.elevation_m);
        } else if (name == "--days") {
            want = "days of the year FIRST-LAST from 1 to 365, the first not after the last";
            ok = parse_days(v, &s.first_day, &s.last_day);
        } else if (name == "--day-step") {
            want = "a whole number of days from 1 to 365";
            ok = parse_int(v, 1, 365, &s.day_step);
        } else if (name == "--step") {
            want = "a whole number of minutes that divides 1440 (1, 2, 3, 4, 5, 6, 10, 15, ...)";
            ok = parse_int(v, 1, light::kMinutesPerDay, &s.step_min) &&
                 light::kMinutesPerDay % s.step_min == 0;
        } else if (name == "--tau") {
            want = "a transmission coefficient above 0 and at most 1";
            ok = parse_double(v, 0, 1, &s.tau) && s.tau > 0;
        } else if (name == "--kt") {
            want = "a cloudiness index from 0 to 1";
            ok = parse_double(v, 0, 1, &s.kt);
        } else if (name == "--solar-constant") {
            want = "a solar constant in W m-2 from 1000 to 2000";
            ok = parse_double(v, 1000, 2000, &s.solar_constant);
        } else if (name == "--sky") {
            want = "uoc or soc";
            ok = v == "uoc" || v == "soc";
            s.sky_model =
                v == "soc" ? light::SkyModel::kStandardOvercast : light::SkyModel::kUniformOvercast;
        } else if (name == "--par-conversion") {
            want = "mol of PAR photons per MJ of global radiation, above 0 and at most 10";
            ok = parse_double(v, 0, 10, &s.par_mol_per_mj) && s.par_mol_per_mj > 0;
            opt->par = true;
        }
        if (!ok) {
            *error = name + ": expected " + want + ", got '" + v + "'";
            return false;
        }
    }
    if (!lat_given || !lon_given) {
        *error = std::string(lat_given ? "--lon" : "--lat") +
                 " is required: the site's latitude and longitude (try --help)";
        return false;
    }
    if (opt->gap_file.empty()) {
        *error = "no gap-fraction file given (try --help)";
        return false;
    }
    const std::string problem = light::check_settings(s);
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    return true;
}

void write_help(std::FILE* out) {
    std::fprintf(
        out,
        "Usage: canopylight --lat DEG --lon DEG [options] GAPFILE\n"
        "Understorey light from a gap-fraction file. The sun, followed through the period,\n"
        "adds its clear-sky beam to the sky cell that holds it; the above-canopy radiation,\n"
        "split into diffuse and direct parts, reaches the ground in the share the cells' gap\n"
        "fractions let through: the indirect, direct and global site factors ISF, DSF, GSF.\n"
        "\n"
        "GAPFILE is a gap-fraction file written by gapimage or gapbatch (any grid up to 90\n"
        "rings by 360 sectors); - reads it from standard input. It begins like this:\n"
        "  9   8\n"
        "  5.000000   337.500000   0.412000   1204\n"
        "the numbers of zenith rings and azimuth sectors, then one line per cell: ring-centre\n"
        "zenith angle, sector-centre compass azimuth (the magnetic declination applied when the\n"
        "photograph was counted), gap fraction and pixel count.\n"
        "\n"
        "Site:\n"
        "  --lat DEG             latitude, north positive, -90 to 90 (required)\n"
        "  --lon DEG             longitude, east positive, -180 to 180 (required; times are\n"
        "                        local apparent solar time, so it names the site only)\n"
        "  --elev M              elevation above sea level, -1000 to 10000 m (default 0)\n"
        "Period:\n"
        "  --days FIRST-LAST     days of the year, 1 to 365 (default 1-365); --days D: one day\n"
        "  --day-step N          every Nth day from FIRST (default 1)\n"
        "  --step MINUTES        solar-time step, a divisor of 1440 (default 2)\n"
        "Atmosphere and sky:\n"
        "  --tau T               clear-sky transmission coefficient, above 0 to 1 (default 0.65)\n"
        "  --kt K                cloudiness index, global over extraterrestrial radiation,\n"
        "                        0 to 1 (default 0.45)\n"
        "  --solar-constant S    W m-2, 1000 to 2000 (default 1367)\n"
        "  --sky uoc|soc         diffuse sky radiance: uniform overcast (uoc), or standard\n"
        "                        overcast (soc), proportional to (1 + 2 cos zenith) / 3\n"
        "                        (Moon and Spencer 1942) (default uoc)\n"
        "Output:\n"
        "  --csv                 one CSV row under its header line instead of the block\n"
        "  --par                 photosynthetically active radiation too, mol m-2 d-1\n"
        "  --par-conversion C    mol of PAR photons per MJ of global radiation (implies --par;\n"
        "                        default 2.285: half the solar energy lies in 400-700 nm,\n"
        "                        Szeicz 1974, and that light carries 4.57 umol per J,\n"
        "                        McCree 1972)\n"
        "  --help, -h            this text\n"
        "  --version             the suite's version\n"
        "\n"
        "The results, named as the CSV columns: file, sun_positions (sun positions above the\n"
        "horizon), ho_w and ho_mj (daily extraterrestrial irradiation, as a 24-h mean in W m-2\n"
        "and in MJ m-2 d-1, mean over the days), kd (diffuse fraction for Kt), global_above,\n"
        "diffuse_above, direct_above (MJ m-2 d-1), isf, dsf, gsf, canopy_openness (gap fraction\n"
        "weighted by solid angle), global_below, diffuse_below, direct_below (MJ m-2 d-1),\n"
        "global_pct, diffuse_pct, direct_pct (below as %% of above), and with --par par_above and\n"
        "par_below (mol m-2 d-1).\n"
        "\n"
        "Everything is written to standard output. Exit status 0; 1 with one line on standard\n"
        "error when an option or the file cannot be used.\n");
}

}  // namespace canopylight
