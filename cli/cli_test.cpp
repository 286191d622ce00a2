#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gapreport/gapreport.h"

namespace {

// A stream in memory that the test reads back.
struct Capture {
    std::FILE* f = std::tmpfile();
    ~Capture() {
        if (f != nullptr) std::fclose(f);
    }
    std::string text() const {
        std::fflush(f);
        std::rewind(f);
        std::string s;
        for (int c; (c = std::fgetc(f)) != EOF;) s += char(c);
        return s;
    }
};

struct Answer {
    int status;
    std::string out, err;
};

Answer run(std::vector<std::string> args, const char* help_text, const std::string& extra = "") {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Capture out, err;
    const int status = cli::help_or_version(int(args.size()), argv.data(), {stdin, out.f, err.f},
                                            help_text, extra);
    return {status, out.text(), err.text()};
}

const char kHelp[] = "Usage: prog FILE\n";

TEST(HelpOrVersion, LoneHelpOrHWritesTheHelpTextToStandardOutput) {
    for (const char* flag : {"--help", "-h"}) {
        const Answer r = run({"prog", flag}, kHelp);
        EXPECT_EQ(r.status, 0) << flag;
        EXPECT_EQ(r.out, kHelp) << flag;
        EXPECT_EQ(r.err, "") << flag;
    }
}

TEST(HelpOrVersion, VersionNamesTheProgramByItsLastPathComponentWithTheBanner) {
    const Answer r = run({"/usr/local/bin/prog", "--version"}, kHelp, "Readers: BMP\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("prog - ") + gapreport::kBanner + "\nReaders: BMP\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(run({"", "--version"}, kHelp).out,
              std::string("skygap - ") + gapreport::kBanner + "\n");
}

// Any other command line is the program's own business: nothing written, -1. A batch program's
// argument count stays its rule ("prog --help x y" names three files), and an unknown option or
// a misspelt one is no request for help.
TEST(HelpOrVersion, AnyOtherCommandLineIsLeftToTheProgram) {
    const std::vector<std::vector<std::string>> lines = {
        {"prog"},
        {"prog", "--frobnicate"},
        {"prog", "--help", "x", "y"},
        {"prog", "x", "--version"},
        {"prog", "--Help"},
        {"prog", "-help"},
        {"prog", "--versions"},
        {"prog", "--help="},
        {"prog", ""},
    };
    for (const auto& line : lines) {
        const Answer r = run(line, kHelp);
        EXPECT_EQ(r.status, -1) << line.size() << " " << line.back();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
}

void write_named_help(std::FILE* out, const char* argv0) {
    std::fprintf(out, "Usage: %s\n", argv0);
}

TEST(HelpOrVersion, AHelpWriterIsGivenTheNameTheProgramWasCalledBy) {
    std::string a0 = "./prog", a1 = "--help";
    char* argv[] = {a0.data(), a1.data(), nullptr};
    Capture out, err;
    EXPECT_EQ(cli::help_or_version(2, argv, {stdin, out.f, err.f}, write_named_help), 0);
    EXPECT_EQ(out.text(), "Usage: ./prog\n");
}

// A help text lost on a full disk is a failure, with one line that says so.
TEST(HelpOrVersion, AnUnwritableStandardOutputIsAFailure) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    std::string a0 = "prog", a1 = "--help";
    char* argv[] = {a0.data(), a1.data(), nullptr};
    Capture err;
    EXPECT_EQ(cli::help_or_version(2, argv, {stdin, full, err.f}, kHelp), 1);
    EXPECT_EQ(err.text(), "prog: cannot write to standard output\n");
    std::fclose(full);
}

}  // namespace
