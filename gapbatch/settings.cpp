// The settings one photograph may carry of its own: the same words as flags on the command line
// and as columns of a manifest.
#include "settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gapbatch {

namespace {

using skyimage::Channel;
using skyimage::ThresholdMethod;

// Reads COUNT comma-separated numbers; integers where INTEGER[k]. The whole text must be used.
bool read_list(const char* text, int count, const bool* integer, double* values) {
    const char* p = text;
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        if (integer[k]) {
            errno = 0;
            const long v = std::strtol(p, &end, 10);
            if (end == p || errno != 0 || v > skyimage::kMaxPointCoordinate ||
                v < -skyimage::kMaxPointCoordinate)
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

}  // namespace

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

bool is_photo_setting(const std::string& name) {
    for (const char* n : {"points", "circle", "find-disc", "lens", "fov", "threshold", "auto",
                          "classified", "channel", "declination", "lat", "lon", "elev", "days"})
        if (name == n) return true;
    return false;
}

bool apply_photo_setting(const std::string& name, const char* value, PhotoJob* job,
                         std::string* why) {
    skyimage::PhotoSettings& photo = job->photo;
    if (name == "points") {
        const bool integer[6] = {true, true, true, true, true, true};
        double v[6];
        if (!read_list(value, 6, integer, v)) {
            *why = "give six whole numbers x1,y1,x2,y2,x3,y3";
            return false;
        }
        skyimage::DiscSetting disc;
        for (int k = 0; k < 6; ++k) disc.points[k] = int(v[k]);
        const int* p = disc.points;
        const skyimage::Circle d = skyimage::circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
        if (d.collinear) {
            *why = "the three points lie on one line";
            return false;
        }
        if (!d.usable || d.w * d.h > skyimage::kMaxPhotoPixels) {
            *why = "the circle through them is smaller than one pixel or larger than 8191 "
                   "pixels of radius";
            return false;
        }
        disc.source = skyimage::DiscSource::kPoints;
        photo.disc = disc;
        job->choices.points = true;
        return true;
    }
    if (name == "circle") {
        const bool integer[3] = {true, true, false};
        double v[3];
        if (!read_list(value, 3, integer, v) || !(v[2] > 0)) {
            *why = "give the centre column and row as whole numbers and a radius above 0, as "
                   "CX,CY,R";
            return false;
        }
        if (!(v[2] <= skyimage::kMaxDiscRadius)) {
            *why = "the radius must be at most 8191 pixels";
            return false;
        }
        skyimage::DiscSetting disc;
        disc.cx = int(v[0]);
        disc.cy = int(v[1]);
        disc.radius = v[2];
        disc.source = skyimage::DiscSource::kCircle;
        photo.disc = disc;
        job->choices.circle = true;
        return true;
    }
    if (name == "lens") {
        const double fov = photo.lens.fov_deg;  // a --fov given before --lens still counts
        if (!skyimage::parse_lens(value, &photo.lens)) {
            *why = "choose equidistant, orthographic, equisolid, stereographic, poly:a1,a2,a3, "
                   "poly-r:A1,A2,A3, poly-r-rad:A1,A2,A3 or a built-in lens (--list-lenses)";
            return false;
        }
        if (!skyimage::has_own_rim(photo.lens)) photo.lens.fov_deg = fov;
        return true;
    }
    if (name == "fov") {
        double fov = 0;
        if (!read_double(value, &fov)) {
            *why = "give a number of degrees";
            return false;
        }
        photo.lens.fov_deg = fov;
        job->choices.fov = true;
        return true;
    }
    if (name == "threshold") {
        if (!read_int(value, -2147483647L - 1, 2147483647L, &photo.threshold)) {
            *why = "give a whole number";
            return false;
        }
        // The widest scale a photograph may have; a photograph's own is checked against its
        // header before any is analysed.
        if (const char* range = skyimage::threshold_problem(photo.threshold, 16)) {
            *why = range;
            return false;
        }
        photo.method = ThresholdMethod::kFixed;
        ++job->choices.thresholds;
        return true;
    }
    if (name == "auto") {
        if (std::strcmp(value, "ridler") == 0) {
            photo.method = ThresholdMethod::kRidler;
        } else if (std::strcmp(value, "otsu") == 0) {
            photo.method = ThresholdMethod::kOtsu;
        } else if (std::strcmp(value, "minimum") == 0) {
            photo.method = ThresholdMethod::kMinimum;
        } else {
            *why = "choose ridler, otsu or minimum";
            return false;
        }
        ++job->choices.thresholds;
        return true;
    }
    if (name == "find-disc") {  // a flag on the command line; yes or no in a manifest
        if (std::strcmp(value, "yes") == 0 || std::strcmp(value, "1") == 0) {
            photo.disc = skyimage::DiscSetting{};
            photo.disc.source = skyimage::DiscSource::kFound;
            job->choices.find_disc = true;
            return true;
        }
        if (std::strcmp(value, "no") == 0 || std::strcmp(value, "0") == 0) {
            if (photo.disc.source == skyimage::DiscSource::kFound) photo.disc = skyimage::DiscSetting{};
            return true;
        }
        *why = "write yes or no";
        return false;
    }
    if (name == "classified") {  // a flag on the command line; yes or no in a manifest
        if (std::strcmp(value, "yes") == 0 || std::strcmp(value, "1") == 0) {
            photo.method = ThresholdMethod::kClassified;
            ++job->choices.thresholds;
            return true;
        }
        if (std::strcmp(value, "no") == 0 || std::strcmp(value, "0") == 0) return true;
        *why = "give yes or no";
        return false;
    }
    if (name == "channel") {
        job->choices.channel = true;
        if (std::strcmp(value, "blue") == 0) {
            photo.channel = Channel::kBlue;
        } else if (std::strcmp(value, "green") == 0) {
            photo.channel = Channel::kGreen;
        } else if (std::strcmp(value, "red") == 0) {
            photo.channel = Channel::kRed;
        } else if (std::strcmp(value, "luma") == 0) {
            photo.channel = Channel::kLuma;
        } else {
            *why = "choose blue, green, red or luma";
            return false;
        }
        return true;
    }
    if (name == "declination") {
        if (!read_double(value, &photo.declination) || std::fabs(photo.declination) > 180) {
            *why = "give degrees from -180 (West) to 180 (East)";
            return false;
        }
        return true;
    }
    if (name == "lat" || name == "lon" || name == "elev" || name == "days") {
        const std::string want = light::apply_setting(name, value, &job->light, &job->lon_deg);
        if (!want.empty()) {
            *why = "expected " + want;
            return false;
        }
        if (name == "lat") job->choices.lat = true;
        if (name == "lon") job->choices.lon = true;
        if (name == "elev") job->choices.elev = true;
        return true;
    }
    *why = name + " is no setting of a photograph";
    return false;
}

bool apply_site(const char* value, PhotoJob* job, std::string* why) {
    double v[3] = {0, 0, 0};
    char extra = 0;
    const int got = std::sscanf(value, "%lf,%lf,%lf%c", &v[0], &v[1], &v[2], &extra);
    if (got != 2 && got != 3) {
        *why = "give the latitude and longitude in degrees, and optionally the elevation in "
               "metres, as LAT,LON[,ELEV]";
        return false;
    }
    const char* names[3] = {"lat", "lon", "elev"};
    char text[64];
    for (int k = 0; k < got; ++k) {
        std::snprintf(text, sizeof text, "%.17g", v[k]);
        if (!apply_photo_setting(names[k], text, job, why)) return false;
    }
    return true;
}

std::string photo_settings_problem(const PhotoJob& job) {
    if (int(job.choices.points) + int(job.choices.circle) + int(job.choices.find_disc) > 1)
        return "give the sky disc by one of --points, --circle and --find-disc";
    if (job.choices.thresholds > 1) return "choose one of --threshold, --auto and --classified";
    if (job.choices.fov && skyimage::has_own_rim(job.photo.lens))
        return "--fov does not apply to a calibrated lens, whose rim angle is its own";
    if (const char* why = skyimage::lens_problem(job.photo.lens)) {
        char text[120];
        skyimage::describe_lens(job.photo.lens, text, sizeof text);
        return std::string("lens ") + text + ": " + why;
    }
    if (job.choices.lat != job.choices.lon)
        return "a site needs both its latitude and its longitude";
    if (job.choices.elev && !job.choices.lat)
        return "an elevation needs the site's latitude and longitude";
    return std::string();
}

std::string photo_header_problem(const PhotoJob& job, const skyimage::PhotoInfo& info) {
    const skyimage::PhotoSettings& photo = job.photo;
    if (photo.method == skyimage::ThresholdMethod::kFixed) {
        if (const char* why = skyimage::threshold_problem(photo.threshold, info.depth))
            return "--threshold " + std::to_string(photo.threshold) + ": " + why + " (" +
                   skyimage::format_name(info.format) + ", " + std::to_string(info.depth) +
                   " bits)";
    }
    if (const char* why = skyimage::channel_problem(photo.channel, job.choices.channel, info))
        return why;
    return std::string();
}

}  // namespace gapbatch
