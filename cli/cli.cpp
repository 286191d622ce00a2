#include "cli/cli.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "fileio/signals.h"
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

// The program's name for a message: argv[0] without its folder.
const char* program_name(int argc, char** argv) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr || argv[0][0] == '\0') return "skygap";
    const char* slash = std::strrchr(argv[0], '/');
    return slash != nullptr && slash[1] != '\0' ? slash + 1 : argv[0];
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


int main_of(int argc, char** argv, RunFn run) {
    fileio::CleanupRegistry registry;
    const fileio::CleanupOnSignals handlers(&registry);
    try {
        return run(argc, argv, Io{stdin, stdout, stderr, &registry});
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: out of memory\n", program_name(argc, argv));
        return 1;
    }
}

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

bool check_files(const Io& io, const std::vector<const char*>& inputs, const char* output,
                 fileio::Dash dash) {
    if (dash == fileio::Dash::kStandardInput) {
        int dashes = 0;
        for (const char* input : inputs) dashes += std::strcmp(input, "-") == 0 ? 1 : 0;
        if (dashes > 1) {
            refuse(io, "-",
                   "standard input can stand for one input file only; give the others by name");
            return false;
        }
    }
    if (output == nullptr) return true;
    const fileio::Status same = fileio::check_not_an_input(output, inputs, dash);
    if (!same) {
        refuse(io, same.message);
        return false;
    }
    const fileio::Status kind = fileio::check_output(output);
    if (!kind && !kind.not_opened) {
        refuse(io, kind.message);
        return false;
    }
    return true;
}

int append_report(const Io& io, const char* path, fileio::MemoryReport* report,
                  const std::string& cannot_open) {
    const fileio::Status st = fileio::append_report(path, report);
    if (st) return 0;
    std::fflush(io.out);
    return refuse(io, st.not_opened ? cannot_open : st.message);
}

int commit(const Io& io, fileio::AtomicFile* out) {
    if (out->commit()) return 0;
    std::fflush(io.out);
    return refuse(io, out->message());
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
