// gapbatch: analyses many hemispherical photographs from a script, without questions.
//
//   gapbatch [options] PHOTO...
//
// For every photograph: the sky disc, an objective or fixed threshold, the gap fraction of
// every sky cell written to STEM.gapfract.txt, and one CSV summary row. See --help.
#include "gapbatch.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>

#include "batch.h"
#include "gapreport/gapreport.h"
#include "skyimage/photo.h"

namespace {

// "photo k of n, x photos/s" on standard error, rewritten in place; only on a terminal.
class Progress {
   public:
    Progress(bool on, std::size_t total, std::FILE* err, std::FILE* out)
        : on_(on && total > 1 && isatty(fileno(err)) == 1),
          err_(err),
          out_(out),
          total_(total),
          start_(std::chrono::steady_clock::now()) {}
    void done(std::size_t k) {
        if (!on_) return;
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - start_;
        std::fflush(out_);  // rows first, so the line is not torn by them
        shown_ = std::fprintf(err_, "\rphoto %zu of %zu, %.1f photos/s", k, total_,
                              s.count() > 0 ? double(k) / s.count() : 0.0);
    }
    // Blanks the line so that a summary row or a message starts at the left margin.
    void clear() {
        if (shown_ > 0) std::fprintf(err_, "\r%*s\r", shown_, "");
        shown_ = 0;
    }
    // Leaves the last count and rate on a line of their own.
    void finish() {
        if (shown_ > 0) std::fputc('\n', err_);
        shown_ = 0;
    }

   private:
    bool on_;
    std::FILE* err_;
    std::FILE* out_;
    std::size_t total_;
    std::chrono::steady_clock::time_point start_;
    int shown_ = 0;  // width of the line on screen
};

}  // namespace

int run_gapbatch(int argc, char** argv, const cli::Io& io) {
    const int asked =
        cli::help_or_version(argc, argv, io, gapbatch::write_help,
                             "Photograph formats read: " + skyimage::compiled_readers() + "\n");
    if (asked >= 0) return asked;
    gapbatch::Options options;
    char problem[gapbatch::kMessageSize];
    if (!gapbatch::parse_options(argc, argv, &options, problem)) {
        std::fprintf(io.err, "%s\n", gapreport::kBanner);
        std::fprintf(io.err, "%s: %s\n", argv[0], problem);
        gapbatch::write_usage(io.err, argv[0]);
        return 1;
    }
    if (options.help) {
        gapbatch::write_help(io.out, argv[0]);
        return 0;
    }
    for (const char* folder : {options.out_dir, options.overlay_dir}) {
        if (folder != nullptr && !gapbatch::make_folder(folder))
            return cli::refuse(io, folder, "cannot create the folder");
    }
    std::FILE* summary = io.out;
    if (options.summary != nullptr) {
        summary = std::fopen(options.summary, "w");
        if (summary == nullptr)
            return cli::refuse(io, options.summary, "cannot create the summary file");
    }
    gapbatch::write_summary_header(summary);

    options.photo.overlay = options.overlay != nullptr || options.overlay_dir != nullptr;
    skyimage::Workspace work;
    skyimage::PhotoResult result;
    std::set<std::string> written;
    Progress progress(!options.quiet, options.photos.size(), io.err, io.out);
    int failed = 0;
    for (std::size_t k = 0; k < options.photos.size(); ++k) {
        const char* path = options.photos[k];
        gapbatch::Row row;
        row.photo = path;
        std::string why = gapbatch::output_conflict(path, options, written);
        bool ok = why.empty() && skyimage::process_photo(path, options.photo, &work, &result, &why) &&
                  gapbatch::write_outputs(path, options, result, &written, &why);
        progress.clear();
        if (!ok) {
            cli::refuse(io, path, "%s", why.c_str());
            ++failed;
        } else {
            row = gapbatch::make_row(path, options, result);
            if (result.outside > 0) {
                cli::refuse(io, path,
                            "%lld pixels of the sky disc lie beyond the photograph and count as "
                            "canopy",
                            static_cast<long long>(result.outside));
            }
        }
        gapbatch::write_summary_row(summary, row);
        progress.done(k + 1);
    }
    progress.finish();
    int status = 0;
    if (summary != io.out) {
        status = cli::close_report(summary, options.summary, io);
    } else if (std::fflush(io.out) != 0 || std::ferror(io.out) != 0) {
        cli::refuse(io, "standard output", "cannot write the summary");
        status = 1;
    }
    return failed > 0 || status != 0 ? 1 : 0;
}
