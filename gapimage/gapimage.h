// gapimage: gap fractions and gap sizes of a hemispherical canopy photograph, by dialogue.
#pragma once

#include "cli/cli.h"

// gapimage, answers on io.in, screen output on io.out: the whole program.
int run_gapimage(int argc, char** argv, const cli::Io& io);
