#include "cli/cli.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "gapreport/gapreport.h"

namespace {

// Each test runs in a fresh working folder; messages go to a scratch stream read back by err().
class Cli : public ::testing::Test {
   protected:
    void SetUp() override {
        char name[] = "/tmp/cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(name), 0);
        err_ = std::tmpfile();
        ASSERT_NE(err_, nullptr);
        io_ = cli::Io{stdin, stdout, err_};
    }
    void TearDown() override {
        std::fclose(err_);
        ASSERT_EQ(chdir(old_cwd_), 0);
        ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }
    // What was written to the error stream since the last call.
    std::string err() {
        std::fflush(err_);
        std::rewind(err_);
        std::string text;
        for (int c; (c = std::fgetc(err_)) != EOF;) text += char(c);
        std::fclose(err_);
        err_ = std::tmpfile();
        io_.err = err_;
        return text;
    }
    static void put(const char* path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string get(const char* path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::vector<std::string> names() {
        std::vector<std::string> found;
        if (DIR* d = opendir(".")) {
            while (const struct dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") found.push_back(name);
            }
            closedir(d);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    std::string dir_;
    char old_cwd_[4096] = {};
    std::FILE* err_ = nullptr;
    cli::Io io_{};
};

TEST_F(Cli, CheckFilesRefusesInputsAsOutputsTwoStandardInputsAndFifos) {
    put("g.txt", "1 1\n");
    ASSERT_EQ(symlink("g.txt", "link.txt"), 0);
    EXPECT_FALSE(cli::check_files(io_, {"p.par", "g.txt"}, "link.txt"));
    EXPECT_EQ(err(),
              "link.txt: the output is the same file as the input g.txt; nothing was written\n");

    // "-" is standard input only where the program says so; then only once.
    EXPECT_FALSE(cli::check_files(io_, {"-", "-"}, "r.txt", fileio::Dash::kStandardInput));
    EXPECT_EQ(err(),
              "-: standard input can stand for one input file only; give the others by name\n");
    EXPECT_TRUE(cli::check_files(io_, {"-", "-"}, "r.txt"));

    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    EXPECT_FALSE(cli::check_files(io_, {"g.txt"}, "fifo"));
    EXPECT_EQ(err(),
              "fifo: is a FIFO or pipe; an output must be a regular file or standard output\n");

    // Outputs that cannot be opened are the program's to word; devices may be written.
    EXPECT_TRUE(cli::check_files(io_, {"g.txt"}, "missing/r.txt"));
    EXPECT_TRUE(cli::check_files(io_, {"g.txt"}, "/dev/null"));
    EXPECT_TRUE(cli::check_files(io_, {"g.txt"}, nullptr));
    EXPECT_EQ(err(), "");
    EXPECT_EQ(names(), (std::vector<std::string>{"fifo", "g.txt", "link.txt"}));
}

TEST_F(Cli, AppendReportWordsCannotOpenAsTheProgramDoesAndNamesOtherFailures) {
    put("r.txt", "earlier\n");
    fileio::MemoryReport report;
    ASSERT_NE(report.file(), nullptr);
    std::fprintf(report.file(), "report %d\n", 2);
    EXPECT_EQ(cli::append_report(io_, "r.txt", &report, "Can't open the file r.txt..."), 0);
    EXPECT_EQ(get("r.txt"), "earlier\nreport 2\n");

    fileio::MemoryReport lost;
    std::fprintf(lost.file(), "x\n");
    EXPECT_EQ(cli::append_report(io_, "no/r.txt", &lost, "Can't open the file no/r.txt..."), 1);
    EXPECT_EQ(err(), "Can't open the file no/r.txt...\n");

    fileio::MemoryReport full;
    std::fprintf(full.file(), "x\n");
    EXPECT_EQ(cli::append_report(io_, "/dev/full", &full, "Can't open the file /dev/full..."), 1);
    EXPECT_EQ(err(), "/dev/full: cannot append the report (No space left on device)\n");
}

TEST_F(Cli, CommitNamesTheProblem) {
    fileio::AtomicFile full("/dev/full");
    ASSERT_TRUE(full.ok());
    std::fputs("x\n", full.file());
    EXPECT_EQ(cli::commit(io_, &full), 1);
    EXPECT_EQ(err(), "/dev/full: cannot write the file (No space left on device)\n");
}

// ---------------------------------------------------------------------------------------------
// main_of, in a child process whose standard error is a file.

int throws_bad_alloc(int, char**, const cli::Io&) { throw std::bad_alloc(); }

// Replaces out.txt through the registry main_of gives, then is ended by SIGTERM half-way.
int interrupted_writer(int, char**, const cli::Io& io) {
    if (io.cleanup == nullptr) return 3;
    fileio::AtomicFile out("out.txt", io.cleanup);
    if (!out.ok()) return 4;
    std::fputs("half of a new file", out.file());
    std::fflush(out.file());
    std::raise(SIGTERM);
    return 5;
}

// Runs main_of(RUN) as PROGRAM in a child; returns its wait status, its standard error in *ERR.
int run_main(cli::RunFn run, const char* program, std::string* err) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        close(fd);
        std::string name = program;
        char* argv[] = {name.data(), nullptr};
        _exit(cli::main_of(1, argv, run));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in("stderr.txt");
    std::stringstream ss;
    ss << in.rdbuf();
    *err = ss.str();
    std::remove("stderr.txt");
    return status;
}

TEST_F(Cli, MainOfTurnsOutOfMemoryIntoOneLine) {
    std::string err;
    const int status = run_main(throws_bad_alloc, "/usr/local/bin/keldro", &err);
    ASSERT_TRUE(WIFEXITED(status));  // not aborted
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(err, "keldro: out of memory\n");
}

TEST_F(Cli, MainOfRemovesTemporariesOnSignals) {
    put("out.txt", "earlier\n");
    std::string err;
    const int status = run_main(interrupted_writer, "gapimage", &err);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);  // the signal takes its course once cleaned up
    EXPECT_EQ(get("out.txt"), "earlier\n");
    EXPECT_EQ(names(), std::vector<std::string>{"out.txt"});
}

}  // namespace

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
