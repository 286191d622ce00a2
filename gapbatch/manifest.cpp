// A manifest: one row per photograph with its own settings, read before any photograph.
#include "manifest.h"

#include <cstdio>

#include "csv.h"
#include "fileio/fileio.h"

namespace gapbatch {

namespace {

bool blank(const std::vector<std::string>& fields) {
    for (const std::string& f : fields)
        if (!f.empty()) return false;
    return true;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool read_manifest(const char* path, const PhotoJob& defaults, std::vector<PhotoJob>* jobs,
                   std::string* why) {
    jobs->clear();
    fileio::InputFile in = fileio::open_input(path);
    if (!in) {
        *why = in.message();
        return false;
    }
    auto refuse = [&](const std::string& text) {
        *why = std::string(path) + ": " + text;
        return false;
    };
    std::vector<std::string> header, fields;
    bool quote_open = false;
    if (!read_record(in.get(), &header, &quote_open) || blank(header))
        return refuse("the manifest has no header row");
    int photo_column = -1;
    for (std::size_t k = 0; k < header.size(); ++k) {
        const std::string& name = header[k];
        if (name == "photo") {
            if (photo_column >= 0) return refuse("the column photo appears twice");
            photo_column = int(k);
        } else if (!is_photo_setting(name)) {
            return refuse("column " + std::to_string(k + 1) + " (" + name +
                          ") is no setting of a photograph: the columns are photo, points, "
                          "circle, find-disc, lens, fov, threshold, auto, classified, "
                          "channel, declination, lat, lon, elev and days");
        }
        for (std::size_t j = 0; j < k; ++j)
            if (header[j] == name && name != "photo")
                return refuse("the column " + name + " appears twice");
    }
    if (photo_column < 0) return refuse("the manifest has no column photo");
    const std::string folder = folder_of(path);
    int row = 0;
    while (read_record(in.get(), &fields, &quote_open)) {
        ++row;
        if (quote_open) return refuse("row " + std::to_string(row) + " ends inside quotes");
        if (blank(fields)) continue;
        if (fields.size() > header.size())
            return refuse("row " + std::to_string(row) + " has more fields than the header");
        fields.resize(header.size());
        PhotoJob job = defaults;
        const std::string& photo = fields[std::size_t(photo_column)];
        if (photo.empty()) return refuse("row " + std::to_string(row) + " names no photo");
        job.path = photo[0] == '/' ? photo : folder + photo;
        // A cell replaces the flag it names: a row's circle replaces the flags' points, its
        // threshold their automatic method.
        for (std::size_t k = 0; k < header.size(); ++k) {
            if (fields[k].empty() || int(k) == photo_column) continue;
            const std::string& name = header[k];
            if (name == "points" || name == "circle" || name == "find-disc")
                job.choices.points = job.choices.circle = job.choices.find_disc = false;
            if (name == "threshold" || name == "auto" || name == "classified")
                job.choices.thresholds = 0;
        }
        for (std::size_t k = 0; k < header.size(); ++k) {
            if (int(k) == photo_column || fields[k].empty()) continue;
            std::string problem;
            if (!apply_photo_setting(header[k], fields[k].c_str(), &job, &problem))
                return refuse("row " + std::to_string(row) + ", column " + header[k] + " (" +
                              fields[k] + "): " + problem);
        }
        const std::string problem = photo_settings_problem(job);
        if (!problem.empty()) return refuse("row " + std::to_string(row) + ": " + problem);
        jobs->push_back(job);
    }
    if (jobs->empty()) return refuse("the manifest names no photo");
    return true;
}

}  // namespace gapbatch
