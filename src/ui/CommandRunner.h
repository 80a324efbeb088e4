// Runs one command at a time on a worker thread so the window keeps painting, while the windows
// it guards take no input until the command has ended: no second command, no page switch.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Cancel.h"
#include "core/Result.h"
#include "operations/Session.h"

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
    // for it to end. After this no command runs and the runner no longer touches the cancel
    // request: the owner may then tear down what it used, in any order.
    void Shutdown();

    bool Busy() const { return busy_; }

    // Starts `work` on the worker thread; `done` runs on this thread once it has ended. An
    // exception escaping `work` is shown in a message box and the program goes on. False (and
    // nothing runs) while another command is under way.
    bool Run(std::function<void()> work, std::function<void()> done = {});

    // A command as the worker gets it: built from copies of its inputs, it reaches the session
    // only through its argument, and the window, views and dialogs not at all. What it finds out
    // comes back as its result (or in a value it shares with `done`).
    using Work = std::function<Result(Session&)>;
    using Done = std::function<void(const Result&)>;
    // Runs `work` on `session` on the worker thread, which owns the session until the command
    // has ended; `done` gets the result on this thread. An exception escaping `work` is shown as
    // above, and `done` then gets a failed result.
    bool Run(Session& session, Work work, Done done = {});

    // Runs `ask` on this object's thread and returns its answer: how a command on the worker
    // asks the user a question. Called on this thread itself, it simply runs `ask`.
    bool AskOnGuiThread(const std::function<bool()>& ask);

signals:
    void started();
    void finished();
    // Sent by the worker thread. They carry nothing: what goes with them is left under
    // stateMutex_, so the mutex, which ThreadSanitizer sees as well, orders the worker's writes
    // before the GUI thread's reads, not Qt's event queue, which it cannot see.
    void workerEnded(QPrivateSignal);
    void questionPosted(QPrivateSignal);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A question from the worker, shared so that it outlives whichever side gives up first.
    struct Question {
        std::function<bool()> ask;
        bool given = false;
        bool yes = false;
    };

    void Finish();
    void AnswerQuestion();
    bool IsGuarded(QObject* object) const;

    // GUI thread only.
    bool busy_ = false;
    CancelRequest* cancel_ = nullptr;
    std::function<void()> done_;
    std::vector<QPointer<QWidget>> guarded_;
    std::thread worker_;
    // Between the worker and the GUI thread. A question waits on answered_ until the GUI thread
    // answers it or shuts down. Taken last, for a few assignments: nothing is called under it.
    std::mutex stateMutex_;
    std::condition_variable answered_;
    bool shuttingDown_ = false;
    QString error_;  // how the last command's work ended: empty, or an exception's text
    std::shared_ptr<Question> question_;
};

}  // namespace quillon::ui
