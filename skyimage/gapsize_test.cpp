// The gap-size walk built from two traces against the walk traced list by list, eight traces a
// circle, as the midpoint method is written down; and the gap-size file of a photograph seen
// through a working view against the file of the cropped, thresholded working image.
#include "skyimage/gapsize.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "skyimage/stretches.h"

namespace skyimage {
namespace {

// The walk of radius L as (row, column) offsets: eight octant lists, each traced on its own
// from the full start (x = 0) or the shifted start (x = 1, the decision value not advanced),
// the last point shared by all traces; after lists 2, 4, 6, 8 the last entry is dropped when
// its pixel repeats the one remembered after the list before; odd lists joined in trace order,
// even lists reversed.
std::vector<std::pair<int, int>> literal_walk(int l) {
    static const bool kShiftedStart[8] = {false, false, true, false, true, false, true, true};
    auto place = [](int list, int x, int y) -> std::pair<int, int> {
        switch (list) {
            case 0:
                return {-y, x};
            case 1:
                return {-x, y};
            case 2:
                return {x, y};
            case 3:
                return {y, x};
            case 4:
                return {y, -x};
            case 5:
                return {x, -y};
            case 6:
                return {-x, -y};
            default:
                return {-y, -x};
        }
    };
    std::vector<std::pair<int, int>> lists[8];
    int last_x = 0, last_y = 0;
    std::pair<int, int> kept;
    for (int list = 0; list < 8; ++list) {
        int d = 3 - 2 * l, x = 0, y = l;
        if (kShiftedStart[list]) {
            x = 1;
            y = d < 0 ? l : l - 1;
        }
        while (x <= y) {
            lists[list].push_back(place(list, x, y));
            last_x = x;
            last_y = y;
            if (d < 0) {
                d += 4 * x + 6;
            } else {
                d += 4 * (x - y) + 10;
                --y;
            }
            ++x;
        }
        if (list % 2 == 0) {
            kept = place(list, last_x, last_y);
        } else if (place(list, last_x, last_y) == kept && !lists[list].empty()) {
            lists[list].pop_back();
        }
    }
    std::vector<std::pair<int, int>> walk;
    for (int list = 0; list < 8; ++list) {
        if (list % 2 == 0) {
            walk.insert(walk.end(), lists[list].begin(), lists[list].end());
        } else {
            walk.insert(walk.end(), lists[list].rbegin(), lists[list].rend());
        }
    }
    return walk;
}

TEST(GapSizeWalk, TwoTracesGiveTheWalkOfEight) {
    const int w = 1301, h = 1300;
    std::vector<std::uint8_t> pixels(std::size_t(w) * h);
    for (std::size_t k = 0; k < pixels.size(); ++k) pixels[k] = std::uint8_t(k * 2654435761u >> 24);
    t_Bitmap bmp{};
    bmp.width = w;
    bmp.height = h;
    bmp.data = pixels.data();
    RingWalker walker(bmp);
    for (int l = -2; l <= walker.reach() + 1; ++l) {
        walker.walk(l);
        const std::vector<std::pair<int, int>> expected =
            l > walker.reach() ? std::vector<std::pair<int, int>>{} : literal_walk(l);
        ASSERT_EQ(walker.size(), int(expected.size())) << l;
        for (int k = 0; k < walker.size(); ++k) {
            const auto [row, col] = expected[std::size_t(k)];
            ASSERT_EQ(walker.row(k), row) << l << " at " << k;
            ASSERT_EQ(walker.col(k), col) << l << " at " << k;
            const int i = h / 2 + row, j = w / 2 + col;
            const int v = i >= 0 && i < h && j >= 0 && j < w ? pixels[std::size_t(i) * w + j] : 0;
            ASSERT_EQ(walker.value(k), v) << l << " at " << k;
        }
    }
}

std::string gap_size_file(const WorkingView& view, bool orthographic, double lo, double hi,
                          double step) {
    std::FILE* f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    if (f == nullptr) return "";
    write_gap_sizes(f, view, orthographic, lo, hi, step);
    std::rewind(f);
    std::string text;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

TEST(GapSizeWalk, PhotographThroughAViewAsTheWorkingImage) {
    std::mt19937 rng(11);
    const int thresholds[] = {-1, 0, 100, 254, 255};
    for (int n = 0; n < 40; ++n) {
        const int pw = std::uniform_int_distribution<int>(1, 120)(rng);
        const int ph = std::uniform_int_distribution<int>(1, 120)(rng);
        std::vector<std::uint8_t> photo(std::size_t(pw) * ph);
        int v = 0;
        for (auto& p : photo) {
            if (rng() % 6 == 0) v = int(rng() % 4) * 85;  // patches of 0, 85, 170, 255
            p = std::uint8_t(v);
        }
        WorkingView view;
        view.photo = photo.data();
        view.photo_w = pw;
        view.photo_h = ph;
        view.w = std::uniform_int_distribution<int>(2, 150)(rng);
        view.h = view.w + std::uniform_int_distribution<int>(-1, 1)(rng);
        view.x0 = std::uniform_int_distribution<int>(-view.w, pw)(rng);
        view.y0 = std::uniform_int_distribution<int>(-view.h, ph)(rng);
        view.binarised = n % 3 != 0;
        view.threshold = thresholds[n % 5];

        t_Bitmap cut{};
        cut.width = pw;
        cut.height = ph;
        cut.data = new std::uint8_t[photo.size()];
        std::copy(photo.begin(), photo.end(), cut.data);
        ASSERT_TRUE(crop(&cut, view.x0, view.y0, view.w, view.h));
        if (view.binarised) threshold_pixels(&cut, view.threshold);
        // Angles beyond 90 degrees and below 0 reach past the working image.
        const bool orthographic = n % 2 == 1;
        const double lo = orthographic ? -30 : -10, hi = orthographic ? 200 : 120;
        const double step = orthographic ? 0.7 : 0;
        EXPECT_EQ(gap_size_file(view, orthographic, lo, hi, step),
                  gap_size_file(WorkingView::of(cut), orthographic, lo, hi, step))
            << n;
        delete[] cut.data;
    }
}

}  // namespace
}  // namespace skyimage
