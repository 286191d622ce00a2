// gapbatch: analyses many hemispherical photographs from a script, without questions.
//
//   gapbatch [options] PHOTO...
//
// For every photograph: the sky disc, an objective or fixed threshold, the gap fraction of
// every sky cell written to STEM.gapfract.txt, and one CSV summary row. See --help.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "batch.h"

namespace {

// "photo k of n, x photos/s" on standard error, rewritten in place; only on a terminal.
class Progress {
   public:
    Progress(bool on, std::size_t total)
        : on_(on && total > 1 && isatty(STDERR_FILENO) == 1),
          total_(total),
          start_(std::chrono::steady_clock::now()) {}
    void done(std::size_t k) {
        if (!on_) return;
        const std::chrono::duration<double> s = std::chrono::steady_clock::now() - start_;
        std::fflush(stdout);  // rows first, so the line is not torn by them
        shown_ = std::fprintf(stderr, "\rphoto %zu of %zu, %.1f photos/s", k, total_,
                              s.count() > 0 ? double(k) / s.count() : 0.0);
    }
    // Blanks the line so that a summary row or a message starts at the left margin.
    void clear() {
        if (shown_ > 0) std::fprintf(stderr, "\r%*s\r", shown_, "");
        shown_ = 0;
    }
    // Leaves the last count and rate on a line of their own.
    void finish() {
        if (shown_ > 0) std::fputc('\n', stderr);
        shown_ = 0;
    }

   private:
    bool on_;
    std::size_t total_;
    std::chrono::steady_clock::time_point start_;
    int shown_ = 0;  // width of the line on screen
};

}  // namespace

int main(int argc, char** argv) {
    gapbatch::Options options;
    char problem[gapbatch::kMessageSize];
    if (!gapbatch::parse_options(argc, argv, &options, problem)) {
        std::fprintf(stderr, "%s\n", gapdata::kBanner);
        std::fprintf(stderr, "%s: %s\n", argv[0], problem);
        gapbatch::write_usage(stderr, argv[0]);
        return 1;
    }
    if (options.help) {
        gapbatch::write_help(stdout, argv[0]);
        return 0;
    }
    for (const char* folder : {options.out_dir, options.overlay_dir}) {
        if (folder != nullptr && !gapbatch::make_folder(folder)) {
            gapdata::refuse(folder, "cannot create the folder");
            return 1;
        }
    }
    std::FILE* summary = stdout;
    if (options.summary != nullptr) {
        summary = std::fopen(options.summary, "w");
        if (summary == nullptr) {
            gapdata::refuse(options.summary, "cannot create the summary file");
            return 1;
        }
    }
    gapbatch::write_summary_header(summary);

    static gapbatch::Workspace work;
    Progress progress(!options.quiet, options.photos.size());
    int failed = 0;
    for (std::size_t k = 0; k < options.photos.size(); ++k) {
        const char* path = options.photos[k];
        gapbatch::Row row;
        char warning[gapbatch::kMessageSize];
        const bool ok = gapbatch::process_photo(options, path, &work, &row, problem, warning);
        progress.clear();
        if (!ok) {
            gapdata::refuse(path, "%s", problem);
            ++failed;
        } else if (warning[0] != '\0') {
            gapdata::refuse(path, "%s", warning);
        }
        gapbatch::write_summary_row(summary, row);
        progress.done(k + 1);
    }
    progress.finish();
    int status = 0;
    if (summary != stdout) {
        status = gapdata::close_report(summary, options.summary);
    } else if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        gapdata::refuse("standard output", "cannot write the summary");
        status = 1;
    }
    return failed > 0 || status != 0 ? 1 : 0;
}
