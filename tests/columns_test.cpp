// gapbatch's method columns against the classic programs: one gapbatch run over a folder of
// simulated photographs writes the summary and a gap-fraction file per photograph; each classic
// program then reads that file with the same settings, and every column must equal what the
// program prints, to the digits it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kBin = SKYGAP_BIN_DIR;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

int run(const fs::path& dir, const std::string& command) {
    const std::string line = "cd '" + dir.string() + "' && " + command;
    const int rc = std::system(line.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// The summary as column name -> value, one map per photograph.
std::vector<std::map<std::string, std::string>> read_csv(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> names;
    std::getline(in, line);
    std::istringstream header(line);
    for (std::string name; std::getline(header, name, ',');) names.push_back(name);
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        std::map<std::string, std::string> row;
        std::istringstream fields(line);  // no quoted fields in this test's photograph names
        std::size_t k = 0;
        for (std::string value; std::getline(fields, value, ',') && k < names.size(); ++k)
            row[names[k]] = value;
        rows.push_back(row);
    }
    return rows;
}

double number(const std::map<std::string, std::string>& row, const std::string& column) {
    const auto it = row.find(column);
    return it == row.end() || it->second.empty() ? std::nan("") : std::atof(it->second.c_str());
}

// The number after the first KEY in TEXT, or NaN.
double after(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key);
    return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + at + key.size());
}

// The words of a table row of quinda's report (counted from the row under its heading); a
// noise-to-signal ratio of 1000 or more runs into the LAI column ("1288.0251.0055"): the ratio
// has three decimals.
std::vector<std::string> quinda_row(const std::string& report, int skip) {
    std::istringstream in(report.substr(report.find("STP  AZM")));
    std::string line;
    std::getline(in, line);
    std::getline(in, line);  // rule
    for (int k = 0; k <= skip; ++k) std::getline(in, line);
    std::istringstream ws(line);
    std::vector<std::string> words;
    for (std::string w; ws >> w;) {
        const std::size_t dot = w.find('.');
        if (words.size() == 2 && dot != std::string::npos &&
            w.find('.', dot + 1) != std::string::npos) {
            words.push_back(w.substr(0, dot + 4));
            words.push_back(w.substr(dot + 4));
        } else {
            words.push_back(w);
        }
    }
    return words;
}

// Column against a printed number with D decimals: the two may differ by the printed rounding
// (half a unit of the last digit) and the summary's own six decimals.
void expect_printed(double column, double printed, int decimals, const std::string& what) {
    const double tolerance = 0.5 * std::pow(10.0, -decimals) + 5e-7;
    EXPECT_NEAR(column, printed, tolerance) << what;
}

TEST(Columns, EqualWhatEachClassicProgramPrints) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("columns_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "photos");
    // Three canopies: random spherical leaves, crowns, flat leaves through the other lens.
    const char* canopies[] = {"--lai 1.5", "--lai 2 --clumped", "--lai 2.5 --angles planophile"};
    int k = 0;
    for (const char* canopy : canopies) {
        const std::string lens = k == 2 ? "orthographic" : "equidistant";
        const std::string name = "photos/p" + std::to_string(k++) + ".bmp";
        ASSERT_EQ(run(dir, "'" + kBin + "/canopysim' --size 400 --lens " + lens + " " + canopy +
                               " --truth /dev/null " + name),
                  0);
    }
    const std::string settings = "--rings 9 --sectors 24 --threshold 128 --discard-horizon 1";
    for (int p = 0; p < 3; ++p) {
        const std::string lens = p == 2 ? "orthographic" : "equidistant";
        ASSERT_EQ(run(dir, "'" + kBin + "/gapbatch' --quiet " + settings + " --lens " + lens +
                               " --summary p" + std::to_string(p) + ".csv photos/p" +
                               std::to_string(p) + ".bmp"),
                  0);
    }
    spit(dir / "bravik.par", "0 1 0\n");
    spit(dir / "bravik_opt.par", "0 1 1\n");
    spit(dir / "two.par", "0 1\n");
    spit(dir / "tessor.par", "0\n0\n0\n0\n1\n");
    spit(dir / "keldro.par", "0\n0\n0\n0\n1\n8\n");
    spit(dir / "tessor.in", "6\n0.1\n-1\n");  // gapbatch's default classes and weight

    for (int p = 0; p < 3; ++p) {
        const std::string stem = "photos/p" + std::to_string(p);
        const auto rows = read_csv(slurp(dir / ("p" + std::to_string(p) + ".csv")));
        ASSERT_EQ(rows.size(), 1u);
        const auto& row = rows[0];
        ASSERT_EQ(row.at("status"), "ok");
        const std::string gap = stem + ".gapfract.txt";
        auto report = [&](const std::string& program, const std::string& par,
                          const std::string& input = "/dev/null") {
            const std::string out = program + "_" + par + std::to_string(p) + ".txt";  // one each
            EXPECT_EQ(run(dir, "'" + kBin + "/" + program + "' " + par + " " + gap + " " + out +
                                   " < " + input + " > /dev/null"),
                      0)
                << program;
            return slurp(dir / out);
        };

        const std::string bravik = report("bravik", "bravik.par");
        expect_printed(number(row, "bravik_lai"), after(bravik, "Total      LAI="), 4, "bravik");
        expect_printed(number(row, "bravik_lai_se"),
                       after(bravik.substr(bravik.find("Total      LAI=")), "+-"), 4, "bravik se");
        expect_printed(number(row, "bravik_ala"), after(bravik, "ALPHA="), 2, "bravik alpha");
        expect_printed(number(row, "total_gap"), after(bravik, "Total Gap       ="), 3, "total gap");
        expect_printed(number(row, "canopy_openness"), after(bravik, "Canopy Openness ="), 3,
                       "canopy openness");
        const std::string opt = report("bravik", "bravik_opt.par");
        expect_printed(number(row, "bravik_opt_lai"), after(opt, "Total      LAI="), 4,
                       "bravik searched");

        std::string line;
        const std::string quinda = report("quinda", "two.par");
        const std::vector<std::string> first = quinda_row(quinda, 0), last = quinda_row(quinda, 7);
        ASSERT_GE(first.size(), 10u);
        ASSERT_GE(last.size(), 10u);
        expect_printed(number(row, "quinda_lai_lin"), std::atof(first[3].c_str()), 4, "quinda lin");
        expect_printed(number(row, "quinda_lai_lin_se"), std::atof(first[4].c_str()), 4,
                       "quinda se");
        if (first[7] != "-") {
            expect_printed(number(row, "quinda_ala"), std::atof(first[7].c_str()), 3,
                           "quinda alpha");
        }
        expect_printed(number(row, "quinda_lai_log"), std::atof(last[3].c_str()), 4, "quinda log");
        expect_printed(number(row, "quinda_lin_log"), std::atof(last[last.size() - 2].c_str()), 3,
                       "quinda lin/log");

        const std::string zephor = report("zephor", "two.par");
        std::istringstream zin(zephor.substr(zephor.find("STP  AZM")));
        std::getline(zin, line);
        std::getline(zin, line);  // rule
        std::vector<double> z;
        for (double v; z.size() < 8 && zin >> v;) z.push_back(v);
        ASSERT_EQ(z.size(), 8u);
        expect_printed(number(row, "zephor_lai"), z[4], 4, "zephor lai");
        expect_printed(number(row, "zephor_x"), z[6], 4, "zephor x");
        expect_printed(number(row, "zephor_ala"), z[7], 3, "zephor alpha");

        const std::string tessor = report("tessor", "tessor.par", "tessor.in");
        expect_printed(number(row, "tessor_lai"), after(tessor, "LAIe   ="), 4, "tessor");

        // keldro prints its points (three decimals), not their line: the line through the
        // printed points may differ from the column's by what that rounding moves, well under
        // 0.01 in LAI on these grids.
        const std::string keldro = report("keldro", "keldro.par");
        std::istringstream kin(keldro);
        for (int skip = 0; skip < 3; ++skip) std::getline(kin, line);
        int n = 0;
        kin >> n;
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int i = 0; i < n; ++i) {
            double x, y;
            kin >> x >> y;
            sx += x, sy += y, sxx += x * x, sxy += x * y;
        }
        const double b = (sxy - sx * sy / n) / (sxx - sx * sx / n), a = sy / n - b * sx / n;
        EXPECT_NEAR(number(row, "keldro_lai"), 2 * (a + b), 0.01) << "keldro";
    }
    if (!HasFailure()) fs::remove_all(dir);
}

}  // namespace
