// canopysim: renders a fish-eye photograph of a simulated canopy of known leaf area index and
// leaf angles, and reports the truth to check the analysis against.
//
//   canopysim [options] OUTPUT.bmp        (canopysim --help lists the options)
#include "canopysim.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "canopysim/canopy.h"
#include "canopysim/render.h"
#include "fileio/fileio.h"
#include "options.h"
#include "skyimage/bitmap.h"

namespace {

// One line "canopysim: ..." on the error stream; exit status 1.
int fail(const cli::Io& io, const std::string& what) {
    std::fprintf(io.err, "canopysim: %s\n", what.c_str());
    return 1;
}

}  // namespace

int run_canopysim(int argc, char** argv, const cli::Io& io) {
    using namespace canopysim;
    const int asked =
        cli::help_or_version(argc, argv, io, [](std::FILE* out, const char*) { write_usage(out); });
    if (asked >= 0) return asked;
    Options opt;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), &opt, &error)) {
        std::fprintf(io.err, "canopysim: %s\n", error.c_str());
        return 1;
    }
    if (opt.help) {
        write_usage(io.out);
        return 0;
    }

    // Both outputs are replaced as wholes (a temporary beside each, renamed over it once
    // complete). The truth file is prepared first, so that a bad name costs no rendering.
    const char* bmp_path = opt.output.c_str();
    const char* truth_path = opt.truth.empty() ? nullptr : opt.truth.c_str();
    if (truth_path != nullptr && fileio::same_file(truth_path, bmp_path))
        return fail(io, opt.truth + ": the truth file and the photograph are the same file");
    if (!cli::check_files(io, {}, bmp_path)) return 1;
    if (truth_path != nullptr && !cli::check_files(io, {}, truth_path)) return 1;
    std::optional<fileio::AtomicFile> truth_file;
    if (truth_path != nullptr) {
        truth_file.emplace(truth_path, io.cleanup);
        if (!truth_file->ok()) return fail(io, "cannot create the file " + opt.truth);
    }

    const Canopy canopy(opt.canopy);
    const Picture picture = render(canopy, opt.picture);
    fileio::AtomicFile bmp(bmp_path, io.cleanup);
    if (!bmp.ok()) return fail(io, "cannot write the file " + opt.output);
    if (opt.picture.black_frame) {
        const Picture photo = framed(picture, opt.frame, opt.picture.binary, opt.picture.seed);
        skyimage::write_grey_bmp(bmp.file(), photo.width, photo.height, photo.pixels.data());
    } else {
        skyimage::write_grey_bmp(bmp.file(), picture.width, picture.height, picture.pixels.data());
    }
    if (!bmp.commit()) return fail(io, bmp.message());

    const std::vector<RingTruth> rings = ring_truth(picture, opt.picture, opt.canopy.angles,
                                                    canopy.realised_lai(), opt.rings);
    if (truth_file) {
        write_truth(truth_file->file(), opt, canopy, rings);
        if (!truth_file->commit()) return fail(io, truth_file->message());
        return 0;
    }
    write_truth(io.out, opt, canopy, rings);
    if (std::fflush(io.out) != 0 || std::ferror(io.out)) return fail(io, "cannot write the truth");
    return 0;
}
