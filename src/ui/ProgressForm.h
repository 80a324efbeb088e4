// The progress window: one bar in a small captionless dialog, created and freed by each command
// through the core's progress interface. Calls from the worker thread arrive here as queued signals.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include "core/Progress.h"

class QProgressBar;

namespace quillon::ui {

class ProgressForm : public QDialog {
    Q_OBJECT
public:
    explicit ProgressForm(QWidget* parent = nullptr);
    QProgressBar* Bar() const { return bar_; }

private:
    QProgressBar* bar_;
};

// The core's progress sink for the window. Thread-safe: every call becomes a signal that the
// window's thread handles in order.
class UiProgress : public QObject, public ProgressSink {
    Q_OBJECT
public:
    explicit UiProgress(QWidget* owner);
    ~UiProgress() override;

    void Create() override { emit createRequested(); }
    void SetPosition(int percent) override { emit positionRequested(percent); }
    void Free() override { emit freeRequested(); }

    ProgressForm* Window() const { return window_; }  // null while none is alive

signals:
    void createRequested();
    void positionRequested(int percent);
    void freeRequested();
    void shown(int count);  // the count of windows shown so far, for tests

private:
    void OnCreate();
    void OnPosition(int percent);
    void OnFree();

    QPointer<QWidget> owner_;
    QPointer<ProgressForm> window_;
    int shownCount_ = 0;
};

}  // namespace quillon::ui
