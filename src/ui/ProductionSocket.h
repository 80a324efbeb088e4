// One gateway of a production line in the window: a worker thread with its own session, its own
// connection to the record store and its own run, so a gateway that fails or goes silent holds
// up nobody else. What happens on the worker reaches the GUI thread as queued signals.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "gateway/Transport.h"
#include "production/ProductionRun.h"

namespace quillon {
struct Session;
}

namespace quillon::production {
class RecordStore;
struct Job;
}  // namespace quillon::production

namespace quillon::ui {

class ProductionSocket : public QObject {
    Q_OBJECT
public:
    // `job` must outlive the socket; `records` is where the job's store is (a file or a URL).
    ProductionSocket(QString port, PortOpener opener, const production::Job& job, std::string records,
                     QObject* parent = nullptr);
    ~ProductionSocket() override;

    const QString& Port() const { return port_; }

    // Programs up to `chips` chips one after the other on the worker thread; false while busy.
    // A chip that fails does not end the batch; a gateway that no longer answers, a store that
    // fails and Stop do.
    bool Start(int chips);
    // Ends the batch: the chip under way stops at its next packet and is recorded as cancelled.
    void Stop();
    bool Busy() const { return busy_; }

signals:
    void stepStarted(qint64 chip, const QString& step);
    // The record store went away or came back, or a record waits on this station.
    void noticed(const QString& text);
    void chipEnded(const quillon::production::ChipOutcome& outcome);
    // The batch ended; `reason` is empty when every chip asked for was programmed.
    void batchEnded(const QString& reason);
    // The worker queued events; delivered on the GUI thread. Not for other listeners.
    void eventsWaiting();

private:
    struct Event {
        enum Kind { Step, Notice, Chip, End } kind;
        std::int64_t chip = 0;
        std::string text;
        production::ChipOutcome outcome;
    };

    void Work(int chips);
    // The reason the socket cannot take another chip after this one; empty when it can.
    static std::string StopReason(const production::ChipOutcome& outcome);
    void Post(Event event);
    void Deliver();

    QString port_;
    const production::Job& job_;
    std::string records_;
    // The worker's alone while a batch runs; the GUI thread touches them only when it is idle.
    std::unique_ptr<Session> session_;
    std::unique_ptr<production::RecordStore> store_;
    std::unique_ptr<production::ProductionRun> run_;

    bool busy_ = false;  // GUI thread
    std::atomic<bool> stop_{false};
    std::thread worker_;
    // The worker's events, taken by the GUI thread; the mutex orders what goes with them.
    std::mutex eventsMutex_;
    std::deque<Event> events_;
};

}  // namespace quillon::ui
