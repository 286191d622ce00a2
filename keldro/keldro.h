// keldro: the per-cell points of the leaf area index method after Lang.
#pragma once

#include "cli/cli.h"

// keldro [parameter file] [gap fraction file] [output file]: the whole program.
int run_keldro(int argc, char** argv, const cli::Io& io);
