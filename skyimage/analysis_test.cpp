// The analysis of one photograph: its sky disc, the cell of every pixel, counting, the overlay,
// and the whole of process_photo, which must give the same result however often and on however
// many threads it runs.
#include "skyimage/analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "test_images.h"

namespace skyimage {
namespace {

using gapbatch_test::Rgb;
using gapbatch_test::ScratchDir;

TEST(Disc, DefaultAndRefusals) {
    DiscSetting o;
    Circle d;
    EXPECT_EQ(locate_disc(o, 3000, 2000, &d), nullptr);
    EXPECT_EQ(d.cx, 1500);
    EXPECT_EQ(d.cy, 1000);
    EXPECT_EQ(d.radius, 1000);
    EXPECT_EQ(d.x0, 500);
    EXPECT_EQ(d.y0, 0);
    EXPECT_EQ(d.w, 2000);
    EXPECT_EQ(d.h, 2000);
    EXPECT_EQ(locate_disc(o, 1, 1, &d) != nullptr, true);  // radius 0
    o.source = DiscSource::kCircle;
    o.cx = 2100;
    o.cy = 10;
    o.radius = 50;
    EXPECT_NE(locate_disc(o, 2000, 2000, &d), nullptr);  // centre beyond the right edge
    o.cx = 1999;
    EXPECT_EQ(locate_disc(o, 2000, 2000, &d), nullptr);  // reaches beyond: allowed, as gapimage
    o.radius = 40000;
    EXPECT_NE(locate_disc(o, 2000, 2000, &d), nullptr);
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
    DiscSetting o;
    o.source = DiscSource::kCircle;
    o.cx = 15;
    o.cy = 10;
    o.radius = 12;  // reaches 2 rows beyond the top and the bottom
    Circle d;
    ASSERT_EQ(locate_disc(o, 30, 20, &d), nullptr);
    ASSERT_TRUE(crop(&photo.bmp, d.x0, d.y0, int(d.w), int(d.h)));
    const t_Bitmap& working = photo.bmp;
    ASSERT_EQ(working.width, 24);
    EXPECT_EQ(working.data[0 * 24 + 5], 0);    // row -2 of the photograph: filled
    EXPECT_EQ(working.data[2 * 24 + 5], 200);  // row 0, column 8
    EXPECT_EQ(working.data[2 * 24 + 20], 20);
    CellMap map;
    build_cell_map(24, 24, Lens(), 1, 2, 0, &map);
    Histogram hist;
    std::int64_t outside = 0;
    disc_histogram(working, d.x0, d.y0, 30, 20, map, hist, &outside);
    std::int64_t in_photo = 0, in_disc = 0;
    for (int v = 0; v < 256; ++v) in_photo += std::int64_t(hist[v]);
    for (std::uint16_t c : map.cell) in_disc += c != kOutside;
    EXPECT_GT(outside, 0);
    EXPECT_EQ(in_photo + outside, in_disc);
    EXPECT_EQ(in_photo, std::int64_t(hist[200] + hist[20]));

    threshold_pixels(&photo.bmp, 20);
    gapdata::Counts c;
    count_with_map(working, map, &c);
    EXPECT_EQ(c.pixel(0, 0) + c.pixel(0, 1), in_disc);
    // Sector 0 (azimuth 0-180) is the left half, where the photograph is bright; the filled
    // rows count as canopy.
    EXPECT_EQ(c.gap(0, 1), 0);
    EXPECT_GT(c.gap(0, 0), 0);
    EXPECT_LT(c.gap(0, 0), c.pixel(0, 0));

    // The cell map counts what the pixel-by-pixel counting of the interactive analysis counts.
    gapdata::Counts direct;
    count_cells(working, Lens(), 1, 2, 0, &direct);
    EXPECT_EQ(direct.pixels, c.pixels);
    EXPECT_EQ(direct.gaps, c.gaps);
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

// A photograph of sky blobs and leaf streaks, analysed twice in one process and on two threads
// at once, each thread with its own workspace: every count identical.
TEST(Process, SameResultTwiceAndOnTwoThreads) {
    ScratchDir dir;
    const std::string photo = dir / "p.bmp";
    gapbatch_test::write_bmp(photo, 300, 240, 24, false, [](int c, int r) {
        const bool sky = std::sin(c * 0.09) * std::cos(r * 0.11) > 0.2 || (c + 3 * r) % 29 == 0;
        const std::uint8_t v = std::uint8_t(sky ? 200 + (c * r) % 50 : 20 + (c + r) % 60);
        return Rgb{v, v, v};
    });
    PhotoSettings settings;
    settings.method = ThresholdMethod::kOtsu;
    settings.nz = 18;
    settings.na = 36;
    settings.declination = 7.5;
    settings.overlay = true;
    std::string why;
    Workspace work;
    PhotoResult first, again;
    ASSERT_TRUE(process_photo(photo.c_str(), settings, &work, &first, &why)) << why;
    ASSERT_TRUE(process_photo(photo.c_str(), settings, &work, &again, &why)) << why;
    EXPECT_GT(first.sky_pixels, 0);
    EXPECT_LT(first.sky_pixels, first.disc_pixels);
    EXPECT_EQ(first.counts.pixels, again.counts.pixels);
    EXPECT_EQ(first.counts.gaps, again.counts.gaps);
    EXPECT_EQ(first.overlay, again.overlay);

    PhotoResult on_thread[2];
    bool ok[2] = {false, false};
    std::thread threads[2];
    for (int t = 0; t < 2; ++t) {
        threads[t] = std::thread([&, t] {
            Workspace own;
            std::string reason;
            for (int k = 0; k < 3 && (k == 0 || ok[t]); ++k)
                ok[t] = process_photo(photo.c_str(), settings, &own, &on_thread[t], &reason);
        });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < 2; ++t) {
        ASSERT_TRUE(ok[t]);
        EXPECT_EQ(on_thread[t].threshold, first.threshold);
        EXPECT_EQ(on_thread[t].counts.pixels, first.counts.pixels);
        EXPECT_EQ(on_thread[t].counts.gaps, first.counts.gaps);
    }
}

}  // namespace
}  // namespace skyimage
