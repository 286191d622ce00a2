// canopysim: renders a fish-eye photograph of a simulated canopy of known leaf area index and
// leaf angles, and reports the truth to check the analysis against.
//
//   canopysim [options] OUTPUT.bmp        (canopysim --help lists the options)
#include <cstdio>
#include <string>
#include <vector>

#include "canopysim/canopy.h"
#include "canopysim/options.h"
#include "canopysim/render.h"

int main(int argc, char** argv) {
    using namespace canopysim;
    Options opt;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), &opt, &error)) {
        std::fprintf(stderr, "canopysim: %s\n", error.c_str());
        return 1;
    }
    if (opt.help) {
        write_usage(stdout);
        return 0;
    }

    // Open the truth file first, so that a bad name costs no rendering.
    std::FILE* truth = stdout;
    if (!opt.truth.empty()) {
        truth = std::fopen(opt.truth.c_str(), "w");
        if (truth == nullptr) {
            std::fprintf(stderr, "canopysim: cannot create the file %s\n", opt.truth.c_str());
            return 1;
        }
    }

    const Canopy canopy(opt.canopy);
    const Picture picture = render(canopy, opt.picture);
    if (!write_bmp(opt.output.c_str(), picture)) {
        std::fprintf(stderr, "canopysim: cannot write the file %s\n", opt.output.c_str());
        if (truth != stdout) std::fclose(truth);
        return 1;
    }
    const std::vector<RingTruth> rings = ring_truth(picture, opt.picture, opt.canopy.angles,
                                                    canopy.realised_lai(), opt.rings);
    write_truth(truth, opt, canopy, rings);
    const bool ok = std::fflush(truth) == 0 && !std::ferror(truth);
    if (truth != stdout && std::fclose(truth) != 0) {
        std::fprintf(stderr, "canopysim: cannot write the file %s\n", opt.truth.c_str());
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "canopysim: cannot write the truth\n");
        return 1;
    }
    return 0;
}
