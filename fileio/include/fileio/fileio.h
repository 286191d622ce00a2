// fileio: opening the suite's inputs and outputs so that no byte of data is lost.
//
//   - same_file / check_not_an_input: an output that is one of the inputs is refused before
//     anything is opened for writing (device and inode after resolving; names for files that do
//     not exist yet).
//   - open_input: inputs are opened for reading only, so read-only files, pipes, FIFOs and
//     standard input all work; the result is a FILE* for the existing fscanf readers.
//   - check_output: an output must be a regular file (or one that can be created), a character
//     device such as /dev/null, or standard output; FIFOs, sockets, block devices and folders are
//     refused without opening them.
//   - AtomicFile: a replaced output is written to a temporary file in the target's folder and
//     renamed over the target only when complete and on disk; on any failure the earlier file
//     stays byte-identical and the temporary is removed.
//   - append_whole / MemoryReport: a report is built in memory and appended in one locked write
//     on a descriptor opened O_APPEND; a write that fails part-way is cut back to the earlier
//     length, so parallel runs never interleave and no torn tail is left.
//   - CleanupRegistry: the live temporaries, for a signal handler that the program's main
//     installs (fileio/signals.h, target fileio_signals) to remove them on SIGINT or SIGTERM.
//
// Messages are one line "PATH: problem" without line feed, for the caller to print. Nothing here
// prints, exits or keeps mutable static state. POSIX only.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace fileio {

// The outcome of an operation: ok, or a one-line message naming the file.
struct Status {
    bool ok = true;
    std::string message;  // "PATH: problem", no line feed; empty when ok
    // For an output: the failure came before anything was opened for writing because the file
    // cannot be opened or created there (a missing folder, no permission, a folder in its
    // place), so that a program may report it in its own words. False for a refused kind of
    // file (FIFO, socket, block device) and for a failed write.
    bool not_opened = false;
    explicit operator bool() const { return ok; }
};

// What a lone "-" names where a program reads one file. The caller decides; nothing here gives
// "-" a meaning on its own.
enum class Dash { kFileName, kStandardInput };

// ---------------------------------------------------------------------------------------------
// Same file.

// The absolute path PATH leads to, with every symbolic link resolved, including a final link
// whose target does not exist yet (up to 40 links). A path whose last component does not exist
// resolves to its resolved folder and its name. Empty when the folder cannot be resolved or the
// links loop.
std::string resolve_path(const char* path);

// True when A and B name one file: same device and inode when both exist (symbolic links, "./",
// absolute paths and hard links all see through), otherwise the same resolved folder and name.
// Paths are taken literally ("-" is a file named "-").
bool same_file(const char* a, const char* b);

// Refuses OUTPUT when it is the same file as any of INPUTS, with a message naming both. With
// Dash::kStandardInput an input "-" stands for whatever standard input is (a redirected file is
// compared by device and inode). A character device is never refused: writing to /dev/null or
// the terminal cannot destroy what is read from it.
Status check_not_an_input(const char* output, const std::vector<const char*>& inputs,
                          Dash dash = Dash::kFileName);

// ---------------------------------------------------------------------------------------------
// Inputs.

// An input stream opened for reading only. Owns the stream, except standard input, which it
// leaves open. Move-only.
class InputFile {
   public:
    InputFile() = default;
    ~InputFile() { close(); }
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }                 // null when opening failed
    const std::string& message() const { return message_; }  // why opening failed
    void close();                                            // idempotent

   private:
    friend InputFile open_input(const char* path, Dash dash);
    std::FILE* file_ = nullptr;
    bool owned_ = false;
    std::string message_;
};

// Opens PATH with O_RDONLY: regular files (read-only ones too), pipes, FIFOs (the open waits for
// a writer, as reading one must), character devices and /dev/stdin. A folder is refused. With
// Dash::kStandardInput, "-" gives the process's stdin stream. Never opens anything for writing.
InputFile open_input(const char* path, Dash dash = Dash::kFileName);

// ---------------------------------------------------------------------------------------------
// Outputs.

// Checks, without opening it, that PATH may be written as an output:
//   - a regular file, or a name that does not exist yet in an existing folder;
//   - the file standard output is connected to (whatever its type, a pipe included);
//   - a character device (/dev/null, /dev/full, a terminal): written directly.
// Refused: a folder, a FIFO or pipe other than standard output (nobody may be reading it, and
// opening it would wait forever), a socket, a block device, and paths that cannot be examined.
Status check_output(const char* path);

// The temporaries that live AtomicFiles hold, recorded so that a signal handler can remove them.
// The program's main owns one and passes it to each AtomicFile; fileio/signals.h installs the
// handlers. Meant for single-threaded programs, where a handler interrupts the thread that
// changes the registry: a slot is read only when completely written.
class CleanupRegistry {
   public:
    static constexpr int kSlots = 32;

    CleanupRegistry() = default;
    CleanupRegistry(const CleanupRegistry&) = delete;
    CleanupRegistry& operator=(const CleanupRegistry&) = delete;

    // Records the file NAME in the folder open as DIR_FD. Returns the slot, or -1 when every
    // slot is taken or NAME is longer than NAME_MAX.
    int add(int dir_fd, const char* name) noexcept;
    // Forgets the slot (the file is not touched). A negative slot is ignored.
    void release(int slot) noexcept;
    // Removes every recorded file and forgets it. Async-signal-safe: lock-free atomics and
    // unlinkat only.
    void remove_all() noexcept;
    // The number of files recorded.
    int live() const noexcept;

   private:
    enum : int { kFree = 0, kWriting = 1, kLive = 2 };
    struct Slot {
        std::atomic<int> state{kFree};
        int dir_fd = -1;
        char name[NAME_MAX + 1] = {};
    };
    static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free flags");
    Slot slots_[kSlots];
};

// An output replaced as a whole. The constructor checks the target (check_output) and, for a
// regular file or a new name, creates a temporary "NAME.tmp-XXXXXX" beside it with O_EXCL,
// permissions as a new file gets them (0666 less the umask, default ACLs applied) or, when the
// target exists, the target's permission bits (and its owner and group where the user may set
// them). commit() flushes, fsyncs, closes and renames the
// temporary over the target, then syncs the folder. Any failure (write error, ENOSPC, EFBIG under
// RLIMIT_FSIZE with SIGXFSZ ignored, fsync, close or rename error) returns false with a message
// and removes the temporary; so does destruction without commit. The earlier target is then
// byte-identical.
//
// Choices:
//   - A target that is a symbolic link: the file the link leads to is replaced and the link is
//     kept (as editors do); the temporary lives in that file's folder, so rename stays atomic.
//   - A target with other hard links: the name is replaced; the other names keep the earlier
//     content.
//   - An existing target that the user may not write is refused (as opening it in place would
//     be), although the folder would allow replacing it.
//   - Standard output and character devices cannot be renamed over: they are written directly
//     (standard output through a duplicate of descriptor 1, after flushing stdout), and commit()
//     reports whether every byte was accepted.
class AtomicFile {
   public:
    explicit AtomicFile(const char* target, CleanupRegistry* registry = nullptr);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool ok() const { return file_ != nullptr; }             // ready for writing
    std::FILE* file() const { return file_; }                // null when opening failed
    const std::string& message() const { return message_; }  // the last failure
    bool commit();  // true once: the target now holds exactly what was written

    const std::string& temporary_name() const { return temp_name_; }  // empty when direct

   private:
    void prepare();
    void fail(const char* what, int err);
    void discard() noexcept;

    std::string target_;
    std::string final_name_;  // the target's name inside its (resolved) folder
    std::string temp_name_;
    bool target_existed_ = false;
    int dir_fd_ = -1;
    std::FILE* file_ = nullptr;
    CleanupRegistry* registry_ = nullptr;
    int slot_ = -1;
    std::string message_;
};

// Appends SIZE bytes of DATA to PATH as one whole: opens with O_WRONLY | O_APPEND | O_CREAT
// (0666 less the umask), takes an exclusive flock for the write, notes the length, writes the
// whole buffer (retrying short writes) and, if that fails part-way, truncates the file back to
// the noted length. Then unlocks and closes; a close error is a failure too. PATH must pass
// check_output; it is opened non-blocking, so a FIFO that appears meanwhile is refused rather
// than waited on. Standard output is written through descriptor 1; there, and on character
// devices, no lock or cut-back is possible or needed.
Status append_whole(const char* path, const void* data, std::size_t size);

// A report built in memory with the fprintf-based writers (open_memstream), then taken whole.
class MemoryReport {
   public:
    MemoryReport();
    ~MemoryReport();
    MemoryReport(const MemoryReport&) = delete;
    MemoryReport& operator=(const MemoryReport&) = delete;

    // Null when memory ran out (check before writing) and after finish().
    std::FILE* file() const { return file_; }
    // Closes the stream. False when it could not be created or a write failed (out of memory).
    bool finish();
    const char* data() const { return buffer_; }  // valid after finish()
    std::size_t size() const { return size_; }

   private:
    std::FILE* file_ = nullptr;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    bool failed_ = false;
};

// finish()es REPORT and appends it to PATH with append_whole.
Status append_report(const char* path, MemoryReport* report);

}  // namespace fileio
