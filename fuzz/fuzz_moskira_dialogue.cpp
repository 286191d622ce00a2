// Fuzz target: moskira's dialogue, answers taken from the fuzz input.
#include "fuzz_target.h"
#include "moskira.h"
#include "program_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    run_program(run_moskira, {"moskira"}, std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
