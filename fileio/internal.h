// Helpers shared by the fileio sources; not part of the unit's interface.
#pragma once

#include <sys/stat.h>

#include <string>

#include "fileio/fileio.h"

namespace fileio {
namespace detail {

// The text of an errno value.
std::string error_text(int err);

// "PATH: WHAT (REASON)", or "PATH: WHAT" when ERR is 0.
std::string problem(const char* path, const char* what, int err);

// True when ST is the file standard output is connected to.
bool is_standard_output(const struct stat& st);

// What an output path is, once check_output has passed it.
enum class OutputKind { kNew, kRegular, kStandardOutput, kCharDevice };

// check_output, telling also which kind of output PATH is.
Status classify_output(const char* path, OutputKind* kind);

// Clears O_NONBLOCK on FD. False on failure, errno set.
bool make_blocking(int fd);

}  // namespace detail
}  // namespace fileio
