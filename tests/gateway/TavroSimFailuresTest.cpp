// The link's failures against tavro-sim on a pseudo-terminal, through the real serial path:
// a gateway that hangs up, one that goes silent, one that is never ready, one whose SPI answer
// is empty. Each shows exactly its log line and leaves the port as the program expects.
#include <gtest/gtest.h>


#include <chrono>
#include <thread>

#include "gateway/Bus.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

// A context connected to tavro-sim, with the waits slept for real as on a real gateway.
struct Connected {
    test::TavroSimProcess sim;
    Bus bus;
    explicit Connected(std::vector<std::string> args) : sim(std::move(args))
    {
        if (!sim.Path().empty()) bus.link.OpenPort(sim.Path());
    }
};

#define REQUIRE_CONNECTED(c)                                                        \
    ASSERT_FALSE((c).sim.Path().empty()) << "tavro-sim did not start";              \
    ASSERT_TRUE((c).bus.link.IsOpen()) << ((c).bus.log.Lines().empty() ? "" : (c).bus.log.Lines().back())

TEST(TavroSim, ConnectsAndReadsTheSignature)
{
    Connected c({"--chip", "AT90S1200"});
    REQUIRE_CONNECTED(c);
    ASSERT_TRUE(EnterProgMode(c.bus));
    EXPECT_EQ(ReadSignature(c.bus), 0x01901E);
    EXPECT_TRUE(ExitProgMode(c.bus));
    EXPECT_TRUE(c.bus.link.IsOpen());
}

TEST(TavroSim, HandshakeWithoutItsOneAnswerByteIsMessageSevenAndClosed)
{
    // Silence is a missing gateway; a byte too many is something that answers, out of step.
    struct Case {
        std::vector<std::string> fault;
        std::vector<std::string> lines;  // "@" stands for the device path
    };
    const Case cases[] = {
        {{"--silent-after", "2"},
         {"Error reading the answer (PINB)",
          "No gateway answered on @: is the Tavro plugged into this port and powered?"}},
        {{"--stray-every", "55@1"},
         {"The gateway sent 1 byte more than asked: the answers are out of step", "Error reading the answer (PINB)",
          "The device on @ answered the handshake with more bytes than the gateway sends: is this the Tavro's "
          "port, and is no other program using it?"}},
    };
    for (const Case& k : cases) {
        std::vector<std::string> args{"--chip", "ATmega8"};
        args.insert(args.end(), k.fault.begin(), k.fault.end());
        Connected c(args);
        ASSERT_FALSE(c.sim.Path().empty()) << "tavro-sim did not start";
        EXPECT_FALSE(c.bus.link.IsOpen()) << k.fault.front();
        Lines expected;
        for (std::string line : k.lines) {
            if (const auto at = line.find('@'); at != std::string::npos) line.replace(at, 1, c.sim.Path());
            expected.push_back(line);
        }
        EXPECT_EQ(c.bus.log.Lines(), expected) << k.fault.front();
    }
}

TEST(TavroSim, GatewayGoingSilentIsMessageSevenAboutASecondLater)
{
    Connected c({"--chip", "ATmega8", "--silent-after", "3"});
    REQUIRE_CONNECTED(c);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitReady(c.bus));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(c.bus.link.IsOpen());
    EXPECT_EQ(c.bus.log.Lines(), Lines{"Error reading the answer (PINC)"});
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST(TavroSim, GatewayHangingUpFailsTheNextSendAndClosesThePort)
{
    Connected c({"--chip", "ATmega8", "--hangup-after", "3"});
    REQUIRE_CONNECTED(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let it hang up
    EXPECT_FALSE(EnterProgMode(c.bus));
    EXPECT_FALSE(c.bus.link.IsOpen());
    EXPECT_EQ(c.bus.log.Lines(),
              (Lines{"Trying to enter Programming Mode", "Error executing commands:  0x0B 0x0 0x0D 0x0"}));
    // Every later step fails at once on the closed port and says so again.
    EXPECT_FALSE(WaitReady(c.bus));
    EXPECT_EQ(c.bus.log.Lines().back(), "Error executing commands:  PINCRead");
}

TEST(TavroSim, NeverReadySaysTheChipStayedBusyWithThePortOpen)
{
    Connected c({"--chip", "ATmega8", "--never-ready"});
    REQUIRE_CONNECTED(c);
    ASSERT_TRUE(EnterProgMode(c.bus));
    EXPECT_FALSE(WaitReady(c.bus));
    EXPECT_TRUE(c.bus.link.IsOpen());
    EXPECT_EQ(c.bus.log.Lines().back(), "The chip did not become ready after the programming pulse");
}

TEST(TavroSim, EmptySpiAnswerIsMessageSevenSpiPaket)
{
    Connected c({"--chip", "ATtiny85", "--short-spi", "0"});
    REQUIRE_CONNECTED(c);
    c.bus.delay = 0;
    EXPECT_FALSE(EnterSerialProgMode(c.bus, " execute the sinchronization with chip"));
    EXPECT_FALSE(c.bus.link.IsOpen());
    EXPECT_EQ(c.bus.log.Lines(), (Lines{"Trying to execute the sinchronization with chip",
                                         "Error reading the answer (SPI paket)"}));
}

TEST(TavroSim, SerialChipAnswersProgrammingEnableInStep)
{
    Connected c({"--chip", "ATtiny85"});
    REQUIRE_CONNECTED(c);
    EXPECT_TRUE(EnterSerialProgMode(c.bus, " execute the sinchronization with chip"));
    EXPECT_TRUE(c.bus.link.IsOpen());
}

TEST(TavroSim, StrayBytesFailTheReadThatMeetsThem)
{
    struct Case {
        std::vector<std::string> args;
        std::string outOfStep;
    };
    // Answer 1 is the handshake's, 2 to 4 the signature bytes.
    const Case cases[] = {
        {{"--stray", "55@2"}, "The gateway sent 1 byte more than asked: the answers are out of step"},
        {{"--stray", "55,AA,00@4"}, "The gateway sent 3 bytes more than asked: the answers are out of step"},
        {{"--stray-every", "55@2"}, "The gateway sent 1 byte more than asked: the answers are out of step"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--chip", "AT90S1200"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Connected connected(args);
        REQUIRE_CONNECTED(connected);
        Bus& ctx = connected.bus;
        ASSERT_TRUE(EnterProgMode(ctx));
        EXPECT_EQ(ReadSignature(ctx), 0) << c.args[1];
        EXPECT_FALSE(ctx.link.IsOpen());
        const Lines lines = ctx.log.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{c.outOfStep, "Error reading the answer (PINB)"}))
            << c.args[1];
    }
}

TEST(TavroSim, ASecondProgramOnTheSamePortIsRefusedEvenAsRoot)
{
    Connected first({"--chip", "ATmega8"});
    REQUIRE_CONNECTED(first);
    Bus second;
    second.link.OpenPort(first.sim.Path());
    EXPECT_FALSE(second.link.IsOpen());
    EXPECT_EQ(second.log.Lines(),
              (Lines{"Error. The COM-port is not available",
                     "The port " + first.sim.Path() + " is in use by another program: close it there first"}));
    // The first keeps working, and once it closes the port the second gets it.
    ASSERT_TRUE(EnterProgMode(first.bus));
    first.bus.link.ClosePort();
    second.link.OpenPort(first.sim.Path());
    EXPECT_TRUE(second.link.IsOpen());
}

TEST(TavroSim, AShortSpiAnswerEndsAtAPauseOnceItsUsedBytesAreIn)
{
    Connected c({"--chip", "ATtiny85", "--short-spi", "2"});
    REQUIRE_CONNECTED(c);
    c.bus.delay = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(EnterSerialProgMode(c.bus, " execute the sinchronization with chip"));
    auto reply = SpiQuery(c.bus, 0x30, 0x00, 0x00, 0x00, " signature");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->byte0, 0x1E);
    EXPECT_TRUE(c.bus.link.IsOpen());
    // Two answers, each far below the 1 s bound a missing answer waits.
    EXPECT_LT(took, std::chrono::milliseconds(900));
}

TEST(SerialDevice, AFileThatIsNoSerialPortHasNoLineSettings)
{
    Bus bus;
    bus.link.OpenPort("/dev/null");
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_EQ(bus.log.Lines(), (Lines{"Error getting the COM-port parameters",
                                      "Cannot read the line settings of /dev/null: Inappropriate ioctl for "
                                      "device (is it a serial port?)"}));
}

}  // namespace
}  // namespace quillon
