#include "batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "gapreport/light_columns.h"

namespace gapbatch {

void write_csv_field(std::FILE* out, const std::string& text) {
    std::fputs(gapreport::csv_field(text).c_str(), out);
}

namespace {

void write_field(std::FILE* out, const std::string& text) { write_csv_field(out, text); }

std::string overlay_path_of(const std::string& path_text, const Options& o) {
    const char* path = path_text.c_str();
    return o.overlay != nullptr       ? std::string(o.overlay)
           : o.overlay_dir != nullptr ? output_path(path, o.overlay_dir, ".overlay.bmp")
                                      : std::string();
}

}  // namespace

bool make_folder(const char* path) {
    if (mkdir(path, 0777) == 0) return true;
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string output_path(const char* photo, const char* dir, const char* suffix) {
    const std::string path = photo;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    if (dir == nullptr) return folder + name + suffix;
    std::string out = dir;
    if (!out.empty() && out.back() != '/') out += '/';
    return out + name + suffix;
}

Row make_row(const PhotoJob& job, const Options& o, const skyimage::PhotoResult& photo,
             const structure::Result& result, const sunfleck::PhotoLight* light) {
    Row row;
    row.photo = job.path;
    row.ok = true;
    row.options = &o;
    row.job = &job;
    row.width = photo.width;
    row.height = photo.height;
    row.info = photo.info;
    row.disc = photo.disc;
    row.disc_found = photo.disc_found;
    row.fit = photo.fit;
    row.has_threshold = photo.has_threshold;
    row.threshold = photo.threshold;
    row.sky_pixels = photo.sky_pixels;
    row.disc_pixels = photo.disc_pixels;
    row.result = result;
    row.light = light;
    return row;
}

std::vector<std::string> warnings(const PhotoJob& job, const skyimage::PhotoResult& photo) {
    std::vector<std::string> out;
    if (job.photo.disc.source == skyimage::DiscSource::kAssumed) {
        out.push_back(
            "no sky disc given: the image centre and half the shorter side were "
            "assumed (give --circle or --points or use --find-disc)");
    }
    if (photo.outside > 0) {
        out.push_back(std::to_string(photo.outside) +
                      " pixels of the sky disc lie beyond the photograph and count as canopy");
    }
    return out;
}

Row failed_row(const PhotoJob& job, const Options& o, const std::string& why) {
    Row row;
    row.photo = job.path;
    row.options = &o;
    row.job = &job;
    row.message = why;
    return row;
}

namespace {

// One column of the summary: its name and what it holds for a row.
struct Column {
    const char* name;
    const char* definition;  // one line, for the batch page
    void (*write)(std::FILE* out, const Row& row);
};

// A real number with six decimals, or nothing where the method gave none.
void real(std::FILE* out, double v) {
    if (std::isfinite(v)) std::fprintf(out, "%.6f", v);
}

const char* channel_name(skyimage::Channel c) {
    switch (c) {
        case skyimage::Channel::kBlue:
            return "blue";
        case skyimage::Channel::kGreen:
            return "green";
        case skyimage::Channel::kRed:
            return "red";
        case skyimage::Channel::kLuma:
            return "luma";
    }
    return "";
}

// The summary's columns, in order. The first sixteen are those of the first summaries, with
// their meaning; every later column is appended.
const Column kColumns[] = {
    {"photo", "the photograph's file, as named on the command line or in the manifest",
     [](std::FILE* f, const Row& r) { write_field(f, r.photo); }},
    {"width", "width of the photograph, pixels",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.width);
     }},
    {"height", "height of the photograph, pixels",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.height);
     }},
    {"centre_x", "column of the sky disc's centre, pixels from the left edge (0 the first)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.disc.cx);
     }},
    {"centre_y", "row of the sky disc's centre, pixels from the top edge (0 the first)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.disc.cy);
     }},
    {"radius", "radius of the sky disc, pixels",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%g", r.disc.radius);
     }},
    {"lens", "the lens projection: its name, or its polynomial",
     [](std::FILE* f, const Row& r) {
         if (!r.ok) return;
         char text[120];
         skyimage::describe_lens(r.job->photo.lens, text, sizeof text);
         write_field(f, text);
     }},
    {"threshold_method", "how sky was told from canopy: fixed, ridler, otsu, minimum or classified",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fputs(skyimage::method_name(r.job->photo.method), f);
     }},
    {"threshold",
     "the grey level separating canopy (at or below) from sky (above), on the photograph's scale "
     "(see bit_depth)",
     [](std::FILE* f, const Row& r) {
         if (r.ok && r.has_threshold) std::fprintf(f, "%d", r.threshold);
     }},
    {"rings", "zenith rings of the grid, each 90/rings degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.job->photo.nz);
     }},
    {"sectors", "azimuth sectors of the grid, each 360/sectors degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.job->photo.na);
     }},
    {"total_gap", "mean gap fraction of the grid's cells, unweighted (0-1)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.openness.total_gap);
     }},
    {"canopy_openness", "gap fraction weighted by solid angle over the hemisphere (0-1)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.openness.canopy_openness);
     }},
    {"sky_pixels", "sky pixels in the grid's cells",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%lld", static_cast<long long>(r.sky_pixels));
     }},
    {"disc_pixels", "pixels in the grid's cells",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%lld", static_cast<long long>(r.disc_pixels));
     }},
    {"status", "ok, or failed when the photograph could not be analysed",
     [](std::FILE* f, const Row& r) { std::fputs(r.ok ? "ok" : "failed", f); }},
    // Settings in force, so that rows of different runs can be stacked.
    {"channel", "colour channel read from colour photographs",
     [](std::FILE* f, const Row& r) { std::fputs(channel_name(r.job->photo.channel), f); }},
    {"message", "why the photograph failed, or a warning",
     [](std::FILE* f, const Row& r) { write_field(f, r.message); }},
    {"index",
     "the photograph's place in the whole batch, from 1 (joins the shards of a split batch)",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%zu", r.job->index); }},
    {"disc_source",
     "where the sky disc came from: given (--points, --circle), found (--find-disc) or assumed "
     "(image centre, half the shorter side)",
     [](std::FILE* f, const Row& r) {
         switch (r.job->photo.disc.source) {
             case skyimage::DiscSource::kPoints:
             case skyimage::DiscSource::kCircle:
                 std::fputs("given", f);
                 break;
             case skyimage::DiscSource::kFound:
                 std::fputs("found", f);
                 break;
             case skyimage::DiscSource::kAssumed:
                 std::fputs("assumed", f);
                 break;
         }
     }},
    {"max_zenith", "largest zenith angle in use, degrees (--max-zenith)",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%g", r.options->analysis.max_zenith_deg); }},
    {"discard_zenith", "rings left out next to the zenith (--discard-zenith)",
     [](std::FILE* f, const Row& r) {
         std::fprintf(f, "%d", r.options->analysis.zenith_rings_discarded);
     }},
    {"discard_horizon", "rings left out next to the horizon (--discard-horizon)",
     [](std::FILE* f, const Row& r) {
         std::fprintf(f, "%d", r.options->analysis.horizon_rings_discarded);
     }},
    {"segments", "azimuth segments of the ring methods (--segments)",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%d", r.options->analysis.segments); }},
    {"zero_gap",
     "gap fraction put in place of a segment without gap before its logarithm (--zero-gap)",
     [](std::FILE* f, const Row& r) {
         std::fprintf(f, "%g", r.options->analysis.gaps.zero_gap_substitute);
     }},
    {"tessor_classes", "leaf-angle classes of the Norman-Campbell inversion (--tessor-classes)",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%d", r.options->analysis.tessor_classes); }},
    {"tessor_weight", "smoothness weight of that inversion (--tessor-weight)",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%g", r.options->analysis.tessor_weight); }},
    // Gap and openness.
    {"sky_fraction", "sky pixels over disc pixels (0-1)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.sky_fraction);
     }},
    {"site_openness",
     "openness over every cell of the site; equals canopy_openness on flat ground (0-1)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.openness.site_openness);
     }},
    {"canopy_closure", "1 - canopy_openness",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.openness.canopy_closure);
     }},
    {"difn",
     "diffuse non-interceptance: ring gap fractions weighted by sin cos of the zenith angle, % "
     "(Welles and Norman 1991)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.difn_percent);
     }},
    // Effective LAI.
    {"le_miller", "effective LAI, Miller's integral over the rings in use, m2 m-2 (Miller 1967)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.miller.lai);
     }},
    {"le_miller_se", "its standard error over the segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.miller.se);
     }},
    {"le_5ring",
     "effective LAI from the five bands centred 7, 23, 38, 53, 68 degrees, m2 m-2 (Welles and "
     "Norman 1991)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.five_ring.lai);
     }},
    {"le_5ring_se", "its standard error over the segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.five_ring.se);
     }},
    {"le_57", "effective LAI from the band 55-60 degrees, m2 m-2 (Wilson 1963)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.hinge.lai);
     }},
    {"le_57_se", "its standard error over the segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.hinge.se);
     }},
    {"zero_gap_rings", "rings in use without any gap",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.result.miller.zero_rings);
     }},
    {"zero_gap_segments", "segments without any gap, given the zero_gap substitute",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.result.miller.zero_segments);
     }},
    // Clumping and the clumping-corrected LAI.
    {"omega_lx", "clumping index by logarithmic averaging over the segments (Lang and Xiang 1986)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.lx.omega);
     }},
    {"l_lx", "LAI corrected by omega_lx, m2 m-2",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.lx.lai);
     }},
    {"l_lx_se", "its standard error over the segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.lx.se);
     }},
    {"omega_cc", "clumping index from the gap sizes along circles (Chen and Cihlar 1995)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.cc.omega);
     }},
    {"l_cc", "LAI corrected by omega_cc, m2 m-2",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.cc.lai);
     }},
    {"l_cc_se", "its standard error over the segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.cc.se);
     }},
    {"omega_clx", "Chen-Cihlar within each segment, log-averaged across them (Leblanc et al. 2005)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.clx.omega);
     }},
    {"l_clx", "LAI corrected by omega_clx, m2 m-2",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.clx.lai);
     }},
    {"l_clx_se", "its standard error over the segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.clx.se);
     }},
    // The suite's methods on the photograph's grid.
    {"tessor_lai", "LAI of the Norman-Campbell inversion, m2 m-2 (Norman and Campbell 1989)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.tessor_lai);
     }},
    {"tessor_ala", "mean leaf angle of that inversion, degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.tessor_ala);
     }},
    {"tessor_negative",
     "leaf-angle classes of negative leaf area in that inversion (not physical when above 0)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.result.tessor_negative_classes);
     }},
    {"bravik_lai", "LAI of Suits' line with linear averaging, m2 m-2 (Suits 1972)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_lai);
     }},
    {"bravik_lai_se", "its standard error",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_se);
     }},
    {"bravik_ala", "mean leaf angle of that fit, degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_ala);
     }},
    {"bravik_opt_lai", "the same after the window search, m2 m-2",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_opt_lai);
     }},
    {"bravik_opt_lai_se", "its standard error",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_opt_se);
     }},
    {"bravik_opt_ala", "its mean leaf angle, degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_opt_ala);
     }},
    {"bravik_opt_window", "the window the search chose, degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.bravik_opt_window_deg);
     }},
    {"quinda_lai_lin", "LAI of Lang and Xiang's method, one window over each ring, m2 m-2",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.quinda_lai_lin);
     }},
    {"quinda_lai_lin_se", "its standard error",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.quinda_se);
     }},
    {"quinda_lai_log", "the same with single sectors (logarithmic averaging), m2 m-2",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.quinda_lai_log);
     }},
    {"quinda_ala", "mean leaf angle of that method, degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.quinda_ala);
     }},
    {"quinda_lin_log", "ratio of the linear to the logarithmic LAI",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.quinda_lin_log);
     }},
    {"zephor_lai", "LAI of Campbell's ellipsoidal model, m2 m-2 (Campbell 1986)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.zephor_lai);
     }},
    {"zephor_x", "ellipsoid parameter x of that fit: 1 spherical, above 1 flatter leaves",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.zephor_x);
     }},
    {"zephor_ala", "mean leaf angle of that fit, degrees",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.zephor_ala);
     }},
    {"keldro_lai", "LAI of Lang's straight line, m2 m-2 (Lang 1987)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.keldro_lai);
     }},
    {"keldro_lai_se", "its standard error",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.keldro_se);
     }},
    {"keldro_r2", "r2 of that line",
     [](std::FILE* f, const Row& r) {
         if (r.ok) real(f, r.result.keldro_r2);
     }},
    // The photograph as read: its format and the bits per sample, the scale of its threshold
    // (0..255 or 0..65535); the rms residual of a disc found (pixels).
    {"format", "the photograph's file format: BMP, JPEG, TIFF, PNG or raw",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fputs(skyimage::format_name(r.info.format), f);
     }},
    {"bit_depth", "bits per sample as read, 8 or 16: the scale of the threshold (0-255 or 0-65535)",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.info.depth);
     }},
    {"disc_rms", "rms distance of the frame's edge points from the disc found, pixels",
     [](std::FILE* f, const Row& r) {
         if (r.ok && r.disc_found) real(f, r.fit.rms);
     }},
};

}  // namespace

namespace {

// The light columns: the photograph's site and period, the light unit's columns (those of
// canopylight --csv, but canopy_openness, which the summary has already) and the sun followed
// across the photograph.
gapreport::LightColumns light_columns(const Options& o) {
    gapreport::LightColumns columns;
    columns.par = o.par;
    columns.canopy_openness = false;
    return columns;
}

std::vector<std::string> light_header(const Options& o) {
    std::vector<std::string> names = {"latitude", "longitude", "elevation", "first_day",
                                      "last_day"};
    for (const std::string& n : gapreport::light_csv_header(light_columns(o))) names.push_back(n);
    for (const std::string& n : gapreport::sunfleck_csv_header()) names.push_back(n);
    return names;
}

std::vector<std::string> light_fields(const Row& row) {
    const Options& o = *row.options;
    if (row.light == nullptr || !row.ok) return std::vector<std::string>(light_header(o).size());
    const light::Settings& s = row.job->light;
    std::vector<std::string> fields = {gapreport::light_number(s.latitude_deg),
                                       gapreport::light_number(row.job->lon_deg),
                                       gapreport::light_number(s.elevation_m),
                                       std::to_string(s.first_day), std::to_string(s.last_day)};
    for (std::string& f : gapreport::light_csv_fields(row.light->light, light_columns(o)))
        fields.push_back(std::move(f));
    if (row.light->light.ok) {
        for (std::string& f : gapreport::sunfleck_csv_fields(row.light->flecks))
            fields.push_back(std::move(f));
    } else {
        fields.resize(fields.size() + gapreport::sunfleck_csv_header().size());
    }
    return fields;
}

}  // namespace

void write_summary_header(std::FILE* out, const Options& options) {
    bool first = true;
    for (const Column& c : kColumns) {
        if (!first) std::fputc(',', out);
        std::fputs(c.name, out);
        first = false;
    }
    if (options.light_columns) {
        for (const std::string& name : light_header(options))
            std::fprintf(out, ",%s", name.c_str());
    }
    std::fputc('\n', out);
}

void write_summary_row(std::FILE* out, const Row& row) {
    bool first = true;
    for (const Column& c : kColumns) {
        if (!first) std::fputc(',', out);
        c.write(out, row);
        first = false;
    }
    if (row.options != nullptr && row.options->light_columns) {
        for (const std::string& field : light_fields(row)) std::fprintf(out, ",%s", field.c_str());
    }
    std::fputc('\n', out);
}

namespace {

// What the light columns mean, for the batch page.
const char* light_definition(const std::string& name) {
    static const std::pair<const char*, const char*> kDefinitions[] = {
        {"latitude", "the site's latitude, degrees, north positive"},
        {"longitude", "the site's longitude, degrees, east positive (names the site only)"},
        {"elevation", "the site's elevation, metres"},
        {"first_day", "first day of the year of the period"},
        {"last_day", "last day of the year of the period"},
        {"sun_positions", "sun positions above the horizon over the period, at the model's step"},
        {"ho_w", "daily extraterrestrial irradiation as a 24-h mean, W m-2, mean over the days"},
        {"ho_mj", "the same in MJ m-2 d-1"},
        {"kd", "diffuse fraction of the global radiation for the cloudiness index"},
        {"global_above", "global radiation above the canopy, MJ m-2 d-1"},
        {"diffuse_above", "diffuse radiation above the canopy, MJ m-2 d-1"},
        {"direct_above", "direct radiation above the canopy, MJ m-2 d-1"},
        {"isf", "indirect site factor: the share of diffuse light reaching the camera (0-1)"},
        {"dsf", "direct site factor: the share of the direct beam reaching the camera (0-1)"},
        {"gsf", "global site factor: the share of global radiation reaching the camera (0-1)"},
        {"global_below", "global radiation below the canopy, MJ m-2 d-1"},
        {"diffuse_below", "diffuse radiation below the canopy, MJ m-2 d-1"},
        {"direct_below", "direct radiation below the canopy, MJ m-2 d-1"},
        {"global_pct", "global below as % of above"},
        {"diffuse_pct", "diffuse below as % of above"},
        {"direct_pct", "direct below as % of above"},
        {"par_above", "photosynthetically active radiation above the canopy, mol m-2 d-1"},
        {"par_below", "the same below the canopy, mol m-2 d-1"},
        {"sun_minutes", "minutes of direct sun a day on the photograph, mean over the period"},
        {"longest_sunfleck", "longest run of minutes of one day with the sun seen"},
    };
    for (const auto& d : kDefinitions)
        if (name == d.first) return d.second;
    return "";
}

// What one column's writer prints for ROW, without CSV quotes.
std::string field_text(void (*write)(std::FILE*, const Row&), const Row& row) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* mem = open_memstream(&text, &size);
    if (mem == nullptr) return std::string();
    write(mem, row);
    std::fclose(mem);
    std::string out(text, size);
    std::free(text);
    if (out.size() >= 2 && out.front() == '"' && out.back() == '"') {  // a quoted field
        std::string plain;
        for (std::size_t k = 1; k + 1 < out.size(); ++k) {
            plain += out[k];
            if (out[k] == '"') ++k;  // a doubled quote
        }
        out = plain;
    }
    return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> summary_columns(const Options& options) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Column& c : kColumns) out.emplace_back(c.name, c.definition);
    if (options.light_columns) {
        for (const std::string& name : light_header(options))
            out.emplace_back(name, light_definition(name));
    }
    return out;
}

std::vector<std::string> summary_fields(const Row& row) {
    std::vector<std::string> out;
    for (const Column& c : kColumns) out.push_back(field_text(c.write, row));
    if (row.options != nullptr && row.options->light_columns) {
        for (std::string& f : light_fields(row)) out.push_back(std::move(f));
    }
    return out;
}

void write_sun_track_header(std::FILE* out) {
    std::fputs("photo,day,solar_time,altitude,azimuth,visible\n", out);
}

void write_sun_track_rows(std::FILE* out, const Row& row) {
    if (!row.ok || row.light == nullptr || row.light->track == nullptr) return;
    const std::vector<sunfleck::Sample>& track = *row.light->track;
    const std::vector<std::uint8_t>& visible = row.light->visible;
    const std::string photo = gapreport::csv_field(row.photo);
    for (std::size_t k = 0; k < track.size() && k < visible.size(); ++k) {
        const sunfleck::Sample& t = track[k];
        std::fprintf(out, "%s,%d,%02d:%02d,%.3f,%.3f,%d\n", photo.c_str(), t.day, t.minute / 60,
                     t.minute % 60, 90.0 - double(t.zenith_deg), double(t.azimuth_deg), visible[k]);
    }
}

void write_rings_header(std::FILE* out) {
    std::fprintf(out,
                 "photo,ring,zenith_from,zenith_to,zenith,pixels,gap_fraction,log_gap_fraction,"
                 "contact_number,zero_gap_segments,omega_lx,omega_cc,omega_clx,cc_length,"
                 "cc_gaps,cc_mean_gap,cc_element_width,cc_fm0,cc_fmr0,cc_gaps_removed\n");
}

void write_rings_rows(std::FILE* out, const Row& row) {
    if (!row.ok) return;
    const structure::Result& r = row.result;
    for (std::size_t i = 0; i < r.lx.rings.size(); ++i) {
        const lai::RingClumping& lx = r.lx.rings[i];
        const lai::RingGap& g = lx.gap;
        write_field(out, row.photo);
        const int ring = int(std::lround(g.zen_low_deg * row.job->photo.nz / 90.0)) + 1;
        std::fprintf(out, ",%d,%g,%g,%g,%.0f,", ring, g.zen_low_deg, g.zen_high_deg, g.zen_deg,
                     g.pixels);
        real(out, g.gap_fraction);
        std::fputc(',', out);
        real(out, g.in_use ? std::exp(g.log_gap_mean) : std::nan(""));
        std::fputc(',', out);
        real(out, g.contact);
        std::fprintf(out, ",%d,", g.zero_segments);
        real(out, lx.omega);
        std::fputc(',', out);
        const lai::RingClumping* cc = i < r.cc.rings.size() ? &r.cc.rings[i] : nullptr;
        real(out, cc != nullptr ? cc->omega : std::nan(""));
        std::fputc(',', out);
        real(out, i < r.clx.rings.size() ? r.clx.rings[i].omega : std::nan(""));
        if (cc != nullptr) {
            std::fprintf(out, ",%lld,%d,", static_cast<long long>(cc->runs.length), cc->runs.gaps);
            real(out, cc->runs.mean_gap);
            std::fputc(',', out);
            real(out, cc->runs.wp);
            std::fputc(',', out);
            real(out, cc->runs.fm0);
            std::fputc(',', out);
            real(out, cc->runs.fmr0);
            std::fprintf(out, ",%d\n", cc->runs.gaps_removed);
        } else {
            std::fprintf(out, ",,,,,,,\n");
        }
    }
}

void InputSet::add(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        ids_.insert({static_cast<unsigned long long>(st.st_dev),
                     static_cast<unsigned long long>(st.st_ino)});
    else
        names_.insert(fileio::resolve_path(path.c_str()));
}

bool InputSet::holds(const std::string& path) const {
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return ids_.count({static_cast<unsigned long long>(st.st_dev),
                           static_cast<unsigned long long>(st.st_ino)}) != 0;
    return names_.count(fileio::resolve_path(path.c_str())) != 0;
}

std::vector<PlannedOutputs> plan_outputs(const std::vector<PhotoJob>& jobs, const Options& o,
                                         const InputSet& inputs) {
    std::vector<PlannedOutputs> plan(jobs.size());
    std::set<std::string> taken;  // resolved names of the outputs planned so far
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        PlannedOutputs& p = plan[k];
        p.gap = output_path(jobs[k].path.c_str(), o.out_dir, ".gapfract.txt");
        p.overlay = overlay_path_of(jobs[k].path, o);
        std::vector<std::string> keys;
        for (const std::string* out : {&p.gap, &p.overlay}) {
            if (out->empty()) continue;
            const std::string key = fileio::resolve_path(out->c_str());
            if (inputs.holds(*out)) {
                p.conflict = *out + " is one of the inputs of this batch; not overwritten";
            } else if (taken.count(key) != 0 ||
                       std::find(keys.begin(), keys.end(), key) != keys.end()) {
                p.conflict = *out +
                             " was already written for another photograph of this batch; "
                             "not overwritten";
            }
            if (!p.conflict.empty()) break;
            keys.push_back(key);
        }
        if (p.conflict.empty()) taken.insert(keys.begin(), keys.end());
    }
    return plan;
}

bool write_outputs(const PlannedOutputs& planned, const skyimage::PhotoResult& r,
                   fileio::CleanupRegistry* registry, std::string* problem) {
    {
        fileio::AtomicFile gap(planned.gap.c_str(), registry);
        if (gap.ok()) gapdata::write_gap_fraction(gap.file(), r.counts);
        if (!gap.ok() || !gap.commit()) {
            *problem = "cannot write the gap-fraction file " + gap.message();
            return false;
        }
    }
    if (!planned.overlay.empty()) {
        fileio::AtomicFile overlay(planned.overlay.c_str(), registry);
        const bool written =
            overlay.ok() &&
            skyimage::write_grey_bmp(overlay.file(), r.overlay_w, r.overlay_h, r.overlay.data());
        if (!written || !overlay.commit()) {
            *problem = "cannot write the overlay " + overlay.message();
            return false;
        }
    }
    return true;
}

}  // namespace gapbatch
