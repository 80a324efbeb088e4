// A request to stop the command under way, made from another thread (the window's Cancel
// button) or from a signal watcher, and checked by the memory walk between packets.
#pragma once

#include <atomic>

namespace quillon {

class CancelRequest {
public:
    // What asked for the stop: the user in the window, or a signal's number on the command line.
    enum : int { None = 0, User = -1 };

    void Request(int reason = User) { reason_.store(reason == None ? User : reason); }
    void Clear() { reason_.store(None); }
    bool Requested() const { return reason_.load() != None; }
    int Reason() const { return reason_.load(); }

private:
    // Lock-free, so a signal watcher may set it.
    std::atomic<int> reason_{None};
    static_assert(std::atomic<int>::is_always_lock_free);
};

}  // namespace quillon
