// report_demo: the batch page of a small batch of simulated photographs, for looking at and
// for the browser test.
//
//   report_demo OUTDIR [--copies N] [--size PIXELS] [PHOTO ...]
//
// Renders three canopies (canopysim), writes them as BMP files into OUTDIR/photos, adds a
// photograph that cannot be read, analyses each as a batch does (the disc given by its centre
// and radius, or assumed for the one photograph that is wider than high; Ridler's threshold;
// 9 rings by 8 sectors; the sun track of four days at 46.5 degrees north) and writes
// OUTDIR/index.html. PHOTO arguments are analysed the same way with the disc assumed. With
// --copies N the batch is repeated to N photographs (a page of a large batch, to measure);
// --size sets the side of the simulated photographs (600 by default).
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "angles/angles.h"
#include "canopysim/canopy.h"
#include "canopysim/render.h"
#include "gapreport/gapreport.h"
#include "htmlreport/htmlreport.h"
#include "light/light.h"
#include "skyimage/analysis.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/photo.h"
#include "structure/structure.h"

namespace {

constexpr int kRings = 9, kSectors = 8;
constexpr std::size_t kWideColumns = 64;

std::vector<htmlreport::Column> columns() {
    return {
        {"photo", "the photograph's file as named on the command line"},
        {"width", "width of the photograph in pixels"},
        {"height", "height of the photograph in pixels"},
        {"centre_x", "column of the sky disc's centre, pixels from the left edge"},
        {"centre_y", "row of the sky disc's centre, pixels from the top edge"},
        {"radius", "radius of the sky disc in pixels"},
        {"threshold", "grey level separating canopy (at or below) from sky (above)"},
        {"sky_fraction", "sky pixels over all pixels of the disc's cells"},
        {"le_miller", "effective leaf area index, Miller's integral over the rings in use"},
        {"ellipsoid_lai", "leaf area index of the ellipsoidal leaf-angle fit"},
        {"ellipsoid_x", "ellipsoid parameter x of that fit: 1 spherical, above 1 flat leaves"},
        {"status", "ok, or failed when the photograph could not be analysed"},
        {"message", "why the photograph failed"},
    };
}

// A real number with six decimals, or nothing where the method gave none.
std::string real(double v) {
    if (!std::isfinite(v)) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

// The normalised radius at which LENS sees zenith angle ZEN (bisection; the mapping rises).
double radius_of_zenith(const skyimage::Lens& lens, double zen_deg) {
    double lo = 0, hi = 1;
    for (int k = 0; k < 60; ++k) {
        const double mid = (lo + hi) / 2;
        (skyimage::zenith_deg(lens, mid) < zen_deg ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

// The sun track of four days (equinox, solstices) at 46.5 degrees north, each sample visible
// when its pixel on the classified working image is sky.
std::vector<htmlreport::SunSample> sun_track(const skyimage::t_Bitmap& working,
                                             const skyimage::Lens& lens) {
    light::Settings s;
    s.latitude_deg = 46.5;
    s.first_day = 80;
    s.last_day = 355;
    s.day_step = 91;
    s.step_min = 4;
    std::vector<htmlreport::SunSample> track;
    const int half = working.width / 2;
    light::walk_sun(s, [&](const light::SunPosition& p) {
        htmlreport::SunSample q{p.zenith_deg, p.azimuth_deg, false};
        if (p.zenith_deg < 90) {
            const double r = radius_of_zenith(lens, p.zenith_deg) * half;
            // Picture angle: azimuth turned as the cells turn it (no declination).
            const double phi = p.azimuth_deg * angles::kDegToRad + angles::kHalfPi;
            const long col = half + std::lround(r * std::cos(phi));
            const long row = working.height / 2 - std::lround(r * std::sin(phi));
            if (col >= 0 && col < working.width && row >= 0 && row < working.height)
                q.visible = working.data[row * working.width + col] != 0;
        }
        track.push_back(q);
    });
    return track;
}

// Analyses the photograph PATH into ENTRY as a batch would; ORIGINAL receives the photograph,
// which the entry points into.
void analyse(const std::string& path, const std::string& name, const skyimage::DiscSetting& disc,
             const skyimage::Lens& lens, skyimage::Photo* original, htmlreport::PhotoEntry* entry) {
    entry->name = name;
    entry->row.assign(columns().size(), "");
    entry->row[0] = name;
    skyimage::PhotoSettings settings;
    settings.disc = disc;
    settings.lens = lens;
    settings.nz = kRings;
    settings.na = kSectors;
    char reason[skyimage::kPhotoProblemSize];
    skyimage::Workspace work;
    skyimage::PhotoResult result;
    std::string problem;
    if (!skyimage::read_photo(path.c_str(), settings.channel, original, reason)) {
        problem = reason;
    } else {
        skyimage::process_photo(path.c_str(), settings, &work, &result, &problem);
    }
    if (!problem.empty()) {
        entry->ok = false;
        entry->message = problem;
        entry->row[11] = "failed";
        entry->row[12] = problem;
        return;
    }
    if (disc.source == skyimage::DiscSource::kAssumed) entry->warnings.push_back("disc assumed");

    structure::Settings ss;
    ss.nz = kRings;
    ss.na = kSectors;
    ss.max_zenith_deg = 80;
    const structure::Samples samples = structure::sample_photo(work.photo.bmp, lens, 0, ss);
    const structure::Result fit = structure::analyse(result.counts, samples, ss);

    htmlreport::Analysis& a = entry->analysis;
    entry->analysed = true;
    a.grey = original->bmp.data;
    a.width = original->bmp.width;
    a.height = original->bmp.height;
    a.threshold = result.threshold;
    a.disc_cx = result.disc.cx;
    a.disc_cy = result.disc.cy;
    a.disc_radius = result.disc.radius;
    a.lens = lens;
    a.nz = kRings;
    a.na = kSectors;
    a.histogram.assign(result.histogram, result.histogram + 256);
    int first_level = 0, last_level = 255;
    while (first_level < 255 && result.histogram[first_level] == 0) ++first_level;
    while (last_level > 0 && result.histogram[last_level] == 0) --last_level;
    if (result.threshold <= first_level || result.threshold >= last_level)
        entry->warnings.push_back("threshold at a histogram edge");
    for (int iz = 0; iz < kRings; ++iz) {
        for (int ia = 0; ia < kSectors; ++ia) {
            const auto px = result.counts.pixel(iz, ia);
            a.cells.push_back(
                {90.0 * iz / kRings, 90.0 * (iz + 1) / kRings, 360.0 * ia / kSectors,
                 360.0 * (ia + 1) / kSectors,
                 px > 0 ? double(result.counts.gap(iz, ia)) / double(px) : std::nan("")});
        }
    }
    a.sun_track = sun_track(work.photo.bmp, lens);
    int first = 0, end = 0;
    structure::rings_in_use(ss, &first, &end);
    bool no_gap = false;
    for (int iz = first; iz < end; ++iz) {
        double gaps = 0, pixels = 0;
        for (int ia = 0; ia < kSectors; ++ia) {
            gaps += double(result.counts.gap(iz, ia));
            pixels += double(result.counts.pixel(iz, ia));
        }
        const double zen = 90.0 * (iz + 0.5) / kRings;
        const double p = pixels > 0 ? gaps / pixels : std::nan("");
        a.rings.push_back({zen, p, -std::log(p) * std::cos(zen * angles::kDegToRad)});
        no_gap = no_gap || p == 0;
    }
    if (no_gap) entry->warnings.push_back("rings with no gap");
    htmlreport::Curve miller_p{"Miller, spherical", htmlreport::Quantity::kGapFraction, {}};
    htmlreport::Curve miller_k{"Miller, spherical", htmlreport::Quantity::kContactNumber, {}};
    htmlreport::Curve ell_p{"ellipsoid", htmlreport::Quantity::kGapFraction, {}};
    htmlreport::Curve ell_k{"ellipsoid", htmlreport::Quantity::kContactNumber, {}};
    canopysim::LeafAngles leaves;
    leaves.x = fit.zephor_x;
    for (double zen = 0; zen <= 88; zen += 2) {
        const double c = std::cos(zen * angles::kDegToRad);
        const double k_sph = 0.5 * fit.miller.lai;
        miller_p.points.push_back({zen, std::exp(-k_sph / c)});
        miller_k.points.push_back({zen, k_sph});
        if (std::isfinite(fit.zephor_x) && fit.zephor_x > 0) {
            const double k_ell =
                canopysim::g_function(zen * angles::kDegToRad, leaves) * fit.zephor_lai;
            ell_p.points.push_back({zen, std::exp(-k_ell / c)});
            ell_k.points.push_back({zen, k_ell});
        }
    }
    a.curves = {miller_p, miller_k, ell_p, ell_k};

    entry->row[1] = std::to_string(a.width);
    entry->row[2] = std::to_string(a.height);
    entry->row[3] = std::to_string(a.disc_cx);
    entry->row[4] = std::to_string(a.disc_cy);
    entry->row[5] = std::to_string(int(a.disc_radius));
    entry->row[6] = std::to_string(result.threshold);
    entry->row[7] = real(fit.sky_fraction);
    entry->row[8] = real(fit.miller.lai);
    entry->row[9] = real(fit.zephor_lai);
    entry->row[10] = real(fit.zephor_x);
    entry->row[11] = "ok";
}

bool write_bmp_file(const std::string& path, const canopysim::Picture& pic) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = skyimage::write_grey_bmp(f, pic.width, pic.height, pic.pixels.data());
    return std::fclose(f) == 0 && ok;
}

struct Source {
    std::string path, name;
    skyimage::DiscSetting disc;
    skyimage::Lens lens;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [--copies N] [PHOTO ...]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    long copies = 0;
    int size = 600;
    std::vector<Source> sources;
    for (int k = 2; k < argc; ++k) {
        if (std::strcmp(argv[k], "--copies") == 0 && k + 1 < argc) {
            copies = std::strtol(argv[++k], nullptr, 10);
        } else if (std::strcmp(argv[k], "--size") == 0 && k + 1 < argc) {
            size = std::max(100, int(std::strtol(argv[++k], nullptr, 10)));
        } else {
            Source s;
            s.path = s.name = argv[k];
            sources.push_back(s);
        }
    }
    htmlreport::ReportWriter writer(out);
    if (!writer.ok()) {
        std::fprintf(stderr, "report_demo: %s\n", writer.message().c_str());
        return 1;
    }
    const std::string photos = out + "/photos";
    std::string scratch;
    if (sources.empty()) {
        if (mkdir(photos.c_str(), 0777) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "report_demo: cannot make %s\n", photos.c_str());
            return 1;
        }
        // Three canopies: a random one, a clumped one with flat leaves, an open one seen
        // through an equisolid lens.
        struct Render {
            const char* name;
            double lai;
            bool clumped;
            double x;
            skyimage::LensKind lens;
            int pad;  // columns of black added on each side, in sixths of the side
        } renders[] = {
            {"random_lai2.bmp", 2.0, false, 1.0, skyimage::LensKind::kEquidistant, 0},
            {"clumped_lai3.bmp", 3.0, true, 3.0, skyimage::LensKind::kEquidistant, 1},
            {"open_lai1_equisolid.bmp", 1.0, false, 1.0, skyimage::LensKind::kEquisolid, 0}};
        for (const Render& r : renders) {
            canopysim::CanopyParams cp;
            cp.lai = r.lai;
            cp.clumped = r.clumped;
            cp.angles.x = r.x;
            cp.seed = 7;
            const canopysim::Canopy canopy(cp);
            canopysim::PictureParams pp;
            pp.size = size;
            pp.radius = size / 2 - 1;
            pp.lens.kind = r.lens;
            canopysim::Picture pic = canopysim::render(canopy, pp);
            if (r.pad > 0) {
                const int pad = r.pad * size / 6;
                canopysim::Picture wide;
                wide.width = pic.width + 2 * pad;
                wide.height = pic.height;
                wide.pixels.assign(std::size_t(wide.width) * std::size_t(wide.height), 0);
                for (int y = 0; y < pic.height; ++y)
                    std::copy(pic.pixels.begin() + std::ptrdiff_t(y) * pic.width,
                              pic.pixels.begin() + std::ptrdiff_t(y + 1) * pic.width,
                              wide.pixels.begin() + std::ptrdiff_t(y) * wide.width + pad);
                pic = wide;
            }
            Source s;
            s.name = r.name;
            s.path = photos + "/" + r.name;
            s.lens.kind = r.lens;
            if (r.pad == 0) {
                s.disc.source = skyimage::DiscSource::kCircle;
                s.disc.cx = size / 2;
                s.disc.cy = size / 2;
                s.disc.radius = size / 2 - 1;
            }
            if (!write_bmp_file(s.path, pic)) {
                std::fprintf(stderr, "report_demo: cannot write %s\n", s.path.c_str());
                return 1;
            }
            sources.push_back(s);
        }
        // A photograph that cannot be read, with a name that would be markup if not escaped.
        Source bad;
        bad.name = "<script>alert(1)</script> & broken.bmp";
        bad.path = photos + "/broken.bmp";
        std::FILE* f = std::fopen(bad.path.c_str(), "wb");
        if (f != nullptr) {
            std::fputs("BM this is not a photograph", f);
            std::fclose(f);
        }
        sources.insert(sources.begin() + 2, bad);
    }
    const std::size_t total = copies > 0 ? std::size_t(copies) : sources.size();
    for (std::size_t k = 0; k < total; ++k) {
        const Source& s = sources[k % sources.size()];
        htmlreport::PhotoEntry entry;
        std::string name = s.name;
        if (copies > 0) name = "copy" + std::to_string(k + 1) + "_" + name;
        skyimage::Photo original;
        analyse(s.path, name, s.disc, s.lens, &original, &entry);
        // A large batch carries as many columns as a batch's summary (64).
        if (copies > 0)
            for (std::size_t c = entry.row.size(); c < kWideColumns; ++c)
                entry.row.push_back(std::to_string(double(k % 97) / 7 + double(c)));
        if (!writer.add(entry)) {
            std::fprintf(stderr, "report_demo: %s\n", writer.message().c_str());
            return 1;
        }
    }
    htmlreport::BatchInfo info;
    info.title = "Batch report: simulated canopies";
    info.version = std::string(gapreport::kBanner) + " (report_demo)";
    info.columns = columns();
    if (copies > 0)
        for (std::size_t c = info.columns.size(); c < kWideColumns; ++c)
            info.columns.push_back({"extra_" + std::to_string(c), "a number, for the page's size"});
    info.settings = {{"threshold method", "ridler"},
                     {"rings x sectors", "9 x 8"},
                     {"largest zenith angle", "80"},
                     {"site", "46.5 N, days 80 to 355 every 91, every 4 minutes"}};
    if (!writer.finish(info)) {
        std::fprintf(stderr, "report_demo: %s\n", writer.message().c_str());
        return 1;
    }
    std::printf("%s/index.html\n", out.c_str());
    return 0;
}
