#include "ui/CommandRunner.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QThread>
#include <QWidget>
#include <exception>

namespace quillon::ui {

CommandRunner::CommandRunner(QObject* parent) : QObject(parent) {}

CommandRunner::~CommandRunner()
{
    if (worker_.joinable()) worker_.join();
    if (busy_ && qApp) qApp->removeEventFilter(this);
}

void CommandRunner::Guard(QWidget* window) { guarded_.emplace_back(window); }

bool CommandRunner::Run(std::function<void()> work, std::function<void()> done)
{
    if (busy_) return false;
    if (worker_.joinable()) worker_.join();
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
    bool answer = false;
    QMetaObject::invokeMethod(this, [&ask, &answer] { answer = ask(); }, Qt::BlockingQueuedConnection);
    return answer;
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
    case QEvent::Close:
        return IsGuarded(watched);
    default:
        return false;
    }
}

}  // namespace quillon::ui
