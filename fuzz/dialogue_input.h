// Feeds a fuzz input to a program's dialogue: the bytes become standard input (through a
// scratch file) and the program's screen output is discarded.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline void use_as_stdin(const uint8_t* data, size_t size) {
    static char path[] = "/tmp/skygap-fuzz-stdin-XXXXXX";
    static const int fd = mkstemp(path);
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)fd;
    (void)quiet;
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (std::freopen(path, "rb", stdin) == nullptr) return;
}
