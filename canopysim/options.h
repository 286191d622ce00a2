// canopysim: the command line, and the truth report.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "canopysim/canopy.h"
#include "canopysim/render.h"

namespace canopysim {

struct Options {
    CanopyParams canopy;
    PictureParams picture;
    FrameParams frame;             // w = 0: the picture is the square of the disc
    int rings = 9;                 // zenith rings of the truth table
    std::string angles_name = "spherical";
    std::string output;            // the BMP file
    std::string truth;             // side file for the truth; empty: standard output
    bool help = false;
};

// Parses the arguments after the program name. On failure returns false with a one-line
// reason (no program name, no line feed) in *error.
bool parse_options(const std::vector<std::string>& args, Options* opt, std::string* error);

void write_usage(std::FILE* out);

// The truth about a rendered canopy: what was simulated, the three rim points to type, and
// the expected gap fraction of every zenith ring.
void write_truth(std::FILE* out, const Options& opt, const Canopy& canopy,
                 const std::vector<RingTruth>& rings);

}  // namespace canopysim
