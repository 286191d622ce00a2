// gapbatch: the settings one photograph may carry of its own, the same words as flags on the
// command line (--points, --circle, --lens, ...) and as columns of a manifest (points, circle,
// lens, ...).
#pragma once

#include <string>

#include "light/light.h"
#include "skyimage/analysis.h"

namespace gapbatch {

// Which settings were given, to tell conflicts apart from defaults.
struct Choices {
    bool points = false, circle = false, find_disc = false, fov = false;
    bool channel = false;  // a channel asked for, not the default
    int thresholds = 0;  // --threshold, --auto, --classified given
    bool lat = false, lon = false, elev = false;
};

// One photograph to analyse, with its own settings.
struct PhotoJob {
    std::string path;
    std::size_t index = 0;  // its place in the whole batch, from 1
    skyimage::PhotoSettings photo;
    // The light model's settings: the site (latitude, elevation) and the period are the
    // photograph's own, the rest the batch's.
    light::Settings light;
    double lon_deg = 0;  // names the site only: the model's times are solar
    Choices choices;
    bool has_site() const { return choices.lat && choices.lon; }
};

// True for the names of the settings a photograph may carry of its own: points, circle,
// find-disc, lens, fov, threshold, auto, classified, channel, declination, lat, lon, elev, days.
bool is_photo_setting(const std::string& name);

// Applies the setting NAME (without dashes) with VALUE as written on the command line. False
// with the reason in WHY (without the setting's name) when VALUE cannot be used.
bool apply_photo_setting(const std::string& name, const char* value, PhotoJob* job,
                         std::string* why);

// --site LAT,LON[,ELEV]: the settings lat, lon and elev.
bool apply_site(const char* value, PhotoJob* job, std::string* why);

// Why the photograph's settings taken together cannot be used (two discs, two thresholds, a
// lens that does not rise from the centre to the rim, half a site), or empty.
std::string photo_settings_problem(const PhotoJob& job);

// Why PHOTO's settings cannot be used with the photograph as its header describes it (a fixed
// threshold beyond its depth's range, a colour channel a grey photograph lacks), or empty.
std::string photo_header_problem(const PhotoJob& job, const skyimage::PhotoInfo& info);

// Whole numbers and finite numbers, the whole text used.
bool read_int(const char* text, long lo, long hi, int* value);
bool read_double(const char* text, double* value);

}  // namespace gapbatch
