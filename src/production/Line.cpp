#include "production/Line.h"

#include <chrono>
#include <cstdio>

#include "operations/Session.h"

namespace quillon::production {

struct Line::Gateway {
    GatewayStatus status;
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<Session> session;
    bool start = false;  // the operator's start, not taken yet
    std::thread thread;
};

Line::Line(const Job& job, LineSettings settings) : job_(job), settings_(std::move(settings))
{
    for (const std::string& port : settings_.ports) {
        auto gateway = std::make_unique<Gateway>();
        gateway->status.port = port;
        gateway->session = std::make_unique<Session>(settings_.opener);
        gateways_.push_back(std::move(gateway));
    }
}

Line::~Line()
{
    if (!Ended()) Cancel();
    Wait();
}

std::string Line::Open()
{
    for (auto& g : gateways_) {
        if (g->store) continue;
        std::string error;
        g->store = OpenRecordStore(settings_.records, error);
        if (!g->store) return error;
    }
    if (gateways_.empty()) return "no gateways given";
    std::string error;
    if (gateways_.front()->store->CloseUnfinished(StationName(), error) < 0) return error;
    return {};
}

std::optional<std::uint64_t> Line::NextSerial(std::string& error)
{
    error.clear();
    if (!job_.serial || gateways_.empty() || !gateways_.front()->store) return std::nullopt;
    return gateways_.front()->store->PeekNext(job_.name, *job_.serial, error);
}

std::string Line::StoreLocation() const
{
    return !gateways_.empty() && gateways_.front()->store ? gateways_.front()->store->Location() : settings_.records;
}

void Line::Start()
{
    for (std::size_t i = 0; i < gateways_.size(); ++i)
        if (!gateways_[i]->thread.joinable()) gateways_[i]->thread = std::thread([this, i] { Work(i); });
}

std::size_t Line::Next()
{
    std::size_t started = 0;
    {
        std::lock_guard lock(mutex_);
        for (auto& g : gateways_)
            if (g->status.state == GatewayState::Waiting && !g->start) {
                g->start = true;
                ++started;
            }
    }
    changed_.notify_all();
    return started;
}

bool Line::WaitForWaiting(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    auto waiting = [&] {
        for (auto& g : gateways_)
            if (g->status.state == GatewayState::Waiting && !g->start) return true;
        return false;
    };
    return changed_.wait_for(lock, limit, waiting);
}

void Line::EndInput()
{
    {
        std::lock_guard lock(mutex_);
        inputEnded_ = true;
    }
    changed_.notify_all();
}

void Line::Cancel(int reason)
{
    {
        std::lock_guard lock(mutex_);
        if (cancelReason_ == CancelRequest::None) cancelReason_ = reason == CancelRequest::None ? CancelRequest::User : reason;
    }
    for (auto& g : gateways_) g->session->bus.cancel.Request(reason);
    changed_.notify_all();
}

int Line::CancelReason() const
{
    std::lock_guard lock(mutex_);
    return cancelReason_;
}

bool Line::Ended() const
{
    std::lock_guard lock(mutex_);
    for (auto& g : gateways_)
        if (g->thread.joinable() && g->status.state != GatewayState::Done && g->status.state != GatewayState::Stopped)
            return false;
    return true;
}

void Line::Wait()
{
    for (auto& g : gateways_)
        if (g->thread.joinable()) g->thread.join();
}

GatewayStatus Line::Status(std::size_t gateway) const
{
    std::lock_guard lock(mutex_);
    return gateways_.at(gateway)->status;
}

bool Line::AllWell() const
{
    std::lock_guard lock(mutex_);
    if (cancelReason_ != CancelRequest::None) return false;
    for (auto& g : gateways_) {
        const GatewayStatus& s = g->status;
        if (s.state != GatewayState::Done || s.passed != s.chips) return false;
        if (settings_.count && s.chips != *settings_.count) return false;
    }
    return true;
}

void Line::SetState(std::size_t index, GatewayState state, const std::string& reason)
{
    GatewayStatus copy;
    {
        std::lock_guard lock(mutex_);
        GatewayStatus& s = gateways_[index]->status;
        if (s.state == state && reason.empty()) return;
        s.state = state;
        if (!reason.empty()) s.reason = reason;
        if (state != GatewayState::Programming) s.step.clear();
        copy = s;
    }
    changed_.notify_all();
    if (onState) Event([&] { onState(index, copy); });
}

bool Line::AwaitStart(std::size_t index)
{
    Gateway& g = *gateways_[index];
    SetState(index, GatewayState::Waiting);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return g.start || inputEnded_ || cancelReason_ != CancelRequest::None; });
    const bool go = g.start && cancelReason_ == CancelRequest::None;
    g.start = false;
    return go;
}

void Line::Work(std::size_t index)
{
    Gateway& g = *gateways_[index];
    Session& session = *g.session;
    const CancelRequest& cancel = session.bus.cancel;
    ProductionRun run(session, job_, *g.store, g.status.port);
    run.onStep = [&](std::int64_t chip, const std::string& step, bool done, bool ok) {
        {
            std::lock_guard lock(mutex_);
            g.status.step = done ? std::string() : step;
        }
        if (onStep) Event([&] { onStep(index, chip, step, done, ok); });
    };
    run.onLog = [&](const std::string& line) {
        if (onLog) Event([&] { onLog(index, line); });
    };
    run.onNotice = [&](const std::string& line) {
        if (onNotice) Event([&] { onNotice(index, line); });
    };
    // Polls the socket until it holds a chip (`full`) or is empty; false with the reason set when
    // the gateway failed, or false when cancelled.
    std::string why;
    auto watch = [&](bool full) {
        SetState(index, GatewayState::Watching);
        while (!cancel.Requested()) {
            std::string error;
            const std::optional<std::int32_t> found = run.ReadSocket(error);
            if (!found) {
                why = error;
                return false;
            }
            if (ProductionRun::Empty(*found) != full) return true;
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
            while (!cancel.Requested() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    };

    long made = 0;
    while (!settings_.count || made < *settings_.count) {
        if (settings_.detect ? !watch(true) : !AwaitStart(index)) break;
        if (cancel.Requested()) break;
        SetState(index, GatewayState::Programming);
        // Detection polls the socket through the same connection.
        const ChipOutcome outcome = run.ProgramChip(settings_.detect);
        if (outcome.ending == ChipEnding::Stopped) {
            why = outcome.reason;
            break;
        }
        ++made;
        {
            std::lock_guard lock(mutex_);
            GatewayStatus& s = g.status;
            ++s.chips;
            if (outcome.ending == ChipEnding::Passed) ++s.passed;
            if (outcome.ending == ChipEnding::Failed) ++s.failed;
            if (outcome.ending == ChipEnding::Cancelled) ++s.cancelled;
        }
        if (onChip) Event([&] { onChip(index, outcome); });
        if (!outcome.storeError.empty()) {
            why = outcome.storeError;
            break;
        }
        if (outcome.ending == ChipEnding::Cancelled) break;
        if (std::string lost = GatewayLostReason(outcome); !lost.empty()) {
            why = std::move(lost);
            break;
        }
        if (settings_.detect && (!settings_.count || made < *settings_.count) && !watch(false)) break;
    }
    run.Disconnect();
    SetState(index, why.empty() ? GatewayState::Done : GatewayState::Stopped, why);
}

}  // namespace quillon::production
