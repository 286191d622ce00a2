// Runs a whole program inside a fuzz target: a scratch folder becomes the working folder, the
// program's screen output and messages are discarded, and its run_NAME entry is called with
// fixed arguments and, as its input stream, the bytes given.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"

// Makes a scratch folder the working folder (once).
inline void enter_scratch_folder() {
    static const bool done = [] {
        char folder[] = "/tmp/skygap-fuzz-XXXXXX";
        return mkdtemp(folder) != nullptr && chdir(folder) == 0;
    }();
    (void)done;
}

inline void write_file(const char* name, const void* data, size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (f == nullptr) return;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

inline void write_file(const char* name, const std::string& text) {
    write_file(name, text.data(), text.size());
}

// Runs RUN with ARGS (the program name first), INPUT as its input stream, its output and
// messages going nowhere.
inline int run_program(cli::RunFn run, std::vector<std::string> args, const std::string& input) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string bytes = input;
    std::FILE* in = bytes.empty() ? std::fopen("/dev/null", "r")
                                  : fmemopen(bytes.data(), bytes.size(), "r");
    std::FILE* out = std::fopen("/dev/null", "w");
    std::FILE* err = std::fopen("/dev/null", "w");
    int status = 1;
    if (in != nullptr && out != nullptr && err != nullptr)
        status = run(int(args.size()), argv.data(), cli::Io{in, out, err});
    for (std::FILE* f : {in, out, err})
        if (f != nullptr) std::fclose(f);
    return status;
}

// A 9 x 8 gap-fraction file with gaps, closed cells and an empty cell.
inline std::string sample_gap_file() {
    std::string s = "9   8\n";
    char line[96];
    for (int i = 0; i < 9; ++i)
        for (int j = 7; j >= 0; --j) {
            const double g = ((i * 5 + j * 3) % 7) / 7.0;
            std::snprintf(line, sizeof line, "%f   %f   %f   %d\n", 10.0 * i + 5, 45.0 * j + 22.5,
                          g, (i == 0 && j == 3) ? 0 : 100 + i * j);
            s += line;
        }
    return s;
}

// A batch program with its parameter file PARAMS and the sample gap-fraction file, reporting
// to /dev/null, with DIALOGUE as its input.
inline int run_with_parameter_file(cli::RunFn run, const char* name, const void* params,
                                   size_t size, const std::string& dialogue) {
    enter_scratch_folder();
    static const bool gap_file = [] {
        write_file("gap.txt", sample_gap_file());
        return true;
    }();
    (void)gap_file;
    write_file("par.txt", params, size);
    return run_program(run, {name, "par.txt", "gap.txt", "/dev/null"}, dialogue);
}

// The whole fuzz target of a program fuzzed through its parameter file, DIALOGUE its input.
#define SKYGAP_FUZZ_PARAMETER_FILE(run, name, dialogue)                               \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {        \
        run_with_parameter_file(run, name, data, size, dialogue);                   \
        return 0;                                                                    \
    }
