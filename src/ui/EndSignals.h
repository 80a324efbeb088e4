// SIGHUP, SIGINT and SIGTERM as a request to end the window: the terminal it was started from
// closed, or the system is shutting down. Handled on the window's thread, so that the command
// under way is cancelled and the socket switched off before the program ends.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillon::ui {

class EndSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one watcher at a time (a signal handler has only globals to reach).
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override;
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // The first signal that came, 0 for none: the exit status a shell gives it is 128 plus it.
    int Received() const { return received_; }

signals:
    void arrived(int signal);

private:
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace quillon::ui
