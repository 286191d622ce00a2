// canopysim: renders a fish-eye photograph of a simulated canopy of known leaf area index and
// leaf angles, and reports the truth to check the analysis against.
//
//   canopysim [options] OUTPUT.bmp        (canopysim --help lists the options)
#include "canopysim.h"

#include <cstdio>
#include <string>
#include <vector>

#include "canopysim/canopy.h"
#include "canopysim/render.h"
#include "options.h"
#include "skyimage/bitmap.h"

namespace {

// Writes the picture as an 8-bit grey BMP; false when the file cannot be written completely.
bool write_picture(const char* path, const canopysim::Picture& pic) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const bool ok = skyimage::write_grey_bmp(f, pic.width, pic.height, pic.pixels.data());
    return (std::fclose(f) == 0) && ok;
}

}  // namespace

int run_canopysim(int argc, char** argv, const cli::Io& io) {
    using namespace canopysim;
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

    // Open the truth file first, so that a bad name costs no rendering.
    std::FILE* truth = io.out;
    if (!opt.truth.empty()) {
        truth = std::fopen(opt.truth.c_str(), "w");
        if (truth == nullptr) {
            std::fprintf(io.err, "canopysim: cannot create the file %s\n", opt.truth.c_str());
            return 1;
        }
    }

    const Canopy canopy(opt.canopy);
    const Picture picture = render(canopy, opt.picture);
    const bool frame = opt.picture.black_frame;
    if (!write_picture(
            opt.output.c_str(),
            frame ? framed(picture, opt.frame, opt.picture.binary, opt.picture.seed) : picture)) {
        std::fprintf(io.err, "canopysim: cannot write the file %s\n", opt.output.c_str());
        if (truth != io.out) std::fclose(truth);
        return 1;
    }
    const std::vector<RingTruth> rings = ring_truth(picture, opt.picture, opt.canopy.angles,
                                                    canopy.realised_lai(), opt.rings);
    write_truth(truth, opt, canopy, rings);
    const bool ok = std::fflush(truth) == 0 && !std::ferror(truth);
    if (truth != io.out && std::fclose(truth) != 0) {
        std::fprintf(io.err, "canopysim: cannot write the file %s\n", opt.truth.c_str());
        return 1;
    }
    if (!ok) {
        std::fprintf(io.err, "canopysim: cannot write the truth\n");
        return 1;
    }
    return 0;
}
