// canopysim: the command line, and the truth report.
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "skyimage/lens.h"

namespace canopysim {

namespace {

bool parse_double(const std::string& text, double lo, double hi, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parse_int(const std::string& text, long lo, long hi, long* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parse_seed(const std::string& text, std::uint64_t* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *out = v;
    return true;
}

// "W,H,X,Y": four whole numbers from 0 to 20000, W and H at least 16.
bool parse_frame(const std::string& text, FrameParams* frame) {
    std::vector<std::string> parts(1);
    for (char ch : text) {
        if (ch == ',') {
            parts.emplace_back();
        } else {
            parts.back() += ch;
        }
    }
    long v[4];
    if (parts.size() != 4) return false;
    for (int k = 0; k < 4; ++k)
        if (!parse_int(parts[std::size_t(k)], k < 2 ? 16 : 0, 20000, &v[k])) return false;
    *frame = FrameParams{int(v[0]), int(v[1]), int(v[2]), int(v[3])};
    return true;
}

// The options that take a value.
bool takes_value(const std::string& option) {
    constexpr const char* kValued[] = {
        "--size",          "--radius",      "--lens",   "--lai",   "--angles", "--x",
        "--leaf-angle",    "--leaf-radius", "--bottom", "--top",   "--period", "--crown-radius",
        "--crown-density", "--rings",       "--seed",   "--truth", "--frame"};
    for (const char* name : kValued)
        if (option == name) return true;
    return false;
}

}  // namespace

bool parse_options(const std::vector<std::string>& args, Options* opt, std::string* error) {
    bool radius_given = false;
    long radius = 0;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--help" || a == "-h") {
            opt->help = true;
            return true;
        }
        if (a == "--binary") {
            opt->picture.binary = true;
            continue;
        }
        if (a == "--clumped") {
            opt->canopy.clumped = true;
            continue;
        }
        if (a.size() < 2 || a[0] != '-' || a == "-") {  // the output file
            if (!opt->output.empty()) {
                *error = "more than one output file: '" + opt->output + "' and '" + a + "'";
                return false;
            }
            opt->output = a;
            continue;
        }
        if (!takes_value(a)) {
            *error = "unknown option '" + a + "' (try --help)";
            return false;
        }
        if (k + 1 >= args.size()) {
            *error = a + " needs a value";
            return false;
        }
        const std::string& v = args[++k];
        bool ok = true;
        const char* want = "";
        long n = 0;
        if (a == "--size") {
            want = "a whole number of pixels from 16 to 20000";
            ok = parse_int(v, 16, 20000, &n);
            opt->picture.size = int(n);
        } else if (a == "--radius") {
            want = "a whole number of pixels from 8 to 9999";
            ok = parse_int(v, 8, 9999, &radius);
            radius_given = true;
        } else if (a == "--lens") {
            want =
                "equidistant (or polar), orthographic, equisolid, stereographic, "
                "poly:A1,A2,A3, poly-r:A1,A2,A3, poly-r-rad:A1,A2,A3 or a lens's name";
            skyimage::Lens lens;
            ok = skyimage::parse_lens(v == "polar" ? "equidistant" : v.c_str(), &lens);
            if (ok) {
                if (const char* why = skyimage::lens_problem(lens)) {
                    *error = "--lens " + v + ": " + why;
                    return false;
                }
                opt->picture.lens = lens;
            }
        } else if (a == "--frame") {
            want =
                "W,H,X,Y: a photograph of W x H pixels with the picture's top-left corner at "
                "column X, row Y";
            ok = parse_frame(v, &opt->frame);
            opt->picture.black_frame = true;
        } else if (a == "--lai") {
            want = "a leaf area index from 0 to 12";
            ok = parse_double(v, 0, 12, &opt->canopy.lai);
        } else if (a == "--angles") {
            want = "spherical, planophile or erectophile";
            const double x = v == "spherical"     ? kSphericalX
                             : v == "planophile"  ? kPlanophileX
                             : v == "erectophile" ? kErectophileX
                                                  : -1;
            ok = x > 0;
            opt->canopy.angles = LeafAngles{false, x, 0};
            opt->angles_name = v;
        } else if (a == "--x") {
            want = "an ellipsoidal parameter from 0.01 to 100";
            double x = 0;
            ok = parse_double(v, 0.01, 100, &x);
            opt->canopy.angles = LeafAngles{false, x, 0};
            opt->angles_name = "ellipsoidal";
        } else if (a == "--leaf-angle") {
            want = "an inclination from 0 (flat) to 90 (upright) degrees";
            double deg = 0;
            ok = parse_double(v, 0, 90, &deg);
            opt->canopy.angles = LeafAngles{true, 1, deg};
            opt->angles_name = "fixed";
        } else if (a == "--leaf-radius") {
            want = "a leaf radius from 0.001 to 1";
            ok = parse_double(v, 0.001, 1, &opt->canopy.leaf_radius);
        } else if (a == "--bottom") {
            want = "a height from 0.01 to 1000";
            ok = parse_double(v, 0.01, 1000, &opt->canopy.bottom);
        } else if (a == "--top") {
            want = "a height from 0.01 to 1000";
            ok = parse_double(v, 0.01, 1000, &opt->canopy.top);
        } else if (a == "--period") {
            want = "a horizontal period from 0.1 to 1000";
            ok = parse_double(v, 0.1, 1000, &opt->canopy.period);
        } else if (a == "--crown-radius") {
            want = "a crown radius from 0.01 to 100";
            ok = parse_double(v, 0.01, 100, &opt->canopy.crown_radius);
        } else if (a == "--crown-density") {
            want = "a number of crowns per unit ground area from 0.0001 to 1000";
            ok = parse_double(v, 0.0001, 1000, &opt->canopy.crown_density);
        } else if (a == "--rings") {
            want = "a number of zenith rings from 1 to 90";
            ok = parse_int(v, 1, 90, &n);
            opt->rings = int(n);
        } else if (a == "--seed") {
            want = "a whole number from 0 to 18446744073709551615";
            ok = parse_seed(v, &opt->canopy.seed);
            opt->picture.seed = opt->canopy.seed;
        } else if (a == "--truth") {
            want = "a file name";
            ok = !v.empty();
            opt->truth = v;
        }
        if (!ok) {
            *error = a + ": expected " + want + ", got '" + v + "'";
            return false;
        }
    }
    if (opt->output.empty()) {
        *error = "no output file given (try --help)";
        return false;
    }
    const int most = opt->picture.size / 2 - 1;
    opt->picture.radius = radius_given ? int(radius) : most;
    if (opt->picture.radius > most) {
        *error = "--radius: the disc must fit inside the picture with its rim points, at most " +
                 std::to_string(most) + " pixels for --size " +
                 std::to_string(opt->picture.size);
        return false;
    }
    const FrameParams& f = opt->frame;
    if (opt->picture.black_frame &&
        (f.x + opt->picture.size > f.w || f.y + opt->picture.size > f.h)) {
        *error = "--frame: the picture of --size " + std::to_string(opt->picture.size) +
                 " does not fit inside the frame at that place";
        return false;
    }
    const CanopyParams& c = opt->canopy;
    if (c.top <= c.bottom) {
        *error = "--top must lie above --bottom";
        return false;
    }
    if (c.bottom <= c.leaf_radius) {
        *error = "--bottom must exceed --leaf-radius, so that no leaf touches the camera";
        return false;
    }
    if (c.period <= 4 * c.leaf_radius || (c.clumped && c.period <= 2 * c.crown_radius)) {
        *error = "--period must exceed four leaf radii and, with --clumped, a crown diameter";
        return false;
    }
    if (Canopy::leaves_needed(c) > kMaxLeaves) {
        *error = "too many leaves (more than 20 million): lower --lai or --period, or raise "
                 "--leaf-radius";
        return false;
    }
    return true;
}

void write_usage(std::FILE* out) {
    std::fprintf(out,
        "Usage: canopysim [options] OUTPUT.bmp\n"
        "Renders a fish-eye photograph, looking up, of a simulated canopy whose leaf area index\n"
        "and leaf angles are known, as an 8-bit greyscale BMP that gapimage reads, and prints the\n"
        "truth: the canopy, the three rim points to type into gapimage and the expected gap\n"
        "fraction of every zenith ring.\n"
        "\n"
        "Picture:\n"
        "  --size N           width and height in pixels (default 1000)\n"
        "  --radius R         radius of the sky disc in pixels (default and largest: N/2 - 1)\n"
        "  --lens NAME        equidistant (also: polar), orthographic, equisolid, stereographic,\n"
        "                     a built-in calibration (fc-e8, fc-e9, nikkor-10.5) or a published\n"
        "                     form poly-r:A1,A2,A3, poly-r-rad:A1,A2,A3 or poly:A1,A2,A3, as\n"
        "                     gapbatch --lens takes them (default equidistant)\n"
        "  --frame W,H,X,Y    put the picture at column X, row Y of a W x H black frame, as a\n"
        "                     camera frames its image circle (the truth's centre and rim points\n"
        "                     move with it)\n"
        "  --binary           sky 255 and leaves 0 instead of grey tones with noise\n"
        "Canopy:\n"
        "  --lai L            leaf area index, one-sided leaf area per ground area (default 2)\n"
        "  --angles NAME      spherical (x = 1), planophile (x = 3) or erectophile (x = 0.4)\n"
        "  --x X              ellipsoidal leaf-angle parameter, 0.01 to 100 (default 1)\n"
        "  --leaf-angle DEG   every leaf at this inclination instead (0 flat, 90 upright)\n"
        "  --clumped          leaves grouped in spherical crowns instead of spread at random\n"
        "  --crown-radius R   crown radius (default 0.25)\n"
        "  --crown-density D  crowns per unit ground area (default 3)\n"
        "  --leaf-radius R    radius of the disc-shaped leaves (default 0.025)\n"
        "  --bottom H, --top H  heights of the leaf layer above the camera (default 2 and 4)\n"
        "  --period P         the layer repeats every P units in both directions (default 10)\n"
        "Output:\n"
        "  --rings N          zenith rings of the truth table, as given to gapimage (default 9)\n"
        "  --truth FILE       write the truth to FILE instead of standard output\n"
        "  --seed S           random seed; the same seed gives the same picture (default 1)\n"
        "  -h, --help         this text\n"
        "  --version          (alone) the version\n"
        "\n"
        "OUTPUT.bmp is replaced by the picture. The truth goes to standard output, or to the\n"
        "--truth file, which it replaces; it begins:\n"
        "    canopysim truth for canopy.bmp\n"
        "    picture      1000 x 1000 pixels, equidistant lens, grey tones (threshold 128 ...)\n"
        "\n"
        "Exit status: 0 when the picture and the truth were written; 1, with one line on\n"
        "standard error, for an option that cannot be used or a file that cannot be written.\n");
}

void write_truth(std::FILE* out, const Options& opt, const Canopy& canopy,
                 const std::vector<RingTruth>& rings) {
    const PictureParams& p = opt.picture;
    const CanopyParams& c = opt.canopy;
    RimPoints rim = rim_points(p);
    const bool frame = p.black_frame;
    const int ox = frame ? opt.frame.x : 0, oy = frame ? opt.frame.y : 0;
    for (int k = 0; k < 3; ++k) {
        rim.x[k] += ox;
        rim.y[k] += oy;
    }
    char lens[120];
    skyimage::describe_lens(p.lens, lens, sizeof lens);
    std::fprintf(out, "canopysim truth for %s\n", opt.output.c_str());
    std::fprintf(out, "picture      %d x %d pixels, %s lens, ", frame ? opt.frame.w : p.size,
                 frame ? opt.frame.h : p.size, lens);
    if (p.binary) {
        std::fprintf(out, "binary (sky 255, leaves 0)\n");
    } else {
        std::fprintf(out, "grey tones (threshold %d separates sky from leaves)\n",
                     kSuggestedThreshold);
    }
    std::fprintf(out, "sky disc     centre (%d, %d), radius %d pixels\n", ox + p.size / 2,
                 oy + p.size / 2, p.radius);
    std::fprintf(out, "rim points   %d %d   %d %d   %d %d\n", rim.x[0], rim.y[0], rim.x[1],
                 rim.y[1], rim.x[2], rim.y[2]);
    if (c.clumped) {
        std::fprintf(out, "canopy       crowns of radius %g, %g per unit ground area, in a layer "
                     "from %g to %g, period %g\n", c.crown_radius, c.crown_density, c.bottom, c.top,
                     c.period);
    } else {
        std::fprintf(out, "canopy       random (Poisson) leaves in a layer from %g to %g, "
                     "period %g\n", c.bottom, c.top, c.period);
    }
    std::fprintf(out, "leaves       %ld discs of radius %g\n", canopy.leaf_count(), c.leaf_radius);
    std::fprintf(out, "LAI          %.4f (asked %g)\n", canopy.realised_lai(), c.lai);
    if (c.angles.fixed) {
        std::fprintf(out, "leaf angles  all at %g deg\n", c.angles.fixed_deg);
    } else {
        std::fprintf(out, "leaf angles  ellipsoidal x = %g (%s), mean leaf angle %.2f deg\n",
                     c.angles.x, opt.angles_name.c_str(), mean_leaf_angle_deg(c.angles));
    }
    std::fprintf(out, "seed         %llu\n", static_cast<unsigned long long>(c.seed));
    std::fprintf(out, "\n%s\n", c.clumped ? "P: gap fraction of a random canopy of the same LAI "
                                            "and leaf angles (crowns leave more gaps)"
                                          : "P: gap fraction exp(-G LAI / cos zenith)");
    std::fprintf(out, "ring  zenith deg      G    P centre  P ring  rendered   pixels\n");
    for (std::size_t i = 0; i < rings.size(); ++i) {
        const RingTruth& t = rings[i];
        std::fprintf(out, "%4zu  %4.1f - %4.1f  %6.4f  %6.4f  %6.4f  %6.4f  %9lld\n", i + 1,
                     t.from_deg, t.to_deg, t.g_centre, t.p_centre, t.p_mean, t.p_rendered,
                     static_cast<long long>(t.pixels));
    }
}

}  // namespace canopysim
