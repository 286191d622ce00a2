// gapbatch's front end: the command line, the output files of one photograph and the summary
// table. The analysis itself is skyimage::process_photo.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "fileio/fileio.h"
#include "gapdata/gapdata.h"
#include "settings.h"
#include "skyimage/analysis.h"
#include "structure/structure.h"
#include "sunfleck/sunfleck.h"

namespace gapbatch {

struct Options {
    PhotoJob defaults;  // every photograph's settings, unless its manifest row differs; the grid
                        // (rings, sectors) is the batch's
    structure::Settings analysis;  // the methods' settings; its grid is the photographs'
    const char* out_dir = nullptr;
    const char* summary = nullptr;
    const char* rings_csv = nullptr;
    const char* overlay = nullptr;
    const char* overlay_dir = nullptr;
    const char* sun_track = nullptr;  // the minute series of the sun over every photograph
    const char* report = nullptr;     // the folder of the batch page
    bool par = false;                 // the light columns par_above and par_below
    // Set once the photographs are listed: some photograph has a site, so the summary carries
    // the light columns.
    bool light_columns = false;
    const char* manifest = nullptr;
    bool recursive = false;
    int jobs = 0;  // threads; 0: one per processor
    int shard = 1, shards = 1;  // --shard K/N: every N-th photograph from the K-th
    bool merge = false;         // the arguments are summaries to join
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool list_lenses = false;
    std::vector<const char*> args;  // photographs and folders, or the summaries to merge
};

constexpr int kMessageSize = 400;

// Reads the command line. Returns false with a one-line reason in PROBLEM when it cannot be
// used (an unknown option, a value out of range, conflicting options, nothing to analyse).
bool parse_options(int argc, char** argv, Options* options, char (&problem)[kMessageSize]);

// The photographs of the batch in order, each with its settings: the manifest's rows, or the
// arguments with every folder replaced by its photographs (sorted; in its subfolders too with
// --recursive), numbered from 1; with --shard only this shard's. False with one line in WHY.
bool list_photos(const Options& options, std::vector<PhotoJob>* jobs, std::string* why);

void write_usage(std::FILE* out, const char* argv0);
// --list-lenses: every built-in lens with its formula, coefficients, camera and source.
void write_lens_list(std::FILE* out);
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
    const PhotoJob* job = nullptr;
    int width = 0, height = 0;
    skyimage::PhotoInfo info;
    skyimage::Circle disc;
    bool disc_found = false;
    skyimage::DiscFit fit;
    bool has_threshold = false;
    int threshold = 0;
    std::int64_t sky_pixels = 0, disc_pixels = 0;
    structure::Result result;
    const sunfleck::PhotoLight* light = nullptr;  // under the photograph's site, when it has one
};
// The row of a photograph analysed with OPTIONS; LIGHT null when it has no site.
Row make_row(const PhotoJob& job, const Options& options, const skyimage::PhotoResult& photo,
             const structure::Result& result, const sunfleck::PhotoLight* light = nullptr);
// What a user should know about an analysed photograph, one line each: a sky disc assumed
// rather than given or found, disc pixels beyond the photograph.
std::vector<std::string> warnings(const PhotoJob& job, const skyimage::PhotoResult& photo);
// The row of a photograph that failed.
Row failed_row(const PhotoJob& job, const Options& options, const std::string& why);
// The header; the light columns follow the others when options.light_columns.
void write_summary_header(std::FILE* out, const Options& options);
// A CSV field, quoted when it holds a comma, a quote or a line end.
void write_csv_field(std::FILE* out, const std::string& text);
void write_summary_row(std::FILE* out, const Row& row);
// The columns as the header names them, each with a one-line definition.
std::vector<std::pair<std::string, std::string>> summary_columns(const Options& options);
// One row's fields as written, without CSV quotes.
std::vector<std::string> summary_fields(const Row& row);

// The sun's minute series of every photograph with a site (--sun-track): photo, day,
// solar_time (HH:MM), altitude and azimuth (degrees), visible (1 when the sun is seen).
void write_sun_track_header(std::FILE* out);
void write_sun_track_rows(std::FILE* out, const Row& row);

// The per-ring table: one row per photograph and ring in use.
void write_rings_header(std::FILE* out);
void write_rings_rows(std::FILE* out, const Row& row);

// The batch's inputs (photographs, manifest), to refuse an output that is one of them: by device
// and inode, or for a file not there yet by its resolved folder and name.
class InputSet {
  public:
    void add(const std::string& path);
    bool holds(const std::string& path) const;

  private:
    std::set<std::pair<unsigned long long, unsigned long long>> ids_;
    std::set<std::string> names_;
};

// The output files of one photograph, and the reason they are not written when one of them is
// an input of the batch or another photograph's output (the first photograph keeps it).
struct PlannedOutputs {
    std::string gap;      // STEM.gapfract.txt
    std::string overlay;  // empty without --overlay or --overlay-dir
    std::string conflict;
};
std::vector<PlannedOutputs> plan_outputs(const std::vector<PhotoJob>& jobs, const Options& options,
                                         const InputSet& inputs);

// Writes the gap-fraction file (and the overlay) of one analysed photograph, each replaced
// whole (written to a temporary beside it, renamed when complete). Returns false with the
// reason in PROBLEM; the earlier files are then as they were.
bool write_outputs(const PlannedOutputs& planned, const skyimage::PhotoResult& result,
                   fileio::CleanupRegistry* registry, std::string* problem);

}  // namespace gapbatch
