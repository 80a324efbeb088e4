// Runs one command at a time on a worker thread so the window keeps painting, while the windows
// it guards take no input until the command has ended: no second command, no page switch.
#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Cancel.h"

class QWidget;

namespace quillon::ui {

class CommandRunner : public QObject {
    Q_OBJECT
public:
    explicit CommandRunner(QObject* parent = nullptr);
    ~CommandRunner() override;

    // Windows that take no input while a command runs (the main window, the Lock & Fuses dialog).
    // The first one guarded still gets its close requests, so it can offer to cancel.
    void Guard(QWidget* window);

    // The request the commands check between packets; cleared as each command starts.
    void SetCancelRequest(CancelRequest* cancel) { cancel_ = cancel; }
    // Asks the command under way to stop at its next packet boundary.
    void Cancel();
    bool CancelRequested() const { return cancel_ != nullptr && cancel_->Requested(); }

    // Cancels the command under way, answers any question it is waiting on with No, and waits
    // for it to end. After this no command runs; the owner may then tear down what it used.
    void Shutdown();

    bool Busy() const { return busy_; }

    // Starts `work` on the worker thread; `done` runs on this thread once it has ended. An
    // exception escaping `work` is shown in a message box and the program goes on. False (and
    // nothing runs) while another command is under way.
    bool Run(std::function<void()> work, std::function<void()> done = {});

    // Runs `ask` on this object's thread and returns its answer: how a command on the worker
    // asks the user a question. Called on this thread itself, it simply runs `ask`.
    bool AskOnGuiThread(const std::function<bool()>& ask);

signals:
    void started();
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish(std::function<void()> done, QString error);
    bool IsGuarded(QObject* object) const;

    bool busy_ = false;
    CancelRequest* cancel_ = nullptr;
    std::thread worker_;
    // A question from the worker waits on this until the GUI thread answers or shuts down.
    std::mutex answerMutex_;
    std::condition_variable answered_;
    bool shuttingDown_ = false;
    std::vector<QPointer<QWidget>> guarded_;
};

}  // namespace quillon::ui
