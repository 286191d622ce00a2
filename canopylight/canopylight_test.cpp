// canopylight as a whole, run in-process: the model's reference values through the command
// line, the sky's orientation through the file, and the refusals.
#include "canopylight.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "light/light.h"
#include "options.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs canopylight with ARGS, INPUT as its standard input.
Outcome run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "canopylight");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string bytes = input;
    std::FILE* in =
        bytes.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r");
    char* out_buf = nullptr;
    char* err_buf = nullptr;
    std::size_t out_size = 0, err_size = 0;
    std::FILE* out = open_memstream(&out_buf, &out_size);
    std::FILE* err = open_memstream(&err_buf, &err_size);
    Outcome r;
    r.status = run_canopylight(int(args.size()), argv.data(), cli::Io{in, out, err});
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    r.out.assign(out_buf, out_size);
    r.err.assign(err_buf, err_size);
    std::free(out_buf);
    std::free(err_buf);
    return r;
}

// A gap-fraction file as the writer lays it out: ring by ring from the zenith, the sectors of
// a ring in decreasing azimuth; GAP(ring, writer's sector) gives each cell's gap fraction.
template <typename Gap>
std::string gap_file(int nz, int na, Gap gap) {
    std::string s = std::to_string(nz) + "   " + std::to_string(na) + "\n";
    char line[120];
    for (int i = 0; i < nz; ++i)
        for (int k = na - 1; k >= 0; --k) {
            std::snprintf(line, sizeof line, "%lf   %lf   %lf   %li\n", 90.0 * i / nz + 45.0 / nz,
                          360.0 * k / na + 180.0 / na, gap(i, k), 1000L);
            s += line;
        }
    return s;
}

std::string open_file(int nz, int na) {
    return gap_file(nz, na, [](int, int) { return 1.0; });
}

// The CSV row of a run, by column name.
std::map<std::string, std::string> csv_row(const std::string& out) {
    std::istringstream lines(out);
    std::string header, row;
    std::getline(lines, header);
    std::getline(lines, row);
    std::map<std::string, std::string> fields;
    std::istringstream h(header), v(row);
    for (std::string name, value; std::getline(h, name, ',');) {
        std::getline(v, value, ',');
        fields[name] = value;
    }
    return fields;
}

const std::vector<std::string> kSite = {"--lat",     "50.1876", "--lon",
                                        "-125.6827", "--elev",  "238.44"};

std::vector<std::string> site_and(std::vector<std::string> more) {
    std::vector<std::string> args = kSite;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(Options, DefaultsAndForms) {
    canopylight::Options opt;
    std::string error;
    ASSERT_TRUE(canopylight::parse_options({"--lat", "-12.5", "--lon=7", "g.txt"}, &opt, &error))
        << error;
    const light::Settings& s = opt.settings;
    EXPECT_EQ(s.latitude_deg, -12.5);
    EXPECT_EQ(opt.longitude_deg, 7);
    EXPECT_EQ(s.elevation_m, 0);
    EXPECT_EQ(s.first_day, 1);
    EXPECT_EQ(s.last_day, 365);
    EXPECT_EQ(s.day_step, 1);
    EXPECT_EQ(s.step_min, 2);
    EXPECT_EQ(s.tau, 0.65);
    EXPECT_EQ(s.kt, 0.45);
    EXPECT_EQ(s.solar_constant, 1367);
    EXPECT_EQ(s.sky_model, light::SkyModel::kUniformOvercast);
    EXPECT_EQ(s.par_mol_per_mj, light::kDefaultParMolPerMj);
    EXPECT_FALSE(opt.csv || opt.par);
    EXPECT_EQ(opt.gap_file, "g.txt");

    canopylight::Options o2;
    ASSERT_TRUE(canopylight::parse_options(
        {"-", "--days", "172", "--sky=soc", "--lat", "0", "--lon", "-180", "--par-conversion",
         "2.04", "--csv", "--step", "15", "--day-step", "7"},
        &o2, &error))
        << error;
    EXPECT_EQ(o2.gap_file, "-");
    EXPECT_EQ(o2.settings.first_day, 172);
    EXPECT_EQ(o2.settings.last_day, 172);
    EXPECT_EQ(o2.settings.sky_model, light::SkyModel::kStandardOvercast);
    EXPECT_TRUE(o2.par && o2.csv);
    EXPECT_EQ(o2.settings.par_mol_per_mj, 2.04);
    EXPECT_EQ(o2.settings.step_min, 15);
    EXPECT_EQ(o2.settings.day_step, 7);
}

TEST(Options, Refusals) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--lon", "0", "g"}, "--lat is required"},
        {{"--lat", "0", "g"}, "--lon is required"},
        {{"--lat", "0", "--lon", "0"}, "no gap-fraction file"},
        {{"--lat", "0", "--lon", "0", "a", "b"}, "more than one gap-fraction file"},
        {{"--lat", "0", "--lon", "0", ""}, "empty gap-fraction file name"},
        {{"--lat", "91", "--lon", "0", "g"}, "--lat: expected"},
        {{"--lat", "nan", "--lon", "0", "g"}, "--lat: expected"},
        {{"--lat", "5x", "--lon", "0", "g"}, "--lat: expected"},
        {{"--lat", "0", "--lon", "180.5", "g"}, "--lon: expected"},
        {{"--lat", "0", "--lon", "0", "--elev", "20000", "g"}, "--elev: expected"},
        {{"--lat", "0", "--lon", "0", "--days", "0-5", "g"}, "--days: expected"},
        {{"--lat", "0", "--lon", "0", "--days", "9-3", "g"}, "--days: expected"},
        {{"--lat", "0", "--lon", "0", "--days", "1-366", "g"}, "--days: expected"},
        {{"--lat", "0", "--lon", "0", "--days", "-5", "g"}, "--days: expected"},
        {{"--lat", "0", "--lon", "0", "--days", "1-", "g"}, "--days: expected"},
        {{"--lat", "0", "--lon", "0", "--step", "7", "g"}, "--step: expected"},
        {{"--lat", "0", "--lon", "0", "--step", "0", "g"}, "--step: expected"},
        {{"--lat", "0", "--lon", "0", "--day-step", "0", "g"}, "--day-step: expected"},
        {{"--lat", "0", "--lon", "0", "--tau", "0", "g"}, "--tau: expected"},
        {{"--lat", "0", "--lon", "0", "--tau", "1.01", "g"}, "--tau: expected"},
        {{"--lat", "0", "--lon", "0", "--kt", "-0.1", "g"}, "--kt: expected"},
        {{"--lat", "0", "--lon", "0", "--solar-constant", "inf", "g"}, "--solar-constant:"},
        {{"--lat", "0", "--lon", "0", "--sky", "clear", "g"}, "--sky: expected uoc or soc"},
        {{"--lat", "0", "--lon", "0", "--par-conversion", "0", "g"}, "--par-conversion:"},
        {{"--lat", "0", "--lon", "0", "--csv=yes", "g"}, "--csv takes no value"},
        {{"--lat", "0", "--lon", "0", "--frobnicate", "g"}, "unknown option '--frobnicate'"},
        {{"--lat", "0", "--lon", "0", "-x", "g"}, "unknown option '-x'"},
        {{"--lat", "0", "--lon", "0", "g", "--tau"}, "--tau needs a value"},
    };
    for (const auto& [args, want] : cases) {
        canopylight::Options opt;
        std::string error;
        EXPECT_FALSE(canopylight::parse_options(args, &opt, &error)) << want;
        EXPECT_NE(error.find(want), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

// The file lists a ring's sectors in decreasing azimuth: a sky open at the writer's sectors of
// azimuth 0 to 180 (east) must take the morning sun, whatever the order of its records.
TEST(Program, FileOrientationGivesTheMorningSunToTheEast) {
    const int nz = 9, na = 36;
    const std::string east = gap_file(nz, na, [](int, int k) { return k < 18 ? 1.0 : 0.0; });
    const Outcome r = run(site_and({"--csv", "-"}), east);
    ASSERT_EQ(r.status, 0) << r.err;

    light::Settings s;
    s.latitude_deg = 50.1876;
    s.elevation_m = 238.44;
    light::Sky sky{nz, na, std::vector<double>(nz * na, 0.0)};
    for (int i = 0; i < nz; ++i)
        for (int k = 0; k < 18; ++k) sky.gap[std::size_t(i * na + k)] = 1;
    const light::Result want = light::compute_light(s, sky);
    ASSERT_TRUE(want.ok);
    char dsf[40];
    std::snprintf(dsf, sizeof dsf, "%.7g", want.dsf);
    EXPECT_EQ(csv_row(r.out)["dsf"], dsf);
    // And the morning's share of the beam, summed sample by sample, is that factor.
    double morning = 0, all = 0;
    const double p = light::pressure_ratio(s.elevation_m);
    light::walk_sun(s, [&](const light::SunPosition& sun) {
        const double cos_z = std::max(0.0, sun.cos_zenith);
        const double rb =
            light::beam_weight(sun.e0, s.tau, light::air_mass(sun.zenith_deg, cos_z), p, cos_z);
        all += rb;
        if (sun.minute < 720) morning += rb;
    });
    EXPECT_NEAR(want.dsf, morning / all, 1e-12);  // the same sums in another order
}

TEST(Program, FileAndStandardInputAgree) {
    char name[] = "/tmp/canopylight-test-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::string text = gap_file(6, 12, [](int i, int k) { return ((i * 7 + k) % 5) / 4.0; });
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    const Outcome from_file = run(site_and({name}));
    const Outcome from_stdin = run(site_and({"-"}), text);
    std::remove(name);
    ASSERT_EQ(from_file.status, 0) << from_file.err;
    ASSERT_EQ(from_stdin.status, 0) << from_stdin.err;
    const std::size_t cut = from_file.out.find('\n');  // the first line names the file
    EXPECT_EQ(from_file.out.substr(cut), from_stdin.out.substr(from_stdin.out.find('\n')));
    EXPECT_NE(from_stdin.out.find("under the canopy of standard input"), std::string::npos);
}

// Files that would give a wrong answer are refused with one line naming them, and nothing is
// printed on standard output.
TEST(Program, FilesThatCannotBeUsed) {
    std::string few = open_file(9, 8);  // the header and the first 36 records
    std::size_t end = 0;
    for (int line = 0; line < 37; ++line) end = few.find('\n', end) + 1;
    few.resize(end);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "the header line does not hold"},
        {"9 0\n", "must be positive"},
        {"91 8\n", "exceeds this program's capacity"},
        {"9 361\n", "exceeds this program's capacity"},
        {few, "holds 36 of the 72 readable cell records"},
        {open_file(9, 8) + "5 5 0.5 10\n", "holds more than the 72 cell records"},
        {gap_file(3, 4, [](int, int) { return 1.5; }), "every gap fraction must lie within 0..1"},
        {gap_file(3, 4, [](int, int) { return std::nan(""); }), "every gap fraction must lie"},
        {gap_file(3, 4, [](int, int) { return -0.25; }), "every gap fraction must lie"},
    };
    for (const auto& [text, want] : cases) {
        const Outcome r = run(site_and({"-"}), text);
        EXPECT_EQ(r.status, 1) << want;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(r.err.rfind("standard input: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(want), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    const Outcome missing = run(site_and({"/nonexistent/gap.txt"}));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("/nonexistent/gap.txt: ", 0), 0u) << missing.err;
    const Outcome folder = run(site_and({"/tmp"}));
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err.rfind("/tmp: ", 0), 0u) << folder.err;
}

}  // namespace
