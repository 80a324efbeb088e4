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

TEST(TavroSim, SilentDuringTheHandshakeIsMessageSevenAndClosed)
{
    Connected c({"--chip", "ATmega8", "--silent-after", "2"});
    EXPECT_FALSE(c.bus.link.IsOpen());
    EXPECT_EQ(c.bus.log.Lines(), Lines{"Error reading the answer (PINB)"});
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

TEST(TavroSim, NeverReadyGivesUpSilentlyWithThePortOpen)
{
    Connected c({"--chip", "ATmega8", "--never-ready"});
    REQUIRE_CONNECTED(c);
    ASSERT_TRUE(EnterProgMode(c.bus));
    const auto before = c.bus.log.Lines().size();
    EXPECT_FALSE(WaitReady(c.bus));
    EXPECT_TRUE(c.bus.link.IsOpen());
    EXPECT_EQ(c.bus.log.Lines().size(), before);
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

TEST(SerialDevice, AFileThatIsNoSerialPortHasNoLineSettings)
{
    Bus bus;
    bus.link.OpenPort("/dev/null");
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_EQ(bus.log.Lines(), Lines{"Error getting the COM-port parameters"});
}

}  // namespace
}  // namespace quillon
