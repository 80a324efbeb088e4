// SIGINT, SIGTERM and SIGHUP as a cancel request: while a watcher lives, the signals no longer
// end the process; a thread of its own takes them and asks the command under way to stop, so it
// ends the way a Cancel in the window does.
#pragma once

#include <signal.h>

#include <atomic>
#include <thread>

#include "core/Cancel.h"

namespace quillon::cli {

class SignalWatcher {
public:
    // Blocks the signals in the calling thread and in every thread it starts later: make
    // the watcher before any other thread.
    explicit SignalWatcher(CancelRequest& cancel);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    sigset_t watched_{};
    sigset_t previous_{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The exit status of a process ended by that signal, as a shell reports it: 129, 130, 143.
constexpr int ExitStatusFor(int signal) { return 128 + signal; }

}  // namespace quillon::cli
