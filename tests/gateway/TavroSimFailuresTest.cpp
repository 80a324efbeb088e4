// The link's failures against tavro-sim on a pseudo-terminal, through the real serial path:
// a gateway that hangs up, one that goes silent, one that is never ready, one whose SPI answer
// is empty. Each shows exactly its log line and leaves the port as the program expects.
#include <gtest/gtest.h>


#include <chrono>
#include <thread>

#include "core/Context.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

// A context connected to tavro-sim, with the waits slept for real as on a real gateway.
struct Connected {
    test::TavroSimProcess sim;
    Context ctx;
    explicit Connected(std::vector<std::string> args) : sim(std::move(args))
    {
        if (!sim.Path().empty()) ctx.link.OpenPort(sim.Path());
    }
};

#define REQUIRE_CONNECTED(c)                                                        \
    ASSERT_FALSE((c).sim.Path().empty()) << "tavro-sim did not start";              \
    ASSERT_TRUE((c).ctx.link.IsOpen()) << ((c).ctx.log.Lines().empty() ? "" : (c).ctx.log.Lines().back())

TEST(TavroSim, ConnectsAndReadsTheSignature)
{
    Connected c({"--chip", "AT90S1200"});
    REQUIRE_CONNECTED(c);
    ASSERT_TRUE(EnterProgMode(c.ctx));
    EXPECT_EQ(ReadSignature(c.ctx), 0x01901E);
    EXPECT_TRUE(ExitProgMode(c.ctx));
    EXPECT_TRUE(c.ctx.link.IsOpen());
}

TEST(TavroSim, SilentDuringTheHandshakeIsMessageSevenAndClosed)
{
    Connected c({"--chip", "ATmega8", "--silent-after", "2"});
    EXPECT_FALSE(c.ctx.link.IsOpen());
    EXPECT_EQ(c.ctx.log.Lines(), Lines{"Error reading the answer (PINB)"});
}

TEST(TavroSim, GatewayGoingSilentIsMessageSevenAboutASecondLater)
{
    Connected c({"--chip", "ATmega8", "--silent-after", "3"});
    REQUIRE_CONNECTED(c);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitReady(c.ctx));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(c.ctx.link.IsOpen());
    EXPECT_EQ(c.ctx.log.Lines(), Lines{"Error reading the answer (PINC)"});
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST(TavroSim, GatewayHangingUpFailsTheNextSendAndClosesThePort)
{
    Connected c({"--chip", "ATmega8", "--hangup-after", "3"});
    REQUIRE_CONNECTED(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let it hang up
    EXPECT_FALSE(EnterProgMode(c.ctx));
    EXPECT_FALSE(c.ctx.link.IsOpen());
    EXPECT_EQ(c.ctx.log.Lines(),
              (Lines{"Trying to enter Programming Mode", "Error executing commands:  0x0B 0x0 0x0D 0x0"}));
    // Every later step fails at once on the closed port and says so again.
    EXPECT_FALSE(WaitReady(c.ctx));
    EXPECT_EQ(c.ctx.log.Lines().back(), "Error executing commands:  PINCRead");
}

TEST(TavroSim, NeverReadyGivesUpSilentlyWithThePortOpen)
{
    Connected c({"--chip", "ATmega8", "--never-ready"});
    REQUIRE_CONNECTED(c);
    ASSERT_TRUE(EnterProgMode(c.ctx));
    const auto before = c.ctx.log.Lines().size();
    EXPECT_FALSE(WaitReady(c.ctx));
    EXPECT_TRUE(c.ctx.link.IsOpen());
    EXPECT_EQ(c.ctx.log.Lines().size(), before);
}

TEST(TavroSim, EmptySpiAnswerIsMessageSevenSpiPaket)
{
    Connected c({"--chip", "ATtiny85", "--short-spi", "0"});
    REQUIRE_CONNECTED(c);
    c.ctx.delay = 0;
    EXPECT_FALSE(EnterSerialProgMode(c.ctx, " execute the sinchronization with chip"));
    EXPECT_FALSE(c.ctx.link.IsOpen());
    EXPECT_EQ(c.ctx.log.Lines(), (Lines{"Trying to execute the sinchronization with chip",
                                         "Error reading the answer (SPI paket)"}));
}

TEST(TavroSim, SerialChipAnswersProgrammingEnableInStep)
{
    Connected c({"--chip", "ATtiny85"});
    REQUIRE_CONNECTED(c);
    EXPECT_TRUE(EnterSerialProgMode(c.ctx, " execute the sinchronization with chip"));
    EXPECT_TRUE(c.ctx.link.IsOpen());
}

TEST(SerialDevice, AFileThatIsNoSerialPortHasNoLineSettings)
{
    Context ctx;
    ctx.link.OpenPort("/dev/null");
    EXPECT_FALSE(ctx.link.IsOpen());
    EXPECT_EQ(ctx.log.Lines(), Lines{"Error getting the COM-port parameters"});
}

}  // namespace
}  // namespace quillon
