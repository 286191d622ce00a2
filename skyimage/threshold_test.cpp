// Automatic thresholds against histograms worked by hand: bimodal, unimodal, flat, degenerate.
#include "skyimage/threshold.h"

#include <gtest/gtest.h>

#include <cmath>

namespace skyimage {
namespace {

struct Hist {
    Histogram h = {};
};

// Two spikes: 1000 canopy pixels at 50, 3000 sky pixels at 200.
Hist two_spikes() {
    Hist x;
    x.h[50] = 1000;
    x.h[200] = 3000;
    return x;
}

TEST(Threshold, TwoSpikes) {
    const Hist x = two_spikes();
    // Ridler: the mean 162.5 gives classes {50} and {200}; their mid-point 125 keeps them.
    EXPECT_EQ(ridler_threshold(x.h).t, 125);
    // Otsu: every threshold from 50 to 199 separates the spikes equally well; the middle is
    // (50 + 199) / 2 = 124.
    EXPECT_EQ(otsu_threshold(x.h).t, 124);
    // Minimum: already bimodal; the empty valley runs from 51 to 199, its middle is 125.
    EXPECT_EQ(minimum_threshold(x.h).t, 125);
}

TEST(Threshold, RidlerMovesFromTheMean) {
    Hist x;  // 10, 10, 20, 200: mean 60; classes {10,10,20} (mean 13.33) and {200}
    x.h[10] = 2;
    x.h[20] = 1;
    x.h[200] = 1;
    EXPECT_EQ(ridler_threshold(x.h).t, 106);  // (13.33 + 200) / 2 = 106.67, then unchanged
    // Otsu: 3 x 1 x (13.33 - 200)^2 = 104533 for 20..199 beats 2 x 2 x (10 - 110)^2 = 40000.
    EXPECT_EQ(otsu_threshold(x.h).t, (20 + 199) / 2);
}

// Two bell-shaped modes (canopy around 40, sky around 210) on a background: every method must
// put the threshold in the valley, between the modes' shoulders.
TEST(Threshold, BimodalBellsFallInTheValley) {
    Hist x;
    for (int v = 0; v < 256; ++v) {
        const double canopy = 5000 * std::exp(-0.5 * (v - 40) * (v - 40) / 225.0);
        const double sky = 3000 * std::exp(-0.5 * (v - 210) * (v - 210) / 100.0);
        x.h[v] = std::uint64_t(canopy + sky) + 3;
    }
    for (const AutoThreshold t :
         {ridler_threshold(x.h), otsu_threshold(x.h), minimum_threshold(x.h)}) {
        EXPECT_EQ(t.failure, ThresholdFailure::kNone);
        EXPECT_GT(t.t, 40 + 2 * 15);
        EXPECT_LT(t.t, 210 - 2 * 10);
    }
    // The minimum method lands on the floor of the valley, where only the background of 3
    // pixels per level remains.
    EXPECT_EQ(x.h[minimum_threshold(x.h).t], 3u);
}

// Photographs whose sky and canopy pixels are known apart: canopy and sky grey levels drawn
// as overlapping bells of different weight and spread. The ideal threshold misclassifies the
// fewest pixels; each method must come within 0.5 % of the pixels of it.
TEST(Threshold, CloseToTheIdealOnKnownClasses) {
    struct Scene {
        double canopy_mean, canopy_sd, canopy_n, sky_mean, sky_sd, sky_n;
    };
    const Scene scenes[] = {{60, 18, 6e5, 190, 15, 4e5},   // open canopy
                            {45, 12, 8e5, 170, 30, 2e5},   // dense canopy, hazy sky
                            {80, 25, 3e5, 200, 10, 7e5}};  // sparse canopy
    for (const Scene& sc : scenes) {
        std::uint64_t canopy[256], sky[256];
        Hist x;
        double total = 0;
        for (int v = 0; v < 256; ++v) {
            auto bell = [v](double m, double sd, double n) {
                return std::uint64_t(n * std::exp(-0.5 * (v - m) * (v - m) / (sd * sd)) /
                                     (sd * 2.5066282746310002));
            };
            canopy[v] = bell(sc.canopy_mean, sc.canopy_sd, sc.canopy_n);
            sky[v] = bell(sc.sky_mean, sc.sky_sd, sc.sky_n);
            x.h[v] = canopy[v] + sky[v];
            total += double(x.h[v]);
        }
        auto wrong = [&](int t) {  // sky at or below t, canopy above t
            double n = 0;
            for (int v = 0; v < 256; ++v) n += double(v <= t ? sky[v] : canopy[v]);
            return n;
        };
        double ideal = total;
        for (int t = 0; t < 255; ++t) ideal = std::fmin(ideal, wrong(t));
        for (ThresholdMethod m :
             {ThresholdMethod::kRidler, ThresholdMethod::kOtsu, ThresholdMethod::kMinimum}) {
            const AutoThreshold t = auto_threshold(m, x.h);
            ASSERT_EQ(t.failure, ThresholdFailure::kNone) << method_name(m);
            EXPECT_LE(wrong(t.t) - ideal, 0.005 * total)
                << method_name(m) << " threshold " << t.t << " canopy " << sc.canopy_mean;
        }
    }
}

// Triangle h[v] = 100 - |v - 100| on 0..200: one mode.
TEST(Threshold, UnimodalTriangle) {
    Hist x;
    for (int v = 0; v <= 200; ++v) x.h[v] = std::uint64_t(100 - std::abs(v - 100));
    // Ridler: mean 100; classes 0..100 (mean 67.0) and 101..200 (mean 133.67) give 100.33.
    EXPECT_EQ(ridler_threshold(x.h).t, 100);
    // Otsu: splits at 99 and 100 are mirror images, so either is right.
    const int otsu = otsu_threshold(x.h).t;
    EXPECT_TRUE(otsu == 99 || otsu == 100) << otsu;
    // Minimum: smoothing never makes one mode into two.
    EXPECT_EQ(minimum_threshold(x.h).failure, ThresholdFailure::kNotBimodal);
}

TEST(Threshold, Flat) {
    Hist x;
    for (int v = 0; v < 256; ++v) x.h[v] = 10;
    // Ridler: mean 127.5; classes 0..127 and 128..255 (means 63.5 and 191.5) give 127.5.
    EXPECT_EQ(ridler_threshold(x.h).t, 127);
    EXPECT_EQ(otsu_threshold(x.h).t, 127);  // the even split maximises the variance
    EXPECT_EQ(minimum_threshold(x.h).failure, ThresholdFailure::kNotBimodal);
}

TEST(Threshold, NothingToSeparate) {
    Hist empty;
    Hist single;
    single.h[77] = 1234;
    for (ThresholdMethod m :
         {ThresholdMethod::kRidler, ThresholdMethod::kOtsu, ThresholdMethod::kMinimum}) {
        EXPECT_EQ(auto_threshold(m, empty.h).failure, ThresholdFailure::kEmpty);
        EXPECT_EQ(auto_threshold(m, single.h).failure, ThresholdFailure::kSingleLevel);
    }
    // Two neighbouring levels: the lower is canopy, the upper sky.
    Hist two;
    two.h[0] = 1;
    two.h[255] = 1000000;
    for (ThresholdMethod m :
         {ThresholdMethod::kRidler, ThresholdMethod::kOtsu, ThresholdMethod::kMinimum}) {
        const AutoThreshold t = auto_threshold(m, two.h);
        EXPECT_EQ(t.failure, ThresholdFailure::kNone);
        EXPECT_GE(t.t, 0);
        EXPECT_LT(t.t, 255);
    }
}

}  // namespace
}  // namespace skyimage
