#include "gapdata/gapdata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using gapdata::AnnulusMean;
using gapdata::average_annulus;
using gapdata::BlockStyle;
using gapdata::OpennessStyle;

constexpr gapdata::Reading kWide{true, 40, 150, true};
using WideGrid = gapdata::Grid<double, 40, 150>;
using FloatGrid = gapdata::Grid<float, 40, 150>;

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

std::string lines_of(void (*writer)(std::FILE*)) {
    TempFile f;
    std::FILE* out = std::fopen(f.path(), "w");
    writer(out);
    std::fclose(out);
    return f.read();
}

// ----------------------------------------------------------------------------------------------
// The file: writing, reading back, record order.

TEST(GapFile, RecordsRunFromZenithOutwardWithSectorsInDecreasingAzimuth) {
    static gapdata::CountTable pixels{}, gaps{};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j) {
            pixels[i][j] = 10 * (i + 1);
            gaps[i][j] = j;
        }
    pixels[1][2] = 0;  // a cell no pixel reached
    TempFile f;
    ASSERT_TRUE(gapdata::write_gap_fraction_file(f.path(), 2, 4, pixels, gaps));
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

TEST(GapFile, NineByEightHeaderAndFirstAnnulusAzimuths) {
    static gapdata::CountTable pixels{}, gaps{};
    TempFile f;
    ASSERT_TRUE(gapdata::write_gap_fraction_file(f.path(), 9, 8, pixels, gaps));
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
    static gapdata::CountTable pixels{}, gaps{};
    std::mt19937 rng(7);
    const int nz = 9, na = 36;
    for (int i = 0; i < nz; ++i)
        for (int j = 0; j < na; ++j) {
            pixels[i][j] = 1 + rng() % 5000;
            gaps[i][j] = rng() % (pixels[i][j] + 1);
        }
    TempFile f;
    ASSERT_TRUE(gapdata::write_gap_fraction_file(f.path(), nz, na, pixels, gaps));
    static WideGrid grid;
    ASSERT_TRUE(gapdata::load_grid(f.path(), kWide, &grid));
    EXPECT_EQ(grid.nz, nz);
    EXPECT_EQ(grid.na, na);
    EXPECT_DOUBLE_EQ(grid.w, 10.0);
    EXPECT_DOUBLE_EQ(grid.s, 10.0);
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) {
            const int j = na - 1 - c;
            // six decimals in the file
            EXPECT_NEAR(grid.fract_open[i][c], double(gaps[i][j]) / double(pixels[i][j]), 5e-7);
            EXPECT_EQ(grid.pixel_nbr[i][c], double(pixels[i][j]));
        }
}

TEST(GapFile, ShortFileLeavesZerosAndSurplusRecordsAreIgnored) {
    // Header 2 x 3 with four records, an unreadable token in the fourth: cells after it stay 0.
    TempFile short_file("2 3\n5 300 0.1 1\n5 180 0.2 1\n5 60 0.3 1\n15 300 x 1\n15 180 0.9 1\n");
    static WideGrid grid;
    ASSERT_TRUE(gapdata::load_grid(short_file.path(), kWide, &grid));
    EXPECT_DOUBLE_EQ(grid.fract_open[0][0], 0.1);
    EXPECT_DOUBLE_EQ(grid.fract_open[0][2], 0.3);
    EXPECT_DOUBLE_EQ(grid.fract_open[1][0], 0.0);
    EXPECT_DOUBLE_EQ(grid.fract_open[1][1], 0.0);
    EXPECT_DOUBLE_EQ(grid.tableau[3][0], 15.0);  // read up to the bad token

    TempFile surplus("1 2\n45 270 0.5 7\n45 90 0.25 8\n45 0 0.75 9\n");
    static WideGrid g2;
    ASSERT_TRUE(gapdata::load_grid(surplus.path(), kWide, &g2));
    EXPECT_DOUBLE_EQ(g2.fract_open[0][1], 0.25);
    EXPECT_DOUBLE_EQ(g2.fract_open[1][0], 0.0);   // the third record is no cell
    EXPECT_DOUBLE_EQ(g2.tableau[2][2], 0.75);     // but it is read
}

TEST(GapFile, SinglePrecisionReaderComputesWidthsInFloat) {
    TempFile f("7 24\n");
    static FloatGrid grid;
    ASSERT_TRUE(gapdata::load_grid(f.path(), kWide, &grid));
    EXPECT_FLOAT_EQ(grid.w, 90.0f / 7);
    EXPECT_FLOAT_EQ(grid.half_s, 7.5f);
}

TEST(GapFile, RefusesWhatTheTablesCannotHold) {
    const char* bad[] = {"0 8\n", "9 0\n", "-5 8\n", "41 8\n", "9 151\n", "1000000000 1\n", "",
                         "nine eight\n"};
    for (const char* header : bad) {
        TempFile f(header);
        static WideGrid grid;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(gapdata::load_grid(f.path(), kWide, &grid)) << header;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind(std::string(f.path()) + ": ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    }
    // The record capacity binds on its own for a reader whose table is smaller than its grid.
    constexpr gapdata::Reading narrow{false, 20, 40, false};
    EXPECT_TRUE(gapdata::check_grid("f", narrow, 20, 40));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(gapdata::check_grid("f", narrow, 21, 2));
    testing::internal::GetCapturedStderr();
}

TEST(GapFile, MissingFileIsReportedAsCannotOpen) {
    static WideGrid grid;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(gapdata::load_grid("/nonexistent/gapfract.txt", kWide, &grid));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open the file /nonexistent/gapfract.txt...\n");
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
// Selection block.

TEST(SelectionBlock, SuitsWordingForEveryRingCase) {
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_selection_block(f, BlockStyle::kSuits, 9, 8, 0, 0);
              }),
              "Zenith Annuli:   9 (width: 10.0 deg)\n"
              "Azimuth Sectors: 8 (width: 45.0 deg)\n"
              "Sky Divisions:   72\n\n"
              "0 Horizon Ring(s) Discarded =  0.0 deg\n"
              "Zenith Viewing Angle (FOV) = 180.0 deg\n"
              "Sky Divisions Used:   72\n\n");
    const std::string zenith_discarded = lines_of([](std::FILE* f) {
        gapdata::write_selection_block(f, BlockStyle::kSuits, 9, 8, 2, 0);
    });
    EXPECT_EQ(zenith_discarded.substr(zenith_discarded.find("Sky Divisions:   72\n\n") + 21),
              "2 Zenith Ring(s) Discarded\n"
              "Angular Range about Zenith = 20.0 -> 90.0 deg\n"
              "Sky Divisions Used:   56\n\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_ring_lines(f, BlockStyle::kSuits, 90.0 / 7, 1, 2);
              }),
              "1 Zenith Ring(s) + 2 Horizon Ring(s) Discarded\n"
              "Angular Range about Zenith = 12.9 -> 64.3 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_ring_lines(f, BlockStyle::kSuits, 10.0, 0, 2);
              }),
              "2 Horizon Ring(s) Discarded = 20.0 deg\n"
              "Zenith Viewing Angle (FOV) = 140.0 deg\n");
}

TEST(SelectionBlock, WholeDegreeVariants) {
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_ring_lines(f, BlockStyle::kTessor, 90.0f / 7, 1, 2);
              }),
              "1 Zenith Ring(s) + 2 Horizon Ring(s) Discarded\n"
              "Angular Range about Zenith = 12 -> 66 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_ring_lines(f, BlockStyle::kZephor, 90.0 / 7, 1, 2);
              }),
              "1 Zenith Ring(s) + 2 Horizon Ring(s) Discarded\n"
              "Angular Range about Zenith = 12 -> 66 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_ring_lines(f, BlockStyle::kTessor, 90.0f / 7, 0, 1);
              }),
              "1 Horizon Ring(s) Discarded = 12 deg\n"
              "Zenith Viewing Angle (FOV) = 156 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_grid_lines(f, BlockStyle::kTessor, 9, 8, 10.0f, 45.0f);
              }),
              "\nNbr of Zenith Rings = 9 (Width = 10.0 deg)"
              "\nNbr of Azimuth Sectors = 8 (Width = 45.0 deg)\n");
}

TEST(SelectionBlock, NegativeCountsWriteNoRingLinesAndAreRefused) {
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapdata::write_ring_lines(f, BlockStyle::kSuits, 10.0, 2, -1);
                  gapdata::write_ring_lines(f, BlockStyle::kSuits, 10.0, -1, 0);
              }),
              "");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(gapdata::check_discards("p.txt", 0, -1));
    EXPECT_FALSE(gapdata::check_discards("p.txt", -2, 0));
    EXPECT_TRUE(gapdata::check_discards("p.txt", 0, 0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("p.txt: ", 0), 0u);
}

// ----------------------------------------------------------------------------------------------
// Mask and openness.

template <typename T, int A, int S>
void fill(gapdata::Grid<T, A, S>* g, int nz, int na, T value) {
    gapdata::set_shape(g, nz, na);
    for (int i = 0; i < nz; ++i)
        for (int c = 0; c < na; ++c) g->fract_open[i][c] = value;
}

TEST(Openness, OpenSkyOnFlatGroundIsOneForEveryVariant) {
    static WideGrid g;
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
    static WideGrid g;
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
    static FloatGrid g;
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

TEST(Report, CloseReportFailsOnAFullDisk) {
    std::FILE* out = std::fopen("/dev/full", "w");
    if (out == nullptr) GTEST_SKIP() << "no /dev/full";
    std::fprintf(out, "a report\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(gapdata::close_report(out, "/dev/full"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot write the file /dev/full...\n");
}

}  // namespace
