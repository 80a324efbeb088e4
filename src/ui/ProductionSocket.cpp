#include "ui/ProductionSocket.h"

#include <cstdio>
#include <utility>

#include "operations/Session.h"
#include "production/Job.h"
#include "production/RecordStore.h"

namespace quillon::ui {

using namespace quillon::production;

ProductionSocket::ProductionSocket(QString port, PortOpener opener, const Job& job, std::string records,
                                   QObject* parent)
    : QObject(parent),
      port_(std::move(port)),
      job_(job),
      records_(std::move(records)),
      session_(std::make_unique<Session>(std::move(opener)))
{
    // A signal rather than a queued call built here: Qt then makes and frees the queued event in
    // its own code, which the window's ThreadSanitizer run knows to be ordered by Qt's locks.
    connect(this, &ProductionSocket::eventsWaiting, this, &ProductionSocket::Deliver, Qt::QueuedConnection);
}

ProductionSocket::~ProductionSocket()
{
    Stop();
    if (worker_.joinable()) worker_.join();
    run_.reset();  // before the session and the store it uses
}

bool ProductionSocket::Start(int chips)
{
    if (busy_ || chips < 1) return false;
    if (worker_.joinable()) worker_.join();
    stop_ = false;
    session_->bus.cancel.Clear();
    busy_ = true;
    worker_ = std::thread([this, chips] { Work(chips); });
    return true;
}

void ProductionSocket::Stop()
{
    if (!busy_) return;
    stop_ = true;
    session_->bus.cancel.Request();
}

void ProductionSocket::Work(int chips)
{
    std::string reason;
    if (!run_) {
        // Each socket has a connection of its own: the store hands out numbers in transactions,
        // so two sockets never get the same one. Opened here, as a server may take its time.
        std::string error;
        store_ = OpenRecordStore(records_, error);
        if (store_)
            run_ = std::make_unique<ProductionRun>(*session_, job_, *store_, port_.toStdString());
        else
            reason = error;
    }
    if (run_) {
        run_->onStep = [this](std::int64_t chip, const std::string& step, bool done, bool) {
            if (!done) Post({Event::Step, chip, step, {}});
        };
        run_->howToStop = "Stop ends the run";
        run_->onNotice = [this](const std::string& line) { Post({Event::Notice, 0, line, {}}); };
    }
    for (int i = 0; reason.empty() && i < chips && !stop_; ++i) {
        ChipOutcome outcome = run_->ProgramChip();
        reason = StopReason(outcome);
        if (outcome.ending != ChipEnding::Stopped) Post({Event::Chip, outcome.id, {}, std::move(outcome)});
    }
    if (run_) {
        run_->onStep = {};
        run_->onNotice = {};
    }
    if (reason.empty() && stop_) reason = "stopped by the operator";
    Post({Event::End, 0, reason, {}});
}

std::string ProductionSocket::StopReason(const ChipOutcome& outcome)
{
    switch (outcome.ending) {
    case ChipEnding::Stopped:
        return outcome.reason;
    case ChipEnding::Cancelled:
        return "stopped by the operator (" + outcome.reason + ")";
    case ChipEnding::Passed:
    case ChipEnding::Failed:
        break;
    }
    if (!outcome.storeError.empty()) return outcome.storeError;
    // A chip that fails leaves the socket ready for the next one; a gateway that could not be
    // opened or whose link failed cannot program another.
    return GatewayLostReason(outcome);
}

void ProductionSocket::Post(Event event)
{
    {
        std::lock_guard lock(eventsMutex_);
        events_.push_back(std::move(event));
    }
    emit eventsWaiting();
}

void ProductionSocket::Deliver()
{
    std::deque<Event> events;
    {
        std::lock_guard lock(eventsMutex_);
        events.swap(events_);
    }
    for (Event& event : events) {
        switch (event.kind) {
        case Event::Step:
            emit stepStarted(event.chip, QString::fromStdString(event.text));
            break;
        case Event::Notice:
            emit noticed(QString::fromStdString(event.text));
            break;
        case Event::Chip:
            emit chipEnded(event.outcome);
            break;
        case Event::End:
            // Joined first: the worker has let go of the session and the run before anyone
            // sees the socket idle.
            if (worker_.joinable()) worker_.join();
            busy_ = false;
            emit batchEnded(QString::fromStdString(event.text));
            break;
        }
    }
}

}  // namespace quillon::ui
