// Fuzz target: bravik as a whole, its parameter file taken from the fuzz input.
#include "bravik.h"
#include "fuzz_target.h"
#include "program_harness.h"

SKYGAP_FUZZ_PARAMETER_FILE(run_bravik, "bravik", "")
