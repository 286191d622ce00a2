// canopylight: understorey light from a gap-fraction file.
#pragma once

#include "cli/cli.h"

// canopylight [options] GAPFILE: the whole program.
int run_canopylight(int argc, char** argv, const cli::Io& io);
