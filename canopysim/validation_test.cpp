// Validation of the whole chain against canopies of known structure: canopysim renders a
// fish-eye photograph, the image layer cuts, thresholds and counts it exactly as gapimage does,
// the counts become the grid that the gap-fraction file would hold, and every LAI method of the
// library runs on that grid. Everything is called directly: no program, no report text.
//
// Tolerances come from two sources, stated at each check: the sampling noise of one picture
// (a zenith ring sees a limited number of independent leaves, most of all the small ring round
// the zenith) and the known bias of each method on a canopy that meets its assumptions only in
// part. The measured values are printed, so a failing run shows how far off it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "canopysim/canopy.h"
#include "canopysim/render.h"
#include "gapdata/gapdata.h"
#include "lai/ellipsoid.h"
#include "lai/lang.h"
#include "lai/lang_xiang.h"
#include "lai/norman_campbell.h"
#include "lai/suits.h"
#include "options.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "structure/structure.h"

namespace {

// The analysis grid used throughout: 9 rings of 10 degrees, 24 sectors of 15 degrees.
constexpr int kRings = 9;
constexpr int kSectors = 24;
constexpr int kSize = 800;  // pixels; a picture renders in about half a second

struct Photo {
    std::string lens = "equidistant";
    std::string canopy_args;  // e.g. "--lai 2 --angles planophile"
    std::uint64_t seed = 1;
};

// What the simulation knows, and the grid the photograph gives.
struct Shot {
    double lai = 0;
    double mean_angle = 0;
    std::vector<double> p_ring;      // expected gap fraction of each ring (Poisson canopy)
    std::vector<double> p_rendered;  // what the picture shows
    gapdata::Counts counts;          // gapimage's counts: 9 rings by 24 sectors
    gapdata::Grid<double> grid;      // as the gap-fraction file gives them to the programs
    gapdata::Grid<float> grid_float;
    structure::Samples samples;      // what gapbatch samples for its ring methods
};

// gapbatch's settings for the simulated photographs: the grid above, 8 segments, rings to 80
// degrees (the classic methods likewise leave out the ring from 80 to 90 degrees).
structure::Settings analysis_settings(double tessor_weight = structure::Settings{}.tessor_weight) {
    structure::Settings set;
    set.nz = kRings;
    set.na = kSectors;
    set.max_zenith_deg = 80;
    set.tessor_weight = tessor_weight;
    return set;
}

// Renders PHOTO with canopysim's own options and analyses it as the gapimage dialogue would:
// the circle through the three rim points, threshold 128, 9 rings by 24 sectors, no
// declination.
// ANALYSIS_LENS: the lens as the analysis is told it; empty: the lens of the picture.
Shot take_photo(const Photo& p, const std::string& analysis_lens = "") {
    std::vector<std::string> args = {"--size", std::to_string(kSize), "--lens", p.lens};
    std::istringstream extra(p.canopy_args);
    for (std::string word; extra >> word;) args.push_back(word);
    for (const char* a : {"--seed", "", "--rings", "9", "photo.bmp"}) args.push_back(a);
    args[args.size() - 4] = std::to_string(p.seed);
    canopysim::Options opt;
    std::string error;
    EXPECT_TRUE(canopysim::parse_options(args, &opt, &error)) << error;

    const canopysim::Canopy canopy(opt.canopy);
    const canopysim::Picture pic = canopysim::render(canopy, opt.picture);
    Shot s;
    s.lai = canopy.realised_lai();
    s.mean_angle = canopysim::mean_leaf_angle_deg(opt.canopy.angles);
    for (const canopysim::RingTruth& t :
         canopysim::ring_truth(pic, opt.picture, opt.canopy.angles, s.lai, kRings)) {
        s.p_ring.push_back(t.p_mean);
        s.p_rendered.push_back(t.p_rendered);
    }

    skyimage::t_Bitmap bmp{};
    std::uint8_t* pixels = new std::uint8_t[pic.pixels.size()];
    std::copy(pic.pixels.begin(), pic.pixels.end(), pixels);
    skyimage::adopt_pixels(&bmp, pixels, pic.width, pic.height);
    const canopysim::RimPoints rim = canopysim::rim_points(opt.picture);
    const skyimage::Circle c =
        skyimage::circle_through(rim.x[0], rim.y[0], rim.x[1], rim.y[1], rim.x[2], rim.y[2]);
    EXPECT_TRUE(c.usable);
    EXPECT_TRUE(skyimage::crop(&bmp, c.x0, c.y0, int(c.w), int(c.h)));
    skyimage::threshold_pixels(&bmp, 128);
    skyimage::Lens lens = opt.picture.lens;
    if (!analysis_lens.empty()) {
        EXPECT_TRUE(skyimage::parse_lens(analysis_lens.c_str(), &lens));
    }
    skyimage::count_cells(bmp, lens, kRings, kSectors, 0, &s.counts);
    s.samples = structure::sample_photo(bmp, lens, 0, analysis_settings());
    skyimage::release(&bmp);
    gapdata::grid_from_counts(s.counts, gapdata::Precision::kAsFile, &s.grid);
    gapdata::grid_from_counts(s.counts, gapdata::Precision::kAsFile, &s.grid_float);
    return s;
}

// Pooled gap fraction of every ring (gaps over pixels of the ring).
std::vector<double> ring_gap_fractions(const gapdata::Counts& c) {
    std::vector<double> g(std::size_t(c.nz), 0.0);
    for (int iz = 0; iz < c.nz; ++iz) {
        double gaps = 0, pixels = 0;
        for (int ia = 0; ia < c.na; ++ia) {
            gaps += double(c.gap(iz, ia));
            pixels += double(c.pixel(iz, ia));
        }
        g[std::size_t(iz)] = pixels > 0 ? gaps / pixels : 0;
    }
    return g;
}

struct Estimate {
    double lai = std::nan("");
    double angle = std::nan("");  // mean leaf angle, degrees
    double extra = std::nan("");  // clumping index (tessor), Lin/Log of m = 1 (quinda)
};

// Annuli used by every method: 0 to 80 degrees; the ring from 80 to 90 degrees holds almost
// no gaps in a canopy of LAI 2 or more and is left out (horizon rings discarded = 1).
constexpr int kZr = 0, kHr = 1;

// Suits: the linear fit of -ln P against (2/pi) tan(theta), linear azimuthal averaging.
Estimate suits(const Shot& s) {
    const lai::suits::SuitsFit fit = lai::suits::fit_suits(s.grid, {kZr, kHr, 0});
    const double alpha = lai::suits::leaf_angle(fit.reg_lin);
    return {fit.reg_lin.b0 + fit.reg_lin.b1, alpha > 0 && alpha < 90 ? alpha : std::nan(""),
            std::nan("")};
}

// Lang and Xiang: first row (linear averaging over the annulus) and the Lin/Log of the last
// row (single sectors).
Estimate lang_xiang(const Shot& s) {
    const lai::lang_xiang::StepTable t = lai::lang_xiang::compute_table(s.grid, kZr, kHr);
    const lai::lang_xiang::Step& first = t.result.front();
    const lai::lang_xiang::Step& last = t.result.back();
    return {first.lai, first.alpha_deg > 0 ? first.alpha_deg : std::nan(""),
            last.m == 1 ? first.lai / last.lai : std::nan("")};
}

// Campbell's ellipsoidal fit, first row (linear averaging).
Estimate ellipsoid(const Shot& s) {
    const lai::ellipsoid::StepResult first =
        lai::ellipsoid::averaging_steps(s.grid, kZr, kHr).front();
    return {first.lai, first.alpha, std::nan("")};
}

// Norman and Campbell: 6 leaf-angle classes of 15 degrees, smoothness weight 0.5; the mean
// leaf angle is the area-weighted mean of the class mid-angles.
Estimate norman_campbell(const Shot& s) {
    namespace nc = lai::norman_campbell;
    const nc::ContactNumbers cn =
        nc::contact_numbers(s.grid_float, gapdata::Terrain<float>{}, kZr, kHr);
    nc::NormalEquations ne;
    nc::build_normal_equations(cn, 6, &ne);
    nc::Solution sol;
    EXPECT_LT(nc::solve_constrained(ne, 0.5f, &sol), 0);
    Estimate e{sol.lai, 0, nc::clumping_index(cn)};
    double sum = 0;
    for (int c = 0; c < sol.classes; ++c) {
        const nc::ClassRow row = nc::class_row(sol, c);
        e.angle += double(row.fraction) * row.mid_deg;
        sum += row.fraction;
    }
    if (std::fabs(sum - 1) > 0.01) e.angle = std::nan("");
    return e;
}

// Lang (1987): the straight line through the per-cell points K = -cos(theta) ln g against
// theta (radians); LAI = 2 (a + b). The log-mean ratio R is the clumping measure.
Estimate lang(const Shot& s) {
    lai::lang::Params par;
    par.zr = kZr;
    par.hr = kHr;
    par.l_max = 8;
    const lai::lang::Points points =
        lai::lang::lang_points(s.grid_float, par, gapdata::Terrain<float>{});
    return {lai::lang::fit_line(points).lai, std::nan(""), points.ratio};
}

// One method's estimates on one picture, with the truth beside them, for the test log.
void log_row(const char* method, const std::string& photo, const Shot& t, const Estimate& e) {
    std::printf("%-8s %-28s true LAI %.3f  est %.3f  error %+.3f   true angle %.1f  est %.1f"
                "   clumping %.3f\n",
                method, photo.c_str(), t.lai, e.lai, e.lai - t.lai, t.mean_angle, e.angle, e.extra);
}

// Every method, named by the program that reports it.
std::map<std::string, Estimate> run_methods(const Shot& s) {
    return {{"tessor", norman_campbell(s)},
            {"bravik", suits(s)},
            {"quinda", lang_xiang(s)},
            {"zephor", ellipsoid(s)},
            {"keldro", lang(s)}};
}

// ---------------------------------------------------------------------------------------------
// gapimage against the picture's own truth.

TEST(Validation, GapFractionPerRingMatchesThePictureAndThePoissonLaw) {
    for (const char* lens : {"equidistant", "orthographic"}) {
        for (int lai = 1; lai <= 3; ++lai) {
            const Shot t = take_photo({lens, "--lai " + std::to_string(lai), 1});
            const std::vector<double> g = ring_gap_fractions(t.counts);
            ASSERT_EQ(g.size(), std::size_t(kRings));
            ASSERT_EQ(t.p_ring.size(), std::size_t(kRings));
            for (int i = 0; i < kRings; ++i) {
                // gapimage counts the very pixels canopysim rendered.
                EXPECT_NEAR(g[i], t.p_rendered[i], 1e-12) << lens << " L " << lai << " ring " << i;
                // Sampling noise of one canopy: the zenith ring (0-10 degrees) sees few
                // independent leaves. Over 20 seeds (L = 1 to 3) the rings scatter about the
                // Poisson law with sd up to 0.017, 0.010, 0.0074 and, beyond 30 degrees, 0.005.
                // About three and a half sd:
                const double tol = i == 0 ? 0.06 : i == 1 ? 0.035 : i == 2 ? 0.025 : 0.015;
                EXPECT_NEAR(g[i], t.p_ring[i], tol) << lens << " L " << lai << " ring " << i;
            }
        }
    }
}

// Photographs through calibrated lenses given in the published form (r/R a cubic of the zenith
// angle), analysed with the lens by its name or by its coefficients: every pixel lands in the
// ring of its zenith angle, so the rings show the pictures' own gap fractions and follow the
// Poisson law within the scatter allowed above.
TEST(Validation, PolynomialLensesGiveTheTruthPerRing) {
    const struct {
        const char* render;
        const char* analyse;
    } cases[] = {{"fc-e8", "poly-r:1.06,0.00498,-0.0639"},
                 {"poly-r:1.06,0.00498,-0.0639", "fc-e8"},
                 {"poly-r-rad:0.6427,0.0346,-0.024491", "fc-e9"}};
    for (const auto& c : cases) {
        for (int lai : {1, 3}) {
            const Shot t = take_photo({c.render, "--lai " + std::to_string(lai), 1}, c.analyse);
            const std::vector<double> g = ring_gap_fractions(t.counts);
            for (int i = 0; i < kRings; ++i) {
                EXPECT_NEAR(g[i], t.p_rendered[i], 1e-12)
                    << c.render << " L " << lai << " ring " << i;
                const double tol = i == 0 ? 0.06 : i == 1 ? 0.035 : i == 2 ? 0.025 : 0.015;
                EXPECT_NEAR(g[i], t.p_ring[i], tol) << c.render << " L " << lai << " ring " << i;
            }
        }
    }
    // Told the wrong lens (equidistant), the analysis puts the FC-E8's pixels in other rings: the
    // rings' pixel counts differ from the truth's.
    const Shot right = take_photo({"fc-e8", "--lai 2", 1});
    const Shot wrong = take_photo({"fc-e8", "--lai 2", 1}, "equidistant");
    std::int64_t moved = 0;
    for (int iz = 0; iz < kRings; ++iz)
        for (int ia = 0; ia < kSectors; ++ia)
            moved += std::llabs(right.counts.pixel(iz, ia) - wrong.counts.pixel(iz, ia));
    EXPECT_GT(moved, 1000);
}

// ---------------------------------------------------------------------------------------------
// Leaf area index of random canopies with spherical leaves.

// How far each method may miss the true LAI of a random canopy with spherical leaves, on one
// 800-pixel picture with rings 0-80 degrees, as a fraction of the true LAI. Each allowance is
// the largest bias measured for the method (L = 1, 2, 3, both lenses, 20 seeds) plus three
// standard deviations of its scatter from seed to seed, rounded up to the next half percent:
// bravik 3.8 + 1.2, tessor 3.5 + 1.2, quinda 2.7 + 0.9, keldro 2.3 + 1.2, zephor 1.7 + 1.2.
//
// All methods fall short as L grows, more so through the orthographic lens: a ring's gap
// fraction is the mean over its width, and the mean of exp(-G L / cos) over a ring exceeds its
// value at the ring centre, where every method places the ring; the orthographic lens weights
// the inner edge of the outer rings more. Suits' straight line in tan(theta) misfits
// 1/cos(theta) besides, and the Norman-Campbell inversion spreads leaf area over a few classes.
double lai_tolerance(const std::string& method) {
    static const std::map<std::string, double> tol = {
        {"bravik", 0.05}, {"tessor", 0.05}, {"quinda", 0.04}, {"keldro", 0.04}, {"zephor", 0.03}};
    return tol.at(method);
}

TEST(Validation, EveryMethodRecoversTheLaiOfARandomCanopy) {
    for (const char* lens : {"equidistant", "orthographic"}) {
        for (int lai = 1; lai <= 3; ++lai) {
            const std::string name = std::string(lens) + " L=" + std::to_string(lai);
            const Shot t = take_photo({lens, "--lai " + std::to_string(lai), 1});
            for (const auto& [method, e] : run_methods(t)) {
                log_row(method.c_str(), name, t, e);
                EXPECT_NEAR(e.lai, t.lai, lai_tolerance(method) * t.lai) << method << " " << name;
            }
        }
    }
}

// The measurement behind the allowances and the README table (run with
// --gtest_also_run_disabled_tests; about half a minute per ten seeds): mean and standard deviation
// over seeds of each method's relative LAI error and angle estimate.
TEST(Validation, DISABLED_MeasureOverSeeds) {
    const char* env = std::getenv("CANOPYSIM_SEEDS");
    const int seeds = env ? std::atoi(env) : 10;
    const char* presets[] = {"--lai 1", "--lai 2", "--lai 3", "--lai 2 --angles planophile",
                             "--lai 2 --angles erectophile", "--lai 2 --clumped"};
    for (const char* lens : {"equidistant", "orthographic"}) {
        for (const char* preset : presets) {
            std::map<std::string, std::vector<double>> err, ang, clu;
            double true_angle = 0;
            for (int seed = 1; seed <= seeds; ++seed) {
                const Shot t = take_photo({lens, preset, std::uint64_t(seed)});
                true_angle = t.mean_angle;
                for (const auto& [method, e] : run_methods(t)) {
                    err[method].push_back((e.lai - t.lai) / t.lai);
                    ang[method].push_back(e.angle);
                    clu[method].push_back(e.extra);
                }
            }
            for (const auto& [method, v] : err) {
                auto stats = [](const std::vector<double>& x, double* m, double* sd) {
                    double a = 0, q = 0;
                    for (double y : x) a += y;
                    *m = a / double(x.size());
                    for (double y : x) q += (y - *m) * (y - *m);
                    *sd = std::sqrt(q / double(x.size() - 1));
                };
                double em, esd, am, asd, cm, csd;
                stats(v, &em, &esd);
                stats(ang[method], &am, &asd);
                stats(clu[method], &cm, &csd);
                std::printf("%-12s %-30s %-7s LAI error %+6.1f%% sd %4.1f%%  angle %5.1f sd %4.1f "
                            "(true %4.1f)  clumping %.3f sd %.3f\n",
                            lens, preset, method.c_str(), 100 * em, 100 * esd, am, asd, true_angle,
                            cm, csd);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Leaf angles.

TEST(Validation, FittedMeanLeafAnglesOrderFromFlatToUpright) {
    std::map<std::string, std::vector<double>> angles;  // per method: planophile, spherical,
                                                        // erectophile
    for (const char* preset : {"planophile", "spherical", "erectophile"}) {
        const Shot t = take_photo({"equidistant", std::string("--lai 2 --angles ") + preset, 1});
        for (const auto& [method, e] : run_methods(t)) {
            log_row(method.c_str(), preset, t, e);
            if (method != "keldro") angles[method].push_back(e.angle);
        }
    }
    for (const auto& [method, a] : angles) {
        ASSERT_EQ(a.size(), 3u);
        EXPECT_LT(a[0], a[1]) << method << ": planophile below spherical";
        EXPECT_LT(a[1], a[2]) << method << ": spherical below erectophile";
        // Spherical leaves: 57.3 degrees. Measured 55.4 to 56.4 (sd 0.4 to 0.6 over seeds):
        // the ring-width bias above lowers the contact numbers of the outer rings most.
        EXPECT_NEAR(a[1], 57.3, 4.0) << method;
    }
}

// ---------------------------------------------------------------------------------------------
// Clumping.

TEST(Validation, CrownsShowAsClumping) {
    const Shot t = take_photo({"equidistant", "--lai 2 --clumped", 1});
    const Shot tr = take_photo({"equidistant", "--lai 2", 1});
    const std::map<std::string, Estimate> clumped = run_methods(t), random = run_methods(tr);
    for (const auto& [method, e] : clumped) {
        log_row(method.c_str(), "clumped", t, e);
        // Every method assumes leaves at random and so measures an effective LAI: about half the
        // true one here (measured -49 % to -54 %, sd at most 2.5 % over seeds).
        EXPECT_LT(e.lai, 0.7 * t.lai) << method;
    }
    for (const auto& [method, e] : random) log_row(method.c_str(), "random", tr, e);
    // Logarithmic averaging over single sectors raises the LAI of a clumped canopy above the
    // linear average, so Lin/Log falls below 1: measured 0.925 (sd 0.012) against 0.997 to
    // 0.999 for random leaves. (Lin/Log = LAI(linear) / LAI(logarithmic) cannot exceed 1 on
    // any canopy by much, by Jensen's inequality.)
    EXPECT_LT(clumped.at("quinda").extra, 0.97);
    EXPECT_GT(random.at("quinda").extra, 0.99);
    // The Norman-Campbell clumping index compares the mean contact number of the annuli with
    // the logarithm of their mean 1/gap; it is below 1 for the crowns (measured 0.88, sd 0.03)
    // but, mixing zenith angles, also for random leaves (0.76 at L = 2), so it does not tell
    // the two apart.
    EXPECT_LT(clumped.at("tessor").extra, 1.0);
}

// ---------------------------------------------------------------------------------------------
// gapbatch's columns: effective LAI, clumping and the clumping-corrected LAI.

structure::Result columns(const Shot& s, double tessor_weight = analysis_settings().tessor_weight) {
    return structure::analyse(s.counts, s.samples, analysis_settings(tessor_weight));
}

// Random leaves are not clumped: every index stays near 1. Measured over 20 seeds (L = 1 to 3,
// both lenses, three leaf-angle presets) the indices lie within 0.012 (Lang-Xiang), 0.015
// (Chen-Cihlar) and 0.02 (combined) of 1; the bound is 0.03.
TEST(Validation, RandomCanopiesShowNoClumping) {
    const Photo photos[] = {{"equidistant", "--lai 1", 1},
                            {"equidistant", "--lai 3", 2},
                            {"orthographic", "--lai 2", 3},
                            {"equidistant", "--lai 2 --angles planophile", 4},
                            {"orthographic", "--lai 2 --angles erectophile", 5}};
    for (const Photo& p : photos) {
        const structure::Result r = columns(take_photo(p));
        const std::string name = p.lens + " " + p.canopy_args;
        std::printf("%-40s omega_lx %.4f  omega_cc %.4f  omega_clx %.4f\n", name.c_str(),
                    r.lx.omega, r.cc.omega, r.clx.omega);
        EXPECT_NEAR(r.lx.omega, 1, 0.03) << name;
        EXPECT_NEAR(r.cc.omega, 1, 0.03) << name;
        EXPECT_NEAR(r.clx.omega, 1, 0.03) << name;
    }
}

// Crowns leave more gaps than random leaves of the same LAI: every clumping-corrected LAI is
// closer to the truth than Miller's effective LAI (measured gains in the README's table).
TEST(Validation, ClumpingCorrectionMovesCrownsTowardsTheTruth) {
    for (const char* lens : {"equidistant", "orthographic"}) {
        const Shot t = take_photo({lens, "--lai 2 --clumped", 1});
        const structure::Result r = columns(t);
        const double le_error = std::fabs(r.miller.lai - t.lai);
        std::printf("%-13s crowns: truth %.3f  Le %.3f  L_lx %.3f  L_cc %.3f  L_clx %.3f\n", lens,
                    t.lai, r.miller.lai, r.lx.lai, r.cc.lai, r.clx.lai);
        for (const lai::Clumping* c : {&r.lx, &r.cc, &r.clx}) {
            EXPECT_LT(c->omega, 1) << lens;
            EXPECT_LT(std::fabs(c->lai - t.lai), le_error) << lens;
        }
    }
}

// The measurement behind the README's table of gapbatch's columns (run with
// --gtest_also_run_disabled_tests; CANOPYSIM_SEEDS seeds, 10 by default): mean and standard
// deviation over seeds of every LAI column's relative error and of the leaf-angle columns, for
// random and clumped canopies of three leaf-angle presets through both lenses.
TEST(Validation, DISABLED_MeasureColumns) {
    const char* env = std::getenv("CANOPYSIM_SEEDS");
    const int seeds = env ? std::atoi(env) : 10;
    const char* presets[] = {"--lai 2", "--lai 2 --angles planophile", "--lai 2 --angles erectophile",
                             "--lai 2 --clumped", "--lai 3 --clumped --angles planophile"};
    for (const char* lens : {"equidistant", "orthographic"}) {
        for (const char* preset : presets) {
            std::map<std::string, std::vector<double>> v;
            double true_angle = 0;
            for (int seed = 1; seed <= seeds; ++seed) {
                const Shot t = take_photo({lens, preset, std::uint64_t(seed)});
                true_angle = t.mean_angle;
                const structure::Result r = columns(t);
                auto rel = [&](const char* name, double lai) { v[name].push_back((lai - t.lai) / t.lai); };
                rel("le_miller", r.miller.lai);
                rel("le_5ring", r.five_ring.lai);
                rel("le_57", r.hinge.lai);
                rel("l_lx", r.lx.lai);
                rel("l_cc", r.cc.lai);
                rel("l_clx", r.clx.lai);
                rel("tessor_lai", r.tessor_lai);
                rel("bravik_lai", r.bravik_lai);
                rel("quinda_lai_lin", r.quinda_lai_lin);
                rel("quinda_lai_log", r.quinda_lai_log);
                rel("zephor_lai", r.zephor_lai);
                rel("keldro_lai", r.keldro_lai);
                v["omega_lx"].push_back(r.lx.omega);
                v["omega_cc"].push_back(r.cc.omega);
                v["omega_clx"].push_back(r.clx.omega);
                v["tessor_ala"].push_back(r.tessor_ala - t.mean_angle);
                v["bravik_ala"].push_back(r.bravik_ala - t.mean_angle);
                v["quinda_ala"].push_back(r.quinda_ala - t.mean_angle);
                v["zephor_ala"].push_back(r.zephor_ala - t.mean_angle);
            }
            for (const auto& [name, x] : v) {
                double m = 0, q = 0;
                for (double y : x) m += y;
                m /= double(x.size());
                for (double y : x) q += (y - m) * (y - m);
                const double sd = std::sqrt(q / double(x.size() - 1));
                const bool relative = name.find("lai") != std::string::npos || name[0] == 'l';
                std::printf("%-12s %-38s %-15s %s %+8.3f sd %6.3f%s\n", lens, preset, name.c_str(),
                            relative ? "error" : (name[0] == 'o' ? "value" : "error"),
                            relative ? 100 * m : m, relative ? 100 * sd : sd,
                            relative ? " %" : (name[0] == 'o' ? "" : " deg"));
            }
            std::printf("%-12s %-38s true mean leaf angle %.1f deg\n", lens, preset, true_angle);
        }
    }
}

// The measurement behind the inversion's default constraint weight: mean absolute relative LAI
// error and mean absolute leaf-angle error of the Norman-Campbell inversion for a range of
// weights, over random canopies of three leaf-angle presets, L = 1 to 3, both lenses.
TEST(Validation, DISABLED_MeasureTessorWeight) {
    const char* env = std::getenv("CANOPYSIM_SEEDS");
    const int seeds = env ? std::atoi(env) : 3;
    const double weights[] = {0, 0.05, 0.1, 0.2, 0.35, 0.5, 0.75, 1, 2, 5};
    std::map<double, std::vector<double>> lai_error, angle_error;
    for (const char* lens : {"equidistant", "orthographic"})
        for (const char* angles : {"spherical", "planophile", "erectophile"})
            for (int lai = 1; lai <= 3; ++lai)
                for (int seed = 1; seed <= seeds; ++seed) {
                    const std::string args = "--lai " + std::to_string(lai) + " --angles " + angles;
                    const Shot t = take_photo({lens, args, std::uint64_t(seed)});
                    for (double w : weights) {
                        const structure::Result r = columns(t, w);
                        lai_error[w].push_back(std::fabs(r.tessor_lai - t.lai) / t.lai);
                        angle_error[w].push_back(std::fabs(r.tessor_ala - t.mean_angle));
                    }
                }
    for (double w : weights) {
        double l = 0, a = 0;
        for (double e : lai_error[w]) l += e;
        for (double e : angle_error[w]) a += e;
        std::printf("weight %5.2f  mean |LAI error| %5.2f %%  mean |angle error| %5.2f deg\n", w,
                    100 * l / double(lai_error[w].size()), a / double(angle_error[w].size()));
    }
}

}  // namespace
