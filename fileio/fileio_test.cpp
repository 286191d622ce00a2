#include "fileio/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fileio/signals.h"

namespace {

using fileio::AtomicFile;
using fileio::Dash;

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}

// Each test runs in a fresh folder, which is its working folder; both are undone at the end.
class Scratch : public ::testing::Test {
   protected:
    void SetUp() override {
        char name[] = "/tmp/fileio-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(name), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd_), 0);
        nftw(dir_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
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
    // The names in FOLDER, sorted.
    static std::vector<std::string> names(const char* folder = ".") {
        std::vector<std::string> found;
        if (DIR* d = opendir(folder)) {
            while (const struct dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") found.push_back(name);
            }
            closedir(d);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
    // Runs BODY in a child process; returns its wait status.
    static int in_child(const std::function<int()>& body) {
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) _exit(body());
        int status = -1;
        waitpid(pid, &status, 0);
        return status;
    }
    static int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

    std::string dir_;
    char old_cwd_[4096] = {};
};

// Pattern text of SIZE bytes, different for each SEED.
std::string pattern(std::size_t size, int seed) {
    std::string s(size, ' ');
    for (std::size_t i = 0; i < size; ++i) s[i] = char('a' + (i * 7 + std::size_t(seed)) % 26);
    for (std::size_t i = 79; i < size; i += 80) s[i] = '\n';
    return s;
}

// ---------------------------------------------------------------------------------------------
// Same file: an output that is an input was replaced by the program's output, exit 0.

using SameFile = Scratch;

TEST_F(SameFile, EverySpellingOfAnInputIsRefused) {
    put("g.txt", "2 4\n");
    put("copy.txt", "2 4\n");
    ASSERT_EQ(mkdir("sub", 0777), 0);
    ASSERT_EQ(symlink("g.txt", "link.txt"), 0);
    ASSERT_EQ(link("g.txt", "hard.txt"), 0);
    const std::string absolute = dir_ + "/g.txt";
    for (const char* output :
         {"g.txt", "./g.txt", absolute.c_str(), "sub/../g.txt", "link.txt", "hard.txt"}) {
        const fileio::Status s = fileio::check_not_an_input(output, {"p.par", "g.txt"});
        ASSERT_FALSE(s.ok) << output;
        EXPECT_EQ(s.message, std::string(output) +
                                 ": the output is the same file as the input g.txt; " +
                                 "nothing was written");
    }
    EXPECT_TRUE(fileio::check_not_an_input("copy.txt", {"g.txt"}).ok);  // equal bytes, two files
}

TEST_F(SameFile, NamesNotThereYetAreComparedByFolderAndName) {
    put("g.txt", "2 4\n");
    ASSERT_EQ(mkdir("sub", 0777), 0);
    EXPECT_TRUE(fileio::check_not_an_input("new.txt", {"g.txt"}).ok);
    EXPECT_TRUE(fileio::same_file("new.txt", "./sub/../new.txt"));
    EXPECT_FALSE(fileio::same_file("sub/new.txt", "new.txt"));
    ASSERT_EQ(symlink("later.txt", "dangling.txt"), 0);  // writing it creates later.txt
    EXPECT_TRUE(fileio::same_file("dangling.txt", "later.txt"));
    EXPECT_EQ(fileio::resolve_path("dangling.txt"), fileio::resolve_path(".") + "/later.txt");
}

TEST_F(SameFile, StandardInputAndCharacterDevices) {
    put("g.txt", "2 4\n");
    const int saved = dup(STDIN_FILENO);
    const int fd = open("g.txt", O_RDONLY);
    ASSERT_EQ(dup2(fd, STDIN_FILENO), STDIN_FILENO);
    const fileio::Status s = fileio::check_not_an_input("g.txt", {"-"}, Dash::kStandardInput);
    const fileio::Status literal = fileio::check_not_an_input("g.txt", {"-"}, Dash::kFileName);
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(fd);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("the input standard input"), std::string::npos) << s.message;
    EXPECT_TRUE(literal.ok);  // no file named "-" here
    // Reading the terminal and writing it is no overwrite.
    EXPECT_TRUE(fileio::check_not_an_input("/dev/null", {"/dev/null"}).ok);
}

// ---------------------------------------------------------------------------------------------
// Inputs: opened for update they hung on pipes and FIFOs and refused read-only files.

using Inputs = Scratch;

// Sums the integers a child writes into PATH (a FIFO or /dev/fd/N), read with fscanf to the end.
long sum_from(const char* path, Dash dash = Dash::kFileName) {
    fileio::InputFile in = fileio::open_input(path, dash);
    if (!in) return -1;
    long sum = 0;
    long v = 0;
    while (std::fscanf(in.get(), "%ld", &v) == 1) sum += v;
    return sum;
}

constexpr int kNumbers = 30000;  // about 170 KB: more than a pipe holds at once
constexpr long kSum = long(kNumbers) * (kNumbers - 1) / 2;

void write_numbers(int fd) {
    std::FILE* out = fdopen(fd, "w");
    for (int i = 0; i < kNumbers; ++i) std::fprintf(out, "%d\n", i);
    std::fprintf(out, "%d", 0);  // no final line feed
    std::fclose(out);
}

TEST_F(Inputs, FifoPipeAndStandardInputAreReadToTheEnd) {
    alarm(60);  // a hang fails the run instead of stalling it
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    std::fflush(nullptr);
    pid_t writer = fork();
    if (writer == 0) _exit((write_numbers(open("fifo", O_WRONLY)), 0));
    EXPECT_EQ(sum_from("fifo"), kSum);
    waitpid(writer, nullptr, 0);

    int p[2];
    ASSERT_EQ(pipe(p), 0);
    writer = fork();
    if (writer == 0) _exit((close(p[0]), write_numbers(p[1]), 0));
    close(p[1]);
    EXPECT_EQ(sum_from(("/dev/fd/" + std::to_string(p[0])).c_str()), kSum);  // as <(cat g.txt)
    waitpid(writer, nullptr, 0);
    close(p[0]);

    ASSERT_EQ(pipe(p), 0);
    const int saved = dup(STDIN_FILENO);
    dup2(p[0], STDIN_FILENO);
    close(p[0]);
    writer = fork();
    if (writer == 0) _exit((close(STDIN_FILENO), write_numbers(p[1]), 0));
    close(p[1]);
    {
        fileio::InputFile in = fileio::open_input("-", Dash::kStandardInput);
        EXPECT_EQ(in.get(), stdin);
    }
    EXPECT_NE(fcntl(STDIN_FILENO, F_GETFD), -1);  // closing the InputFile left stdin open
    EXPECT_EQ(sum_from("-", Dash::kStandardInput), kSum);
    waitpid(writer, nullptr, 0);
    dup2(saved, STDIN_FILENO);
    close(saved);
    clearerr(stdin);
    alarm(0);
}

TEST_F(Inputs, ReadOnlyFileIsReadMissingAndFolderAreRefused) {
    put("g.txt", "7 8\n");
    ASSERT_EQ(chmod("g.txt", 0444), 0);
    {
        fileio::InputFile in = fileio::open_input("g.txt");
        ASSERT_TRUE(in) << in.message();
        // Root may open a read-only file for update: the access mode shows the fault all the same.
        EXPECT_EQ(fcntl(fileno(in.get()), F_GETFL) & O_ACCMODE, O_RDONLY);
        int a = 0, b = 0;
        EXPECT_EQ(std::fscanf(in.get(), "%d %d", &a, &b), 2);
        EXPECT_EQ(a * 10 + b, 78);
    }
    EXPECT_EQ(fileio::open_input("missing.txt").message(),
              "missing.txt: cannot open the file (No such file or directory)");
    ASSERT_EQ(mkdir("d", 0777), 0);
    EXPECT_EQ(fileio::open_input("d").message(), "d: is a folder, not a file");
}

// ---------------------------------------------------------------------------------------------
// Outputs: a FIFO without reader hung keldro; a folder or device must not be written.

using Outputs = Scratch;

TEST_F(Outputs, FifoIsRefusedWithoutWaitingEvenWithAReader) {
    alarm(30);
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    EXPECT_FALSE(fileio::check_output("fifo").ok);
    EXPECT_FALSE(AtomicFile("fifo").ok());
    EXPECT_FALSE(fileio::append_whole("fifo", "x\n", 2).ok);
    const int reader = open("fifo", O_RDONLY | O_NONBLOCK);
    const fileio::Status s = fileio::append_whole("fifo", "x\n", 2);
    char byte;
    EXPECT_EQ(read(reader, &byte, 1), 0);  // nothing was written
    close(reader);
    EXPECT_EQ(s.message,
              "fifo: is a FIFO or pipe; an output must be a regular file or standard output");
    EXPECT_FALSE(s.not_opened);  // a refused kind, told apart from a file that cannot be opened
    alarm(0);
}

TEST_F(Outputs, FoldersAndMissingFoldersAreRefusedDevicesAccepted) {
    ASSERT_EQ(mkdir("d", 0777), 0);
    EXPECT_EQ(fileio::check_output("d").message, "d: is a folder; an output must be a file");
    EXPECT_EQ(fileio::check_output("missing/r.txt").message,
              "missing/r.txt: cannot create the file (No such file or directory)");
    EXPECT_TRUE(fileio::check_output("new.txt").ok);
    EXPECT_TRUE(fileio::check_output("/dev/null").ok);
    EXPECT_EQ(names(), std::vector<std::string>{"d"});  // checking created nothing
    // Programs word "cannot be opened" in their own way: the flag tells them which failures.
    EXPECT_TRUE(fileio::check_output("d").not_opened);
    EXPECT_TRUE(fileio::check_output("missing/r.txt").not_opened);
    EXPECT_TRUE(fileio::append_whole("missing/r.txt", "x\n", 2).not_opened);
}

TEST_F(Outputs, StandardOutputPipeIsWrittenThrough) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(p[1], STDOUT_FILENO);
    close(p[1]);
    bool committed = false;
    {
        AtomicFile out("/dev/stdout");
        if (out.ok()) {
            std::fputs("table\n", out.file());
            committed = out.commit();
        }
    }
    const fileio::Status appended = fileio::append_whole("/dev/stdout", "report\n", 7);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    char buffer[64] = {};
    const ssize_t n = read(p[0], buffer, sizeof buffer - 1);
    close(p[0]);
    EXPECT_TRUE(committed);
    EXPECT_TRUE(appended.ok) << appended.message;
    EXPECT_EQ(std::string(buffer, n > 0 ? std::size_t(n) : 0), "table\nreport\n");
}

// ---------------------------------------------------------------------------------------------
// AtomicFile: outputs rewritten in place were left truncated by a full disk or an interrupt.

using Atomic = Scratch;

TEST_F(Atomic, ReplacesWholeKeepsModeAndLeavesNoTemporary) {
    put("t.txt", "earlier\n");
    ASSERT_EQ(chmod("t.txt", 0640), 0);
    const bool root = geteuid() == 0;  // root replacing a user's file must leave it theirs
    if (root) {
        ASSERT_EQ(chown("t.txt", 65534, 65534), 0);
    }
    {
        AtomicFile out("t.txt");
        ASSERT_TRUE(out.ok()) << out.message();
        std::fputs("new content\n", out.file());
        EXPECT_EQ(get("t.txt"), "earlier\n");  // untouched until commit
        EXPECT_EQ(names().size(), 2u);
        EXPECT_TRUE(out.commit()) << out.message();
    }
    EXPECT_EQ(get("t.txt"), "new content\n");
    EXPECT_EQ(names(), std::vector<std::string>{"t.txt"});
    struct stat st;
    ASSERT_EQ(stat("t.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
    }

    const mode_t old_mask = umask(027);
    {
        AtomicFile out("fresh.txt");
        EXPECT_TRUE(out.commit());
    }
    umask(old_mask);
    ASSERT_EQ(stat("fresh.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // 0666 less the umask, as fopen would give
}

TEST_F(Atomic, AbandonedOrRefusedByTheDeviceLeavesTheEarlierFile) {
    put("t.txt", "earlier\n");
    {
        AtomicFile out("t.txt");
        std::fputs("half a fi", out.file());
    }
    EXPECT_EQ(get("t.txt"), "earlier\n");
    EXPECT_EQ(names(), std::vector<std::string>{"t.txt"});

    AtomicFile full("/dev/full");
    ASSERT_TRUE(full.ok()) << full.message();
    std::fputs("report\n", full.file());
    EXPECT_FALSE(full.commit());
    EXPECT_EQ(full.message(), "/dev/full: cannot write the file (No space left on device)");
    AtomicFile null("/dev/null");
    std::fputs("report\n", null.file());
    EXPECT_TRUE(null.commit());
}

TEST_F(Atomic, FileSizeLimitLeavesTheEarlierFileByteIdentical) {
    const std::string earlier = pattern(10000, 1);
    put("g.txt", earlier);
    const int status = in_child([] {
        const struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        AtomicFile out("g.txt");
        std::fputs(pattern(65536, 2).c_str(), out.file());
        return !out.commit() && out.message() ==
                                    "g.txt: cannot write the file (File too large); "
                                    "the earlier file is left as it was"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(exit_code(status), 0);
    EXPECT_EQ(get("g.txt"), earlier);
    EXPECT_EQ(names(), std::vector<std::string>{"g.txt"});
}

TEST_F(Atomic, SymbolicLinkIsKeptAndItsFileReplaced) {
    ASSERT_EQ(mkdir("real", 0777), 0);
    put("real/data.txt", "earlier\n");
    ASSERT_EQ(symlink("real/data.txt", "link.txt"), 0);
    AtomicFile out("link.txt");
    std::fputs("new\n", out.file());
    ASSERT_TRUE(out.commit()) << out.message();
    struct stat st;
    ASSERT_EQ(lstat("link.txt", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(get("real/data.txt"), "new\n");
    EXPECT_EQ(names("real"), std::vector<std::string>{"data.txt"});
}

TEST_F(Atomic, TwoWritersOfOneNameLeaveOneWholeFile) {
    const std::string a = pattern(50000, 3);
    const std::string b = pattern(50000, 4);
    AtomicFile first("photo.bmp");
    AtomicFile second("photo.bmp");
    std::fwrite(a.data(), 1, a.size() / 2, first.file());
    std::fwrite(b.data(), 1, b.size(), second.file());
    ASSERT_TRUE(second.commit());
    std::fwrite(a.data() + a.size() / 2, 1, a.size() - a.size() / 2, first.file());
    ASSERT_TRUE(first.commit());
    EXPECT_EQ(get("photo.bmp"), a);
    EXPECT_EQ(names(), std::vector<std::string>{"photo.bmp"});
}

TEST_F(Atomic, LongNameAndFullRegistry) {
    const std::string name(250, 'n');  // the temporary's name must still fit NAME_MAX
    AtomicFile out(name.c_str());
    ASSERT_TRUE(out.ok()) << out.message();
    EXPECT_TRUE(out.commit());

    fileio::CleanupRegistry registry;
    std::vector<std::unique_ptr<AtomicFile>> open;
    for (int i = 0; i < fileio::CleanupRegistry::kSlots; ++i) {
        open.push_back(std::make_unique<AtomicFile>(("f" + std::to_string(i)).c_str(), &registry));
    }
    EXPECT_EQ(registry.live(), fileio::CleanupRegistry::kSlots);
    AtomicFile one_more("extra.txt", &registry);  // would escape the signal handlers
    EXPECT_EQ(one_more.message(), "extra.txt: too many temporary files at once");
    open.clear();
    EXPECT_EQ(registry.live(), 0);
}

// Root bypasses permissions: the checks run as an unprivileged user in a child.
TEST_F(Atomic, ReadOnlyFilesAsAnUnprivilegedUser) {
    put("ro.txt", "7 8\n");
    ASSERT_EQ(chmod("ro.txt", 0444), 0);
    ASSERT_EQ(chmod(".", 0777), 0);
    const int status = in_child([] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 77;
        if (!fileio::open_input("ro.txt")) return 2;
        AtomicFile out("ro.txt");  // the folder would let a rename replace it
        return out.message() == "ro.txt: cannot write the file (Permission denied)" ? 0 : 3;
    });
    if (exit_code(status) == 77) GTEST_SKIP() << "cannot become an unprivileged user";
    EXPECT_EQ(exit_code(status), 0);
    EXPECT_EQ(get("ro.txt"), "7 8\n");
    EXPECT_EQ(names(), std::vector<std::string>{"ro.txt"});
}

// ---------------------------------------------------------------------------------------------
// Appended reports: parallel runs tore reports; a full disk left a torn tail.

using Append = Scratch;

constexpr int kReportLines = 1000;  // 72-byte lines: a 72 000-byte report

std::string report_line(int run, int line) {
    char text[80];
    std::snprintf(text, sizeof text, "run %02d line %04d %s\n", run, line,
                  "lai 1.9158 ring 07 sector 12 fraction 0.533436 px 1200");
    return text;
}

TEST_F(Append, FiftyParallelReportsStayWhole) {
    constexpr int kRuns = 50;
    std::vector<pid_t> children;
    std::fflush(nullptr);
    for (int run = 0; run < kRuns; ++run) {
        const pid_t pid = fork();
        if (pid == 0) {
            fileio::MemoryReport report;
            for (int line = 0; line < kReportLines; ++line) {
                std::fputs(report_line(run, line).c_str(), report.file());
            }
            _exit(fileio::append_report("reports.txt", &report).ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_EQ(exit_code(status), 0);
    }
    const std::string all = get("reports.txt");
    const std::size_t size = std::size_t(kReportLines) * report_line(0, 0).size();
    ASSERT_EQ(size, 72000u);
    ASSERT_EQ(all.size(), size * kRuns);
    std::set<int> seen;
    for (std::size_t at = 0; at < all.size(); at += size) {
        const int run = std::atoi(all.c_str() + at + 4);
        std::string expected;
        for (int line = 0; line < kReportLines; ++line) expected += report_line(run, line);
        EXPECT_EQ(all.compare(at, size, expected), 0) << "report at byte " << at << " is torn";
        seen.insert(run);
    }
    EXPECT_EQ(seen.size(), std::size_t(kRuns));
}

TEST_F(Append, FailedAppendIsCutBackToTheEarlierLength) {
    const std::string earlier = pattern(5000, 5);
    put("log.txt", earlier);
    const int status = in_child([] {
        const struct rlimit limit = {5000 + 30000, 5000 + 30000};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        const std::string report = pattern(72000, 6);
        const fileio::Status s = fileio::append_whole("log.txt", report.data(), report.size());
        return s.message ==
                       "log.txt: cannot append the report (File too large); the file is "
                       "left as it was"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(exit_code(status), 0);
    EXPECT_EQ(get("log.txt"), earlier);
    ASSERT_TRUE(fileio::append_whole("log.txt", "next run\n", 9).ok);
    EXPECT_EQ(get("log.txt"), earlier + "next run\n");  // no torn line to glue onto
}

TEST_F(Append, DevicesAndEmptyReports) {
    const fileio::Status full = fileio::append_whole("/dev/full", "r\n", 2);
    EXPECT_EQ(full.message, "/dev/full: cannot append the report (No space left on device)");
    EXPECT_TRUE(fileio::append_whole("/dev/null", "r\n", 2).ok);
    fileio::MemoryReport empty;
    EXPECT_TRUE(fileio::append_report("new.txt", &empty).ok);
    EXPECT_EQ(names(), std::vector<std::string>{"new.txt"});  // created, as opening for append
    EXPECT_FALSE(fileio::append_whole("missing/r.txt", "r\n", 2).ok);
}

// ---------------------------------------------------------------------------------------------
// Signals: Ctrl-C left a torn gap file.

using Signals = Scratch;

TEST_F(Signals, InterruptLeavesNoTemporaryAndTheEarlierFile) {
    const std::string earlier = pattern(3000, 7);
    put("g.txt", earlier);
    for (int signal_number : {SIGINT, SIGTERM}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            fileio::CleanupRegistry registry;
            fileio::CleanupOnSignals cleanup(&registry);
            AtomicFile out("g.txt", &registry);
            std::fputs(pattern(100000, 8).c_str(), out.file());
            std::fflush(out.file());
            if (!cleanup.ok() || !out.ok() || write(ready[1], "r", 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        EXPECT_EQ(names().size(), 2u);  // the temporary exists when the signal comes
        kill(pid, signal_number);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
        EXPECT_EQ(names(), std::vector<std::string>{"g.txt"});
        EXPECT_EQ(get("g.txt"), earlier);
    }
}

TEST(SignalHandlers, IgnoredSignalsStayIgnoredAndDispositionsComeBack) {
    struct sigaction saved_xfsz;
    sigaction(SIGXFSZ, nullptr, &saved_xfsz);
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit must fail with EFBIG, not kill
    fileio::CleanupRegistry registry;
    struct sigaction now;
    {
        fileio::CleanupOnSignals cleanup(&registry);
        EXPECT_TRUE(cleanup.ok());
        sigaction(SIGXFSZ, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_IGN);
        sigaction(SIGTERM, nullptr, &now);
        EXPECT_NE(now.sa_handler, SIG_DFL);
        fileio::CleanupOnSignals second(&registry);
        EXPECT_EQ(second.message(), "signal handlers: already installed");
    }
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    sigaction(SIGXFSZ, &saved_xfsz, nullptr);
}

}  // namespace
