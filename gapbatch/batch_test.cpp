// The batch pieces: the command line, the sky disc, the cell of every pixel, counting,
// the summary and the handling of one photograph.
#include "batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "test_images.h"

namespace gapbatch {
namespace {

using gapbatch_test::Rgb;
using gapbatch_test::ScratchDir;

bool parse(std::vector<const char*> args, Options* o, std::string* problem = nullptr) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("gapbatch"));
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    char text[kMessageSize] = "";
    const bool ok = parse_options(int(argv.size()), argv.data(), o, text);
    if (problem != nullptr) *problem = text;
    return ok;
}

TEST(Options, FieldOfViewBeforeLensStillCounts) {
    Options o;
    ASSERT_TRUE(parse({"--fov", "100", "--lens", "equisolid", "x.bmp", "--quiet"}, &o));
    EXPECT_EQ(o.lens.kind, LensKind::kEquisolid);
    EXPECT_EQ(o.lens.fov_deg, 100);
    EXPECT_TRUE(o.quiet);  // options after the photographs count too
    ASSERT_EQ(o.photos.size(), 1u);
}

TEST(Options, Refusals) {
    const std::vector<std::vector<const char*>> bad = {
        {},  // no photograph
        {"--rings", "0", "a"},
        {"--rings", "91", "a"},
        {"--sectors", "361", "a"},
        {"--rings", "9x", "a"},
        {"--declination", "181", "a"},
        {"--declination", "nan", "a"},
        {"--lens", "fisheye", "a"},
        {"--lens", "orthographic", "--fov", "100", "a"},       // sin turns back beyond 90
        {"--lens", "poly:10,-30,25", "a"},                     // dips on the way out
        {"--lens", "poly:100,-12.5,2.5", "--fov", "90", "a"},  // the polynomial has its rim
        {"--points", "0,0,1,1,2,2", "a"},                      // on one line
        {"--points", "1,2,3,4,5", "a"},
        {"--circle", "5,5,0", "a"},
        {"--points", "100,0,0,100,200,100", "--circle", "1,1,1", "a"},
        {"--threshold", "100", "--auto", "otsu", "a"},
        {"--auto", "median", "a"},
        {"--classified", "--threshold", "3", "a"},
        {"--channel", "alpha", "a"},
        {"--overlay", "o.bmp", "a", "b"},  // one overlay file, two photos
        {"--overlay", "o.bmp", "--overlay-dir", "d", "a"},
        {"--frobnicate", "a"},
        {"a", "--rings"},                 // value missing
        {"--summary", "a.bmp", "a.bmp"},  // would wipe the photograph
    };
    for (const auto& args : bad) {
        Options o;
        std::string problem;
        EXPECT_FALSE(parse(args, &o, &problem)) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(problem.empty());
    }
}

TEST(Disc, DefaultAndRefusals) {
    Options o;
    Disc d;
    EXPECT_EQ(disc_for(o, 3000, 2000, &d), nullptr);
    EXPECT_EQ(d.cx, 1500);
    EXPECT_EQ(d.cy, 1000);
    EXPECT_EQ(d.radius, 1000);
    EXPECT_EQ(d.x0, 500);
    EXPECT_EQ(d.y0, 0);
    EXPECT_EQ(d.w, 2000);
    EXPECT_EQ(d.h, 2000);
    EXPECT_EQ(disc_for(o, 1, 1, &d) != nullptr, true);  // radius 0
    o.has_circle = true;
    o.circle_cx = 2100;
    o.circle_cy = 10;
    o.circle_radius = 50;
    EXPECT_NE(disc_for(o, 2000, 2000, &d), nullptr);  // centre beyond the right edge
    o.circle_cx = 1999;
    EXPECT_EQ(disc_for(o, 2000, 2000, &d), nullptr);  // reaches beyond: allowed, as gapimage
    o.circle_radius = 40000;
    EXPECT_NE(disc_for(o, 2000, 2000, &d), nullptr);
}

// Cells of a classic equidistant disc: every pixel strictly inside radius R is in a cell,
// the rim and the rest are not; the centre pixel lies in the sector holding azimuth 270.
TEST(CellMap, DiscAndCentre) {
    CellMap map;
    Lens lens;
    build_cell_map(41, 41, lens, 1, 4, 0, &map);
    std::int64_t inside = 0;
    for (int i = 0; i < 41; ++i) {
        for (int j = 0; j < 41; ++j) {
            const bool in = std::hypot(j - 20.0, 20.0 - i) < 20;
            inside += in;
            EXPECT_EQ(map.cell[std::size_t(i * 41 + j)] != kOutside, in) << i << "," << j;
        }
    }
    EXPECT_EQ(map.cell[20 * 41 + 20], 3);
    // Azimuth 0 at the top, growing counter-clockwise: top-left quarter is sector 0, the
    // bottom-left 1, bottom-right 2, top-right 3.
    EXPECT_EQ(map.cell[5 * 41 + 15], 0);
    EXPECT_EQ(map.cell[35 * 41 + 15], 1);
    EXPECT_EQ(map.cell[35 * 41 + 25], 2);
    EXPECT_EQ(map.cell[5 * 41 + 25], 3);
    // An East declination of 90 degrees turns azimuth 0 to the left: the top is azimuth 270.
    build_cell_map(41, 41, lens, 1, 4, 90, &map);
    EXPECT_EQ(map.cell[2 * 41 + 20], 3);
    EXPECT_EQ(map.cell[20 * 41 + 2], 0);
}

std::vector<std::int64_t> ring_pixels(const CellMap& m) {
    std::vector<std::int64_t> n(std::size_t(m.nz), 0);
    for (std::uint16_t c : m.cell)
        if (c != kOutside) ++n[std::size_t(c / m.na)];
    return n;
}

// Equal-area lens: the image area of a ring is proportional to its solid angle,
// cos(inner) - cos(outer). Orthographic puts more pixels near the zenith than equidistant.
TEST(CellMap, RingAreasFollowTheLens) {
    CellMap map;
    Lens lens;
    lens.kind = LensKind::kEquisolid;
    build_cell_map(1601, 1601, lens, 6, 1, 0, &map);
    const std::vector<std::int64_t> n = ring_pixels(map);
    std::int64_t total = 0;
    for (std::int64_t k : n) total += k;
    for (int i = 0; i < 6; ++i) {
        const double solid =
            std::cos(i * 15 * 0.017453292519943295) - std::cos((i + 1) * 15 * 0.017453292519943295);
        EXPECT_NEAR(double(n[std::size_t(i)]) / double(total), solid, 2e-3);  // pixel steps
    }
    CellMap eq, ortho;
    Lens e, o;
    o.kind = LensKind::kOrthographic;
    build_cell_map(201, 201, e, 9, 8, 0, &eq);
    build_cell_map(201, 201, o, 9, 8, 0, &ortho);
    const std::vector<std::int64_t> ne = ring_pixels(eq), no = ring_pixels(ortho);
    EXPECT_GT(no[0], ne[0]);
    EXPECT_LT(no[8], ne[8]);
    std::int64_t te = 0, to = 0;
    for (int i = 0; i < 9; ++i) {
        te += ne[std::size_t(i)];
        to += no[std::size_t(i)];
    }
    EXPECT_EQ(te, to);
    // A 60-degree lens leaves rings 6 to 8 empty.
    Lens narrow;
    narrow.fov_deg = 60;
    build_cell_map(201, 201, narrow, 9, 8, 0, &eq);
    const std::vector<std::int64_t> nn = ring_pixels(eq);
    EXPECT_GT(nn[5], 0);
    EXPECT_EQ(nn[6] + nn[7] + nn[8], 0);
}

TEST(Counting, CropThresholdCountAndSummary) {
    Photo photo;
    adopt_pixels(&photo.bmp, new std::uint8_t[600], 30, 20);
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 30; ++c) photo.bmp.data[r * 30 + c] = std::uint8_t(c < 15 ? 200 : 20);
    Options o;
    o.has_circle = true;
    o.circle_cx = 15;
    o.circle_cy = 10;
    o.circle_radius = 12;  // reaches 2 rows beyond the top and the bottom
    Disc d;
    ASSERT_EQ(disc_for(o, 30, 20, &d), nullptr);
    ASSERT_TRUE(gapimage::crop(&photo.bmp, d.x0, d.y0, int(d.w), int(d.h)));
    const t_Bitmap& working = photo.bmp;
    ASSERT_EQ(working.width, 24);
    EXPECT_EQ(working.data[0 * 24 + 5], 0);    // row -2 of the photograph: filled
    EXPECT_EQ(working.data[2 * 24 + 5], 200);  // row 0, column 8
    EXPECT_EQ(working.data[2 * 24 + 20], 20);
    CellMap map;
    build_cell_map(24, 24, o.lens, 1, 2, 0, &map);
    Histogram hist;
    std::int64_t outside = 0;
    disc_histogram(working, d, 30, 20, map, hist, &outside);
    std::int64_t in_photo = 0, in_disc = 0;
    for (int v = 0; v < 256; ++v) in_photo += std::int64_t(hist[v]);
    for (std::uint16_t c : map.cell) in_disc += c != kOutside;
    EXPECT_GT(outside, 0);
    EXPECT_EQ(in_photo + outside, in_disc);
    EXPECT_EQ(in_photo, std::int64_t(hist[200] + hist[20]));

    gapimage::threshold_pixels(&photo.bmp, 20);
    static gapdata::CountTable pixels, gaps;
    count_with_map(working, map, pixels, gaps);
    EXPECT_EQ(pixels[0][0] + pixels[0][1], in_disc);
    // Sector 0 (azimuth 0-180) is the left half, where the photograph is bright; the filled
    // rows count as canopy.
    EXPECT_EQ(gaps[0][1], 0);
    EXPECT_GT(gaps[0][0], 0);
    EXPECT_LT(gaps[0][0], pixels[0][0]);

    std::fill(photo.bmp.data, photo.bmp.data + 24 * 24, 255);
    count_with_map(working, map, pixels, gaps);
    const gapdata::Openness<double> sky = summarise(1, 2, pixels, gaps);
    EXPECT_NEAR(sky.total_gap, 1, 1e-12);
    EXPECT_NEAR(sky.canopy_openness, 1, 1e-12);  // 1 - cos 90 is 1 up to rounding
}

// The overlay marks the rim and the cell boundaries only: with one cell, every grey pixel is
// in the disc next to a pixel outside it, and every such pixel is grey.
TEST(Overlay, RimAndBoundaries) {
    CellMap map;
    Lens lens;
    build_cell_map(61, 61, lens, 1, 1, 0, &map);
    std::vector<std::uint8_t> image(61 * 61, 255);
    draw_overlay(map, image.data());
    auto out = [&](int i, int j) {
        return i < 0 || j < 0 || i >= 61 || j >= 61 ||
               map.cell[std::size_t(i * 61 + j)] == kOutside;
    };
    for (int i = 0; i < 61; ++i) {
        for (int j = 0; j < 61; ++j) {
            const bool rim =
                !out(i, j) && (out(i - 1, j) || out(i + 1, j) || out(i, j - 1) || out(i, j + 1));
            EXPECT_EQ(image[std::size_t(i * 61 + j)] == 128, rim) << i << "," << j;
        }
    }
    // With four sectors the vertical and horizontal diameters are drawn too.
    build_cell_map(61, 61, lens, 2, 4, 0, &map);
    std::vector<std::uint8_t> grid(61 * 61, 0);
    draw_overlay(map, grid.data());
    EXPECT_EQ(grid[10 * 61 + 29] == 128 || grid[10 * 61 + 30] == 128, true);  // above centre
    EXPECT_EQ(grid[30 * 61 + 45] == 128 || grid[29 * 61 + 45] == 128, true);  // right of it
    EXPECT_EQ(grid[10 * 61 + 20], 0);                                         // inside a cell
}

TEST(Output, PathsAndSummaryRows) {
    EXPECT_EQ(output_path("dir/IMG_1.JPG", nullptr, ".gapfract.txt"), "dir/IMG_1.gapfract.txt");
    EXPECT_EQ(output_path("dir/IMG_1.JPG", "out", ".gapfract.txt"), "out/IMG_1.gapfract.txt");
    EXPECT_EQ(output_path("a.b.bmp", "out/", ".overlay.bmp"), "out/a.b.overlay.bmp");
    EXPECT_EQ(output_path(".hidden", nullptr, ".gapfract.txt"), ".hidden.gapfract.txt");
    EXPECT_EQ(output_path("noext", nullptr, ".gapfract.txt"), "noext.gapfract.txt");

    ScratchDir dir;
    const std::string path = dir / "s.csv";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    write_summary_header(f);
    Row row;
    row.photo = "odd, \"name\".bmp";
    write_summary_row(f, row);
    row.photo = "p.bmp";
    row.ok = true;
    row.width = 3000;
    row.height = 2000;
    row.disc.cx = 1500;
    row.disc.cy = 1000;
    row.disc.radius = 300.4996;
    row.lens = "poly:1,2,3";
    row.method = "otsu";
    row.has_threshold = true;
    row.threshold = 131;
    row.nz = 9;
    row.na = 8;
    row.openness.total_gap = 0.25;
    row.openness.canopy_openness = 0.125;
    row.sky_pixels = 10;
    row.disc_pixels = 40;
    write_summary_row(f, row);
    std::fclose(f);
    EXPECT_EQ(gapbatch_test::read_file(path),
              "photo,width,height,centre_x,centre_y,radius,lens,threshold_method,threshold,"
              "rings,sectors,total_gap,canopy_openness,sky_pixels,disc_pixels,status\n"
              "\"odd, \"\"name\"\".bmp\",,,,,,,,,,,,,,,failed\n"
              "p.bmp,3000,2000,1500,1000,300.5,\"poly:1,2,3\",otsu,131,9,8,0.250000,0.125000,"
              "10,40,ok\n");
}

// A photograph whose gap-fraction file would land on one already written in this batch
// fails, and the first file stays as it was.
TEST(Process, NoOutputIsOverwritten) {
    ScratchDir dir;
    const std::string a = dir / "a", b = dir / "b", out = dir / "out";
    ASSERT_EQ(std::system(("mkdir '" + a + "' '" + b + "' '" + out + "'").c_str()), 0);
    auto sky = [](int c, int) { return c < 20 ? Rgb{250, 250, 250} : Rgb{10, 10, 10}; };
    auto dark = [](int, int) { return Rgb{5, 5, 5}; };
    gapbatch_test::write_bmp(a + "/p.bmp", 40, 40, 24, false, sky);
    gapbatch_test::write_bmp(b + "/p.bmp", 40, 40, 24, false, dark);
    Options o;
    o.method = ThresholdMethod::kFixed;
    o.threshold = 100;
    o.out_dir = out.c_str();
    Workspace work;
    Row row;
    char problem[kMessageSize], warning[kMessageSize];
    ASSERT_TRUE(process_photo(o, (a + "/p.bmp").c_str(), &work, &row, problem, warning)) << problem;
    EXPECT_TRUE(row.ok);
    EXPECT_STREQ(warning, "");
    const std::string first = gapbatch_test::read_file(out + "/p.gapfract.txt");
    ASSERT_FALSE(first.empty());
    EXPECT_FALSE(process_photo(o, (b + "/p.bmp").c_str(), &work, &row, problem, warning));
    EXPECT_FALSE(row.ok);
    EXPECT_NE(std::strstr(problem, "already written"), nullptr) << problem;
    EXPECT_EQ(gapbatch_test::read_file(out + "/p.gapfract.txt"), first);
    // A photograph of another size in between does not disturb the next one's cells.
    gapbatch_test::write_bmp(b + "/q.bmp", 23, 57, 24, true, sky);
    o.out_dir = nullptr;
    ASSERT_TRUE(process_photo(o, (b + "/q.bmp").c_str(), &work, &row, problem, warning));
    ASSERT_TRUE(process_photo(o, (a + "/p.bmp").c_str(), &work, &row, problem, warning));
    EXPECT_EQ(gapbatch_test::read_file(a + "/p.gapfract.txt"), first);
    // An automatic threshold on a single grey level fails rather than guess.
    o.method = ThresholdMethod::kOtsu;
    EXPECT_FALSE(process_photo(o, (b + "/p.bmp").c_str(), &work, &row, problem, warning));
    EXPECT_NE(std::strstr(problem, "single grey level"), nullptr) << problem;
}

}  // namespace
}  // namespace gapbatch
