// quinda: leaf area index, contact number at 55 degrees and mean leaf angle after Lang and
// Xiang (1986), for every azimuthal averaging window.
#pragma once

#include "cli/cli.h"

// quinda [parameter file] [gap fraction file] [output file]: the whole program.
int run_quinda(int argc, char** argv, const cli::Io& io);
