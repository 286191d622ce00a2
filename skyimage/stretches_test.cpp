// Counting by stretches against counting pixel by pixel: the cell map (every pixel's cell from
// ring_index and sector_index) and count_cells on the cropped, thresholded working image are
// the references, on random sizes, grids, declinations, thresholds, lenses and crops.
#include "skyimage/stretches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "skyimage/cells.h"

namespace skyimage {
namespace {

Lens lens_of(const char* text, double fov_deg = 90) {
    Lens lens;
    EXPECT_TRUE(parse_lens(text, &lens)) << text;
    lens.fov_deg = fov_deg;
    EXPECT_EQ(lens_problem(lens), nullptr) << text << " fov " << fov_deg;
    return lens;
}

// Both classic lenses and others: equisolid and stereographic, fields of view other than 90
// (with 120, 180 and 100 the horizon lies inside the disc), calibrated polynomials (one flat
// at the centre, one reaching past 90 degrees).
std::vector<Lens> lenses() {
    return {lens_of("equidistant"),    lens_of("orthographic"),       lens_of("equisolid"),
            lens_of("stereographic"),  lens_of("equidistant", 120),   lens_of("orthographic", 60),
            lens_of("equisolid", 180), lens_of("stereographic", 100), lens_of("poly:0,90,0"),
            lens_of("poly:100,-10,5"), lens_of("equidistant", 37.5)};
}

std::string describe(const DiscGrid& g) {
    char lens[80];
    describe_lens(g.lens, lens, sizeof lens);
    return std::to_string(g.w) + "x" + std::to_string(g.h) + " " + lens + " grid " +
           std::to_string(g.nz) + "x" + std::to_string(g.na) + " declination " +
           std::to_string(g.declination);
}

// Every stretch against the cell map: each pixel in a cell lies in exactly one stretch, of its
// own cell, and the stretches are maximal (the pixels beside a stretch lie in other cells).
void expect_same_cells(const DiscGrid& g) {
    CellMap map;
    build_cell_map(g.w, g.h, g.lens, g.nz, g.na, g.declination, &map);
    std::vector<std::uint8_t> seen(map.cell.size(), 0);
    std::int64_t covered = 0;
    std::string wrong;
    for_each_stretch(g, [&](int i, int j0, int j1, int ring, int sector) {
        if (!wrong.empty()) return;
        const std::uint16_t c = std::uint16_t(ring * g.na + sector);
        bool ok = i >= 0 && i < g.h && j0 >= 0 && j0 < j1 && j1 <= g.w && ring >= 0 &&
                  ring < g.nz && sector >= 0 && sector < g.na;
        const std::size_t row = std::size_t(i) * std::size_t(g.w);
        for (int j = j0; ok && j < j1; ++j) {
            ok = map.cell[row + std::size_t(j)] == c && seen[row + std::size_t(j)] == 0;
            seen[row + std::size_t(j)] = 1;
        }
        ok = ok && (j0 == 0 || map.cell[row + std::size_t(j0) - 1] != c) &&
             (j1 == g.w || map.cell[row + std::size_t(j1)] != c);
        covered += j1 - j0;
        if (!ok)
            wrong = "row " + std::to_string(i) + " columns " + std::to_string(j0) + ".." +
                    std::to_string(j1) + " cell " + std::to_string(ring) + "," +
                    std::to_string(sector);
    });
    ASSERT_EQ(wrong, "") << describe(g);
    const std::int64_t in_cells = std::count_if(map.cell.begin(), map.cell.end(),
                                                [](std::uint16_t c) { return c != kOutside; });
    EXPECT_EQ(covered, in_cells) << describe(g);
}

double random_declination(std::mt19937& rng) {
    const double kFixed[] = {-180, 180, 0, 90, -90, 45, -0.001, 179.999};
    std::uniform_int_distribution<int> pick(0, 15);
    const int k = pick(rng);
    if (k < 8) return kFixed[k];
    return std::uniform_real_distribution<double>(-180, 180)(rng);
}

int random_divisions(std::mt19937& rng, int most) {
    std::uniform_int_distribution<int> pick(0, 5);
    switch (pick(rng)) {
        case 0:
            return 1;
        case 1:
            return most;
        default:
            return std::uniform_int_distribution<int>(1, most)(rng);
    }
}

TEST(Stretches, NextChangeWhereverThePredictionFalls) {
    // Value 5 on [lo, b), then other values up to END: every guess, good or bad, must find b.
    for (const int lo : {0, -20, 3}) {
        for (int b = lo + 1; b <= lo + 70; ++b) {
            const int end = lo + 70;
            int calls = 0;
            auto value = [&](int x) {
                ++calls;
                EXPECT_GT(x, lo);  // the value at LO is known
                EXPECT_LT(x, end);
                return x < b ? 5 : 6 + (x + 99) % 3;
            };
            for (int guess = lo - 3; guess <= end + 3; ++guess) {
                calls = 0;
                int changed = -7;
                ASSERT_EQ(detail::next_change(value, lo, end, 5, guess, &changed), b)
                    << lo << " " << b << " guess " << guess;
                if (b < end) {
                    EXPECT_EQ(changed, 6 + (b + 99) % 3);
                }
                if (guess == b) {
                    EXPECT_LE(calls, 2);  // a right prediction costs two values
                }
            }
        }
    }
}

TEST(Stretches, EveryPixelInItsOwnCellOnRandomGrids) {
    std::mt19937 rng(20240517);
    const std::vector<Lens> all = lenses();
    for (int n = 0; n < 700; ++n) {
        DiscGrid g;
        // Mostly working images as the extraction makes them (height within one of the
        // width), small and large; some of any shape.
        const int size_class = std::uniform_int_distribution<int>(0, 9)(rng);
        const int most = size_class < 5 ? 40 : size_class < 9 ? 300 : 900;
        g.w = std::uniform_int_distribution<int>(1, most)(rng);
        g.h = size_class == 0 ? std::uniform_int_distribution<int>(1, 2 * most)(rng)
                              : std::max(1, g.w + std::uniform_int_distribution<int>(-1, 1)(rng));
        g.lens = all[std::size_t(n) % all.size()];
        g.nz = random_divisions(rng, 90);
        g.na = random_divisions(rng, 360);
        g.declination = random_declination(rng);
        expect_same_cells(g);
        if (HasFatalFailure()) return;
    }
}

TEST(Stretches, LargeDiscs) {
    const struct {
        int w, h;
        const char* lens;
        int nz, na;
        double declination;
    } cases[] = {{4000, 4000, "equidistant", 9, 8, 0},
                 {2001, 2000, "orthographic", 90, 360, -12.25},
                 {3001, 3002, "equisolid", 45, 71, 180}};
    for (const auto& c : cases) {
        DiscGrid g;
        g.w = c.w;
        g.h = c.h;
        g.lens = lens_of(c.lens);
        g.nz = c.nz;
        g.na = c.na;
        g.declination = c.declination;
        expect_same_cells(g);
    }
}

TEST(Stretches, DiscsWithoutCells) {
    // A working image 1 pixel wide has a disc of radius 0: its one pixel lies on the rim.
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 7}, {0, 0}, {1, 0}}) {
        DiscGrid g;
        g.w = w;
        g.h = h;
        int stretches = 0;
        for_each_stretch(g, [&](int, int, int, int, int) { ++stretches; });
        EXPECT_EQ(stretches, 0) << w << "x" << h;
    }
    std::vector<std::uint8_t> one = {255};
    t_Bitmap bmp{};
    bmp.width = bmp.height = 1;
    bmp.data = one.data();
    gapdata::Counts counts;
    count_cells(bmp, Lens(), 9, 8, 0, &counts);
    EXPECT_EQ(counts.pixels, std::vector<std::int64_t>(72, 0));
    count_by_stretches(WorkingView::of(bmp), Lens(), 9, 8, 0, &counts);
    EXPECT_EQ(counts.pixels, std::vector<std::int64_t>(72, 0));
    // Two pixels wide: radius 1, only the centre pixel lies inside the rim.
    std::vector<std::uint8_t> two = {7, 0, 9, 3};
    bmp.width = bmp.height = 2;
    bmp.data = two.data();
    count_by_stretches(WorkingView::of(bmp), Lens(), 1, 1, 0, &counts);
    EXPECT_EQ(counts.pixels, std::vector<std::int64_t>{1});
    EXPECT_EQ(counts.gaps, std::vector<std::int64_t>{1});  // centre (1, 1): 3, sky
}

// An owned 8-bit image in a record.
struct Image {
    std::vector<std::uint8_t> pixels;
    t_Bitmap bmp{};
    Image(int w, int h, std::mt19937& rng) : pixels(std::size_t(w) * std::size_t(h)) {
        // Patches of a few grey levels, zeros among them, so that runs and thresholds matter.
        std::uniform_int_distribution<int> level(0, 7);
        const int levels[8] = {0, 0, 1, 40, 127, 128, 200, 255};
        int v = 0;
        for (std::size_t k = 0; k < pixels.size(); ++k) {
            if (k % 5 == 0 || level(rng) == 0) v = levels[level(rng)];
            pixels[k] = std::uint8_t(v);
        }
        bmp.width = w;
        bmp.height = h;
        bmp.data = pixels.data();
    }
    // The working image as the extraction and threshold make it (new[] storage, owned here).
    t_Bitmap working(const WorkingView& v) const {
        t_Bitmap copy = bmp;
        copy.data = new std::uint8_t[pixels.size()];
        std::copy(pixels.begin(), pixels.end(), copy.data);
        EXPECT_TRUE(crop(&copy, v.x0, v.y0, v.w, v.h));
        if (v.binarised) threshold_pixels(&copy, v.threshold);
        return copy;
    }
};

TEST(Stretches, CountsStraightFromThePhotographAsFromTheWorkingImage) {
    std::mt19937 rng(7);
    const std::vector<Lens> all = lenses();
    const int thresholds[] = {-1000, -1, 0, 1, 39, 40, 127, 128, 254, 255, 1000};
    for (int n = 0; n < 300; ++n) {
        const int pw = std::uniform_int_distribution<int>(1, 160)(rng);
        const int ph = std::uniform_int_distribution<int>(1, 160)(rng);
        const Image photo(pw, ph, rng);
        WorkingView v;
        v.photo = photo.pixels.data();
        v.photo_w = pw;
        v.photo_h = ph;
        // Squares inside the photograph and reaching beyond each edge, or beyond all of them.
        v.w = std::uniform_int_distribution<int>(1, 200)(rng);
        v.h = std::max(1, v.w + std::uniform_int_distribution<int>(-1, 1)(rng));
        v.x0 = std::uniform_int_distribution<int>(-v.w, pw)(rng);
        v.y0 = std::uniform_int_distribution<int>(-v.h, ph)(rng);
        v.binarised = n % 4 != 0;  // every fourth image classified
        v.threshold = thresholds[std::size_t(n) % std::size(thresholds)];
        const Lens lens = all[std::size_t(n) % all.size()];
        const int nz = random_divisions(rng, 90), na = random_divisions(rng, 360);
        const double declination = random_declination(rng);

        t_Bitmap cut = photo.working(v);
        gapdata::Counts expected, got;
        count_cells(cut, lens, nz, na, declination, &expected);
        count_by_stretches(v, lens, nz, na, declination, &got);
        EXPECT_EQ(got.pixels, expected.pixels) << n;
        EXPECT_EQ(got.gaps, expected.gaps) << n << " threshold " << v.threshold;
        delete[] cut.data;

        // The histogram of the raw photograph values in the disc, and the pixels beyond it.
        WorkingView raw = v;
        raw.binarised = false;
        t_Bitmap unthresholded = photo.working(raw);
        CellMap map;
        build_cell_map(v.w, v.h, lens, nz, na, declination, &map);
        std::uint64_t hist[256], hist_expected[256];
        std::int64_t outside = -1, outside_expected = -2;
        disc_histogram(unthresholded, v.x0, v.y0, pw, ph, map, hist_expected, &outside_expected);
        histogram_by_stretches(v, lens, nz, na, declination, hist, &outside);
        EXPECT_TRUE(std::equal(hist, hist + 256, hist_expected)) << n;
        EXPECT_EQ(outside, outside_expected) << n;
        // The disc is that of any grid: the one cell of 1 x 1 gives it too, and cheapest.
        histogram_by_stretches(v, lens, 1, 1, declination, hist, &outside);
        EXPECT_TRUE(std::equal(hist, hist + 256, hist_expected)) << n << " as one cell";
        EXPECT_EQ(outside, outside_expected) << n << " as one cell";
        delete[] unthresholded.data;
        if (HasFailure()) return;
    }
}

TEST(Stretches, CountAboveEveryLengthOffsetAndLevel) {
    std::mt19937 rng(3);
    std::vector<std::uint8_t> bytes(5000);
    for (auto& b : bytes) b = std::uint8_t(rng());
    for (int t : {-7, -1, 0, 1, 100, 127, 128, 254, 255, 256, 9999}) {
        for (std::size_t offset : {0, 1, 7, 15}) {
            for (std::size_t n : {0, 1, 15, 16, 17, 31, 255 * 16, 255 * 16 + 1, 4100, 4985}) {
                std::int64_t expected = 0;
                for (std::size_t k = 0; k < n; ++k) expected += bytes[offset + k] > t;
                ASSERT_EQ(count_above(bytes.data() + offset, n, t), expected)
                    << t << " " << offset << " " << n;
            }
        }
    }
    // More than 255 blocks of 16 bytes all above: the byte counters must be emptied in time.
    const std::vector<std::uint8_t> sky(100000, 255);
    EXPECT_EQ(count_above(sky.data(), sky.size(), 0), 100000);
}

}  // namespace
}  // namespace skyimage
