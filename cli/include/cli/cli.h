// cli: what every skygap front end does alike, and nothing else.
//
// Front ends (mains, dialogues, option parsers, report writers) print and end the program; the
// library units never do. A program is a function run_NAME(argc, argv, io) over three streams,
// so that its main is one line and a fuzz target or a test can run it on streams of its own.
#pragma once

#include <cstdio>
#include <string>

namespace cli {

// The streams a program reads its answers from and writes its screen output and messages to.
struct Io {
    std::FILE* in;
    std::FILE* out;
    std::FILE* err;
};

using RunFn = int (*)(int argc, char** argv, const Io& io);

// The whole main of a program: RUN on the standard streams.
int main_of(int argc, char** argv, RunFn run);

// Writes WHY (a one-line "PATH: problem") and a line feed to io.err; returns exit status 1.
int refuse(const Io& io, const std::string& why);

// Writes "PATH: problem" (printf-style problem text) and a line feed to io.err; returns 1.
int refuse(const Io& io, const char* path, const char* problem_format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes a program's --help text to OUT; ARGV0 is the name the program was called by.
using HelpWriter = void (*)(std::FILE* out, const char* argv0);

// The answers to a lone --help (or -h) and a lone --version: only when the whole command line is
// that one argument (ARGC == 2). --help writes the program's help text to io.out; --version
// writes "NAME - BANNER" (NAME the last component of ARGV[0], BANNER the suite's banner) and
// then VERSION_EXTRA (further lines, each ending with a line feed) to io.out. Either returns the
// exit status: 0, or 1 after a line on io.err when io.out could not be written. For every other
// command line returns -1 and writes nothing: the program then runs as usual, so a batch
// program's argument-count rule holds for every other list. Nothing is read from io.in.
int help_or_version(int argc, char** argv, const Io& io, const char* help_text,
                    const std::string& version_extra = "");
int help_or_version(int argc, char** argv, const Io& io, HelpWriter write_help,
                    const std::string& version_extra = "");

// Flushes and closes a report file. Returns the exit status: 0 when every byte reached the
// file, otherwise 1 after a line on io.err naming the file.
int close_report(std::FILE* out, const char* path, const Io& io);

}  // namespace cli
