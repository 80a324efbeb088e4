// The progress window: the bar, what it means in time (percentage, time left, rate) and a Cancel
// button, in a small captionless dialog created and freed by each command through the core's
// progress interface. Calls from the worker thread arrive here as queued signals.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>

#include "core/Progress.h"
#include "core/ProgressText.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillon::ui {

class ProgressForm : public QDialog {
    Q_OBJECT
public:
    explicit ProgressForm(QWidget* parent = nullptr);
    QProgressBar* Bar() const { return bar_; }
    QLabel* Text() const { return text_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Shows that the stop was asked for; the command ends at its next packet boundary.
    void ShowCancelling();

signals:
    // The Cancel button, Escape or the close box: the window stays until the command ends.
    void cancelRequested();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* bar_;
    QLabel* text_;
    QPushButton* cancel_;
};

// The core's progress sink for the window. Thread-safe: every call becomes a signal that the
// window's thread handles in order.
class UiProgress : public QObject, public ProgressSink {
    Q_OBJECT
public:
    explicit UiProgress(QWidget* owner);
    ~UiProgress() override;

    void Create() override { emit createRequested(); }
    void SetPosition(int percent) override { emit countRequested(0, 0, percent); }
    void SetCount(std::uint32_t done, std::uint32_t total, int percent) override
    {
        emit countRequested(done, total, percent);
    }
    void Free() override { emit freeRequested(); }

    ProgressForm* Window() const { return window_; }  // null while none is alive

    // What Cancel in the window does; runs on the window's thread.
    void SetCancelAction(std::function<void()> action) { cancelAction_ = std::move(action); }

signals:
    void createRequested();
    void countRequested(quint32 done, quint32 total, int percent);
    void freeRequested();
    void shown(int count);  // the count of windows shown so far, for tests

private:
    void OnCreate();
    void OnCount(quint32 done, quint32 total, int percent);
    void OnFree();

    QPointer<QWidget> owner_;
    QPointer<ProgressForm> window_;
    int shownCount_ = 0;
    ProgressText text_;
    std::function<void()> cancelAction_;
};

}  // namespace quillon::ui
