// The real serial path on a pseudo-terminal: libserialport must accept the gateway's line
// settings there (a pty has no modem lines) and move bytes both ways.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
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
    EXPECT_EQ(bus.log.Lines(),
              (std::vector<std::string>{"Error reading the answer (PINB)",
                                        "No gateway answered on " + pty.slave +
                                            ": is the Tavro plugged into this port and powered?"}));
}

TEST(SerialPort, AMissingDeviceIsNotAvailable)
{
    Bus bus;
    bus.link.OpenPort("/dev/quillon-no-such-port");
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_EQ(bus.log.Lines(),
              (std::vector<std::string>{"Error. The COM-port is not available",
                                        "Cannot open /dev/quillon-no-such-port: No such file or directory"}));
}

// The log of an OpenPort run by a user who is not root and in no group but their own: a child
// process drops to "nobody", as root cannot be refused a device.
std::optional<std::vector<std::string>> OpenAsNobody(const std::string& path)
{
    int out[2];
    if (pipe(out) != 0) return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        Bus bus;
        bus.link.OpenPort(path);
        std::string text;
        for (const std::string& line : bus.log.Lines()) text += line + "\n";
        (void)!write(out[1], text.data(), text.size());
        _exit(0);
    }
    close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

TEST(SerialPort, ADeviceOfAGroupTheUserIsNotInNamesTheReasonAndTheGroup)
{
    if (geteuid() != 0) GTEST_SKIP() << "dropping to another user needs root";
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no group dialout here";
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    // As a USB serial adapter's node is on Debian: root's, read and write for the group dialout.
    ASSERT_EQ(chown(pty.slave.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(pty.slave.c_str(), 0660), 0);
    const auto lines = OpenAsNobody(pty.slave);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, (std::vector<std::string>{
                          "Error. The COM-port is not available",
                          "Cannot open " + pty.slave + ": Permission denied",
                          "Only members of the group \"dialout\" may open " + pty.slave +
                              ": add the user to it (sudo usermod -aG dialout $USER) and log in again",
                      }));
}

}  // namespace
}  // namespace quillon
