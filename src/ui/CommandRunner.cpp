#include "ui/CommandRunner.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QThread>
#include <QWidget>
#include <exception>
#include <memory>

namespace quillon::ui {

CommandRunner::CommandRunner(QObject* parent) : QObject(parent) {}

CommandRunner::~CommandRunner()
{
    Shutdown();
    if (busy_ && qApp) qApp->removeEventFilter(this);
}

void CommandRunner::Cancel()
{
    if (busy_ && cancel_ != nullptr) cancel_->Request();
}

void CommandRunner::Shutdown()
{
    {
        std::lock_guard lock(answerMutex_);
        shuttingDown_ = true;
    }
    answered_.notify_all();
    if (cancel_ != nullptr && busy_) cancel_->Request();
    if (worker_.joinable()) worker_.join();
}

void CommandRunner::Guard(QWidget* window) { guarded_.emplace_back(window); }

bool CommandRunner::Run(std::function<void()> work, std::function<void()> done)
{
    if (busy_) return false;
    {
        std::lock_guard lock(answerMutex_);
        if (shuttingDown_) return false;
    }
    if (worker_.joinable()) worker_.join();
    if (cancel_ != nullptr) cancel_->Clear();
    busy_ = true;
    qApp->installEventFilter(this);
    // The arrow with the busy sign: the window still answers (a question may come up) but works.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    emit started();
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
        QString error;
        try {
            work();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            error = QStringLiteral("Unknown error");
        }
        QMetaObject::invokeMethod(
            this, [this, done = std::move(done), error]() mutable { Finish(std::move(done), error); },
            Qt::QueuedConnection);
    });
    return true;
}

void CommandRunner::Finish(std::function<void()> done, QString error)
{
    if (worker_.joinable()) worker_.join();
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
    struct Answer {
        bool given = false;
        bool yes = false;
    };
    auto answer = std::make_shared<Answer>();
    {
        std::lock_guard lock(answerMutex_);
        if (shuttingDown_) return false;
    }
    QMetaObject::invokeMethod(
        this,
        [this, ask, answer] {
            {
                std::lock_guard lock(answerMutex_);
                if (shuttingDown_) return;
            }
            const bool yes = ask();
            {
                std::lock_guard lock(answerMutex_);
                answer->yes = yes;
                answer->given = true;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(answerMutex_);
    answered_.wait(lock, [&] { return answer->given || shuttingDown_; });
    return answer->given && answer->yes;
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
