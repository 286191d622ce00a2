// cli: what every skygap front end does alike, and nothing else.
//
// Front ends (mains, dialogues, option parsers, report writers) print and end the program; the
// library units never do. A program is a function run_NAME(argc, argv, io) over three streams,
// so that its main is one line and a fuzz target or a test can run it on streams of its own.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "fileio/fileio.h"

namespace cli {

// The streams a program reads its answers from and writes its screen output and messages to,
// and the registry its replaced outputs (fileio::AtomicFile) record their temporaries in, so
// that a signal removes them: main_of gives one; a test or fuzz target may leave it null.
struct Io {
    std::FILE* in;
    std::FILE* out;
    std::FILE* err;
    fileio::CleanupRegistry* cleanup = nullptr;
};

using RunFn = int (*)(int argc, char** argv, const Io& io);

// The whole main of a program: RUN on the standard streams, with handlers that remove the live
// temporaries on SIGHUP, SIGINT, SIGPIPE, SIGTERM and SIGXFSZ (fileio/signals.h). Memory that
// runs out (std::bad_alloc) ends the program with one line "PROGRAM: out of memory" and exit
// status 1; the temporaries are removed as the stack unwinds.
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

// The checks a program makes on its file names before it opens anything:
//   - at most one of INPUTS is "-" when DASH gives "-" the meaning of standard input (one
//     stream cannot be read as two files);
//   - OUTPUT (null for none) is not the same file as any input (fileio::check_not_an_input:
//     device and inode, or folder and name for a file not there yet);
//   - OUTPUT, when it exists, is not of a kind an output cannot be: a FIFO or pipe other than
//     standard output, a socket, a block device. An output that cannot be opened or created
//     is left to the program, which reports it in its own words when it tries.
// True when the run may go on; otherwise one line on io.err.
bool check_files(const Io& io, const std::vector<const char*>& inputs, const char* output,
                 fileio::Dash dash = fileio::Dash::kFileName);

// Appends the report held in REPORT to PATH as one whole (fileio::append_report: one locked
// write, cut back to the earlier length when it fails part-way). Returns the exit status: 0 when
// every byte is in the file; otherwise 1 after one line on io.err, CANNOT_OPEN (without line
// feed) when the output cannot be opened or created, the problem otherwise.
int append_report(const Io& io, const char* path, fileio::MemoryReport* report,
                  const std::string& cannot_open);

// Commits OUT (fileio::AtomicFile::commit). Returns the exit status: 0 when the target now holds
// exactly what was written, otherwise 1 after one line on io.err naming the problem (the earlier
// file is then left as it was).
int commit(const Io& io, fileio::AtomicFile* out);

// Flushes and closes a report file. Returns the exit status: 0 when every byte reached the
// file, otherwise 1 after a line on io.err naming the file.
int close_report(std::FILE* out, const char* path, const Io& io);

}  // namespace cli
