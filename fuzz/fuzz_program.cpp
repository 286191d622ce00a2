// Fuzz target: one batch program as a whole, fed a fuzzed parameter file (FUZZ_DIALOGUE 0) or a
// fuzzed console dialogue (FUZZ_DIALOGUE 1), with a fixed gap-fraction file. The program's
// source is compiled in with its main renamed.
#include "fuzz_target.h"
#include "program_harness.h"

int program_main(int argc, char** argv);
#define main program_main
#include PROGRAM_SOURCE
#undef main

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    static const bool inputs = [] {
        write_file("gap.txt", sample_gap_file());
        write_file("dialogue.txt", std::string("4\n0\n0.5\n-1\n"));
        write_file("par.txt", std::string(FIXED_PARAMS));
        return true;
    }();
    (void)inputs;
    write_file(FUZZ_DIALOGUE ? "dialogue.txt" : "par.txt", data, size);
    use_as_stdin("dialogue.txt");
    run_main(program_main, {PROGRAM_NAME, "par.txt", "gap.txt", "/dev/null"});
    return 0;
}
