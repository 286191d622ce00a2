#include "lai/clumping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "lai/effective.h"

namespace {

using lai::ClumpingSettings;
using lai::GapSettings;
using lai::Ring;
using lai::RingRuns;
using lai::Transect;

Ring make_ring(double zen, const std::vector<double>& gap_fractions) {
    Ring r;
    r.zen_low_deg = zen - 5;
    r.zen_deg = zen;
    r.zen_high_deg = zen + 5;
    for (double p : gap_fractions) r.segments.push_back({p, 100});
    return r;
}

const Transect kWorked{200, {1, 1, 1, 2, 2, 3, 4, 40}};

// One closed circle of LENGTH pixels under a random canopy: elements WIDTH pixels wide start at
// each pixel with probability 1 - exp(-lp / width), so the gap fraction is exp(-lp). Uniform
// numbers come straight from mt19937, which every library implements alike.
Transect random_circle(std::mt19937* gen, int length, int width, double lp,
                       const std::vector<int>& crown = {}) {
    const double p = 1 - std::exp(-lp / width);
    std::vector<char> covered(std::size_t(length), 0);
    for (int x = 0; x < length; ++x) {
        const bool start = double((*gen)()) < p * 4294967296.0;
        if (start && (crown.empty() || crown[std::size_t(x)]))
            for (int j = 0; j < width; ++j) covered[std::size_t((x + j) % length)] = 1;
    }
    Transect t;
    t.length = length;
    int first = 0;
    while (first < length && !covered[std::size_t(first)]) ++first;
    if (first == length) {
        t.gaps.push_back(length);
        return t;
    }
    std::int64_t run = 0;  // walk once round from the first covered pixel: wrapped runs join
    for (int s = 1; s <= length; ++s) {
        if (!covered[std::size_t((first + s) % length)]) {
            ++run;
        } else if (run > 0) {
            t.gaps.push_back(run);
            run = 0;
        }
    }
    return t;
}

TEST(ChenCihlar, WorkedCase) {
    // Gaps 1,1,1,2,2,3,4,40 on 200 pixels, W_p = 5. L_p = -ln 0.27 = 1.309: a random canopy
    // expects 200 (L_p / 5) 0.27 exp(-L_p 40 / 5) = 4e-4 gaps of 40 or more, so the 40 goes; then
    // L_p = -ln 0.07 = 2.659 expects 0.89 gaps of 4 or more, so the rest stays.
    const lai::GapSize g = lai::chen_cihlar_gaps({kWorked}, 5, 0.05);
    ASSERT_TRUE(g.status.ok) << g.status.message;
    EXPECT_DOUBLE_EQ(g.fm0, 0.27);
    EXPECT_DOUBLE_EQ(g.fmr0, 0.07);
    EXPECT_NEAR(g.omega, 0.627263, 5e-7);       // worked value to its 6 printed decimals
    EXPECT_NEAR(g.omega, 0.6272627552, 1e-10);  // ln .27 / ln .07 * .93 / .73: rounding only
    EXPECT_EQ(g.gaps_removed, 1);
    EXPECT_EQ(g.removed_pixels, 40);
    EXPECT_EQ(g.passes, 1);
    EXPECT_FALSE(g.removal_stopped);
    EXPECT_TRUE(g.assessed);

    // The distributions themselves.
    EXPECT_DOUBLE_EQ(lai::accumulated_gap_fraction({kWorked}, 0), 0.27);
    EXPECT_DOUBLE_EQ(lai::accumulated_gap_fraction({kWorked}, 3), 0.235);  // (3 + 4 + 40) / 200
    EXPECT_DOUBLE_EQ(lai::accumulated_gap_fraction({kWorked}, 41), 0.0);
    EXPECT_DOUBLE_EQ(lai::random_accumulated_gap_fraction(1.5, 5, 0), std::exp(-1.5));
    EXPECT_DOUBLE_EQ(lai::random_accumulated_gap_fraction(1.5, 5, 5), 2.5 * std::exp(-3.0));
}

TEST(ChenCihlar, ElementWidthFromProbeProbability) {
    // Gaps 2, 2, 4 on 16 pixels: P(0) = 8/16, one pixel further P(1) = 5/16, so
    // W_p = -ln(1/2) / -ln(5/8) = 1.4747698474.
    const std::vector<Transect> t{{16, {2, 2, 4}}};
    EXPECT_DOUBLE_EQ(lai::probe_probability(t, 0), 0.5);
    EXPECT_DOUBLE_EQ(lai::probe_probability(t, 1), 5.0 / 16);
    const lai::ElementWidth e = lai::estimate_element_width(t);
    EXPECT_NEAR(e.wp, 1.4747698474, 1e-9);  // closed form: rounding only
    EXPECT_NEAR(e.lp, std::log(2.0), 1e-15);

    // On a random canopy of 6-pixel elements the estimate finds the width. Ten circles of
    // 3000 pixels: over 1000 seeds one circle's estimate has sd 0.32 px, ten pooled about
    // 0.1 px; 0.4 px is four of those.
    std::mt19937 gen(7);
    std::vector<Transect> circles;
    for (int i = 0; i < 10; ++i) circles.push_back(random_circle(&gen, 3000, 6, 1.5));
    EXPECT_NEAR(lai::estimate_element_width(circles).wp, 6.0, 0.4);

    // Only one-pixel gaps: no slope to measure.
    EXPECT_TRUE(std::isnan(lai::estimate_element_width({{10, {1, 1, 1}}}).wp));
}

TEST(ChenCihlar, RandomCanopyIsNotClumped) {
    // Over 1000 seeds of this setting (3000 px, W_p 6 px, L_p 1.5) the index is exactly 1 in
    // 97 % and never below 0.973; 0.03 is the tolerance the validation uses for random canopies.
    std::mt19937 gen(2024);
    const lai::GapSize g = lai::chen_cihlar_gaps({random_circle(&gen, 3000, 6, 1.5)}, 0, 0.05);
    ASSERT_TRUE(g.status.ok);
    EXPECT_TRUE(g.assessed);
    EXPECT_NEAR(g.omega, 1.0, 0.03);
}

TEST(ChenCihlar, CrownsAreClumped) {
    // Ten crowns of 150 px on a 3000 px circle, foliage L = 2 inside them (W_p 5 px). The true
    // index Le / L is about 0.54; over 200 seeds this method gives 0.40 +- 0.03, so 0.6 is a
    // safe bound, and the corrected L must land nearer the truth than Le.
    std::mt19937 gen(11);
    std::vector<int> crown(3000, 0);
    int crown_px = 0;
    for (int c = 0; c < 10; ++c) {
        const int x0 = int(gen() % 3000u);
        for (int j = 0; j < 150; ++j) crown[std::size_t((x0 + j) % 3000)] = 1;
    }
    for (int v : crown) crown_px += v;
    const Transect t = random_circle(&gen, 3000, 5, 2.0, crown);
    const lai::GapSize g = lai::chen_cihlar_gaps({t}, 0, 0.05);
    ASSERT_TRUE(g.status.ok);
    EXPECT_LT(g.omega, 0.6);
    EXPECT_GT(g.gaps_removed, 0);
    const double truth = 2.0 * crown_px / 3000;
    const double le = -std::log(g.fm0);
    EXPECT_LT(std::fabs(le / g.omega - truth), std::fabs(le - truth));
}

TEST(ChenCihlar, DegenerateTransects) {
    // No gap, no canopy, no length: index 1; only the first two are not assessed.
    const lai::GapSize closed = lai::chen_cihlar_gaps({{50, {}}}, 0, 0.05);
    EXPECT_TRUE(closed.status.ok);
    EXPECT_FALSE(closed.assessed);
    EXPECT_EQ(closed.omega, 1.0);
    const lai::GapSize open = lai::chen_cihlar_gaps({{50, {50}}}, 0, 0.05);
    EXPECT_TRUE(open.assessed);
    EXPECT_EQ(open.omega, 1.0);
    EXPECT_EQ(open.lp, 0.0);
    const lai::GapSize empty = lai::chen_cihlar_gaps({}, 0, 0.05);
    EXPECT_FALSE(empty.assessed);
    EXPECT_EQ(empty.omega, 1.0);

    // A lone gap that the test would remove leaves nothing: the pass is not applied.
    const lai::GapSize lone = lai::chen_cihlar_gaps({{200, {40}}}, 5, 0.05);
    EXPECT_TRUE(lone.removal_stopped);
    EXPECT_EQ(lone.gaps_removed, 0);
    EXPECT_EQ(lone.omega, 1.0);

    // Invalid runs and settings fail with NaN, never a crash.
    for (const Transect& bad : {Transect{10, {0}}, Transect{10, {6, 5}}, Transect{-1, {}}}) {
        const lai::GapSize g = lai::chen_cihlar_gaps({bad}, 0, 0.05);
        EXPECT_FALSE(g.status.ok);
        EXPECT_TRUE(std::isnan(g.omega));
    }
    EXPECT_FALSE(lai::chen_cihlar_gaps({kWorked}, -1, 0.05).status.ok);
    EXPECT_FALSE(lai::chen_cihlar_gaps({kWorked}, 5, 0).status.ok);
}

TEST(RingClumping, LangXiang) {
    const GapSettings s;
    // Every segment alike: no clumping, L_LX = Le.
    const lai::Clumping uniform = lai::clumping_lang_xiang({make_ring(30, {0.3, 0.3, 0.3, 0.3})}, s);
    ASSERT_TRUE(uniform.status.ok);
    EXPECT_NEAR(uniform.rings[0].omega, 1.0, 1e-15);
    EXPECT_NEAR(uniform.omega, 1.0, 1e-15);
    EXPECT_NEAR(uniform.lai, uniform.le, 1e-15);

    // Half the segments open, half closed (0 -> s = 4.53e-5):
    // Omega = ln((1 + s) / 2) / (ln(s) / 2) = 0.1385898377.
    const std::vector<Ring> half{make_ring(40, {1, 0, 1, 0})};
    const lai::Clumping h = lai::clumping_lang_xiang(half, s);
    ASSERT_TRUE(h.status.ok);
    EXPECT_NEAR(h.rings[0].omega, 0.1385898377, 1e-10);  // closed form: rounding only
    EXPECT_NEAR(h.omega, h.le / h.lai, 1e-15);
    EXPECT_EQ(h.zero_segments, 2);
    // One ring: the overall index is the ring's.
    EXPECT_NEAR(h.omega, h.rings[0].omega, 1e-12);
    EXPECT_NEAR(h.le, lai::miller_lai(half, s).lai, 1e-15);

    // L_LX is the mean of the segments' own Miller values, so se is that mean's.
    const std::vector<Ring> two{make_ring(30, {0.5, 0.1}), make_ring(60, {0.4, 0.05})};
    const lai::Clumping t = lai::clumping_lang_xiang(two, s);
    const double a = lai::miller_lai({make_ring(30, {0.5}), make_ring(60, {0.4})}, s).lai;
    const double b = lai::miller_lai({make_ring(30, {0.1}), make_ring(60, {0.05})}, s).lai;
    EXPECT_NEAR(t.lai, (a + b) / 2, 1e-12);          // same sums reordered: rounding only
    EXPECT_NEAR(t.se, std::fabs(a - b) / 2, 1e-12);  // same
    EXPECT_LT(t.omega, 1.0);
}

TEST(RingClumping, ChenCihlarAndClx) {
    ClumpingSettings cs;
    cs.element_width_px = 5;
    // One ring whose circle is the worked case: Omega_i = 0.627263 and L = Le / Omega_i.
    const std::vector<Ring> ring{make_ring(50, {0.27, 0.27})};
    const lai::Clumping cc = lai::clumping_chen_cihlar(ring, {RingRuns{{kWorked}, {}}}, cs);
    ASSERT_TRUE(cc.status.ok) << cc.status.message;
    EXPECT_NEAR(cc.rings[0].omega, 0.6272627552, 1e-10);  // as the worked case
    EXPECT_NEAR(cc.omega, cc.rings[0].omega, 1e-12);      // one ring: rounding only
    EXPECT_NEAR(cc.lai, cc.le / 0.6272627552, 1e-9);
    EXPECT_EQ(cc.rings[0].runs.gaps_removed, 1);

    // CLX: segment runs without a large gap keep every segment's index at 1, so CLX equals LX.
    const std::vector<Ring> r2{make_ring(50, {0.5, 0.1})};
    const Transect small{100, {2, 1, 3, 2, 1, 1}};
    RingRuns runs{{small, small}, {{small}, {small}}};
    const lai::Clumping lx = lai::clumping_lang_xiang(r2, cs.gaps);
    const lai::Clumping plain = lai::clumping_clx(r2, {runs}, cs);
    ASSERT_TRUE(plain.status.ok) << plain.status.message;
    EXPECT_NEAR(plain.rings[0].omega, lx.rings[0].omega, 1e-15);
    EXPECT_NEAR(plain.lai, lx.lai, 1e-15);
    // A segment whose runs hold a gap too large for a random canopy lowers the index.
    runs.segments[0] = {kWorked};
    const lai::Clumping clumped = lai::clumping_clx(r2, {runs}, cs);
    ASSERT_TRUE(clumped.status.ok);
    EXPECT_LT(clumped.rings[0].omega, lx.rings[0].omega);
    // Omega_CLX = ln(0.3) / mean(ln 0.5 / 0.627263, ln 0.1): hand-worked with the case above.
    const double expect = std::log(0.3) / ((std::log(0.5) / 0.6272627552 + std::log(0.1)) / 2);
    EXPECT_NEAR(clumped.rings[0].omega, expect, 1e-9);  // omega to 1e-10: rounding only
    EXPECT_EQ(clumped.segments_unassessed, 0);
}

TEST(RingClumping, OpenSkyGivesNoLeavesAndNoClumping) {
    ClumpingSettings cs;
    const std::vector<Ring> open{make_ring(20, {1, 1}), make_ring(60, {1, 1})};
    const Transect sky{300, {300}};
    const std::vector<RingRuns> runs(
        2, RingRuns{{sky}, {{Transect{150, {150}}}, {Transect{150, {150}}}}});
    for (const lai::Clumping& c : {lai::clumping_lang_xiang(open, cs.gaps), lai::clumping_chen_cihlar(open, runs, cs),
                                   lai::clumping_clx(open, runs, cs)}) {
        ASSERT_TRUE(c.status.ok) << c.status.message;
        EXPECT_EQ(c.le, 0.0);
        EXPECT_EQ(c.lai, 0.0);
        EXPECT_EQ(c.omega, 1.0);
        EXPECT_EQ(c.rings[0].omega, 1.0);
    }
}

TEST(RingClumping, DegenerateInput) {
    ClumpingSettings cs;
    const std::vector<Ring> ring{make_ring(50, {0.3, 0.3})};
    // Runs missing for a ring, or for CLX's segments: a failure with NaN numbers.
    const lai::Clumping no_runs = lai::clumping_chen_cihlar(ring, {}, cs);
    EXPECT_FALSE(no_runs.status.ok);
    EXPECT_TRUE(std::isnan(no_runs.lai));
    EXPECT_FALSE(lai::clumping_clx(ring, {RingRuns{{kWorked}, {}}}, cs).status.ok);
    EXPECT_FALSE(lai::clumping_lang_xiang({}, cs.gaps).status.ok);
    // A circle without any gap: index 1, counted as not assessed.
    const lai::Clumping closed = lai::clumping_chen_cihlar(ring, {RingRuns{{Transect{100, {}}}, {}}}, cs);
    ASSERT_TRUE(closed.status.ok);
    EXPECT_EQ(closed.rings_unassessed, 1);
    EXPECT_EQ(closed.omega, 1.0);
    // Bad runs inside a ring are named.
    const lai::Clumping bad = lai::clumping_chen_cihlar(ring, {RingRuns{{Transect{10, {20}}}, {}}}, cs);
    EXPECT_FALSE(bad.status.ok);
    EXPECT_NE(bad.status.message.find("ring 0"), std::string::npos);
}

}  // namespace
