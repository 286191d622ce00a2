// Validation of the whole chain against canopies of known structure: canopysim renders a
// fish-eye photograph, gapimage turns it into a gap-fraction file, and every LAI program runs on
// that file. The programs are run as built, through their command lines and dialogues; a method
// that is not part of the build is left out.
//
// Tolerances come from two sources, stated at each check: the sampling noise of one picture
// (a zenith ring sees a limited number of independent leaves, most of all the small ring round
// the zenith) and the known bias of each method on a canopy that meets its assumptions only in
// part. The measured values are printed, so a failing run shows how far off it was.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Running the programs.

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spill(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// A fresh folder per test, removed at the end unless the test failed.
class Scratch {
   public:
    explicit Scratch(const std::string& name) {
        dir_ = ::testing::TempDir() + "canopysim_validation_" + name + "_" +
               std::to_string(::getpid());
        std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str());
    }
    ~Scratch() {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs PROGRAM ARGS in the folder with STDIN; returns the exit status.
    int run(const std::string& program, const std::string& args, const std::string& input = "") {
        spill(path("stdin.txt"), input);
        const std::string cmd = "cd '" + dir_ + "' && '" + program + "' " + args +
                                " < stdin.txt > stdout.txt 2> stderr.txt";
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

   private:
    std::string dir_;
};

// What canopysim tells about its picture.
struct Truth {
    double lai = 0;
    double mean_angle = 0;
    int rim[6] = {};
    std::vector<double> p_ring;      // expected gap fraction of each ring (Poisson canopy)
    std::vector<double> p_rendered;  // what the picture shows
};

Truth read_truth(const std::string& path) {
    Truth t;
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line)) {
        std::sscanf(line.c_str(), "LAI %lf", &t.lai);
        std::sscanf(line.c_str(), "rim points %d %d %d %d %d %d", &t.rim[0], &t.rim[1], &t.rim[2],
                    &t.rim[3], &t.rim[4], &t.rim[5]);
        const std::size_t at = line.find("mean leaf angle ");
        if (at != std::string::npos) t.mean_angle = std::atof(line.c_str() + at + 16);
        int ring;
        double from, to, g, p_centre, p_ring, p_rendered;
        if (std::sscanf(line.c_str(), "%d %lf - %lf %lf %lf %lf %lf", &ring, &from, &to, &g,
                        &p_centre, &p_ring, &p_rendered) == 7) {
            t.p_ring.push_back(p_ring);
            t.p_rendered.push_back(p_rendered);
        }
    }
    return t;
}

// The analysis grid used throughout: 9 rings of 10 degrees, 24 sectors of 15 degrees.
constexpr int kRings = 9;
constexpr int kSectors = 24;
constexpr int kSize = 800;  // pixels; a picture renders in about half a second

struct Photo {
    std::string lens = "equidistant";
    std::string canopy_args;  // e.g. "--lai 2 --angles planophile"
    std::uint64_t seed = 1;
};

// Renders PHOTO as photo.bmp and runs gapimage on it, leaving gapfract.txt in the folder.
Truth take_photo(Scratch* s, const Photo& p) {
    const std::string args = "--size " + std::to_string(kSize) + " --lens " + p.lens + " " +
                             p.canopy_args + " --seed " + std::to_string(p.seed) +
                             " --rings 9 --truth truth.txt photo.bmp";
    EXPECT_EQ(s->run(CANOPYSIM, args), 0) << slurp(s->path("stderr.txt"));
    const Truth t = read_truth(s->path("truth.txt"));
    // The dialogue: file, lens, three rim points, grey-toned with threshold 128, no gap sizes,
    // 9 rings by 24 sectors, no magnetic declination.
    char dialogue[256];
    std::snprintf(dialogue, sizeof dialogue, "photo.bmp\n%d\n%d %d\n%d %d\n%d %d\ng\n128\nn\n%d %d\n0\n",
                  p.lens == "equidistant" ? 1 : 2, t.rim[0], t.rim[1], t.rim[2], t.rim[3],
                  t.rim[4], t.rim[5], kRings, kSectors);
    EXPECT_EQ(s->run(GAPIMAGE, "", dialogue), 0) << slurp(s->path("stdout.txt"));
    return t;
}

// Pooled gap fraction of every ring of a gap-fraction file (gaps over pixels of the ring).
std::vector<double> ring_gap_fractions(const std::string& path) {
    std::istringstream in(slurp(path));
    int nz = 0, na = 0;
    in >> nz >> na;
    std::vector<double> gaps(std::size_t(std::max(nz, 0)), 0.0), pixels(gaps.size(), 0.0);
    for (int k = 0; k < nz * na; ++k) {
        double zen, az, g, n;
        in >> zen >> az >> g >> n;
        gaps[std::size_t(k / na)] += g * n;
        pixels[std::size_t(k / na)] += n;
    }
    for (std::size_t i = 0; i < gaps.size(); ++i) gaps[i] = pixels[i] > 0 ? gaps[i] / pixels[i] : 0;
    return gaps;
}

// The whitespace-separated words of the first line of TEXT after the line holding MARK, skipping
// rule lines of dashes.
std::vector<std::string> row_after(const std::string& text, const std::string& mark, int skip) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line) && line.find(mark) == std::string::npos) {
    }
    std::vector<std::string> words;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '-') continue;
        if (skip-- > 0) continue;
        std::istringstream ws(line);
        std::string w;
        while (ws >> w) words.push_back(w);
        break;
    }
    return words;
}

// Number after the first occurrence of KEY in TEXT, or NaN.
double value_after(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key);
    return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + at + key.size());
}

struct Estimate {
    double lai = std::nan("");
    double angle = std::nan("");  // mean leaf angle, degrees
    double extra = std::nan("");  // clumping index (tessor), Lin/Log of m = 1 (quinda)
};

// Annuli used by every method: 0 to 80 degrees; the ring from 80 to 90 degrees holds almost
// no gaps in a canopy of LAI 2 or more and is left out (horizon rings discarded = 1).
constexpr const char* kDiscards = "0\n1\n";

#ifdef BRAVIK
// Suits: the linear fit of -ln P against (2/pi) tan(theta), linear azimuthal averaging.
Estimate run_bravik(Scratch* s) {
    spill(s->path("bravik.par"), std::string(kDiscards) + "0\n");
    EXPECT_EQ(s->run(BRAVIK, "bravik.par gapfract.txt bravik.txt"), 0);
    const std::string r = slurp(s->path("bravik.txt"));
    return {value_after(r, "Total      LAI="), value_after(r, "ALPHA="), std::nan("")};
}
#endif

#ifdef QUINDA
// The LAI of a quinda row, counted from the end of the row. A noise-to-signal ratio of 1000 or
// more fills its column and runs into the LAI ("1288.0251.0055"): the ratio has three decimals.
double quinda_lai(const std::vector<std::string>& row) {
    const std::string& w = row[row.size() - 8];
    const std::size_t dot = w.find('.');
    if (dot != std::string::npos && w.find('.', dot + 1) != std::string::npos)
        return std::atof(w.c_str() + dot + 4);
    return std::atof(w.c_str());
}

// Lang and Xiang: first row (linear averaging over the annulus) and the Lin/Log of the last
// row (single sectors).
Estimate run_quinda(Scratch* s) {
    spill(s->path("quinda.par"), kDiscards);
    EXPECT_EQ(s->run(QUINDA, "quinda.par gapfract.txt quinda.txt"), 0);
    const std::string r = slurp(s->path("quinda.txt"));
    const std::vector<std::string> first = row_after(r, "STP  AZM", 0);
    const std::vector<std::string> last = row_after(r, "STP  AZM", 7);  // 24 has 8 divisors
    Estimate e;
    if (first.size() >= 9) {
        const std::size_t n = first.size();
        e.lai = quinda_lai(first);
        e.angle = first[n - 4] == "-" ? std::nan("") : std::atof(first[n - 4].c_str());
    }
    if (last.size() >= 9 && last[0] == "1") e.extra = std::atof(last[last.size() - 2].c_str());
    return e;
}
#endif

#ifdef ZEPHOR
// Campbell's ellipsoidal fit, first row (linear averaging).
Estimate run_zephor(Scratch* s) {
    spill(s->path("zephor.par"), kDiscards);
    EXPECT_EQ(s->run(ZEPHOR, "zephor.par gapfract.txt zephor.txt"), 0);
    const std::vector<std::string> first = row_after(slurp(s->path("zephor.txt")), "STP  AZM", 0);
    Estimate e;
    if (first.size() >= 11) {  // counted from the end, as for quinda
        e.lai = std::atof(first[first.size() - 10].c_str());
        e.angle = std::atof(first[first.size() - 7].c_str());
    }
    return e;
}
#endif

#ifdef TESSOR
// Norman and Campbell: 6 leaf-angle classes of 15 degrees, smoothness weight 0.5; the mean
// leaf angle is the area-weighted mean of the class mid-angles.
Estimate run_tessor(Scratch* s) {
    spill(s->path("tessor.par"), std::string("0\n0\n0\n") + kDiscards);
    EXPECT_EQ(s->run(TESSOR, "tessor.par gapfract.txt tessor.txt", "6\n0.5\n-1\n"), 0);
    const std::string r = slurp(s->path("tessor.txt"));
    Estimate e{value_after(r, "LAIe   ="), 0, value_after(r, "CIlx   =")};
    std::istringstream in(r.substr(r.find("Distr. Funct.")));
    std::string line;
    std::getline(in, line);
    std::getline(in, line);  // rule
    double mid, area, frac, ladf, sum = 0;
    while (std::getline(in, line) &&
           std::sscanf(line.c_str(), "%lf %lf %lf %lf", &mid, &area, &frac, &ladf) == 4) {
        e.angle += frac * mid;
        sum += frac;
    }
    if (std::fabs(sum - 1) > 0.01) e.angle = std::nan("");
    return e;
}
#endif

#ifdef KELDRO
// Lang (1987): the straight line through keldro's per-cell points K = -cos(theta) ln g against
// theta (radians); LAI = 2 (a + b). The log-mean ratio R is the clumping measure.
Estimate run_keldro(Scratch* s) {
    spill(s->path("keldro.par"), std::string("0\n0\n0\n") + kDiscards + "8\n");
    EXPECT_EQ(s->run(KELDRO, "keldro.par gapfract.txt keldro.txt"), 0);
    std::istringstream in(slurp(s->path("keldro.txt")));
    std::string line;
    std::getline(in, line);  // title
    std::getline(in, line);  // banner
    double from, to, ratio, total, openness, site;
    std::getline(in, line);
    std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf", &from, &to, &ratio, &total, &openness,
                &site);
    int n = 0;
    in >> n;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int k = 0; k < n; ++k) {
        double x, y;
        in >> x >> y;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double b = (sxy - sx * sy / n) / (sxx - sx * sx / n);
    const double a = sy / n - b * sx / n;
    return {2 * (a + b), std::nan(""), ratio};
}
#endif

// One method's estimates on one picture, with the truth beside them, for the test log.
void log_row(const char* method, const std::string& photo, const Truth& t, const Estimate& e) {
    std::printf("%-8s %-28s true LAI %.3f  est %.3f  error %+.3f   true angle %.1f  est %.1f"
                "   clumping %.3f\n",
                method, photo.c_str(), t.lai, e.lai, e.lai - t.lai, t.mean_angle, e.angle, e.extra);
}

// Every method built, on the picture in the scratch folder.
std::map<std::string, Estimate> run_methods(Scratch* s) {
    std::map<std::string, Estimate> out;
#ifdef TESSOR
    out["tessor"] = run_tessor(s);
#endif
#ifdef BRAVIK
    out["bravik"] = run_bravik(s);
#endif
#ifdef QUINDA
    out["quinda"] = run_quinda(s);
#endif
#ifdef ZEPHOR
    out["zephor"] = run_zephor(s);
#endif
#ifdef KELDRO
    out["keldro"] = run_keldro(s);
#endif
    (void)s;
    return out;
}

// ---------------------------------------------------------------------------------------------
// gapimage against the picture's own truth.

TEST(Validation, GapFractionPerRingMatchesThePictureAndThePoissonLaw) {
    for (const char* lens : {"equidistant", "orthographic"}) {
        for (int lai = 1; lai <= 3; ++lai) {
            Scratch s(std::string("rings_") + lens + std::to_string(lai));
            const Truth t = take_photo(&s, {lens, "--lai " + std::to_string(lai), 1});
            const std::vector<double> g = ring_gap_fractions(s.path("gapfract.txt"));
            ASSERT_EQ(g.size(), std::size_t(kRings));
            ASSERT_EQ(t.p_ring.size(), std::size_t(kRings));
            for (int i = 0; i < kRings; ++i) {
                // gapimage counts the very pixels canopysim rendered: equal up to the printed
                // digits (six decimals per cell, four in the truth table).
                EXPECT_NEAR(g[i], t.p_rendered[i], 6e-5) << lens << " L " << lai << " ring " << i;
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
            Scratch s(std::string("lai_") + lens + std::to_string(lai));
            const std::string name = std::string(lens) + " L=" + std::to_string(lai);
            const Truth t = take_photo(&s, {lens, "--lai " + std::to_string(lai), 1});
            for (const auto& [method, e] : run_methods(&s)) {
                log_row(method.c_str(), name, t, e);
                EXPECT_NEAR(e.lai, t.lai, lai_tolerance(method) * t.lai) << method << " " << name;
            }
        }
    }
}

// The measurement behind the allowances and the README table (run with
// --gtest_also_run_disabled_tests; about a minute per ten seeds): mean and standard deviation
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
                Scratch s("measure");
                const Truth t = take_photo(&s, {lens, preset, std::uint64_t(seed)});
                true_angle = t.mean_angle;
                for (const auto& [method, e] : run_methods(&s)) {
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
        Scratch s(std::string("angles_") + preset);
        const Truth t = take_photo(&s, {"equidistant", std::string("--lai 2 --angles ") + preset, 1});
        for (const auto& [method, e] : run_methods(&s)) {
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
    Scratch s("clumped");
    const Truth t = take_photo(&s, {"equidistant", "--lai 2 --clumped", 1});
    Scratch r("random");
    const Truth tr = take_photo(&r, {"equidistant", "--lai 2", 1});
    const std::map<std::string, Estimate> clumped = run_methods(&s), random = run_methods(&r);
    for (const auto& [method, e] : clumped) {
        log_row(method.c_str(), "clumped", t, e);
        // Every method assumes leaves at random and so measures an effective LAI: about half the
        // true one here (measured -49 % to -54 %, sd at most 2.5 % over seeds).
        EXPECT_LT(e.lai, 0.7 * t.lai) << method;
    }
    for (const auto& [method, e] : random) log_row(method.c_str(), "random", tr, e);
#ifdef QUINDA
    // Logarithmic averaging over single sectors raises the LAI of a clumped canopy above the
    // linear average, so Lin/Log falls below 1: measured 0.925 (sd 0.012) against 0.997 to
    // 0.999 for random leaves. (Lin/Log = LAI(linear) / LAI(logarithmic) cannot exceed 1 on
    // any canopy by much, by Jensen's inequality.)
    EXPECT_LT(clumped.at("quinda").extra, 0.97);
    EXPECT_GT(random.at("quinda").extra, 0.99);
#endif
#ifdef TESSOR
    // The Norman-Campbell clumping index compares the mean contact number of the annuli with
    // the logarithm of their mean 1/gap; it is below 1 for the crowns (measured 0.88, sd 0.03)
    // but, mixing zenith angles, also for random leaves (0.76 at L = 2), so it does not tell
    // the two apart.
    EXPECT_LT(clumped.at("tessor").extra, 1.0);
#endif
}

}  // namespace
