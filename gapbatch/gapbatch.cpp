// gapbatch: analyses many hemispherical photographs from a script, without questions.
//
//   gapbatch [options] PHOTO...
//
// For every photograph: the sky disc, an objective or fixed threshold, the gap fraction of
// every sky cell written to STEM.gapfract.txt, and one CSV summary row. See --help.
#include "gapbatch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "batch.h"
#include "csv.h"
#include "report.h"
#include "fileio/fileio.h"
#include "gapreport/gapreport.h"
#include "skyimage/photo.h"
#include "sunfleck/sunfleck.h"

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


// What the analysis of one photograph gave.
struct Outcome {
    bool ok = false;
    std::string why;
    skyimage::PhotoResult photo;
    structure::Result analysis;
    bool has_light = false;
    sunfleck::PhotoLight light;
    bool has_page = false;
    htmlreport::Analysis page;  // the photograph's part of the batch page
};

// What a worker keeps from one photograph to the next.
struct Worker {
    skyimage::Workspace work;
    sunfleck::Tables tables;  // the sun's tables for the last site and camera
};

// Analyses one photograph with a worker's own workspace. Never throws: a photograph that needs
// more memory than there is fails alone.
void analyse(const gapbatch::PhotoJob& job, const gapbatch::Options& o, Worker* worker,
             Outcome* out) {
    skyimage::Workspace* work = &worker->work;
    try {
        out->ok = skyimage::process_photo(job.path.c_str(), job.photo, work, &out->photo, &out->why);
        if (out->ok) {
            const structure::Samples samples =
                structure::sample_photo(out->photo.view, job.photo.lens, job.photo.declination,
                                        o.analysis, &out->photo.counts);
            out->analysis = structure::analyse(out->photo.counts, samples, o.analysis);
        }
        if (out->ok && job.has_site()) {
            // The working image as the counts saw it.
            const skyimage::ImageView view = skyimage::image_view_of(out->photo.view);
            out->light = sunfleck::photo_light(job.light, out->photo.counts, view, job.photo.lens,
                                               job.photo.declination,
                                               o.sun_track != nullptr || o.report != nullptr,
                                               &worker->tables);
            out->has_light = true;
        }
        if (out->ok && o.report != nullptr) {
            out->page = gapbatch::report_analysis(job, work->photo, out->photo, out->analysis,
                                                  out->has_light ? &out->light : nullptr);
            out->has_page = true;
            // The track was kept for the page; the summary needs it only with --sun-track.
            if (o.sun_track == nullptr) {
                out->light.track.reset();
                out->light.visible.clear();
            }
        }
    } catch (const std::bad_alloc&) {
        *out = Outcome{};
        out->why = "not enough memory to analyse this photograph";
    }
}

// The photographs analysed on THREADS threads, handed to WRITE one by one in input order. A
// worker runs at most WINDOW photographs ahead of the one written last, so that finished
// photographs do not pile up behind a slow one.
template <typename Write>
void run_batch(const std::vector<gapbatch::PhotoJob>& jobs,
               const std::vector<gapbatch::PlannedOutputs>& plan, const gapbatch::Options& o,
               int threads, Write write) {
    const std::size_t n = jobs.size();
    std::vector<std::unique_ptr<Outcome>> outcomes(n);
    auto prepare = [&](std::size_t k, Worker* work) {
        auto out = std::make_unique<Outcome>();
        if (!plan[k].conflict.empty())
            out->why = plan[k].conflict;
        else
            analyse(jobs[k], o, work, out.get());
        return out;
    };
    if (threads <= 1 || n <= 1) {
        Worker work;
        for (std::size_t k = 0; k < n; ++k) write(k, *prepare(k, &work));
        return;
    }
    const std::size_t window = 4 * std::size_t(threads);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, written = 0;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            Worker work;
            for (;;) {
                std::size_t k;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    changed.wait(lock, [&] { return next >= n || next < written + window; });
                    if (next >= n) return;
                    k = next++;
                }
                std::unique_ptr<Outcome> out = prepare(k, &work);
                std::lock_guard<std::mutex> lock(mutex);
                outcomes[k] = std::move(out);
                changed.notify_all();
            }
        });
    }
    for (std::size_t k = 0; k < n; ++k) {
        std::unique_ptr<Outcome> out;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return outcomes[k] != nullptr; });
            out = std::move(outcomes[k]);
        }
        write(k, *out);
        std::lock_guard<std::mutex> lock(mutex);
        written = k + 1;
        changed.notify_all();
    }
    for (std::thread& t : pool) t.join();
}

// --merge: the summaries of shards joined into one, in the photographs' order (their index
// column), refused when their headers differ or an index appears twice.
int merge_summaries(const gapbatch::Options& o, const cli::Io& io) {
    for (const char* path : o.args) {
        if (o.summary != nullptr && fileio::same_file(o.summary, path))
            return cli::refuse(io, o.summary, "is one of the summaries to merge; not overwritten");
    }
    std::vector<std::string> header;
    std::vector<std::pair<long long, std::vector<std::string>>> rows;
    for (const char* path : o.args) {
        fileio::InputFile in = fileio::open_input(path, fileio::Dash::kStandardInput);
        if (!in) return cli::refuse(io, in.message());
        std::vector<std::string> fields;
        bool open_quote = false;
        if (!gapbatch::read_record(in.get(), &fields, &open_quote))
            return cli::refuse(io, path, "holds no summary header");
        if (header.empty()) {
            header = fields;
        } else if (fields != header) {
            return cli::refuse(io, path,
                               "its columns differ from those of %s; only summaries of one "
                               "gapbatch version and settings layout can be merged",
                               o.args[0]);
        }
        const auto at = std::find(header.begin(), header.end(), "index");
        if (at == header.end()) return cli::refuse(io, path, "the summary has no index column");
        const std::size_t column = std::size_t(at - header.begin());
        while (gapbatch::read_record(in.get(), &fields, &open_quote)) {
            if (open_quote) return cli::refuse(io, path, "a row ends inside quotes");
            if (fields.size() == 1 && fields[0].empty()) continue;
            if (fields.size() != header.size())
                return cli::refuse(io, path, "a row has %zu fields, the header %zu", fields.size(),
                                   header.size());
            char* end = nullptr;
            const long long index = std::strtoll(fields[column].c_str(), &end, 10);
            if (end == fields[column].c_str() || *end != '\0' || index < 1)
                return cli::refuse(io, path, "a row has no photograph index");
            rows.emplace_back(index, fields);
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t k = 1; k < rows.size(); ++k)
        if (rows[k].first == rows[k - 1].first)
            return cli::refuse(io, "--merge", "the photograph of index %lld appears twice",
                               rows[k].first);
    std::unique_ptr<fileio::AtomicFile> file;
    std::FILE* out = io.out;
    if (o.summary != nullptr) {
        file = std::make_unique<fileio::AtomicFile>(o.summary, io.cleanup);
        if (!file->ok()) return cli::refuse(io, file->message());
        out = file->file();
    }
    auto line = [out](const std::vector<std::string>& fields) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k > 0) std::fputc(',', out);
            gapbatch::write_csv_field(out, fields[k]);
        }
        std::fputc('\n', out);
    };
    line(header);
    for (const auto& row : rows) line(row.second);
    if (file != nullptr) return file->commit() ? 0 : cli::refuse(io, file->message());
    if (std::fflush(out) != 0 || std::ferror(out) != 0)
        return cli::refuse(io, "standard output", "cannot write the summary");
    return 0;
}

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
    if (options.version) {
        std::fprintf(io.out, "gapbatch (%s)\nphotographs read: %s\n", gapreport::kBanner,
                     skyimage::compiled_readers().c_str());
        return 0;
    }
    if (options.list_lenses) {
        gapbatch::write_lens_list(io.out);
        return 0;
    }
    if (options.merge) return merge_summaries(options, io);

    std::vector<gapbatch::PhotoJob> jobs;
    std::string why;
    if (!gapbatch::list_photos(options, &jobs, &why)) return cli::refuse(io, why);
    // Settings a photograph cannot take are refused before any is analysed: its header says
    // its depth and whether it has colour. Only the photographs such a setting may not fit are
    // opened; one that cannot be read fails alone later.
    for (const gapbatch::PhotoJob& job : jobs) {
        const bool wide_threshold = job.photo.method == skyimage::ThresholdMethod::kFixed &&
                                    job.photo.threshold > 255;
        if (!wide_threshold && !job.choices.channel) continue;
        skyimage::PhotoInfo info;
        char problem_text[skyimage::kPhotoProblemSize];
        if (!skyimage::probe_photo(job.path.c_str(), &info, problem_text)) continue;
        const std::string unfit = gapbatch::photo_header_problem(job, info);
        if (!unfit.empty()) return cli::refuse(io, job.path.c_str(), "%s", unfit.c_str());
    }
    options.light_columns = std::any_of(jobs.begin(), jobs.end(),
                                        [](const gapbatch::PhotoJob& j) { return j.has_site(); });
    if (options.sun_track != nullptr && !options.light_columns)
        return cli::refuse(io, "--sun-track",
                           "no photograph has a site: give --site LAT,LON or the manifest "
                           "columns lat and lon");

    // Nothing is opened for writing before every output is known not to be an input.
    gapbatch::InputSet inputs;
    for (const gapbatch::PhotoJob& job : jobs) inputs.add(job.path);
    if (options.manifest != nullptr) inputs.add(options.manifest);
    const char* const tables[] = {options.summary, options.rings_csv, options.sun_track};
    for (const char* path : tables) {
        if (path == nullptr) continue;
        if (inputs.holds(path))
            return cli::refuse(io, path, "is one of the inputs of this batch; not overwritten");
        const fileio::Status st = fileio::check_output(path);
        if (!st) return cli::refuse(io, st.message);
    }
    for (std::size_t a = 0; a < 3; ++a)
        for (std::size_t b = a + 1; b < 3; ++b)
            if (tables[a] != nullptr && tables[b] != nullptr &&
                fileio::same_file(tables[a], tables[b]))
                return cli::refuse(io, tables[b], "is named for two of the tables of this batch");
    for (const char* folder : {options.out_dir, options.overlay_dir}) {
        if (folder != nullptr && !gapbatch::make_folder(folder))
            return cli::refuse(io, folder, "cannot create the folder");
    }
    const std::vector<gapbatch::PlannedOutputs> plan =
        gapbatch::plan_outputs(jobs, options, inputs);
    std::unique_ptr<htmlreport::ReportWriter> page;
    if (options.report != nullptr) {
        const std::string index = std::string(options.report) + "/index.html";
        if (inputs.holds(index))
            return cli::refuse(io, index.c_str(), "is one of the inputs of this batch; not overwritten");
        page = std::make_unique<htmlreport::ReportWriter>(options.report);
        if (!page->ok()) return cli::refuse(io, page->message());
    }

    // The temporaries are removed on a signal when main_of installed its handlers.
    fileio::CleanupRegistry own_registry;
    fileio::CleanupRegistry& registry = io.cleanup != nullptr ? *io.cleanup : own_registry;
    std::unique_ptr<fileio::AtomicFile> summary_file, rings_file, track_file;
    std::FILE* summary = io.out;
    if (options.summary != nullptr) {
        summary_file = std::make_unique<fileio::AtomicFile>(options.summary, &registry);
        if (!summary_file->ok()) return cli::refuse(io, summary_file->message());
        summary = summary_file->file();
    }
    std::FILE* rings = nullptr;
    if (options.rings_csv != nullptr) {
        rings_file = std::make_unique<fileio::AtomicFile>(options.rings_csv, &registry);
        if (!rings_file->ok()) return cli::refuse(io, rings_file->message());
        rings = rings_file->file();
        gapbatch::write_rings_header(rings);
    }
    std::FILE* track = nullptr;
    if (options.sun_track != nullptr) {
        track_file = std::make_unique<fileio::AtomicFile>(options.sun_track, &registry);
        if (!track_file->ok()) return cli::refuse(io, track_file->message());
        track = track_file->file();
        gapbatch::write_sun_track_header(track);
    }
    gapbatch::write_summary_header(summary, options);

    for (gapbatch::PhotoJob& job : jobs) {
        job.photo.overlay = options.overlay != nullptr || options.overlay_dir != nullptr;
        job.photo.histogram = page != nullptr;  // the page shows every photograph's histogram
    }
    const int threads = options.jobs > 0 ? options.jobs
                                         : int(std::max(1u, std::thread::hardware_concurrency()));
    Progress progress(!options.quiet, jobs.size(), io.err, io.out);
    int failed = 0;
    run_batch(jobs, plan, options, threads, [&](std::size_t k, const Outcome& out) {
        const gapbatch::PhotoJob& job = jobs[k];
        std::string reason = out.why;
        bool ok = out.ok && gapbatch::write_outputs(plan[k], out.photo, &registry, &reason);
        progress.clear();
        gapbatch::Row row;
        if (!ok) {
            cli::refuse(io, job.path.c_str(), "%s", reason.c_str());
            row = gapbatch::failed_row(job, options, reason);
            ++failed;
        } else {
            row = gapbatch::make_row(job, options, out.photo, out.analysis,
                                     out.has_light ? &out.light : nullptr);
            for (const std::string& warning : gapbatch::warnings(job, out.photo)) {
                cli::refuse(io, job.path.c_str(), "%s", warning.c_str());
                row.message += (row.message.empty() ? "" : "; ") + warning;
            }
        }
        gapbatch::write_summary_row(summary, row);
        if (rings != nullptr) gapbatch::write_rings_rows(rings, row);
        if (track != nullptr) gapbatch::write_sun_track_rows(track, row);
        if (page != nullptr && page->ok()) {
            htmlreport::PhotoEntry entry;
            entry.name = job.path;
            entry.ok = ok;
            entry.message = ok ? std::string() : reason;
            entry.warnings = gapbatch::report_warnings(row, ok ? &out.photo : nullptr);
            entry.row = gapbatch::summary_fields(row);
            entry.analysed = ok && out.has_page;
            if (entry.analysed) entry.analysis = out.page;
            page->add(entry);
        }
        progress.done(k + 1);
    });
    progress.finish();
    int status = 0;
    if (page != nullptr &&
        !(page->ok() && page->finish(gapbatch::report_info(options, argc, argv, jobs.size()))))
        status = cli::refuse(io, page->message());
    if (rings_file != nullptr && !rings_file->commit()) status = cli::refuse(io, rings_file->message());
    if (track_file != nullptr && !track_file->commit()) status = cli::refuse(io, track_file->message());
    if (summary_file != nullptr) {
        if (!summary_file->commit()) status = cli::refuse(io, summary_file->message());
    } else if (std::fflush(io.out) != 0 || std::ferror(io.out) != 0) {
        cli::refuse(io, "standard output", "cannot write the summary");
        status = 1;
    }
    return failed > 0 || status != 0 ? 1 : 0;
}
