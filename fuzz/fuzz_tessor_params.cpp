// Fuzz target: tessor as a whole, its parameter file taken from the fuzz input and a fixed
// dialogue (four classes, weights 0 and 0.5).
#include "fuzz_target.h"
#include "program_harness.h"
#include "tessor.h"

SKYGAP_FUZZ_PARAMETER_FILE(run_tessor, "tessor", "4\n0\n0.5\n-1\n")
