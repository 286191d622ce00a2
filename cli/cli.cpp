#include "cli/cli.h"

#include <cstdarg>
#include <cstring>

#include "gapreport/gapreport.h"

namespace cli {

namespace {

enum class Request { kNone, kHelp, kVersion };

Request request_of(int argc, char** argv) {
    if (argc != 2 || argv[1] == nullptr) return Request::kNone;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        return Request::kHelp;
    if (std::strcmp(argv[1], "--version") == 0) return Request::kVersion;
    return Request::kNone;
}

// The last component of ARGV0, or "skygap" when it has none.
std::string program_name(const char* argv0) {
    if (argv0 == nullptr) return "skygap";
    const char* slash = std::strrchr(argv0, '/');
    const char* name = slash == nullptr ? argv0 : slash + 1;
    return *name == '\0' ? "skygap" : name;
}

// The status of an answer written to io.out: 0, or 1 after a line on io.err.
int finish_answer(const Io& io, const std::string& name) {
    if (std::fflush(io.out) != 0 || std::ferror(io.out) != 0) {
        std::fprintf(io.err, "%s: cannot write to standard output\n", name.c_str());
        return 1;
    }
    return 0;
}

int answer(int argc, char** argv, const Io& io, const char* help_text, HelpWriter write_help,
           const std::string& version_extra) {
    const Request request = request_of(argc, argv);
    if (request == Request::kNone) return -1;
    const std::string name = program_name(argv[0]);
    if (request == Request::kHelp) {
        if (write_help != nullptr)
            write_help(io.out, argv[0]);
        else
            std::fputs(help_text, io.out);
    } else {
        std::fprintf(io.out, "%s - %s\n", name.c_str(), gapreport::kBanner);
        std::fputs(version_extra.c_str(), io.out);
    }
    return finish_answer(io, name);
}

}  // namespace

int help_or_version(int argc, char** argv, const Io& io, const char* help_text,
                    const std::string& version_extra) {
    return answer(argc, argv, io, help_text, nullptr, version_extra);
}

int help_or_version(int argc, char** argv, const Io& io, HelpWriter write_help,
                    const std::string& version_extra) {
    return answer(argc, argv, io, "", write_help, version_extra);
}

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
