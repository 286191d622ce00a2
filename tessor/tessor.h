// tessor: leaf area index and leaf-angle distribution after Norman and Campbell (1989).
#pragma once

#include "cli/cli.h"

// tessor [parameter file] [data file] [output file], with the inversion dialogue on io.in and
// io.out: the whole program.
int run_tessor(int argc, char** argv, const cli::Io& io);
