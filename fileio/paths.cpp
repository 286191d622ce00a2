// Same-file checks, inputs opened read-only, outputs examined before opening.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/fileio.h"
#include "internal.h"

namespace fileio {
namespace detail {
namespace {

// strerror_r comes in a GNU flavour (returns the text) and an XSI one (fills the buffer).
[[maybe_unused]] const char* pick_error_text(const char* text, const char*) { return text; }
[[maybe_unused]] const char* pick_error_text(int rc, const char* buffer) {
    return rc == 0 ? buffer : "unknown error";
}

}  // namespace

std::string error_text(int err) {
    char buffer[256] = {};
    return pick_error_text(strerror_r(err, buffer, sizeof buffer), buffer);
}

std::string problem(const char* path, const char* what, int err) {
    std::string text = std::string(path) + ": " + what;
    if (err != 0) text += " (" + error_text(err) + ")";
    return text;
}

bool is_standard_output(const struct stat& st) {
    struct stat out;
    return fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino;
}

Status classify_output(const char* path, OutputKind* kind) {
    struct stat st;
    if (stat(path, &st) != 0) {
        const int err = errno;
        if (err != ENOENT) return {false, problem(path, "cannot be used as an output", err), true};
        // Not there yet (or a link to a name not there yet): its folder must exist.
        if (path[0] == '\0' || resolve_path(path).empty()) {
            return {false, problem(path, "cannot create the file", ENOENT), true};
        }
        *kind = OutputKind::kNew;
        return {};
    }
    if (S_ISDIR(st.st_mode)) {
        return {false, problem(path, "is a folder; an output must be a file", 0), true};
    }
    if (is_standard_output(st)) {
        *kind = OutputKind::kStandardOutput;
    } else if (S_ISREG(st.st_mode)) {
        *kind = OutputKind::kRegular;
    } else if (S_ISCHR(st.st_mode)) {
        *kind = OutputKind::kCharDevice;
    } else if (S_ISFIFO(st.st_mode)) {
        return {false, problem(path,
                               "is a FIFO or pipe; an output must be a regular file or standard "
                               "output",
                               0)};
    } else if (S_ISSOCK(st.st_mode)) {
        return {false, problem(path, "is a socket; an output must be a regular file", 0)};
    } else {
        return {false, problem(path, "is a device; an output must be a regular file", 0)};
    }
    return {};
}

bool make_blocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace detail

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on links in one lookup

std::string real_path(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string text = resolved;
    std::free(resolved);
    return text;
}

// The text of the symbolic link PATH, or false.
bool read_link(const std::string& path, std::string* target) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return false;
        if (std::size_t(n) < buffer.size()) {
            target->assign(buffer.data(), std::size_t(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool same_identity(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string resolve_path(const char* path) {
    if (path == nullptr || path[0] == '\0') return {};
    std::string p = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        bool names_folder = false;
        while (p.size() > 1 && p.back() == '/') {
            p.pop_back();
            names_folder = true;
        }
        const std::size_t slash = p.rfind('/');
        const std::string dir = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : p.substr(0, slash);
        const std::string base = slash == std::string::npos ? p : p.substr(slash + 1);
        if (names_folder || base.empty() || base == "." || base == "..") return real_path(p);
        const std::string folder = real_path(dir);
        if (folder.empty()) return {};
        const std::string full = folder == "/" ? "/" + base : folder + "/" + base;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return full;
        std::string target;
        if (!read_link(full, &target) || target.empty()) return {};
        p = target[0] == '/' ? target : folder + "/" + target;
    }
    return {};  // a loop of links
}

bool same_file(const char* a, const char* b) {
    struct stat sa;
    struct stat sb;
    const bool a_exists = stat(a, &sa) == 0;
    const bool b_exists = stat(b, &sb) == 0;
    if (a_exists && b_exists) return same_identity(sa, sb);
    if (a_exists != b_exists) return false;
    const std::string ra = resolve_path(a);
    const std::string rb = resolve_path(b);
    if (ra.empty() || rb.empty()) return std::strcmp(a, b) == 0;
    return ra == rb;
}

Status check_not_an_input(const char* output, const std::vector<const char*>& inputs, Dash dash) {
    struct stat out;
    const bool out_exists = stat(output, &out) == 0;
    if (out_exists && S_ISCHR(out.st_mode)) return {};
    for (const char* input : inputs) {
        bool same = false;
        const char* name = input;
        if (dash == Dash::kStandardInput && std::strcmp(input, "-") == 0) {
            struct stat in;
            same = out_exists && fstat(STDIN_FILENO, &in) == 0 && same_identity(in, out);
            name = "standard input";
        } else {
            same = same_file(output, input);
        }
        if (same) {
            return {false, std::string(output) + ": the output is the same file as the input " +
                               name + "; nothing was written"};
        }
    }
    return {};
}

InputFile::InputFile(InputFile&& other) noexcept
    : file_(other.file_), owned_(other.owned_), message_(std::move(other.message_)) {
    other.file_ = nullptr;
    other.owned_ = false;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        close();
        file_ = other.file_;
        owned_ = other.owned_;
        message_ = std::move(other.message_);
        other.file_ = nullptr;
        other.owned_ = false;
    }
    return *this;
}

void InputFile::close() {
    if (file_ != nullptr && owned_) std::fclose(file_);
    file_ = nullptr;
    owned_ = false;
}

InputFile open_input(const char* path, Dash dash) {
    InputFile in;
    struct stat st;
    if (dash == Dash::kStandardInput && std::strcmp(path, "-") == 0) {
        if (fstat(STDIN_FILENO, &st) != 0) {
            in.message_ = detail::problem("standard input", "cannot be read", errno);
        } else if (S_ISDIR(st.st_mode)) {
            in.message_ = detail::problem("standard input", "is a folder, not a file", 0);
        } else {
            in.file_ = stdin;
        }
        return in;
    }
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        in.message_ = detail::problem(path, "cannot open the file", errno);
        return in;
    }
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        in.message_ = detail::problem(path, "cannot open the file", err);
        return in;
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        in.message_ = detail::problem(path, "is a folder, not a file", 0);
        return in;
    }
    in.file_ = fdopen(fd, "r");
    if (in.file_ == nullptr) {
        const int err = errno;
        ::close(fd);
        in.message_ = detail::problem(path, "cannot open the file", err);
        return in;
    }
    in.owned_ = true;
    return in;
}

Status check_output(const char* path) {
    detail::OutputKind kind;
    return detail::classify_output(path, &kind);
}

}  // namespace fileio
