// zephor: leaf area index and leaf inclination after Campbell's ellipsoidal model.
#pragma once

#include "cli/cli.h"

// zephor [parameter file] [gap fraction file] [output file]: the whole program.
int run_zephor(int argc, char** argv, const cli::Io& io);
