// Fuzz target: zephor as a whole, its parameter file taken from the fuzz input.
#include "zephor.h"
#include "fuzz_target.h"
#include "program_harness.h"

SKYGAP_FUZZ_PARAMETER_FILE(run_zephor, "zephor", "")
