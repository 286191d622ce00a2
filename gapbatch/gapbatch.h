// gapbatch: analyses many hemispherical photographs from a script, without questions.
#pragma once

#include "cli/cli.h"

// gapbatch [options] PHOTO...: the whole program; the summary goes to io.out unless a file is
// named.
int run_gapbatch(int argc, char** argv, const cli::Io& io);
