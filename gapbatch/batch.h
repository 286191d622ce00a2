// gapbatch's front end: the command line, the output files of one photograph and the summary
// table. The analysis itself is skyimage::process_photo.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "skyimage/analysis.h"
#include "structure/structure.h"

namespace gapbatch {

struct Options {
    skyimage::PhotoSettings photo;  // disc, lens, threshold, channel, grid, declination
    structure::Settings analysis;   // the methods' settings; its grid is the photo's
    bool fov_given = false;
    const char* out_dir = nullptr;
    const char* summary = nullptr;
    const char* rings_csv = nullptr;
    const char* overlay = nullptr;
    const char* overlay_dir = nullptr;
    bool quiet = false;
    bool help = false;
    std::vector<const char*> photos;
};

constexpr int kMessageSize = 400;

// Reads the command line. Returns false with a one-line reason in PROBLEM when it cannot be
// used (an unknown option, a value out of range, conflicting options, no photograph).
bool parse_options(int argc, char** argv, Options* options, char (&problem)[kMessageSize]);

void write_usage(std::FILE* out, const char* argv0);
void write_help(std::FILE* out, const char* argv0);

// Makes folder PATH (one level) unless it exists. Returns false when it neither exists as a
// folder nor can be made.
bool make_folder(const char* path);

// "<stem>.gapfract.txt" (or another suffix) in DIR, or beside the photograph when DIR is null.
std::string output_path(const char* photo, const char* dir, const char* suffix);

// One summary row. A failed photograph has its name, the settings and the message only.
struct Row {
    std::string photo;
    bool ok = false;
    std::string message;  // why the photograph failed, or a warning; empty otherwise
    const Options* options = nullptr;
    int width = 0, height = 0;
    skyimage::Circle disc;
    bool has_threshold = false;
    int threshold = 0;
    std::int64_t sky_pixels = 0, disc_pixels = 0;
    structure::Result result;
};
// The row of a photograph analysed with OPTIONS.
Row make_row(const char* path, const Options& options, const skyimage::PhotoResult& photo,
             const structure::Result& result);
// The row of a photograph that failed.
Row failed_row(const char* path, const Options& options, const std::string& why);
void write_summary_header(std::FILE* out);
void write_summary_row(std::FILE* out, const Row& row);

// The per-ring table: one row per photograph and ring in use.
void write_rings_header(std::FILE* out);
void write_rings_rows(std::FILE* out, const Row& row);

// Writes the gap-fraction file (and the overlay) of one analysed photograph; WRITTEN holds the
// output files of this run, so that none is overwritten. Returns false with the reason in
// PROBLEM.
bool write_outputs(const char* path, const Options& options, const skyimage::PhotoResult& result,
                   std::set<std::string>* written, std::string* problem);

// The output files of PATH that would land on the photograph itself or on a file already
// written in this run: the reason, or empty.
std::string output_conflict(const char* path, const Options& options,
                            const std::set<std::string>& written);

}  // namespace gapbatch
