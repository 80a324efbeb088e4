#include "ui/EndSignals.h"

#include <fcntl.h>
#include <cerrno>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>

namespace quillon::ui {

namespace {

// The handler may only write to a pipe; the window's thread reads the other end.
int gWriteEnd = -1;
constexpr std::array<int, 3> kSignals{SIGHUP, SIGINT, SIGTERM};

void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (gWriteEnd >= 0) (void)!::write(gWriteEnd, &number, 1);
    errno = saved;
}

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteEnd = ends[1];
    notifier_ = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        while (::read(static_cast<int>(notifier_->socket()), &number, 1) == 1) {
            if (received_ == 0) received_ = number;
            emit arrived(number);
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

EndSignals::~EndSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
    if (gWriteEnd >= 0) ::close(gWriteEnd);
    gWriteEnd = -1;
    if (notifier_ != nullptr) ::close(static_cast<int>(notifier_->socket()));
}

}  // namespace quillon::ui
