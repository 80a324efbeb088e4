#include "cli/SignalWatcher.h"

#include <ctime>

namespace quillon::cli {

SignalWatcher::SignalWatcher(CancelRequest& cancel)
{
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    // A closed terminal: the run ends as a cancelled one, not half way through a write.
    sigaddset(&watched_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    thread_ = std::thread([this, &cancel] {
        // Waits in short steps, so the destructor need not send a signal to end the thread.
        const timespec step{0, 50'000'000};
        while (!stop_.load()) {
            const int signal = sigtimedwait(&watched_, nullptr, &step);
            if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) cancel.Request(signal);
        }
    });
}

SignalWatcher::~SignalWatcher()
{
    stop_.store(true);
    thread_.join();
    // A signal that came after the last wait stays pending; it counts as already taken.
    sigset_t pending;
    sigpending(&pending);
    const timespec none{0, 0};
    while ((sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM) || sigismember(&pending, SIGHUP)) &&
           sigtimedwait(&watched_, nullptr, &none) > 0)
        sigpending(&pending);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace quillon::cli
