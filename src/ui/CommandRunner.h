// Runs one command at a time on a worker thread so the window keeps painting, while the windows
// it guards take no input until the command has ended: no second command, no page switch.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <thread>
#include <vector>

class QWidget;

namespace quillon::ui {

class CommandRunner : public QObject {
    Q_OBJECT
public:
    explicit CommandRunner(QObject* parent = nullptr);
    ~CommandRunner() override;

    // Windows that take no input while a command runs (the main window, the Lock & Fuses dialog).
    void Guard(QWidget* window);

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
    std::thread worker_;
    std::vector<QPointer<QWidget>> guarded_;
};

}  // namespace quillon::ui
