// moskira: the sun's altitude and azimuth for every clock hour of one day at one site.
#pragma once

#include "cli/cli.h"

// moskira, answers on io.in, report on io.out: the whole program.
int run_moskira(int argc, char** argv, const cli::Io& io);
