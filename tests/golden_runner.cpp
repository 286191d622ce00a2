// Runs one end-to-end case of a program and compares everything it produced, byte for byte,
// with the case's expected files.
//
// A case folder holds:
//   args            the command-line arguments, one per line (absent: none)
//   argv0           the program name to run under (absent: the program file's own name)
//   stdin           the standard input (absent: empty)
//   chmod           lines "MODE NAME" applied to the work folder before the run; such a case is
//                   skipped (exit 77) when run as root, since root opens protected files anyway
//   input/          files copied into a fresh work folder, which is the program's working folder
//   expected/stdout, expected/stderr, expected/status   (absent: empty, empty, 0)
//   expected/files/ every file the work folder must hold afterwards that is new or changed
//
// Every other file of the work folder must be an input file left unchanged. "-nan" is read as
// "nan" on both sides, spaces around it ignored. On a mismatch a unified diff is printed and the actual output is left
// beside the expected one as NAME.actual. With --update (or GOLDEN_UPDATE=1) the expected files
// are rewritten from the actual run instead; such goldens must be checked by hand.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kSkip = 77;
constexpr int kTimeoutSeconds = 20;

bool read_file(const fs::path& p, std::string* out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return true;
}

void write_file(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
}

// The sign of a NaN is not fixed by the language, so it may differ between builds; and since
// "-nan" is one character wider than "nan", the padding of a field of fixed width differs too.
// So the sign is dropped and the spaces on either side of a NaN are dropped with it.
std::string normalise(std::string s) {
    for (size_t pos = 0; (pos = s.find("-nan", pos)) != std::string::npos;) s.erase(pos, 1);
    for (size_t pos = 0; (pos = s.find("nan", pos)) != std::string::npos;) {
        size_t first = pos;
        while (first > 0 && s[first - 1] == ' ') --first;
        size_t last = pos + 3;
        while (last < s.size() && s[last] == ' ') ++last;
        s.replace(first, last - first, "nan");
        pos = first + 3;
    }
    return s;
}

std::vector<std::string> read_lines(const fs::path& p) {
    std::vector<std::string> lines;
    std::string text;
    if (!read_file(p, &text)) return lines;
    std::istringstream ss(text);
    for (std::string line; std::getline(ss, line);) lines.push_back(line);
    return lines;
}

// All regular files below dir, by path relative to it.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    if (!fs::exists(dir)) return files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::string data;
        read_file(e.path(), &data);
        files[fs::relative(e.path(), dir).string()] = data;
    }
    return files;
}

struct Outcome {
    std::string out, err;
    int status = -1;
    bool timed_out = false;
};

Outcome run(const std::string& program, const std::string& argv0,
            const std::vector<std::string>& args, const fs::path& stdin_path,
            const fs::path& work, const fs::path& scratch) {
    Outcome o;
    const fs::path out_path = scratch / "stdout", err_path = scratch / "stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(stdin_path.c_str(), O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(work.c_str()) != 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> av;
        av.push_back(const_cast<char*>(argv0.c_str()));
        for (const auto& a : args) av.push_back(const_cast<char*>(a.c_str()));
        av.push_back(nullptr);
        execv(program.c_str(), av.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            o.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    read_file(out_path, &o.out);
    read_file(err_path, &o.err);
    return o;
}

class Checker {
  public:
    Checker(fs::path expected_dir, bool update) : dir_(std::move(expected_dir)), update_(update) {}

    void compare(const std::string& rel, const std::string& actual, const std::string& dflt) {
        const fs::path p = dir_ / rel;
        const fs::path actual_path = p.string() + ".actual";
        std::string expected = dflt;
        const bool have = read_file(p, &expected);
        if (update_) {
            if (have || actual != dflt) write_file(p, actual);
            return;
        }
        if (normalise(expected) == normalise(actual)) {
            fs::remove(actual_path);
            return;
        }
        ++failures_;
        write_file(actual_path, actual);
        std::printf("MISMATCH in %s\n", rel.c_str());
        const fs::path shown = have ? p : fs::path("/dev/null");
        const std::string cmd = "diff -u '" + shown.string() + "' '" + actual_path.string() + "'";
        std::fflush(stdout);
        if (std::system(cmd.c_str()) == -1) std::printf("(diff could not be run)\n");
    }

    void fail(const std::string& what) {
        ++failures_;
        std::printf("%s\n", what.c_str());
    }
    int failures() const { return failures_; }

  private:
    fs::path dir_;
    bool update_;
    int failures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CASE_DIR PROGRAM [--update]\n", argv[0]);
        return 2;
    }
    const fs::path case_dir = fs::absolute(argv[1]);
    const std::string program = fs::absolute(argv[2]).string();
    const char* env_update = std::getenv("GOLDEN_UPDATE");
    const bool update = (argc > 3 && std::strcmp(argv[3], "--update") == 0) ||
                        (env_update != nullptr && std::strcmp(env_update, "1") == 0);

    const std::vector<std::string> chmods = read_lines(case_dir / "chmod");
    if (!chmods.empty() && geteuid() == 0) {
        std::printf("skipped: file permissions do not bind root\n");
        return kSkip;
    }

    char tmpl[] = "/tmp/skygap-golden-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 2;
    const fs::path scratch = tmpl;
    const fs::path work = scratch / "work";
    fs::create_directories(work);
    if (fs::exists(case_dir / "input"))
        fs::copy(case_dir / "input", work, fs::copy_options::recursive);
    for (const auto& line : chmods) {
        std::istringstream ss(line);
        std::string mode, name;
        if (ss >> mode >> name)
            fs::permissions(work / name, static_cast<fs::perms>(std::stoi(mode, nullptr, 8)));
    }
    const auto before = snapshot(work);

    std::vector<std::string> args = read_lines(case_dir / "args");
    const std::vector<std::string> a0 = read_lines(case_dir / "argv0");
    const std::string argv0 = a0.empty() ? fs::path(program).filename().string() : a0[0];
    const fs::path stdin_path =
        fs::exists(case_dir / "stdin") ? case_dir / "stdin" : fs::path("/dev/null");

    const Outcome o = run(program, argv0, args, stdin_path, work, scratch);

    Checker check(case_dir / "expected", update);
    if (o.timed_out) check.fail("TIMEOUT: the program did not end within its time");
    check.compare("stdout", o.out, "");
    check.compare("stderr", o.err, "");
    check.compare("status", std::to_string(o.status) + "\n", "0\n");

    // Files: every new or changed file must be expected; every expected file must be there.
    for (const auto& e : fs::directory_iterator(work)) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
    const auto after = snapshot(work);
    std::set<std::string> expected_names;
    if (fs::exists(case_dir / "expected" / "files"))
        for (const auto& e : fs::recursive_directory_iterator(case_dir / "expected" / "files"))
            if (e.is_regular_file() && e.path().extension() != ".actual")
                expected_names.insert(fs::relative(e.path(), case_dir / "expected" / "files").string());
    for (const auto& [name, data] : after) {
        const auto b = before.find(name);
        const bool unchanged = b != before.end() && b->second == data;
        if (expected_names.count(name) != 0 || (update && !unchanged)) {
            check.compare("files/" + name, data, "");
        } else if (!unchanged) {
            check.fail("UNEXPECTED file written or changed: " + name);
        }
    }
    for (const auto& name : expected_names)
        if (after.count(name) == 0) {
            if (update) fs::remove(case_dir / "expected" / "files" / name);
            else check.fail("MISSING file: " + name);
        }

    fs::remove_all(scratch);
    if (check.failures() != 0) {
        std::printf("%d mismatch(es) in %s\n", check.failures(), case_dir.string().c_str());
        return 1;
    }
    return 0;
}
