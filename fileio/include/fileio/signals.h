// fileio_signals: for a program's main only, never for library code.
//
// Installs process-wide handlers that, on SIGHUP, SIGINT, SIGPIPE, SIGTERM or SIGXFSZ, remove
// every temporary recorded in the main's CleanupRegistry (async-signal-safe unlinkat) and then
// let the signal take its default course (the process ends by that signal, as it would have).
// A signal whose disposition is not the default when the handlers are installed (ignored, as
// SIGHUP under nohup or SIGXFSZ in a "ulimit -f" test, or handled by the program) is left
// alone. Handlers need one process-wide pointer to the registry; it lives in this target so that
// the fileio library keeps no mutable state. One instance at a time.
#pragma once

#include <signal.h>

#include <string>

#include "fileio/fileio.h"

namespace fileio {

class CleanupOnSignals {
   public:
    // REGISTRY must outlive this object; construct it before, in the same scope.
    explicit CleanupOnSignals(CleanupRegistry* registry);
    // Restores the dispositions found at construction.
    ~CleanupOnSignals();
    CleanupOnSignals(const CleanupOnSignals&) = delete;
    CleanupOnSignals& operator=(const CleanupOnSignals&) = delete;

    bool ok() const { return message_.empty(); }
    const std::string& message() const { return message_; }

    static constexpr int kSignals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM, SIGXFSZ};
    static constexpr int kCount = sizeof kSignals / sizeof kSignals[0];

   private:
    bool installed_[kCount] = {};
    struct sigaction previous_[kCount] = {};
    bool owner_ = false;
    std::string message_;
};

}  // namespace fileio
