// Fuzz target: tessor's console dialogue, answers taken from the fuzz input, with a fixed
// parameter file (a 10 degree slope facing south).
#include "fuzz_target.h"
#include "program_harness.h"
#include "tessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char params[] = "10 180 0 1 0";
    run_with_parameter_file(run_tessor, "tessor", params, sizeof params - 1,
                            std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
