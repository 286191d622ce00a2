// gapbatch's command line.
#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "batch.h"
#include "gapreport/gapreport.h"

namespace gapbatch {

namespace {

constexpr int kMaxPointCoordinate = skyimage::kMaxPointCoordinate;

using skyimage::Channel;
using skyimage::LensKind;
using skyimage::ThresholdMethod;

// Reads COUNT comma-separated numbers; integers where INTEGER[k]. The whole text must be used.
bool read_list(const char* text, int count, const bool* integer, double* values) {
    const char* p = text;
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        if (integer[k]) {
            errno = 0;
            const long v = std::strtol(p, &end, 10);
            if (end == p || errno != 0 || v > kMaxPointCoordinate || v < -kMaxPointCoordinate)
                return false;
            values[k] = double(v);
        } else {
            values[k] = std::strtod(p, &end);
            if (end == p || !std::isfinite(values[k])) return false;
        }
        const char expected = k + 1 == count ? '\0' : ',';
        if (*end != expected) return false;
        p = end + 1;
    }
    return true;
}

bool read_int(const char* text, long lo, long hi, int* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
    *value = int(v);
    return true;
}

bool read_double(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

enum OptionId {
    kPoints = 1000,
    kCircle,
    kLens,
    kFov,
    kThreshold,
    kAuto,
    kClassified,
    kChannel,
    kRings,
    kSectors,
    kDeclination,
    kOut,
    kSummary,
    kOverlay,
    kOverlayDir,
    kQuiet,
    kHelp
};

}  // namespace

bool parse_options(int argc, char** argv, Options* o, char (&problem)[kMessageSize]) {
    static const option kLong[] = {{"points", required_argument, nullptr, kPoints},
                                   {"circle", required_argument, nullptr, kCircle},
                                   {"lens", required_argument, nullptr, kLens},
                                   {"fov", required_argument, nullptr, kFov},
                                   {"threshold", required_argument, nullptr, kThreshold},
                                   {"auto", required_argument, nullptr, kAuto},
                                   {"classified", no_argument, nullptr, kClassified},
                                   {"channel", required_argument, nullptr, kChannel},
                                   {"rings", required_argument, nullptr, kRings},
                                   {"sectors", required_argument, nullptr, kSectors},
                                   {"declination", required_argument, nullptr, kDeclination},
                                   {"out", required_argument, nullptr, kOut},
                                   {"summary", required_argument, nullptr, kSummary},
                                   {"overlay", required_argument, nullptr, kOverlay},
                                   {"overlay-dir", required_argument, nullptr, kOverlayDir},
                                   {"quiet", no_argument, nullptr, kQuiet},
                                   {"help", no_argument, nullptr, kHelp},
                                   {nullptr, 0, nullptr, 0}};
    *o = Options{};
    int threshold_choices = 0;
    bool has_points = false, has_circle = false;
    optind = 0;  // start afresh, also when called again
    opterr = 0;
    for (;;) {
        int index = 0;
        // Leading ':': an option given no value comes back as ':', an unknown one as '?'.
        const int id = getopt_long(argc, argv, ":h", kLong, &index);
        if (id == -1) break;
        const char* arg = optarg;
        switch (id) {
            case kPoints: {
                const bool integer[6] = {true, true, true, true, true, true};
                double v[6];
                if (!read_list(arg, 6, integer, v)) {
                    std::snprintf(problem, kMessageSize,
                                  "--points %s: give six whole numbers x1,y1,x2,y2,x3,y3", arg);
                    return false;
                }
                skyimage::DiscSpec& disc = o->photo.disc;
                for (int k = 0; k < 6; ++k) disc.points[k] = int(v[k]);
                const int* p = disc.points;
                const skyimage::Circle d =
                    skyimage::circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
                if (d.collinear) {
                    std::snprintf(problem, kMessageSize,
                                  "--points %s: the three points lie on one line", arg);
                    return false;
                }
                if (!d.usable) {
                    std::snprintf(problem, kMessageSize,
                                  "--points %s: the circle through them is smaller than one "
                                  "pixel or larger than 16384 pixels of radius",
                                  arg);
                    return false;
                }
                disc.source = skyimage::DiscSource::kPoints;
                has_points = true;
                break;
            }
            case kCircle: {
                const bool integer[3] = {true, true, false};
                double v[3];
                if (!read_list(arg, 3, integer, v) || !(v[2] > 0)) {
                    std::snprintf(problem, kMessageSize,
                                  "--circle %s: give the centre column and row as whole numbers "
                                  "and a radius above 0, as CX,CY,R",
                                  arg);
                    return false;
                }
                skyimage::DiscSpec& disc = o->photo.disc;
                disc.cx = int(v[0]);
                disc.cy = int(v[1]);
                disc.radius = v[2];
                disc.source = skyimage::DiscSource::kCircle;
                has_circle = true;
                break;
            }
            case kLens:
                if (!skyimage::parse_lens(arg, &o->photo.lens)) {
                    std::snprintf(problem, kMessageSize,
                                  "--lens %s: choose equidistant, orthographic, equisolid, "
                                  "stereographic or poly:a1,a2,a3",
                                  arg);
                    return false;
                }
                break;
            case kFov: {
                double fov = 0;
                if (!read_double(arg, &fov)) {
                    std::snprintf(problem, kMessageSize, "--fov %s: give a number of degrees", arg);
                    return false;
                }
                o->photo.lens.fov_deg = fov;  // kept when --lens follows: parse_lens leaves it
                o->fov_given = true;
                break;
            }
            case kThreshold:
                if (!read_int(arg, -2147483647L - 1, 2147483647L, &o->photo.threshold)) {
                    std::snprintf(problem, kMessageSize, "--threshold %s: give a whole number",
                                  arg);
                    return false;
                }
                o->photo.method = ThresholdMethod::kFixed;
                ++threshold_choices;
                break;
            case kAuto:
                if (std::strcmp(arg, "ridler") == 0) {
                    o->photo.method = ThresholdMethod::kRidler;
                } else if (std::strcmp(arg, "otsu") == 0) {
                    o->photo.method = ThresholdMethod::kOtsu;
                } else if (std::strcmp(arg, "minimum") == 0) {
                    o->photo.method = ThresholdMethod::kMinimum;
                } else {
                    std::snprintf(problem, kMessageSize,
                                  "--auto %s: choose ridler, otsu or minimum", arg);
                    return false;
                }
                ++threshold_choices;
                break;
            case kClassified:
                o->photo.method = ThresholdMethod::kClassified;
                ++threshold_choices;
                break;
            case kChannel:
                if (std::strcmp(arg, "blue") == 0) {
                    o->photo.channel = Channel::kBlue;
                } else if (std::strcmp(arg, "green") == 0) {
                    o->photo.channel = Channel::kGreen;
                } else if (std::strcmp(arg, "red") == 0) {
                    o->photo.channel = Channel::kRed;
                } else if (std::strcmp(arg, "luma") == 0) {
                    o->photo.channel = Channel::kLuma;
                } else {
                    std::snprintf(problem, kMessageSize,
                                  "--channel %s: choose blue, green, red or luma", arg);
                    return false;
                }
                break;
            case kRings:
                if (!read_int(arg, 1, gapdata::kMaxWriteAnnuli, &o->photo.nz)) {
                    std::snprintf(problem, kMessageSize,
                                  "--rings %s: the number of zenith rings must lie in 1..%d", arg,
                                  gapdata::kMaxWriteAnnuli);
                    return false;
                }
                break;
            case kSectors:
                if (!read_int(arg, 1, gapdata::kMaxWriteSectors, &o->photo.na)) {
                    std::snprintf(problem, kMessageSize,
                                  "--sectors %s: the number of azimuth sectors must lie in 1..%d",
                                  arg, gapdata::kMaxWriteSectors);
                    return false;
                }
                break;
            case kDeclination:
                if (!read_double(arg, &o->photo.declination) || std::fabs(o->photo.declination) > 180) {
                    std::snprintf(problem, kMessageSize,
                                  "--declination %s: give degrees from -180 (West) to 180 (East)",
                                  arg);
                    return false;
                }
                break;
            case kOut:
                o->out_dir = arg;
                break;
            case kSummary:
                o->summary = arg;
                break;
            case kOverlay:
                o->overlay = arg;
                break;
            case kOverlayDir:
                o->overlay_dir = arg;
                break;
            case kQuiet:
                o->quiet = true;
                break;
            case kHelp:
            case 'h':
                o->help = true;
                return true;
            case ':':
                std::snprintf(problem, kMessageSize, "%s needs a value", argv[optind - 1]);
                return false;
            default: {  // '?': an unknown option; a short one is named by its letter
                if (optopt > 0 && optopt < 128) {
                    std::snprintf(problem, kMessageSize, "unknown option -%c", char(optopt));
                } else {
                    std::snprintf(problem, kMessageSize, "unknown option %s", argv[optind - 1]);
                }
                return false;
            }
        }
    }
    for (int k = optind; k < argc; ++k) o->photos.push_back(argv[k]);

    if (o->photos.empty()) {
        std::snprintf(problem, kMessageSize, "no photograph given");
        return false;
    }
    if (has_points && has_circle) {
        std::snprintf(problem, kMessageSize,
                      "give the sky disc by --points or by --circle, not both");
        return false;
    }
    if (threshold_choices > 1) {
        std::snprintf(problem, kMessageSize, "choose one of --threshold, --auto and --classified");
        return false;
    }
    if (o->fov_given && o->photo.lens.kind == LensKind::kPolynomial) {
        std::snprintf(problem, kMessageSize,
                      "--fov does not apply to a poly: lens, whose rim angle is a1 + a2 + a3");
        return false;
    }
    if (const char* why = skyimage::lens_problem(o->photo.lens)) {
        char text[120];
        skyimage::describe_lens(o->photo.lens, text, sizeof text);
        std::snprintf(problem, kMessageSize, "lens %s: %s", text, why);
        return false;
    }
    for (const char* photo : o->photos) {
        if (o->summary != nullptr && std::strcmp(o->summary, photo) == 0) {
            std::snprintf(problem, kMessageSize,
                          "--summary %s would overwrite one of the photographs", photo);
            return false;
        }
    }
    if (o->overlay != nullptr && o->overlay_dir != nullptr) {
        std::snprintf(problem, kMessageSize, "give --overlay or --overlay-dir, not both");
        return false;
    }
    if (o->overlay != nullptr && o->photos.size() > 1) {
        std::snprintf(problem, kMessageSize,
                      "--overlay names one file, for one photograph; use --overlay-dir for %zu",
                      o->photos.size());
        return false;
    }
    return true;
}

void write_usage(std::FILE* out, const char* argv0) {
    std::fprintf(out, "Usage: %s [options] PHOTO...\n", argv0);
    std::fprintf(out, "Try '%s --help' for the options.\n", argv0);
}

void write_help(std::FILE* out, const char* argv0) {
    std::fprintf(out, "%s\n", gapreport::kBanner);
    std::fprintf(out,
                 "Usage: %s [options] PHOTO...\n"
                 "\n"
                 "Analyses hemispherical canopy photographs without questions: for every PHOTO\n"
                 "it finds the sky disc, separates sky from canopy, counts the sky pixels in\n"
                 "every cell of zenith rings by azimuth sectors and writes STEM.gapfract.txt,\n"
                 "the gap-fraction file that the LAI programs read. One CSV summary row per\n"
                 "photograph goes to standard output.\n"
                 "\n"
                 "Photographs: 8-bit greyscale BMP (grey levels as stored), 24- or 32-bit colour\n"
                 "BMP, and JPEG when gapbatch was built with libjpeg.\n"
                 "\n"
                 "Sky disc (default: the image centre, radius min(width, height) / 2):\n"
                 "  --points X1,Y1,X2,Y2,X3,Y3  three pixels on the rim (column, row from the\n"
                 "                             top left); the circle through them and its\n"
                 "                             bounding square, as gapimage cuts it\n"
                 "  --circle CX,CY,R           centre column and row, radius in pixels\n"
                 "Lens:\n"
                 "  --lens NAME     equidistant (default), orthographic, equisolid,\n"
                 "                  stereographic, or poly:A1,A2,A3 for a calibrated lens whose\n"
                 "                  zenith angle in degrees is A1 r + A2 r^2 + A3 r^3 at the\n"
                 "                  normalised radius r (0 at the centre, 1 on the rim)\n"
                 "  --fov DEG       zenith angle at the rim (default 90; not with poly:)\n"
                 "Sky or canopy (default: --auto ridler):\n"
                 "  --threshold N   a pixel above N is sky, the others canopy\n"
                 "  --auto METHOD   threshold from the histogram of the sky disc: ridler\n"
                 "                  (iterative intermeans), otsu, or minimum (valley between\n"
                 "                  the two modes of the smoothed histogram)\n"
                 "  --classified    the photographs are classified already: 0 is canopy,\n"
                 "                  any other value sky\n"
                 "  --channel C     colour channel of colour photographs: blue (default),\n"
                 "                  green, red, or luma\n"
                 "Sky grid:\n"
                 "  --rings N       zenith rings, 1..90 (default 9)\n"
                 "  --sectors M     azimuth sectors, 1..360 (default 8)\n"
                 "  --declination D magnetic declination in degrees, West negative (default 0)\n"
                 "Output:\n"
                 "  --out DIR          write the gap-fraction files into DIR (default: beside\n"
                 "                     each photograph)\n"
                 "  --summary FILE     write the CSV summary to FILE instead\n"
                 "  --overlay FILE     (one photograph) write the sky/canopy image with the rim\n"
                 "                     and the ring and sector boundaries in grey, as BMP\n"
                 "  --overlay-dir DIR  the same for every photograph, as DIR/STEM.overlay.bmp\n"
                 "  --quiet            no progress line on standard error\n"
                 "  -h, --help         this text\n"
                 "  --version          (alone) the version and the photograph formats read\n"
                 "\n"
                 "A photograph that cannot be analysed gets a line on standard error and a\n"
                 "summary row marked failed; the others are still analysed. Exit status 1 when\n"
                 "any photograph failed, otherwise 0.\n",
                 argv0);
}

}  // namespace gapbatch
