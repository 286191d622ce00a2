#include "batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
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
        out.push_back("no sky disc given: the image centre and half the shorter side were "
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
    {"photo", [](std::FILE* f, const Row& r) { write_field(f, r.photo); }},
    {"width", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.width); }},
    {"height", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.height); }},
    {"centre_x", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.disc.cx); }},
    {"centre_y", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.disc.cy); }},
    {"radius", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%g", r.disc.radius); }},
    {"lens",
     [](std::FILE* f, const Row& r) {
         if (!r.ok) return;
         char text[120];
         skyimage::describe_lens(r.job->photo.lens, text, sizeof text);
         write_field(f, text);
     }},
    {"threshold_method",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fputs(skyimage::method_name(r.job->photo.method), f);
     }},
    {"threshold",
     [](std::FILE* f, const Row& r) {
         if (r.ok && r.has_threshold) std::fprintf(f, "%d", r.threshold);
     }},
    {"rings", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.job->photo.nz); }},
    {"sectors", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.job->photo.na); }},
    {"total_gap", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.openness.total_gap); }},
    {"canopy_openness",
     [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.openness.canopy_openness); }},
    {"sky_pixels",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%lld", static_cast<long long>(r.sky_pixels));
     }},
    {"disc_pixels",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%lld", static_cast<long long>(r.disc_pixels));
     }},
    {"status", [](std::FILE* f, const Row& r) { std::fputs(r.ok ? "ok" : "failed", f); }},
    // Settings in force, so that rows of different runs can be stacked.
    {"channel",
     [](std::FILE* f, const Row& r) { std::fputs(channel_name(r.job->photo.channel), f); }},
    {"message", [](std::FILE* f, const Row& r) { write_field(f, r.message); }},
    {"index", [](std::FILE* f, const Row& r) { std::fprintf(f, "%zu", r.job->index); }},
    {"disc_source",
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
    {"max_zenith",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%g", r.options->analysis.max_zenith_deg); }},
    {"discard_zenith",
     [](std::FILE* f, const Row& r) {
         std::fprintf(f, "%d", r.options->analysis.zenith_rings_discarded);
     }},
    {"discard_horizon",
     [](std::FILE* f, const Row& r) {
         std::fprintf(f, "%d", r.options->analysis.horizon_rings_discarded);
     }},
    {"segments", [](std::FILE* f, const Row& r) { std::fprintf(f, "%d", r.options->analysis.segments); }},
    {"zero_gap",
     [](std::FILE* f, const Row& r) {
         std::fprintf(f, "%g", r.options->analysis.gaps.zero_gap_substitute);
     }},
    {"tessor_classes",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%d", r.options->analysis.tessor_classes); }},
    {"tessor_weight",
     [](std::FILE* f, const Row& r) { std::fprintf(f, "%g", r.options->analysis.tessor_weight); }},
    // Gap and openness.
    {"sky_fraction", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.sky_fraction); }},
    {"site_openness",
     [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.openness.site_openness); }},
    {"canopy_closure",
     [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.openness.canopy_closure); }},
    {"difn", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.difn_percent); }},
    // Effective LAI.
    {"le_miller", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.miller.lai); }},
    {"le_miller_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.miller.se); }},
    {"le_5ring", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.five_ring.lai); }},
    {"le_5ring_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.five_ring.se); }},
    {"le_57", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.hinge.lai); }},
    {"le_57_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.hinge.se); }},
    {"zero_gap_rings",
     [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.result.miller.zero_rings); }},
    {"zero_gap_segments",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.result.miller.zero_segments);
     }},
    // Clumping and the clumping-corrected LAI.
    {"omega_lx", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.lx.omega); }},
    {"l_lx", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.lx.lai); }},
    {"l_lx_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.lx.se); }},
    {"omega_cc", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.cc.omega); }},
    {"l_cc", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.cc.lai); }},
    {"l_cc_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.cc.se); }},
    {"omega_clx", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.clx.omega); }},
    {"l_clx", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.clx.lai); }},
    {"l_clx_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.clx.se); }},
    // The suite's methods on the photograph's grid.
    {"tessor_lai", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.tessor_lai); }},
    {"tessor_ala", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.tessor_ala); }},
    {"tessor_negative",
     [](std::FILE* f, const Row& r) {
         if (r.ok) std::fprintf(f, "%d", r.result.tessor_negative_classes);
     }},
    {"bravik_lai", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_lai); }},
    {"bravik_lai_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_se); }},
    {"bravik_ala", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_ala); }},
    {"bravik_opt_lai", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_opt_lai); }},
    {"bravik_opt_lai_se",
     [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_opt_se); }},
    {"bravik_opt_ala", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_opt_ala); }},
    {"bravik_opt_window",
     [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.bravik_opt_window_deg); }},
    {"quinda_lai_lin", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.quinda_lai_lin); }},
    {"quinda_lai_lin_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.quinda_se); }},
    {"quinda_lai_log", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.quinda_lai_log); }},
    {"quinda_ala", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.quinda_ala); }},
    {"quinda_lin_log", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.quinda_lin_log); }},
    {"zephor_lai", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.zephor_lai); }},
    {"zephor_x", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.zephor_x); }},
    {"zephor_ala", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.zephor_ala); }},
    {"keldro_lai", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.keldro_lai); }},
    {"keldro_lai_se", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.keldro_se); }},
    {"keldro_r2", [](std::FILE* f, const Row& r) { if (r.ok) real(f, r.result.keldro_r2); }},
    // The photograph as read: its format and the bits per sample, the scale of its threshold
    // (0..255 or 0..65535); the rms residual of a disc found (pixels).
    {"format",
     [](std::FILE* f, const Row& r) { if (r.ok) std::fputs(skyimage::format_name(r.info.format), f); }},
    {"bit_depth", [](std::FILE* f, const Row& r) { if (r.ok) std::fprintf(f, "%d", r.info.depth); }},
    {"disc_rms", [](std::FILE* f, const Row& r) { if (r.ok && r.disc_found) real(f, r.fit.rms); }},
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
    std::vector<std::string> fields = {
        gapreport::light_number(s.latitude_deg), gapreport::light_number(row.job->lon_deg),
        gapreport::light_number(s.elevation_m), std::to_string(s.first_day),
        std::to_string(s.last_day)};
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
        for (const std::string& name : light_header(options)) std::fprintf(out, ",%s", name.c_str());
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
                     t.minute % 60, 90.0 - double(t.zenith_deg), double(t.azimuth_deg),
                     visible[k]);
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
                p.conflict = *out + " was already written for another photograph of this batch; "
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
