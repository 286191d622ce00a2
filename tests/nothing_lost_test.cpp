// The built programs against the ways data was lost, a run hung or aborted:
//   - an output that is one of the inputs, however it is spelled, is refused and nothing changes;
//   - a full disk (a file-size limit, SIGXFSZ ignored) or an interrupt half-way leaves the
//     earlier output byte for byte and no temporary file;
//   - fifty runs appending one 72 KB report each to one file at once leave fifty whole reports;
//   - pipes, FIFOs, "-", /dev/stdin and read-only files are read as inputs, and an output FIFO
//     is refused, all without waiting (every run is killed after 30 s and counted as a hang);
//   - memory that runs out ends the run with one line and exit status 1, not an abort.
// Every refusal is one line on standard error with exit status 1.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kBin = SKYGAP_BIN_DIR;
constexpr int kTimeoutSeconds = 30;
constexpr uid_t kNobody = 65534;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const fs::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

// A gap-fraction file of nz x na records, as the writer lays it out.
std::string gap_file(int nz, int na) {
    std::string s = std::to_string(nz) + "   " + std::to_string(na) + "\n";
    char line[128];
    for (int i = 0; i < nz; ++i)
        for (int j = na - 1; j >= 0; --j) {
            std::snprintf(line, sizeof line, "%f   %f   %f   %d\n", 90.0 * i / nz + 45.0 / nz,
                          360.0 * j / na + 180.0 / na, 0.05 + 0.9 * ((i * 7 + j * 3) % 10) / 10.0,
                          100 + i * j);
            s += line;
        }
    return s;
}

// The headers and grey palette of an 8-bit BMP of W x H pixels, without the pixels.
std::string grey_bmp(int w, int h) {
    std::string s(54, '\0');
    auto put = [&s](std::size_t pos, std::uint32_t v, int bytes) {
        for (int b = 0; b < bytes; ++b) s[pos + b] = char((v >> (8 * b)) & 0xff);
    };
    const int row = (w + 3) / 4 * 4;
    s[0] = 'B';
    s[1] = 'M';
    put(2, 54 + 1024 + std::uint32_t(row) * std::uint32_t(h), 4);
    put(10, 54 + 1024, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(w), 4);
    put(22, std::uint32_t(h), 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(46, 256, 4);
    for (int c = 0; c < 256; ++c) s += std::string{char(c), char(c), char(c), 0};
    return s;
}

// A whole 8-bit BMP of W x H pixels: sky (non-zero) and canopy (0) in a pattern.
std::string pattern_bmp(int w, int h) {
    std::string s = grey_bmp(w, h);
    const int row = (w + 3) / 4 * 4;
    s.reserve(s.size() + std::size_t(row) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < row; ++x) s += char(((x / 7) ^ (y / 5)) % 3 == 0 ? 0 : 200);
    return s;
}

// gapimage's answers for a W x W photo: rim points of the inscribed circle, classified, gap
// fractions of nz x na cells, declination 0.
std::string answers(const std::string& photo, int w, int nz, int na) {
    std::ostringstream ss;
    ss << photo << "\n1\n0 " << w / 2 << "\n"
       << w / 2 << " 0\n"
       << w << " " << w / 2 << "\nc\nn\n"
       << nz << " " << na << "\n0\n";
    return ss.str();
}

// The folder a test works in, removed at its end.
class Folder {
   public:
    Folder() {
        char tmpl[] = "/tmp/skygap-lost-XXXXXX";
        if (mkdtemp(tmpl) != nullptr) dir_ = tmpl;
        chmod(dir_.c_str(), 0777);  // an unprivileged run may write its output here
    }
    ~Folder() { fs::remove_all(dir_); }
    const fs::path& path() const { return dir_; }
    fs::path operator/(const std::string& name) const { return dir_ / name; }
    // Every entry (hidden run files aside) with its content; a FIFO or folder as a marker.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (name[0] == '.') continue;
            files[name] = e.is_fifo() ? "<fifo>" : e.is_directory() ? "<dir>" : slurp(e.path());
        }
        return files;
    }
    // The temporary files an atomic replacement leaves if it goes wrong.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (name.find(".tmp-") != std::string::npos) found.push_back(name);
        }
        return found;
    }

   private:
    fs::path dir_;
};

// One run of a program in a folder.
struct Invocation {
    std::string program = "";
    std::vector<std::string> args = {};
    std::string stdin_file = "";  // the file given as standard input; empty: /dev/null
    int stdin_fd = -1;            // or this descriptor (the reading end of a pipe)
    rlim_t file_size_limit = 0;   // RLIMIT_FSIZE in bytes, SIGXFSZ ignored; 0: none
    rlim_t address_space = 0;     // RLIMIT_AS in bytes; 0: none
    bool unprivileged = false;    // run as nobody when the test runs as root
};

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    bool timed_out = false;
    std::string err;
    int error_lines() const { return int(std::count(err.begin(), err.end(), '\n')); }
};

pid_t start(const Invocation& r, const fs::path& dir) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = r.stdin_fd >= 0        ? r.stdin_fd
                   : r.stdin_file.empty() ? open("/dev/null", O_RDONLY)
                                          : open((dir / r.stdin_file).c_str(), O_RDONLY);
    const int out = open((dir / ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = open((dir / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (r.file_size_limit != 0) {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {r.file_size_limit, r.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (r.address_space != 0) {
        const struct rlimit limit = {r.address_space, r.address_space};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (r.unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
        _exit(125);
    std::vector<char*> av{const_cast<char*>(r.program.c_str())};
    for (const auto& a : r.args) av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    const std::string path = kBin + "/" + r.program;
    execv(path.c_str(), av.data());
    _exit(127);
}

Outcome finish(pid_t pid, const fs::path& dir) {
    Outcome o;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    int ws = 0;
    while (waitpid(pid, &ws, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &ws, 0);
            o.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    o.err = slurp(dir / ".stderr");
    return o;
}

Outcome run(const Invocation& r, const fs::path& dir) { return finish(start(r, dir), dir); }

bool built(const std::string& program) { return fs::exists(kBin + "/" + program); }

// The programs that read a gap-fraction file, with a parameter file and answers that run.
struct Reader {
    const char* program;
    const char* params;  // null: no parameter file
    const char* dialogue;
};
const Reader kReaders[] = {
    {"pasket", nullptr, ""},   {"tessor", "0\n0\n0\n0\n0\n", "3\n0\n-1\n"},
    {"bravik", "0 0 1\n", ""}, {"quinda", "0 0\n", ""},
    {"zephor", "0 0\n", ""},   {"keldro", "0\n0\n0\n0\n0\n1\n", ""},
};

// The arguments of READER on parameter file PAR, data DATA and output OUT.
std::vector<std::string> reader_args(const Reader& reader, const std::string& par,
                                     const std::string& data, const std::string& out) {
    std::vector<std::string> args;
    if (reader.params != nullptr) args.push_back(par);
    args.push_back(data);
    args.push_back(out);
    return args;
}

// A folder holding p.par, g.txt (9 x 8), the answers and an earlier report r.txt.
void fill_reader_folder(const Reader& reader, const Folder& f) {
    if (reader.params != nullptr) spit(f / "p.par", reader.params);
    spit(f / "g.txt", gap_file(9, 8));
    spit(f / "answers", reader.dialogue);
    spit(f / "r.txt", "an earlier report\n");
}

// ---------------------------------------------------------------------------------------------
// Same file: "pasket g.txt g.txt" replaced the data by the table, exit 0.

TEST(SameFile, EveryReaderRefusesEverySpellingOfAnInput) {
    for (const Reader& reader : kReaders) {
        if (!built(reader.program)) continue;
        Folder f;
        fill_reader_folder(reader, f);
        fs::create_directory(f / "sub");
        fs::create_symlink("g.txt", f / "link.txt");
        fs::create_hard_link(f / "g.txt", f / "hard.txt");
        fs::create_symlink("p.par", f / "plink");
        const auto before = f.snapshot();
        std::vector<std::string> outputs = {"g.txt",        "./g.txt",  (f / "g.txt").string(),
                                            "sub/../g.txt", "link.txt", "hard.txt"};
        if (reader.params != nullptr) {
            outputs.push_back("p.par");
            outputs.push_back("plink");
        }
        for (const std::string& out : outputs) {
            Invocation r{reader.program, reader_args(reader, "p.par", "g.txt", out), "answers"};
            const Outcome o = run(r, f.path());
            SCOPED_TRACE(std::string(reader.program) + " with output " + out);
            EXPECT_EQ(o.status, 1);
            EXPECT_EQ(o.error_lines(), 1) << o.err;
            EXPECT_NE(o.err.find("the output is the same file as the input"), std::string::npos)
                << o.err;
            EXPECT_EQ(f.snapshot(), before);
        }
        // Standard input read as "-" is compared as the file it is.
        Invocation dash{reader.program, reader_args(reader, "p.par", "-", "g.txt"), "g.txt"};
        const Outcome o = run(dash, f.path());
        EXPECT_EQ(o.status, 1) << reader.program << ": " << o.err;
        EXPECT_NE(o.err.find("the input standard input"), std::string::npos) << o.err;
        EXPECT_EQ(f.snapshot(), before);
    }
}

TEST(SameFile, GapimageRefusesToWriteOverItsPhotograph) {
    if (!built("gapimage")) GTEST_SKIP();
    const std::string photo = pattern_bmp(40, 40);
    // The photograph is gapfract.txt itself, or reached through a link, "./", an absolute path.
    Folder f;
    spit(f / "gapfract.txt", photo);
    fs::create_symlink("gapfract.txt", f / "photo.bmp");
    fs::create_hard_link(f / "gapfract.txt", f / "hard.bmp");
    const auto before = f.snapshot();
    const std::string absolute = (f / "gapfract.txt").string();
    for (const std::string& name : std::vector<std::string>{"gapfract.txt", "./gapfract.txt",
                                                            "photo.bmp", "hard.bmp", absolute}) {
        spit(f / ".answers", answers(name, 40, 2, 4));
        const Outcome o = run(Invocation{"gapimage", {}, ".answers"}, f.path());
        EXPECT_EQ(o.status, 1) << name;
        EXPECT_EQ(o.err, "gapfract.txt: the output is the same file as the input " + name +
                             "; nothing was written\n");
        EXPECT_EQ(f.snapshot(), before) << name;
    }
    // The gap sizes too.
    Folder g;
    spit(g / "gapsize.txt", photo);
    spit(g / ".answers", "gapsize.txt\n1\n0 20\n20 0\n40 20\nc\ny\n10 80 10\n");
    const Outcome o = run(Invocation{"gapimage", {}, ".answers"}, g.path());
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.error_lines(), 1) << o.err;
    EXPECT_EQ(slurp(g / "gapsize.txt"), photo);
}

TEST(SameFile, CanopysimRefusesOneFileForPictureAndTruth) {
    if (!built("canopysim")) GTEST_SKIP();
    Folder f;
    spit(f / "x.bmp", "an earlier picture\n");
    fs::create_symlink("x.bmp", f / "t.txt");
    for (const char* truth : {"x.bmp", "./x.bmp", "t.txt"}) {
        const Outcome o =
            run(Invocation{"canopysim", {"--size", "32", "--truth", truth, "x.bmp"}}, f.path());
        EXPECT_EQ(o.status, 1) << truth;
        EXPECT_EQ(o.error_lines(), 1) << o.err;
        EXPECT_EQ(slurp(f / "x.bmp"), "an earlier picture\n") << truth;
    }
}

// ---------------------------------------------------------------------------------------------
// A full disk truncated gapimage's good file at 4096 bytes, and a reader then used it.

TEST(FullDisk, ReplacedOutputsKeepTheEarlierFileAndLeaveNoTemporary) {
    if (!built("gapimage") || !built("pasket")) GTEST_SKIP();
    Folder f;
    spit(f / "photo.bmp", pattern_bmp(300, 300));
    spit(f / ".answers", answers("photo.bmp", 300, 9, 8));
    ASSERT_EQ(run(Invocation{"gapimage", {}, ".answers"}, f.path()).status, 0);
    const std::string earlier = slurp(f / "gapfract.txt");
    ASSERT_GT(earlier.size(), 2000u);

    // A larger grid, whose file passes the limit that the earlier one stays under.
    spit(f / ".answers", answers("photo.bmp", 300, 30, 72));
    Invocation big{"gapimage", {}, ".answers"};
    big.file_size_limit = 4096;
    const Outcome o = run(big, f.path());
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "gapfract.txt: cannot write the file (File too large); the earlier file is left "
              "as it was\n");
    EXPECT_EQ(slurp(f / "gapfract.txt"), earlier);
    EXPECT_TRUE(f.temporaries().empty());

    spit(f / "table.txt", "an earlier table\n");
    Invocation table{"pasket", {"gapfract.txt", "table.txt"}};
    table.file_size_limit = 200;
    const Outcome t = run(table, f.path());
    EXPECT_EQ(t.status, 1);
    EXPECT_EQ(t.error_lines(), 1) << t.err;
    EXPECT_EQ(slurp(f / "table.txt"), "an earlier table\n");
    EXPECT_TRUE(f.temporaries().empty());
}

TEST(FullDisk, AppendedReportsAreCutBackToTheEarlierLength) {
    for (const Reader& reader : kReaders) {
        if (reader.params == nullptr || !built(reader.program)) continue;
        Folder f;
        fill_reader_folder(reader, f);
        const std::string earlier(3000, 'e');
        spit(f / "r.txt", earlier);
        Invocation r{reader.program, reader_args(reader, "p.par", "g.txt", "r.txt"), "answers"};
        r.file_size_limit = 3100;  // room for the start of a report, not the whole
        const Outcome o = run(r, f.path());
        EXPECT_EQ(o.status, 1) << reader.program;
        EXPECT_EQ(o.err,
                  "r.txt: cannot append the report (File too large); the file is left as "
                  "it was\n");
        EXPECT_EQ(slurp(f / "r.txt"), earlier) << reader.program << ": a torn tail was left";
    }
}

// ---------------------------------------------------------------------------------------------
// Ctrl-C in the middle of a large run left a torn gap-fraction file.

TEST(Interrupt, MidRunLeavesTheEarlierFileAndNoTemporary) {
    if (!built("gapimage")) GTEST_SKIP();
    Folder f;
    spit(f / "photo.bmp", pattern_bmp(1600, 1600));
    spit(f / ".answers", answers("photo.bmp", 1600, 90, 360));
    ASSERT_EQ(run(Invocation{"gapimage", {}, ".answers"}, f.path()).status, 0);
    const std::string complete = slurp(f / "gapfract.txt");
    ASSERT_GT(complete.size(), 1000000u);  // 32400 records
    const std::string earlier = "an earlier gap-fraction file\n";
    spit(f / "gapfract.txt", earlier);
    // Each try waits until the temporary appears (the file is being written) and interrupts
    // the run then. The signal may still come just after the rename: the new file is whole.
    int caught = 0;
    for (int attempt = 0; attempt < 40 && caught < 5; ++attempt) {
        const pid_t pid = start(Invocation{"gapimage", {}, ".answers"}, f.path());
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
        bool sent = false;
        int ws = 0;
        while (waitpid(pid, &ws, WNOHANG) == 0) {
            if (!sent && !f.temporaries().empty()) {
                kill(pid, SIGINT);
                sent = true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &ws, 0);
                FAIL() << "gapimage hangs";
            }
        }
        const std::string now = slurp(f / "gapfract.txt");
        EXPECT_TRUE(now == earlier || now == complete) << "a torn file of " << now.size();
        EXPECT_TRUE(f.temporaries().empty());
        if (WIFSIGNALED(ws) && WTERMSIG(ws) == SIGINT && now == earlier) ++caught;
        if (now != earlier) spit(f / "gapfract.txt", earlier);  // finished first: again
    }
    EXPECT_GT(caught, 0) << "no run was caught while writing its file";
}

// ---------------------------------------------------------------------------------------------
// Fifty keldro runs appending 72 KB reports at once: 23 of 50 came out whole.

TEST(ParallelAppends, FiftyReportsOf72KilobytesStayWhole) {
    if (!built("keldro")) GTEST_SKIP();
    Folder f;
    spit(f / "p.par", "0\n0\n0\n0\n0\n1\n");
    spit(f / "g.txt", gap_file(40, 150));  // a point per cell: 6000 lines
    fs::create_directory(f / "one");       // the report names its inputs as the runs below do
    ASSERT_EQ(run(Invocation{"keldro", {"../p.par", "../g.txt", "../one.txt"}}, f / "one").status,
              0);
    const std::string report = slurp(f / "one.txt");
    ASSERT_GT(report.size(), 72000u);

    std::vector<std::pair<pid_t, fs::path>> runs;
    for (int k = 0; k < 50; ++k) {
        const fs::path own = f / ("run" + std::to_string(k));  // its own .stderr
        fs::create_directory(own);
        runs.emplace_back(start(Invocation{"keldro", {"../p.par", "../g.txt", "../all.txt"}}, own),
                          own);
    }
    for (const auto& [pid, own] : runs) {
        const Outcome o = finish(pid, own);
        EXPECT_EQ(o.status, 0) << o.err;
    }
    std::string expected;
    for (int k = 0; k < 50; ++k) expected += report;
    const std::string all = slurp(f / "all.txt");
    EXPECT_EQ(all.size(), expected.size());
    EXPECT_TRUE(all == expected) << "reports were interleaved";
}

// ---------------------------------------------------------------------------------------------
// Inputs opened for update: a pipe or FIFO hung, read-only data was refused.

// A child process writing a text into a pipe or FIFO; ended and reaped when it goes, should the
// program never read what it writes.
class Writer {
   public:
    // Writes TEXT into a new pipe; fd() is the reading end.
    explicit Writer(const std::string& text) {
        int p[2];
        if (pipe(p) != 0) return;
        spawn([&] {
            close(p[0]);
            return write_all(p[1], text);
        });
        close(p[1]);
        fd_ = p[0];
    }
    // Writes TEXT into the FIFO PATH, once a reader opens it.
    Writer(const fs::path& path, const std::string& text) {
        spawn([&] {
            const int fd = open(path.c_str(), O_WRONLY);
            return fd >= 0 && write_all(fd, text) == 0 ? 0 : 1;
        });
    }
    ~Writer() {
        if (fd_ >= 0) close(fd_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    int fd() const { return fd_; }

   private:
    template <typename Body>
    void spawn(Body body) {
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) _exit(body());
    }
    static int write_all(int fd, const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(fd, text.data() + done, text.size() - done);
            if (n <= 0) return 1;
            done += std::size_t(n);
        }
        return close(fd);
    }
    int fd_ = -1;
    pid_t pid_ = -1;
};

// Every way of giving the gap-fraction file yields the report of a plain file, with the name
// it was given as.
TEST(Inputs, PipesFifosStandardInputAndReadOnlyFilesAreRead) {
    for (const Reader& reader : kReaders) {
        if (!built(reader.program)) continue;
        SCOPED_TRACE(reader.program);
        const std::string data = gap_file(9, 8);
        Folder plain;
        fill_reader_folder(reader, plain);
        spit(plain / "r.txt", "");
        const Invocation reference{reader.program, reader_args(reader, "p.par", "g.txt", "r.txt"),
                                   "answers"};
        ASSERT_EQ(run(reference, plain.path()).status, 0);
        const std::string expected = slurp(plain / "r.txt");
        // The same report with the data given under another name.
        auto renamed = [&](const std::string& name) {
            std::string text = expected;
            for (std::size_t at; (at = text.find("g.txt")) != std::string::npos;)
                text.replace(at, 5, name);
            return text;
        };

        // A FIFO named g.txt.
        Folder fifo;
        fill_reader_folder(reader, fifo);
        spit(fifo / "r.txt", "");
        fs::remove(fifo / "g.txt");
        ASSERT_EQ(mkfifo((fifo / "g.txt").c_str(), 0666), 0);
        Outcome o;
        {
            const Writer writer(fifo / "g.txt", data);
            o = run(reference, fifo.path());
        }
        EXPECT_FALSE(o.timed_out);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(slurp(fifo / "r.txt"), expected);

        // "-" with the data (and, for tessor, the answers after it) on standard input.
        Folder dash;
        fill_reader_folder(reader, dash);
        spit(dash / "r.txt", "");
        spit(dash / "stdin", data + reader.dialogue);
        o = run(Invocation{reader.program, reader_args(reader, "p.par", "-", "r.txt"), "stdin"},
                dash.path());
        EXPECT_FALSE(o.timed_out);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(slurp(dash / "r.txt"), renamed("-"));

        // Read-only inputs, read by a user who may not write them.
        Folder read_only;
        fill_reader_folder(reader, read_only);
        spit(read_only / "r.txt", "");
        fs::permissions(read_only / "r.txt", fs::perms(0666));
        for (const char* name : {"g.txt", "p.par"})
            if (fs::exists(read_only / name)) fs::permissions(read_only / name, fs::perms(0444));
        Invocation unprivileged = reference;
        unprivileged.unprivileged = true;
        o = run(unprivileged, read_only.path());
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(slurp(read_only / "r.txt"), expected);

        // /dev/stdin on a pipe: the writer's end is closed when it is done. (tessor's answers
        // cannot follow: /dev/stdin opened as a file of its own reads ahead of them.)
        if (std::string(reader.program) == "tessor") continue;
        Folder pipe_in;
        fill_reader_folder(reader, pipe_in);
        spit(pipe_in / "r.txt", "");
        Invocation from_pipe{reader.program, reader_args(reader, "p.par", "/dev/stdin", "r.txt")};
        {
            const Writer writer(data + reader.dialogue);
            from_pipe.stdin_fd = writer.fd();
            o = run(from_pipe, pipe_in.path());
        }
        EXPECT_FALSE(o.timed_out);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(slurp(pipe_in / "r.txt"), renamed("/dev/stdin"));
    }
}

TEST(Inputs, ParameterFileThroughAPipeWithoutFinalLineFeed) {
    for (const Reader& reader : kReaders) {
        if (reader.params == nullptr || !built(reader.program)) continue;
        SCOPED_TRACE(reader.program);
        Folder f;
        fill_reader_folder(reader, f);
        spit(f / "r.txt", "");
        ASSERT_EQ(run(Invocation{reader.program, reader_args(reader, "p.par", "g.txt", "r.txt"),
                                 "answers"},
                      f.path())
                      .status,
                  0);
        std::string expected = slurp(f / "r.txt");
        std::string params = reader.params;
        params.pop_back();  // the last line feed
        spit(f / "r.txt", "");
        Invocation r{reader.program, reader_args(reader, "-", "g.txt", "r.txt")};
        const Writer writer(params + (reader.dialogue[0] != '\0' ? std::string(" ") : "") +
                            reader.dialogue);
        r.stdin_fd = writer.fd();
        const Outcome o = run(r, f.path());
        EXPECT_FALSE(o.timed_out);
        EXPECT_EQ(o.status, 0) << o.err;
        // keldro names its parameter file in the report.
        for (std::size_t at; (at = expected.find("p.par")) != std::string::npos;)
            expected.replace(at, 5, "-");
        EXPECT_EQ(slurp(f / "r.txt"), expected);
    }
}

TEST(Outputs, FifoIsRefusedWithoutWaitingAndNothingIsLost) {
    for (const Reader& reader : kReaders) {
        if (!built(reader.program)) continue;
        Folder f;
        fill_reader_folder(reader, f);
        ASSERT_EQ(mkfifo((f / "out").c_str(), 0666), 0);
        const Outcome o =
            run(Invocation{reader.program, reader_args(reader, "p.par", "g.txt", "out"), "answers"},
                f.path());
        EXPECT_FALSE(o.timed_out) << reader.program;
        EXPECT_EQ(o.status, 1) << reader.program;
        EXPECT_EQ(o.err,
                  "out: is a FIFO or pipe; an output must be a regular file or standard "
                  "output\n");
    }
}

// ---------------------------------------------------------------------------------------------
// A failed allocation aborted with a core dump.

TEST(Memory, AllocationFailureEndsWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    if (!built("gapimage")) GTEST_SKIP();
    Folder f;
    // 16000 x 16000 pixels, under the cap of 2^28, in a sparse file: 256 MB to allocate.
    spit(f / "photo.bmp", grey_bmp(16000, 16000));
    fs::resize_file(f / "photo.bmp", 54 + 1024 + std::uintmax_t(16000) * 16000);
    spit(f / ".answers", answers("photo.bmp", 16000, 9, 8));
    Invocation r{"gapimage", {}, ".answers"};
    r.address_space = rlim_t(160) << 20;
    const Outcome o = run(r, f.path());
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "gapimage: out of memory\n");
}

}  // namespace
