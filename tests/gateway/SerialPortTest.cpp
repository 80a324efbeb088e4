// The real serial path on a pseudo-terminal: libserialport must accept the gateway's line
// settings there (a pty has no modem lines) and move bytes both ways.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "gateway/Bus.h"

namespace quillon {
namespace {

struct Pty {
    int master = -1;
    std::string slave;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slave = ptsname(master);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    ~Pty()
    {
        if (master >= 0) close(master);
    }
    std::vector<std::uint8_t> ReadSome(std::size_t want)
    {
        std::vector<std::uint8_t> got;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (got.size() < want && std::chrono::steady_clock::now() < until) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            std::uint8_t buf[64];
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) got.insert(got.end(), buf, buf + n);
        }
        return got;
    }
};

TEST(SerialPort, HandshakeOverAPseudoTerminal)
{
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    // The gateway answers the probe only after the three handshake packets came in.
    std::thread gateway([&] {
        auto got = pty.ReadSome(5);
        if (got == std::vector<std::uint8_t>{0x0A, 0x08, 0x00, 0x1E, 0x04}) {
            std::uint8_t answer = 0x42;
            (void)!write(pty.master, &answer, 1);
        }
    });
    Bus bus;
    bus.link.OpenPort(pty.slave);
    gateway.join();
    EXPECT_TRUE(bus.link.IsOpen());
    EXPECT_TRUE(bus.log.Lines().empty()) << bus.log.Lines().front();

    // A short answer is taken as it is once the bound runs out.
    std::uint8_t two[] = {1, 2};
    ASSERT_EQ(write(pty.master, two, 2), 2);
    const auto start = std::chrono::steady_clock::now();
    Answer a = bus.link.ReadAnswer(2);
    EXPECT_EQ(a.count, 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));  // not the bound
}

TEST(SerialPort, NoGatewayBehindThePortIsMessageSevenAndClosed)
{
    Pty pty;
    Bus bus;
    bus.link.OpenPort(pty.slave);
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_EQ(bus.log.Lines(), std::vector<std::string>{"Error reading the answer (PINB)"});
}

TEST(SerialPort, AMissingDeviceIsNotAvailable)
{
    Bus bus;
    bus.link.OpenPort("/dev/quillon-no-such-port");
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_EQ(bus.log.Lines(), std::vector<std::string>{"Error. The COM-port is not available"});
}

}  // namespace
}  // namespace quillon
