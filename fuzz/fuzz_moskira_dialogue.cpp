// Fuzz target: moskira's dialogue, answers taken from the fuzz input.
#include "dialogue_input.h"
#include "fuzz_target.h"

int moskira_main();
#define main moskira_main
#include "../moskira/moskira.cpp"
#undef main

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    use_as_stdin(data, size);
    moskira_main();
    return 0;
}
