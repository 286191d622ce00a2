// The signal handlers of fileio_signals: the one place that holds process-wide state.
#include "fileio/signals.h"

#include <errno.h>
#include <signal.h>

#include <atomic>
#include <cstring>

namespace fileio {

namespace {

// The registry the handlers clean; null when none is installed.
std::atomic<CleanupRegistry*> active_registry{nullptr};
static_assert(std::atomic<CleanupRegistry*>::is_always_lock_free,
              "signal handlers need a lock-free pointer");

extern "C" void remove_temporaries_and_reraise(int signal_number) {
    const int saved_errno = errno;
    CleanupRegistry* registry = active_registry.load();
    if (registry != nullptr) registry->remove_all();
    struct sigaction default_action;
    std::memset(&default_action, 0, sizeof default_action);
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
    // Blocked while this handler runs: delivered, with the default action, when it returns.
    raise(signal_number);
    errno = saved_errno;
}

}  // namespace

CleanupOnSignals::CleanupOnSignals(CleanupRegistry* registry) {
    CleanupRegistry* expected = nullptr;
    if (registry == nullptr) {
        message_ = "signal handlers: no registry of temporary files";
        return;
    }
    if (!active_registry.compare_exchange_strong(expected, registry)) {
        message_ = "signal handlers: already installed";
        return;
    }
    owner_ = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_temporaries_and_reraise;
    sigemptyset(&action.sa_mask);
    for (int signal_number : kSignals) sigaddset(&action.sa_mask, signal_number);
    for (int i = 0; i < kCount; ++i) {
        struct sigaction current;
        if (sigaction(kSignals[i], nullptr, &current) != 0) continue;
        const bool is_default =
            (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
        if (!is_default) continue;
        if (sigaction(kSignals[i], &action, &previous_[i]) == 0) installed_[i] = true;
    }
}

CleanupOnSignals::~CleanupOnSignals() {
    for (int i = 0; i < kCount; ++i) {
        if (installed_[i]) sigaction(kSignals[i], &previous_[i], nullptr);
    }
    if (owner_) active_registry.store(nullptr);
}

}  // namespace fileio
