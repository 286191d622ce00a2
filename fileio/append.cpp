// Reports built in memory and appended whole under an advisory lock.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "fileio/fileio.h"
#include "internal.h"

namespace fileio {

namespace {

// Writes every byte of DATA, retrying short and interrupted writes. Returns 0 or the errno of
// the failing write (ENOSPC when the device accepts nothing without saying why).
int write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t chunk = size < std::size_t(SSIZE_MAX) ? size : std::size_t(SSIZE_MAX);
        const ssize_t n = write(fd, data, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        data += n;
        size -= std::size_t(n);
    }
    return 0;
}

int lock_retrying(int fd, int operation) {
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

}  // namespace

Status append_whole(const char* path, const void* data, std::size_t size) {
    detail::OutputKind kind;
    const Status checked = detail::classify_output(path, &kind);
    if (!checked) return checked;

    int fd;
    if (kind == detail::OutputKind::kStandardOutput) {
        std::fflush(stdout);  // what stdout holds goes first
        fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    } else {
        // Non-blocking, so that a FIFO put there since the check is refused, not waited on.
        do {
            fd =
                open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC | O_NONBLOCK, 0666);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        return {false, detail::problem(path, "cannot open the file for the report", errno), true};
    }

    struct stat st;
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        return {false, detail::problem(path, "cannot open the file for the report", err), true};
    }
    if (kind != detail::OutputKind::kStandardOutput) {
        if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
            close(fd);
            return {false, detail::problem(path, "changed while being opened", 0)};
        }
        if (!detail::make_blocking(fd)) {
            const int err = errno;
            close(fd);
            return {false, detail::problem(path, "cannot open the file for the report", err), true};
        }
    }

    // On a regular file: hold the lock for the write, and if the write fails, cut the file back
    // (only when appending: through a standard output opened with ">" the end is not ours).
    const bool regular = S_ISREG(st.st_mode);
    const int flags = fcntl(fd, F_GETFL);
    const bool can_cut = regular && flags >= 0 && (flags & O_APPEND) != 0;
    if (regular) {
        const int err = lock_retrying(fd, LOCK_EX);
        if (err != 0) {
            close(fd);
            return {false, detail::problem(path, "cannot lock the file for the report", err)};
        }
    }
    off_t old_length = 0;
    if (can_cut) {
        if (fstat(fd, &st) != 0) {
            const int err = errno;
            close(fd);  // releases the lock
            return {false, detail::problem(path, "cannot open the file for the report", err), true};
        }
        old_length = st.st_size;
    }

    int err = write_all(fd, static_cast<const char*>(data), size);
    // A delayed write error (network file systems, quotas) shows here, while the file can still
    // be cut back.
    if (err == 0 && regular && fsync(fd) != 0 && errno != EINVAL) err = errno;
    std::string cut_note;
    if (err != 0 && can_cut) {
        cut_note = ftruncate(fd, old_length) == 0
                       ? "; the file is left as it was"
                       : "; cutting it back to its earlier " + std::to_string(old_length) +
                             " bytes failed too (" + detail::error_text(errno) + ")";
    }
    if (regular) flock(fd, LOCK_UN);
    if (close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        return {false, detail::problem(path, "cannot append the report", err) + cut_note};
    }
    return {};
}

MemoryReport::MemoryReport() {
    file_ = open_memstream(&buffer_, &size_);
    failed_ = file_ == nullptr;
}

MemoryReport::~MemoryReport() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buffer_);
}

bool MemoryReport::finish() {
    if (file_ != nullptr) {
        if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
        if (std::fclose(file_) != 0) failed_ = true;
        file_ = nullptr;
    }
    return !failed_;
}

Status append_report(const char* path, MemoryReport* report) {
    if (!report->finish()) {
        return {false, detail::problem(path, "cannot build the report in memory", ENOMEM)};
    }
    return append_whole(path, report->data(), report->size());
}

}  // namespace fileio
