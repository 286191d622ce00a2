#include "cli/cli.h"

#include <cstdarg>

namespace cli {

int main_of(int argc, char** argv, RunFn run) { return run(argc, argv, Io{stdin, stdout, stderr}); }

int refuse(const Io& io, const std::string& why) {
    std::fprintf(io.err, "%s\n", why.c_str());
    return 1;
}

int refuse(const Io& io, const char* path, const char* problem_format, ...) {
    std::fprintf(io.err, "%s: ", path);
    va_list args;
    va_start(args, problem_format);
    std::vfprintf(io.err, problem_format, args);
    va_end(args);
    std::fputc('\n', io.err);
    return 1;
}

int close_report(std::FILE* out, const char* path, const Io& io) {
    const bool write_failed = std::fflush(out) != 0 || std::ferror(out) != 0;
    const bool close_failed = std::fclose(out) != 0;
    if (write_failed || close_failed) {
        std::fprintf(io.err, "Cannot write the file %s...\n", path);
        return 1;
    }
    return 0;
}

}  // namespace cli
