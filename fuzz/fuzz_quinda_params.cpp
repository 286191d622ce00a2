// Fuzz target: quinda as a whole, its parameter file taken from the fuzz input.
#include "quinda.h"
#include "fuzz_target.h"
#include "program_harness.h"

SKYGAP_FUZZ_PARAMETER_FILE(run_quinda, "quinda", "")
