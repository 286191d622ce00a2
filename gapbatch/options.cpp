// gapbatch's command line, and the list of photographs it names.
#include <dirent.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "batch.h"
#include "gapreport/gapreport.h"
#include "manifest.h"

namespace gapbatch {

namespace {

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
    kHelp,
    kVersion,
    kMaxZenith,
    kSegments,
    kDiscardZenith,
    kDiscardHorizon,
    kTessorClasses,
    kTessorWeight,
    kZeroGap,
    kRingsCsv,
    kManifest,
    kRecursive,
    kJobs,
    kShard,
    kMerge,
    kSite,
    kDays,
    kDayStep,
    kStep,
    kTau,
    kKt,
    kSolarConstant,
    kSky,
    kPar,
    kParConversion,
    kSunTrack,
    kFindDisc,
    kListLenses,
    kReport
};

// The light model's settings that are the batch's: their names as the light unit reads them.
const char* light_setting(int id) {
    switch (id) {
        case kDayStep:
            return "day-step";
        case kStep:
            return "step";
        case kTau:
            return "tau";
        case kKt:
            return "kt";
        case kSolarConstant:
            return "solar-constant";
        case kSky:
            return "sky";
        case kParConversion:
            return "par-conversion";
        default:
            return nullptr;
    }
}

// The per-photo settings among the options: their names as manifest columns.
const char* photo_setting(int id) {
    switch (id) {
        case kPoints:
            return "points";
        case kCircle:
            return "circle";
        case kLens:
            return "lens";
        case kFov:
            return "fov";
        case kThreshold:
            return "threshold";
        case kAuto:
            return "auto";
        case kChannel:
            return "channel";
        case kDeclination:
            return "declination";
        case kDays:
            return "days";
        default:
            return nullptr;
    }
}

bool has_photo_extension(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {"bmp", "jpg", "jpeg", "tif", "tiff", "png", "dng", "nef", "nrw", "cr2",
                              "cr3", "arw", "orf", "rw2", "raf", "pef", "srw"})
        if (ext == known) return true;
    return false;
}

bool is_folder(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The photographs in FOLDER (and its subfolders when RECURSIVE), added to PATHS.
bool folder_photos(const std::string& folder, bool recursive, std::vector<std::string>* paths,
                   std::string* why) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        *why = folder + ": cannot read the folder";
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    for (const std::string& name : names) {
        const std::string path = prefix + name;
        if (is_folder(path.c_str())) {
            if (recursive && name[0] != '.' && !folder_photos(path, true, paths, why)) return false;
        } else if (name[0] != '.' && has_photo_extension(name)) {
            paths->push_back(path);
        }
    }
    return true;
}

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
                                   {"max-zenith", required_argument, nullptr, kMaxZenith},
                                   {"segments", required_argument, nullptr, kSegments},
                                   {"discard-zenith", required_argument, nullptr, kDiscardZenith},
                                   {"discard-horizon", required_argument, nullptr, kDiscardHorizon},
                                   {"tessor-classes", required_argument, nullptr, kTessorClasses},
                                   {"tessor-weight", required_argument, nullptr, kTessorWeight},
                                   {"zero-gap", required_argument, nullptr, kZeroGap},
                                   {"rings-csv", required_argument, nullptr, kRingsCsv},
                                   {"manifest", required_argument, nullptr, kManifest},
                                   {"recursive", no_argument, nullptr, kRecursive},
                                   {"jobs", required_argument, nullptr, kJobs},
                                   {"shard", required_argument, nullptr, kShard},
                                   {"merge", no_argument, nullptr, kMerge},
                                   {"site", required_argument, nullptr, kSite},
                                   {"days", required_argument, nullptr, kDays},
                                   {"day-step", required_argument, nullptr, kDayStep},
                                   {"step", required_argument, nullptr, kStep},
                                   {"tau", required_argument, nullptr, kTau},
                                   {"kt", required_argument, nullptr, kKt},
                                   {"solar-constant", required_argument, nullptr, kSolarConstant},
                                   {"sky", required_argument, nullptr, kSky},
                                   {"par", no_argument, nullptr, kPar},
                                   {"par-conversion", required_argument, nullptr, kParConversion},
                                   {"sun-track", required_argument, nullptr, kSunTrack},
                                   {"find-disc", no_argument, nullptr, kFindDisc},
                                   {"list-lenses", no_argument, nullptr, kListLenses},
                                   {"report", required_argument, nullptr, kReport},
                                   {"help", no_argument, nullptr, kHelp},
                                   {"version", no_argument, nullptr, kVersion},
                                   {nullptr, 0, nullptr, 0}};
    *o = Options{};
    optind = 0;  // start afresh, also when called again
    opterr = 0;
    std::string why;
    auto refuse = [&](const char* flag, const char* arg, const std::string& text) {
        if (flag != nullptr)
            std::snprintf(problem, kMessageSize, "%s %s: %s", flag, arg, text.c_str());
        else
            std::snprintf(problem, kMessageSize, "%s", text.c_str());
        return false;
    };
    for (;;) {
        int index = 0;
        // Leading ':': an option given no value comes back as ':', an unknown one as '?'.
        const int id = getopt_long(argc, argv, ":h", kLong, &index);
        if (id == -1) break;
        const char* arg = optarg;
        if (const char* name = photo_setting(id)) {
            if (!apply_photo_setting(name, arg, &o->defaults, &why))
                return refuse((std::string("--") + name).c_str(), arg, why);
            continue;
        }
        if (const char* name = light_setting(id)) {
            const std::string want = light::apply_setting(name, arg, &o->defaults.light, nullptr);
            if (!want.empty())
                return refuse((std::string("--") + name).c_str(), arg, "expected " + want);
            if (id == kParConversion) o->par = true;
            continue;
        }
        switch (id) {
            case kPar:
                o->par = true;
                break;
            case kFindDisc:
                apply_photo_setting("find-disc", "yes", &o->defaults, &why);
                break;
            case kListLenses:
                o->list_lenses = true;
                return true;
            case kSunTrack:
                o->sun_track = arg;
                break;
            case kReport:
                o->report = arg;
                break;
            case kClassified:
                apply_photo_setting("classified", "yes", &o->defaults, &why);
                break;
            case kSite:
                if (!apply_site(arg, &o->defaults, &why)) return refuse("--site", arg, why);
                break;
            case kRings:
                if (!read_int(arg, 1, gapdata::kMaxWriteAnnuli, &o->defaults.photo.nz)) {
                    return refuse("--rings", arg,
                                  "the number of zenith rings must lie in 1.." +
                                      std::to_string(gapdata::kMaxWriteAnnuli));
                }
                break;
            case kSectors:
                if (!read_int(arg, 1, gapdata::kMaxWriteSectors, &o->defaults.photo.na)) {
                    return refuse("--sectors", arg,
                                  "the number of azimuth sectors must lie in 1.." +
                                      std::to_string(gapdata::kMaxWriteSectors));
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
            case kMaxZenith:
                if (!read_double(arg, &o->analysis.max_zenith_deg) ||
                    !(o->analysis.max_zenith_deg > 0 && o->analysis.max_zenith_deg <= 90))
                    return refuse("--max-zenith", arg, "give degrees above 0 and up to 90");
                break;
            case kSegments:
                if (!read_int(arg, 1, gapdata::kMaxWriteSectors, &o->analysis.segments)) {
                    return refuse("--segments", arg,
                                  "the number of azimuth segments must lie in 1.." +
                                      std::to_string(gapdata::kMaxWriteSectors));
                }
                break;
            case kDiscardZenith:
            case kDiscardHorizon: {
                int* count = id == kDiscardZenith ? &o->analysis.zenith_rings_discarded
                                                  : &o->analysis.horizon_rings_discarded;
                if (!read_int(arg, 0, gapdata::kMaxWriteAnnuli, count)) {
                    return refuse(id == kDiscardZenith ? "--discard-zenith" : "--discard-horizon",
                                  arg,
                                  "give a number of rings, 0.." +
                                      std::to_string(gapdata::kMaxWriteAnnuli));
                }
                break;
            }
            case kTessorClasses:
                if (!read_int(arg, 3, 20, &o->analysis.tessor_classes))
                    return refuse("--tessor-classes", arg, "the leaf-angle classes must number 3..20");
                break;
            case kTessorWeight:
                if (!read_double(arg, &o->analysis.tessor_weight) || !(o->analysis.tessor_weight >= 0))
                    return refuse("--tessor-weight", arg, "give a constraint weight of 0 or more");
                break;
            case kZeroGap:
                if (!read_double(arg, &o->analysis.gaps.zero_gap_substitute) ||
                    !(o->analysis.gaps.zero_gap_substitute > 0 &&
                      o->analysis.gaps.zero_gap_substitute <= 1))
                    return refuse("--zero-gap", arg, "give a gap fraction above 0 and up to 1");
                break;
            case kRingsCsv:
                o->rings_csv = arg;
                break;
            case kManifest:
                o->manifest = arg;
                break;
            case kRecursive:
                o->recursive = true;
                break;
            case kJobs:
                if (!read_int(arg, 1, 1024, &o->jobs))
                    return refuse("--jobs", arg, "give a number of threads, 1..1024");
                break;
            case kShard: {
                int k = 0, n = 0;
                char extra = 0;
                if (std::sscanf(arg, "%d/%d%c", &k, &n, &extra) != 2 || n < 1 || k < 1 || k > n)
                    return refuse("--shard", arg, "give K/N with 1 <= K <= N");
                o->shard = k;
                o->shards = n;
                break;
            }
            case kMerge:
                o->merge = true;
                break;
            case kQuiet:
                o->quiet = true;
                break;
            case 'h':
            case kHelp:
                o->help = true;
                return true;
            case kVersion:
                o->version = true;
                return true;
            case ':':
                return refuse(nullptr, nullptr, std::string(argv[optind - 1]) + " needs a value");
            default: {  // '?': an unknown option; a short one is named by its letter
                if (optopt > 0 && optopt < 128)
                    return refuse(nullptr, nullptr,
                                  std::string("unknown option -") + char(optopt));
                return refuse(nullptr, nullptr,
                              std::string("unknown option ") + argv[optind - 1]);
            }
        }
    }
    for (int k = optind; k < argc; ++k) o->args.push_back(argv[k]);

    o->analysis.nz = o->defaults.photo.nz;
    o->analysis.na = o->defaults.photo.na;
    if (o->merge) {
        if (o->args.empty()) return refuse(nullptr, nullptr, "--merge needs the summaries to join");
        return true;
    }
    if (o->args.empty() && o->manifest == nullptr)
        return refuse(nullptr, nullptr, "no photograph given");
    if (o->manifest != nullptr && !o->args.empty())
        return refuse(nullptr, nullptr, "give the photographs by --manifest or as arguments, not both");
    why = photo_settings_problem(o->defaults);
    if (!why.empty()) return refuse(nullptr, nullptr, why);
    for (const char* photo : o->args) {
        for (const auto& [flag, path] : {std::make_pair("--summary", o->summary),
                                        std::make_pair("--rings-csv", o->rings_csv),
                                        std::make_pair("--sun-track", o->sun_track)}) {
            if (path != nullptr && std::strcmp(path, photo) == 0) {
                return refuse(nullptr, nullptr,
                              std::string(flag) + " " + photo + " would overwrite one of the photographs");
            }
        }
    }
    why = structure::settings_problem(o->analysis);
    if (!why.empty()) return refuse(nullptr, nullptr, why);
    if (o->overlay != nullptr && o->overlay_dir != nullptr)
        return refuse(nullptr, nullptr, "give --overlay or --overlay-dir, not both");
    const bool one_photo = o->manifest == nullptr && o->args.size() == 1 && !is_folder(o->args[0]);
    if (o->overlay != nullptr && !one_photo) {
        char text[kMessageSize];
        std::snprintf(text, sizeof text,
                      "--overlay names one file, for one photograph; use --overlay-dir for %zu",
                      o->args.size());
        return refuse(nullptr, nullptr, text);
    }
    return true;
}

bool list_photos(const Options& o, std::vector<PhotoJob>* jobs, std::string* why) {
    jobs->clear();
    if (o.manifest != nullptr) {
        if (!read_manifest(o.manifest, o.defaults, jobs, why)) return false;
    } else {
        std::vector<std::string> paths;
        for (const char* arg : o.args) {
            if (is_folder(arg)) {
                if (!folder_photos(arg, o.recursive, &paths, why)) return false;
            } else {
                paths.push_back(arg);
            }
        }
        if (paths.empty()) {
            *why = "no photograph given: the folders named hold none";
            return false;
        }
        for (const std::string& path : paths) {
            PhotoJob job = o.defaults;
            job.path = path;
            jobs->push_back(job);
        }
    }
    for (std::size_t k = 0; k < jobs->size(); ++k) (*jobs)[k].index = k + 1;
    if (o.shards > 1) {
        std::vector<PhotoJob> mine;
        for (const PhotoJob& job : *jobs)
            if ((job.index - 1) % std::size_t(o.shards) == std::size_t(o.shard - 1)) mine.push_back(job);
        jobs->swap(mine);
    }
    return true;
}

void write_usage(std::FILE* out, const char* argv0) {
    std::fprintf(out, "Usage: %s [options] PHOTO...\n", argv0);
    std::fprintf(out, "Try '%s --help' for the options.\n", argv0);
}

void write_lens_list(std::FILE* out) {
    int count = 0;
    const skyimage::LensPreset* presets = skyimage::lens_presets(&count);
    std::fprintf(out, "Built-in lenses (--lens NAME), calibrations as published:\n");
    for (int k = 0; k < count; ++k) {
        const skyimage::LensPreset& p = presets[k];
        const bool radians = p.kind == skyimage::LensKind::kRadiusPolyRad;
        skyimage::Lens lens;
        skyimage::parse_lens(p.name, &lens);
        std::fprintf(out,
                     "\n%s\n  r/R = %.10g t %+.10g t^2 %+.10g t^3, t = %s"
                     "\n  rim (r/R = 1) at %.2f degrees from the zenith"
                     "\n  %s\n  source: %s\n",
                     p.name, p.a[0], p.a[1], p.a[2],
                     radians ? "the zenith angle in radians" : "the zenith angle / 90 degrees",
                     skyimage::rim_zenith_deg(lens), p.camera, p.source);
    }
    std::fprintf(out,
                 "\nAny other calibration of this form: --lens poly-r:A1,A2,A3 (t = zenith / 90\n"
                 "degrees) or --lens poly-r-rad:A1,A2,A3 (t in radians).\n");
}

void write_help(std::FILE* out, const char* argv0) {
    std::fprintf(out, "%s\n", gapreport::kBanner);
    std::fprintf(out,
                 "Usage: %s [options] PHOTO|FOLDER...\n"
                 "       %s [options] --manifest FILE\n"
                 "       %s --merge SUMMARY...\n"
                 "\n"
                 "Analyses hemispherical canopy photographs without questions: for every PHOTO\n"
                 "it takes the sky disc given (or finds it, or assumes one), separates sky from\n"
                 "canopy, counts the sky pixels in every cell of zenith rings by azimuth sectors\n"
                 "and writes STEM.gapfract.txt, the gap-fraction file that the LAI programs\n"
                 "read. One CSV summary row per photograph goes to standard output.\n"
                 "\n"
                 "Photographs: 8-bit greyscale BMP (grey levels as stored), 24- or 32-bit colour\n"
                 "BMP, and as this build reads them (see --version) JPEG, TIFF and PNG of 8 or\n"
                 "16 bits, and raw camera files (linear, no gamma). A 16-bit photograph is\n"
                 "separated into sky and canopy on its 16-bit values. A PHOTO that is a folder\n"
                 "stands for the photographs in it, sorted by name.\n"
                 "  --recursive      and for those in its subfolders\n"
                 "  --manifest FILE  a CSV naming the photographs (column photo, relative to\n"
                 "                   FILE's folder) and, in columns named as the flags without\n"
                 "                   dashes, each one's own settings: points, circle, find-disc\n"
                 "                   (yes/no), lens, fov, threshold, auto, classified (yes/no),\n"
                 "                   channel, declination, lat, lon, elev, days; an empty cell\n"
                 "                   takes the flag's value\n"
                 "\n"
                 "Sky disc (default: the image centre, radius min(width, height) / 2, with a\n"
                 "warning):\n"
                 "  --points X1,Y1,X2,Y2,X3,Y3  three pixels on the rim (column, row from the\n"
                 "                             top left); the circle through them and its\n"
                 "                             bounding square, as gapimage cuts it\n"
                 "  --circle CX,CY,R           centre column and row, radius in pixels\n"
                 "  --find-disc                fit the circle to the border of the black\n"
                 "                             frame around the picture (the fit's rms\n"
                 "                             residual is the column disc_rms); a photograph\n"
                 "                             without a visible frame fails\n"
                 "Lens:\n"
                 "  --lens NAME     equidistant (default), orthographic, equisolid,\n"
                 "                  stereographic; a built-in calibration (--list-lenses:\n"
                 "                  fc-e8, fc-e9, nikkor-10.5); poly-r:A1,A2,A3 for a\n"
                 "                  calibration r/R = A1 t + A2 t^2 + A3 t^3 with t = zenith /\n"
                 "                  90 degrees, poly-r-rad:A1,A2,A3 with t in radians; or\n"
                 "                  poly:A1,A2,A3, the zenith angle in degrees as A1 r + A2 r^2\n"
                 "                  + A3 r^3 of the normalised radius r (1 on the rim)\n"
                 "  --fov DEG       zenith angle at the rim (default 90; not with a\n"
                 "                  calibration, whose rim is its own)\n"
                 "  --list-lenses   the built-in lenses with their sources\n"
                 "Sky or canopy (default: --auto ridler):\n"
                 "  --threshold N   a pixel above N is sky, the others canopy: 0..255, or\n"
                 "                  0..65535 for photographs of 16 bits (TIFF, PNG, raw)\n"
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
                 "Canopy structure (the summary's method columns; see the README):\n"
                 "  --max-zenith DEG    largest zenith angle in use: rings whose outer edge lies\n"
                 "                      beyond it are left out (default 90)\n"
                 "  --discard-zenith N  rings left out next to the zenith (default 0)\n"
                 "  --discard-horizon N rings left out next to the horizon (default 0)\n"
                 "  --segments N        azimuth segments of the clumping methods (default 8)\n"
                 "  --zero-gap P        gap fraction put in place of a segment without gap\n"
                 "                      before its logarithm is taken (default 4.53e-5)\n"
                 "  --tessor-classes N  leaf-angle classes of the inversion, 3..20 (default 6)\n"
                 "  --tessor-weight W   its smoothness constraint (default 0.1)\n"
                 "Light under the canopy (the summary's light columns, for every photograph with\n"
                 "a site; see canopylight --help and the README):\n"
                 "  --site LAT,LON[,ELEV]  latitude and longitude in degrees, north and east\n"
                 "                      positive, and the elevation in metres (default 0)\n"
                 "  --days FIRST-LAST   days of the year (default 1-365); --days D: one day\n"
                 "  --day-step N        every Nth day from FIRST (default 1)\n"
                 "  --step MINUTES      the model's solar-time step, a divisor of 1440 (default\n"
                 "                      2); the sun is followed across the photograph by minutes\n"
                 "  --tau T             clear-sky transmission coefficient (default 0.65)\n"
                 "  --kt K              cloudiness index (default 0.45)\n"
                 "  --solar-constant S  W m-2 (default 1367)\n"
                 "  --sky uoc|soc       diffuse sky radiance: uniform or standard overcast\n"
                 "  --par               par_above and par_below too (mol m-2 d-1)\n"
                 "  --par-conversion C  mol of PAR photons per MJ (implies --par; default 2.285)\n"
                 "  --sun-track FILE    the sun minute by minute over every photograph with a\n"
                 "                      site: photo, day, solar_time, altitude, azimuth, visible\n"
                 "Output:\n"
                 "  --out DIR          write the gap-fraction files into DIR (default: beside\n"
                 "                     each photograph)\n"
                 "  --summary FILE     write the CSV summary to FILE instead\n"
                 "  --overlay FILE     (one photograph) write the sky/canopy image with the rim\n"
                 "                     and the ring and sector boundaries in grey, as BMP\n"
                 "  --overlay-dir DIR  the same for every photograph, as DIR/STEM.overlay.bmp\n"
                 "  --rings-csv FILE   one row per photograph and ring in use: the rings'\n"
                 "                     gap fractions, contact numbers and clumping\n"
                 "  --report DIR       a page to look the batch over: DIR/index.html with each\n"
                 "                     photograph's disc, classes, histogram, sky map, sun track\n"
                 "                     and fitted curves, the summary table and its definitions\n"
                 "  --quiet            no progress line on standard error\n"
                 "Speed and scale:\n"
                 "  --jobs N           analyse on N threads (default: one per processor)\n"
                 "  --shard K/N        analyse only every N-th photograph from the K-th\n"
                 "  --merge CSV...     join the summaries of the shards into one, in the\n"
                 "                     photographs' order (to standard output, or --summary)\n"
                 "  --help, -h         this text\n"
                 "  --version          the version and the photograph formats this build reads\n"
                 "\n"
                 "A photograph that cannot be analysed gets a line on standard error and a\n"
                 "summary row marked failed; the others are still analysed. Exit status 1 when\n"
                 "any photograph failed, otherwise 0. No output is ever written over an input,\n"
                 "and every output is replaced whole, never left half written.\n",
                 argv0, argv0, argv0);
}

}  // namespace gapbatch
