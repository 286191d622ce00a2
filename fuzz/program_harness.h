// Runs a whole program inside a fuzz target: a scratch folder becomes the working folder, the
// program's screen output is discarded, and its main is called with fixed arguments.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

// Makes a scratch folder the working folder (once) and discards standard output.
inline void enter_scratch_folder() {
    static const bool done = [] {
        char folder[] = "/tmp/skygap-fuzz-XXXXXX";
        const bool made = mkdtemp(folder) != nullptr && chdir(folder) == 0;
        return std::freopen("/dev/null", "w", stdout) != nullptr && made;
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

// Makes NAME's content the standard input.
inline void use_as_stdin(const char* name) {
    if (std::freopen(name, "rb", stdin) == nullptr) return;
}

inline int run_main(int (*program_main)(int, char**), std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return program_main(int(args.size()), argv.data());
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
