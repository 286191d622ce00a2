// bravik: leaf area index and mean leaf angle after Suits from one gap-fraction file.
#pragma once

#include "cli/cli.h"

// bravik [parameter file] [gap-fraction file] [output file]: the whole program.
int run_bravik(int argc, char** argv, const cli::Io& io);
