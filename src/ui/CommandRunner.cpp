#include "ui/CommandRunner.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QThread>
#include <QWidget>
#include <exception>
#include <memory>
#include <utility>

namespace quillon::ui {

CommandRunner::CommandRunner(QObject* parent) : QObject(parent)
{
    connect(this, &CommandRunner::workerEnded, this, &CommandRunner::Finish, Qt::QueuedConnection);
    connect(this, &CommandRunner::questionPosted, this, &CommandRunner::AnswerQuestion, Qt::QueuedConnection);
}

CommandRunner::~CommandRunner()
{
    Shutdown();
    // A command whose ending was never delivered (the owner went first): undo what Run set up.
    if (busy_ && qApp) {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
}

void CommandRunner::Cancel()
{
    if (busy_ && cancel_ != nullptr) cancel_->Request();
}

void CommandRunner::Shutdown()
{
    {
        std::lock_guard lock(stateMutex_);
        shuttingDown_ = true;
    }
    answered_.notify_all();
    if (cancel_ != nullptr && busy_) cancel_->Request();
    if (worker_.joinable()) worker_.join();
    // The request belongs to the owner, which may free it as soon as this returns.
    cancel_ = nullptr;
}

void CommandRunner::Guard(QWidget* window) { guarded_.emplace_back(window); }

bool CommandRunner::Run(std::function<void()> work, std::function<void()> done)
{
    if (busy_) return false;
    {
        std::lock_guard lock(stateMutex_);
        if (shuttingDown_) return false;
    }
    if (worker_.joinable()) worker_.join();
    if (cancel_ != nullptr) cancel_->Clear();
    busy_ = true;
    done_ = std::move(done);
    qApp->installEventFilter(this);
    // The arrow with the busy sign: the window still answers (a question may come up) but works.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    emit started();
    worker_ = std::thread([this, work = std::move(work)] {
        QString error;
        try {
            work();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            error = QStringLiteral("Unknown error");
        }
        {
            std::lock_guard lock(stateMutex_);
            error_ = std::move(error);
        }
        emit workerEnded(QPrivateSignal());
    });
    return true;
}

bool CommandRunner::Run(Session& session, Work work, Done done)
{
    // Failed until the work returns: an exception leaves it so.
    auto result = std::make_shared<Result>(Result::Failed(FailureKind::None, {}));
    return Run([&session, work = std::move(work), result] { *result = work(session); },
               [done = std::move(done), result] {
                   if (done) done(*result);
               });
}

void CommandRunner::Finish()
{
    if (!busy_) return;
    // Joined first: everything the command did happens before what `done` reads.
    if (worker_.joinable()) worker_.join();
    QString error;
    {
        std::lock_guard lock(stateMutex_);
        error = std::exchange(error_, {});
    }
    std::function<void()> done = std::exchange(done_, {});
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    busy_ = false;
    QWidget* owner = guarded_.empty() ? nullptr : guarded_.front().data();
    if (!error.isEmpty()) QMessageBox::critical(owner, QStringLiteral("Error"), error);
    if (done) {
        try {
            done();
        } catch (const std::exception& e) {
            QMessageBox::critical(owner, QStringLiteral("Error"), QString::fromLocal8Bit(e.what()));
        }
    }
    emit finished();
}

bool CommandRunner::AskOnGuiThread(const std::function<bool()>& ask)
{
    if (QThread::currentThread() == thread()) return ask();
    // Not a blocking queued call: the GUI thread may be about to join this worker (the window
    // closing), and then the worker must give up waiting instead of both waiting for ever.
    auto question = std::make_shared<Question>();
    question->ask = ask;
    std::unique_lock lock(stateMutex_);
    if (shuttingDown_) return false;
    question_ = question;
    lock.unlock();
    emit questionPosted(QPrivateSignal());
    lock.lock();
    answered_.wait(lock, [&] { return question->given || shuttingDown_; });
    if (question_ == question) question_.reset();
    return question->given && question->yes;
}

void CommandRunner::AnswerQuestion()
{
    std::shared_ptr<Question> question;
    {
        std::lock_guard lock(stateMutex_);
        if (shuttingDown_) return;
        question = std::exchange(question_, {});
    }
    if (!question) return;
    // Asked without the lock held: the question may open a dialog with its own event loop.
    const bool yes = question->ask();
    {
        std::lock_guard lock(stateMutex_);
        question->yes = yes;
        question->given = true;
    }
    answered_.notify_all();
}

bool CommandRunner::IsGuarded(QObject* object) const
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return false;
    QWidget* window = widget->window();
    for (const auto& guarded : guarded_)
        if (guarded && guarded.data() == window) return true;
    return false;
}

bool CommandRunner::eventFilter(QObject* watched, QEvent* event)
{
    if (!busy_) return false;
    switch (event->type()) {
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return IsGuarded(watched);
    case QEvent::Close:
        // The main window decides for itself: it offers to cancel the command and close.
        if (!guarded_.empty() && watched == guarded_.front().data()) return false;
        return IsGuarded(watched);
    default:
        return false;
    }
}

}  // namespace quillon::ui
