// Fuzz target: moskira's dialogue, answers taken from the fuzz input.
#include "fuzz_target.h"
#include "program_harness.h"

int moskira_main();
#define main moskira_main
#include "../moskira/moskira.cpp"
#undef main

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    write_file("answers.txt", data, size);
    use_as_stdin("answers.txt");
    moskira_main();
    return 0;
}
