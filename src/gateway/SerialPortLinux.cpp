// The serial port under the link on Linux, on the kernel's tty interface: 250000 baud (an
// arbitrary rate, so termios2 with BOTHER), 8 data bits, no parity, two stop bits, no flow
// control, DTR and RTS inactive. The library we use elsewhere only opens ports it finds in
// sysfs, and a pseudo-terminal (the simulated gateway) has no entry there.
#ifdef __linux__

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "gateway/Link.h"

namespace quillon {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the descriptor has bytes to read or `wait` has passed, to the microsecond: the
// pauses that end a short answer are shorter than poll()'s milliseconds would resolve well.
// False when nothing came, the wait was cut or the other end is gone.
bool WaitReadable(int fd, std::chrono::microseconds wait)
{
    if (wait.count() <= 0) wait = std::chrono::microseconds{0};
    timespec limit{static_cast<time_t>(wait.count() / 1000000), static_cast<long>(wait.count() % 1000000) * 1000};
    pollfd p{fd, POLLIN, 0};
    const int ready = ::ppoll(&p, 1, &limit, nullptr);
    if (ready <= 0 || (p.revents & (POLLERR | POLLNVAL))) return false;
    return (p.revents & POLLIN) != 0;  // POLLHUP alone: the other end is gone
}

class TtyTransport final : public Transport {
public:
    explicit TtyTransport(int fd) : fd_(fd) {}
    ~TtyTransport() override { ::close(fd_); }
    TtyTransport(const TtyTransport&) = delete;
    TtyTransport& operator=(const TtyTransport&) = delete;

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        // The whole packet within 20 s, or the write failed: a truncated packet would make the
        // gateway execute half a command.
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, RemainingMs(deadline)) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
                return false;
        }
        return ::ioctl(fd_, TCSBRK, 1) == 0;  // tcdrain: wait until it has left the driver
    }

    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override
    {
        return ReadUntilPause(buffer, buffer.size(), timeout, std::chrono::microseconds{0});
    }

    std::size_t ReadUntilPause(std::span<std::uint8_t> buffer, std::size_t needed,
                               std::chrono::milliseconds timeout, std::chrono::microseconds pause) override
    {
        const auto deadline = Clock::now() + timeout;
        std::size_t got = 0;
        while (got < buffer.size()) {
            ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) break;
            if (got >= needed) {
                // The bytes that matter are in: a quiet pause ends the answer.
                const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
                if (!WaitReadable(fd_, std::min(pause, left))) break;
                continue;
            }
            const int left = RemainingMs(deadline);
            if (left == 0) break;
            // Sleep in poll() until bytes arrive: the answer is taken the moment it is in.
            pollfd p{fd_, POLLIN, 0};
            int ready = ::poll(&p, 1, left);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0 || (p.revents & (POLLERR | POLLNVAL))) break;
            if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) break;  // the other end is gone
        }
        return got;
    }

    std::size_t Queued(std::chrono::microseconds settle) override
    {
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) return static_cast<std::size_t>(waiting);
        if (settle.count() <= 0 || !WaitReadable(fd_, settle)) return 0;
        if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
        return static_cast<std::size_t>(waiting);
    }

    void DiscardInput() override { (void)::ioctl(fd_, TCFLSH, TCIFLUSH); }

private:
    int fd_;
};

// USB serial adapters hold what they received until their latency timer runs out (16 ms on many
// by default); in low-latency mode their drivers use the shortest timer. Every answer of the
// gateway waits for it, so it is asked for; a driver or a pseudo-terminal that refuses it leaves
// the port as it was, which works, only slower.
void AskForLowLatency(int fd)
{
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    (void)::ioctl(fd, TIOCSSERIAL, &serial);
}

// A failure with the system's reason. Taken before the descriptor closes, which may change errno.
OpenedPort Failed(OpenFailure failure)
{
    return {nullptr, failure, errno};
}

}  // namespace

OpenedPort OpenSerialPort(const std::string& devicePath)
{
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // EBUSY: another program opened it with TIOCEXCL.
    if (fd < 0) return Failed(errno == EBUSY ? OpenFailure::InUse : OpenFailure::NotAvailable);
    auto transport = std::make_unique<TtyTransport>(fd);
    // Not shared, as the gateway's protocol has no room for a second talker: two programs'
    // packets would interleave and each would take the other's answers.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) return Failed(OpenFailure::NotAvailable);

    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return Failed(OpenFailure::GetSettings);
    // TIOCEXCL does not stop root, so an advisory lock stops a second instance as well. Taken
    // only on a terminal, so that no lock is ever held on a file that is none. It ends with the
    // descriptor.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return Failed(errno == EWOULDBLOCK ? OpenFailure::InUse : OpenFailure::NotAvailable);
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                          IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CRTSCTS | CBAUD);
    tio.c_cflag |= CS8 | CSTOPB | CREAD | CLOCAL | BOTHER;
    tio.c_ispeed = tio.c_ospeed = 250000;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &tio) != 0) return Failed(OpenFailure::SetSettings);

    // DTR and RTS inactive. A pseudo-terminal has no modem lines and refuses this; that must
    // not stop a connection to a simulated gateway.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIC, &lines);

    AskForLowLatency(fd);
    (void)::ioctl(fd, TCFLSH, TCIOFLUSH);
    return {std::move(transport), OpenFailure::None};
}

}  // namespace quillon

#endif  // __linux__
