// A production line: one job on several gateways at once, a worker thread per gateway.
//
// Each gateway has a session, a ProductionRun and a record store connection of its own, so the
// store sees the workers as it sees separate stations (SQLite's file locks, PostgreSQL's
// transactions) and every number is still given once. Each gateway has its own state, counters
// and log; one that fails (its port closed by a failure, unplugged, silent), whose record cannot
// be written, or whose job's files changed stops alone with the reason, and the others go on.
//
// How a front end uses it:
//   Line line(job, settings);            // nothing opened yet
//   line.onChip = ...;                   // events, on the workers' threads, one at a time
//   if (auto e = line.Open(); !e.empty()) // one store connection per gateway; no port touched
//   line.Start();                        // the workers
//   ... line.Next() per operator's "start" (or nothing with `detect`), line.Cancel(reason) to stop
//   line.Wait();                         // every gateway has ended
//   line.Status(i)                       // counters, state and stop reason per gateway
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Cancel.h"
#include "gateway/Link.h"
#include "production/Job.h"
#include "production/ProductionRun.h"
#include "production/RecordStore.h"

namespace quillon::production {

enum class GatewayState {
    Idle,         // not started yet
    Waiting,      // for the operator's next start (Line::Next)
    Watching,     // detecting: polling the socket for the next chip (or for it to be emptied)
    Programming,  // a chip is under way
    Done,         // ended as asked: its count reached, the operator's input ended, or cancelled
    Stopped,      // ended for a reason of its own (`reason`); the others go on
};

struct GatewayStatus {
    std::string port;
    GatewayState state = GatewayState::Idle;
    long chips = 0, passed = 0, failed = 0, cancelled = 0;
    std::string step;    // the current step while Programming
    std::string reason;  // why it Stopped
};

struct LineSettings {
    std::vector<std::string> ports;
    std::string records;        // the store's location, opened once per gateway
    std::optional<long> count;  // chips per gateway; none: until the input ends or a cancel
    bool detect = false;        // each gateway watches its own socket instead of waiting for Next
    PortOpener opener = OpenSerialPort;
};

class Line {
public:
    Line(const Job& job, LineSettings settings);
    // Cancels what still runs and waits for it.
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Events, called on the gateway's worker thread; never two at once in one line, so a front
    // end may print from them without interleaving. Set them before Start.
    std::function<void(std::size_t gateway, std::int64_t chip, const std::string& step, bool done, bool ok)> onStep;
    std::function<void(std::size_t gateway, const ChipOutcome& outcome)> onChip;
    std::function<void(std::size_t gateway, const std::string& line)> onLog;
    // What the operator must know that is no failure: a record kept on the station while the
    // store is away, the wait for it to come back.
    std::function<void(std::size_t gateway, const std::string& line)> onNotice;
    // The gateway's state changed (a Stopped gateway's reason is in the status).
    std::function<void(std::size_t gateway, const GatewayStatus& status)> onState;

    // Opens one store connection per gateway and closes the rows a crashed run of this station
    // left open. The error when a store cannot be opened; no port is touched either way.
    std::string Open();
    // The number the next chip would get, and where the records are; after Open.
    std::optional<std::uint64_t> NextSerial(std::string& error);
    std::string StoreLocation() const;

    void Start();
    // The operator's start: every gateway waiting for it begins its next chip. How many began.
    std::size_t Next();
    // Waits up to `limit` for a gateway to wait for the operator; false when none does (yet),
    // and none ever will once Ended().
    bool WaitForWaiting(std::chrono::milliseconds limit);
    // No more starts: each gateway ends once its current chip is done.
    void EndInput();
    // Every gateway's current step ends cleanly and its chip is recorded as cancelled.
    // `reason` as CancelRequest takes it (a signal's number, or the user).
    void Cancel(int reason = CancelRequest::User);
    int CancelReason() const;
    // Whether every gateway has ended (Done or Stopped).
    bool Ended() const;
    void Wait();

    std::size_t Size() const { return gateways_.size(); }
    GatewayStatus Status(std::size_t gateway) const;
    // True when every gateway ended Done with every chip passed and (with a count) all of them made.
    bool AllWell() const;

private:
    struct Gateway;

    const Job& job_;
    LineSettings settings_;
    std::vector<std::unique_ptr<Gateway>> gateways_;
    // Lock order: eventMutex_ before mutex_; no event is called with mutex_ held, so an event may
    // read statuses, start or cancel.
    mutable std::mutex mutex_;  // the gateways' statuses and starts
    std::condition_variable changed_;
    std::mutex eventMutex_;  // one event at a time
    bool inputEnded_ = false;
    int cancelReason_ = CancelRequest::None;

    void Work(std::size_t index);
    void SetState(std::size_t index, GatewayState state, const std::string& reason = {});
    // Waits for the operator's start; false when the gateway is to end instead.
    bool AwaitStart(std::size_t index);
    template <typename F>
    void Event(F&& f)
    {
        std::lock_guard lock(eventMutex_);
        f();
    }
};

}  // namespace quillon::production
