#include "gapdata/gapdata.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

namespace {

using gapdata::AnnulusMean;
using gapdata::average_annulus;
using gapdata::OpennessStyle;
using gapdata::Status;

constexpr gapdata::Reading kWide{40, 150, true};
using WideGrid = gapdata::Grid<double>;
using FloatGrid = gapdata::Grid<float>;

// A scratch file removed at the end of the test.
class TempFile {
  public:
    TempFile() {
        char name[] = "/tmp/gapdata-test-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path_ = name;
    }
    explicit TempFile(const std::string& content) : TempFile() {
        std::ofstream(path_) << content;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }
    std::string read() const {
        std::ifstream in(path_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

  private:
    std::string path_;
};

// The first line where two texts differ, and its number; empty when they are the same.
std::string first_difference(const std::string& got, const std::string& expected) {
    std::istringstream a(got), b(expected);
    std::string x, y;
    for (int line = 1;; ++line) {
        const bool more_a = bool(std::getline(a, x)), more_b = bool(std::getline(b, y));
        if (!more_a && !more_b) return "";
        if (more_a != more_b || x != y)
            return "line " + std::to_string(line) + ": \"" + x + "\" instead of \"" + y + "\"";
    }
}

// Writes COUNTS as a gap-fraction file.
void write_counts(const TempFile& f, const gapdata::Counts& counts) {
    std::FILE* out = std::fopen(f.path(), "w");
    ASSERT_NE(out, nullptr);
    gapdata::write_gap_fraction(out, counts);
    ASSERT_EQ(std::fclose(out), 0);
}

Status load(const char* path, const gapdata::Reading& reading, WideGrid* grid) {
    std::string why;
    return gapdata::load_grid(path, reading, grid, &why);
}

// ----------------------------------------------------------------------------------------------
// The file: writing, reading back, record order.

TEST(GapFile, RecordsRunFromZenithOutwardWithSectorsInDecreasingAzimuth) {
    gapdata::Counts counts;
    counts.reset(2, 4);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j) {
            counts.pixel(i, j) = 10 * (i + 1);
            counts.gap(i, j) = j;
        }
    counts.pixel(1, 2) = 0;  // a cell no pixel reached
    TempFile f;
    write_counts(f, counts);
    EXPECT_EQ(f.read(),
              "2   4\n"
              "22.500000   315.000000   0.300000   10\n"
              "22.500000   225.000000   0.200000   10\n"
              "22.500000   135.000000   0.100000   10\n"
              "22.500000   45.000000   0.000000   10\n"
              "67.500000   315.000000   0.150000   20\n"
              "67.500000   225.000000   0.000000   0\n"
              "67.500000   135.000000   0.050000   20\n"
              "67.500000   45.000000   0.000000   20\n");
}

// The writer puts records together from strings formatted once; every record must read as the
// one format string "%lf   %lf   %lf   %li\n" writes it, whatever the grid and the counts.
TEST(GapFile, RecordsAsTheOneFormatWritesThem) {
    std::mt19937 rng(5);
    for (const auto& [nz, na] : {std::pair{1, 1}, {9, 8}, {7, 13}, {90, 360}, {89, 359}}) {
        gapdata::Counts counts;
        counts.reset(nz, na);
        std::string expected = std::to_string(nz) + "   " + std::to_string(na) + "\n";
        for (int iz = 0; iz < nz; ++iz)
            for (int ia = na - 1; ia >= 0; --ia) {
                // Empty cells, all canopy, all sky, and fractions of every kind.
                const std::int64_t n = rng() % 5 == 0 ? 0 : std::int64_t(rng() % 3000000) + 1;
                const int kind = int(rng() % 4);
                const std::int64_t g = n == 0      ? 0
                                       : kind == 0 ? 0
                                       : kind == 1 ? n
                                                   : std::int64_t(rng() % std::uint64_t(n));
                counts.pixel(iz, ia) = n;
                counts.gap(iz, ia) = g;
                char line[200];
                std::snprintf(line, sizeof line, "%lf   %lf   %lf   %li\n",
                              90.0 * iz / nz + 45.0 / nz, 360.0 * ia / na + 180.0 / na,
                              n == 0 ? 0.0 : double(g) / double(n), long(n));
                expected += line;
            }
        TempFile f;
        write_counts(f, counts);
        ASSERT_EQ(first_difference(f.read(), expected), "") << nz << " x " << na;
    }
}

// Fractions are written without printf: exact ties at the sixth decimal (k/128 and the like)
// must go to the even digit, and fractions of huge counts that round to 1 must read 1.000000.
TEST(GapFile, FractionsRoundAsPrintfDoes) {
    std::vector<std::pair<std::int64_t, std::int64_t>> cases;  // gaps, pixels
    for (std::int64_t g = 1; g < 128; ++g) cases.push_back({g, 128});
    for (std::int64_t g = 1; g < 1024; g += 3) cases.push_back({g, 1024});
    for (std::int64_t g : {1, 2, 3, 999999, 1000000}) cases.push_back({g, 1000001});
    const std::int64_t huge = std::int64_t(1) << 62;
    cases.push_back({huge - 1, huge});  // rounds to exactly 1 as a double
    cases.push_back({1, huge});         // 2^-62
    cases.push_back({huge / 3, huge});
    std::mt19937_64 rng(9);
    while (cases.size() < 32400) {
        const std::int64_t n = std::int64_t(rng() >> (1 + rng() % 62)) + 2;
        cases.push_back({1 + std::int64_t(rng() % std::uint64_t(n - 1)), n});
    }
    gapdata::Counts counts;
    counts.reset(90, 360);
    std::string expected = "90   360\n";
    std::size_t k = 0;
    for (int iz = 0; iz < 90; ++iz)
        for (int ia = 359; ia >= 0; --ia, ++k) {
            const auto [g, n] = cases[k];
            counts.pixel(iz, ia) = n;
            counts.gap(iz, ia) = g;
            char line[200];
            std::snprintf(line, sizeof line, "%lf   %lf   %lf   %li\n", 90.0 * iz / 90 + 45.0 / 90,
                          360.0 * ia / 360 + 180.0 / 360, double(g) / double(n), long(n));
            expected += line;
        }
    TempFile f;
    write_counts(f, counts);
    EXPECT_EQ(first_difference(f.read(), expected), "");
}

TEST(GapFile, NineByEightHeaderAndFirstAnnulusAzimuths) {
    gapdata::Counts counts;
    counts.reset(9, 8);
    TempFile f;
    write_counts(f, counts);
    std::istringstream in(f.read());
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "9   8");
    const char* azimuths[] = {"337.500000", "292.500000", "247.500000", "202.500000",
                              "157.500000", "112.500000", "67.500000",  "22.500000"};
    for (const char* az : azimuths) {
        std::getline(in, line);
        EXPECT_EQ(line, std::string("5.000000   ") + az + "   0.000000   0");
    }
    std::getline(in, line);
    EXPECT_EQ(line, "15.000000   337.500000   0.000000   0");
}

TEST(GapFile, WriteThenReadGivesEachColumnTheWritersMirroredSector) {
    gapdata::Counts counts;
    std::mt19937 rng(7);
    const int nz = 9, na = 36;
    counts.reset(nz, na);
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < na; ++j) {
            counts.pixel(i, j) = 1 + rng() % 5000;
            counts.gap(i, j) = rng() % (counts.pixel(i, j) + 1);
        }
    TempFile f;
    write_counts(f, counts);
    WideGrid grid;
    ASSERT_EQ(load(f.path(), kWide, &grid), Status::kOk);
    EXPECT_EQ(grid.nz, nz);
    EXPECT_EQ(grid.na, na);
    EXPECT_DOUBLE_EQ(grid.w, 10.0);
    EXPECT_DOUBLE_EQ(grid.s, 10.0);
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) {
            const int j = na - 1 - c;
            // six decimals in the file
            EXPECT_NEAR(grid.fract_open[i][c],
                        double(counts.gap(i, j)) / double(counts.pixel(i, j)), 5e-7);
            EXPECT_EQ(grid.pixel_nbr[i][c], double(counts.pixel(i, j)));
        }
    // The grid built in memory is the one read back, bit for bit; unrounded only on request.
    WideGrid memory, exact;
    gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &memory);
    gapdata::grid_from_counts(counts, gapdata::Precision::kExact, &exact);
    EXPECT_EQ(memory.w, grid.w);
    EXPECT_EQ(memory.half_s, grid.half_s);
    int rounded = 0;
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) {
            EXPECT_EQ(memory.fract_open[i][c], grid.fract_open[i][c]);
            EXPECT_EQ(memory.pixel_nbr[i][c], grid.pixel_nbr[i][c]);
            rounded += exact.fract_open[i][c] != grid.fract_open[i][c];
        }
    EXPECT_GT(rounded, nz * na / 2);
}

TEST(GapFile, ASecondShorterFileLeavesNothingOfTheFirst) {
    TempFile first("1 2\n45 270 0.9 7\n45 90 0.25 8\n");
    TempFile second("1 2\n45 270 0.9 7\n");
    WideGrid grid;
    ASSERT_EQ(load(first.path(), kWide, &grid), Status::kOk);
    EXPECT_EQ(grid.fract_open[0][1], 0.25);
    ASSERT_EQ(load(second.path(), kWide, &grid), Status::kOk);
    EXPECT_EQ(grid.fract_open[0][0], 0.9);
    EXPECT_EQ(grid.fract_open[0][1], 0.0);  // as a fresh grid reads it
    EXPECT_EQ(grid.pixel_nbr[0][1], 0.0);
    EXPECT_EQ(grid.records_read, 1);
}

TEST(GapFile, ShortFileLeavesZerosAndSurplusRecordsAreIgnored) {
    // Header 2 x 3 with four records, an unreadable token in the fourth: cells after it stay 0.
    TempFile short_file("2 3\n5 300 0.1 1\n5 180 0.2 1\n5 60 0.3 1\n15 300 x 1\n15 180 0.9 1\n");
    WideGrid grid;
    ASSERT_EQ(load(short_file.path(), kWide, &grid), Status::kOk);
    EXPECT_DOUBLE_EQ(grid.fract_open[0][0], 0.1);
    EXPECT_DOUBLE_EQ(grid.fract_open[0][2], 0.3);
    EXPECT_DOUBLE_EQ(grid.fract_open[1][0], 0.0);
    EXPECT_DOUBLE_EQ(grid.fract_open[1][1], 0.0);
    EXPECT_EQ(grid.records_read, 3);

    TempFile surplus("1 2\n45 270 0.5 7\n45 90 0.25 8\n45 0 0.75 9\n");
    WideGrid g2;
    ASSERT_EQ(load(surplus.path(), kWide, &g2), Status::kOk);
    EXPECT_DOUBLE_EQ(g2.fract_open[0][1], 0.25);
    EXPECT_EQ(g2.records_read, 2);  // the third record is no cell
}

TEST(GapFile, SinglePrecisionReaderComputesWidthsInFloat) {
    TempFile f("7 24\n");
    FloatGrid grid;
    std::string why;
    ASSERT_EQ(gapdata::load_grid(f.path(), kWide, &grid, &why), Status::kOk);
    EXPECT_FLOAT_EQ(grid.w, 90.0f / 7);
    EXPECT_FLOAT_EQ(grid.half_s, 7.5f);
}

TEST(GapFile, RefusesWhatTheTablesCannotHold) {
    // Numbers beyond an int too: reading them used to be undefined behaviour.
    const char* bad[] = {"0 8\n",    "9 0\n",        "-5 8\n",
                         "41 8\n",   "9 151\n",      "1000000000 1\n",
                         "",         "nine eight\n", "99999999999999999999999 8\n",
                         "9 -99999999999999999999\n", "4294967305 8\n", "9\n"};
    for (const char* header : bad) {
        TempFile f(header);
        WideGrid grid;
        std::string why;
        EXPECT_EQ(gapdata::load_grid(f.path(), kWide, &grid, &why), Status::kRefused) << header;
        EXPECT_EQ(why.rfind(std::string(f.path()) + ": ", 0), 0u) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << "one line: " << why;
    }
    constexpr gapdata::Reading narrow{20, 40, false};
    std::string why;
    EXPECT_EQ(gapdata::check_grid("f", narrow, 20, 40, &why), Status::kOk);
    EXPECT_EQ(gapdata::check_grid("f", narrow, 21, 2, &why), Status::kRefused);
}

TEST(GapFile, MissingFileIsReportedAsCannotOpenWithoutPrinting) {
    WideGrid grid;
    testing::internal::CaptureStderr();
    EXPECT_EQ(load("/nonexistent/gapfract.txt", kWide, &grid), Status::kCannotOpen);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Params, DiscardCountsAreChecked) {
    std::string why;
    EXPECT_EQ(gapdata::check_discards("p.txt", 0, -1, 40, &why), Status::kRefused);
    EXPECT_EQ(why.rfind("p.txt: ", 0), 0u);
    EXPECT_EQ(gapdata::check_discards("p.txt", -2, 0, 40, &why), Status::kRefused);
    EXPECT_EQ(gapdata::check_discards("p.txt", 41, 0, 40, &why), Status::kRefused);
    EXPECT_EQ(gapdata::check_discards("p.txt", 0, 0, 40, &why), Status::kOk);
    TempFile two("3\n1 junk\n");
    int values[3] = {};
    EXPECT_EQ(gapdata::read_int_params(two.path(), 3, values, "a, b, c", &why), Status::kRefused);
    EXPECT_NE(why.find("found 2 of the 3 integers needed (a, b, c)"), std::string::npos) << why;
    EXPECT_EQ(gapdata::read_int_params("/nonexistent/p", 1, values, "a", &why),
              Status::kCannotOpen);
}

// The used annuli are zr .. nz - hr - 1: one is left while zr + hr < nz. Counts that reach
// past the grid (a gap-fraction file read as the parameter file: "9 8" from its header) are
// refused with a line naming both files, both counts and nz, whatever the size of the counts.
TEST(Params, DiscardsMustLeaveAZenithRing) {
    std::string why;
    EXPECT_EQ(gapdata::check_rings_used("p.txt", 3, 0, "g.txt", 4, &why), Status::kOk);
    EXPECT_EQ(gapdata::check_rings_used("p.txt", 0, 3, "g.txt", 4, &why), Status::kOk);
    EXPECT_EQ(gapdata::check_rings_used("p.txt", 0, 0, "g.txt", 1, &why), Status::kOk);
    EXPECT_EQ(gapdata::check_rings_used("p.txt", 3, 1, "g.txt", 4, &why), Status::kRefused);
    EXPECT_EQ(gapdata::check_rings_used("p.txt", 0, 1, "g.txt", 1, &why), Status::kRefused);
    EXPECT_EQ(gapdata::check_rings_used("gf.txt", 9, 8, "gf.txt", 9, &why), Status::kRefused);
    EXPECT_EQ(why,
              "gf.txt: 9 zenith and 8 horizon rings discarded leave none of the 9 zenith rings "
              "of gf.txt to use (zr + hr must be less than nz = 9)");
    EXPECT_EQ(why.find('\n'), std::string::npos);
    // The sum is taken without overflow.
    EXPECT_EQ(gapdata::check_rings_used("p.txt", 2147483647, 2147483647, "g.txt", 40, &why),
              Status::kRefused);
}

// ----------------------------------------------------------------------------------------------
// Inputs read as inputs: read-only and folders, foreign numbers, pipes kept open, short files.

TEST(Inputs, ReadOnlyFileLoadsAndFolderCannotBeOpened) {
    TempFile f("1 2\n45 270 0.5 7\n45 90 0.25 8\n");
    ASSERT_EQ(chmod(f.path(), 0444), 0);
    WideGrid grid;
    EXPECT_EQ(load(f.path(), kWide, &grid), Status::kOk);
    EXPECT_EQ(grid.fract_open[0][1], 0.25);  // "%lf" of 0.25: exact
    EXPECT_EQ(load("/tmp", kWide, &grid), Status::kCannotOpen);
    int values[1] = {};
    std::string why;
    EXPECT_EQ(gapdata::read_int_params(f.path(), 1, values, "a", &why), Status::kOk);
    EXPECT_EQ(values[0], 1);
}

TEST(Inputs, DecimalCommaIsRefusedAndOtherCommasEndTheReadingAsBefore) {
    // A decimal comma read as "0" then "," would silently zero the rest of the grid.
    TempFile comma("1 2\n45 270 0,533436 7\n45 90 0.25 8\n");
    WideGrid grid;
    std::string why;
    EXPECT_EQ(gapdata::load_grid(comma.path(), kWide, &grid, &why), Status::kRefused);
    EXPECT_EQ(why, std::string(comma.path()) +
                       ": record 1 holds a number written with a decimal comma; numbers in a "
                       "gap-fraction file take a decimal point");
    FloatGrid single;  // the "%f" readers too, in a later record
    TempFile later("1 2\n45 270 0.5 7\n45 90 0,25 8\n");
    EXPECT_EQ(gapdata::load_grid(later.path(), kWide, &single, &why), Status::kRefused);
    EXPECT_NE(why.find("record 2 holds"), std::string::npos) << why;

    // A comma not followed by a digit is an unreadable token: the reading ends there.
    TempFile separator("2 1\n22.5 180 0.5 7,\n67.5 180 0.25 8\n");
    ASSERT_EQ(gapdata::load_grid(separator.path(), kWide, &grid, &why), Status::kOk);
    EXPECT_EQ(grid.records_read, 1);
    EXPECT_EQ(grid.fract_open[0][0], 0.5);
    EXPECT_EQ(grid.fract_open[1][0], 0.0);
    TempFile mid("2 1\n22.5, 180 0.5 7\n");
    ASSERT_EQ(gapdata::load_grid(mid.path(), kWide, &grid, &why), Status::kOk);
    EXPECT_EQ(grid.records_read, 0);
}

// Runs BODY in a child with ALARM seconds to finish; true when it ended by itself with 0.
bool finishes_in_time(const std::function<int()>& body, unsigned seconds) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(seconds);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(Inputs, PipesAreReadToTheEndOrToTheLastNumberNeeded) {
    // A writer that keeps the pipe open after the last line, as a terminal or a slow producer
    // would: the reading must not ask for more than it needs.
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    const std::string text = "1 2\n45 270 0.5 7\n45 90 0.25 8\n";
    ASSERT_EQ(write(p[1], text.data(), text.size()), ssize_t(text.size()));
    EXPECT_TRUE(finishes_in_time(
        [&] {
            std::FILE* in = fdopen(p[0], "r");
            int nz = 0, na = 0;
            WideGrid grid;
            std::string why;
            const bool ok =
                gapdata::read_header(in, "pipe", kWide, &nz, &na, &why) == Status::kOk &&
                gapdata::read_records(in, "pipe", kWide, nz, na, &grid, &why) == Status::kOk;
            return ok && grid.records_read == 2 && grid.pixel_nbr[0][1] == 8 ? 0 : 1;
        },
        5));
    ASSERT_EQ(write(p[1], "3 4 5\n", 6), 6);
    const std::string dev = "/dev/fd/" + std::to_string(p[0]);
    auto reads_three = [&] {
        int values[3] = {};
        std::string why;
        const Status st = gapdata::read_int_params(dev.c_str(), 3, values, "a, b, c", &why);
        return st == Status::kOk && values[2] == 5 ? 0 : 1;
    };
    EXPECT_TRUE(finishes_in_time(reads_three, 5));
    close(p[0]);
    close(p[1]);

    // A parameter file without a final line feed through a pipe: its end is seen once the
    // writer is done, since the reader holds no writing end of its own.
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(write(p[1], "3 4 5", 5), 5);
    close(p[1]);
    EXPECT_TRUE(finishes_in_time(reads_three, 5));
    close(p[0]);
}

TEST(Inputs, ShortFileLoadsWithAWarningNamingTheCount) {
    TempFile f("3 4\n15 315 0.5 7\n15 225 0.25 8\n");
    WideGrid grid;
    ASSERT_EQ(load(f.path(), kWide, &grid), Status::kOk);
    EXPECT_EQ(gapdata::short_data_warning("g.txt", grid),
              "g.txt: holds only 2 of the 12 records its header announces; the missing cells "
              "count as gap fraction 0");
    TempFile whole("1 2\n45 270 0.5 7\n45 90 0.25 8\n");
    ASSERT_EQ(load(whole.path(), kWide, &grid), Status::kOk);
    EXPECT_EQ(gapdata::short_data_warning("g.txt", grid), "");
    TempFile header_only("2 2\n");
    ASSERT_EQ(load(header_only.path(), kWide, &grid), Status::kOk);
    EXPECT_NE(gapdata::short_data_warning("g.txt", grid).find("only 0 of the 4"),
              std::string::npos);
}

// ----------------------------------------------------------------------------------------------
// Logarithmic azimuthal averaging.

TEST(Averaging, WindowsOfTwoOverFourSectors) {
    const double row[] = {0.2, 0.4, 0.0, 0.6};
    const AnnulusMean r = average_annulus(row, 4, 2);
    EXPECT_TRUE(r.has_value);
    EXPECT_EQ(r.null_windows, 0);
    EXPECT_NEAR(r.mu, (std::log(0.3) + std::log(0.2) + std::log(0.3)) / 3, 1e-15);
}

TEST(Averaging, NullWindowsAreCountedAndLeftOutOfTheMean) {
    const double row[] = {0.5, 0.0, 0.0, 0.5};
    const AnnulusMean r = average_annulus(row, 4, 1);
    EXPECT_TRUE(r.has_value);
    EXPECT_EQ(r.null_windows, 2);
    EXPECT_DOUBLE_EQ(r.mu, std::log(0.5));
}

TEST(Averaging, ClosedAnnulusYieldsNoValueButCountsItsWindows) {
    const double row[6] = {};
    for (int m : {1, 2, 3, 6}) {
        const AnnulusMean r = average_annulus(row, 6, m);
        EXPECT_FALSE(r.has_value);
        EXPECT_EQ(r.null_windows, 6 - m + 1);
    }
}

TEST(Averaging, OpenSkyGivesExactlyZero) {
    const double row[] = {1, 1, 1, 0, 1, 1};
    EXPECT_EQ(average_annulus(row, 6, 1).mu, 0.0);
    EXPECT_EQ(average_annulus(row, 6, 1).null_windows, 1);
}

TEST(Averaging, WholeAnnulusWindowIsTheLogOfThePlainMean) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 20; ++trial) {
        const int na = 1 + trial * 7;
        double row[150];
        double sum = 0;
        for (int c = 0; c < na; ++c) sum += (row[c] = u(rng));
        const AnnulusMean r = average_annulus(row, na, na);
        EXPECT_NEAR(r.mu, std::log(sum / na), 1e-12);  // summation order only
        EXPECT_EQ(r.null_windows, 0);
    }
}

TEST(Averaging, NanIsNotANullWindow) {
    const double row[] = {NAN, 0.0};
    const AnnulusMean r = average_annulus(row, 2, 1);
    EXPECT_TRUE(r.has_value);
    EXPECT_EQ(r.null_windows, 1);
    EXPECT_TRUE(std::isnan(r.mu));
}

// ----------------------------------------------------------------------------------------------
// Mask and openness.

template <typename T>
void fill(gapdata::Grid<T>* g, int nz, int na, T value) {
    gapdata::set_shape(g, nz, na);
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) g->fract_open[i][c] = value;
}

TEST(Openness, OpenSkyOnFlatGroundIsOneForEveryVariant) {
    WideGrid g;
    fill(&g, 9, 8, 1.0);
    for (auto style : {OpennessStyle::kSuits, OpennessStyle::kZephor, OpennessStyle::kTessor,
                       OpennessStyle::kKeldro}) {
        const auto o = gapdata::openness_summary(g, style, gapdata::Terrain<double>{});
        EXPECT_NEAR(o.total_gap, 1.0, 1e-15);
        EXPECT_NEAR(o.canopy_openness, 1.0, 1e-15);  // weights add up to 1 up to rounding
        EXPECT_NEAR(o.canopy_closure, 0.0, 1e-15);
    }
}

TEST(Openness, CellsAreWeightedBySolidAngle) {
    // Gap only in the horizon annulus of a 2-annulus grid: its weight is cos 45 - cos 90.
    WideGrid g;
    fill(&g, 2, 4, 0.0);
    for (int c = 0; c < 4; ++c) g.fract_open[1][c] = 1.0;
    const auto o = gapdata::openness_summary(g, OpennessStyle::kSuits, gapdata::Terrain<double>{});
    EXPECT_DOUBLE_EQ(o.total_gap, 0.5);
    EXPECT_NEAR(o.canopy_openness, std::cos(M_PI / 4), 1e-15);
}

TEST(Mask, TwentyDegreeSlopeHidesOnlyTheTwoOuterAnnuliOppositeTheAspect) {
    const auto t = gapdata::make_terrain(20.0f, 0.0f);
    const float w = 10.0f, s = 45.0f;
    for (int i = 0; i < 9; ++i) {
        const float z_rad = ((i + 0.5f) * w) * gapdata::kDegToRad;
        const float cos_z = std::sin(gapdata::kHalfPi - z_rad);
        const float sin_z = std::cos(gapdata::kHalfPi - z_rad);
        int masked = 0;
        for (int c = 0; c < 8; ++c) {
            const float phi = (c + 0.5f) * s;
            if (gapdata::cos_incidence(t, cos_z, sin_z, phi) < 0) {
                ++masked;
                EXPECT_GT(phi, 90.0f);  // facing away from the aspect
                EXPECT_LT(phi, 270.0f);
            }
        }
        EXPECT_EQ(masked > 0, i >= 7) << "annulus " << i;
    }
}

TEST(Openness, SlopeDividesCanopyOpennessByTheVisibleWeight) {
    FloatGrid g;
    fill(&g, 9, 8, 0.5f);
    const auto flat = gapdata::openness_summary(g, OpennessStyle::kTessor, gapdata::Terrain<float>{});
    const auto t = gapdata::make_terrain(20.0f, 0.0f);
    const auto slope = gapdata::openness_summary(g, OpennessStyle::kTessor, t);
    EXPECT_NEAR(flat.canopy_openness, 0.5f, 1e-6f);
    // Uniform gap: the visible cells' mean and weighted mean stay 0.5; site openness counts the
    // hidden cells too and is 0.5 of the whole hemisphere.
    EXPECT_NEAR(slope.total_gap, 0.5f, 1e-6f);
    EXPECT_NEAR(slope.canopy_openness, 0.5f, 1e-6f);
    EXPECT_NEAR(slope.site_openness, 0.5f, 1e-6f);
    // Keldro sums only cells with a gap into canopy openness; with closed masked cells only
    // the visible ones count.
    g.fract_open[0][0] = -1.0f;  // a negative entry adds nothing for keldro
    const auto k = gapdata::openness_summary(g, OpennessStyle::kKeldro, gapdata::Terrain<float>{});
    const auto ts = gapdata::openness_summary(g, OpennessStyle::kTessor, gapdata::Terrain<float>{});
    EXPECT_GT(k.canopy_openness, ts.canopy_openness);
}

}  // namespace
