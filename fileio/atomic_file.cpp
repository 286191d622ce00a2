// Replaced outputs written to a temporary beside the target and renamed over it when complete;
// the registry of live temporaries for the front end's signal handlers.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fileio/fileio.h"
#include "internal.h"

namespace fileio {

// ---------------------------------------------------------------------------------------------
// CleanupRegistry

int CleanupRegistry::add(int dir_fd, const char* name) noexcept {
    const std::size_t length = std::strlen(name);
    if (length > NAME_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (slots_[i].state.compare_exchange_strong(expected, kWriting)) {
            slots_[i].dir_fd = dir_fd;
            std::memcpy(slots_[i].name, name, length + 1);
            slots_[i].state.store(kLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void CleanupRegistry::release(int slot) noexcept {
    if (slot >= 0 && slot < kSlots) slots_[slot].state.store(kFree, std::memory_order_release);
}

void CleanupRegistry::remove_all() noexcept {
    for (Slot& slot : slots_) {
        int expected = kLive;
        if (slot.state.compare_exchange_strong(expected, kWriting)) {
            unlinkat(slot.dir_fd, slot.name, 0);
            slot.state.store(kFree, std::memory_order_release);
        }
    }
}

int CleanupRegistry::live() const noexcept {
    int n = 0;
    for (const Slot& slot : slots_) n += slot.state.load(std::memory_order_acquire) == kLive;
    return n;
}

// ---------------------------------------------------------------------------------------------
// AtomicFile

namespace {

constexpr char kTempMark[] = ".tmp-";
constexpr int kRandomChars = 6;
constexpr int kAttempts = 100;
constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// Steele, Lea and Flood (2014), SplitMix64: one step of the mixing function.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// "NAME.tmp-XXXXXX", NAME shortened when needed to stay within NAME_MAX. The letters come from
// the clock, the process and the attempt: O_EXCL, not the letters, makes the name safe.
std::string temporary_for(const std::string& name, const void* owner, int attempt) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t bits = mix(std::uint64_t(now.tv_nsec) ^ (std::uint64_t(now.tv_sec) << 30));
    bits = mix(bits ^ std::uint64_t(getpid()) ^ (std::uint64_t(attempt) << 40) ^
               std::uint64_t(reinterpret_cast<std::uintptr_t>(owner)));
    const std::size_t room = NAME_MAX - (sizeof kTempMark - 1) - kRandomChars;
    std::string temp = name.substr(0, room) + kTempMark;
    for (int i = 0; i < kRandomChars; ++i) {
        temp += kLetters[bits % (sizeof kLetters - 1)];
        bits /= sizeof kLetters - 1;
    }
    return temp;
}

int open_retrying(const char* path, int flags) {
    int fd;
    do {
        fd = open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Why writing FD (a temporary about to be removed) fails: one more byte at its end. 0 when it
// does not fail now.
int probe_write_error(int fd) {
    if (lseek(fd, 0, SEEK_END) < 0) return errno;
    ssize_t n;
    do {
        n = write(fd, "\n", 1);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? errno : 0;
}

}  // namespace

AtomicFile::AtomicFile(const char* target, CleanupRegistry* registry)
    : target_(target), registry_(registry) {
    prepare();
}

void AtomicFile::prepare() {
    const char* target = target_.c_str();
    detail::OutputKind kind;
    const Status checked = detail::classify_output(target, &kind);
    if (!checked) {
        message_ = checked.message;
        return;
    }
    int fd = -1;
    if (kind == detail::OutputKind::kStandardOutput) {
        std::fflush(stdout);  // what stdout holds goes first
        fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return fail("cannot write the file", errno);
    } else if (kind == detail::OutputKind::kCharDevice) {
        fd = open_retrying(target, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return fail("cannot open the file", errno);
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !detail::make_blocking(fd)) {
            const int err = errno;
            close(fd);
            return fail("changed while being opened", err);
        }
    }
    if (fd >= 0) {
        file_ = fdopen(fd, "w");
        if (file_ == nullptr) {
            const int err = errno;
            close(fd);
            fail("cannot write the file", err);
        }
        return;
    }

    // A regular file or a new name: a temporary beside the file the path leads to.
    const std::string resolved = resolve_path(target);
    if (resolved.empty()) return fail("cannot find the folder of the file", errno);
    const std::size_t slash = resolved.rfind('/');
    const std::string folder = slash == 0 ? "/" : resolved.substr(0, slash);
    final_name_ = resolved.substr(slash + 1);
    dir_fd_ = open_retrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) return fail("cannot open the folder of the file", errno);

    struct stat st;
    struct stat earlier = {};
    if (fstatat(dir_fd_, final_name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) return fail("changed while being opened", 0);
        if (faccessat(dir_fd_, final_name_.c_str(), W_OK, AT_EACCESS) != 0) {
            return fail("cannot write the file", errno);
        }
        target_existed_ = true;
        earlier = st;
    }

    for (int attempt = 0; attempt < kAttempts && fd < 0; ++attempt) {
        const std::string name = temporary_for(final_name_, this, attempt);
        // Recorded before it exists, so that no moment holds an unrecorded temporary.
        if (registry_ != nullptr) {
            slot_ = registry_->add(dir_fd_, name.c_str());
            if (slot_ < 0) return fail("too many temporary files at once", 0);
        }
        do {
            fd = openat(dir_fd_, name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            temp_name_ = name;
        } else {
            const int err = errno;
            if (registry_ != nullptr) registry_->release(slot_);
            slot_ = -1;
            if (err != EEXIST) return fail("cannot create a temporary file beside", err);
        }
    }
    if (fd < 0) return fail("cannot create a temporary file beside", EEXIST);

    // The earlier owner and group where allowed (root; a group of ours), at best effort; then
    // the earlier permission bits, without fail.
    if (target_existed_ && (earlier.st_uid != geteuid() || earlier.st_gid != getegid())) {
        const bool kept = fchown(fd, earlier.st_uid, earlier.st_gid) == 0 ||
                          fchown(fd, geteuid(), earlier.st_gid) == 0;
        static_cast<void>(kept);
    }
    if (target_existed_ && fchmod(fd, earlier.st_mode & 0777) != 0) {
        const int err = errno;
        close(fd);
        return fail("cannot give the new file the permissions of the earlier one", err);
    }
    file_ = fdopen(fd, "w");
    if (file_ == nullptr) {
        const int err = errno;
        close(fd);
        fail("cannot write the file", err);
    }
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::fail(const char* what, int err) {
    message_ = detail::problem(target_.c_str(), what, err);
    discard();
}

void AtomicFile::discard() noexcept {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (dir_fd_ >= 0) {
        if (!temp_name_.empty()) unlinkat(dir_fd_, temp_name_.c_str(), 0);
        if (registry_ != nullptr) registry_->release(slot_);
        slot_ = -1;
        temp_name_.clear();
        close(dir_fd_);
        dir_fd_ = -1;
    }
}

bool AtomicFile::commit() {
    if (file_ == nullptr) {
        if (message_.empty()) message_ = detail::problem(target_.c_str(), "nothing to commit", 0);
        return false;
    }
    std::FILE* f = file_;
    file_ = nullptr;
    const bool replacing = dir_fd_ >= 0;
    bool failed = false;
    int err = 0;
    errno = 0;
    if (std::fflush(f) != 0) {
        failed = true;
        err = errno;
    } else if (std::ferror(f)) {
        failed = true;  // an earlier write failed and its errno is gone: ask the temporary again
        if (replacing) err = probe_write_error(fileno(f));
    } else if (replacing && fsync(fileno(f)) != 0) {
        failed = true;
        err = errno;
    }
    if (std::fclose(f) != 0 && !failed) {
        failed = true;
        err = errno;
    }
    if (!failed && replacing &&
        renameat(dir_fd_, temp_name_.c_str(), dir_fd_, final_name_.c_str()) != 0) {
        failed = true;
        err = errno;
    }
    if (failed) {
        message_ = detail::problem(target_.c_str(), "cannot write the file", err);
        if (target_existed_) message_ += "; the earlier file is left as it was";
        discard();
        return false;
    }
    if (replacing) {
        if (registry_ != nullptr) registry_->release(slot_);
        slot_ = -1;
        temp_name_.clear();
        fsync(dir_fd_);  // the rename on disk too; a folder that cannot be synced is no failure
        discard();
    }
    return true;
}

}  // namespace fileio
