// canopysim: renders a fish-eye photograph of a simulated canopy of known structure.
#pragma once

#include "cli/cli.h"

// canopysim [options] OUTPUT.bmp: the whole program.
int run_canopysim(int argc, char** argv, const cli::Io& io);
