// pasket: prints a gap-fraction file as a table of zenith annuli by azimuth sectors.
#pragma once

#include "cli/cli.h"

// pasket [data file] [output file]: the whole program.
int run_pasket(int argc, char** argv, const cli::Io& io);
