// gapbatch with photographs as cameras make them: a disc found on the frame, or refused on a
// photograph without one; thresholds and channels a photograph cannot take refused before any
// is analysed; a 16-bit TIFF and a PNG giving the BMP's gap fractions; the built-in lenses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "skyimage/bitmap.h"
#include "test_images.h"

namespace {

using gapbatch_test::Layout;
using gapbatch_test::Rgb;
using gapbatch_test::ScratchDir;

const std::string kBin = SKYGAP_BIN_DIR;

// Runs COMMAND in DIR with the suite's programs; its exit status.
int run(const ScratchDir& dir, const std::string& command) {
    const int rc = std::system(("cd '" + dir.path() + "' && " + command).c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string gapbatch() { return "'" + kBin + "/gapbatch' --quiet --jobs 1 "; }

// The value of COLUMN in the first data row of a summary without quoted fields.
std::string cell(const std::string& csv, const std::string& column) {
    std::istringstream in(csv);
    std::string header, row;
    std::getline(in, header);
    std::getline(in, row);
    std::istringstream names(header), values(row);
    std::string name, value;
    while (std::getline(names, name, ',')) {
        if (!std::getline(values, value, ',')) value.clear();
        if (name == column) return value;
    }
    return "(no column " + column + ")";
}

// canopysim renders of a frame: the disc found within a pixel of where it was drawn, its
// source and residual in the summary; a frameless photograph fails with the reason.
TEST(Cameras, DiscFoundOnTheFrameAndRefusedWithoutOne) {
    ScratchDir dir;
    ASSERT_EQ(run(dir, "'" + kBin + "/canopysim' --size 400 --lai 2 --seed 3 --frame 600,500,90,40 " +
                           "--truth truth.txt framed.bmp"),
              0);
    ASSERT_EQ(run(dir, gapbatch() + "--find-disc --threshold 128 framed.bmp > s.csv"), 0);
    const std::string s = gapbatch_test::read_file(dir / "s.csv");
    // The 400-pixel render lies at column 90, row 40 of the frame: its disc is centred on
    // (290, 240) with a radius just under 200.
    EXPECT_NEAR(std::stod(cell(s, "centre_x")), 290, 1) << s;
    EXPECT_NEAR(std::stod(cell(s, "centre_y")), 240, 1);
    EXPECT_NEAR(std::stod(cell(s, "radius")), 199, 1.5);
    EXPECT_EQ(cell(s, "disc_source"), "found");
    EXPECT_LT(std::stod(cell(s, "disc_rms")), 1.0);

    // A picture that fills the frame, as a full-frame fish-eye takes it: no dark border.
    {
        const int w = 240, h = 160;
        std::vector<std::uint8_t> px(std::size_t(w) * h);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) px[std::size_t(r) * w + std::size_t(c)] = std::uint8_t(60 + (c * 3 + r * 5) % 190);
        std::FILE* f = std::fopen((dir / "plain.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(skyimage::write_grey_bmp(f, w, h, px.data()));
        std::fclose(f);
    }
    EXPECT_EQ(run(dir, gapbatch() + "--find-disc plain.bmp > p.csv 2> err.txt"), 1);
    EXPECT_NE(gapbatch_test::read_file(dir / "err.txt").find("plain.bmp: no sky disc found"),
              std::string::npos)
        << gapbatch_test::read_file(dir / "err.txt");
    EXPECT_EQ(cell(gapbatch_test::read_file(dir / "p.csv"), "status"), "failed");
}

// Settings a photograph cannot take end the run before anything is analysed or written.
TEST(Cameras, ThresholdsAndChannelsBeyondThePhotographAreRefusedFirst) {
    ScratchDir dir;
    ASSERT_EQ(run(dir, "'" + kBin + "/canopysim' --size 120 --seed 1 --truth /dev/null grey.bmp"), 0);
    for (const char* bad : {"--threshold 300", "--channel red"}) {
        EXPECT_EQ(run(dir, gapbatch() + bad + " --out out grey.bmp > s.csv 2> err.txt"), 1) << bad;
        const std::string err = gapbatch_test::read_file(dir / "err.txt");
        EXPECT_EQ(err.rfind("grey.bmp: ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(gapbatch_test::read_file(dir / "s.csv"), "") << bad;
    }
    EXPECT_NE(gapbatch_test::read_file(dir / "err.txt").find("no red channel"), std::string::npos);
    // Beyond every scale: refused as an option.
    EXPECT_EQ(run(dir, gapbatch() + "--threshold -5 grey.bmp > s.csv 2> err.txt"), 1);
    EXPECT_NE(gapbatch_test::read_file(dir / "err.txt").find("--threshold -5: the threshold must"),
              std::string::npos);
    // The luma of a grey photograph is its grey: accepted.
    EXPECT_EQ(run(dir, gapbatch() + "--channel luma grey.bmp > s.csv"), 0);
}

// The same picture as an 8-bit BMP, a 16-bit TIFF (every value times 257) and a PNG gives the
// same gap-fraction file at the same threshold on each scale.
TEST(Cameras, TiffAndPngGiveTheBmpsGapFractions) {
#if !defined(SKYGAP_HAVE_TIFF) || !defined(SKYGAP_HAVE_PNG)
    GTEST_SKIP() << "built without libtiff or libpng";
#else
    ScratchDir dir;
    const int w = 160, h = 140;
    const gapbatch_test::PixelFn picture = [](int c, int r) {
        const std::uint8_t v = std::uint8_t((c * 7 + r * 13 + (c * r) % 31) % 256);
        return Rgb{v, v, v};
    };
    std::vector<std::uint8_t> grey(std::size_t(w) * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) grey[std::size_t(r) * w + std::size_t(c)] = picture(c, r).r;
    {
        std::FILE* f = std::fopen((dir / "a.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(skyimage::write_grey_bmp(f, w, h, grey.data()));
        std::fclose(f);
    }
    Layout wide;
    wide.bits = 16;
    wide.components = 1;
    gapbatch_test::write_tiff(dir / "b.tif", w, h, wide, picture);
    Layout png;
    png.components = 1;
    gapbatch_test::write_png(dir / "c.png", w, h, png, picture);
    const std::string common = "--circle 80,70,65 --rings 9 --sectors 12 --out . ";
    ASSERT_EQ(run(dir, gapbatch() + common + "--threshold 100 a.bmp c.png > s8.csv"), 0);
    ASSERT_EQ(run(dir, gapbatch() + common + "--threshold " + std::to_string(100 * 257 + 128) +
                           " b.tif > s16.csv"),
              0);
    const std::string bmp = gapbatch_test::read_file(dir / "a.gapfract.txt");
    EXPECT_FALSE(bmp.empty());
    EXPECT_EQ(gapbatch_test::read_file(dir / "b.gapfract.txt"), bmp);
    EXPECT_EQ(gapbatch_test::read_file(dir / "c.gapfract.txt"), bmp);
    const std::string s16 = gapbatch_test::read_file(dir / "s16.csv");
    EXPECT_EQ(cell(s16, "format"), "TIFF");
    EXPECT_EQ(cell(s16, "bit_depth"), "16");
    EXPECT_EQ(cell(s16, "threshold"), std::to_string(100 * 257 + 128));
    // The automatic thresholds split the 16-bit picture where they split the 8-bit one.
    ASSERT_EQ(run(dir, gapbatch() + common + "--auto otsu --out o a.bmp b.tif > so.csv"), 0);
    EXPECT_EQ(gapbatch_test::read_file(dir / "o/b.gapfract.txt"),
              gapbatch_test::read_file(dir / "o/a.gapfract.txt"));
#endif
}

// A calibrated lens by name: the summary names it, its rim is its own (no --fov), and
// --list-lenses gives every built-in lens with its source.
TEST(Cameras, BuiltInLensByNameIsNamedAndOwnsItsRim) {
    ScratchDir dir;
    ASSERT_EQ(run(dir, "'" + kBin + "/canopysim' --size 500 --lai 1.5 --seed 8 --lens fc-e8 " +
                           "--truth truth.txt fce8.bmp"),
              0);
    ASSERT_EQ(run(dir, gapbatch() + "--lens fc-e8 --circle 250,250,249 --threshold 128 " +
                           "--sectors 1 --out . fce8.bmp > s.csv"),
              0);
    const std::string s = gapbatch_test::read_file(dir / "s.csv");
    EXPECT_EQ(cell(s, "lens"), "fc-e8");
    EXPECT_EQ(run(dir, gapbatch() + "--lens fc-e8 --fov 80 fce8.bmp > s.csv 2> err.txt"), 1);
    EXPECT_NE(gapbatch_test::read_file(dir / "err.txt").find("--fov does not apply"),
              std::string::npos);
    EXPECT_EQ(run(dir, gapbatch() + "--list-lenses > lenses.txt"), 0);
    const std::string lenses = gapbatch_test::read_file(dir / "lenses.txt");
    for (const char* name : {"fc-e8", "fc-e9", "nikkor-10.5", "Pekin and Macfarlane 2009"})
        EXPECT_NE(lenses.find(name), std::string::npos) << name;
}

}  // namespace
